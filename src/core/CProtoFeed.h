#pragma once

#include "core/ILineSink.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace korvex {

class IUiPoster;

// The protocol line feed: every protocol-log line enters here, from any
// thread, and reaches the sink on the user-interface thread. Lines a thread
// queues while a frame is decoded follow that thread's next line, the
// frame's: a request, its answer and their warnings enter together, and a
// line of another thread (a script's, a delayed answer's) never lands
// between them. The sink gets batches: every record handed over since the
// last delivery, in order, one posted task per batch however many lines come
// meanwhile.
//
// Threads: AddLine/AddLineQueued from any thread; the sink runs on the UI
// thread. m_csLines guards m_pending, m_arReady and m_bPosted, and keeps
// post-new-then-flush whole.
class CProtoFeed final : public ILineSink
{
public:
    static constexpr std::size_t kMaxDevice = 79; // characters
    static constexpr std::size_t kMaxText = 511;  // characters

    // One line in transit.
    struct INTERNAL_ADDLINE
    {
        int nKind{ 0 };
        std::string szDevice; // at most 79 characters
        int nAddress{ -1 };   // 0 or less: no address
        std::string szText;   // at most 511 characters, no CR or LF
        // Milliseconds of a steady clock when the line entered the feed: the
        // log's time column is the distance between two lines' ticks.
        std::uint32_t dwTick{ 0 };
        // Milliseconds since 1970 (UTC) when the line entered the feed.
        std::int64_t llWallMs{ 0 };
        std::string strRaw; // the frame's bytes, empty for a line of no frame
        int nFunction{ -1 };
    };
    using Batch = std::vector<INTERNAL_ADDLINE>;
    using Sink = std::function<void(const Batch&)>;

    // Records are posted through the poster; without one they are dropped.
    // On the user-interface thread: lines added there are delivered at its
    // next turn, those of other threads after the gathering time.
    void SetPoster(IUiPoster* poster);
    // How long lines of other threads (the answering threads) are gathered
    // before the user-interface thread is woken for them; 0 by default.
    void SetGatherTime(std::chrono::milliseconds gather) { m_gather = gather; }
    // Delivers what is handed over now (the user-interface thread: at a stop,
    // so that nothing waits for a gathering time that may never come).
    void DeliverNow() { Deliver(); }
    // The sink is set and used on the user-interface thread.
    void SetSink(Sink sink);
    bool HasSink() const { return m_bHasSink.load(); }

    void AddLine(int kind, const std::string& device, int address, std::string text,
                 SLineFrame frame = {}) override;
    void AddLineQueued(int kind, const std::string& device, int address, std::string text,
                       SLineFrame frame = {}) override;

    static INTERNAL_ADDLINE MakeRecord(int kind, const std::string& device, int address,
                                       std::string text, SLineFrame frame = {});

private:
    void Deliver();

    std::recursive_mutex m_csLines;
    // Queued by each thread, waiting for that thread's next AddLine; the
    // empty queues of up to kKeptQueues threads stay for their next lines.
    static constexpr std::size_t kKeptQueues = 16;
    std::unordered_map<std::thread::id, std::vector<INTERNAL_ADDLINE>> m_pending;
    Batch m_arReady;                           // handed over, not yet delivered
    // The last batch, emptied, for the next: Deliver's own (UI thread).
    static constexpr std::size_t kSpareLines = 8192;
    Batch m_arSpare;
    bool m_bPosted{ false };                   // a delivery task is on its way
    IUiPoster* m_pPoster{ nullptr };
    std::thread::id m_uiThread; // where SetPoster was called
    std::chrono::milliseconds m_gather{ 0 };
    Sink m_sink;
    std::atomic<bool> m_bHasSink{ false };
};

} // namespace korvex
