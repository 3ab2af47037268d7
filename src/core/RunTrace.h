#pragma once

#include <string_view>

namespace orblane {

// Whole-program tests run the real executable where nothing can be clicked. With ORBLANE_TRACE=1 in the
// environment the program notes its steps as "trace ..." lines on standard error; otherwise this is silent.
bool TraceOn() noexcept;
void Trace(std::string_view line) noexcept;

} // namespace orblane
