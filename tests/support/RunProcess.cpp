#include "support/RunProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

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
    SProcessResult result;
    int in[2], out[2], err[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
        return result;
    const pid_t pid = SpawnProcess(program, args, in[0], out[1], err[1]);
    close(in[0]);
    close(out[1]);
    close(err[1]);
    signal(SIGPIPE, SIG_IGN);

    std::size_t written = 0;
    if (input.empty()) {
        close(in[1]);
        in[1] = -1;
    }
    int openOutputs = 2;
    while (openOutputs > 0) {
        pollfd fds[3] = { { out[0], POLLIN, 0 }, { err[0], POLLIN, 0 }, { in[1], POLLOUT, 0 } };
        const int n = poll(fds, in[1] >= 0 ? 3 : 2, -1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buf[4096];
            const ssize_t got = read(fds[i].fd, buf, sizeof buf);
            if (got > 0) {
                (i == 0 ? result.strOut : result.strErr).append(buf, static_cast<std::size_t>(got));
            } else {
                close(fds[i].fd);
                (i == 0 ? out[0] : err[0]) = -1;
                --openOutputs;
            }
        }
        if (in[1] >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
            const ssize_t put = write(in[1], input.data() + written, input.size() - written);
            if (put > 0)
                written += static_cast<std::size_t>(put);
            if (put < 0 || written == input.size()) {
                close(in[1]);
                in[1] = -1;
            }
        }
    }
    if (in[1] >= 0)
        close(in[1]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status))
        result.nExitCode = WEXITSTATUS(status);
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
