#include "Commands.h"

#include "AnsiCodePageOption.h"
#include "Json.h"

#include "dicom/DicomDataFileIO.h"
#include "imaging/ImageDataList.h"
#include "imaging/codecs/TransferSyntaxTable.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace orblane::cli {

// Prints the patient and study texts the image overlay shows for FILE.
int RunInfo(Arguments args)
{
    std::vector<std::string_view> positional;
    if (const int code = TakeAnsiCodePageOption(args, positional); code != 0)
    {
        return code;
    }
    if (positional.size() != 1)
    {
        return UsageError("info takes one FILE");
    }
    const std::string path(positional[0]);
    DicomDataFileIO file;
    if (const int code = file.LoadFile(path); code != 0)
    {
        std::fprintf(stderr, "error %d (%s: %s)\n", code, path.c_str(), std::strerror(code));
        return 1;
    }
    if (!file.IsPart10())
    {
        std::fprintf(stderr, "error 10100 (%s: not a DICOM file)\n", path.c_str());
        return 1;
    }
    const PatientStudyInfo info = file.MakeInfoRecord();
    const PixelDescription pixels = ReadPixelDescription(file, 0);
    const std::string out =
        "{\"patientName\": " + JsonStringOrNull(info.patientName) +
        ", \"patientId\": " + JsonStringOrNull(info.patientId) +
        ", \"birthDate\": " + JsonStringOrNull(info.birthDate) + ", \"sex\": " + JsonStringOrNull(info.sex) +
        ", \"studyDateTime\": " + JsonStringOrNull(info.studyDateTime) +
        ", \"institutionName\": " + JsonStringOrNull(info.institutionName) +
        ", \"frames\": " + std::to_string(pixels.rowCount == 0 ? 0 : pixels.frameCount) +
        ", \"transferSyntax\": " + JsonStringUtf8(TransferSyntaxDisplayName(pixels.transferSyntaxUid)) + "}\n";
    std::fputs(out.c_str(), stdout);
    return 0;
}

} // namespace orblane::cli
