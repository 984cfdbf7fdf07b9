#pragma once

#include <QJSValue>
#include <QStringList>

#include <cstdint>
#include <string>

namespace korvex {

class CScriptDoc;

// One run of a script, on the script's own thread: a fresh engine with
// MyObject as the only name added, the text run, the engine's error reported
// and the end line written.
//
// The whole run happens on the calling thread; the document's StopScript
// reaches the engine only through QJSEngine::setInterrupted.
class CScriptRunner
{
public:
    // Result codes of a failing engine set-up, as "Error: 0x%08lx (%s)"
    // shows them.
    static constexpr std::uint32_t kNotInitialized = 0x800401F0; // no application object
    static constexpr std::uint32_t kFail = 0x80004005;

    explicit CScriptRunner(CScriptDoc& doc);

    void Run(const std::string& text);

private:
    void SetupFailed(std::uint32_t code, const char* step);
    // The engine's uncaught error: logged with its zero-based line, and the
    // session stopped.
    struct SErrorReport
    {
        bool bReport{ false };
        int nLine{ -1 };
        std::string strText;
    };

    SErrorReport DescribeError(const QJSValue& error, const QStringList& trace);
    void ReportError(const SErrorReport& report);

    CScriptDoc& m_doc;
};

// Lowest normal priority and the first processor for the calling thread,
// each as far as the system allows, then gives up the rest of its time slice.
void SetScriptThreadScheduling();

} // namespace korvex
