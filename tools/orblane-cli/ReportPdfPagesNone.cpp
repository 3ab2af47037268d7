#include "ReportPdfPages.h"

namespace orblane::cli {

int WritePdfPages(ByteView, const std::filesystem::path&, int& pages, std::string& failure)
{
    pages = 0;
    failure = "this build has no PDF renderer (it was built without Qt)";
    return 1;
}

} // namespace orblane::cli
