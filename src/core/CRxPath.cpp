#include "core/CRxPath.h"

#include "core/CDevDoc.h"
#include "core/CParserModbus.h"
#include "core/CRtuFramer.h"
#include "core/CTransportCounters.h"
#include "core/IDeviceLookup.h"
#include "core/ILineSink.h"
#include "core/ITransmitter.h"
#include "core/ITransportThread.h"
#include "core/IUiPoster.h"
#include "core/SSettings.h"
#include "core/Text.h"

#include <algorithm>
#include <cstring>

namespace korvex {

CRxPath::CRxPath(const IDeviceLookup& devices, ILineSink& lines, const SSettings& settings,
                 const std::atomic<bool>& running, std::uint32_t capacity)
    : m_devices(devices), m_lines(lines), m_settings(settings), m_bRunning(running),
      m_rxBuffer(capacity)
{
}

CRxPath::~CRxPath() = default;

void CRxPath::SetHandler(IPduHandler* handler)
{
    m_pFramer = handler != nullptr
                    ? std::make_unique<CRtuFramer>(*handler, *this, m_lines, m_settings)
                    : nullptr;
    if (m_pFramer != nullptr)
        m_pFramer->SetCounters(m_pCounters);
}

void CRxPath::SetCounters(CTransportCounters* counters)
{
    m_pCounters = counters;
    if (m_pFramer != nullptr)
        m_pFramer->SetCounters(counters);
}

// ---- Receive -----------------------------------------------------------------

void CRxPath::OnReceive(const std::uint8_t* data, std::uint32_t count)
{
    AppendReceived(data, count);
    // The transport's own thread answers at once.
    if (m_pThread.load() != nullptr)
        OnRxData();
    else
        PostDrain();
}

void CRxPath::InjectReceived(const std::uint8_t* data, std::uint32_t count)
{
    AppendReceived(data, count);
    if (ITransportThread* thread = m_pThread.load())
        thread->RequestDrain();
    else
        PostDrain();
}

void CRxPath::PostDrain()
{
    if (m_pPoster != nullptr)
        m_pPoster->Post([this] { OnRxData(); });
}

void CRxPath::AppendReceived(const std::uint8_t* data, std::uint32_t count)
{
    std::lock_guard lock(m_rxBuffer.Mutex());
    const std::uint32_t capacity = m_rxBuffer.GetCapacity();

    // Consumed bytes are discarded only when room runs out; the drain
    // position moves with them.
    if (m_rxBuffer.GetLength() + count > capacity && m_nRxPos > 0) {
        m_rxBuffer.Discard(m_nRxPos);
        m_nRxPos = 0;
    }
    // Still no room: the pending bytes alone fill the buffer. The oldest go.
    const std::uint32_t length = m_rxBuffer.GetLength();
    if (length + count > capacity) {
        const std::uint32_t lost = length + count - capacity;
        if (lost >= length) {
            m_rxBuffer.Clear();
            data += lost - length;
            count -= lost - length;
        } else {
            m_rxBuffer.Discard(lost);
        }
        // Starts behind the dropped bytes keep what the scan knew of them.
        m_nScanFrom -= std::min<unsigned>(m_nScanFrom, lost);
        m_lines.AddLine(LK_WARNING, std::string(), -1,
                        StrFormat("Переполнение приёмного буфера: потеряно %u байт", lost));
    }
    m_rxBuffer.Append(data, count);
}

void CRxPath::ResetReceive()
{
    std::lock_guard lock(m_rxBuffer.Mutex());
    m_rxBuffer.Clear();
    m_nRxPos = 0;
    m_nScanFrom = 0;
    ClearLastTx();
    CancelDelayed();
}

unsigned CRxPath::ExtractFrame(const std::uint8_t* data, unsigned available, SFrameInfo& info,
                               unsigned* scanHint)
{
    CParserModbus parser(m_settings, m_bRunning.load(), this, &m_devices);
    if (scanHint != nullptr)
        parser.SetScanStart(*scanHint);
    // Whatever a step throws costs the bytes it looked at, never the drain:
    // the rest of the buffer and the next arrivals are still framed.
    try {
        parser.Parse(data, available, info);
        // The request's line is built first, the answer after it.
        if (info.bAnswer && m_pFramer != nullptr)
            m_pFramer->Answer(data, static_cast<unsigned>(info.nLength));
    } catch (...) {
        info.nLength = static_cast<int>(available);
        info.nKind = LK_WARNING;
    }
    if (scanHint != nullptr)
        *scanHint = info.nLength == 0 ? parser.GetResumeHint() : 0;
    return static_cast<unsigned>(info.nLength);
}

std::string CRxPath::DeviceNameAt(std::uint8_t addr) const
{
    const CDevDoc* dev = m_devices.FindDeviceByAddr(addr);
    return dev != nullptr ? dev->GetDevId() : std::string();
}

unsigned CRxPath::GetPendingLength() const
{
    std::lock_guard lock(m_rxBuffer.Mutex());
    return m_rxBuffer.GetLength() - m_nRxPos;
}

void CRxPath::OnRxData()
{
    std::lock_guard lock(m_rxBuffer.Mutex());
    std::shared_lock<std::shared_mutex> settings;
    if (m_pSettingsLock != nullptr)
        settings = std::shared_lock(*m_pSettingsLock);
    for (;;) {
        SFrameInfo info;
        info.nOffset = static_cast<int>(m_nRxPos);
        const std::uint8_t* data = m_rxBuffer.GetData() + m_nRxPos;
        const unsigned available = m_rxBuffer.GetLength() - m_nRxPos;

        const unsigned consumed = ExtractFrame(data, available, info, &m_nScanFrom);
        m_nRxPos += consumed;
        if (consumed == 0)
            break;
        if (info.bUnrecognized)
            m_nUnrecognized.fetch_add(consumed);
        if (info.nKind == LK_ECHO)
            continue;
        const CDevDoc* dev = m_devices.FindDeviceByAddr(info.byAddr);
        if (m_pCounters != nullptr) {
            // By the standard a broadcast is for every device.
            const bool broadcast = m_settings.MBSTRICT != 0 && info.byAddr == kBroadcastAddress;
            if (info.bUnrecognized)
                m_pCounters->CountUnrecognized(consumed);
            else
                m_pCounters->CountFrame(dev == nullptr && !broadcast);
        }
        const bool frame = consumed >= 2 && (info.nKind == LK_REQUEST ||
                                             info.nKind == LK_RESPONSE || info.nKind == LK_ERROR);
        m_lines.AddLine(info.nKind, dev != nullptr ? dev->GetDevId() : std::string(), info.byAddr,
                        info.strText, LineFrame(data, consumed, frame ? data[1] : -1));
    }
}

void CRxPath::FlushReceive()
{
    std::lock_guard lock(m_rxBuffer.Mutex());
    OnRxData();
    std::shared_lock<std::shared_mutex> settings;
    if (m_pSettingsLock != nullptr)
        settings = std::shared_lock(*m_pSettingsLock);
    const unsigned rest = m_rxBuffer.GetLength() - m_nRxPos;
    if (rest == 0)
        return;
    const std::uint8_t* data = m_rxBuffer.GetData() + m_nRxPos;
    m_nUnrecognized.fetch_add(rest);
    if (m_pCounters != nullptr)
        m_pCounters->CountUnrecognized(rest);
    m_lines.AddLine(LK_WARNING, DeviceNameAt(0), 0,
                    DescribeUnrecognized(data, rest, m_settings.VALUEISHEX != 0),
                    LineFrame(data, rest, -1));
    m_nRxPos += rest;
    m_nScanFrom = 0;
}

// ---- Transmit ----------------------------------------------------------------

void CRxPath::SendFrame(const std::uint8_t* frame, unsigned length)
{
    if (length > kMaxTxFrame)
        return;
    {
        std::lock_guard lock(m_csLastTx);
        std::memcpy(m_lastTx, frame, length);
        m_nLastTxLen = length;
    }
    if (ITransmitter* tx = m_pTx.load())
        tx->Write(frame, length);
}

void CRxPath::SendFrameDelayed(const std::uint8_t* frame, unsigned length, std::uint32_t delayMs,
                               std::function<void()> sent)
{
    if (length > kMaxTxFrame)
        return;
    ITransportThread* thread = m_pThread.load();
    if (thread == nullptr && m_pPoster == nullptr) {
        SendFrame(frame, length);
        if (sent)
            sent();
        return;
    }
    // The frame goes through SendFrame when it leaves, so the echo test
    // compares with what was really sent last.
    auto task = [this, alive = std::weak_ptr<int>(m_pAlive), epoch = m_nTxEpoch.load(),
                 copy = std::vector<std::uint8_t>(frame, frame + length), sent = std::move(sent)] {
        if (alive.expired() || epoch != m_nTxEpoch.load())
            return;
        SendFrame(copy.data(), static_cast<unsigned>(copy.size()));
        if (sent)
            sent();
    };
    // Timed where the answers leave: the transport's thread, else the
    // user-interface thread.
    const std::chrono::milliseconds delay(delayMs);
    if (thread != nullptr)
        thread->RunLater(delay, std::move(task));
    else
        m_pPoster->PostDelayed(delay, std::move(task));
}

bool CRxPath::TakeEcho(const std::uint8_t* frame, unsigned length)
{
    std::lock_guard lock(m_csLastTx);
    if (m_nLastTxLen == 0)
        return false;
    const bool echo = m_bEchoPossible.load() && length == m_nLastTxLen &&
                      std::memcmp(frame, m_lastTx, length) == 0;
    m_nLastTxLen = 0;
    return echo;
}

void CRxPath::ClearLastTx()
{
    std::lock_guard lock(m_csLastTx);
    m_nLastTxLen = 0;
}

} // namespace korvex
