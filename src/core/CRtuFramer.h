#pragma once

#include <cstdint>

namespace korvex {

class CTransportCounters;
class IFrameSender;
class ILineSink;
class IPduHandler;
struct SSettings;

// The RTU side of answering: a request frame (address, PDU, CRC) goes to the
// handlers as its unit and PDU; their answer is framed with the address and
// the CRC, the low-order byte first on the wire, and sent. The faults that
// belong to the line act here: a spoiled CRC, an answer held back. The
// answer's line follows the request's: the handler's own text for an
// exception it explains, else the decoder's description of the frame; an
// answer a fault changed gets the fault's warning line first.
//
// Threads: the thread that drains the receive buffer.
class CRtuFramer
{
public:
    CRtuFramer(IPduHandler& handler, IFrameSender& sender, ILineSink& lines,
               const SSettings& settings);

    // Where answers sent with a spoiled CRC are counted; none by default.
    void SetCounters(CTransportCounters* counters) { m_pCounters = counters; }

    // frame: a request to a device of the project, CRC included.
    void Answer(const std::uint8_t* frame, unsigned length);

private:
    IPduHandler& m_handler;
    IFrameSender& m_sender;
    ILineSink& m_lines;
    const SSettings& m_settings;
    CTransportCounters* m_pCounters{ nullptr };
};

} // namespace korvex
