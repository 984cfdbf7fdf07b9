#include "support/CChildProcess.h"

#include "support/RunProcess.h"

#include <fcntl.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace korvex::test {

CChildProcess::CChildProcess(const std::string& program, const std::vector<std::string>& args,
                             std::optional<std::string> input)
{
    int in[2] = { -1, -1 }, out[2], err[2];
    if ((input && pipe2(in, O_CLOEXEC) != 0) || pipe2(out, O_CLOEXEC) != 0 ||
        pipe2(err, O_CLOEXEC) != 0)
        return;
    m_pid = SpawnProcess(program, args, in[0], out[1], err[1]);
    for (int fd : { in[0], out[1], err[1] })
        if (fd >= 0)
            close(fd);
    if (input) {
        // A program that exits before reading everything must not kill the test.
        signal(SIGPIPE, SIG_IGN);
        m_inWriter = std::thread([fd = in[1], text = std::move(*input)] {
            for (std::size_t done = 0; done < text.size();) {
                const ssize_t n = write(fd, text.data() + done, text.size() - done);
                if (n <= 0)
                    break;
                done += static_cast<std::size_t>(n);
            }
            close(fd);
        });
    }
    m_outReader = std::thread([this, fd = out[0]] { ReadLoop(fd, true); });
    m_errReader = std::thread([this, fd = err[0]] { ReadLoop(fd, false); });
}

CChildProcess::~CChildProcess()
{
    if (m_pid > 0 && Wait(std::chrono::milliseconds(0)) == -1 && !m_bExited) {
        kill(m_pid, SIGKILL);
        Wait(std::chrono::seconds(5));
    }
    WaitForOutputs();
}

void CChildProcess::WaitForOutputs()
{
    for (std::thread* t : { &m_inWriter, &m_outReader, &m_errReader })
        if (t->joinable())
            t->join();
}

void CChildProcess::ReadLoop(int fd, bool isStdout)
{
    // A pipe holds 64 KiB: a fast writer is read in few calls.
    std::vector<char> buffer(64 * 1024);
    char* buf = buffer.data();
    for (;;) {
        const ssize_t n = read(fd, buf, buffer.size());
        if (n <= 0)
            break;
        std::lock_guard lock(m_mutex);
        if (!isStdout) {
            m_strErr.append(buf, static_cast<std::size_t>(n));
            continue;
        }
        if (m_bDiscard)
            continue;
        m_strOut.append(buf, static_cast<std::size_t>(n));
        // Only the new bytes are searched, and the lines taken are cut off
        // once: a fast writer costs the reader little.
        std::size_t from = m_strPartial.size();
        m_strPartial.append(buf, static_cast<std::size_t>(n));
        std::size_t start = 0;
        std::size_t nl;
        while ((nl = m_strPartial.find('\n', from)) != std::string::npos) {
            m_lines.push_back(m_strPartial.substr(start, nl - start));
            start = from = nl + 1;
        }
        m_strPartial.erase(0, start);
        m_cv.notify_all();
    }
    close(fd);
    std::lock_guard lock(m_mutex);
    ++m_nReadersDone;
    m_cv.notify_all();
}

std::string CChildProcess::WaitForLine(const std::function<bool(const std::string&)>& pred,
                                       std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    std::size_t checked = 0;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (; checked < m_lines.size(); ++checked)
            if (pred(m_lines[checked]))
                return m_lines[checked];
        if (m_cv.wait_until(lock, deadline) == std::cv_status::timeout) {
            for (; checked < m_lines.size(); ++checked)
                if (pred(m_lines[checked]))
                    return m_lines[checked];
            return std::string();
        }
    }
}

void CChildProcess::DiscardOutput()
{
    std::lock_guard lock(m_mutex);
    m_bDiscard = true;
}

std::vector<std::string> CChildProcess::Lines() const
{
    std::lock_guard lock(m_mutex);
    return m_lines;
}

std::string CChildProcess::Stdout() const
{
    std::lock_guard lock(m_mutex);
    return m_strOut;
}

std::string CChildProcess::Stderr() const
{
    std::lock_guard lock(m_mutex);
    return m_strErr;
}

void CChildProcess::Signal(int sig)
{
    if (m_pid > 0 && !m_bExited)
        kill(m_pid, sig);
}

int CChildProcess::Wait(std::chrono::milliseconds timeout)
{
    if (m_bExited)
        return m_nExitCode;
    if (m_pid <= 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(m_pid, &status, WNOHANG);
        if (r == m_pid) {
            m_bExited = true;
            m_nExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            // The last lines may still be in the pipes.
            std::unique_lock lock(m_mutex);
            const int readers =
                static_cast<int>(m_outReader.joinable()) + static_cast<int>(m_errReader.joinable());
            m_cv.wait_for(lock, std::chrono::seconds(2),
                          [this, readers] { return m_nReadersDone >= readers; });
            return m_nExitCode;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace korvex::test
