#include "platform/LoadableModule.h"

#include <utility>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace orblane::platform {

LoadableModule::~LoadableModule()
{
    Close();
}

LoadableModule::LoadableModule(LoadableModule&& other) noexcept : handle(std::exchange(other.handle, nullptr)) {}

LoadableModule& LoadableModule::operator=(LoadableModule&& other) noexcept
{
    if (this != &other)
    {
        Close();
        handle = std::exchange(other.handle, nullptr);
    }
    return *this;
}

bool LoadableModule::Open(const std::filesystem::path& path, std::string& failure)
{
    Close();
#if defined(_WIN32)
    handle = ::LoadLibraryW(path.wstring().c_str());
    if (handle == nullptr)
    {
        failure = path.string() + " cannot be loaded (error " + std::to_string(::GetLastError()) + ")";
    }
#else
    // Its symbols stay its own: the module may carry its own copy of a library the program also has.
    handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (handle == nullptr)
    {
        const char* why = ::dlerror();
        failure = why != nullptr ? why : path.string() + " cannot be loaded";
    }
#endif
    return handle != nullptr;
}

void* LoadableModule::Symbol(const char* name) const noexcept
{
    if (handle == nullptr)
    {
        return nullptr;
    }
#if defined(_WIN32)
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle), name));
#else
    return ::dlsym(handle, name);
#endif
}

std::string LoadableModule::FileName(const std::string& stem)
{
#if defined(_WIN32)
    return stem + ".dll";
#elif defined(__APPLE__)
    return stem + ".dylib";
#else
    return stem + ".so";
#endif
}

void LoadableModule::Close() noexcept
{
    if (handle == nullptr)
    {
        return;
    }
#if !defined(_WIN32)
    ::dlclose(handle); // RTLD_NODELETE: the code stays
#endif
    handle = nullptr;
}

} // namespace orblane::platform
