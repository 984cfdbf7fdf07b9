#include "core/CDevDoc.h"
#include "core/CRequestHandlers.h"
#include "core/IDeviceLookup.h"
#include "core/ILineSink.h"
#include "core/SSettings.h"
#include "support/CoreHarness.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

// A device at address 1 with coils 0..9 and 100..399, inputs 0..7,
// holding registers 0..4 and 6..9 (5 is missing), input registers 0..3.
struct HandlerFixture : ::testing::Test
{
    CoreHarness h;
    CDevDoc dev{ h.app };

    void SetUp() override
    {
        dev.SetDevId("PUMP1");
        dev.SetDevAddr(1);
        for (std::uint16_t a = 0; a < 10; ++a)
            dev.AddItem(COIL, "C" + std::to_string(a), "coil", a, ACCESS_RW, 0, 1, a % 2);
        for (std::uint16_t a = 100; a < 400; ++a)
            dev.AddItem(COIL, "K" + std::to_string(a), "coil", a, ACCESS_RW, 0, 1, 0);
        for (std::uint16_t a = 0; a < 8; ++a)
            dev.AddItem(DINP, "I" + std::to_string(a), "input", a, ACCESS_R, 0, 1, a == 3);
        for (std::uint16_t a = 0; a < 10; ++a)
            if (a != 5)
                dev.AddItem(HREG, "H" + std::to_string(a), "reg", a, ACCESS_RW, 0, 65535,
                            static_cast<std::uint16_t>(0x100 + a));
        for (std::uint16_t a = 0; a < 4; ++a)
            dev.AddItem(IREG, "R" + std::to_string(a), "ireg", a, ACCESS_R, 0, 65535,
                        static_cast<std::uint16_t>(0xA000 + a));
        dev.SetModifiedFlag(false);
    }

    // Sends a request and returns the single answer (empty when none).
    Bytes Ask(const Bytes& pduWithAddr)
    {
        h.Reset();
        h.Receive(WithCrc(pduWithAddr));
        const auto frames = h.tx.Frames();
        return frames.empty() ? Bytes() : frames.back();
    }
};

TEST_F(HandlerFixture, ReadsOfEveryKind)
{
    // Coils 0..9 hold 0,1,0,1,...: 0xAA then 0x02.
    EXPECT_EQ(Ask(Hex("01 01 00 00 00 0A")), WithCrc(Hex("01 01 02 AA 02")));
    EXPECT_EQ(Ask(Hex("01 02 00 00 00 08")), WithCrc(Hex("01 02 01 08")));
    EXPECT_EQ(Ask(Hex("01 03 00 00 00 02")), WithCrc(Hex("01 03 04 01 00 01 01")));
    EXPECT_EQ(Ask(Hex("01 04 00 02 00 02")), WithCrc(Hex("01 04 04 A0 02 A0 03")));
    EXPECT_EQ(Ask(Hex("01 07")), WithCrc(Hex("01 07 20")));
    ASSERT_EQ(h.lines.size(), 2u);
    EXPECT_EQ(h.lines[0].nKind, LK_REQUEST);
    EXPECT_EQ(h.lines[1].nKind, LK_RESPONSE);
    EXPECT_EQ(h.lines[1].szDevice, "PUMP1");
    EXPECT_EQ(h.lines[1].nAddress, 1);
    EXPECT_EQ(h.lines[1].szText, "(0x07) Read Exception Status Ответ на получение статуса "
                                 "устройства (зависит от устройства)");
    EXPECT_FALSE(dev.IsModified());
}

TEST_F(HandlerFixture, MissingCellsGiveExceptionFour)
{
    // The second of three registers exists, the sixth does not.
    EXPECT_EQ(Ask(Hex("01 03 00 04 00 03")), WithCrc(Hex("01 83 04")));
    ASSERT_EQ(h.lines.size(), 2u);
    EXPECT_EQ(h.lines[1].nKind, LK_ERROR);
    EXPECT_EQ(h.lines[1].szText, "(0x03) Read Holding Registers: HREG c адресом 0x5 не найден");
    EXPECT_EQ(h.tx.Frames().size(), 1u);

    EXPECT_EQ(Ask(Hex("01 01 00 20 00 0A")), WithCrc(Hex("01 81 04")));
    EXPECT_EQ(h.lines[1].szText, "(0x01) Read Coils: COIL c адресом 0x20 не найден");
    EXPECT_EQ(Ask(Hex("01 02 00 06 00 04")), WithCrc(Hex("01 82 04")));
    EXPECT_EQ(h.lines[1].szText, "(0x02) Read Discrete Inputs: DINP c адресом 0x8 не найден");
    EXPECT_EQ(Ask(Hex("01 04 00 03 00 02")), WithCrc(Hex("01 84 04")));
    EXPECT_EQ(h.lines[1].szText, "(0x04) Read Input Registers: IREG c адресом 0x4 не найден");
    EXPECT_EQ(Ask(Hex("01 06 00 05 00 01")), WithCrc(Hex("01 86 04")));
    EXPECT_EQ(h.lines[1].szText, "(0x06) Write Single Register: HREG c адресом 0x5 не найден");
}

TEST_F(HandlerFixture, WriteSingleCoilKeepsTheFieldValue)
{
    EXPECT_EQ(Ask(Hex("01 05 00 02 FF 00")), WithCrc(Hex("01 05 00 02 FF 00")));
    EXPECT_EQ(dev.FindItem(COIL, 2)->GetValue(), 0xFF00);
    EXPECT_TRUE(dev.IsModified());
    EXPECT_EQ(Ask(Hex("01 01 00 02 00 01")), WithCrc(Hex("01 01 01 01")));

    // A coil holding 5 (a script may store that) reads as on.
    dev.FindItem(COIL, 3)->SetValue(5);
    EXPECT_EQ(Ask(Hex("01 01 00 03 00 01")), WithCrc(Hex("01 01 01 01")));
    // A cell refused by the view (bounds 0-0) still serves the master.
    dev.AddItem(HREG, "Z", "no row", 50, ACCESS_RW, 0, 0, 77);
    EXPECT_EQ(dev.FindRow(HREG, 50), 0u);
    EXPECT_EQ(Ask(Hex("01 03 00 32 00 01")), WithCrc(Hex("01 03 02 00 4D")));

    EXPECT_EQ(Ask(Hex("01 05 00 02 00 01")), WithCrc(Hex("01 85 03")));
    EXPECT_EQ(h.lines[1].szText,
              "(0x05) Write Single Coil: Неверный запрос. Значение должно быть 0x0000 или 0xFF00");
    EXPECT_EQ(Ask(Hex("01 05 00 50 00 00")), WithCrc(Hex("01 85 04")));
    EXPECT_EQ(h.lines[1].szText, "(0x05) Write Single Coil: COIL c адресом 0x50 не найден");
}

TEST_F(HandlerFixture, WritesOfRegistersAndCoils)
{
    EXPECT_EQ(Ask(Hex("01 06 00 01 BE EF")), WithCrc(Hex("01 06 00 01 BE EF")));
    EXPECT_EQ(dev.FindItem(HREG, 1)->GetValue(), 0xBEEF);

    // Registers 1..6: the fifth address (5) is missing; 1..4 keep their new values.
    EXPECT_EQ(Ask(Hex("01 10 00 01 00 06 0C 00 11 00 12 00 13 00 14 00 15 00 16")),
              WithCrc(Hex("01 90 04")));
    EXPECT_EQ(dev.FindItem(HREG, 4)->GetValue(), 0x14);
    EXPECT_EQ(dev.FindItem(HREG, 6)->GetValue(), 0x106);
    EXPECT_EQ(h.lines[1].szText, "(0x10) Write Multiple registers: HREG c адресом 0x5 не найден");

    // 300 coils from 100: every third on.
    Bytes req = Hex("01 0F 00 64 01 2C 26");
    Bytes data(38, 0);
    for (unsigned i = 0; i < 300; ++i)
        if (i % 3 == 0)
            data[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
    req.insert(req.end(), data.begin(), data.end());
    EXPECT_EQ(Ask(req), WithCrc(Hex("01 0F 00 64 01 2C")));
    for (unsigned i = 0; i < 300; ++i)
        ASSERT_EQ(dev.FindItem(COIL, static_cast<std::uint16_t>(100 + i))->GetValue(),
                  i % 3 == 0 ? 1 : 0)
            << i;
    EXPECT_EQ(h.lines[1].szText, "(0x0F) Write Multiple Coils, Адрес=0x0064, Количество=300");
    EXPECT_TRUE(dev.IsModified());
}

// The device the handlers find at address 1, and the lines they queue.
struct SFixtureLookup final : IDeviceLookup, ILineSink
{
    CDevDoc& dev;
    std::vector<std::string> texts;
    explicit SFixtureLookup(CDevDoc& d) : dev(d) {}
    CDevDoc* FindDeviceByAddr(std::uint8_t addr) const override
    {
        return addr == 1 ? &dev : nullptr;
    }
    CDevDoc* FindDeviceById(const std::string&) const override { return nullptr; }
    void AddLine(int, const std::string&, int, std::string text, SLineFrame = {}) override
    {
        texts.push_back(std::move(text));
    }
    void AddLineQueued(int kind, const std::string& d, int a, std::string text,
                       SLineFrame = {}) override
    {
        AddLine(kind, d, a, std::move(text));
    }
};

TEST_F(HandlerFixture, QuantityLimits)
{
    // Out-of-range quantities are not requests on the line; handed to the
    // handlers as PDUs, they answer exception 3 with a line of their own.
    SFixtureLookup lookup(dev);
    SSettings settings;
    CRequestHandlers handlers(lookup, lookup, settings);
    const struct
    {
        Bytes pdu;
        const char* text;
    } cases[] = {
        { Hex("03 00 00 00 00"),
          "(0x03) Read Holding Registers: Неверный запрос. Количество должно быть >=1 и <=0x7D" },
        { Hex("01 00 00 07 D1"),
          "(0x01) Read Coils: Неверный запрос. Количество должно быть >=1 и <=0x7D0" },
        { Hex("0F 00 00 07 B1 00"),
          "(0x0F) Write Multiple Coils: Неверный запрос. Количество должно быть >=1 и <=0x7B0" },
        { Hex("10 00 00 00 7C 00"),
          "(0x10) Write Multiple registers: Неверный запрос. Количество должно быть >=1 и <=0x7B" },
    };
    for (const auto& c : cases) {
        SAnswerPdu answer;
        handlers.Answer({ 1, c.pdu.data(), static_cast<unsigned>(c.pdu.size()),
                          static_cast<unsigned>(c.pdu.size() + 3) },
                        answer);
        EXPECT_EQ(answer.kind, SAnswerPdu::Kind::Exception) << c.text;
        EXPECT_EQ(Bytes(answer.pdu, answer.pdu + answer.nLength),
                  (Bytes{ static_cast<std::uint8_t>(c.pdu[0] | 0x80), 0x03 }));
        EXPECT_EQ(answer.strText, c.text);
        EXPECT_EQ(answer.strDevice, "PUMP1");
    }
    // Another unit: no answer, the line says so.
    SAnswerPdu none;
    const Bytes read = Hex("03 00 00 00 01");
    handlers.Answer({ 9, read.data(), 5, 8 }, none);
    EXPECT_EQ(none.kind, SAnswerPdu::Kind::None);
    EXPECT_EQ(lookup.texts,
              std::vector<std::string>{
                  "(0x03) Read Holding Registers - устройство с адресом 0x9 не найдено" });
    EXPECT_FALSE(dev.IsModified());

    // On the line, quantity 0 and 126 reads are response lines, unanswered.
    EXPECT_TRUE(Ask(Hex("01 03 00 00 00 00")).empty());
    ASSERT_EQ(h.lines.size(), 1u);
    EXPECT_EQ(h.lines[0].nKind, LK_DATA);
    EXPECT_TRUE(Ask(Hex("01 03 00 00 00 7E")).empty());
    // 123 registers is the most a write may carry.
    for (std::uint16_t a = 10; a < 123; ++a)
        dev.AddItem(HREG, "X", "x", a, ACCESS_RW, 0, 65535, 0);
    dev.AddItem(HREG, "H5", "reg", 5, ACCESS_RW, 0, 65535, 0);
    Bytes write = Hex("01 10 00 00 00 7B F6");
    write.resize(write.size() + 246, 0x01);
    EXPECT_EQ(Ask(write), WithCrc(Hex("01 10 00 00 00 7B")));
}

TEST_F(HandlerFixture, ForeignAndBroadcastAddresses)
{
    EXPECT_TRUE(Ask(Hex("07 03 00 00 00 01")).empty());
    ASSERT_EQ(h.lines.size(), 2u);
    EXPECT_EQ(h.lines[1].nKind, LK_WARNING);
    EXPECT_EQ(h.lines[1].szDevice, "");
    EXPECT_EQ(h.lines[1].nAddress, 7);
    EXPECT_EQ(h.lines[1].szText,
              "(0x03) Read Holding Registers - устройство с адресом 0x7 не найдено");

    EXPECT_TRUE(Ask(Hex("00 06 00 01 00 01")).empty());
    CDevDoc zero(h.app);
    zero.SetDevId("ZERO");
    zero.SetDevAddr(0);
    zero.AddItem(HREG, "Z", "z", 1, ACCESS_RW, 0, 65535, 0);
    EXPECT_EQ(Ask(Hex("00 06 00 01 00 09")), WithCrc(Hex("00 06 00 01 00 09")));
    EXPECT_EQ(zero.FindItem(HREG, 1)->GetValue(), 9);
    EXPECT_EQ(h.lines[0].szDevice, "ZERO");
}

} // namespace
} // namespace korvex::test
