// Answers by the MODBUS standard (MBSTRICT) through the real receive path:
// exceptions 01, 02 and 03, codes 17, 22 and 23, and framing that leaves other
// slaves' traffic as it is without the setting.

#include "core/CDevDoc.h"
#include "support/CoreHarness.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

// Device D17 at address 17 (0x11): coils 0..15, inputs 0..7, holding
// registers 0..9 without 5, input registers 0..3.
struct StrictRig
{
    CoreHarness h;
    CDevDoc dev{ h.app };

    explicit StrictRig(bool strict)
    {
        dev.SetDevId("D17");
        dev.SetDevAddr(17);
        for (std::uint16_t a = 0; a < 16; ++a)
            dev.AddItem(COIL, "C" + std::to_string(a), "c", a, ACCESS_RW, 0, 1, a % 2);
        for (std::uint16_t a = 0; a < 8; ++a)
            dev.AddItem(DINP, "I" + std::to_string(a), "i", a, ACCESS_R, 0, 1, 1);
        for (std::uint16_t a = 0; a < 10; ++a)
            if (a != 5)
                dev.AddItem(HREG, "H" + std::to_string(a), "h", a, ACCESS_RW, 0, 65535,
                            static_cast<std::uint16_t>(0x100 + a));
        for (std::uint16_t a = 0; a < 4; ++a)
            dev.AddItem(IREG, "R" + std::to_string(a), "r", a, ACCESS_R, 0, 65535, 100 + a);
        h.app.GetSettings().MBSTRICT = strict ? 1 : 0;
    }

    // The answer to one request (CRC appended here), or empty.
    Bytes Ask(const Bytes& request)
    {
        h.Reset();
        h.Receive(WithCrc(request));
        const auto frames = h.tx.Frames();
        return frames.empty() ? Bytes() : frames.back();
    }
    std::uint16_t Reg(std::uint16_t a) const { return dev.FindItem(HREG, a)->GetValue(); }
};

struct SStrictCase
{
    const char* what;
    Bytes request;
    Bytes strictAnswer;  // without CRC; empty: none
    Bytes defaultAnswer; // the same request without the setting
    std::string line;    // the strict answer's line (kind 4 or 2)
};

TEST(StrictMode, EachAnswerAgainstTheDefault)
{
    const std::vector<SStrictCase> cases = {
        // A missing cell: 02 instead of 04, the same texts.
        { "read coils, missing", Hex("11 01 00 20 00 01"), Hex("11 81 02"), Hex("11 81 04"),
          "(0x01) Read Coils: COIL c адресом 0x20 не найден" },
        { "read inputs, missing", Hex("11 02 00 07 00 02"), Hex("11 82 02"), Hex("11 82 04"),
          "(0x02) Read Discrete Inputs: DINP c адресом 0x8 не найден" },
        { "read holding, missing", Hex("11 03 00 04 00 02"), Hex("11 83 02"), Hex("11 83 04"),
          "(0x03) Read Holding Registers: HREG c адресом 0x5 не найден" },
        { "read input regs, missing", Hex("11 04 00 09 00 01"), Hex("11 84 02"), Hex("11 84 04"),
          "(0x04) Read Input Registers: IREG c адресом 0x9 не найден" },
        { "write coil, missing", Hex("11 05 00 20 FF 00"), Hex("11 85 02"), Hex("11 85 04"),
          "(0x05) Write Single Coil: COIL c адресом 0x20 не найден" },
        { "write register, missing", Hex("11 06 00 05 12 34"), Hex("11 86 02"), Hex("11 86 04"),
          "(0x06) Write Single Register: HREG c адресом 0x5 не найден" },
        // Quantities outside the protocol's range: 03; without the setting the
        // frame is taken for a response and gets no answer.
        { "read coils, 0", Hex("11 01 00 00 00 00"), Hex("11 81 03"), Bytes(),
          "(0x01) Read Coils: Неверный запрос. Количество должно быть >=1 и <=0x7D0" },
        { "read coils, 2001", Hex("11 01 00 00 07 D1"), Hex("11 81 03"), Bytes(),
          "(0x01) Read Coils: Неверный запрос. Количество должно быть >=1 и <=0x7D0" },
        { "read inputs, 0", Hex("11 02 01 C4 00 00"), Hex("11 82 03"), Bytes(),
          "(0x02) Read Discrete Inputs: Неверный запрос. Количество должно быть >=1 и <=0x7D0" },
        // A high start byte: the frame is still found by its own CRC.
        { "read holding, 0 at 0x160", Hex("11 03 01 60 00 00"), Hex("11 83 03"), Bytes(),
          "(0x03) Read Holding Registers: Неверный запрос. Количество должно быть >=1 и <=0x7D" },
        { "read holding, 126", Hex("11 03 00 00 00 7E"), Hex("11 83 03"), Bytes(),
          "(0x03) Read Holding Registers: Неверный запрос. Количество должно быть >=1 и <=0x7D" },
        { "read input regs, 126", Hex("11 04 01 08 00 7E"), Hex("11 84 03"), Bytes(),
          "(0x04) Read Input Registers: Неверный запрос. Количество должно быть >=1 и <=0x7D" },
        { "write coil, bad value", Hex("11 05 00 00 00 01"), Hex("11 85 03"), Hex("11 85 03"),
          "(0x05) Write Single Coil: Неверный запрос. Значение должно быть 0x0000 или 0xFF00" },
        { "write coils, 0", Hex("11 0F 00 00 00 00 00 02 2B 00 01 00 64"), Hex("11 8F 03"), Bytes(),
          "(0x0F) Write Multiple Coils: Неверный запрос. Количество должно быть >=1 и <=0x7B0" },
        { "write coils, 1969", Hex("11 0F 00 00 07 B1 06 02 2B 00 01 00 64"), Hex("11 8F 03"),
          Bytes(),
          "(0x0F) Write Multiple Coils: Неверный запрос. Количество должно быть >=1 и <=0x7B0" },
        { "write coils, byte count", Hex("11 0F 00 00 00 0A 01 FF"), Hex("11 8F 03"), Bytes(),
          "(0x0F) Write Multiple Coils: Неверный запрос. Счётчик байт 1 не соответствует "
          "количеству (должен быть 2)" },
        { "write registers, 0", Hex("11 10 00 00 00 00 00 02 2B 00 01 00 64"), Hex("11 90 03"),
          Bytes(),
          "(0x10) Write Multiple registers: Неверный запрос. Количество должно быть >=1 и <=0x7B" },
        { "write registers, 124", Hex("11 10 00 00 00 7C 06 02 2B 00 01 00 64"), Hex("11 90 03"),
          Bytes(),
          "(0x10) Write Multiple registers: Неверный запрос. Количество должно быть >=1 и <=0x7B" },
        { "write registers, byte count", Hex("11 10 00 00 00 7B 06 02 2B 00 01 00 64"),
          Hex("11 90 03"), Bytes(),
          "(0x10) Write Multiple registers: Неверный запрос. Счётчик байт 6 не соответствует "
          "количеству (должен быть 246)" },
        { "write registers, short data", Hex("11 10 00 00 00 03 06 00 01"), Hex("11 90 03"),
          Bytes(),
          "(0x10) Write Multiple registers: Неверный запрос. Длина кадра 11 байт меньше, чем "
          "объявляет счётчик байт 6" },
        // Codes the emulator does not serve: 01, whatever follows the code.
        { "unknown code", Hex("11 42 00 00 00 00"), Hex("11 C2 01"), Bytes(),
          "(0x42): Функция не поддерживается" },
        // Diagnostics: the answer repeats the request, a counter of a device
        // that has answered nothing yet is 0; other sub-functions are 01.
        { "diagnostics, query data", Hex("11 08 00 00 12 34"), Hex("11 08 00 00 12 34"), Bytes(),
          "(0x08) Diagnostics, Подфункция=0x0000 (Return Query Data), Данные={ 0x12 0x34 }" },
        { "diagnostics, server messages", Hex("11 08 00 0E 00 00"), Hex("11 08 00 0E 00 00"),
          Bytes(),
          "(0x08) Diagnostics, Подфункция=0x000E (Return Server Message Count), Данные={ 0x00 "
          "0x00 }" },
        { "diagnostics, not served", Hex("11 08 00 01 00 00"), Hex("11 88 01"), Bytes(),
          "(0x08) Diagnostics: Подфункция 0x0001 не поддерживается" },
        { "diagnostics, data", Hex("11 08 00 0F 00 01"), Hex("11 88 03"), Bytes(),
          "(0x08) Diagnostics: Неверный запрос. Данные подфункции 0x000F должны быть 0x0000" },
        { "encapsulated transport", Hex("11 2B 0E 01 00"), Hex("11 AB 01"), Bytes(),
          "(0x2B) Encapsulated Interface Transport: Функция не поддерживается" },
        // Codes served by the standard.
        { "report server ID", Hex("11 11"), Hex("11 11 05 11 FF 44 31 37"), Bytes(),
          "(0x11) Report Slave ID, Количество=5, Данные={ 0x11 0xFF 0x44 0x31 0x37 }" },
        { "mask write", Hex("11 16 00 01 00 F2 00 25"), Hex("11 16 00 01 00 F2 00 25"), Bytes(),
          "(0x16) Mask Write Register, Адрес=0x0001, Маска И=0x00F2, Маска ИЛИ=0x0025" },
        { "mask write, missing", Hex("11 16 00 05 00 F2 00 25"), Hex("11 96 02"), Bytes(),
          "(0x16) Mask Write Register: HREG c адресом 0x5 не найден" },
        { "read/write", Hex("11 17 00 00 00 03 00 01 00 02 04 AA AA BB BB"),
          Hex("11 17 06 01 00 AA AA BB BB"), Bytes(),
          "(0x17) Read/Write Multiple registers, Количество=3, Регистры={ 0x0100 0xAAAA 0xBBBB "
          "}" },
        { "read/write, read 126", Hex("11 17 00 00 00 7E 00 00 00 01 02 12 34"), Hex("11 97 03"),
          Bytes(),
          "(0x17) Read/Write Multiple registers: Неверный запрос. Количество для чтения должно "
          "быть >=1 и <=0x7D" },
        { "read/write, write 0", Hex("11 17 00 00 00 01 00 00 00 00 00"), Hex("11 97 03"), Bytes(),
          "(0x17) Read/Write Multiple registers: Неверный запрос. Количество для записи должно "
          "быть >=1 и <=0x79" },
        { "read/write, byte count", Hex("11 17 00 00 00 01 00 00 00 02 02 12 34"), Hex("11 97 03"),
          Bytes(),
          "(0x17) Read/Write Multiple registers: Неверный запрос. Счётчик байт 2 не "
          "соответствует количеству (должен быть 4)" },
        { "read/write, missing read", Hex("11 17 00 04 00 02 00 00 00 01 02 12 34"),
          Hex("11 97 02"), Bytes(),
          "(0x17) Read/Write Multiple registers: HREG c адресом 0x5 не найден" },
    };
    for (const SStrictCase& c : cases) {
        SCOPED_TRACE(c.what);
        StrictRig strict(true);
        EXPECT_EQ(strict.Ask(c.request),
                  c.strictAnswer.empty() ? Bytes() : WithCrc(c.strictAnswer));
        ASSERT_FALSE(strict.h.lines.empty());
        EXPECT_EQ(strict.h.lines.front().nKind, LK_REQUEST);
        EXPECT_EQ(strict.h.lines.back().szText, c.line);
        EXPECT_EQ(strict.h.lines.back().szDevice, "D17");
        EXPECT_EQ(strict.h.lines.back().nKind, c.strictAnswer[1] & 0x80 ? LK_ERROR : LK_RESPONSE);

        StrictRig plain(false);
        EXPECT_EQ(plain.Ask(c.request),
                  c.defaultAnswer.empty() ? Bytes() : WithCrc(c.defaultAnswer));
    }
}

TEST(StrictMode, RequestLinesOfTheNewCodes)
{
    StrictRig r(true);
    struct
    {
        Bytes request;
        std::string line;
    } const cases[] = {
        { Hex("11 11"), "(0x11) Report Slave ID Запрос идентификатора устройства" },
        { Hex("11 16 00 01 00 F2 00 25"),
          "(0x16) Mask Write Register, Адрес=0x0001, Маска И=0x00F2, Маска ИЛИ=0x0025" },
        { Hex("11 17 00 00 00 03 00 02 00 02 04 AA AA BB BB"),
          "(0x17) Read/Write Multiple registers, Чтение: Адрес=0x0000, Количество=3; Запись: "
          "Адрес=0x0002, К-во=2 Регистры={ 0xAAAA 0xBBBB }" },
        { Hex("11 42 00 01"), "(0x42) Ошибка: команда MODBUS не опознана!, Данные={ 0x00 0x01 }" },
        // A refused write lists only the bytes the frame holds.
        { Hex("11 10 00 00 00 7C 06 02 2B 00 01 00 64"),
          "(0x10) Write Multiple registers, Адрес=0x0000, К-во=124 Регистры={ 0x022B 0x0001 "
          "0x0064 }" },
    };
    for (const auto& c : cases) {
        r.Ask(c.request);
        ASSERT_FALSE(r.h.lines.empty());
        EXPECT_EQ(r.h.lines[0].nKind, LK_REQUEST);
        EXPECT_EQ(r.h.lines[0].szText, c.line);
    }
    // The register holds (0x101 AND 0xF2) OR (0x25 AND NOT 0xF2).
    EXPECT_EQ(r.Reg(1), 0x0005);
    EXPECT_EQ(r.Reg(3), 0xBBBB);
}

TEST(StrictMode, RefusedMultipleWritesChangeNothing)
{
    StrictRig r(true);
    // Registers 4 and 5: 5 is missing, 4 keeps its value.
    EXPECT_EQ(r.Ask(Hex("11 10 00 04 00 02 04 11 11 22 22")), WithCrc(Hex("11 90 02")));
    EXPECT_EQ(r.Reg(4), 0x104);
    // Coils 14..17: 16 and 17 are missing, 14 and 15 keep theirs.
    EXPECT_EQ(r.Ask(Hex("11 0F 00 0E 00 04 01 0F")), WithCrc(Hex("11 8F 02")));
    EXPECT_EQ(r.dev.FindItem(COIL, 14)->GetValue(), 0);
    EXPECT_EQ(r.dev.FindItem(COIL, 15)->GetValue(), 1);
    // A read/write whose read part is missing writes nothing either.
    EXPECT_EQ(r.Ask(Hex("11 17 00 04 00 02 00 00 00 01 02 12 34")), WithCrc(Hex("11 97 02")));
    EXPECT_EQ(r.Reg(0), 0x100);
    // Without the setting the first cells are written (the emulator's own way).
    StrictRig plain(false);
    EXPECT_EQ(plain.Ask(Hex("11 10 00 04 00 02 04 11 11 22 22")), WithCrc(Hex("11 90 04")));
    EXPECT_EQ(plain.Reg(4), 0x1111);
}

TEST(StrictMode, OtherSlavesAreLeftAlone)
{
    // Another slave's unknown code and a refused quantity: no answer, the
    // lines of today.
    StrictRig u(true);
    u.Ask(Hex("09 42 00 00 00 00"));
    EXPECT_TRUE(u.h.tx.Frames().empty());
    for (const auto& line : u.h.lines)
        EXPECT_EQ(line.nKind, LK_WARNING);
    StrictRig r(true);
    r.Ask(Hex("09 03 00 00 00 00"));
    EXPECT_TRUE(r.h.tx.Frames().empty());
    ASSERT_EQ(r.h.lines.size(), 1u);
    EXPECT_EQ(r.h.lines[0].nKind, LK_DATA);
}

TEST(StrictMode, EchoOfStrictAnswers)
{
    StrictRig r(true);
    const Bytes id = r.Ask(Hex("11 11"));
    ASSERT_FALSE(id.empty());
    r.h.Reset();
    r.h.Receive(id);
    EXPECT_TRUE(r.h.lines.empty());
    EXPECT_TRUE(r.h.tx.Frames().empty());
    // The echo of an exception answer is an exception line, as always.
    const Bytes refused = r.Ask(Hex("11 42 00 00"));
    ASSERT_EQ(refused, WithCrc(Hex("11 C2 01")));
    r.h.Reset();
    r.h.Receive(refused);
    ASSERT_EQ(r.h.lines.size(), 1u);
    EXPECT_EQ(r.h.lines[0].nKind, LK_ERROR);
    EXPECT_TRUE(r.h.tx.Frames().empty());
}

SDelivery Deliver(bool strict, const std::vector<Bytes>& blocks)
{
    StrictRig r(strict);
    return DeliverRunning(r.h, blocks);
}

TEST(StrictMode, ARequestCutAnywhereIsAnsweredOnce)
{
    const Deliverer strict = [](const std::vector<Bytes>& blocks) { return Deliver(true, blocks); };
    // Codes served are frames wherever they start.
    for (const char* served :
         { "11 11", "11 16 00 01 00 F2 00 25", "11 17 00 00 00 03 00 01 00 02 04 AA AA BB BB",
           "11 03 01 60 00 00", "11 10 00 00 00 00 00 02 2B 00 01 00 64" })
        ExpectAnsweredOnceCutAnywhere(strict, WithCrc(Hex(served)));
    // A code not served must end the bytes received (the master waits for its
    // answer).
    for (const char* refused : { "11 42 00 00 00 00", "11 08 00 00 12 34" })
        ExpectAnsweredOnceCutAnywhere(strict, WithCrc(Hex(refused)), true);
}

TEST(StrictMode, OtherSlavesTrafficIsFramedAsWithoutIt)
{
    // A busy shared line: requests and answers of slaves 9 and 0x20, codes the
    // emulator does not serve among them, data bytes that look like the
    // project's address followed by such codes, and noise.
    const std::vector<Bytes> frames = {
        WithCrc(Hex("09 03 00 00 00 02")),
        WithCrc(Hex("09 03 04 11 42 11 17")),
        WithCrc(Hex("20 11")),
        WithCrc(Hex("20 11 06 20 FF 11 11 42 00")),
        Hex("11 42 00"),
        WithCrc(Hex("20 17 00 00 00 02 00 00 00 01 02 11 16")),
        WithCrc(Hex("20 17 04 11 16 11 11")),
        WithCrc(Hex("09 2B 0E 01 00")),
        WithCrc(Hex("09 AB 01")),
        WithCrc(Hex("20 10 00 10 00 03 06 11 42 00 00 11 08")),
        WithCrc(Hex("20 10 00 10 00 03")),
        Hex("00 11 16 00"),
        WithCrc(Hex("09 16 00 01 00 F2 00 25")),
        WithCrc(Hex("09 01 02 11 11")),
    };
    Bytes stream;
    for (const Bytes& f : frames)
        stream = Cat({ stream, f });
    for (std::size_t chunk = 1; chunk <= 20; ++chunk) {
        std::vector<Bytes> blocks;
        for (std::size_t at = 0; at < stream.size(); at += chunk)
            blocks.push_back(Piece(stream, at, std::min(stream.size(), at + chunk)));
        const SDelivery strict = Deliver(true, blocks);
        const SDelivery plain = Deliver(false, blocks);
        EXPECT_EQ(strict.lines, plain.lines) << "blocks of " << chunk;
        EXPECT_TRUE(strict.frames.empty()) << "blocks of " << chunk;
    }
}

} // namespace
} // namespace korvex::test
