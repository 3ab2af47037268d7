#pragma once

#include "platform/Bytes.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace orblane::platform {

// A whole file mapped read-only into memory. The DICOM reader walks files in place through this view, so the view
// must outlive every pointer handed out from it: it lives exactly as long as this object (or until Close).
//
// Reads of the view that may meet a failing medium go through GuardMappedRead (platform/MappedReadGuard.h).
//
// Opening is split as the reader uses it: Open takes the file and checks that it can be mapped (a regular file of
// non-zero size that fits the address space), Map creates the view. Both answer 0 or an errno value.
class MappedFile
{
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    // Opens the file for reading, never blocking. A directory answers EISDIR, a FIFO, socket or device ENODEV, an
    // empty file EINVAL (there is nothing to map), a file too large for the address space EFBIG; whatever was
    // opened is closed again on failure.
    int Open(const std::filesystem::path& path) noexcept;
    // Maps the whole opened file: 0 when it is (or already was) mapped, -1 when no file is open, otherwise the errno
    // of the mapping call. Once mapped, the descriptor is closed (the view keeps the file); on failure the file
    // stays open until Close or destruction.
    int Map() noexcept;
    // Instead of Map: copies the whole opened file into private memory, so that a medium that fails is met here, as
    // an errno (EIO), and never by a later read of the view. For small files that are read again and again long
    // after they were opened (the DICOMDIR, whose records are walked each time a study is opened). A file that
    // shrank since Open gives the bytes it still has (EINVAL when none).
    int ReadIn() noexcept;
    // Unmaps and closes whatever is set; safe to call repeatedly.
    void Close() noexcept;

    bool IsMapped() const noexcept { return view != nullptr; }
    const std::uint8_t* View() const noexcept { return view; }
    const std::uint8_t* End() const noexcept { return view != nullptr ? view + size : nullptr; }
    std::uint64_t Size() const noexcept { return size; }
    ByteView Bytes() const noexcept { return view != nullptr ? ByteView(view, size) : ByteView(); }

private:
    const std::uint8_t* view = nullptr;
    std::size_t size = 0;
    // Set by ReadIn when the copy's pages outnumber the bytes read.
    std::size_t mappedSize = 0;
    int descriptor = -1;
};

} // namespace orblane::platform
