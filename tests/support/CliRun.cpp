#include "support/CliRun.h"

#include <cstdio>
#include <stdexcept>

#include <sys/wait.h>
#include <unistd.h>

namespace orblane::test {
namespace {

std::string ReadAll(int fd)
{
    std::string text;
    char buffer[4096];
    for (;;)
    {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0)
        {
            return text;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
}

} // namespace

CliResult RunCli(const std::string& cliPath, const std::vector<std::string>& args)
{
    int out[2];
    std::FILE* err = std::tmpfile();
    if (err == nullptr || ::pipe(out) != 0)
    {
        throw std::runtime_error("cannot set up the command's output");
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(cliPath.c_str()));
    for (const std::string& arg : args)
    {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0)
    {
        ::dup2(out[1], 1);
        ::dup2(::fileno(err), 2);
        ::close(out[0]);
        ::close(out[1]);
        ::execv(cliPath.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    CliResult result;
    result.out = ReadAll(out[0]);
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::rewind(err);
    result.err = ReadAll(::fileno(err));
    std::fclose(err);
    return result;
}

} // namespace orblane::test
