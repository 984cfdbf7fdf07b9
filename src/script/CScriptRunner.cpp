// Runs on the script's thread only: the engine is created, used and
// destroyed there.

#include "script/CScriptRunner.h"

#include "core/IScriptHost.h"
#include "core/Text.h"
#include "script/CScriptDoc.h"
#include "script/CScriptHost.h"
#include "script/SScriptLogRecord.h"
#include "script/ScriptPrelude.h"

#include <QCoreApplication>
#include <QJSEngine>

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace korvex {

void SetScriptThreadScheduling()
{
    // On Linux the nice value of a thread id is that thread's alone.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
    cpu_set_t cpus;
    CPU_ZERO(&cpus);
    CPU_SET(0, &cpus);
    // Refused when the first processor is not ours to use; the thread then
    // runs wherever it may.
    pthread_setaffinity_np(pthread_self(), sizeof cpus, &cpus);
    sched_yield();
}

CScriptRunner::CScriptRunner(CScriptDoc& doc) : m_doc(doc) {}

void CScriptRunner::SetupFailed(std::uint32_t code, const char* step)
{
    m_doc.SetErrorStop();
    m_doc.BringToFront();
    m_doc.Log(SL_ERROR, StrFormat("Error: 0x%08lx (%s)", static_cast<unsigned long>(code), step),
              SScriptLogRecord::kNoLine);
    m_doc.GetHost().PostStop();
}

void CScriptRunner::Run(const std::string& text)
{
    // Engines need the application object, also on threads of their own.
    if (QCoreApplication::instance() == nullptr) {
        SetupFailed(kNotInitialized, "QCoreApplication::instance()");
        return;
    }

    // The host outlives the engine, which does not own it.
    CScriptHost host(m_doc.GetScripter());
    QJSEngine engine;
    host.SetEngine(&engine);
    {
        // Host calls cost an order of magnitude more while the engine holds
        // no value of the host's.
        const QJSValue keepAlive = engine.newObject();

        QJSEngine::setObjectOwnership(&host, QJSEngine::CppOwnership);
        const QJSValue hostValue = engine.newQObject(&host);
        if (!hostValue.isQObject()) {
            SetupFailed(kFail, "QJSEngine::newQObject() for MyObject");
            return;
        }
        const QJSValue prelude =
            engine.evaluate(BuildMyObjectPrelude(), QLatin1String(kPreludeFileName));
        if (!prelude.isCallable()) {
            SetupFailed(kFail, "QJSEngine::evaluate() for the MyObject prelude");
            return;
        }
        const QJSValue myObject = prelude.call({ hostValue });
        if (!myObject.isObject() || myObject.isError()) {
            SetupFailed(kFail, "QJSValue::call() for the MyObject prelude");
            return;
        }
        QJSValue global = engine.globalObject();
        global.setProperty(QStringLiteral("MyObject"), myObject);
        if (!global.hasOwnProperty(QStringLiteral("MyObject"))) {
            SetupFailed(kFail, "QJSValue::setProperty() for MyObject");
            return;
        }

        m_doc.AttachEngine(&engine);
        QStringList trace;
        const QJSValue result = engine.evaluate(QString::fromStdString(text),
                                                QLatin1String(kScriptFileName), 1, &trace);
        // An interrupted run (stop, ExitScript, a MyObject method that ended
        // the script) is no error; an uncaught exception always leaves a trace.
        // Its text is taken while the engine can still be interrupted: a
        // thrown object's toString or message getter is script code too.
        SErrorReport report;
        if (!m_doc.IsStopRequested() && !m_doc.IsEngineClosed() && !trace.isEmpty())
            report = DescribeError(result, trace);
        m_doc.DetachEngine();
        if (m_doc.IsStopRequested())
            return;
        if (report.bReport)
            ReportError(report);
    }
    if (m_doc.IsStopRequested() || m_doc.IsErrorStop())
        return;
    m_doc.BringToFront();
    m_doc.Log(SL_WARNING, CScriptDoc::kEndLine, SScriptLogRecord::kNoLine);
}

CScriptRunner::SErrorReport CScriptRunner::DescribeError(const QJSValue& error,
                                                         const QStringList& trace)
{
    SErrorReport report;
    // The first frame of the script's own text gives the position; an error
    // thrown by MyObject starts in the prelude.
    int line = FindScriptLineInTrace(trace);
    if (line < 0 && error.isError()) {
        const QJSValue number = error.property(QStringLiteral("lineNumber"));
        if (number.isNumber())
            line = number.toInt();
    }
    // Without a position the error is not reported.
    if (line < 1)
        return report;
    report.bReport = true;
    report.nLine = line - 1;
    // The description of an error object is its message, without the name
    // of its type; anything else thrown is described by its text.
    const QString description =
        error.isError() ? error.property(QStringLiteral("message")).toString() : error.toString();
    report.strText = description.toStdString() + StrFormat(" (строка: %d)", report.nLine);
    return report;
}

void CScriptRunner::ReportError(const SErrorReport& report)
{
    m_doc.Beep();
    m_doc.SetErrorStop();
    m_doc.BringToFront();
    m_doc.Log(SL_ERROR, report.strText, report.nLine);
    m_doc.GetHost().PostStop();
}

} // namespace korvex
