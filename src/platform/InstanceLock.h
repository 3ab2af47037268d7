#pragma once

#include <string>
#include <string_view>

namespace orblane {

// Marks the one running instance of the viewer. The lock is an exclusive flock on a file in the user's runtime
// folder: taking it is one atomic step (two instances started together cannot both pass), and the kernel drops it
// when the process ends in any way, a crash included, so no stale lock can keep the viewer from starting.
class InstanceLock
{
public:
    enum class Outcome
    {
        Acquired,
        HeldByAnotherProcess,
        NotAvailable, // no lock file could be made (no writable runtime folder)
    };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock named `name` in `folder` (created as a private folder when missing). Never blocks.
    Outcome Acquire(const std::string& folder, std::string_view name);
    void Release() noexcept;
    bool IsHeld() const noexcept { return descriptor >= 0; }

    // $XDG_RUNTIME_DIR when set to an absolute path, otherwise a private per-user folder under the temp folder.
    static std::string DefaultFolder();

private:
    int descriptor = -1;
};

} // namespace orblane
