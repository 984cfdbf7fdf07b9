// Start and stop of the emulator, and the port's error hook. Start and stop
// run on the UI thread; OnError on the reader thread or the UI thread.

#include "core/CKorvexApp.h"
#include "core/IPort.h"
#include "core/IScript.h"
#include "core/IUiPoster.h"
#include "core/Text.h"

#include <algorithm>

namespace korvex {

namespace {
// Line events watched on the port: received character, CTS, DSR, RLSD,
// break, ring.
constexpr std::uint32_t kEventMask = 0x179;
constexpr std::size_t kMaxErrorText = 511;
} // namespace

void CKorvexApp::OnStart()
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
    ResetReceive();
    // A failed open has reported through OnError, which posted the stop.
    if (m_pPort != nullptr)
        m_pPort->Open();
    for (IScript* script : GetScripts())
        script->StartScript();
}

void CKorvexApp::OnStop()
{
    for (IScript* script : GetScripts())
        script->StopScript();
    if (m_pPort != nullptr)
        m_pPort->Close();
    ClearLastTx();
    const bool wasRunning = m_bRunning.exchange(false);
    // Bytes that waited for the rest of a frame are reported now.
    if (wasRunning)
        FlushReceive();
    if (wasRunning && m_onStopped)
        m_onStopped();
}

void CKorvexApp::PostStop()
{
    if (m_pPoster != nullptr)
        m_pPoster->Post([this] { OnStop(); });
}

void CKorvexApp::OnError(const std::string& text)
{
    PostStop();
    const std::string line = Utf8Left(text, kMaxErrorText);
    // Before the protocol log exists the text goes to the message handler
    // (the desktop program's message box, standard error in korvex-cli).
    if (m_feed.HasSink())
        m_feed.AddLine(LK_WARNING, std::string(), -1, line);
    else
        ReportError(line);
}

void CKorvexApp::AddScript(IScript* script)
{
    std::lock_guard lock(m_csScripts);
    m_arScripts.push_back(script);
}

void CKorvexApp::RemoveScript(IScript* script)
{
    std::lock_guard lock(m_csScripts);
    const auto it = std::find(m_arScripts.begin(), m_arScripts.end(), script);
    if (it != m_arScripts.end())
        m_arScripts.erase(it);
}

std::vector<IScript*> CKorvexApp::GetScripts() const
{
    std::lock_guard lock(m_csScripts);
    return m_arScripts;
}

} // namespace korvex
