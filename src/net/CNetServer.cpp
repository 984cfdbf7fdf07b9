#include "net/CNetServer.h"

#include "core/CCounters.h"
#include "core/CMbapFramer.h"
#include "core/CRxPath.h"
#include "core/FileIo.h"
#include "core/ILineSink.h"
#include "core/ITransmitter.h"
#include "core/ITransportHost.h"
#include "core/ITransportThread.h"
#include "core/Text.h"
#include "core/Types.h"

#include <asio.hpp>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <array>
#include <atomic>
#include <charconv>
#include <deque>
#include <list>
#include <mutex>
#include <shared_mutex>
#include <thread>

namespace korvex {
namespace {

using asio::ip::tcp;

// Answers waiting to be written beyond this stop the reading of their
// connection until the master has read them down to the lower mark.
constexpr std::size_t kPauseAbove = 64 * 1024;
constexpr std::size_t kResumeBelow = 16 * 1024;
// The longest RTU frame: bytes pending beyond it make no frame.
constexpr unsigned kMaxRtuFrame = 256;
// Each connection's RTU receive buffer.
constexpr std::uint32_t kRtuBuffer = 16 * 1024;

constexpr int kKeepIdle = 60;
constexpr int kKeepInterval = 10;
constexpr int kKeepCount = 3;

std::string FormatAddress(const asio::ip::address& address, unsigned port)
{
    if (address.is_v6())
        return "[" + address.to_string() + "]:" + std::to_string(port);
    return address.to_string() + ":" + std::to_string(port);
}

} // namespace

std::optional<SNetEndpoint> ParseEndpoint(const std::string& text, ENetFraming framing,
                                          std::string& error)
{
    SNetEndpoint e;
    e.framing = framing;
    std::string port = text;
    if (!text.empty() && text.front() == '[') {
        const auto close = text.find(']');
        if (close == std::string::npos || close + 1 >= text.size() || text[close + 1] != ':') {
            error = "ожидается [АДРЕС]:ПОРТ: " + text;
            return std::nullopt;
        }
        e.strHost = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else if (const auto colon = text.rfind(':'); colon != std::string::npos) {
        e.strHost = text.substr(0, colon);
        port = text.substr(colon + 1);
    }
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (port.empty() || ec != std::errc() || end != port.data() + port.size() || value > 65535) {
        error = "неверный порт: " + text;
        return std::nullopt;
    }
    asio::error_code bad;
    asio::ip::make_address(e.strHost, bad);
    if (bad) {
        error = "неверный адрес: " + text;
        return std::nullopt;
    }
    e.nPort = static_cast<std::uint16_t>(value);
    return e;
}

std::string DescribeEndpoint(const SNetEndpoint& endpoint)
{
    asio::error_code ec;
    const asio::ip::address address = asio::ip::make_address(endpoint.strHost, ec);
    const std::string where = ec ? endpoint.strHost + ":" + std::to_string(endpoint.nPort)
                                 : FormatAddress(address, endpoint.nPort);
    return (endpoint.framing == ENetFraming::Mbap ? "Modbus TCP " : "RTU over TCP ") + where;
}

// ---- The server's state, on its thread ------------------------------------------

class CNetServer::CImpl
{
public:
    struct SListener
    {
        SListener(asio::io_context& io, SNetEndpoint e) : acceptor(io), endpoint(std::move(e)) {}
        tcp::acceptor acceptor;
        SNetEndpoint endpoint; // as bound
        std::string strName;   // DescribeEndpoint
        std::shared_ptr<CTransportCounters> pCounters; // of all its connections
    };
    class CConnection;

    // An answering thread and its event loop. Each connection stays on one.
    struct SWorker
    {
        asio::io_context io{ 1 }; // one thread runs it
        std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
        std::thread thread;
    };

    CImpl(ITransportHost& host, unsigned maxClients, SendTap tap)
        : m_host(host), m_nMaxClients(maxClients), m_fnTap(std::move(tap))
    {
        // As many as there are cores, up to four: the first also accepts.
        const unsigned count = std::clamp(std::thread::hardware_concurrency(), 1U, kMaxWorkers);
        for (unsigned i = 0; i < count; ++i)
            m_workers.push_back(std::make_unique<SWorker>());
    }

    asio::io_context& AcceptorIo() { return m_workers.front()->io; }
    void Accept(SListener& listener);
    void Closed(const std::shared_ptr<CConnection>& connection);
    // On each worker's thread: closes its connections, the first its
    // listeners too.
    void CloseAll(asio::io_context& io);
    void Line(const std::string& text) { m_host.GetLines().AddLine(LK_WARNING, "", -1, text); }

    static constexpr unsigned kMaxWorkers = 4;
    ITransportHost& m_host;
    unsigned m_nMaxClients;
    SendTap m_fnTap;
    std::vector<std::unique_ptr<SWorker>> m_workers;
    unsigned m_nNextWorker{ 0 }; // the first worker's thread
    std::list<SListener> m_listeners;
    std::mutex m_csConnections;
    std::list<std::shared_ptr<CConnection>> m_connections; // under m_csConnections
    bool m_bServing{ false };
    // Set before the workers are told to close their connections: one whose
    // start was on its way then closes at once.
    std::atomic<bool> m_bStopping{ false };
};

// One master's connection. Everything runs on its worker's thread; the
// receive path of RTU framing calls Write and RunLater there too.
class CNetServer::CImpl::CConnection final : public std::enable_shared_from_this<CConnection>,
                                             public ITransmitter,
                                             public ITransportThread
{
public:
    CConnection(asio::io_context& io, CImpl& server, tcp::socket socket, const SListener& listener)
        : m_io(io), m_server(server), m_socket(std::move(socket)),
          m_framing(listener.endpoint.framing), m_strListener(listener.strName)
    {
        asio::error_code ec;
        const tcp::endpoint peer = m_socket.remote_endpoint(ec);
        m_strPeer = ec ? std::string("?") : FormatAddress(peer.address(), peer.port());
        ITransportHost& host = server.m_host;
        if (m_framing == ENetFraming::Mbap) {
            m_pMbap = std::make_unique<CMbapFramer>(host.GetPduHandler(), host.GetDeviceLookup(),
                                                    host.GetLines(), host.GetSettings());
            m_pMbap->SetCounters(listener.pCounters.get());
        } else {
            m_pRtu =
                std::make_unique<CRxPath>(host.GetDeviceLookup(), host.GetLines(),
                                          host.GetSettings(), host.GetRunningFlag(), kRtuBuffer);
            m_pRtu->SetHandler(&host.GetPduHandler());
            m_pRtu->SetTransmitter(this);
            m_pRtu->SetEchoPossible(false);
            m_pRtu->SetSettingsLock(&host.GetSettingsLock());
            m_pRtu->SetTransportThread(this);
            m_pRtu->SetCounters(listener.pCounters.get());
        }
    }

    void Begin()
    {
        asio::error_code ec;
        m_socket.set_option(tcp::no_delay(true), ec);
        m_socket.set_option(asio::socket_base::keep_alive(true), ec);
        const int fd = m_socket.native_handle();
        setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdle, sizeof kKeepIdle);
        setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepInterval, sizeof kKeepInterval);
        setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &kKeepCount, sizeof kKeepCount);
        m_socket.non_blocking(true, ec);
        m_server.Line(StrFormat("%s: подключение %s", m_strListener.c_str(), m_strPeer.c_str()));
        if (m_server.m_bStopping) {
            Close("эмулятор остановлен");
            return;
        }
        Read();
    }

    asio::io_context& GetIo() const { return m_io; }

    // Closes at once (the emulator stops, the socket failed).
    void Close(const std::string& reason)
    {
        if (m_bClosed)
            return;
        m_bClosed = true;
        for (auto& timer : m_timers)
            timer->cancel();
        m_timers.clear();
        // The line first: a master that sees the close finds it in the log.
        m_server.Line(StrFormat("%s: отключение %s (%s)", m_strListener.c_str(), m_strPeer.c_str(),
                                reason.c_str()));
        asio::error_code ec;
        m_socket.shutdown(tcp::socket::shutdown_both, ec);
        m_socket.close(ec);
        m_server.Closed(shared_from_this());
    }

    // ITransmitter: an RTU answer.
    bool Write(const std::uint8_t* data, std::uint32_t count) override
    {
        Queue(std::vector<std::uint8_t>(data, data + count));
        return true;
    }
    // ITransportThread: nothing but the socket feeds this receive path.
    void RequestDrain() override {}
    void RunLater(std::chrono::milliseconds delay, std::function<void()> task) override
    {
        Later(delay, std::move(task));
    }

private:
    // An answer's place in the connection's order; a delayed one is filled
    // when its time comes.
    struct SSlot
    {
        bool bReady{ false };
        std::vector<std::uint8_t> data;
    };

    void Read()
    {
        if (m_bClosed || m_bReading)
            return;
        m_bReading = true;
        m_socket.async_read_some(
            asio::buffer(m_readBuf),
            [self = shared_from_this()](const asio::error_code& ec, std::size_t n) {
                self->m_bReading = false;
                self->OnRead(ec, n);
            });
    }

    void OnRead(const asio::error_code& ec, std::size_t n)
    {
        if (m_bClosed)
            return;
        if (ec) {
            Close(ec == asio::error::eof ? std::string("ведущий закрыл соединение")
                                         : ErrorText(ec.value()));
            return;
        }
        std::string reason;
        if (m_pMbap != nullptr) {
            std::shared_lock lock(m_server.m_host.GetSettingsLock());
            CMbapFramer::SOutput out{
                [this](std::vector<std::uint8_t> adu) { Answer(std::move(adu)); },
                [this](std::vector<std::uint8_t> adu, std::uint32_t delayMs,
                       std::function<void()> sent) {
                    AnswerLater(std::move(adu), delayMs, std::move(sent));
                },
            };
            if (!m_pMbap->Receive(m_readBuf.data(), n, out, reason)) {
                lock.unlock();
                Close(reason);
                return;
            }
        } else {
            const std::uint64_t before = m_pRtu->GetUnrecognizedCount();
            m_pRtu->OnReceive(m_readBuf.data(), static_cast<std::uint32_t>(n));
            if (m_pRtu->GetUnrecognizedCount() != before ||
                m_pRtu->GetPendingLength() > kMaxRtuFrame) {
                Close("данные не образуют кадра");
                return;
            }
        }
        if (m_nQueued <= kPauseAbove)
            Read();
    }

    void Answer(std::vector<std::uint8_t> adu)
    {
        if (m_slots.empty()) {
            Queue(std::move(adu));
            return;
        }
        m_slots.push_back(std::make_shared<SSlot>(SSlot{ true, std::move(adu) }));
    }

    void AnswerLater(std::vector<std::uint8_t> adu, std::uint32_t delayMs,
                     std::function<void()> sent)
    {
        auto slot = std::make_shared<SSlot>();
        m_slots.push_back(slot);
        Later(std::chrono::milliseconds(delayMs),
              [this, slot, adu = std::move(adu), sent = std::move(sent)]() mutable {
                  slot->bReady = true;
                  slot->data = std::move(adu);
                  if (sent)
                      sent();
                  while (!m_slots.empty() && m_slots.front()->bReady) {
                      Queue(std::move(m_slots.front()->data));
                      m_slots.pop_front();
                  }
              });
    }

    void Later(std::chrono::milliseconds delay, std::function<void()> task)
    {
        if (m_bClosed)
            return;
        auto timer = std::make_shared<asio::steady_timer>(m_socket.get_executor(), delay);
        m_timers.push_back(timer);
        timer->async_wait(
            [self = shared_from_this(), timer, task = std::move(task)](const asio::error_code& ec) {
                std::erase(self->m_timers, timer);
                if (!ec && !self->m_bClosed)
                    task();
            });
    }

    void Queue(std::vector<std::uint8_t> data)
    {
        if (m_bClosed || data.empty())
            return;
        if (m_server.m_fnTap)
            m_server.m_fnTap(data.data(), data.size());
        std::size_t sent = 0;
        if (!m_bWriting) {
            // Nothing is waiting to go: straight to the socket, without a
            // round through the event loop. What does not fit waits.
            asio::error_code ec;
            sent = m_socket.write_some(asio::buffer(data), ec);
            if (ec && ec != asio::error::would_block && ec != asio::error::try_again) {
                Close(ErrorText(ec.value()));
                return;
            }
            if (sent == data.size())
                return;
            data.erase(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(sent));
        }
        m_nQueued += data.size();
        m_out.push_back(std::move(data));
        if (!m_bWriting)
            WriteNext();
    }

    void WriteNext()
    {
        if (m_out.empty() || m_bClosed)
            return;
        m_bWriting = true;
        asio::async_write(m_socket, asio::buffer(m_out.front()),
                          [self = shared_from_this()](const asio::error_code& ec, std::size_t) {
                              self->OnWritten(ec);
                          });
    }

    void OnWritten(const asio::error_code& ec)
    {
        m_bWriting = false;
        if (m_bClosed)
            return;
        if (ec) {
            Close(ErrorText(ec.value()));
            return;
        }
        m_nQueued -= m_out.front().size();
        m_out.pop_front();
        WriteNext();
        if (m_nQueued < kResumeBelow)
            Read();
    }

    asio::io_context& m_io; // its worker's
    CImpl& m_server;
    tcp::socket m_socket;
    ENetFraming m_framing;
    std::string m_strListener;
    std::string m_strPeer;
    std::unique_ptr<CMbapFramer> m_pMbap;
    std::unique_ptr<CRxPath> m_pRtu;
    std::array<std::uint8_t, 4096> m_readBuf{};
    std::deque<std::vector<std::uint8_t>> m_out;
    std::size_t m_nQueued{ 0 };
    std::deque<std::shared_ptr<SSlot>> m_slots;
    std::vector<std::shared_ptr<asio::steady_timer>> m_timers;
    bool m_bReading{ false };
    bool m_bWriting{ false };
    bool m_bClosed{ false };
};

void CNetServer::CImpl::Accept(SListener& listener)
{
    // The next connection belongs to the next worker in turn.
    asio::io_context& io = m_workers[m_nNextWorker]->io;
    m_nNextWorker = (m_nNextWorker + 1) % static_cast<unsigned>(m_workers.size());
    listener.acceptor.async_accept(io, [this, &listener, &io](const asio::error_code& ec,
                                                              tcp::socket socket) {
        if (ec == asio::error::operation_aborted || !listener.acceptor.is_open())
            return;
        if (!ec) {
            asio::error_code peerError;
            const tcp::endpoint peer = socket.remote_endpoint(peerError);
            std::unique_lock lock(m_csConnections);
            if (m_connections.size() >= m_nMaxClients) {
                lock.unlock();
                Line(StrFormat("%s: подключение %s отклонено (уже %u подключений)",
                               listener.strName.c_str(),
                               peerError ? "?" : FormatAddress(peer.address(), peer.port()).c_str(),
                               m_nMaxClients));
                socket.close(peerError);
            } else {
                listener.pCounters->CountConnection();
                auto connection =
                    std::make_shared<CConnection>(io, *this, std::move(socket), listener);
                m_connections.push_back(connection);
                lock.unlock();
                asio::post(io, [connection] { connection->Begin(); });
            }
        }
        Accept(listener);
    });
}

void CNetServer::CImpl::Closed(const std::shared_ptr<CConnection>& connection)
{
    std::lock_guard lock(m_csConnections);
    m_connections.remove(connection);
}

void CNetServer::CImpl::CloseAll(asio::io_context& io)
{
    asio::error_code ec;
    if (&io == &AcceptorIo())
        for (SListener& listener : m_listeners)
            listener.acceptor.close(ec);
    // Close removes the connection from the list.
    std::vector<std::shared_ptr<CConnection>> mine;
    {
        std::lock_guard lock(m_csConnections);
        for (const auto& connection : m_connections)
            if (&connection->GetIo() == &io)
                mine.push_back(connection);
    }
    for (const auto& connection : mine)
        connection->Close("эмулятор остановлен");
}

// ---- CNetServer -----------------------------------------------------------------------

CNetServer::CNetServer(ITransportHost& host) : m_host(host) {}

CNetServer::~CNetServer()
{
    Stop();
}

void CNetServer::SetEndpoints(std::vector<SNetEndpoint> endpoints)
{
    Stop();
    m_pImpl.reset();
    m_arEndpoints = std::move(endpoints);
}

bool CNetServer::Bind(std::string& error)
{
    if (IsBound())
        return true;
    m_pImpl = std::make_unique<CImpl>(m_host, m_nMaxClients, m_fnTap);
    for (const SNetEndpoint& e : m_arEndpoints) {
        CImpl::SListener& listener = m_pImpl->m_listeners.emplace_back(m_pImpl->AcceptorIo(), e);
        asio::error_code ec;
        const asio::ip::address address = asio::ip::make_address(e.strHost, ec);
        const tcp::endpoint endpoint(address, e.nPort);
        if (!ec)
            listener.acceptor.open(endpoint.protocol(), ec);
        if (!ec)
            listener.acceptor.set_option(tcp::acceptor::reuse_address(true), ec);
        if (!ec && address.is_v6())
            listener.acceptor.set_option(asio::ip::v6_only(true), ec);
        if (!ec)
            listener.acceptor.bind(endpoint, ec);
        if (!ec)
            listener.acceptor.listen(asio::socket_base::max_listen_connections, ec);
        if (!ec)
            listener.endpoint.nPort = listener.acceptor.local_endpoint(ec).port();
        if (ec) {
            error = StrFormat("Невозможно открыть %s: %s", DescribeEndpoint(e).c_str(),
                              ErrorText(ec.value()).c_str());
            m_pImpl.reset();
            return false;
        }
        listener.strName = DescribeEndpoint(listener.endpoint);
        listener.pCounters = m_host.GetCounters().Transport(listener.strName);
    }
    return true;
}

bool CNetServer::IsBound() const
{
    return m_pImpl != nullptr;
}

std::vector<SNetEndpoint> CNetServer::GetBoundEndpoints() const
{
    std::vector<SNetEndpoint> bound;
    if (m_pImpl != nullptr)
        for (const auto& listener : m_pImpl->m_listeners)
            bound.push_back(listener.endpoint);
    return bound;
}

bool CNetServer::Start(std::string& error)
{
    if (m_arEndpoints.empty())
        return true;
    if (m_pImpl != nullptr && m_pImpl->m_bServing)
        return true;
    if (!Bind(error))
        return false;
    CImpl& impl = *m_pImpl;
    impl.m_bServing = true;
    for (auto& worker : impl.m_workers)
        worker->work.emplace(worker->io.get_executor());
    for (CImpl::SListener& listener : impl.m_listeners)
        impl.Accept(listener);
    for (auto& worker : impl.m_workers)
        worker->thread = std::thread([&io = worker->io] { io.run(); });
    return true;
}

void CNetServer::Stop()
{
    if (m_pImpl == nullptr)
        return;
    CImpl& impl = *m_pImpl;
    if (impl.m_bServing) {
        impl.m_bStopping = true;
        for (auto& worker : impl.m_workers) {
            asio::post(worker->io, [&impl, &io = worker->io] { impl.CloseAll(io); });
            worker->work.reset();
        }
        for (auto& worker : impl.m_workers)
            worker->thread.join();
    }
    // The next start binds again: the addresses are free meanwhile.
    m_pImpl.reset();
}

std::string CNetServer::Describe() const
{
    std::string text;
    const std::vector<SNetEndpoint> endpoints =
        m_pImpl != nullptr ? GetBoundEndpoints() : m_arEndpoints;
    for (const SNetEndpoint& e : endpoints) {
        if (!text.empty())
            text += ", ";
        text += DescribeEndpoint(e);
    }
    return text;
}

} // namespace korvex
