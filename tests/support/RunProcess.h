#pragma once

#include <string>
#include <vector>

#include <sys/types.h>

namespace korvex::test {

struct SProcessResult
{
    int nExitCode{ -1 };
    std::string strOut;
    std::string strErr;
};

// Starts a program with the given arguments; its standard input, output and
// error become the given descriptors (-1 keeps the test's own). Descriptors
// made with O_CLOEXEC do not leak into it. Returns the process id, -1 on failure.
pid_t SpawnProcess(const std::string& program, const std::vector<std::string>& args, int inFd,
                   int outFd, int errFd);

// Runs a program with the given arguments, feeds input to its standard input
// and collects both outputs. The exit code is -1 when it did not exit normally.
SProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                          const std::string& input = std::string());

// Splits text into lines without their line ends.
std::vector<std::string> SplitLines(const std::string& text);

} // namespace korvex::test
