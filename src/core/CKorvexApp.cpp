#include "core/CKorvexApp.h"

#include "KorvexVersion.h"
#include "core/CDevDoc.h"
#include "core/CParserModbus.h"
#include "core/ITransmitter.h"
#include "core/IUiPoster.h"
#include "core/Text.h"
#include "files/CProjectTree.h"

#include <algorithm>
#include <cstring>

namespace korvex {

CKorvexApp::CKorvexApp()
    : m_pTree(std::make_unique<CProjectTree>(
          [this](const std::string& path) { return MakeRelativePath(path); }))
{
    RegisterTemplates();
}

CKorvexApp::~CKorvexApp() = default;

void CKorvexApp::SetPoster(IUiPoster* poster)
{
    m_pPoster = poster;
    m_feed.SetPoster(poster);
}

std::string CKorvexApp::GetVersionText()
{
    const std::string version = kVersionText;
    return version.empty() ? "0.0.0.0" : version;
}

// ---- Devices ---------------------------------------------------------------

void CKorvexApp::AddDevice(CDevDoc* doc)
{
    std::lock_guard lock(m_csDevices);
    m_arDevices.push_back(doc);
}

void CKorvexApp::RemoveDevice(CDevDoc* doc)
{
    std::lock_guard lock(m_csDevices);
    const auto it = std::find(m_arDevices.begin(), m_arDevices.end(), doc);
    if (it != m_arDevices.end())
        m_arDevices.erase(it);
}

CDevDoc* CKorvexApp::FindDeviceByAddr(std::uint8_t addr) const
{
    std::lock_guard lock(m_csDevices);
    for (CDevDoc* doc : m_arDevices)
        if (doc->GetDevAddr() == addr)
            return doc;
    return nullptr;
}

CDevDoc* CKorvexApp::FindDeviceById(const std::string& id) const
{
    std::lock_guard lock(m_csDevices);
    for (CDevDoc* doc : m_arDevices)
        if (doc->m_strId == id)
            return doc;
    return nullptr;
}

std::vector<CDevDoc*> CKorvexApp::GetDevices() const
{
    std::lock_guard lock(m_csDevices);
    return m_arDevices;
}

// ---- Receive path ----------------------------------------------------------

void CKorvexApp::OnReceive(const std::uint8_t* data, std::uint32_t count)
{
    AppendReceived(data, count);
}

void CKorvexApp::InjectReceived(const std::uint8_t* data, std::uint32_t count)
{
    AppendReceived(data, count);
}

void CKorvexApp::AppendReceived(const std::uint8_t* data, std::uint32_t count)
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
        m_feed.AddLine(LK_WARNING, std::string(), -1,
                       StrFormat("Переполнение приёмного буфера: потеряно %u байт", lost));
    }
    m_rxBuffer.Append(data, count);

    if (m_pPoster != nullptr)
        m_pPoster->Post([this] { OnRxData(); });
}

std::uint32_t CKorvexApp::GetRxPos() const
{
    std::lock_guard lock(m_rxBuffer.Mutex());
    return m_nRxPos;
}

void CKorvexApp::ResetReceive()
{
    std::lock_guard lock(m_rxBuffer.Mutex());
    m_rxBuffer.Clear();
    m_nRxPos = 0;
    m_nScanFrom = 0;
    ClearLastTx();
}

unsigned CKorvexApp::ExtractFrame(const std::uint8_t* data, unsigned available, SFrameInfo& info,
                                  unsigned* scanHint)
{
    CParserModbus parser(*this);
    if (scanHint != nullptr)
        parser.SetScanStart(*scanHint);
    try {
        parser.Parse(data, available, info);
    } catch (...) {
        info.nLength = static_cast<int>(available);
        info.nKind = LK_WARNING;
    }
    if (scanHint != nullptr)
        *scanHint = info.nLength == 0 ? parser.GetResumeHint() : 0;
    return static_cast<unsigned>(info.nLength);
}

void CKorvexApp::OnRxData()
{
    std::lock_guard lock(m_rxBuffer.Mutex());
    for (;;) {
        SFrameInfo info;
        info.nOffset = static_cast<int>(m_nRxPos);
        const std::uint8_t* data = m_rxBuffer.GetData() + m_nRxPos;
        const unsigned available = m_rxBuffer.GetLength() - m_nRxPos;

        const unsigned consumed = ExtractFrame(data, available, info, &m_nScanFrom);
        m_nRxPos += consumed;
        if (consumed == 0)
            break;

        std::string device;
        if (CDevDoc* dev = FindDeviceByAddr(info.byAddr))
            device = dev->GetDevId();
        if (info.nKind != LK_ECHO)
            m_feed.AddLine(info.nKind, device, info.byAddr, info.strText);
    }
}

void CKorvexApp::FlushReceive()
{
    std::lock_guard lock(m_rxBuffer.Mutex());
    OnRxData();
    const unsigned rest = m_rxBuffer.GetLength() - m_nRxPos;
    if (rest == 0)
        return;
    const std::uint8_t* data = m_rxBuffer.GetData() + m_nRxPos;
    std::string device;
    if (CDevDoc* dev = FindDeviceByAddr(0))
        device = dev->GetDevId();
    m_feed.AddLine(LK_WARNING, device, 0,
                   DescribeUnrecognized(data, rest, m_settings.VALUEISHEX != 0));
    m_nRxPos += rest;
    m_nScanFrom = 0;
}

// ---- Transmit path ---------------------------------------------------------

void CKorvexApp::SendFrame(const std::uint8_t* frame, unsigned length)
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

bool CKorvexApp::TakeEcho(const std::uint8_t* frame, unsigned length)
{
    std::lock_guard lock(m_csLastTx);
    if (m_nLastTxLen == 0)
        return false;
    const bool echo = length == m_nLastTxLen && std::memcmp(frame, m_lastTx, length) == 0;
    m_nLastTxLen = 0;
    return echo;
}

void CKorvexApp::ClearLastTx()
{
    std::lock_guard lock(m_csLastTx);
    m_nLastTxLen = 0;
}

std::vector<std::uint8_t> CKorvexApp::GetLastTx() const
{
    std::lock_guard lock(m_csLastTx);
    return std::vector<std::uint8_t>(m_lastTx, m_lastTx + m_nLastTxLen);
}

std::string CKorvexApp::DescribeFrame(const std::uint8_t* frame, unsigned length)
{
    CParserModbus parser(*this);
    parser.m_bDispatch = 0;
    SFrameInfo info;
    parser.Parse(frame, length, info);
    return info.strText;
}

} // namespace korvex
