#pragma once

#include <span>
#include <string_view>

namespace orblane::cli {

// Each subcommand takes the arguments after its own name and answers the process exit code:
// 0 success, 1 the input could not be processed (the code goes to standard error), 2 bad arguments.
using Arguments = std::span<const std::string_view>;

int RunDump(Arguments args);
int RunInfo(Arguments args);
int RunText(Arguments args);
int RunStudies(Arguments args);
int RunDecodeJpegll(Arguments args);
int RunRender(Arguments args);
int RunGeometry(Arguments args);
int RunSeries(Arguments args);
int RunReport(Arguments args);
int RunMeasure(Arguments args);
int RunOverlays(Arguments args);
int RunSync(Arguments args);
int RunStacks(Arguments args);

// Writes "orblane-cli: <message>" and the usage to standard error; answers 2.
int UsageError(std::string_view message);

} // namespace orblane::cli
