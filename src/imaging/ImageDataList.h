#pragma once

#include "imaging/CImageData.h"
#include "imaging/PixelDescription.h"

#include <memory>
#include <vector>

namespace orblane {

class DicomDataFileIO;
class TopLevelIndex;

// The attributes of image occurrence `occurrence` of a loaded file. Only top-level elements count: an image nested
// in a sequence (an icon, a referenced image) never lends its rows or pixel data to the file's own image.
PixelDescription ReadPixelDescription(const DicomDataFileIO& file, int occurrence);

// Leading integer of a DICOM IS/DS text (optional spaces and sign, digits, up to the first other character);
// 0 when there is none, clamped to the 32-bit range.
std::int32_t ParseIntegerString(ByteView text) noexcept;
// Leading decimal number of a DS text; 0.0 when there is none.
double ParseDecimalString(ByteView text) noexcept;

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

private:
    int LoadImages(const DicomDataFileIO& file, const TopLevelIndex& index, int occurrence);
    int LoadNative(const TopLevelIndex& index, int occurrence, PixelDescription description);
    int LoadEncapsulated(const DicomDataFileIO& file, const TopLevelIndex& index, int occurrence,
                         PixelDescription description);
    void Append(std::unique_ptr<CImageData> image);

    Point frameInset;
    std::vector<std::unique_ptr<CImageData>> imageArray;
    std::vector<std::unique_ptr<DicomDataFileIO>> fileArray;
    int nextFile = 0;
    std::u16string currentTexts[2];
};

} // namespace orblane
