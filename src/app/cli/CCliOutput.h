#pragma once

#include "core/CProtoFeed.h"
#include "core/ITransmitter.h"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace korvex {

// Standard output of korvex-cli: one tab-separated line per event (LogLines.h).
// Protocol-log records are "P" lines, written on the UI thread a batch at a
// time. Transmitted frames are "T" lines: a frame sent on the UI thread is
// written at once; one sent on another thread (a port's or the network's,
// which answer there) is queued and written by the UI thread, so that no
// answer waits for standard output. Queued lines come before the next batch,
// so a request's T line precedes its P lines as before.
//
// Threads: writing happens on the UI thread only, outside m_mutex: a full
// pipe holds up that thread, never one that queues a line.
class CCliOutput final : public ITransmitter
{
public:
    // Records a transmitted frame and forwards it to next, if any.
    explicit CCliOutput(ITransmitter* next = nullptr);

    bool Write(const std::uint8_t* data, std::uint32_t count) override;
    void PrintBatch(const CProtoFeed::Batch& batch);
    // P lines end in the frame's bytes (--raw).
    void SetRaw(bool raw) { m_bRaw = raw; }
    // At once, from the UI thread.
    void PrintLine(const std::string& line);
    // A T line, from any thread: at once on the UI thread, else queued for it
    // and written within kGatherTime.
    void PrintTxLineSoon(const std::uint8_t* data, std::uint32_t count);
    static constexpr std::chrono::milliseconds kGatherTime{ 5 };
    // Writes what is queued (the UI thread; at the end of a run).
    void Flush();

private:
    // m_strOut after the queued lines, then written and emptied.
    void Emit();

    std::mutex m_mutex;
    ITransmitter* m_pNext;
    std::string m_strQueued; // T lines of other threads; guarded by m_mutex
    bool m_bPosted{ false }; // guarded by m_mutex
    std::string m_strOut;    // being written; the UI thread's
    bool m_bRaw{ false };
};

} // namespace korvex
