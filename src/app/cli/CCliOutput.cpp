#include "CCliOutput.h"

#include "runtime/LogLines.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace korvex {
namespace {

bool OnUiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

} // namespace

CCliOutput::CCliOutput(ITransmitter* next) : m_pNext(next) {}

bool CCliOutput::Write(const std::uint8_t* data, std::uint32_t count)
{
    PrintLineSoon(FormatTxLine(data, count));
    return m_pNext == nullptr || m_pNext->Write(data, count);
}

void CCliOutput::PrintBatch(const CProtoFeed::Batch& batch)
{
    std::string text;
    for (const auto& rec : batch) {
        text += FormatProtoLine(rec, m_bRaw);
        text += '\n';
    }
    std::lock_guard lock(m_mutex);
    Emit(text);
}

void CCliOutput::PrintLine(const std::string& line)
{
    std::lock_guard lock(m_mutex);
    Emit(line + '\n');
}

void CCliOutput::PrintLineSoon(std::string line)
{
    if (OnUiThread()) {
        PrintLine(line);
        return;
    }
    std::lock_guard lock(m_mutex);
    m_arQueued.push_back(std::move(line));
    if (m_bPosted)
        return;
    m_bPosted = true;
    // Gathered as the protocol lines are: one wake of the user-interface
    // thread writes the lines of many answers, not one wake an answer.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this] {
            QTimer::singleShot(kGatherTime, Qt::PreciseTimer, QCoreApplication::instance(),
                               [this] { Flush(); });
        },
        Qt::QueuedConnection);
}

void CCliOutput::Flush()
{
    std::lock_guard lock(m_mutex);
    Emit(std::string());
}

void CCliOutput::Emit(const std::string& text)
{
    // Queued lines first: they came before.
    std::string all;
    for (const std::string& line : m_arQueued) {
        all += line;
        all += '\n';
    }
    m_arQueued.clear();
    m_bPosted = false;
    all += text;
    if (all.empty())
        return;
    std::fwrite(all.data(), 1, all.size(), stdout);
    std::fflush(stdout);
}

} // namespace korvex
