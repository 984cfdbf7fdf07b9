#pragma once

#include "core/CDocument.h"
#include "core/IScript.h"
#include "script/CScripter.h"
#include "script/SScriptLogRecord.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class QJSEngine;

namespace korvex {

class IScriptHost;

// A script of the project: its text, its runs on a thread of its own (one
// fresh engine per run) and its log. The document enters the hub's script
// list when it is made and leaves it when it is destroyed, stopping its run
// first.
//
// Threads: the UI thread makes and destroys the document, sets its text and
// hooks, loads and saves it and calls StartScript/StopScript. The script's
// thread runs the engine and every MyObject call; it reaches the log, the
// window and the speaker only by posting to the UI thread, where the hooks
// run. Log lines wait in a queue under its own lock (SLogQueue::cs) for one
// posted task that takes them all. m_csRun guards m_pEngine and every write
// of m_bStopRequested and m_bClosed (both also atomic for lock-free reads),
// and is the lock Sleep waits under; m_csText guards m_strText.
class CScriptDoc : public CDocument, public IScript
{
public:
    using LogSink = std::function<void(const SScriptLogRecord&)>;
    using LogBatch = std::vector<SScriptLogRecord>;
    using LogBatchSink = std::function<void(const LogBatch&)>;
    using TextSource = std::function<std::string()>;

    static constexpr char kEndLine[] = "Скрипт остановлен (выполнен полностью).";

    // The script joins the host's session at once and leaves it when it is
    // destroyed.
    explicit CScriptDoc(IScriptHost& host);
    ~CScriptDoc() override;

    // What the script's object and runner use of the program.
    IScriptHost& GetHost() const { return m_host; }
    CScripter& GetScripter() { return m_scripter; }

    // The script's text, UTF-8, lines ending in CR LF (or LF).
    std::string GetText() const;
    void SetText(std::string text);
    // Where a start takes the text to run and a save the text to write, such
    // as the editor; called on the UI thread. Without one, the text above.
    void SetTextSource(TextSource source);

    // The script file: text in code page 1251 (or UTF-8), CR LF between
    // lines. Loading records the path, takes the text and clears the
    // modified flag; saving writes through a temporary file, records the path
    // and clears the flag. False when the file cannot be read or written.
    bool LoadScriptFile(const std::string& path);
    bool SaveScriptFile(const std::string& path);

    // Document layer: a relative path resolves against the base folder; the
    // file's text goes through Serialize; errors go to the app's messages. An
    // opened script is announced to the document listeners (it joins the
    // project tree's "Скрипты" group).
    bool OnOpenDocument(const std::string& path) override;
    // Scripts come only from files.
    bool OnNewDocument() override { return false; }
    bool Serialize(CArchive& ar) override;
    void ReportError(const std::string& text) const override;

    // IScript, UI thread. StartScript does nothing while a run is in
    // progress; StopScript interrupts the engine, wakes a Sleep and returns
    // when the thread has ended, logging nothing.
    void StartScript() override;
    void StopScript() override;
    bool IsScriptRunning() const { return m_bRunning.load(); }
    // Set when the last run ended with a reported error.
    bool IsErrorStop() const { return m_bErrorStop.load(); }

    // The window's side, set on the UI thread, where it is also called: the
    // log records, bringing the script's window to the front, the speaker.
    // The log's lines come in batches, in order: every line logged since the
    // last batch (SetLogSink takes them one by one).
    void SetLogSink(LogSink sink);
    void SetLogBatchSink(LogBatchSink sink);
    void SetFrontHandler(std::function<void()> handler);
    void SetBeepHandler(std::function<void()> handler);

    // Any thread: each posts to the UI thread; a line only when no task is
    // on its way for the lines before it.
    void Log(int level, const std::string& text, int line);
    void BringToFront();
    void Beep();

    // The running script's thread.
    void SetErrorStop() { m_bErrorStop.store(true); }
    // Ends the run once the current MyObject call returns; from then on
    // MyObject calls do nothing.
    void CloseEngine();
    // Closed, or a stop is asked for.
    bool IsEngineClosed() const { return m_bClosed.load() || m_bStopRequested.load(); }
    bool IsStopRequested() const { return m_bStopRequested.load(); }
    // Blocks for the time given or until a stop is asked for.
    void SleepFor(std::uint32_t milliseconds);
    // The runner hands its engine over once it is set up and takes it back
    // before destroying it; an engine handed over after a stop request is
    // interrupted at once.
    void AttachEngine(QJSEngine* engine);
    void DetachEngine();

private:
    struct SHooks
    {
        LogBatchSink sink;
        std::function<void()> front;
        std::function<void()> beep;
    };

    // The lines logged and not yet handed to the sink.
    struct SLogQueue
    {
        std::mutex cs;
        LogBatch lines; // guarded by cs
    };

    void ThreadMain(const std::string& text);
    std::string TakeText() const;
    void PostToUi(std::function<void(SHooks&)> task);

    IScriptHost& m_host;
    CScripter m_scripter{ *this };

    mutable std::mutex m_csText;
    std::string m_strText;
    TextSource m_textSource;

    // Shared with tasks still queued when the document goes; the destructor
    // empties the hooks, so they find nothing to call.
    std::shared_ptr<SHooks> m_pHooks{ std::make_shared<SHooks>() };
    std::shared_ptr<SLogQueue> m_pLogQueue{ std::make_shared<SLogQueue>() };

    std::thread m_thread;
    std::atomic<bool> m_bRunning{ false };
    std::atomic<bool> m_bErrorStop{ false };

    mutable std::mutex m_csRun;
    std::condition_variable m_cvWake;
    QJSEngine* m_pEngine{ nullptr };
    std::atomic<bool> m_bStopRequested{ false };
    std::atomic<bool> m_bClosed{ false };
};

} // namespace korvex
