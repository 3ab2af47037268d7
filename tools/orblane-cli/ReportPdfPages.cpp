#include "ReportPdfPages.h"

#include "PdfPagesAbi.h"
#include "platform/AtomicFile.h"
#include "platform/LoadableModule.h"
#include "platform/ModulePath.h"

#include <array>

namespace orblane::cli {
namespace {

struct PageWriter
{
    const std::filesystem::path* outdir = nullptr;
};

int WritePage(void* context, int page, const std::uint8_t* png, std::size_t size)
{
    const auto& writer = *static_cast<PageWriter*>(context);
    const auto path = *writer.outdir / ("page-" + std::to_string(page) + ".png");
    return platform::WriteFileAtomically(path, ByteView(png, size)) ? 0 : 1;
}

} // namespace

int WritePdfPages(ByteView pdf, const std::filesystem::path& outdir, int& pages, std::string& failure)
{
    pages = 0;
    // The renderer is the module beside the executable (a build) or in the viewer's folder (an installation,
    // bin/ and lib/orblane/); a build without Qt has none.
    const std::filesystem::path folder(GetModuleFolder());
    const std::string name = platform::LoadableModule::FileName("orblane-cli-pdf");
    std::filesystem::path modulePath = folder / name;
    std::error_code error;
    if (!std::filesystem::exists(modulePath, error))
    {
        modulePath = folder / ".." / "lib" / "orblane" / name;
    }
    platform::LoadableModule module;
    std::string why;
    if (!module.Open(modulePath, why))
    {
        failure = "this build has no PDF renderer (" + why + ")";
        return 1;
    }
    const auto render = reinterpret_cast<OrblanePdfPages>(module.Symbol(kOrblanePdfPagesSymbol));
    if (render == nullptr)
    {
        failure = "this build has no PDF renderer (" + modulePath.string() + " has no " + kOrblanePdfPagesSymbol + ")";
        return 1;
    }
    PageWriter writer{&outdir};
    std::array<char, 512> message{};
    const int status =
        render(pdf.data(), pdf.size(), kMaxWrittenPages, &WritePage, &writer, &pages, message.data(), message.size());
    if (status != 0)
    {
        failure = message.data();
        return 1;
    }
    return 0;
}

} // namespace orblane::cli
