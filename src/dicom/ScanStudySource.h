#pragma once

#include "dicom/StudySource.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace orblane {

// What the scan keeps of one file's header: where the file stands in its study and the texts of its study's row,
// copied out of the bytes read (values as stored, pad included).
struct ScannedHeader
{
    std::string studyUid;                       // (0020,000D)
    std::string seriesUid;                      // (0020,000E)
    std::optional<std::int64_t> seriesNumber;   // (0020,0011)
    std::optional<std::int64_t> instanceNumber; // (0020,0013)
    std::string characterSet;                   // (0008,0005)
    std::string patientName;                    // (0010,0010)
    std::string patientId;                      // (0010,0020)
    std::string birthDate;                      // (0010,0030)
    std::string sex;                            // (0010,0040)
    std::string studyDate;                      // (0008,0020)
    std::optional<std::string> studyTime;       // (0008,0030)
    std::string modality;                       // (0008,0060)
    std::string seriesDescription;              // (0008,103E)
    std::string sopClassUid;                    // (0008,0016), else (0002,0002)
    std::string sopInstanceUid;                 // (0008,0018), else (0002,0003): what a report's references name
};

enum class HeaderVerdict
{
    Image,      // "DICM" at 128 and a walk that reaches the data set's own (7FE0,0010)
    Report,     // "DICM" at 128, no pixel data, and a report's SOP class (a PDF, a CDA, a structured report, a KOS)
    NotDicom,   // too short, no "DICM", or no pixel data the viewer could reach
    Unreadable, // cannot be opened or read, or is not a regular file
};

// Reads one file from its start up to its top-level pixel data, and no further when the header fits the first
// read. A file without pixel data is a Report when its SOP class is one (the viewer offers it beside the study's
// images, as it does a DICOMDIR's report records); others without pixel data (presentation states, a DICOMDIR) have
// nothing for the viewer to show and count as NotDicom; so do files whose walk stops before the pixel data, as the
// viewer's own walk would. Thread-safe.
// identity: the file's device and inode, so that one file reached twice (through a link) is listed once.
HeaderVerdict ReadImageHeader(const std::filesystem::path& path, ScannedHeader& header,
                              std::pair<std::uint64_t, std::uint64_t>* identity = nullptr) noexcept;

// The studies below folders and among files, read by worker threads while the list shows what they found. Every
// regular file below a folder is looked at (whatever its name); symbolic links are followed while they stay inside
// the folder named, and a folder is entered once however many links lead to it, so link loops end. Files that are
// neither DICOM images nor reports, and files that cannot be read, are passed over without a word. A study's row
// shows its first image; a study of reports alone shows its first report.
class ScanStudySource : public StudySource
{
public:
    // roots: folders to scan and files to look at, in this order. Starts the threads at once.
    explicit ScanStudySource(std::vector<std::filesystem::path> roots, unsigned workers = 0);
    ~ScanStudySource() override;
    ScanStudySource(const ScanStudySource&) = delete;
    ScanStudySource& operator=(const ScanStudySource&) = delete;

    void TakeRows(std::vector<StudyEntry>& added, std::vector<StudyEntry>& changed) override;
    bool Finished() const noexcept override { return finished.load(std::memory_order_acquire); }
    std::size_t FilesRead() const noexcept override { return filesRead.load(std::memory_order_relaxed); }
    void CollectImageFiles(DicomFileChain& chain, std::uint32_t studyKey, std::u16string_view studyLabel) override;

    void WaitUntilFinished() override;
    std::size_t StudyCount() const;
    std::size_t ImageCount() const;

private:
    struct Job
    {
        std::filesystem::path path;
        std::string shownId;
    };
    struct ImageFile
    {
        std::filesystem::path path;
        std::string shownId;
        std::string seriesUid;
        std::optional<std::int64_t> seriesNumber;
        std::optional<std::int64_t> instanceNumber;
        std::string sopClassUid;
        std::string sopInstanceUid;
        bool report = false;
        std::string modality;
        std::u16string seriesDescription; // read through the file's character set, trailing spaces removed
    };
    struct Study
    {
        std::vector<ImageFile> files;
        ScannedHeader shown; // the header of the study's first image in series and instance order (else report)
        ImageFile first;
        bool handedOut = false;
        bool changed = false;
    };
    struct PairHash
    {
        std::size_t operator()(const std::pair<std::uint64_t, std::uint64_t>& key) const noexcept
        {
            return static_cast<std::size_t>(key.first * 0x9E3779B97F4A7C15ull ^ key.second);
        }
    };

    static bool ComesBefore(const ImageFile& a, const ImageFile& b) noexcept;
    void Walk() noexcept;
    void WalkFolder(const std::filesystem::path& root);
    void Enqueue(std::filesystem::path path, std::string shownId);
    void Work() noexcept;
    void Add(const Job& job, ScannedHeader&& header, std::pair<std::uint64_t, std::uint64_t> identity, bool report);
    StudyEntry MakeEntry(std::size_t index) const;

    std::vector<std::filesystem::path> roots;

    std::mutex queueLock;
    std::condition_variable queueReady;
    std::deque<Job> queue;
    bool walkDone = false;

    mutable std::mutex resultLock;
    std::vector<Study> studies;
    std::unordered_map<std::string, std::uint32_t> studyByKey;
    std::unordered_set<std::pair<std::uint64_t, std::uint64_t>, PairHash> seenFiles;
    std::size_t handedOutCount = 0;
    std::size_t imageCount = 0;

    std::atomic<bool> stopping{false};
    std::atomic<bool> finished{false};
    std::atomic<std::size_t> filesRead{0};
    std::atomic<unsigned> workersLeft{0};
    std::mutex finishLock;
    std::condition_variable finishedSignal;
    std::vector<std::thread> threads;
};

} // namespace orblane
