#pragma once

namespace korvex {

// Each korvex-cli command gets the arguments after its name and returns the
// process exit code.
int CliDecode(int argc, char** argv);
int CliRun(int argc, char** argv);
int CliPorts(int argc, char** argv);

// Exit code for a usage error.
inline constexpr int kExitUsage = 2;

} // namespace korvex
