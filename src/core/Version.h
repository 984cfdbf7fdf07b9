#pragma once

#include <string>

namespace korvex {

// The program's version text from the build ("1.4.0"); "0.0.0.0" when it has
// none.
std::string GetVersionText();

} // namespace korvex
