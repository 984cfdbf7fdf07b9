#pragma once

#include "core/ITransport.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace korvex {

class ITransportHost;

// How requests travel on a connection.
enum class ENetFraming
{
    Mbap, // Modbus TCP: MBAP header, no CRC
    Rtu,  // RTU over TCP: RTU frames with CRC on the stream
};

struct SNetEndpoint
{
    ENetFraming framing{ ENetFraming::Mbap };
    std::string strHost{ "127.0.0.1" };
    std::uint16_t nPort{ 0 };
};

// "[HOST:]PORT" as the options take it: "1502", "0.0.0.0:1502",
// "[::]:1502"; HOST defaults to 127.0.0.1 (the loopback: the network reaches
// the emulator only when the user names an address). nullopt with the error
// text when it does not parse.
std::optional<SNetEndpoint> ParseEndpoint(const std::string& text, ENetFraming framing,
                                          std::string& error);
// "Modbus TCP 127.0.0.1:1502", "RTU over TCP [::1]:1503".
std::string DescribeEndpoint(const SNetEndpoint& endpoint);

// The network side of the emulator: listeners for Modbus TCP and RTU over
// TCP on answering threads of their own (Asio: an event loop a thread, one
// thread a core, up to four), in front of the same handlers as the serial
// line. Connections are dealt out to the threads in turn, and each stays on
// its own. Each connection has its own receive buffer, framing state and
// write queue: a master that stalls, sends half a frame or never reads its
// answers delays nobody else (its reading pauses while its answers pile up).
// Answers on a connection leave in its requests' order, delayed ones
// included. Bad input closes that connection only, with a line saying why.
// Connections use TCP keep-alive (idle 60 s, interval 10 s, 3 probes), so a
// vanished master's connection is freed.
//
// Threads: the setters, Bind, Start and Stop on the controlling thread; the
// sockets, the framing and the answers on the answering threads, which run
// between Start and Stop: a connection's on its own thread, the listeners on
// the first.
class CNetServer final : public ITransport
{
public:
    static constexpr unsigned kDefaultMaxClients = 64;
    // A frame sent, for a tap (korvex-cli's T lines): the bytes as they go.
    using SendTap = std::function<void(const std::uint8_t* data, std::size_t count)>;

    explicit CNetServer(ITransportHost& host);
    ~CNetServer() override;

    CNetServer(const CNetServer&) = delete;
    CNetServer& operator=(const CNetServer&) = delete;

    void SetEndpoints(std::vector<SNetEndpoint> endpoints);
    const std::vector<SNetEndpoint>& GetEndpoints() const { return m_arEndpoints; }
    void SetMaxClients(unsigned count) { m_nMaxClients = count; }
    void SetSendTap(SendTap tap) { m_fnTap = std::move(tap); }

    // Binds every endpoint now, so that a run can refuse to start; on failure
    // nothing stays bound and error is one line naming the address and the
    // reason.
    bool Bind(std::string& error);
    bool IsBound() const;
    // The endpoints as bound: port 0 becomes the port the system chose.
    std::vector<SNetEndpoint> GetBoundEndpoints() const;

    bool Start(std::string& error) override;
    void Stop() override;
    // Every endpoint, ", " between them.
    std::string Describe() const override;

private:
    class CImpl;
    ITransportHost& m_host;
    std::vector<SNetEndpoint> m_arEndpoints;
    unsigned m_nMaxClients{ kDefaultMaxClients };
    SendTap m_fnTap;
    std::unique_ptr<CImpl> m_pImpl;
};

} // namespace korvex
