#include "core/CMbapFramer.h"

#include "core/CDevDoc.h"
#include "core/CParserModbus.h"
#include "core/CTransportCounters.h"
#include "core/Crc16.h"
#include "core/FunctionCodes.h"
#include "core/IDeviceLookup.h"
#include "core/ILineSink.h"
#include "core/IPduHandler.h"
#include "core/SSettings.h"
#include "core/Text.h"
#include "core/Types.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace korvex {
namespace {

// Unit identifiers that address the server itself.
constexpr std::uint8_t kServerUnit0 = 0;
constexpr std::uint8_t kServerUnit255 = 0xFF;

// Exception 0x0B: the gateway's target device failed to respond.
constexpr std::uint8_t kExGatewayTarget = 0x0B;

std::uint16_t Word(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

// The RTU frame the PDU would be on a line to addr: the same log lines.
struct SRtuCopy
{
    std::array<std::uint8_t, SAnswerPdu::kMaxPdu + 3> bytes;
    unsigned nLength{ 0 };
};

SRtuCopy AsRtu(std::uint8_t addr, const std::uint8_t* pdu, unsigned length)
{
    SRtuCopy frame;
    frame.nLength = length + 3;
    frame.bytes[0] = addr;
    std::memcpy(frame.bytes.data() + 1, pdu, length);
    const std::uint16_t crc = Crc16(frame.bytes.data(), length + 1);
    frame.bytes[length + 1] = static_cast<std::uint8_t>(crc >> 8);
    frame.bytes[length + 2] = static_cast<std::uint8_t>(crc & 0xFF);
    return frame;
}

} // namespace

CMbapFramer::CMbapFramer(IPduHandler& handler, const IDeviceLookup& devices, ILineSink& lines,
                         const SSettings& settings)
    : m_handler(handler), m_devices(devices), m_lines(lines), m_settings(settings)
{
}

bool CMbapFramer::Receive(const std::uint8_t* data, std::size_t count, const SOutput& out,
                          std::string& reason)
{
    m_buffer.insert(m_buffer.end(), data, data + count);
    std::size_t pos = 0;
    bool ok = true;
    while (m_buffer.size() - pos >= kHeader) {
        const std::uint8_t* adu = m_buffer.data() + pos;
        const std::uint16_t protocol = Word(adu + 2);
        const std::uint16_t length = Word(adu + 4);
        if (protocol != 0) {
            reason = StrFormat("идентификатор протокола 0x%04X вместо 0", protocol);
            ok = false;
            break;
        }
        if (length < 2 || length > kMaxLength) {
            reason = StrFormat("длина в заголовке MBAP %u вне 2-%u", static_cast<unsigned>(length),
                               kMaxLength);
            ok = false;
            break;
        }
        const unsigned total = kHeader - 1 + length;
        if (m_buffer.size() - pos < total)
            break; // the rest comes with a later read
        Answer(adu, total, out);
        pos += total;
    }
    m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(pos));
    return ok;
}

int CMbapFramer::Route(std::uint8_t unit) const
{
    if (m_devices.FindDeviceByAddr(unit) != nullptr)
        return unit;
    if (unit == kServerUnit0 || unit == kServerUnit255) {
        const std::vector<CDevDoc*> devices = m_devices.GetDevices();
        if (devices.size() == 1)
            return devices.front()->GetDevAddr();
    }
    return -1;
}

void CMbapFramer::Answer(const std::uint8_t* adu, unsigned length, const SOutput& out)
{
    const std::uint8_t unit = adu[kHeader - 1];
    const std::uint8_t* pdu = adu + kHeader;
    const unsigned pduLength = length - kHeader;
    const int routed = Route(unit);
    // An unknown unit reaches the handlers as itself: they say it is not
    // found and answer nothing.
    const auto addr = static_cast<std::uint8_t>(routed >= 0 ? routed : unit);

    // The request's line as the decoder reads the frame on a line.
    const SRtuCopy request = AsRtu(addr, pdu, pduLength);
    SFrameInfo info;
    CParserModbus parser(m_settings, false, nullptr, &m_devices);
    parser.Parse(request.bytes.data(), request.nLength, info);
    if (info.nLength != static_cast<int>(request.nLength) || info.strText.empty()) {
        // Not one whole frame to the decoder (a code it does not know):
        // the bytes as they are.
        info.nKind = LK_WARNING;
        info.strText =
            DescribeUnrecognized(request.bytes.data(), request.nLength, m_settings.VALUEISHEX != 0);
    }

    SAnswerPdu answer;
    SRequestPdu req{ addr, pdu, pduLength, length };
    req.nFraming = kHeader;
    req.bBroadcastUnit = false;
    m_handler.Answer(req, answer);
    const bool strict = m_settings.MBSTRICT != 0;
    if (answer.kind == SAnswerPdu::Kind::None && routed < 0 && strict && pduLength > 0) {
        answer.kind = SAnswerPdu::Kind::Exception;
        answer.pdu[0] = static_cast<std::uint8_t>(pdu[0] | kExceptionFlag);
        answer.pdu[1] = kExGatewayTarget;
        answer.nLength = 2;
    }

    if (answer.kind != SAnswerPdu::Kind::None) {
        std::vector<std::uint8_t> reply(kHeader + answer.nLength);
        std::memcpy(reply.data(), adu, 4); // transaction and protocol
        const unsigned replyLength = 1 + answer.nLength;
        reply[4] = static_cast<std::uint8_t>(replyLength >> 8);
        reply[5] = static_cast<std::uint8_t>(replyLength & 0xFF);
        reply[6] = unit;
        std::memcpy(reply.data() + kHeader, answer.pdu, answer.nLength);

        const bool exception = answer.kind == SAnswerPdu::Kind::Exception;
        const int kind = exception ? LK_ERROR : LK_RESPONSE;
        std::string text = answer.strText;
        if (!exception || text.empty()) {
            const SRtuCopy rtu = AsRtu(addr, answer.pdu, answer.nLength);
            text = DescribeFrame(m_settings, rtu.bytes.data(), rtu.nLength);
        }
        // A CRC to spoil there is none: of the faults that change an answer
        // only the delay applies.
        SFaultDecision fault = answer.fault;
        fault.bBadCrc = false;
        std::erase_if(fault.arRules, [](const std::string& r) { return r.starts_with("crc"); });
        if (fault.ChangesAnswer())
            m_lines.AddLineQueued(LK_WARNING, answer.strDevice, addr, fault.Describe());
        if (fault.bDelayed) {
            std::string raw(reinterpret_cast<const char*>(reply.data()), reply.size());
            ILineSink& lines = m_lines;
            out.sendLater(std::move(reply), fault.dwDelayMs,
                          [&lines, kind, id = answer.strDevice, addr, text, raw = std::move(raw)] {
                              lines.AddLine(
                                  kind, id, addr, text,
                                  { raw, static_cast<std::uint8_t>(raw[kHeader]) & 0x7F });
                          });
        } else {
            // The line before the answer leaves: the sending may close the
            // connection and take the answer's bytes with it.
            m_lines.AddLineQueued(kind, answer.strDevice, addr, std::move(text),
                                  LineFrame(reply.data(), reply.size(), reply[kHeader]));
            out.send(std::move(reply));
        }
    }
    // Seen once answered, as on a line.
    if (m_pCounters != nullptr)
        m_pCounters->CountFrame(routed < 0);
    const CDevDoc* dev = m_devices.FindDeviceByAddr(addr);
    m_lines.AddLine(
        info.nKind, dev != nullptr ? dev->GetDevId() : std::string(), addr, std::move(info.strText),
        LineFrame(adu, length, pduLength > 0 && info.nKind != LK_WARNING ? pdu[0] : -1));
}

} // namespace korvex
