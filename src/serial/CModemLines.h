#pragma once

#include <cstdint>

namespace korvex {

// The last seen state of the four modem input lines, and which of them
// changed. Used by the reader thread only.
class CModemLines
{
public:
    // All four lines off, as at the start of the reader thread.
    void Reset();

    // Takes a modem status (TIOCM_CTS, TIOCM_DSR, TIOCM_RI, TIOCM_CD bits),
    // stores the state of each line whose event bit is in mask and returns the
    // event bits (EV_CTS, EV_DSR, EV_RING, EV_RLSD) of the lines that changed.
    std::uint32_t Update(int status, std::uint32_t mask);

private:
    int m_nCts{ 0 };
    int m_nDsr{ 0 };
    int m_nRlsd{ 0 };
    int m_nRing{ 0 };
};

} // namespace korvex
