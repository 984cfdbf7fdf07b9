// The views of a device's cells in the type file beside its device file:
// written only while some view is not the default, read back the same, and
// a bad file is a warning that leaves the device as it would be without it.

#include "files/TypeFile.h"
#include "DevFileTestUtil.h"
#include "files/CodePage.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

// PUMP1 with holding registers 100..103 (0-65535), input register 5 and coil 1.
const std::string kDevice = "PUMP1\t1\r\n"
                            "HREG\tТемпература\tT\t100\tRW\t0-65535\t0\r\n"
                            "HREG\tT2\tHR101\t101\tRW\t0-65535\t0\r\n"
                            "HREG\tИмя\tNAME\t102\tRW\t0-65535\t0\r\n"
                            "HREG\tN2\tHR103\t103\tRW\t0-65535\t0\r\n"
                            "IREG\tСмещение\tOFS\t5\tR\t0-65535\t0\r\n"
                            "COIL\tНасос\tRUN\t1\tRW\t0-1\t1\r\n";

SCellView View(const char* type, const char* min = "", const char* max = "")
{
    return { *ParseValueType(type), min, max };
}

TEST(TypeFile, ViewsTravelBesideTheDeviceFileWhichStaysAsItWas)
{
    DevFileHarness h;
    const std::string path = h.dir.Write("pump.kvxd", *Utf8ToCp1251(kDevice));
    CDevDoc* dev = h.Open(path);
    ASSERT_NE(dev, nullptr);
    EXPECT_TRUE(dev->GetCellViews().empty()) << "no type file: every cell is hex";
    EXPECT_EQ(dev->GetCellView(HREG, 100), SCellView{});
    ASSERT_TRUE(dev->Save());
    const std::string plain = ReadBytes(path);
    EXPECT_EQ(h.dir.List(), (std::vector<std::string>{ "pump.kvxd" }));

    dev->SetCellView(HREG, 100, View("float32:CDAB", "-10.5", "100"));
    dev->SetCellView(HREG, 102, View("ascii:2"));
    dev->SetCellView(IREG, 5, View("int16", "-100", "100"));
    dev->SetCellView(COIL, 1, View("bin"));
    dev->SetCellView(HREG, 7, View("uint32")); // no such cell: not written
    EXPECT_TRUE(dev->IsModified());
    EXPECT_EQ(dev->SetTypedValue(HREG, 100, "23.5"), "");
    EXPECT_EQ(dev->FindItem(HREG, 100)->GetValue(), 0x0000);
    EXPECT_EQ(dev->FindItem(HREG, 101)->GetValue(), 0x41BC);
    EXPECT_EQ(dev->GetTypedValue(HREG, 100), "23.5");
    EXPECT_EQ(dev->SetTypedValue(HREG, 100, "100.5"), "Значение за границами заданного диапазона!");
    EXPECT_EQ(dev->SetTypedValue(HREG, 102, "OK"), "");
    EXPECT_EQ(dev->GetTypedValue(HREG, 102), "OK");
    EXPECT_EQ(dev->SetTypedValue(HREG, 103, "1x"), "\"1x\" не число");
    EXPECT_EQ(dev->SetTypedValue(HREG, 7, "1"), "Нет ячеек HREG с адреса 7 для типа uint32:ABCD");
    ASSERT_TRUE(dev->Save());

    std::string expected = plain;
    const auto set = [&expected](const std::string& from, const std::string& to) {
        expected.replace(expected.find(from), from.size(), to);
    };
    // 23.5 as float32:CDAB is 0x0000 0x41BC; "OK" is 0x4F4B.
    set("HR101\t0x65\tRW\t0x0-0xFFFF\t0x0", "HR101\t0x65\tRW\t0x0-0xFFFF\t0x41BC");
    set("NAME\t0x66\tRW\t0x0-0xFFFF\t0x0", "NAME\t0x66\tRW\t0x0-0xFFFF\t0x4F4B");
    EXPECT_EQ(ReadBytes(path), expected) << "the device file keeps its format";
    EXPECT_EQ(DecodeFileText(ReadBytes(h.dir.File("pump.kvxt"))),
              "// Типы значений ячеек устройства Korvex; файл лежит рядом с файлом устройства.\r\n"
              "// <тип> <tab> <адрес> <tab> <тип значения> [<tab> <нижняя граница> <tab> "
              "<верхняя граница>]\r\n"
              "// Типы значений: hex, uint16, int16, bin; uint32, int32, float32, uint64, int64, "
              "float64\r\n"
              "// с порядком :ABCD, :CDAB, :BADC или :DCBA; ascii:N (N регистров), "
              "ascii:N:BADC.\r\n"
              "COIL\t1\tbin\r\n"
              "HREG\t100\tfloat32:CDAB\t-10.5\t100\r\n"
              "HREG\t102\tascii:2\r\n"
              "IREG\t5\tint16\t-100\t100\r\n");

    DevFileHarness again;
    again.dir.Write("pump.kvxt", ReadBytes(h.dir.File("pump.kvxt")));
    CDevDoc* copy = again.Open(again.dir.Write("pump.kvxd", ReadBytes(path)));
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(again.lines.empty());
    EXPECT_FALSE(copy->IsModified());
    EXPECT_EQ(copy->GetCellViews(),
              (std::vector<SCellViewAt>{ { COIL, 1, View("bin") },
                                         { HREG, 100, View("float32:CDAB", "-10.5", "100") },
                                         { HREG, 102, View("ascii:2") },
                                         { IREG, 5, View("int16", "-100", "100") } }));
    EXPECT_EQ(copy->GetTypedValue(HREG, 100), "23.5");

    // Back to the default views: the type file goes.
    for (const SCellViewAt& at : copy->GetCellViews())
        copy->SetCellView(at.nType, at.wAddr, SCellView{});
    ASSERT_TRUE(copy->Save());
    EXPECT_EQ(again.dir.List(), (std::vector<std::string>{ "pump.kvxd" }));
}

TEST(TypeFile, ABadTypeFileIsOneWarningAndTheDefaultViews)
{
    const std::string head = "// comment\r\n\r\nHREG\t100\tfloat32\r\n";
    struct
    {
        std::string text;
        std::string reason;
    } const cases[] = {
        { head + "HREG\t102\tfloot32\r\n", "строка 4: неизвестный тип значения \"floot32\"" },
        { head + "HOLD\t102\tint16\r\n", "строка 4: неизвестный тип ячейки \"HOLD\"" },
        { head + "HREG\t70000\tint16\r\n", "строка 4: адрес: \"70000\" вне диапазона 0..65535" },
        { head + "HREG\t102\r\n",
          "строка 4: ожидается <тип> <tab> <адрес> <tab> <тип значения> [<tab> <границы>]" },
        { head + "COIL\t1\tfloat32\r\n", "строка 4: тип float32:ABCD только для регистров" },
        { head + "HREG\t102\tint16\t-40000\t0\r\n",
          "строка 4: граница \"-40000\" вне диапазона -32768..32767" },
        { head + "HREG\t102\tint16\t5\t-5\r\n", "строка 4: нижняя граница 5 не ниже верхней -5" },
        { head + "HREG\t102\tascii:2\t1\t2\r\n", "строка 4: у текста ascii:2 нет границ" },
        { "\x01\x02"
          "binary",
          "строка 1: ожидается <тип> <tab> <адрес> <tab> <тип значения> "
          "[<tab> <границы>]" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        DevFileHarness h;
        h.dir.Write("pump.kvxt", c.text);
        CDevDoc* dev = h.OpenBytes("pump.kvxd", *Utf8ToCp1251(kDevice));
        ASSERT_NE(dev, nullptr) << "the device opens all the same";
        EXPECT_EQ(h.Warnings("pump.kvxd"),
                  (std::vector<std::string>{ "Файл типов \"pump.kvxt\" не прочитан (" + c.reason +
                                             "), ячейки показаны без типов" }));
        EXPECT_TRUE(dev->GetCellViews().empty());
        EXPECT_EQ(dev->GetItemCount(), 6u);
    }
}

} // namespace
} // namespace korvex::test
