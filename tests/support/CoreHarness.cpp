#include "support/CoreHarness.h"

#include "core/Crc16.h"

#include <gtest/gtest.h>

namespace korvex::test {

Bytes WithCrc(Bytes frame)
{
    const std::uint16_t crc = Crc16(frame.data(), static_cast<unsigned>(frame.size()));
    frame.push_back(static_cast<std::uint8_t>(crc >> 8));
    frame.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    return frame;
}

Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Piece(const Bytes& bytes, std::size_t from, std::size_t to)
{
    return Bytes(bytes.begin() + static_cast<long>(from), bytes.begin() + static_cast<long>(to));
}

SDelivery DeliverRunning(CoreHarness& h, const std::vector<Bytes>& blocks)
{
    h.app.SetRunning(true);
    for (const Bytes& block : blocks)
        h.Receive(block);
    h.app.OnStop();
    h.poster.Pump();
    return { h.LineTexts(), h.tx.Frames() };
}

void ExpectAnsweredOnceCutAnywhere(const Deliverer& deliver, const Bytes& r, bool bLastPieceAlone)
{
    SCOPED_TRACE(testing::PrintToString(r));
    const Bytes other = WithCrc(Hex("09 03 00 00 00 01"));
    const Bytes noiseBefore = Hex("FF FE");
    const Bytes noiseAfter = Hex("FD FC");
    const SDelivery whole = deliver({ other, Cat({ noiseBefore, r }), Cat({ noiseAfter, other }) });
    // The other slave, the noise, the request, its answer, the noise and the
    // other slave again.
    ASSERT_EQ(whole.lines.size(), 8u);
    EXPECT_EQ(whole.lines[2], "5  Неопознанные данные 2 байт { 0xFF, 0xFE }");
    EXPECT_EQ(whole.lines[3].substr(0, 6), "0 D17 ");
    EXPECT_EQ(whole.lines[5], "5  Неопознанные данные 2 байт { 0xFD, 0xFC }");
    ASSERT_EQ(whole.frames.size(), 1u);

    const std::size_t n = r.size();
    for (std::size_t i = 1; i < n; ++i) {
        const SDelivery two = deliver({ other, Cat({ noiseBefore, Piece(r, 0, i) }), Piece(r, i, n),
                                        Cat({ noiseAfter, other }) });
        EXPECT_EQ(two.lines, whole.lines) << "cut after " << i;
        EXPECT_EQ(two.frames, whole.frames) << "cut after " << i;
        for (std::size_t j = i + 1; j < n; ++j) {
            std::vector<Bytes> blocks = { other, Cat({ noiseBefore, Piece(r, 0, i) }),
                                          Piece(r, i, j) };
            if (bLastPieceAlone) {
                blocks.push_back(Piece(r, j, n));
                blocks.push_back(Cat({ noiseAfter, other }));
            } else {
                blocks.push_back(Cat({ Piece(r, j, n), noiseAfter, other }));
            }
            const SDelivery three = deliver(blocks);
            EXPECT_EQ(three.lines, whole.lines) << "cut after " << i << " and " << j;
            EXPECT_EQ(three.frames, whole.frames) << "cut after " << i << " and " << j;
        }
    }
}

} // namespace korvex::test
