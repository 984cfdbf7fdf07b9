#include "core/CRtuFramer.h"

#include "core/CParserModbus.h"
#include "core/CTransportCounters.h"
#include "core/Crc16.h"
#include "core/IFrameSender.h"
#include "core/ILineSink.h"
#include "core/IPduHandler.h"
#include "core/Types.h"

#include <cstring>
#include <string>

namespace korvex {
namespace {

// Address and CRC around the PDU.
constexpr unsigned kRtuOverhead = 3;

} // namespace

CRtuFramer::CRtuFramer(IPduHandler& handler, IFrameSender& sender, ILineSink& lines,
                       const SSettings& settings)
    : m_handler(handler), m_sender(sender), m_lines(lines), m_settings(settings)
{
}

void CRtuFramer::Answer(const std::uint8_t* frame, unsigned length)
{
    if (length < kRtuOverhead + 1)
        return;
    SAnswerPdu answer;
    m_handler.Answer({ frame[0], frame + 1, length - kRtuOverhead, length }, answer);
    if (answer.kind == SAnswerPdu::Kind::None)
        return;

    std::uint8_t out[SAnswerPdu::kMaxPdu + kRtuOverhead];
    const std::uint8_t unit = frame[0];
    out[0] = unit;
    std::memcpy(out + 1, answer.pdu, answer.nLength);
    unsigned n = 1 + answer.nLength;
    const std::uint16_t crc = Crc16(out, n);
    out[n++] = static_cast<std::uint8_t>(crc >> 8);
    out[n++] = static_cast<std::uint8_t>(crc & 0xFF);

    const bool exception = answer.kind == SAnswerPdu::Kind::Exception;
    const int kind = exception ? LK_ERROR : LK_RESPONSE;
    const std::string text =
        exception && !answer.strText.empty() ? answer.strText : DescribeFrame(m_settings, out, n);
    const SFaultDecision& fault = answer.fault;
    if (!fault.ChangesAnswer()) {
        m_sender.SendFrame(out, n);
        m_lines.AddLineQueued(kind, answer.strDevice, unit, text, LineFrame(out, n, out[1]));
        return;
    }
    // Flipping the last byte leaves a CRC that can no longer match.
    if (fault.bBadCrc) {
        out[n - 1] ^= 0xFF;
        if (m_pCounters != nullptr)
            m_pCounters->CountCrcFault();
    }
    m_lines.AddLineQueued(LK_WARNING, answer.strDevice, unit, fault.Describe());
    if (!fault.bDelayed) {
        m_sender.SendFrame(out, n);
        m_lines.AddLineQueued(kind, answer.strDevice, unit, text, LineFrame(out, n, out[1]));
        return;
    }
    // The answer's own line appears when it leaves.
    ILineSink& lines = m_lines;
    m_sender.SendFrameDelayed(
        out, n, fault.dwDelayMs,
        [&lines, kind, id = answer.strDevice, unit, text,
         raw = std::string(reinterpret_cast<const char*>(out), n)] {
            lines.AddLine(kind, id, unit, text, { raw, static_cast<std::uint8_t>(raw[1]) & 0x7F });
        });
}

} // namespace korvex
