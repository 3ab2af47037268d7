// Opens any bytes as a DICOMDIR, reads every row and collects every study's files: nothing may read outside the
// file or run unbounded, whatever its offsets say.
#include "dicom/DicomDirFileIO.h"
#include "platform/ErrorSink.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

std::string MediumFolder()
{
    std::string folder = "/tmp/orblane-fuzz-dicomdir-" + std::to_string(::getpid()) + "/";
    ::mkdir(folder.c_str(), 0700);
    return folder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string folder = MediumFolder();
    static const int fd = ::open((folder + "DICOMDIR").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    orblane::SetErrorHandler([](std::string_view, std::uint32_t, bool) {});
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
    {
        return 0;
    }
    orblane::DicomDirFileIO dicomDir;
    if (dicomDir.OpenDicomDir(folder) != 0)
    {
        return 0;
    }
    orblane::DicomFileChain chain;
    for (int i = 0; const auto entry = dicomDir.GetStudyEntry(i); ++i)
    {
        dicomDir.CollectImageFiles(chain, entry->firstSeries, entry->studyDateTime.value_or(u""));
    }
    return 0;
}
