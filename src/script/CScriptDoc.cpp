// UI thread: construction, destruction, text, files, hooks, start and stop.
// Script thread: ThreadMain and the calls CScripter and CScriptRunner make.

#include "script/CScriptDoc.h"

#include "core/CArchive.h"
#include "core/CDocManager.h"
#include "core/IScriptHost.h"
#include "core/IUiPoster.h"
#include "core/Text.h"
#include "script/CScriptRunner.h"
#include "script/ScriptText.h"

#include <QJSEngine>

#include <chrono>
#include <system_error>

namespace korvex {

CScriptDoc::CScriptDoc(IScriptHost& host) : CDocument(&host.GetDocManager()), m_host(host)
{
    m_host.AddScript(this);
}

CScriptDoc::~CScriptDoc()
{
    GetDocManager()->NotifyClosing(*this);
    StopScript();
    m_host.RemoveScript(this);
    // Records still queued for the UI thread find no sink.
    *m_pHooks = SHooks();
}

std::string CScriptDoc::GetText() const
{
    std::lock_guard lock(m_csText);
    return m_strText;
}

void CScriptDoc::SetText(std::string text)
{
    std::lock_guard lock(m_csText);
    m_strText = std::move(text);
}

void CScriptDoc::SetTextSource(TextSource source)
{
    m_textSource = std::move(source);
}

std::string CScriptDoc::TakeText() const
{
    return m_textSource ? m_textSource() : GetText();
}

bool CScriptDoc::LoadScriptFile(const std::string& path)
{
    return OnOpenDocument(path);
}

bool CScriptDoc::SaveScriptFile(const std::string& path)
{
    return DoSave(path);
}

bool CScriptDoc::OnOpenDocument(const std::string& path)
{
    if (!CDocument::OnOpenDocument(m_host.ResolvePath(path)))
        return false;
    GetDocManager()->NotifyOpened(*this);
    return true;
}

bool CScriptDoc::Serialize(CArchive& ar)
{
    if (ar.IsLoading())
        SetText(DecodeScriptFile(ar.GetBytes()));
    else
        ar.Write(EncodeScriptFile(TakeText()));
    return true;
}

void CScriptDoc::ReportError(const std::string& text) const
{
    m_host.ReportError(text);
}

// ---- Start and stop ------------------------------------------------------------

void CScriptDoc::StartScript()
{
    if (m_bRunning.load())
        return;
    // A run that ended by itself leaves its thread to be joined here.
    if (m_thread.joinable())
        m_thread.join();
    {
        std::lock_guard lock(m_csRun);
        m_pEngine = nullptr;
        m_bStopRequested.store(false);
        m_bClosed.store(false);
    }
    m_bErrorStop.store(false);
    m_bRunning.store(true);
    // The text as it stands now, saved or not, is what runs.
    try {
        m_thread = std::thread([this, text = TakeText()] { ThreadMain(text); });
    } catch (const std::system_error& e) {
        // No thread: the script cannot run; the session is told as for an
        // engine that cannot be set up.
        m_bRunning.store(false);
        m_bErrorStop.store(true);
        Log(SL_ERROR, StrFormat("Error: 0x%08lx (%s)", 0x80004005ul, e.what()),
            SScriptLogRecord::kNoLine);
        m_host.PostStop();
    }
}

void CScriptDoc::StopScript()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard lock(m_csRun);
        m_bStopRequested.store(true);
        // The engine stops at its next instruction; a MyObject call in
        // progress finishes first, so no lock of the store or the receive
        // buffer stays held.
        if (m_pEngine != nullptr)
            m_pEngine->setInterrupted(true);
    }
    m_cvWake.notify_all();
    m_thread.join();
    m_bRunning.store(false);
}

void CScriptDoc::ThreadMain(const std::string& text)
{
    SetScriptThreadScheduling();
    CScriptRunner runner(*this);
    runner.Run(text);
    m_bRunning.store(false);
}

// ---- Engine control (script thread) -------------------------------------------

void CScriptDoc::CloseEngine()
{
    std::lock_guard lock(m_csRun);
    m_bClosed.store(true);
    if (m_pEngine != nullptr)
        m_pEngine->setInterrupted(true);
}

void CScriptDoc::SleepFor(std::uint32_t milliseconds)
{
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    std::unique_lock lock(m_csRun);
    m_cvWake.wait_for(lock, std::chrono::milliseconds(milliseconds),
                      [this] { return m_bStopRequested.load(); });
}

void CScriptDoc::AttachEngine(QJSEngine* engine)
{
    std::lock_guard lock(m_csRun);
    m_pEngine = engine;
    if (m_bStopRequested.load() || m_bClosed.load())
        engine->setInterrupted(true);
}

void CScriptDoc::DetachEngine()
{
    std::lock_guard lock(m_csRun);
    m_pEngine = nullptr;
}

// ---- The window's side ---------------------------------------------------------

void CScriptDoc::SetLogSink(LogSink sink)
{
    if (!sink) {
        m_pHooks->sink = nullptr;
        return;
    }
    m_pHooks->sink = [sink = std::move(sink)](const LogBatch& batch) {
        for (const SScriptLogRecord& rec : batch)
            sink(rec);
    };
}

void CScriptDoc::SetLogBatchSink(LogBatchSink sink)
{
    m_pHooks->sink = std::move(sink);
}

void CScriptDoc::SetFrontHandler(std::function<void()> handler)
{
    m_pHooks->front = std::move(handler);
}

void CScriptDoc::SetBeepHandler(std::function<void()> handler)
{
    m_pHooks->beep = std::move(handler);
}

void CScriptDoc::PostToUi(std::function<void(SHooks&)> task)
{
    IUiPoster* poster = m_host.GetPoster();
    if (poster == nullptr)
        return;
    poster->Post([hooks = m_pHooks, task = std::move(task)] { task(*hooks); });
}

void CScriptDoc::Log(int level, const std::string& text, int line)
{
    IUiPoster* poster = m_host.GetPoster();
    if (poster == nullptr)
        return;
    SScriptLogRecord rec = SScriptLogRecord::Make(level, text, line);
    bool first = false;
    {
        std::lock_guard lock(m_pLogQueue->cs);
        first = m_pLogQueue->lines.empty();
        m_pLogQueue->lines.push_back(std::move(rec));
    }
    // The task posted for the first line takes every line queued until it
    // runs: a script printing in a loop posts one task per batch, not per
    // line, and the lines keep their order.
    if (!first)
        return;
    poster->Post([hooks = m_pHooks, queue = m_pLogQueue] {
        LogBatch batch;
        {
            std::lock_guard lock(queue->cs);
            batch.swap(queue->lines);
        }
        if (hooks->sink)
            hooks->sink(batch);
    });
}

void CScriptDoc::BringToFront()
{
    PostToUi([](SHooks& hooks) {
        if (hooks.front)
            hooks.front();
    });
}

void CScriptDoc::Beep()
{
    PostToUi([](SHooks& hooks) {
        if (hooks.beep)
            hooks.beep();
    });
}

} // namespace korvex
