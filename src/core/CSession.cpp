#include "core/CSession.h"

#include "core/ITransport.h"

#include "core/CProtoFeed.h"
#include "core/CRxPath.h"
#include "core/IPort.h"
#include "core/IScript.h"
#include "core/ISessionObserver.h"
#include "core/IUiPoster.h"
#include "core/SSettings.h"
#include "core/Text.h"

#include <algorithm>

namespace korvex {

namespace {
constexpr std::size_t kMaxErrorText = 511;
} // namespace

CSession::CSession(CRxPath& rx, CProtoFeed& feed, const SSettings& settings, MessageHandler report)
    : m_rx(rx), m_feed(feed), m_settings(settings), m_fnReport(std::move(report))
{
}

void CSession::AddObserver(ISessionObserver* observer)
{
    m_observers.Add(observer);
}

void CSession::RemoveObserver(ISessionObserver* observer)
{
    m_observers.Remove(observer);
}

template <typename Fn> void CSession::Notify(Fn fn)
{
    m_observers.Notify(fn);
}

void CSession::OnStart()
{
    if (IsRunning())
        OnStop();
    const SPortSettings& port = m_settings;
    if (m_pPort != nullptr) {
        m_pPort->Setup(port.m_info.m_strComName, port.BAUD, port.PARITY, port.DATABIT, port.STOPBIT,
                       kEventMask);
        m_pPort->SetModemControl(port.RTS_CTRL_HI != 0, port.DTR_CTRL_HI != 0);
    }
    m_bRunning.store(true);
    m_rx.ResetReceive();
    Notify([](ISessionObserver& o) { o.OnSessionStarted(); });
    // A failed open has reported through OnError, which posted the stop.
    if (m_pPort != nullptr)
        m_pPort->Open();
    for (ITransport* transport : m_arTransports) {
        std::string error;
        if (!transport->Start(error))
            OnError(error);
    }
    for (IScript* script : GetScripts())
        script->StartScript();
}

void CSession::OnStop()
{
    for (IScript* script : GetScripts())
        script->StopScript();
    for (ITransport* transport : m_arTransports)
        transport->Stop();
    if (m_pPort != nullptr)
        m_pPort->Close();
    m_rx.ClearLastTx();
    // Answers still held back by a delay are not sent after the stop.
    m_rx.CancelDelayed();
    const bool wasRunning = m_bRunning.exchange(false);
    if (!wasRunning)
        return;
    // Bytes that waited for the rest of a frame are reported now, and the
    // lines still gathered are delivered.
    m_rx.FlushReceive();
    m_feed.DeliverNow();
    Notify([](ISessionObserver& o) { o.OnSessionStopped(); });
}

void CSession::PostStop()
{
    if (m_pPoster != nullptr)
        m_pPoster->Post([this] { OnStop(); });
}

void CSession::OnError(const std::string& text)
{
    PostStop();
    const std::string line = Utf8Left(text, kMaxErrorText);
    // Before the protocol log exists the text goes to the message handler
    // (the desktop program's message box, standard error in korvex-cli).
    if (m_feed.HasSink())
        m_feed.AddLine(LK_WARNING, std::string(), -1, line);
    else if (m_fnReport)
        m_fnReport(line);
}

void CSession::AddScript(IScript* script)
{
    std::lock_guard lock(m_csScripts);
    m_arScripts.push_back(script);
}

void CSession::RemoveScript(IScript* script)
{
    std::lock_guard lock(m_csScripts);
    const auto it = std::find(m_arScripts.begin(), m_arScripts.end(), script);
    if (it != m_arScripts.end())
        m_arScripts.erase(it);
}

std::vector<IScript*> CSession::GetScripts() const
{
    std::lock_guard lock(m_csScripts);
    return m_arScripts;
}

} // namespace korvex
