#include "serial/CRecordingPort.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

using namespace std::chrono_literals;

using SerialWrite = PortOnPty;

TEST_F(SerialWrite, LimitIsBelowTheBufferSize)
{
    // A closed port has no reader thread: nothing drains the queue.
    CRecordingPort port;
    const Bytes big(CSerialPort::kTxBufferSize, 0x55);
    EXPECT_FALSE(port.Write(big.data(), CSerialPort::kTxBufferSize)) << "32767 is not below 32767";
    EXPECT_TRUE(port.Write(big.data(), CSerialPort::kTxBufferSize - 1));
    EXPECT_FALSE(port.Write(big.data(), 1)) << "pending + 1 reaches the limit";
    EXPECT_TRUE(port.Write(big.data(), 0));
}

TEST_F(SerialWrite, OpenEmptiesTheQueue)
{
    ASSERT_TRUE(m_pair.Valid());
    const Bytes stale(100, 0xEE);
    ASSERT_TRUE(m_port.Write(stale.data(), 100));
    OpenAt();
    const Bytes frame{ 0x01, 0x06, 0x00, 0x01, 0x00, 0x03, 0x98, 0x0B };
    ASSERT_TRUE(m_port.Write(frame.data(), 8));
    EXPECT_EQ(ReadExactly(m_pair.Master(), frame.size()), frame);
    EXPECT_TRUE(ReadAvailable(m_pair.Master(), 100ms).empty());
}

TEST_F(SerialWrite, OversizedWriteIsRefusedAsAWhole)
{
    OpenAt();
    const Bytes big = Pattern(40000);
    EXPECT_FALSE(m_port.Write(big.data(), 40000));
    const Bytes frame{ 0x11, 0x22, 0x33 };
    ASSERT_TRUE(m_port.Write(frame.data(), 3));
    EXPECT_EQ(ReadExactly(m_pair.Master(), 3), frame) << "nothing of the refused write went out";
    EXPECT_TRUE(ReadAvailable(m_pair.Master(), 100ms).empty());
}

TEST_F(SerialWrite, WriteUpToTheLimitGoesOut)
{
    OpenAt();
    const std::uint32_t count = CSerialPort::kTxBufferSize - 1;
    const Bytes data = Pattern(count);
    ASSERT_TRUE(m_port.Write(data.data(), count));
    // A pseudo-terminal nobody reads takes only part of such a write: every
    // piece of it is reported through OnSent, in order, just after it went out.
    ASSERT_TRUE(WaitUntil([&] { return !m_port.Sent().empty(); }, 5s));
    EXPECT_EQ(ReadExactly(m_pair.Master(), count, std::chrono::seconds(20)), data);
    EXPECT_TRUE(m_port.Errors().empty());
    const auto sent = [this] {
        Bytes all;
        for (const Bytes& piece : m_port.Sent())
            all.insert(all.end(), piece.begin(), piece.end());
        return all;
    };
    EXPECT_TRUE(WaitUntil([&] { return sent().size() >= count; }, 5s));
    EXPECT_GT(m_port.Sent().size(), 1u);
    EXPECT_EQ(sent(), data);

    // The buffer is free again once everything went out (the count drops
    // just after the bytes left, so retry until a deadline).
    ASSERT_TRUE(WaitUntil([&] { return m_port.Write(data.data(), count); }, 5s));
    EXPECT_EQ(ReadExactly(m_pair.Master(), count, std::chrono::seconds(20)), data);
}

TEST_F(SerialWrite, TwoWritesGoOutInOrder)
{
    OpenAt();
    const Bytes a{ 0x01, 0x03, 0x02, 0x00, 0x2A, 0x38, 0x5B };
    const Bytes b{ 0x02, 0x03, 0x02, 0x00, 0x07, 0xFC, 0x46 };
    ASSERT_TRUE(m_port.Write(a.data(), 7));
    ASSERT_TRUE(m_port.Write(b.data(), 7));
    Bytes both = a;
    both.insert(both.end(), b.begin(), b.end());
    EXPECT_EQ(ReadExactly(m_pair.Master(), both.size()), both);
}

TEST_F(SerialWrite, WritesQueuedTogetherGoOutAsOneWrite)
{
    // Inside the receive hook the reader thread cannot write: both frames are
    // queued before it does.
    const Bytes a{ 0xA1, 0xA2, 0xA3 };
    const Bytes b{ 0xB1, 0xB2 };
    m_port.SetReceiveHook([&](CRecordingPort& port, const std::uint8_t*, std::uint32_t) {
        port.Write(a.data(), 3);
        port.Write(b.data(), 2);
    });
    OpenAt();
    const std::uint64_t before = m_port.GetWriteCount();
    ASSERT_TRUE(WriteAll(m_pair.Master(), Bytes{ 0x42 }));
    EXPECT_EQ(ReadExactly(m_pair.Master(), 5), (Bytes{ 0xA1, 0xA2, 0xA3, 0xB1, 0xB2 }));
    // The count grows just after the bytes have left.
    EXPECT_TRUE(WaitUntil([&] { return m_port.GetWriteCount() > before; }, 5s));
    EXPECT_EQ(m_port.GetWriteCount() - before, 1u);
}

TEST_F(SerialWrite, WritesFromManyThreadsKeepTheirFrames)
{
    OpenAt();
    constexpr int kThreads = 4;
    constexpr int kFrames = 50;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([&, t] {
            const Bytes frame(8, static_cast<std::uint8_t>(t + 1));
            for (int i = 0; i < kFrames; ++i)
                while (!m_port.Write(frame.data(), 8))
                    std::this_thread::yield();
        });
    }
    const Bytes all = ReadExactly(m_pair.Master(), kThreads * kFrames * 8, 20s);
    for (auto& w : writers)
        w.join();
    ASSERT_EQ(all.size(), std::size_t{ kThreads * kFrames * 8 });
    for (std::size_t i = 0; i < all.size(); i += 8)
        EXPECT_EQ(Bytes(all.begin() + i, all.begin() + i + 8), Bytes(8, all[i]))
            << "frame at " << i << " is whole";
}

} // namespace
} // namespace korvex::test
