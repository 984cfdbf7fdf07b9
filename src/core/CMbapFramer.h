#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace korvex {

class CTransportCounters;
class IDeviceLookup;
class ILineSink;
class IPduHandler;
struct SSettings;

// One Modbus TCP connection's stream: it cuts the received bytes into ADUs
// (MBAP header: transaction, protocol 0, length, unit; then the PDU), hands
// each request to the handlers and frames their answer with the request's
// header. A frame split across reads waits for its rest; several frames in
// one read are all answered, in order.
//
// Units: the device whose address is the unit answers; otherwise unit 0 and
// 255 address the server itself, the project's device when it has exactly
// one. Any other unit is unknown: no answer, or with answers by the standard
// exception 0x0B. Unit 0 is never a broadcast here.
//
// Log lines are those of the line: the request as an RTU frame to that unit
// would read, the answer the same way.
//
// Threads: the connection's; one framer per connection.
class CMbapFramer
{
public:
    static constexpr unsigned kHeader = 7;      // transaction, protocol, length, unit
    static constexpr unsigned kMaxLength = 254; // the length field: unit and PDU
    static constexpr unsigned kMaxAdu = kHeader - 1 + kMaxLength; // 260

    // Where answers go: send(frame) at once, or after delayMs (sent() then
    // writes the answer's line as it leaves).
    struct SOutput
    {
        std::function<void(std::vector<std::uint8_t> adu)> send;
        std::function<void(std::vector<std::uint8_t> adu, std::uint32_t delayMs,
                           std::function<void()> sent)>
            sendLater;
    };

    CMbapFramer(IPduHandler& handler, const IDeviceLookup& devices, ILineSink& lines,
                const SSettings& settings);

    // Where the frames seen are counted; none by default.
    void SetCounters(CTransportCounters* counters) { m_pCounters = counters; }

    // Appends a received block and answers every complete request. Returns
    // false with the reason when the stream is broken (a protocol identifier
    // not 0, a length under 2 or over 254): the connection must close.
    bool Receive(const std::uint8_t* data, std::size_t count, const SOutput& out,
                 std::string& reason);

private:
    void Answer(const std::uint8_t* adu, unsigned length, const SOutput& out);
    // The device's address for the unit, or -1: an unknown unit.
    int Route(std::uint8_t unit) const;

    IPduHandler& m_handler;
    const IDeviceLookup& m_devices;
    ILineSink& m_lines;
    const SSettings& m_settings;
    CTransportCounters* m_pCounters{ nullptr };
    std::vector<std::uint8_t> m_buffer;
};

} // namespace korvex
