#include "support/CliRun.h"

#include <cstdio>
#include <stdexcept>

#if defined(_WIN32)
#include "platform/PathText.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace orblane::test {

#if defined(_WIN32)
namespace {

// One argument quoted as CommandLineToArgvW reads it back: backslashes before a quote doubled, the quote escaped.
std::wstring Quoted(const std::wstring& argument)
{
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument)
    {
        if (c == L'\\')
        {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

std::string ReadAll(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

// The command's standard output and error go to files of the temporary folder (inheritable handles), read once it
// ended: no pipe can fill up while this process waits.
CliResult RunCli(const std::string& cliPath, const std::vector<std::string>& args)
{
    const std::filesystem::path exe = platform::PathFromUtf8(cliPath);
    std::wstring commandLine = Quoted(exe.native());
    for (const std::string& arg : args)
    {
        // Arguments reach the program's argv in the ANSI code page, as a Windows shell hands them on.
        commandLine += L" " + Quoted(std::filesystem::path(arg).native());
    }
    const auto stamp = std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(::GetTickCount64());
    const std::filesystem::path outFile = std::filesystem::temp_directory_path() / (L"orblane-cli-out-" + stamp);
    const std::filesystem::path errFile = std::filesystem::temp_directory_path() / (L"orblane-cli-err-" + stamp);
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE out = ::CreateFileW(outFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_TEMPORARY, nullptr);
    const HANDLE err = ::CreateFileW(errFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE)
    {
        throw std::runtime_error("cannot set up the command's output");
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    CliResult result;
    if (::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                         &process))
    {
        ::WaitForSingleObject(process.hProcess, INFINITE);
        DWORD exitCode = 0;
        ::GetExitCodeProcess(process.hProcess, &exitCode);
        result.exitCode = static_cast<int>(exitCode);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::CloseHandle(out);
    ::CloseHandle(err);
    result.out = ReadAll(outFile);
    result.err = ReadAll(errFile);
    std::error_code ignored;
    std::filesystem::remove(outFile, ignored);
    std::filesystem::remove(errFile, ignored);
    return result;
}
#else
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

#endif

} // namespace orblane::test
