#pragma once

#include "dicom/DicomDirFileIO.h"
#include "imaging/ImageDataList.h"
#include "platform/ErrorSink.h"
#include "platform/PathText.h"

#include <filesystem>

namespace orblane::test {

// Opens a DICOMDIR as the program's host does: a failure the reader answers is shown through the error sink.
inline int OpenAndReport(DicomDirFileIO& reader, const std::filesystem::path& folder)
{
    const int code = reader.OpenDicomDir(platform::Utf8FromPath(folder));
    if (code != 0)
    {
        RaiseError(reader.LastError(), false);
    }
    return code;
}

// Image `index` of the list, with the failures met on the way shown as the viewer shows them.
inline const CImageData* GetImageAndReport(ImageDataList& list, int index)
{
    const CImageData* image = list.GetImage(index);
    for (const ImageDataList::PendingError& pending : list.TakeErrors())
    {
        RaiseError(pending.error, pending.fatal);
    }
    return image;
}

} // namespace orblane::test
