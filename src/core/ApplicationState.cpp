#include "core/ApplicationState.h"

namespace orblane {

ApplicationState& AppState()
{
    static ApplicationState state;
    return state;
}

void ReleaseApplicationState() noexcept
{
    ApplicationState& state = AppState();
    state.instanceLock.Release();
    state.catalogue.reset();
}

} // namespace orblane
