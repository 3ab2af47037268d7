#pragma once

#include "dicom/PixelAttributes.h"
#include "dicom/PixelDescription.h"
#include "imaging/CImageData.h"
#include "platform/ErrorCode.h"

#include <memory>
#include <vector>

namespace orblane {

class DicomDataFileIO;
class TopLevelIndex;

// The attributes of image occurrence `occurrence` of a loaded file, its transfer syntax resolved.
PixelDescription ReadPixelDescription(const DicomDataFileIO& file, int occurrence);

// The images of one viewer: it owns the study's files in display order and decodes them lazily, file by file, the
// first time an image beyond those already decoded is asked for. A file's reader (and its mapping) is released as
// soon as its images are built.
class ImageDataList
{
public:
    explicit ImageDataList(Point inset = {1, 1}) noexcept : frameInset(inset) {}
    ImageDataList(const ImageDataList&) = delete;
    ImageDataList& operator=(const ImageDataList&) = delete;
    ~ImageDataList();

    // Takes the file; files with a study label are ordered by it, highest first (A-Z compared as a-z), and keep the
    // order in which they were added among equal labels.
    void AddFile(std::unique_ptr<DicomDataFileIO> file);
    // Image `index`, decoding further files as needed; null when the study has no such image.
    CImageData* GetImage(int index);
    int ImageCount() const noexcept { return static_cast<int>(imageArray.size()); }
    int FileCount() const noexcept { return static_cast<int>(fileArray.size()); }
    // Decodes the next file that gives images; answers the number of images added (0 once every file is done).
    int LoadNextFile();

    // A failure met while building images, for the window that shows it: the code and whether the program ends.
    struct PendingError
    {
        ErrorOutcome error;
        bool fatal;
    };
    // The failures met since the last call, in the order they happened. The list never shows them itself: only the
    // user-interface thread raises dialogs.
    std::vector<PendingError> TakeErrors();

private:
    int LoadImages(const DicomDataFileIO& file, const TopLevelIndex& index, int occurrence);
    int LoadNative(const TopLevelIndex& index, int occurrence, PixelDescription description);
    int LoadEncapsulated(const DicomDataFileIO& file, const TopLevelIndex& index, int occurrence,
                         PixelDescription description);
    void ReportUnreadable();
    // Builds one image of the current file and keeps it; answers whether it was built.
    bool Append(const PixelDescription& description);

    Point frameInset;
    std::vector<std::unique_ptr<CImageData>> imageArray;
    std::vector<std::unique_ptr<DicomDataFileIO>> fileArray;
    int nextFile = 0;
    std::u16string currentTexts[2];
    std::vector<PendingError> pendingErrors;
    bool reportedUnreadable = false;
};

} // namespace orblane
