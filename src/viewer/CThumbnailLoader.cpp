#include "viewer/CThumbnailLoader.h"

#include "dicom/DicomDataFileIO.h"
#include "imaging/ImageDataList.h"
#include "imaging/SeriesThumbnail.h"
#include "imaging/ThumbnailDecode.h"
#include "platform/ThreadPool.h"

#include <QTimer>

#include <cstring>

namespace orblane {
namespace {

// How soon a loader that gave way to the tiles' decodes looks again.
constexpr int kRetryMs = 20;
// What one decode may hold beside the list's pixels: a reduced frame of a large image and its thumbnail.
constexpr std::size_t kDecodeBytes = 8u << 20;

} // namespace

QImage ThumbnailImage(const DisplayBitmap& bitmap)
{
    if (bitmap.IsNull() || (bitmap.BitsPerPixel() != 8 && bitmap.BitsPerPixel() != 32))
    {
        return {};
    }
    QImage image(bitmap.Width(), bitmap.Height(),
                 bitmap.BitsPerPixel() == 8 ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    if (image.isNull())
    {
        return {};
    }
    const std::size_t rowBytes = static_cast<std::size_t>(bitmap.Width()) * (bitmap.BitsPerPixel() / 8);
    for (int y = 0; y < bitmap.Height(); ++y)
    {
        std::memcpy(image.scanLine(y), bitmap.Row(y), rowBytes);
    }
    return image;
}

CThumbnailLoader::CThumbnailLoader(ImageDataList& imageList, ThreadPool& threadPool, std::size_t cacheBudget,
                                   QObject* parent)
    : QObject(parent), list(imageList), pool(threadPool), budget(cacheBudget), state(std::make_shared<State>())
{
}

CThumbnailLoader::~CThumbnailLoader()
{
    std::unique_lock lock(state->mutex);
    state->over.wait(lock, [this] { return !state->running; });
}

void CThumbnailLoader::Start(std::vector<Job> newJobs, std::function<void(int, QImage)> arrived)
{
    jobs = std::move(newJobs);
    next = 0;
    arrivedCallback = std::move(arrived);
    if (!running)
    {
        Next();
    }
}

void CThumbnailLoader::Add(std::vector<Job> more)
{
    for (Job& job : more)
    {
        jobs.push_back(std::move(job));
    }
    if (!running && !retryQueued)
    {
        Next();
    }
}

void CThumbnailLoader::Next()
{
    retryQueued = false;
    if (running || next >= jobs.size())
    {
        return;
    }
    // Below the tiles: while the list decodes or walks for them, or its pixels fill the budget, the loader waits.
    if (!list.DecodesIdle() || list.CachedBytes() + heldBytes + kDecodeBytes > budget)
    {
        retryQueued = true;
        QTimer::singleShot(kRetryMs, this, &CThumbnailLoader::Next);
        return;
    }
    const Job job = jobs[next++];
    running = true;
    {
        const std::lock_guard lock(state->mutex);
        state->running = true;
        state->ok = false;
    }
    const std::shared_ptr<State> shared = state;
    runningEntry = job.entry;
    auto decode = [shared, job, this]() noexcept {
        DisplayBitmap bitmap;
        bool ok = false;
        try
        {
            // A scanned file is found by its path: its ID is only its place below the folder scanned.
            const std::unique_ptr<DicomDataFileIO> file =
                job.path.empty() ? std::make_unique<DicomDataFileIO>(job.fileId, job.folder, std::u16string())
                                 : DicomDataFileIO::ForPath(job.path, job.fileId, std::u16string());
            ok = DecodeThumbnail(*file, kThumbnailSize, bitmap, job.frame) != ThumbnailRoute::Failed;
        }
        catch (const std::bad_alloc&)
        {
        }
        const std::lock_guard lock(shared->mutex);
        shared->bitmap = std::move(bitmap);
        shared->ok = ok;
        shared->running = false;
        // Posted under the lock: the loader waits for it in its end, so it is there when the call is queued.
        QMetaObject::invokeMethod(this, &CThumbnailLoader::Collect, Qt::QueuedConnection);
        shared->over.notify_all();
    };
    if (!pool.Submit(decode))
    {
        decode();
    }
}

void CThumbnailLoader::Collect()
{
    DisplayBitmap bitmap;
    bool ok = false;
    {
        const std::lock_guard lock(state->mutex);
        if (state->running)
        {
            return;
        }
        bitmap = std::move(state->bitmap);
        ok = state->ok;
    }
    const int entry = runningEntry;
    running = false;
    if (ok)
    {
        ++decoded;
        heldBytes += static_cast<std::size_t>(bitmap.Stride()) * static_cast<std::size_t>(bitmap.Height());
        if (arrivedCallback)
        {
            arrivedCallback(entry, ThumbnailImage(bitmap));
        }
    }
    Next();
}

} // namespace orblane
