#pragma once

#include "core/CRxBuffer.h"
#include "core/IFrameSender.h"
#include "core/Types.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

namespace korvex {

class IDeviceLookup;
class ILineSink;
class IPduHandler;
class CRtuFramer;
class CTransportCounters;
class ITransmitter;
class ITransportThread;
class IUiPoster;
struct SSettings;

// The receive path: the receive buffer and its drain position, framing and
// decoding step by step, the answers to requests (CRtuFramer around the
// handlers), the last transmitted frame and its echo test, and the one
// transmit path for complete frames.
//
// Threads: while a transport answers on a thread of its own (the serial
// port's reader thread), OnReceive comes on that thread and drains there at
// once, injected bytes are drained there too and delayed answers leave from
// there: the user-interface thread is never on a request's path. Without one
// (decode, a port that did not open) the drain is posted to the
// user-interface thread. Scripts call SendFrame and InjectReceived on their
// own threads. The buffer's lock guards the buffer, m_nRxPos and m_nScanFrom
// and is held for a whole drain; m_csLastTx guards the last transmitted
// frame. Under the buffer lock the drain takes the other locks one at a time,
// never nested. m_nTxEpoch cancels the delayed answers not yet sent.
class CRxPath final : public IFrameSender, public IEchoFilter
{
public:
    static constexpr std::uint32_t kMaxTxFrame = 1024;

    // running: the session's flag; the drain's wait rule applies while set.
    // capacity: the receive buffer's size.
    CRxPath(const IDeviceLookup& devices, ILineSink& lines, const SSettings& settings,
            const std::atomic<bool>& running, std::uint32_t capacity = CRxBuffer::kCapacity);
    ~CRxPath() override;

    // Wiring, once on the user-interface thread before anything runs.
    void SetPoster(IUiPoster* poster) { m_pPoster = poster; }
    // Requests to the project's devices are answered by the handler, framed
    // for the line; without one nothing is answered.
    void SetHandler(IPduHandler* handler);
    void SetTransmitter(ITransmitter* tx) { m_pTx.store(tx); }
    // Where the frames seen, the bytes that make none and the answers with a
    // spoiled CRC are counted; none by default.
    void SetCounters(CTransportCounters* counters);
    // The transport that answers on its own thread, while it does (null:
    // none, the user-interface thread drains).
    void SetTransportThread(ITransportThread* thread) { m_pThread.store(thread); }

    // The port's receive hook: appends the block, then drains at once on the
    // transport's thread, or posts the drain to the user-interface thread
    // when no transport answers on its own.
    void OnReceive(const std::uint8_t* data, std::uint32_t count);
    // Bytes a script injects as if a master had sent them: appended, and the
    // drain asked of the transport's thread (or posted).
    void InjectReceived(const std::uint8_t* data, std::uint32_t count);
    // The drain: cuts everything pending into frames and lines.
    void OnRxData();
    // The lock a change of the settings holds exclusively; a drain holds it
    // shared. Null: none (a single thread).
    void SetSettingsLock(std::shared_mutex* lock) { m_pSettingsLock = lock; }
    // Bytes received and not yet framed.
    unsigned GetPendingLength() const;
    // Bytes reported as making no frame so far.
    std::uint64_t GetUnrecognizedCount() const { return m_nUnrecognized.load(); }
    // One drain step. scanHint, when given, carries how far the bytes are known
    // to start no frame from one waiting step to the next.
    unsigned ExtractFrame(const std::uint8_t* data, unsigned available, SFrameInfo& info,
                          unsigned* scanHint = nullptr);
    // Start of a session: buffer emptied, drain position and last frame reset.
    void ResetReceive();
    // End of a session: drains what is pending as when stopped, then reports
    // a tail too short to be looked at as unrecognized.
    void FlushReceive();

    void SendFrame(const std::uint8_t* frame, unsigned length) override;
    void SendFrameDelayed(const std::uint8_t* frame, unsigned length, std::uint32_t delayMs,
                          std::function<void()> sent) override;
    // Drops the delayed answers not yet sent (the session stops or starts).
    void CancelDelayed() { m_nTxEpoch.fetch_add(1); }
    // Without an echo possible (a pseudo-terminal) no frame is an echo.
    bool TakeEcho(const std::uint8_t* frame, unsigned length) override;
    void SetEchoPossible(bool possible) { m_bEchoPossible.store(possible); }
    void ClearLastTx();

private:
    void AppendReceived(const std::uint8_t* data, std::uint32_t count);
    void PostDrain();
    std::string DeviceNameAt(std::uint8_t addr) const;

    const IDeviceLookup& m_devices;
    ILineSink& m_lines;
    const SSettings& m_settings;
    const std::atomic<bool>& m_bRunning;
    IUiPoster* m_pPoster{ nullptr };
    std::unique_ptr<CRtuFramer> m_pFramer;
    std::atomic<ITransmitter*> m_pTx{ nullptr };
    std::atomic<ITransportThread*> m_pThread{ nullptr };
    std::shared_mutex* m_pSettingsLock{ nullptr };
    CTransportCounters* m_pCounters{ nullptr };
    std::atomic<std::uint64_t> m_nUnrecognized{ 0 };

    CRxBuffer m_rxBuffer;
    std::uint32_t m_nRxPos{ 0 }; // guarded by m_rxBuffer's lock
    unsigned m_nScanFrom{ 0 };   // no frame starts before m_nRxPos + this

    // Delayed sends check both before they run: the path still exists and no
    // cancel came in between.
    std::shared_ptr<int> m_pAlive{ std::make_shared<int>(0) };
    std::atomic<std::uint64_t> m_nTxEpoch{ 0 };

    mutable std::mutex m_csLastTx;
    std::uint8_t m_lastTx[kMaxTxFrame]{};
    std::uint32_t m_nLastTxLen{ 0 };
    std::atomic<bool> m_bEchoPossible{ true };
};

} // namespace korvex
