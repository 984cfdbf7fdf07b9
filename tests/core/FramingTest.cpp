#include "core/CDevDoc.h"
#include "core/CParserModbus.h"
#include "core/Crc16.h"
#include "support/CoreHarness.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

TEST(Crc16, KnownVectors)
{
    const Bytes req = Hex("01 03 00 00 00 0A");
    EXPECT_EQ(Crc16(req.data(), 6), 0xC5CD);
    EXPECT_EQ(Crc16(nullptr, 0), 0xFFFF);
    // The exception answer of the decoder examples.
    const Bytes exc = Hex("01 83 02");
    EXPECT_EQ(Crc16(exc.data(), 3), 0xC0F1);
    EXPECT_EQ(WithCrc(Hex("01 03 00 10 00 02")), Hex("01 03 00 10 00 02 C5 CE"));
}

TEST(ScanCrc, FirstMatchingPrefixAndTrailingZero)
{
    Bytes b = Hex("01 03 00 00 00 0A C5 CD");
    EXPECT_EQ(ScanCrc(b.data(), static_cast<unsigned>(b.size() - 2)), 8u);
    EXPECT_EQ(MinFrameLen(b.data(), static_cast<unsigned>(b.size())), 8u);
    b.push_back(0x00);
    EXPECT_EQ(ScanCrc(b.data(), static_cast<unsigned>(b.size() - 2)), 9u);
    b.back() = 0x01;
    EXPECT_EQ(ScanCrc(b.data(), static_cast<unsigned>(b.size() - 2)), 8u);
    // Nothing but garbage: no CRC anywhere.
    const Bytes junk = Hex("01 03 11 22 33 44 55 66");
    EXPECT_EQ(ScanCrc(junk.data(), static_cast<unsigned>(junk.size() - 2)), 0u);
}

TEST(Framing, RequestInOneBatchAndGarbageInFront)
{
    CoreHarness h;
    h.Receive(Hex("01 03 00 00 00 0A C5 CD"));
    ASSERT_EQ(h.lines.size(), 2u); // the request, then the not-found warning
    EXPECT_EQ(h.lines[0].nKind, LK_REQUEST);
    // Nothing of it is left for the stop to report.
    h.app.FlushReceive();
    h.poster.Pump();
    EXPECT_EQ(h.lines.size(), 2u);

    h.Reset();
    Bytes batch = Hex("00 00 00");
    const Bytes req = Hex("01 03 00 00 00 0A C5 CD");
    batch.insert(batch.end(), req.begin(), req.end());
    h.Receive(batch);
    ASSERT_EQ(h.lines.size(), 3u);
    EXPECT_EQ(h.lines[0].nKind, LK_WARNING);
    EXPECT_EQ(h.lines[0].szText, "Неопознанные данные 3 байт { 0x0, 0x0, 0x0 }");
    EXPECT_EQ(h.lines[0].nAddress, 0);
    EXPECT_EQ(h.lines[1].nKind, LK_REQUEST);

    h.Reset();
    h.app.GetSettings().VALUEISHEX = 0;
    h.Receive(Hex("FF 00 FE 01 03 00 00 00 0A C5 CD"));
    ASSERT_EQ(h.lines.size(), 3u);
    EXPECT_EQ(h.lines[0].szText, "Неопознанные данные 3 байт { 255, 0, 254 }");
}

TEST(Framing, TrailingZeroMakesNineByteFrameThatIsNotARequest)
{
    CoreHarness h;
    CDevDoc dev(h.app);
    dev.SetDevAddr(1);
    for (std::uint16_t a = 0; a < 10; ++a)
        dev.AddItem(HREG, "R", "r", a, ACCESS_RW, 0, 65535, 0);
    h.Receive(Hex("01 03 00 00 00 0A C5 CD 00"));
    ASSERT_EQ(h.lines.size(), 1u);
    EXPECT_EQ(h.lines[0].nKind, LK_DATA);
    EXPECT_EQ(h.lines[0].szText, "(0x03) Read Holding Registers, Количество=0, Регистры={ }");
    EXPECT_TRUE(h.tx.Frames().empty());
}

TEST(Framing, WaitRuleWhileRunning)
{
    CoreHarness h;
    h.app.SetRunning(true);
    // Fewer than four bytes never give a line.
    h.Receive(Hex("01 03 00"));
    EXPECT_TRUE(h.lines.empty());
    // The rest of the request arrives: it is found at once.
    h.Receive(Hex("00 00 0A C5 CD"));
    ASSERT_EQ(h.lines.size(), 2u);
    EXPECT_EQ(h.lines[0].nKind, LK_REQUEST);

    // Garbage at the end stays pending while running...
    h.Reset();
    h.Receive(Hex("00 11 22 33 44 55"));
    EXPECT_TRUE(h.lines.empty());
    // ...and is reported in front of the next frame.
    h.Receive(Hex("01 03 00 00 00 0A C5 CD"));
    ASSERT_EQ(h.lines.size(), 3u);
    EXPECT_EQ(h.lines[0].szText,
              "Неопознанные данные 6 байт { 0x0, 0x11, 0x22, 0x33, 0x44, 0x55 }");
    EXPECT_EQ(h.lines[1].nKind, LK_REQUEST);

    // Not running: fewer than four bytes still give no line...
    CoreHarness few;
    few.Receive(Hex("01 03 00"));
    EXPECT_TRUE(few.lines.empty());
    // ...and garbage is reported at once (all but a last short tail).
    CoreHarness idle;
    idle.Receive(Hex("00 11 22 33 44 55 66 77"));
    ASSERT_EQ(idle.lines.size(), 1u);
    EXPECT_EQ(idle.lines[0].szText, "Неопознанные данные 4 байт { 0x0, 0x11, 0x22, 0x33 }");
}

// D17 at address 17 with coils, inputs, holding and input registers 0..15.
SDelivery Deliver(const std::vector<Bytes>& blocks)
{
    CoreHarness h;
    CDevDoc dev(h.app);
    dev.SetDevId("D17");
    dev.SetDevAddr(17);
    for (std::uint16_t a = 0; a < 16; ++a) {
        dev.AddItem(COIL, "C" + std::to_string(a), "c", a, ACCESS_RW, 0, 1, a % 2);
        dev.AddItem(DINP, "I" + std::to_string(a), "i", a, ACCESS_R, 0, 1, 1);
        dev.AddItem(HREG, "H" + std::to_string(a), "h", a, ACCESS_RW, 0, 65535, a);
        dev.AddItem(IREG, "R" + std::to_string(a), "r", a, ACCESS_R, 0, 65535, 100 + a);
    }
    return DeliverRunning(h, blocks);
}

TEST(Framing, ARequestCutAnywhereIsAnsweredOnce)
{
    for (const Bytes& r : { WithCrc(Hex("11 01 00 00 00 0A")), WithCrc(Hex("11 02 00 00 00 08")),
                            Hex("11 03 00 01 00 02 97 5B"), WithCrc(Hex("11 04 00 00 00 03")),
                            WithCrc(Hex("11 05 00 02 FF 00")), WithCrc(Hex("11 06 00 03 12 34")),
                            WithCrc(Hex("11 07")), WithCrc(Hex("11 0F 00 00 00 0A 02 FF 03")),
                            WithCrc(Hex("11 10 00 00 00 02 04 00 0A 01 02")) })
        ExpectAnsweredOnceCutAnywhere(Deliver, r);
}

// A device (at 17 unless told) with holding registers 0..199.
struct CRegisterHarness : CoreHarness
{
    CDevDoc dev{ app };
    explicit CRegisterHarness(std::uint8_t slave = 17)
    {
        dev.SetDevAddr(slave);
        for (std::uint16_t a = 0; a < 200; ++a)
            dev.AddItem(HREG, "H" + std::to_string(a), "h", a, ACCESS_RW, 0, 65535, a);
    }
};

// The first prefix in [from, to) of the frame that ends in its own CRC, or 0.
unsigned ChanceMatch(const Bytes& f, unsigned from, unsigned to)
{
    for (unsigned i = from; i < to; ++i)
        if (CrcMatches(f.data(), i))
            return i;
    return 0;
}

TEST(Framing, AChanceCrcMatchInsideARequestDoesNotCutIt)
{
    // A write of registers whose data hold a CRC match before the frame's end.
    Bytes write;
    for (unsigned seed = 1; write.empty(); ++seed) {
        Bytes f = Hex("11 10 00 00 00 64 C8");
        for (unsigned i = 0; i < 200; ++i)
            f.push_back(static_cast<std::uint8_t>((seed * 2654435761u + i * 40503u) >> 13));
        f = WithCrc(f);
        if (ChanceMatch(f, 6, static_cast<unsigned>(f.size()) - 2) != 0)
            write = f;
    }
    // A read whose header holds a match before the quantity's end.
    Bytes read;
    for (unsigned slave = 1; slave < 248 && read.empty(); ++slave)
        for (unsigned a = 0; a < 100 && read.empty(); ++a)
            for (unsigned q = 1; q <= 100 && read.empty(); ++q) {
                const Bytes f = WithCrc(Bytes{ static_cast<std::uint8_t>(slave), 0x03, 0x00,
                                               static_cast<std::uint8_t>(a), 0x00,
                                               static_cast<std::uint8_t>(q) });
                if (ChanceMatch(f, 2, 6) != 0)
                    read = f;
            }
    ASSERT_FALSE(write.empty());
    ASSERT_FALSE(read.empty());
    for (const Bytes& request : { write, read }) {
        CRegisterHarness h(request[0]);
        h.app.SetRunning(true);
        h.Receive(request);
        ASSERT_EQ(h.tx.Frames().size(), 1u) << testing::PrintToString(request);
        EXPECT_EQ(h.lines.front().nKind, LK_REQUEST);
    }
}

TEST(Framing, AChanceCrcMatchInNoiseNeverSwallowsTheRequestBehindIt)
{
    // A write of 124 registers is one too many: the 257-byte frame is noise.
    // From inside its data a chance CRC match reaches into the valid write
    // behind it, which must be answered however the line cuts the bytes.
    Bytes oversized = Hex("01 10 00 00 00 7C F8");
    for (int i = 0; i < 124; ++i)
        oversized.insert(oversized.end(), { 0x00, 0x01 });
    oversized = WithCrc(oversized);
    const Bytes write = Hex("01 10 00 C6 00 04 08 00 01 00 02 00 03 00 04 25 F0");
    ASSERT_EQ(write, WithCrc(Piece(write, 0, write.size() - 2)));
    const Bytes all = Cat({ oversized, write });

    for (const bool strict : { false, true }) {
        for (const bool running : { false, true }) {
            // Cut after the oversized frame (the two lines of a capture), and
            // at every place of the whole.
            std::vector<std::size_t> cuts = { oversized.size() };
            for (std::size_t i = 1; running && i < all.size(); ++i)
                cuts.push_back(i);
            for (const std::size_t cut : cuts) {
                SCOPED_TRACE(testing::Message() << "strict " << strict << ", running " << running
                                                << ", cut after " << cut);
                CRegisterHarness h(1);
                for (std::uint16_t a = 200; a < 256; ++a)
                    h.dev.AddItem(HREG, "H" + std::to_string(a), "h", a, ACCESS_RW, 0, 65535, 0);
                h.app.GetSettings().MBSTRICT = strict ? 1 : 0;
                h.app.SetRunning(running);
                h.Receive(Piece(all, 0, cut));
                h.Receive(Piece(all, cut, all.size()));
                h.app.OnStop();
                h.poster.Pump();
                EXPECT_EQ(h.tx.Frames(), std::vector<Bytes>{ WithCrc(Hex("01 10 00 C6 00 04")) });
                EXPECT_EQ(h.dev.FindItem(HREG, 0xC9)->GetValue(), 4);
                // Everything in front of the write is noise, nothing a frame.
                ASSERT_GE(h.lines.size(), 3u);
                for (std::size_t i = 0; i + 2 < h.lines.size(); ++i)
                    EXPECT_TRUE(h.lines[i].szText.starts_with("Неопознанные данные"))
                        << h.lines[i].szText;
                EXPECT_EQ(h.lines[h.lines.size() - 2].nKind, LK_REQUEST);
                EXPECT_EQ(h.lines.back().nKind, LK_RESPONSE);
            }
        }
    }
}

TEST(Framing, OnALineWithoutEchoARepeatedWriteIsAnsweredEachTime)
{
    const Bytes write = WithCrc(Hex("11 06 00 05 12 34"));
    CRegisterHarness echo;
    echo.Receive(write);
    echo.Receive(write); // taken for the echo of the answer, which is the same bytes
    EXPECT_EQ(echo.tx.Frames().size(), 1u);
    CRegisterHarness pty;
    pty.app.SetEchoPossible(false);
    pty.Receive(write);
    pty.Receive(write);
    EXPECT_EQ(pty.tx.Frames().size(), 2u);
}

TEST(Framing, WaitingBytesAreReportedAtTheLatestAtStopOrPastTheLargestFrame)
{
    CoreHarness h;
    h.app.SetRunning(true);
    h.Receive(Hex("11 03 00"));
    EXPECT_TRUE(h.lines.empty());
    h.app.OnStop();
    h.poster.Pump();
    ASSERT_EQ(h.lines.size(), 1u);
    EXPECT_EQ(h.lines[0].szText, "Неопознанные данные 3 байт { 0x11, 0x3, 0x0 }");

    // More pending bytes than the largest frame: those that can no longer
    // begin a frame go, at most 256 stay.
    CoreHarness g;
    g.app.SetRunning(true);
    g.Receive(Bytes(300, 0x40));
    ASSERT_EQ(g.lines.size(), 1u);
    EXPECT_EQ(g.lines[0].szText.rfind("Неопознанные данные 299 байт", 0), 0u);
    g.app.OnStop();
    g.poster.Pump();
    ASSERT_EQ(g.lines.size(), 2u);
    EXPECT_EQ(g.lines[1].szText, "Неопознанные данные 1 байт { 0x40 }");
}

TEST(Framing, UnsupportedFunctionIsUnrecognized)
{
    CoreHarness h;
    CDevDoc dev(h.app);
    dev.SetDevAddr(1);
    // Report Slave ID (0x11) is no frame start: nothing is answered, and at
    // the stop the bytes are reported as unrecognised.
    h.app.SetRunning(true);
    h.Receive(WithCrc(Hex("01 11")));
    h.app.OnStop();
    h.poster.Pump();
    ASSERT_EQ(h.lines.size(), 1u);
    EXPECT_EQ(h.lines[0].nKind, LK_WARNING);
    EXPECT_EQ(h.lines[0].szText, "Неопознанные данные 4 байт { 0x1, 0x11, 0xC0, 0x2C }");
    EXPECT_TRUE(h.tx.Frames().empty());
}

TEST(Framing, DeviceAtAddressZeroNamesUnrecognizedLines)
{
    CoreHarness h;
    CDevDoc dev(h.app);
    dev.SetDevId("BROADCAST");
    dev.SetDevAddr(0);
    h.Receive(Hex("55 66 77 88 99"));
    ASSERT_EQ(h.lines.size(), 1u);
    EXPECT_EQ(h.lines[0].nKind, LK_WARNING);
    EXPECT_EQ(h.lines[0].szDevice, "BROADCAST");
}

TEST(Framing, EchoOfOwnFramesAndLongFrames)
{
    CoreHarness h;
    CDevDoc dev(h.app);
    dev.SetDevId("D1");
    dev.SetDevAddr(1);
    for (unsigned a = 0; a < 100; ++a)
        dev.AddItem(HREG, "R" + std::to_string(a), "reg", static_cast<std::uint16_t>(a), ACCESS_RW,
                    0, 65535, static_cast<std::uint16_t>(a * 3));

    // A read of 100 registers: the 205-byte answer is sent...
    h.Receive(WithCrc(Hex("01 03 00 00 00 64")));
    ASSERT_EQ(h.tx.Frames().size(), 1u);
    const Bytes answer = h.tx.Frames()[0];
    ASSERT_EQ(answer.size(), 205u);
    EXPECT_EQ(answer[2], 200);
    // ...and its echo is recognized and not shown.
    h.Reset();
    h.Receive(answer);
    EXPECT_TRUE(h.lines.empty());
    // Recognised once, then forgotten: the same frame again is no echo any
    // more, it is a data response line.
    h.Receive(answer);
    ASSERT_EQ(h.lines.size(), 1u);
    EXPECT_EQ(h.lines[0].nKind, LK_DATA);

    // A write of 100 registers (209 bytes) is answered.
    h.Reset();
    Bytes write = Hex("01 10 00 00 00 64 C8");
    for (unsigned i = 0; i < 100; ++i) {
        write.push_back(0x12);
        write.push_back(static_cast<std::uint8_t>(i));
    }
    h.Receive(WithCrc(write));
    ASSERT_EQ(h.tx.Frames().size(), 1u);
    EXPECT_EQ(h.tx.Frames()[0], WithCrc(Hex("01 10 00 00 00 64")));
    EXPECT_EQ(dev.FindItem(HREG, 99)->GetValue(), 0x1263);
    ASSERT_EQ(h.lines.size(), 2u);
    EXPECT_EQ(h.lines[0].nKind, LK_REQUEST);
    EXPECT_EQ(h.lines[1].nKind, LK_RESPONSE);

    // Past the largest MODBUS frame nothing is recognised: a 260-byte frame
    // with a valid CRC is not answered; all but its last four bytes are
    // unrecognised at once.
    h.Reset();
    Bytes huge = Hex("01 10 00 00 00 7F FE");
    huge.resize(huge.size() + 251, 0x22);
    huge = WithCrc(huge);
    ASSERT_EQ(huge.size(), 260u);
    h.Receive(huge);
    EXPECT_TRUE(h.tx.Frames().empty());
    ASSERT_EQ(h.lines.size(), 1u);
    EXPECT_EQ(h.lines[0].nKind, LK_WARNING);
    EXPECT_TRUE(h.lines[0].szText.starts_with("Неопознанные данные 256 байт { 0x1, 0x10, 0x0,"))
        << h.lines[0].szText;

    // The echo of an exception answer is shown as an exception line.
    h.Reset();
    h.Receive(WithCrc(Hex("01 03 01 00 00 01")));
    ASSERT_EQ(h.tx.Frames().size(), 1u);
    const Bytes exc = h.tx.Frames()[0];
    EXPECT_EQ(exc, WithCrc(Hex("01 83 04")));
    h.Reset();
    h.Receive(exc);
    ASSERT_EQ(h.lines.size(), 1u);
    EXPECT_EQ(h.lines[0].nKind, LK_ERROR);
}

// A line that refuses the answer by throwing: the drain step turns everything
// available into one warning line.
class CThrowingTx final : public ITransmitter
{
public:
    bool Write(const std::uint8_t*, std::uint32_t) override { throw std::runtime_error("gone"); }
};

TEST(Framing, ThrowInsideAStepConsumesEverything)
{
    CoreHarness h;
    CDevDoc dev(h.app);
    dev.SetDevAddr(1);
    dev.AddItem(HREG, "R", "reg", 0, ACCESS_RW, 0, 65535, 0);
    CThrowingTx tx;
    h.app.SetTransmitter(&tx);
    Bytes batch = WithCrc(Hex("01 06 00 00 12 34"));
    batch.push_back(0x77);
    batch.push_back(0x78);
    h.Receive(batch);
    ASSERT_EQ(h.lines.size(), 1u);
    EXPECT_EQ(h.lines[0].nKind, LK_WARNING);
    EXPECT_EQ(h.lines[0].szText, "(0x06) Write Single Register, Адрес=0x0000, Регистр=0x1234");
    // The step's bytes and the two behind it are gone: nothing is left.
    h.app.FlushReceive();
    h.poster.Pump();
    EXPECT_EQ(h.lines.size(), 1u);
}

TEST(RxBuffer, SeveralMegabytesNeverOverflow)
{
    CoreHarness h;
    CDevDoc dev(h.app);
    dev.SetDevAddr(1);
    dev.AddItem(HREG, "R", "reg", 0, ACCESS_RW, 0, 65535, 7);
    h.app.SetRunning(true);
    h.lines.reserve(1 << 20);

    // 4 MiB of requests in 1024-byte blocks, drained as they come.
    const Bytes req = WithCrc(Hex("01 03 00 00 00 01"));
    Bytes block;
    while (block.size() + req.size() <= 1024)
        block.insert(block.end(), req.begin(), req.end());
    const std::size_t perBlock = block.size() / req.size();
    const std::size_t blocks = (4u << 20) / block.size();
    for (std::size_t i = 0; i < blocks; ++i)
        h.Receive(block);
    EXPECT_EQ(h.tx.Frames().size(), blocks * perBlock);
    const auto overflowed = [&h] {
        return std::any_of(h.lines.begin(), h.lines.end(), [](const auto& line) {
            return line.szText.starts_with("Переполнение");
        });
    };
    EXPECT_FALSE(overflowed());

    // Arrivals piling up while the drain does not run are kept until the
    // buffer is full; then the oldest pending bytes go, with one line.
    h.Reset();
    const std::size_t pendingBlocks = CRxBuffer::kCapacity / block.size() + 8;
    for (std::size_t i = 0; i < pendingBlocks; ++i)
        h.app.OnReceive(block.data(), static_cast<std::uint32_t>(block.size()));
    h.poster.Pump();
    // The first block finds the buffer full of drained bytes and discards
    // them; the blocks past the capacity each push one block out.
    std::vector<std::string> overflow;
    for (const auto& line : h.lines)
        if (line.szText.starts_with("Переполнение"))
            overflow.push_back(line.szText);
    EXPECT_EQ(overflow,
              std::vector<std::string>(pendingBlocks - CRxBuffer::kCapacity / block.size(),
                                       "Переполнение приёмного буфера: потеряно 1024 байт"));

    // Garbage that never forms a frame does not grow the buffer past its end
    // and keeps being drained in reasonable time.
    h.Reset();
    Bytes junk(1024);
    for (std::size_t i = 0; i < junk.size(); ++i)
        junk[i] = static_cast<std::uint8_t>((i * 37 + 11) & 0x7F) | 0x40;
    for (int i = 0; i < 1200; ++i)
        h.Receive(junk);
    EXPECT_FALSE(overflowed());
}

} // namespace
} // namespace korvex::test
