#pragma once

#include <string>
#include <string_view>

namespace korvex {

// Paths of the project file. Inside the program paths are Linux paths; the
// project file holds them relative to its own folder in the form the Windows
// program writes and reads (".\pump.kvxd", "..\lib\pump.kvxd", ".\sub\x"), so
// project files stay interchangeable. Reading takes either slash. No length
// limit applies.

// The path of a file relative to the folder baseDir, both absolute Linux
// paths, with backslashes between the steps: ".\" and the rest for a file in
// the folder or below it, one "..\" per step up otherwise. "." and ".."
// steps of either path are resolved by name first. A relative path, or a
// base that is not absolute, gives the path unchanged.
std::string MakeRelativePathTo(std::string_view baseDir, const std::string& path);

// An absolute path unchanged; a relative one, backslashes taken for slashes
// and a leading ".\" (or "./") dropped, joined to baseDir with one slash.
std::string ResolvePathIn(std::string_view baseDir, const std::string& path);

// The path without its extension: the text from the last dot of its last
// step (after the last slash or backslash) is dropped.
std::string RemoveExtension(const std::string& path);

// The folder of a file's absolute path: everything before its last slash,
// "/" for a file in the root; empty for a path without a slash.
std::string DirOfPath(const std::string& path);

// A project line names a device file when the text from its last dot begins
// with ".kvxd" in any letter case; any other line names a script file.
bool IsDevicePath(std::string_view path);

} // namespace korvex
