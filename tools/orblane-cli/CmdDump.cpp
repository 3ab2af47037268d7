#include "Commands.h"

#include "dicom/DicomDataFileIO.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace orblane::cli {

// Prints the elements a data-set walk keeps, in walk order, with each value's offset in the file (for a deflated
// file, in the file as it would be undeflated: its File Meta group and then the inflated data set).
int RunDump(Arguments args)
{
    if (args.size() != 1)
    {
        return UsageError("dump takes one FILE");
    }
    const std::string path(args[0]);
    DicomDataFileIO file;
    if (const int code = file.LoadFile(path); code != 0)
    {
        std::fprintf(stderr, "error %d (%s: %s)\n", code, path.c_str(), std::strerror(code));
        return 1;
    }
    const std::uint8_t* start = file.DataBytes().data();
    std::string out = "{\"elements\": [";
    bool first = true;
    for (const TagElement& tag : file.DataSet()->Kept())
    {
        char line[96];
        std::snprintf(line, sizeof line, "%s{\"tag\": \"%04X%04X\", \"length\": %u, \"offset\": %llu}",
                      first ? "" : ", ", static_cast<unsigned>(tag.group), static_cast<unsigned>(tag.element),
                      static_cast<unsigned>(tag.length), static_cast<unsigned long long>(tag.value - start));
        out += line;
        first = false;
    }
    out += "]}\n";
    std::fputs(out.c_str(), stdout);
    return 0;
}

} // namespace orblane::cli
