#pragma once

#include <string>
#include <vector>

namespace orblane::test {

struct CliResult
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the built orblane-cli (ORBLANE_CLI_PATH) with these arguments, no shell in between.
CliResult RunCli(const std::string& cliPath, const std::vector<std::string>& args);

} // namespace orblane::test
