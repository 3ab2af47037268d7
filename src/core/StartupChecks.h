#pragma once

#include <string>
#include <string_view>

namespace orblane {

// The files a medium must hold beside the executable, checked in order; the first one missing decides the code:
// "10000" for either settings file, "10001" for the launch bitmap, "10103" for the DICOMDIR at the folder the `path`
// setting names. Empty when everything is there. Nothing is opened except "Orblane.ini" for the `path` value.
// Without dicomDirNeeded (paths named on the command line, which carry their own checks) the DICOMDIR is not looked
// for.
std::string_view FirstFailedStartupCheck(std::string_view moduleFolder, bool dicomDirNeeded = true);

} // namespace orblane
