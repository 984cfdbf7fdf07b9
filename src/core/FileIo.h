#pragma once

#include <string>

namespace korvex {

// File input and output of the document layer. Each returns 0 on success or
// the errno value of the step that failed.

// Reads the whole file into bytes. opened, when given, tells whether the
// failure came after the file was opened (a read error).
int ReadWholeFile(const std::string& path, std::string& bytes, bool* opened = nullptr);

// Replaces the file with the bytes: they go to a new temporary file in the
// same folder, which is then renamed over the old one, so a failure or a crash
// leaves the old file as it was. A symbolic link is followed (the file it names
// is replaced) and an existing file keeps its permissions.
int ReplaceFile(const std::string& path, const std::string& bytes);

// The path made absolute against the current directory, with "." and ".."
// steps resolved by name.
std::string MakeFullPath(const std::string& path);

// The text of an errno value, in Russian like the messages around it: the
// program's own texts of the errors that files, ports and sockets meet, else
// the C library's Russian messages when a Russian locale is installed, else
// the C library's own text.
std::string ErrorText(int error);

} // namespace korvex
