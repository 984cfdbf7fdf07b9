#include "core/CDevDoc.h"
#include "core/CParserModbus.h"
#include "core/SSettings.h"
#include "core/Text.h"
#include "support/CoreHarness.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

Bytes Append(Bytes b, std::uint8_t byte)
{
    b.push_back(byte);
    return b;
}

// 01 03 40 00 00 0A CRC 00 claims 64 data bytes; the frame holds four before
// its last two bytes.
std::string RegistersBeyond()
{
    const Bytes f = Append(WithCrc(Hex("01 03 40 00 00 0A")), 0);
    return StrFormat(
        "(0x03) Read Holding Registers, Количество=32, Регистры={ 0x%02X%02X 0x%02X%02X }", f[3],
        f[4], f[5], f[6]);
}

struct SLineCase
{
    const char* what;
    Bytes frame;
    bool addrHex;
    bool valueHex;
    int kind;
    std::string text;
};

TEST(Decoder, LinesOfRequestsAndResponses)
{
    const std::vector<SLineCase> cases = {
        { "read request, hex address", Hex("01 03 00 10 00 02 C5 CE"), true, true, LK_REQUEST,
          "(0x03) Read Holding Registers, Адрес=0x0010, Количество=2" },
        { "read request, decimal address", Hex("01 03 00 10 00 02 C5 CE"), false, true, LK_REQUEST,
          "(0x03) Read Holding Registers, Адрес=0016, Количество=2" },
        { "register data, hex", Hex("01 03 04 00 01 00 02 2A 32"), true, true, LK_DATA,
          "(0x03) Read Holding Registers, Количество=2, Регистры={ 0x0001 0x0002 }" },
        { "register data, decimal", Hex("01 03 04 00 01 00 02 2A 32"), true, false, LK_DATA,
          "(0x03) Read Holding Registers, Количество=2, Регистры={ 0001 0002 }" },
        { "exception", Hex("01 83 02 C0 F1"), true, true, LK_ERROR,
          "Error: (0x83) Read Holding Registers, Exception code: 0x02" },
        { "code 6 request, decimal address", WithCrc(Hex("01 06 00 20 00 05")), false, false,
          LK_REQUEST, "(0x06) Write Single Register, Адрес=0032, Регистр=0x0005" },
        // With a trailing zero the echo form is no request any more; its answer
        // line shows the address in hex whatever the setting.
        { "code 6 answer keeps a hex address", Append(WithCrc(Hex("01 06 00 20 00 05")), 0), false,
          false, LK_RESPONSE, "(0x06) Write Single Register, Адрес=0x0020, Значение=0005" },
        // A byte count beyond the frame lists only the bytes the frame has.
        { "byte count beyond the frame", Append(WithCrc(Hex("01 03 40 00 00 0A")), 0), true, true,
          LK_DATA, RegistersBeyond() },
        { "write coil request", WithCrc(Hex("01 05 00 03 FF 00")), true, true, LK_REQUEST,
          "(0x05) Write Single Coil, Адрес=0x0003, Значение=0xFF00" },
        { "write 10 coils lists two bytes", WithCrc(Hex("01 0F 00 13 00 0A 02 CD 01")), true, true,
          LK_REQUEST,
          "(0x0F) Write Multiple Coils, Адрес=0x0013, Кол-во=10 Значения={ 0xCD 0x01 }" },
        { "write registers", WithCrc(Hex("01 10 00 01 00 02 04 00 0A 01 02")), true, false,
          LK_REQUEST,
          "(0x10) Write Multiple registers, Адрес=0x0001, К-во=2 Регистры={ 0010 0258 }" },
        { "exception status request", WithCrc(Hex("01 07")), true, true, LK_REQUEST,
          "(0x07) Read Exception Status Запрос на получение статуса устройства (зависит от "
          "устройства)" },
        { "exception status answer", WithCrc(Hex("01 07 20")), true, true, LK_RESPONSE,
          "(0x07) Read Exception Status Ответ на получение статуса устройства (зависит от "
          "устройства)" },
        { "coil data", WithCrc(Hex("01 01 02 CD 01")), true, false, LK_DATA,
          "(0x01) Read Coils, Количество=2, Данные={ 205 01 }" },
        { "quantity 126 is a response", WithCrc(Hex("01 03 00 00 00 7E")), true, true, LK_DATA,
          "(0x03) Read Holding Registers, Количество=0, Регистры={ }" },
        { "write registers answer", WithCrc(Hex("01 10 00 01 00 02")), false, true, LK_RESPONSE,
          "(0x10) Write Multiple registers, Адрес=0001, Количество=2" },
        // A write request whose byte count promises more data than the frame
        // holds is no request: it is described as an answer.
        { "short write request", WithCrc(Hex("01 10 00 01 00 02 04 00 0A")), true, true,
          LK_RESPONSE, "(0x10) Write Multiple registers, Адрес=0x0001, Количество=2" },
    };
    for (const SLineCase& c : cases) {
        SSettings settings;
        settings.ADDRISHEX = c.addrHex;
        settings.VALUEISHEX = c.valueHex;
        CParserModbus parser(settings, false, nullptr);
        SFrameInfo info;
        parser.Parse(c.frame.data(), static_cast<unsigned>(c.frame.size()), info);
        EXPECT_EQ(info.nLength, static_cast<int>(c.frame.size())) << c.what;
        EXPECT_EQ(info.nKind, c.kind) << c.what;
        EXPECT_EQ(info.strText, c.text) << c.what;
        EXPECT_EQ(info.byAddr, c.frame[0]) << c.what;
        // Only requests are for the emulator to answer.
        EXPECT_EQ(info.bAnswer, c.kind == LK_REQUEST) << c.what;
    }
}

TEST(Decoder, ShortWriteRequestIsNotAnswered)
{
    CoreHarness h;
    CDevDoc dev(h.app);
    dev.SetDevAddr(1);
    dev.AddItem(HREG, "A", "a", 1, ACCESS_RW, 0, 65535, 5);
    dev.AddItem(HREG, "B", "b", 2, ACCESS_RW, 0, 65535, 6);
    h.Receive(WithCrc(Hex("01 10 00 01 00 02 04 00 0A")));
    EXPECT_TRUE(h.tx.Frames().empty());
    EXPECT_EQ(dev.FindItem(HREG, 1)->GetValue(), 5);
    ASSERT_EQ(h.lines.size(), 1u);
    EXPECT_EQ(h.lines[0].nKind, LK_RESPONSE);
}

TEST(Decoder, FunctionNamesAndNumbers)
{
    EXPECT_STREQ(GetFunctionName(0x10, true), "Write Multiple registers");
    EXPECT_STREQ(GetFunctionName(0x10, false), "WR_M_REGS");
    EXPECT_STREQ(GetFunctionName(0x2B, true), "Encapsulated Interface Transport");
    EXPECT_STREQ(GetFunctionName(0x09, true), "Ошибка: команда MODBUS не опознана!");
    EXPECT_EQ(FormatNumber(0x1F, true, 4), "0x001F");
    EXPECT_EQ(FormatNumber(31, false, 4), "0031");
    EXPECT_EQ(FormatNumber(0xABCD, true, -1), "0xABCD");
    EXPECT_EQ(FormatNumber(65535, false, 1), "65535");
    EXPECT_EQ(FormatNumber(7, true, 2), "0x07");

    // An exception of a code outside the table names the error text.
    const Bytes exc = WithCrc(Hex("01 81 01"));
    EXPECT_EQ(DescribeFrame(SSettings(), exc.data(), static_cast<unsigned>(exc.size())),
              "Error: (0x81) Read Coils, Exception code: 0x01");
}

TEST(Decoder, RequestTest)
{
    struct SCase
    {
        Bytes pdu;
        bool request;
    };
    const std::vector<SCase> cases = {
        { Hex("03 00 00 00 01"), true },
        { Hex("03 00 00 00 00"), false },
        { Hex("03 00 00 00 7D"), true },
        { Hex("03 00 00 00 7E"), false },
        { Hex("01 00 00 07 D0"), true },
        { Hex("01 00 00 07 D1"), false },
        { Hex("07"), true },
        { Hex("07 20"), false },
        { Hex("0F 00 00 00 0A 02 FF 03"), true },
        { Hex("0F 00 00 00 0A 03 FF 03 00"), false },
        { Hex("10 00 00 00 7B F6"), false }, // data missing from the frame
        { Hex("10 00 00 00 7C F8"), false },
        { Hex("03 00"), false },
    };
    for (const SCase& c : cases)
        EXPECT_EQ(IsRequest(c.pdu.data(), static_cast<unsigned>(c.pdu.size())), c.request)
            << "pdu of " << c.pdu.size() << " bytes, code " << int(c.pdu[0]);
}

} // namespace
} // namespace korvex::test
