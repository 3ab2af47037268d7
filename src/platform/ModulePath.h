#pragma once

#include <string>

namespace orblane {

// The running executable's folder, ending with "/": every file beside the executable is found from it, whatever the
// current directory. Empty when the platform cannot tell (then those files are looked for in the current directory).
std::string GetModuleFolder();

} // namespace orblane
