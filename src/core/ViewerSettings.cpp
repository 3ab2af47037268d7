#include "core/ViewerSettings.h"

namespace orblane {

ViewerSettings& GlobalViewerSettings()
{
    static ViewerSettings settings;
    return settings;
}

} // namespace orblane
