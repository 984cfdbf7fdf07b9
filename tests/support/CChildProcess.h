#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace korvex::test {

// A program running beside the test; its standard output is collected line
// by line on a thread of its own, so the test can wait for a line. Given an
// input, the program reads it on its standard input, then end of file;
// without one it shares the test's.
class CChildProcess
{
public:
    CChildProcess(const std::string& program, const std::vector<std::string>& args,
                  std::optional<std::string> input = std::nullopt);
    ~CChildProcess();

    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Waits until a line satisfies pred; returns it, or empty on time-out.
    std::string WaitForLine(const std::function<bool(const std::string&)>& pred,
                            std::chrono::milliseconds timeout = std::chrono::seconds(10));
    std::vector<std::string> Lines() const;
    // From now on standard output is read and dropped (a benchmark's
    // program that writes much and long).
    void DiscardOutput();
    // Everything written to standard output and error so far.
    std::string Stdout() const;
    std::string Stderr() const;

    void Signal(int sig);
    // Waits for the exit; returns the exit code, -1 on a signal or time-out.
    // Once the program has ended, what it wrote is read to the end (for up
    // to 2 s more: a process it left behind may hold its outputs open).
    int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits until the program's outputs are closed, all read.
    void WaitForOutputs();

private:
    void ReadLoop(int fd, bool isStdout);

    pid_t m_pid{ -1 };
    int m_nExitCode{ -1 };
    bool m_bExited{ false };
    int m_nReadersDone{ 0 }; // outputs read to their end; under m_mutex
    bool m_bDiscard{ false }; // under m_mutex
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::string> m_lines;
    std::string m_strOut;
    std::string m_strPartial;
    std::string m_strErr;
    std::thread m_inWriter;
    std::thread m_outReader;
    std::thread m_errReader;
};

} // namespace korvex::test
