#pragma once

namespace korvex::test {

inline constexpr char kWithoutApplication[] = "--run-script-without-application";

// Runs a one-line script on a hub while no QCoreApplication exists, prints
// each script-log record as korvex-cli does, then "stopped" if the session
// was stopped, and returns 0.
int RunWithoutApplication();

} // namespace korvex::test
