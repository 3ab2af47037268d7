// orblane-cli: the command-line companion of the viewer, over the same core library. Every subcommand prints JSON
// on standard output; scripts depend on its shape, so keep it stable.
#include "Commands.h"
#include "platform/StandardStreams.h"

#include <array>
#include <cstdio>
#include <string_view>
#include <vector>

namespace orblane::cli {
namespace {

struct Subcommand
{
    std::string_view name;
    int (*run)(Arguments);
    std::string_view synopsis;
};

constexpr std::array kSubcommands{
    Subcommand{"dump", RunDump, "dump FILE"},
    Subcommand{"info", RunInfo, "info FILE [--ansi-codepage N]"},
    Subcommand{"text", RunText, "text CHARSET HEX [--ansi-codepage N]"},
    Subcommand{"studies", RunStudies, "studies FOLDER [--ansi-codepage N]"},
    Subcommand{"decode-jpegll", RunDecodeJpegll, "decode-jpegll IN OUT"},
    Subcommand{"render", RunRender, "render FILE OUTDIR [--format bmp|jpg] [--values] [--ansi-codepage N]"},
    Subcommand{"geometry", RunGeometry, "geometry FILE_A[:FRAME] FILE_B[:FRAME]"},
    Subcommand{"series", RunSeries, "series PATH [--thumbnails OUTDIR]"},
    Subcommand{"report", RunReport, "report FILE OUTDIR"},
    Subcommand{"measure", RunMeasure,
               "measure FILE [--frame K] (--line C0,R0,C1,R1 | --angle C0,R0,C1,R1,C2,R2 | --ellipse CX,CY,RX,RY | "
               "--rect C0,R0,C1,R1)"},
    Subcommand{"overlays", RunOverlays, "overlays FILE OUTDIR"},
    Subcommand{"sync", RunSync, "sync LEADER... --to FOLLOWER... --at K [--link A B]"},
    Subcommand{"stacks", RunStacks, "stacks FILE..."},
};

void PrintUsage()
{
    std::fputs("usage: orblane-cli SUBCOMMAND ARGS...\n", stderr);
    for (const auto& command : kSubcommands)
    {
        std::fprintf(stderr, "  orblane-cli %.*s\n", static_cast<int>(command.synopsis.size()),
                     command.synopsis.data());
    }
}

} // namespace

int UsageError(std::string_view message)
{
    std::fprintf(stderr, "orblane-cli: %.*s\n", static_cast<int>(message.size()), message.data());
    PrintUsage();
    return 2;
}

} // namespace orblane::cli

int main(int argc, char** argv)
{
    using namespace orblane::cli;
    orblane::platform::UseBinaryStandardStreams();
    if (argc < 2)
    {
        return UsageError("no subcommand given");
    }
    const std::string_view name = argv[1];
    if (name == "--help" || name == "-h" || name == "help")
    {
        PrintUsage();
        return 0;
    }
    std::vector<std::string_view> args(argv + 2, argv + argc);
    for (const auto& command : kSubcommands)
    {
        if (command.name == name)
        {
            return command.run(args);
        }
    }
    return UsageError("unknown subcommand");
}
