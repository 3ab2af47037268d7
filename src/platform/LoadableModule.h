#pragma once

#include <filesystem>
#include <string>

namespace orblane::platform {

// A shared library opened at run time, for a part that only some runs need: the command line's PDF renderer links
// Qt, and loading Qt with every verb would cost each script's call several milliseconds of start-up. Closed when the
// object goes.
class LoadableModule
{
public:
    LoadableModule() = default;
    ~LoadableModule();
    LoadableModule(LoadableModule&& other) noexcept;
    LoadableModule& operator=(LoadableModule&& other) noexcept;
    LoadableModule(const LoadableModule&) = delete;
    LoadableModule& operator=(const LoadableModule&) = delete;

    // Opens `path`; on failure the module stays closed and `failure` says why.
    bool Open(const std::filesystem::path& path, std::string& failure);
    bool IsOpen() const noexcept { return handle != nullptr; }
    // The address of an exported C symbol, or null.
    void* Symbol(const char* name) const noexcept;

    // How the platform names a module file: "orblane-cli-pdf" → "orblane-cli-pdf.so" or ".dll".
    static std::string FileName(const std::string& stem);

private:
    void Close() noexcept;
    void* handle = nullptr;
};

} // namespace orblane::platform
