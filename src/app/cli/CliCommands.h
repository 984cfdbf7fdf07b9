#pragma once

#include <string>
#include <vector>

namespace korvex {

// Each korvex-cli command gets the arguments after its name and returns the
// process exit code.
int CliDecode(int argc, char** argv);
int CliRun(int argc, char** argv);
int CliPorts(int argc, char** argv);
int CliMap(int argc, char** argv);

class CPrjManager;

// The files of run and decode: an error text when a project file (.kvxp) is
// not the only file, else empty.
std::string CheckCliFiles(const std::vector<std::string>& files);
// The files are one project file.
bool IsCliProject(const std::vector<std::string>& files);
// Opens the project, whose files then open relative to its folder; false
// when the project file cannot be read (the reason went to the app's
// messages).
bool OpenCliProject(CPrjManager& project, const std::string& path);

// Exit code for a usage error.
inline constexpr int kExitUsage = 2;

} // namespace korvex
