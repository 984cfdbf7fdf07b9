// Writing device files: the exact text, the encodings, and what reads back.

#include "DevFileTestUtil.h"
#include "core/Version.h"
#include "files/CodePage.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

// "// " followed by 107 "-".
const std::string kRule = "// " + std::string(107, '-') + "\r\n";

// The header as the Windows program writes it, with the given version.
std::string Header(const std::string& version)
{
    return "// Файл устройства эмулятора MODBUS-slave Korvex версии " + version + "\r\n" + kRule +
           "// Разделителями в файле является знак такуляции <Tab> ACSII(9)"
           "\r\n"
           "// В начале файла должен быть идентификатор и адрес устройства:"
           "\r\n"
           "// <ID_устройства>  <tab>  <адрес_485> "
           "\r\n"
           "// Далее допустимые строки в файле:"
           "\r\n"
           "// <тип> <tab> <описание> <tab> <ID> <tab> <адрес> <tab> <RW> <tab> <границы> <tab> "
           "<значение> <tab>"
           "\r\n"
           "// где:"
           "\r\n"
           "// <тип> - ключевое слово: COIL, DINP, IREG, HREG."
           "\r\n"
           "// <описание> - строка расшифровки значения, например 'давление масла'."
           "\r\n"
           "// <адрес> - адрес ячейки в терминах MODBUS (здесь и далее все числа десятичные)."
           "\r\n"
           "// <ID> - идентификатор устройства, по нему идёт обращение из скриптов."
           "\r\n"
           "// <RW> - ключевое слово R, W или RW. Указывает возможность обращения к ячейке."
           "\r\n"
           "// <границы> - допустимые пределы изменения (проверяется при записи), пример: 0-101"
           "\r\n"
           "// <значение> - начальное знечение ячейке при загрузке."
           "\r\n"
           "// Внимаение! При заполнении файла пропуск значений не допускается!"
           "\r\n" +
           kRule;
}

void Fill(CDevDoc& doc, const std::string& id, std::uint8_t addr, const std::vector<SCell>& cells)
{
    doc.SetDevId(id);
    doc.SetDevAddr(addr);
    for (const SCell& c : cells)
        doc.AddItem(c.type, c.id, c.desc, c.addr, c.access, c.min, c.max, c.value);
}

TEST(DevFileWrite, HeaderDeviceLineAndCellLinesReadBackTheSameCells)
{
    const std::vector<SCell> cells = {
        { COIL, "N1", "Насос 1", 0, ACCESS_W, 0, 1, 1 },
        { COIL, "C1", "Coil", 65535, ACCESS_RW, 0, 1, 0 },
        { DINP, "Д1", "Авария", 7, ACCESS_R, 0, 1, 1 },
        { HREG, "SP", "Уставка", 40000, ACCESS_RW, 0, 65535, 65535 },
        { HREG, "H2", "Bounds", 2, ACCESS_R, 100, 200, 150 },
        { IREG, "T", "Температура", 0x1234, ACCESS_R, 10, 500, 255 },
    };
    struct
    {
        int edithex;
        std::string body;
    } const cases[] = {
        { 1, "УСТР_1\t0xFF\r\n"
             "COIL\tНасос 1\tN1\t0x0\tW\t0x0-0x1\t0x1\r\n"
             "COIL\tCoil\tC1\t0xFFFF\tRW\t0x0-0x1\t0x0\r\n"
             "DINP\tАвария\tД1\t0x7\tR\t0x0-0x1\t0x1\r\n"
             "HREG\tУставка\tSP\t0x9C40\tRW\t0x0-0xFFFF\t0xFFFF\r\n"
             "HREG\tBounds\tH2\t0x2\tR\t0x64-0xC8\t0x96\r\n"
             "IREG\tТемпература\tT\t0x1234\tR\t0xA-0x1F4\t0xFF\r\n" },
        { 0, "УСТР_1\t255\r\n"
             "COIL\tНасос 1\tN1\t0\tW\t0-1\t1\r\n"
             "COIL\tCoil\tC1\t65535\tRW\t0-1\t0\r\n"
             "DINP\tАвария\tД1\t7\tR\t0-1\t1\r\n"
             "HREG\tУставка\tSP\t40000\tRW\t0-65535\t65535\r\n"
             "HREG\tBounds\tH2\t2\tR\t100-200\t150\r\n"
             "IREG\tТемпература\tT\t4660\tR\t10-500\t255\r\n" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.edithex);
        DevFileHarness h;
        h.app.GetSettings().EDITHEX = c.edithex;
        const std::string path = h.dir.File("out.kvxd");
        {
            auto doc = h.NewDevice();
            Fill(*doc, "УСТР_1", 255, cells);
            ASSERT_EQ(Cells(*doc), cells);
            ASSERT_TRUE(doc->OnSaveDocument(path));
            EXPECT_EQ(doc->GetPathName(), path);
            EXPECT_EQ(doc->GetTitle(), "out.kvxd");
        }
        const std::string bytes = ReadBytes(path);
        EXPECT_FALSE(bytes.starts_with("\xEF\xBB\xBF")) << "written in code page 1251";
        EXPECT_EQ(DecodeFileText(bytes), Header(GetVersionText()) + c.body);
        CDevDoc* back = h.Open(path);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->GetDevId(), "УСТР_1");
        EXPECT_EQ(back->GetDevAddr(), 255);
        EXPECT_EQ(Cells(*back), cells);
        EXPECT_TRUE(h.lines.empty());
        EXPECT_TRUE(h.messages.empty());
    }
}

TEST(DevFileWrite, WindowsFileIsWrittenBackByteForByte)
{
    DevFileHarness h;
    const std::string original =
        ReadBytes(std::string(KORVEX_SOURCE_DIR) + "/tests/files/data/windows-pump.kvxd");
    ASSERT_FALSE(original.empty());
    CDevDoc* doc = h.OpenBytes("pump.kvxd", original);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->GetDevId(), "КНС-2");
    EXPECT_EQ(doc->GetDevAddr(), 5);
    EXPECT_EQ(CellText(*doc), "COIL|Насос №1 включён|Н1|0|RW|0-1|1\n"
                              "COIL|Сброс аварии|RESET|16|W|0-1|0\n"
                              "DINP|Датчик сухого хода|СУХОЙ_ХОД|0|R|0-1|0\n"
                              "HREG|Уставка уровня, см|УРОВЕНЬ|100|RW|10-500|150\n"
                              "HREG|Ёмкость резервуара, куб. м|VOLUME|101|R|0-65535|8000\n"
                              "IREG|Температура, °C|T1|512|R|0-100|23");
    EXPECT_TRUE(h.lines.empty());

    ASSERT_TRUE(doc->Save());
    const std::string written = ReadBytes(h.dir.File("pump.kvxd"));
    const std::string firstLine = "// \xD4\xE0\xE9\xEB \xF3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xE0 "
                                  "\xFD\xEC\xF3\xEB\xFF\xF2\xEE\xF0\xE0 MODBUS-slave Korvex "
                                  "\xE2\xE5\xF0\xF1\xE8\xE8 ";
    ASSERT_TRUE(original.starts_with(firstLine + "2.3.0.1\r\n"));
    EXPECT_EQ(written.substr(0, written.find('\n') + 1), firstLine + GetVersionText() + "\r\n");
    EXPECT_EQ(written.substr(written.find('\n')), original.substr(original.find('\n')));
}

TEST(DevFileWrite, ThePumpExampleIsInTheWritersForm)
{
    DevFileHarness h;
    const std::string original = ReadBytes(std::string(KORVEX_SOURCE_DIR) + "/examples/pump.kvxd");
    CDevDoc* doc = h.OpenBytes("pump.kvxd", original);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->GetDevId(), "PUMP1");
    EXPECT_EQ(doc->GetDevAddr(), 1);
    EXPECT_TRUE(h.lines.empty());
    ASSERT_TRUE(doc->Save());
    const std::string written = ReadBytes(h.dir.File("pump.kvxd"));
    EXPECT_EQ(written.substr(written.find('\n')), original.substr(original.find('\n')));
}

TEST(DevFileWrite, ACharacterOutsideCp1251IsSavedAsUtf8WithByteOrderMark)
{
    DevFileHarness h;
    const std::string path = h.dir.File("dev.kvxd");
    const std::vector<SCell> cells = { { IREG, "V", "Объём, м³", 1, ACCESS_R, 0, 100, 5 },
                                       { HREG, "Ω", "Сопротивление", 2, ACCESS_RW, 0, 9, 1 } };
    CDevDoc* doc = nullptr;
    {
        auto firstOwner = h.NewDevice();
        CDevDoc& first = *firstOwner;
        Fill(first, "ЩИТ", 3, cells);
        ASSERT_TRUE(first.OnSaveDocument(path));
        const std::string bytes = ReadBytes(path);
        ASSERT_TRUE(bytes.starts_with("\xEF\xBB\xBF// Файл устройства"));
        EXPECT_NE(bytes.find("IREG\tОбъём, м³\tV\t0x1"), std::string::npos);
    }
    doc = h.Open(path);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->GetDevId(), "ЩИТ");
    EXPECT_EQ(Cells(*doc), cells);

    // Without those characters the next save is code page 1251 again.
    {
        std::lock_guard lock(doc->Lock());
        doc->Items()[0]->m_strDesc = "Объём, куб. м";
        doc->EditItem(doc->Items()[1].get(), { HREG, "R", "Сопротивление", 2, ACCESS_RW, 0, 9, 1 });
    }
    ASSERT_TRUE(doc->Save());
    const std::string bytes = ReadBytes(path);
    EXPECT_FALSE(bytes.starts_with("\xEF\xBB\xBF"));
    EXPECT_NE(bytes.find("IREG\t\xCE\xE1\xFA\xB8\xEC, \xEA\xF3\xE1. \xEC\tV\t"), std::string::npos);
}

TEST(DevFileWrite, ACarriageReturnInsideAFieldSurvivesASave)
{
    // The device line of these bytes holds the ID "\r" and the field "0\r\".
    DevFileHarness h;
    CDevDoc* doc = h.OpenBytes("cr.kvxd", "\x0D\x09\x30\x0D\x5C");
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->GetDevId(), "\r");
    doc->SetDevId("DEV\r");
    doc->SetDevAddr(1);
    doc->AddItem(COIL, "C1", "valve\rA", 3, ACCESS_RW, 0, 1, 1);
    const std::vector<SCell> cells = Cells(*doc);
    ASSERT_TRUE(doc->Save());
    const std::string path = doc->GetPathName();
    h.prj.GetDevTemplate().CloseDocument(doc);

    CDevDoc* back = h.Open(path);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->GetDevId(), "DEV\r");
    EXPECT_EQ(back->GetDevAddr(), 1);
    EXPECT_EQ(Cells(*back), cells);
    EXPECT_TRUE(h.Warnings("cr.kvxd").empty());
}

TEST(DevFileWrite, WhatTheFormatCannotCarry)
{
    // One holding register R at 1, bounds 0..max, saved and read back.
    struct
    {
        const char* why;
        std::string id;
        std::uint8_t addr;
        std::string desc;
        std::string cellId;
        std::uint16_t max;
        std::uint16_t value;
        std::string idBack;
        std::uint8_t addrBack;
        std::string cellsBack;
        std::size_t warnings; // format errors
    } const cases[] = {
        { "an empty device ID loses the address", "", 9, "d", "R", 9, 1, "", 0,
          "HREG|d|R|1|RW|0-9|1", 1 },
        { "an empty description shortens the line", "P", 1, "", "R", 9, 1, "P", 1, "", 1 },
        { "an empty description before a numeric ID makes a device line", "P", 1, "", "42", 9, 1,
          "HREG", 42, "", 0 },
        { "a value outside its bounds is clamped", "P", 1, "d", "R", 10, 70, "P", 1,
          "HREG|d|R|1|RW|0-10|10", 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        DevFileHarness h;
        const std::string path = h.dir.File("dev.kvxd");
        {
            auto doc = h.NewDevice();
            Fill(*doc, c.id, c.addr, { { HREG, c.cellId, c.desc, 1, ACCESS_RW, 0, c.max, 1 } });
            // A value set by the master or a script is stored unchecked.
            doc->Items()[0]->SetValue(c.value);
            ASSERT_TRUE(doc->OnSaveDocument(path));
        }
        CDevDoc* back = h.Open(path);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(back->GetDevId(), c.idBack);
        EXPECT_EQ(back->GetDevAddr(), c.addrBack);
        EXPECT_EQ(CellText(*back), c.cellsBack);
        EXPECT_EQ(h.Warnings("dev.kvxd"), std::vector<std::string>(c.warnings, kFormatError));
    }
}

} // namespace
} // namespace korvex::test
