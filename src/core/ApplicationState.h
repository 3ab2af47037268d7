#pragma once

#include "core/CErrInf.h"
#include "platform/InstanceLock.h"

#include <memory>

namespace orblane {

// What the running viewer holds from start-up to its end: the single-instance lock, the error catalogue, and the
// flag that the splash window and the host share. Released on the normal end and before every fatal end.
struct ApplicationState
{
    InstanceLock instanceLock;
    std::unique_ptr<CErrInf> catalogue;
    // 1 while a splash may be shown and its own timer may remove it; 0 while the DICOMDIR is being read.
    int splashRelease = 1;
};

ApplicationState& AppState();

// Drops the lock and frees the catalogue; safe to call more than once.
void ReleaseApplicationState() noexcept;

} // namespace orblane
