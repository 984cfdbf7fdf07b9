#pragma once

// A serial port whose hooks record what they were given, with waits that end
// at a condition or a deadline.

#include "core/Text.h"
#include "serial/CSerialPort.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace korvex::test {

class CRecordingPort : public CSerialPort
{
public:
    using Clock = std::chrono::steady_clock;
    using ReceiveHook = std::function<void(CRecordingPort&, const std::uint8_t*, std::uint32_t)>;

    // The tests play a real line on a pseudo-terminal: blocks end by the
    // line's time-outs, as on a serial line.
    CRecordingPort() { SetBlockTiming(BlockTiming::LineTimeouts); }
    ~CRecordingPort() override { Close(); }

    // Called at the end of OnReceive on the reader thread; set before Open.
    void SetReceiveHook(ReceiveHook hook) { m_receiveHook = std::move(hook); }

    // Waits until pred(*this) holds, the lock held; false at the deadline.
    template <class Pred> bool WaitFor(Pred pred, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return pred(*this); });
    }
    bool WaitForBytes(std::size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        return WaitFor([count](const CRecordingPort& p) { return p.m_nReceived >= count; },
                       timeout);
    }
    bool WaitForErrors(std::size_t count,
                       std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        return WaitFor([count](const CRecordingPort& p) { return p.m_errors.size() >= count; },
                       timeout);
    }
    bool WaitForIdle(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5))
    {
        return WaitFor([count](const CRecordingPort& p) { return p.m_idle.size() >= count; },
                       timeout);
    }

    std::vector<std::string> Errors() const { return Copy(m_errors); }
    std::vector<Bytes> Blocks() const { return Copy(m_blocks); }
    std::vector<Bytes> Sent() const { return Copy(m_sent); }
    std::vector<Clock::time_point> IdleTimes() const { return Copy(m_idle); }
    std::vector<std::thread::id> HookThreads() const { return Copy(m_hookThreads); }
    Bytes Received() const
    {
        std::lock_guard lock(m_mutex);
        Bytes all;
        for (const Bytes& b : m_blocks)
            all.insert(all.end(), b.begin(), b.end());
        return all;
    }

protected:
    void OnError(const char* format, ...) override
    {
        va_list args;
        va_start(args, format);
        std::string text = StrFormatV(format, args);
        va_end(args);
        Record([&] { m_errors.push_back(std::move(text)); });
    }
    void OnReceive(const std::uint8_t* data, std::uint32_t count) override
    {
        Record([&] {
            m_blocks.emplace_back(data, data + count);
            m_nReceived += count;
        });
        if (m_receiveHook)
            m_receiveHook(*this, data, count);
    }
    void OnSent(const std::uint8_t* data, std::uint32_t count) override
    {
        Record([&] { m_sent.emplace_back(data, data + count); });
    }
    void OnIdle() override
    {
        Record([&] { m_idle.push_back(Clock::now()); });
    }

private:
    template <class F> void Record(F&& change)
    {
        {
            std::lock_guard lock(m_mutex);
            change();
            m_hookThreads.push_back(std::this_thread::get_id());
        }
        m_changed.notify_all();
    }
    template <class T> T Copy(const T& field) const
    {
        std::lock_guard lock(m_mutex);
        return field;
    }

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_errors;
    std::vector<Bytes> m_blocks;
    std::size_t m_nReceived{ 0 };
    std::vector<Bytes> m_sent;
    std::vector<Clock::time_point> m_idle;
    std::vector<std::thread::id> m_hookThreads;
    ReceiveHook m_receiveHook;
};

// A recording port on the slave side of a fresh pseudo-terminal pair; the
// test plays the far end on the master side.
class PortOnPty : public testing::Test
{
protected:
    void OpenAt(std::uint32_t baud = 9600)
    {
        ASSERT_TRUE(m_pair.Valid());
        m_port.Setup(m_pair.SlavePath(), baud, 0, 8, 0);
        ASSERT_TRUE(m_port.Open());
    }

    CPtyPair m_pair;
    CRecordingPort m_port;
};

} // namespace korvex::test
