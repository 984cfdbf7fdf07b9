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
    PrintTxLineSoon(data, count);
    return m_pNext == nullptr || m_pNext->Write(data, count);
}

void CCliOutput::PrintBatch(const CProtoFeed::Batch& batch)
{
    for (const auto& rec : batch)
        AppendProtoLine(m_strOut, rec, m_bRaw);
    Emit();
}

void CCliOutput::PrintLine(const std::string& line)
{
    m_strOut += line;
    m_strOut += '\n';
    Emit();
}

void CCliOutput::PrintTxLineSoon(const std::uint8_t* data, std::uint32_t count)
{
    if (OnUiThread()) {
        AppendTxLine(m_strOut, data, count);
        Emit();
        return;
    }
    std::lock_guard lock(m_mutex);
    AppendTxLine(m_strQueued, data, count);
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
    Emit();
}

void CCliOutput::Emit()
{
    {
        // The queued lines came before: they go first. Both strings keep
        // their room for the next time.
        std::lock_guard lock(m_mutex);
        m_bPosted = false;
        if (!m_strQueued.empty()) {
            m_strQueued += m_strOut;
            m_strOut.swap(m_strQueued);
            m_strQueued.clear();
        }
    }
    if (m_strOut.empty())
        return;
    std::fwrite(m_strOut.data(), 1, m_strOut.size(), stdout);
    std::fflush(stdout);
    m_strOut.clear();
    // A burst's room is not kept for ever.
    constexpr std::size_t kKeptRoom = 1 << 20;
    if (m_strOut.capacity() > kKeptRoom)
        std::string().swap(m_strOut);
}

} // namespace korvex
