#pragma once

// A hub wired for tests: a hand-pumped UI queue, a transmitter that records
// frames and a sink that collects protocol-log records.

#include "core/CKorvexApp.h"
#include "core/CQueuePoster.h"
#include "core/ISessionObserver.h"
#include "core/ITransmitter.h"

#include <cstdint>
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
        app.GetSession().AddObserver(&stops);
        app.SetPoster(&poster);
        app.SetTransmitter(&tx);
        app.GetFeed().SetSink([this](const CProtoFeed::Batch& batch) {
            lines.insert(lines.end(), batch.begin(), batch.end());
        });
    }

    // Hands bytes to the receive hook and runs the posted drain.
    void Receive(const Bytes& bytes)
    {
        app.OnReceive(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        poster.Pump();
    }

    ~CoreHarness() { app.GetSession().RemoveObserver(&stops); }

    void Reset()
    {
        lines.clear();
        tx.Clear();
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

} // namespace korvex::test
