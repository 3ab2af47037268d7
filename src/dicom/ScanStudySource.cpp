#include "dicom/ScanStudySource.h"

#include "dicom/DicomData.h"
#include "dicom/DicomTextRules.h"
#include "dicom/Inflater.h"
#include "dicom/ReportDocument.h"
#include "dicom/TagFilebase.h"
#include "platform/FolderWalk.h"
#include "platform/PathText.h"
#include "platform/ThreadObject.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <tuple>
#include <vector>

namespace orblane {
namespace {

constexpr std::size_t kPrefixLength = 128;
constexpr std::size_t kDataSetStart = 132;
// Most headers end within a few kilobytes; one read of this size takes a small file whole.
constexpr std::size_t kFirstRead = 16 * 1024;
// A header that runs past this (a file of private tags before its pixel data) is not worth a scan's time.
constexpr std::size_t kMaxHeaderRead = 64 * 1024 * 1024;

// Picks the top-level values out of a walk and stops on the data set's own pixel data. The walk is flat: the depth
// follows from the undefined-length elements it stepped into and the delimiters that close them.
class HeaderWalk : public TagFilebase
{
public:
    HeaderWalk() noexcept : TagFilebase(true) {}

    RememberedValue studyUid, seriesUid, seriesNumber, instanceNumber, characterSet, patientName, patientId, birthDate,
        sex, studyDate, studyTime, modality, seriesDescription, sopClass, metaSopClass, sopInstance, metaSopInstance;
    bool pixelData = false;

protected:
    int OnTag(const TagElement& tag) override
    {
        if (depth == 0)
        {
            if (tag.Is(0x7FE0, 0x0010))
            {
                pixelData = true;
                return kSkipAndStop;
            }
            Remember(tag);
        }
        if (tag.group == 0xFFFE && (tag.element == 0xE00D || tag.element == 0xE0DD))
        {
            depth -= depth > 0 ? 1 : 0;
        }
        else if (tag.entered != 0)
        {
            ++depth;
        }
        return kSkipAndGoOn;
    }

private:
    void Remember(const TagElement& tag) noexcept
    {
        const std::uint32_t key = (static_cast<std::uint32_t>(tag.group) << 16) | tag.element;
        switch (key)
        {
        case 0x00020002:
            metaSopClass.Remember(tag);
            break;
        case 0x00020003:
            metaSopInstance.Remember(tag);
            break;
        case 0x00080016:
            sopClass.Remember(tag);
            break;
        case 0x00080018:
            sopInstance.Remember(tag);
            break;
        case 0x00080005:
            characterSet.Remember(tag);
            break;
        case 0x00080020:
            studyDate.Remember(tag);
            break;
        case 0x00080030:
            studyTime.Remember(tag);
            break;
        case 0x00080060:
            modality.Remember(tag);
            break;
        case 0x0008103E:
            seriesDescription.Remember(tag);
            break;
        case 0x00100010:
            patientName.Remember(tag);
            break;
        case 0x00100020:
            patientId.Remember(tag);
            break;
        case 0x00100030:
            birthDate.Remember(tag);
            break;
        case 0x00100040:
            sex.Remember(tag);
            break;
        case 0x0020000D:
            studyUid.Remember(tag);
            break;
        case 0x0020000E:
            seriesUid.Remember(tag);
            break;
        case 0x00200011:
            seriesNumber.Remember(tag);
            break;
        case 0x00200013:
            instanceNumber.Remember(tag);
            break;
        default:
            break;
        }
    }

    std::size_t depth = 0;
};

std::string Copy(const RememberedValue& value)
{
    const ByteView bytes = value.Bytes();
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// A UID or key as compared: without its pad (NUL or space) or surrounding spaces.
std::string Trimmed(const RememberedValue& value)
{
    std::string text = Copy(value);
    const std::size_t last = text.find_last_not_of(std::string_view(" \0", 2));
    text.erase(last == std::string::npos ? 0 : last + 1);
    const std::size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

// An IS value (PS3.5 6.2): optional spaces, an optional sign, up to twelve digits. Anything else is no number, and
// the file sorts after the numbered ones.
std::optional<std::int64_t> IntegerString(const RememberedValue& value)
{
    const std::string text = Trimmed(value);
    std::size_t position = 0;
    bool negative = false;
    if (position < text.size() && (text[position] == '+' || text[position] == '-'))
    {
        negative = text[position] == '-';
        ++position;
    }
    if (position == text.size() || text.size() - position > 12)
    {
        return std::nullopt;
    }
    std::int64_t number = 0;
    for (; position < text.size(); ++position)
    {
        if (text[position] < '0' || text[position] > '9')
        {
            return std::nullopt;
        }
        number = number * 10 + (text[position] - '0');
    }
    return negative ? -number : number;
}

// Reads up to length bytes from the start into buffer; answers how many, or -1.
std::int64_t ReadPrefix(platform::HeaderFile& file, std::vector<std::uint8_t>& buffer, std::size_t length)
{
    buffer.resize(length);
    const std::int64_t got = file.ReadPrefix(buffer.data(), length);
    buffer.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
    return got;
}

} // namespace

HeaderVerdict ReadImageHeader(const std::filesystem::path& path, ScannedHeader& header,
                              std::pair<std::uint64_t, std::uint64_t>* identity) noexcept
{
    try
    {
        platform::HeaderFile file;
        if (!file.Open(path))
        {
            return HeaderVerdict::Unreadable;
        }
        if (identity != nullptr)
        {
            *identity = file.Identity();
        }
        const std::uint64_t fileSize = file.Size();
        if (fileSize <= kDataSetStart)
        {
            return HeaderVerdict::NotDicom;
        }
        // One buffer per thread: ten thousand files must not cost ten thousand allocations.
        std::vector<std::uint8_t>& buffer = platform::ThreadObject<std::vector<std::uint8_t>>();
        std::size_t wanted = kFirstRead;
        // A deflated data set's header, inflated: made for those files only, and not kept for the next file.
        std::vector<std::uint8_t> inflated;
        for (;;)
        {
            const std::int64_t got = ReadPrefix(file, buffer, wanted);
            if (got < 0)
            {
                return HeaderVerdict::Unreadable;
            }
            if (static_cast<std::size_t>(got) <= kDataSetStart)
            {
                return HeaderVerdict::NotDicom;
            }
            if (std::memcmp(buffer.data() + kPrefixLength, "DICM", 4) != 0)
            {
                return HeaderVerdict::NotDicom;
            }
            ByteView walked(buffer);
            if (const std::size_t streamStart = DeflatedStreamStart(walked, kDataSetStart); streamStart != 0)
            {
                // A deflated data set: what was read inflates to what a header walk needs, as far as it goes.
                inflated.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(streamStart));
                const ByteView stream = walked.subspan(streamStart);
                Inflater inflater;
                inflater.Run(stream, std::min(InflateLimit(stream.size()), kMaxHeaderRead), inflated);
                walked = inflated;
            }
            HeaderWalk walk;
            walk.ParseTags(walked.data() + kDataSetStart, walked.data() + walked.size());
            const bool wholeFile =
                static_cast<std::uint64_t>(got) >= fileSize || static_cast<std::size_t>(got) < wanted;
            header.sopClassUid = Trimmed(walk.sopClass.present ? walk.sopClass : walk.metaSopClass);
            // A report's header ends before its document or content, which may run to megabytes: once its class
            // and study are read, the rest is the report window's to read.
            const bool report = !walk.pixelData && ReportKindOfSopClass(header.sopClassUid) != ReportKind::None &&
                                (walk.studyUid.present || wholeFile || wanted >= kMaxHeaderRead);
            if (!walk.pixelData && !report)
            {
                // A walk that ended at the end of what was read may only have run out of bytes: read more, once
                // per growth step, up to the whole file or the cap.
                if (wholeFile || wanted >= kMaxHeaderRead)
                {
                    return HeaderVerdict::NotDicom;
                }
                wanted = static_cast<std::size_t>(
                    std::min<std::uint64_t>(fileSize, std::min<std::size_t>(wanted * 8, kMaxHeaderRead)));
                continue;
            }
            header.studyUid = Trimmed(walk.studyUid);
            header.seriesUid = Trimmed(walk.seriesUid);
            header.seriesNumber = IntegerString(walk.seriesNumber);
            header.instanceNumber = IntegerString(walk.instanceNumber);
            header.characterSet = Copy(walk.characterSet);
            header.patientName = Copy(walk.patientName);
            header.patientId = Copy(walk.patientId);
            header.birthDate = Copy(walk.birthDate);
            header.sex = Copy(walk.sex);
            header.studyDate = Copy(walk.studyDate);
            header.studyTime = walk.studyTime.present ? std::optional<std::string>(Copy(walk.studyTime)) : std::nullopt;
            header.modality = Copy(walk.modality);
            header.seriesDescription = Copy(walk.seriesDescription);
            // Read before the study's UID, so a report's early stop has it too.
            header.sopInstanceUid = Trimmed(walk.sopInstance.present ? walk.sopInstance : walk.metaSopInstance);
            return report ? HeaderVerdict::Report : HeaderVerdict::Image;
        }
    }
    catch (const std::bad_alloc&)
    {
        return HeaderVerdict::Unreadable;
    }
}

ScanStudySource::ScanStudySource(std::vector<std::filesystem::path> scanRoots, unsigned workers)
    : roots(std::move(scanRoots))
{
    if (workers == 0)
    {
        // Reading headers waits on the disk more than it computes: more threads than cores keep a cold disk's
        // queue full (10 000 files, 2 cores, cold: 1.75 s with 2 workers, 1.2 s with 4, 0.96 s with 8).
        workers = std::clamp(std::thread::hardware_concurrency() * 4, 8u, 32u);
    }
    workersLeft.store(workers);
    try
    {
        threads.emplace_back([this] { Walk(); });
        for (unsigned index = 0; index < workers; ++index)
        {
            threads.emplace_back([this] { Work(); });
        }
    }
    catch (...)
    {
        // Without threads there is no scan: what started is stopped, and the source is finished and empty.
        stopping = true;
        {
            const std::lock_guard guard(queueLock);
            walkDone = true;
        }
        queueReady.notify_all();
        for (std::thread& thread : threads)
        {
            thread.join();
        }
        threads.clear();
        finished = true;
    }
}

ScanStudySource::~ScanStudySource()
{
    {
        // Under the lock, so that no worker checks the flag and then sleeps through the wake-up.
        const std::lock_guard guard(queueLock);
        stopping = true;
    }
    queueReady.notify_all();
    for (std::thread& thread : threads)
    {
        thread.join();
    }
}

void ScanStudySource::Walk() noexcept
{
    for (const std::filesystem::path& root : roots)
    {
        if (stopping)
        {
            break;
        }
        try
        {
            std::error_code error;
            if (std::filesystem::is_directory(root, error))
            {
                WalkFolder(root);
            }
            else
            {
                Enqueue(root, platform::Utf8FromPath(root.filename()));
            }
        }
        catch (...)
        {
            // A root that cannot be walked (no memory for its paths) gives what was found before.
        }
    }
    {
        const std::lock_guard guard(queueLock);
        walkDone = true;
    }
    queueReady.notify_all();
}

void ScanStudySource::WalkFolder(const std::filesystem::path& root)
{
    platform::WalkFolderFiles(
        root, [this] { return stopping.load(); },
        [this](std::filesystem::path full, std::string below) { Enqueue(std::move(full), std::move(below)); });
}

void ScanStudySource::Enqueue(std::filesystem::path path, std::string shownId)
{
    {
        const std::lock_guard guard(queueLock);
        queue.push_back({std::move(path), std::move(shownId)});
    }
    queueReady.notify_one();
}

void ScanStudySource::Work() noexcept
{
    ScannedHeader header;
    for (;;)
    {
        Job job;
        {
            std::unique_lock guard(queueLock);
            queueReady.wait(guard, [this] { return stopping || walkDone || !queue.empty(); });
            if (stopping || queue.empty())
            {
                break;
            }
            job = std::move(queue.front());
            queue.pop_front();
        }
        std::pair<std::uint64_t, std::uint64_t> identity{};
        const HeaderVerdict verdict = ReadImageHeader(job.path, header, &identity);
        filesRead.fetch_add(1, std::memory_order_relaxed);
        if (verdict == HeaderVerdict::Image || verdict == HeaderVerdict::Report)
        {
            try
            {
                Add(job, std::move(header), identity, verdict == HeaderVerdict::Report);
            }
            catch (const std::bad_alloc&)
            {
                // The file is left out; the others still come.
            }
        }
    }
    if (workersLeft.fetch_sub(1) == 1)
    {
        const std::lock_guard guard(finishLock);
        finished.store(true, std::memory_order_release);
        finishedSignal.notify_all();
    }
}

bool ScanStudySource::ComesBefore(const ImageFile& a, const ImageFile& b) noexcept
{
    // Numbered before unnumbered, then by number; ties fall to the series UID and the path, so the order does not
    // depend on which thread read which file first.
    const auto key = [](const ImageFile& file) {
        return std::make_tuple(!file.seriesNumber.has_value(), file.seriesNumber.value_or(0),
                               std::string_view(file.seriesUid), !file.instanceNumber.has_value(),
                               file.instanceNumber.value_or(0), std::string_view(file.shownId));
    };
    return key(a) < key(b);
}

void ScanStudySource::Add(const Job& job, ScannedHeader&& header, std::pair<std::uint64_t, std::uint64_t> identity,
                          bool report)
{
    // Files without a Study Instance UID are gathered by what the row would show of them instead.
    std::string key = !header.studyUid.empty() ? header.studyUid
                                               : std::string("\x01", 1) + header.patientId + '\x01' + header.studyDate +
                                                     '\x01' + header.studyTime.value_or(std::string());
    ImageFile file{job.path,
                   job.shownId,
                   header.seriesUid,
                   header.seriesNumber,
                   header.instanceNumber,
                   header.sopClassUid,
                   header.sopInstanceUid,
                   report,
                   header.modality,
                   WithoutTrailingSpaces(ConvertText(AsBytes(header.characterSet), AsBytes(header.seriesDescription)))};

    const std::lock_guard guard(resultLock);
    if (!seenFiles.insert(identity).second)
    {
        return;
    }
    imageCount += report ? 0 : 1;
    const auto [found, isNew] = studyByKey.try_emplace(std::move(key), static_cast<std::uint32_t>(studies.size()));
    if (isNew)
    {
        Study study;
        study.first = file;
        study.shown = std::move(header);
        study.files.push_back(std::move(file));
        studies.push_back(std::move(study));
        return;
    }
    Study& study = studies[found->second];
    // An image always takes the row from a report: the row's modality is the study's images', not "SR" or "DOC".
    const bool firstIsReport = study.first.report;
    if (report ? firstIsReport && ComesBefore(file, study.first) : firstIsReport || ComesBefore(file, study.first))
    {
        study.first = file;
        study.shown = std::move(header);
        study.changed = study.handedOut;
    }
    study.files.push_back(std::move(file));
}

StudyEntry ScanStudySource::MakeEntry(std::size_t index) const
{
    const ScannedHeader& header = studies[index].shown;
    const auto bytes = [](const std::string& text) { return AsBytes(text); };
    const auto plain = [&](const std::string& text) -> std::optional<std::u16string> {
        return text.empty() ? std::nullopt : std::optional<std::u16string>(ConvertPlainText(bytes(text)));
    };
    const ByteView charset = bytes(header.characterSet);
    StudyEntry entry;
    if (!header.patientName.empty())
    {
        entry.patientName = ChoosePersonNameGroup(ConvertText(charset, bytes(header.patientName)));
    }
    if (!header.patientId.empty())
    {
        entry.patientId = ConvertText(charset, bytes(header.patientId));
    }
    if (!header.birthDate.empty())
    {
        entry.birthDate = ConvertPlainText(AsBytes(FormatDicomDate(bytes(header.birthDate))));
    }
    entry.sex = plain(header.sex);
    if (!header.studyDate.empty())
    {
        const std::optional<ByteView> time =
            header.studyTime ? std::optional<ByteView>(bytes(*header.studyTime)) : std::nullopt;
        entry.studyDateTime =
            ConvertPlainText(AsBytes(FormatDicomDateTime(bytes(header.studyDate), time, DateTimeForm::Short)));
    }
    entry.modality = plain(header.modality);
    entry.firstSeries = static_cast<std::uint32_t>(index);
    return entry;
}

void ScanStudySource::TakeRows(std::vector<StudyEntry>& added, std::vector<StudyEntry>& changed)
{
    const std::lock_guard guard(resultLock);
    for (std::size_t index = 0; index < handedOutCount; ++index)
    {
        if (studies[index].changed)
        {
            studies[index].changed = false;
            changed.push_back(MakeEntry(index));
        }
    }
    for (; handedOutCount < studies.size(); ++handedOutCount)
    {
        studies[handedOutCount].handedOut = true;
        added.push_back(MakeEntry(handedOutCount));
    }
}

void ScanStudySource::CollectImageFiles(DicomFileChain& chain, std::uint32_t studyKey, std::u16string_view studyLabel)
{
    std::vector<ImageFile> files;
    {
        const std::lock_guard guard(resultLock);
        if (studyKey >= studies.size())
        {
            return;
        }
        files = studies[studyKey].files;
    }
    std::sort(files.begin(), files.end(), ComesBefore);
    for (ImageFile& file : files)
    {
        chain.push_back(
            DicomDataFileIO::ForPath(std::move(file.path), std::move(file.shownId), std::u16string(studyLabel)));
        // As a DICOMDIR's record would list them: the viewer keeps reports apart from its tiles by the class, and
        // finds the images a report references by the instance. The scan's verdict decides which a file is: one
        // with pixel data under a report's class stays an image, so its class is not passed on.
        const bool keepClass = file.report || ReportKindOfSopClass(file.sopClassUid) == ReportKind::None;
        chain.back()->SetListedUids(keepClass ? std::move(file.sopClassUid) : std::string(),
                                    std::move(file.sopInstanceUid));
        // What a DICOMDIR's series record would give the strip.
        chain.back()->SetScanned({std::move(file.seriesUid), file.seriesNumber, std::move(file.modality),
                                  std::move(file.seriesDescription)});
    }
}

void ScanStudySource::WaitUntilFinished()
{
    std::unique_lock guard(finishLock);
    finishedSignal.wait(guard, [this] { return Finished(); });
}

std::size_t ScanStudySource::StudyCount() const
{
    const std::lock_guard guard(resultLock);
    return studies.size();
}

std::size_t ScanStudySource::ImageCount() const
{
    const std::lock_guard guard(resultLock);
    return imageCount;
}

} // namespace orblane
