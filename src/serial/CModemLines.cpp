#include "serial/CModemLines.h"

#include "serial/SerialDefs.h"

#include <sys/ioctl.h>

namespace korvex {

void CModemLines::Reset()
{
    m_nCts = 0;
    m_nDsr = 0;
    m_nRlsd = 0;
    m_nRing = 0;
}

std::uint32_t CModemLines::Update(int status, std::uint32_t mask)
{
    std::uint32_t changed = 0;
    const auto check = [&](std::uint32_t event, int line, int& stored) {
        if (!(mask & event))
            return;
        const int now = (status & line) ? 1 : 0;
        if (now != stored) {
            stored = now;
            changed |= event;
        }
    };
    check(EV_CTS, TIOCM_CTS, m_nCts);
    check(EV_DSR, TIOCM_DSR, m_nDsr);
    check(EV_RING, TIOCM_RI, m_nRing);
    check(EV_RLSD, TIOCM_CD, m_nRlsd);
    return changed;
}

} // namespace korvex
