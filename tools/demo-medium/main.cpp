// orblane-demo-medium OUTDIR: writes the demo medium's DICOMDIR and DICOM files into OUTDIR.

#include "DemoMedium.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2)
    {
        std::fputs("usage: orblane-demo-medium OUTDIR\n", stderr);
        return 2;
    }
    std::string failure;
    if (orblane::demo::WriteDemoMedium(argv[1], failure) != 0)
    {
        std::fprintf(stderr, "orblane-demo-medium: %s\n", failure.c_str());
        return 1;
    }
    return 0;
}
