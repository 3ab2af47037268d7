#pragma once

#include "imaging/DisplayBitmap.h"

#include <QImage>
#include <QObject>

#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orblane {

class ImageDataList;
class ThreadPool;

// The strip's picture of a DisplayBitmap (8-bit grey or 32-bit), copied; null for any other depth.
QImage ThumbnailImage(const DisplayBitmap& bitmap);

// Decodes the strip's thumbnails in the background, one at a time on the pool, in the order given (the medium's
// order of the files), and only while the image list decodes nothing for the tiles: a thumbnail never delays a page.
// Each decode opens its own file object, so the list's files are never touched off its thread.
class CThumbnailLoader : public QObject
{
    Q_OBJECT

public:
    struct Job
    {
        int entry = 0;
        std::string fileId;
        std::string folder;
        // A file named by its path (a folder scan's), which its folder and ID do not find; else empty.
        std::filesystem::path path = {};
        // The frame shown (a further stack of an enhanced image's frames), from 0.
        int frame = 0;
    };

    // budget: the image cache's bytes, which the list's pixels and the thumbnails kept here share.
    CThumbnailLoader(ImageDataList& list, ThreadPool& pool, std::size_t budget, QObject* parent = nullptr);
    // Waits for the decode that runs; what is queued is dropped.
    ~CThumbnailLoader() override;

    // Replaces what is queued; `arrived` is told each thumbnail on this thread.
    void Start(std::vector<Job> jobs, std::function<void(int entry, QImage picture)> arrived);
    // Queues more after what is queued (entries the strip gained), told to the same `arrived`.
    void Add(std::vector<Job> more);
    bool Finished() const noexcept { return next >= jobs.size() && !running; }
    std::size_t Decoded() const noexcept { return decoded; }

private:
    void Next();
    void Collect();

    // Shared with the running decode: its answer, and what the end waits on.
    struct State
    {
        std::mutex mutex;
        std::condition_variable over;
        bool running = false;
        DisplayBitmap bitmap;
        bool ok = false;
    };

    ImageDataList& list;
    ThreadPool& pool;
    std::size_t budget;
    std::shared_ptr<State> state;
    std::vector<Job> jobs;
    std::size_t next = 0;
    bool running = false;
    int runningEntry = -1;
    bool retryQueued = false;
    std::size_t decoded = 0;
    std::size_t heldBytes = 0;
    std::function<void(int, QImage)> arrivedCallback;
};

} // namespace orblane
