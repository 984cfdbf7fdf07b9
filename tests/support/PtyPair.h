#pragma once

// A pseudo-terminal pair made by the test, standing for the far end of a
// serial line, and helpers to move bytes through descriptors with deadlines.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvex::test {

using Bytes = std::vector<std::uint8_t>;

class CPtyPair
{
public:
    // Opens the pair with a raw slave side; both descriptors non-blocking.
    // Valid() tells whether it worked.
    CPtyPair();
    ~CPtyPair();

    CPtyPair(const CPtyPair&) = delete;
    CPtyPair& operator=(const CPtyPair&) = delete;

    bool Valid() const { return m_nMaster >= 0 && m_nSlave >= 0; }
    int Master() const { return m_nMaster; }
    int Slave() const { return m_nSlave; }
    const std::string& SlavePath() const { return m_strSlavePath; }

    void CloseMaster();
    void CloseSlave();
    // An exclusive flock on the slave descriptor, as a program that has the
    // port open holds it.
    bool LockSlave();

private:
    int m_nMaster{ -1 };
    int m_nSlave{ -1 };
    std::string m_strSlavePath;
};

// Opens a terminal path non-blocking and raw; -1 on failure.
int OpenRawTerminal(const std::string& path);

// Writes all bytes, waiting for room up to the timeout; false when not all
// went out.
bool WriteAll(int fd, const void* data, std::size_t count,
              std::chrono::milliseconds timeout = std::chrono::seconds(5));
bool WriteAll(int fd, const Bytes& bytes,
              std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Reads until count bytes have come or the timeout has passed.
Bytes ReadExactly(int fd, std::size_t count,
                  std::chrono::milliseconds timeout = std::chrono::seconds(5));

// Reads whatever arrives within the timeout.
Bytes ReadAvailable(int fd, std::chrono::milliseconds timeout);

// Bytes 0, 1, 2, ... (mod 251, so that no block boundary lines up with the
// pattern) starting at first.
Bytes Pattern(std::size_t count, std::size_t first = 0);

// Checks pred every millisecond until it holds or the timeout has passed,
// for conditions that no hook announces.
bool WaitUntil(const std::function<bool()>& pred, std::chrono::milliseconds timeout);

// CPU time of the whole process so far.
std::chrono::nanoseconds ProcessCpuTime();

} // namespace korvex::test
