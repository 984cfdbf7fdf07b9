#include "core/CProtoFeed.h"

#include "core/IUiPoster.h"
#include "core/Text.h"

#include <chrono>

namespace korvex {

void CProtoFeed::SetPoster(IUiPoster* poster)
{
    std::lock_guard lock(m_csLines);
    m_pPoster = poster;
    m_uiThread = std::this_thread::get_id();
}

void CProtoFeed::SetSink(Sink sink)
{
    m_bHasSink.store(static_cast<bool>(sink));
    m_sink = std::move(sink);
}

CProtoFeed::INTERNAL_ADDLINE CProtoFeed::MakeRecord(int kind, const std::string& device,
                                                    int address, std::string text, SLineFrame frame)
{
    INTERNAL_ADDLINE rec;
    rec.nKind = kind;
    rec.szDevice = Utf8Left(device, kMaxDevice);
    rec.nAddress = address;
    rec.szText = text.size() > kMaxText ? Utf8Left(text, kMaxText) : std::move(text);
    rec.dwTick = static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::steady_clock::now().time_since_epoch())
                                                .count());
    rec.llWallMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
    rec.strRaw = frame.bytes;
    rec.nFunction = frame.nFunction;
    for (char& c : rec.szText)
        if (c == '\n' || c == '\r')
            c = ' ';
    return rec;
}

void CProtoFeed::AddLine(int kind, const std::string& device, int address, std::string text,
                         SLineFrame frame)
{
    std::lock_guard lock(m_csLines);
    // A thread's queue stays in the map, emptied: no allocation per line.
    const auto queued = m_pending.find(std::this_thread::get_id());
    if (m_pPoster == nullptr) {
        if (queued != m_pending.end())
            queued->second.clear();
        return;
    }
    m_arReady.push_back(MakeRecord(kind, device, address, std::move(text), frame));
    if (queued != m_pending.end()) {
        for (auto& rec : queued->second)
            m_arReady.push_back(std::move(rec));
        queued->second.clear();
        // Threads come and go (scripts): the queues of many are not kept.
        if (m_pending.size() > kKeptQueues)
            m_pending.erase(queued);
    }
    if (!m_bPosted) {
        m_bPosted = true;
        // Lines of the answering threads are gathered for a moment: one
        // wake of the user-interface thread carries many answers' lines.
        if (m_gather.count() == 0 || std::this_thread::get_id() == m_uiThread)
            m_pPoster->Post([this] { Deliver(); });
        else
            m_pPoster->PostDelayed(m_gather, [this] { Deliver(); });
    }
}

void CProtoFeed::AddLineQueued(int kind, const std::string& device, int address, std::string text,
                               SLineFrame frame)
{
    INTERNAL_ADDLINE rec = MakeRecord(kind, device, address, std::move(text), frame);
    std::lock_guard lock(m_csLines);
    m_pending[std::this_thread::get_id()].push_back(std::move(rec));
}

void CProtoFeed::Deliver()
{
    // The list delivered last time, emptied, takes the next lines: no
    // growing from nothing at every batch.
    Batch batch = std::move(m_arSpare);
    batch.clear();
    {
        std::lock_guard lock(m_csLines);
        batch.swap(m_arReady);
        m_bPosted = false;
    }
    if (m_sink && !batch.empty())
        m_sink(batch);
    batch.clear();
    if (batch.capacity() <= kSpareLines)
        m_arSpare = std::move(batch);
}

} // namespace korvex
