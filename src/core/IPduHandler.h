#pragma once

#include "core/CFaultInjector.h"

#include <cstdint>
#include <string>

namespace korvex {

// A request as the handlers see it, whatever carried it: the unit (the slave
// address on a line, the unit identifier on TCP) and the PDU, function code
// first, without address, header or CRC. nFrameLength is the length of the
// frame the transport received it in, for the texts that speak of it and
// the device's counters; nFraming the bytes the transport puts around an
// answer's PDU (an RTU frame's address and CRC, an MBAP header).
struct SRequestPdu
{
    std::uint8_t byUnit{ 0 };
    const std::uint8_t* pData{ nullptr };
    unsigned nLength{ 0 };
    unsigned nFrameLength{ 0 };
    unsigned nFraming{ 3 };
    // Unit 0 is a broadcast on a line and over RTU framing, never on Modbus
    // TCP.
    bool bBroadcastUnit{ true };

    std::uint8_t Code() const { return nLength > 0 ? pData[0] : 0; }
    // The big-endian word at the PDU's offset at; 0 beyond its end.
    std::uint16_t Word(unsigned at) const
    {
        return at + 1 < nLength ? static_cast<std::uint16_t>((pData[at] << 8) | pData[at + 1]) : 0;
    }
};

// What a handler makes of a request: no answer, a normal answer PDU or an
// exception PDU (code with bit 7 set, exception code). The transport frames
// it, applies the faults that belong to the line (a spoiled CRC, a delay) and
// writes the answer's log line: strText when the handler has one of its own,
// else the decoder's description of the frame.
struct SAnswerPdu
{
    static constexpr unsigned kMaxPdu = 253;

    enum class Kind
    {
        None,
        Normal,
        Exception,
    };

    Kind kind{ Kind::None };
    std::uint8_t pdu[kMaxPdu]{};
    unsigned nLength{ 0 };
    std::string strDevice; // the answering device's ID, for its lines
    std::string strText;   // an exception's own line; empty: the frame's
    SFaultDecision fault;  // what the device's faults do to the answer
};

// The request handlers behind every transport.
class IPduHandler
{
public:
    virtual ~IPduHandler() = default;
    // Answers the request. Lines of its own (an unknown unit, a device whose
    // faults silence it) are queued behind the request's line.
    virtual void Answer(const SRequestPdu& request, SAnswerPdu& answer) = 0;
};

} // namespace korvex
