#include "support/RunProcess.h"

#include "support/CChildProcess.h"

#include <signal.h>
#include <unistd.h>

namespace korvex::test {

pid_t SpawnProcess(const std::string& program, const std::vector<std::string>& args, int inFd,
                   int outFd, int errFd)
{
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    const int fds[] = { inFd, outFd, errFd };
    for (int target = 0; target < 3; ++target)
        if (fds[target] >= 0)
            dup2(fds[target], target);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

SProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                          const std::string& input)
{
    CChildProcess child(program, args, input);
    SProcessResult result;
    if (child.Wait(std::chrono::minutes(5)) == -1)
        child.Signal(SIGKILL); // it hangs
    result.nExitCode = child.Wait();
    child.WaitForOutputs();
    result.strOut = child.Stdout();
    result.strErr = child.Stderr();
    return result;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

} // namespace korvex::test
