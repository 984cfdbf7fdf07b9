#pragma once

// A hub wired for tests: a hand-pumped UI queue, a transmitter that records
// frames and a sink that collects protocol-log records.

#include "core/CKorvexApp.h"
#include "core/CQueuePoster.h"
#include "core/ISessionObserver.h"
#include "core/ITransmitter.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace korvex::test {

using Bytes = std::vector<std::uint8_t>;

class CRecordingTx final : public ITransmitter
{
public:
    bool Write(const std::uint8_t* data, std::uint32_t count) override
    {
        std::lock_guard lock(m_mutex);
        m_frames.emplace_back(data, data + count);
        return true;
    }
    std::vector<Bytes> Frames() const
    {
        std::lock_guard lock(m_mutex);
        return m_frames;
    }
    void Clear()
    {
        std::lock_guard lock(m_mutex);
        m_frames.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<Bytes> m_frames;
};

// Counts the session's stops.
struct CStopCounter final : ISessionObserver
{
    int nStops{ 0 };
    void OnSessionStopped() override { ++nStops; }
};

struct CoreHarness
{
    CQueuePoster poster;
    CRecordingTx tx;
    CKorvexApp app;
    std::vector<CProtoFeed::INTERNAL_ADDLINE> lines;
    CStopCounter stops;

    CoreHarness()
    {
        app.AddSessionObserver(&stops);
        app.SetPoster(&poster);
        app.SetTransmitter(&tx);
        app.SetLineSink([this](const CProtoFeed::Batch& batch) {
            lines.insert(lines.end(), batch.begin(), batch.end());
        });
    }

    // Hands bytes to the receive hook and runs the posted drain.
    void Receive(const Bytes& bytes)
    {
        app.OnReceive(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        poster.Pump();
    }

    ~CoreHarness() { app.RemoveSessionObserver(&stops); }

    void Reset()
    {
        lines.clear();
        tx.Clear();
    }

    // The log lines so far as "KIND DEVICE TEXT".
    std::vector<std::string> LineTexts() const
    {
        std::vector<std::string> out;
        for (const auto& line : lines)
            out.push_back(std::to_string(line.nKind) + " " + line.szDevice + " " + line.szText);
        return out;
    }
};

// "01 03 00 00" -> bytes.
inline Bytes Hex(const std::string& text)
{
    Bytes out;
    std::istringstream in(text);
    for (unsigned byte = 0; in >> std::hex >> byte;)
        out.push_back(static_cast<std::uint8_t>(byte));
    return out;
}

// Appends the CRC, low-order byte of the remainder first on the wire.
Bytes WithCrc(Bytes frame);

// The blocks joined, and bytes [from, to) of one.
Bytes Cat(std::initializer_list<Bytes> parts);
Bytes Piece(const Bytes& bytes, std::size_t from, std::size_t to);

// What the log (CoreHarness::LineTexts) and the line see of one delivery.
struct SDelivery
{
    std::vector<std::string> lines;
    std::vector<Bytes> frames;
};
using Deliverer = std::function<SDelivery(const std::vector<Bytes>& blocks)>;

// Hands the blocks to the running emulator, then stops it.
SDelivery DeliverRunning(CoreHarness& h, const std::vector<Bytes>& blocks);

// A request to device D17 delivered between another slave's request and noise,
// whole and cut into two and into three blocks at every place: each delivery
// gives the lines and the one answer of the whole. bLastPieceAlone: the last
// piece comes as a block of its own (a code that is not served must end the
// bytes received to be a frame).
void ExpectAnsweredOnceCutAnywhere(const Deliverer& deliver, const Bytes& request,
                                   bool bLastPieceAlone = false);

} // namespace korvex::test
