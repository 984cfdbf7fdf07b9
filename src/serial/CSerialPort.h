#pragma once

#include "core/ITransmitter.h"
#include "serial/CModemLines.h"
#include "serial/STimeouts.h"
#include "serial/SerialDefs.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <termios.h>
#include <thread>
#include <vector>

namespace korvex {

// One serial port: configures the line, runs a reader thread that receives
// data in blocks and performs every write, and reports through virtual hooks.
//
// Threads: Setup, SetModemControl, Open, OpenFd, OpenPort, ClosePort,
// StartThread, StopThread and Close belong to one controlling thread (the
// user-interface thread); Write may be called from any thread. The reader
// thread alone reads from and writes to the device and calls the hooks, except
// the OnError reports of Open, which run on the controlling thread.
// Locks: m_csTx guards the transmit queue (m_arTx, m_nTxQueued) and the count
// of accepted bytes not yet written (m_nTxPending); m_csTasks the tasks for
// the reader thread. m_arOut and the modem-line
// state belong to the reader thread; the controlling thread touches them only
// while no reader thread runs.
//
// A derived class that overrides hooks must call Close in its own destructor:
// the base destructor runs after the derived part is gone.
class CSerialPort : public ITransmitter
{
public:
    // Size of one block read, and of the kernel-side read limit per call.
    static constexpr std::uint32_t kBlockSize = 1024;
    // Size of the transmit buffer; a write is refused unless pending + count
    // stays below it.
    static constexpr std::uint32_t kTxBufferSize = 0x7FFF;
    // Silence after which the reader thread calls OnIdle.
    static constexpr std::chrono::milliseconds kIdleTime{ 900 };

    // When a block of received bytes is handed to OnReceive.
    enum class BlockTiming
    {
        // A pseudo-terminal delivers at once, any other device by the line's
        // time-outs.
        Detect,
        // At a pause longer than the interval time-out, after the total
        // time-out, or when the block is full: the rule of a real line.
        LineTimeouts,
        // Every read at once: a pseudo-terminal has no line and no character
        // time, so waiting for a pause only delays the answer.
        AtOnce,
    };

    CSerialPort();
    ~CSerialPort() override;

    CSerialPort(const CSerialPort&) = delete;
    CSerialPort& operator=(const CSerialPort&) = delete;

    // Stores the line parameters and recomputes the time-outs; an open port
    // keeps its settings until it is opened again. name is a device under /dev
    // ("ttyUSB0") or an absolute path. parity: 0 none, 1 odd, 2 even, 3 mark,
    // 4 space; stopBits: 0 one, 1 one and a half (two on this platform), 2 two.
    void Setup(const std::string& name, std::uint32_t baud, std::uint8_t parity,
               std::uint8_t dataBits, std::uint8_t stopBits,
               std::uint32_t eventMask = kDefaultEventMask);
    // Levels of RTS and DTR while the port is open (RTS_CTRL_HI, DTR_CTRL_HI);
    // taken at the next open.
    void SetModemControl(bool rtsHigh, bool dtrHigh);
    // How blocks end on the next open (default Detect).
    void SetBlockTiming(BlockTiming timing) { m_blockTiming = timing; }
    // Whether the open port hands each read to OnReceive at once.
    bool DeliversAtOnce() const { return m_bAtOnce.load(); }
    // Whether the open port is a pseudo-terminal (no line: nothing echoes).
    bool IsOnPseudoTerminal() const { return m_bPseudoTerminal.load(); }
    // Whether the descriptor is either side of a pseudo-terminal.
    static bool IsPseudoTerminal(int fd);

    // Close, OpenPort, StartThread. A failure is reported through OnError
    // ("Невозможно открыть последовательный порт '%s'.") and gives false.
    bool Open();
    // As Open, but serves a copy (dup) of an already open terminal descriptor
    // instead of opening the device by name, for example the master side of a
    // CVirtualPort. The caller keeps its own descriptor. The name from Setup
    // appears in the reports only.
    bool OpenFd(int fd);
    // Opens and configures the device without starting the reader thread.
    // Reports configuration errors, not a failure to open the device itself.
    bool OpenPort();
    // Stops a running reader thread, restores the terminal settings found at
    // open and closes the device. false when the port was not open.
    bool ClosePort();
    // Starts the reader thread; false when the port is closed or a thread
    // exists.
    bool StartThread();
    // Ends the reader thread and waits for it; false when there is none.
    bool StopThread();
    // StopThread, then ClosePort. Returns after the reader thread has ended;
    // does nothing on a closed port.
    void Close();

    // Queues bytes for the reader thread to write. Refused as a whole (false,
    // nothing queued) unless the bytes accepted and not yet written plus count
    // stay below kTxBufferSize.
    bool Write(const std::uint8_t* data, std::uint32_t count) override;
    // Runs task on the reader thread once delay has passed (zero: at its
    // next turn), before the writes of that turn. Tasks still waiting when
    // the thread ends are dropped. Any thread.
    void RunOnReaderThread(std::chrono::milliseconds delay, std::function<void()> task);

    bool IsOpen() const { return m_nFd.load() >= 0; }

    const std::string& GetName() const { return m_strName; }
    // The file the port opens: /dev/<name>, or the name when it is absolute.
    std::string GetDevicePath() const;
    STimeouts GetTimeouts() const { return m_timeouts; }
    std::uint32_t GetEventMask() const { return m_dwEventMask; }
    // Number of write calls made on the device since construction.
    std::uint64_t GetWriteCount() const { return m_nWriteCount.load(); }

    // The system's text for an error number (-1: the current errno) followed
    // by CR LF; empty when the system has no text.
    static std::string GetErrorText(int error = -1);

protected:
    // Hooks, called on the reader thread (OnError also from Open). The base
    // versions do nothing. An exception thrown by a hook is swallowed. A hook
    // must not open or close the port; such a call from the reader thread only
    // asks the thread to end.
    //
    // A modem input line in the event mask changed (EV_CTS, EV_DSR, EV_RLSD,
    // EV_RING).
    virtual void OnCommEvent(std::uint32_t event);
    // An error as a printf format and its arguments.
    virtual void OnError(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Bytes written by a write that the device did not take at once.
    virtual void OnSent(const std::uint8_t* data, std::uint32_t count);
    // A block of received bytes (1 to kBlockSize).
    virtual void OnReceive(const std::uint8_t* data, std::uint32_t count);
    // The reader thread saw no event for kIdleTime.
    virtual void OnIdle();

private:
    using Clock = std::chrono::steady_clock;

    // What the reader thread needs of the settings, copied when it starts.
    struct SThreadParams
    {
        int nFd{ -1 };
        std::chrono::milliseconds interval{ 0 };
        std::chrono::milliseconds total{ 0 };
        std::uint32_t dwEventMask{ 0 };
        bool bAtOnce{ false };
    };

    bool OpenWith(int adoptFd);
    bool OpenPortWith(int adoptFd);
    // Sets up the open device; returns 0 or the errno of the failing step.
    int Configure(int fd);
    bool OnReaderThread() const;
    void RequestStop();
    void Wake();
    void DrainWake();

    void ReaderThread(SThreadParams params);
    void RaiseThreadPriority();
    void DeliverBlock(const std::uint8_t* data, std::uint32_t count);
    void ReportLineChanges(int fd, std::uint32_t mask, bool& bSupported, bool& bEvent);
    // Moves queued bytes to the write buffer when it is empty and writes what
    // it can. Returns true when bytes were written.
    bool PerformWrite(int fd, bool& bDeviceGone);
    // The earliest due time of a task, or the limit given.
    Clock::time_point NextTaskDue(Clock::time_point limit);
    void RunDueTasks();

    // Line settings (controlling thread).
    std::string m_strName{ "ttyS0" };
    std::uint32_t m_dwBaud{ 9600 };
    std::uint8_t m_byParity{ NOPARITY };
    std::uint8_t m_byDataBits{ 8 };
    std::uint8_t m_byStopBits{ ONESTOPBIT };
    std::uint32_t m_dwEventMask{ kDefaultEventMask };
    bool m_bRtsHigh{ true };
    bool m_bDtrHigh{ true };
    BlockTiming m_blockTiming{ BlockTiming::Detect };
    float m_fCharTime{ 0.0f };
    STimeouts m_timeouts;

    // The open device (written by the controlling thread while no reader
    // thread runs).
    std::atomic<int> m_nFd{ -1 };
    std::atomic<bool> m_bAtOnce{ false };
    std::atomic<bool> m_bPseudoTerminal{ false };
    bool m_bExclusive{ false }; // opened by name: TIOCEXCL to undo at close
    bool m_bHaveOldTermios{ false };
    termios m_oldTermios{};
    std::uint32_t m_dwOldBaud{ 0 };

    // Transmit queue, guarded by m_csTx.
    std::mutex m_csTx;
    std::unique_ptr<std::uint8_t[]> m_arTx;
    std::uint32_t m_nTxQueued{ 0 };
    std::uint32_t m_nTxPending{ 0 };

    // The bytes being written (reader thread).
    std::unique_ptr<std::uint8_t[]> m_arOut;
    std::uint32_t m_nOutLength{ 0 };
    std::uint32_t m_nOutPos{ 0 };
    bool m_bOutPartial{ false };   // this run did not go out in one call
    bool m_bWriteHalted{ false };  // a write failed: retried on the next Write
    bool m_bWaitWritable{ false }; // the device took less than offered
    CModemLines m_modemLines;

    std::atomic<std::uint64_t> m_nWriteCount{ 0 };

    // Tasks for the reader thread, guarded by m_csTasks.
    struct STask
    {
        Clock::time_point due;
        std::function<void()> task;
    };
    std::mutex m_csTasks;
    std::vector<STask> m_arTasks;

    // Reader thread.
    int m_nWakeFd{ -1 }; // eventfd: stop, write and task requests
    std::atomic<bool> m_bStop{ false };
    std::atomic<std::thread::id> m_readerId{};
    std::thread m_thread;
};

} // namespace korvex
