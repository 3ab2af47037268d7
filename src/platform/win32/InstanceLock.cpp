#include "platform/InstanceLock.h"

#include "platform/win32/WideText.h"

namespace orblane {

// On Windows the lock is a named mutex of the user's session: creating it is one atomic step (ERROR_ALREADY_EXISTS
// tells the second of two starts that the first holds it), and the kernel closes the handle when the process ends in
// any way, so a crashed viewer leaves nothing behind. No file is made, on the medium or anywhere else.
InstanceLock::~InstanceLock()
{
    Release();
}

std::string InstanceLock::DefaultFolder()
{
    return {}; // a mutex lives in the session's namespace, not in a folder
}

InstanceLock::Outcome InstanceLock::Acquire(const std::string& /*folder*/, std::string_view name)
{
    Release();
    const std::wstring wideName = platform::win32::Widen(name);
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, wideName.c_str());
    if (mutex == nullptr)
    {
        // The name belongs to another kind of object, or to a mutex of another user we may not open: not ours.
        return ::GetLastError() == ERROR_ACCESS_DENIED ? Outcome::HeldByAnotherProcess : Outcome::NotAvailable;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS)
    {
        ::CloseHandle(mutex);
        return Outcome::HeldByAnotherProcess;
    }
    descriptor = HandleToLong(mutex);
    return Outcome::Acquired;
}

void InstanceLock::Release() noexcept
{
    if (descriptor >= 0)
    {
        ::CloseHandle(LongToHandle(descriptor));
        descriptor = -1;
    }
}

} // namespace orblane
