// Register maps in CSV: what a good map gives a device, and every reason a
// bad one is refused, line by line.

#include "files/RegisterMap.h"
#include "DevFileTestUtil.h"
#include "files/CodePage.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

using Strings = std::vector<std::string>;

SCellView View(const char* type, const char* min = "", const char* max = "")
{
    return { *ParseValueType(type), min, max };
}

// The map's cells as CellText writes a device's.
std::string MapText(const SRegisterMap& map)
{
    std::string text;
    for (const SCellFields& f : map.arCells)
        text += std::string(text.empty() ? "" : "\n") + CellTypeName(f.nType) + "|" + f.strDesc +
                "|" + f.strId + "|" + std::to_string(f.wAddr) + "|" + CellAccessName(f.nAccess) +
                "|" + std::to_string(f.wMin) + "-" + std::to_string(f.wMax) + "|" +
                std::to_string(f.wValue);
    return text;
}

TEST(RegisterMap, AGoodMapGivesCellsAndViews)
{
    struct
    {
        const char* why;
        std::string bytes;
        std::string cells;
        std::vector<SCellViewAt> views;
        Strings warnings;
    } const cases[] = {
        { "columns in any order, defaults, a wide row, quoting, an unknown column",
          "Type,KIND,Address,value,Comment,id,description,access,min,max\r\n"
          "float32:CDAB,HREG,100,23.5,x,,,,,\r\n"
          ",hreg,0x10,,,SP,\"Уставка, \"\"бар\"\"\",R,5,900\r\n"
          "int16,IREG,7,-5,,,,,-100,100\r\n"
          "int16,IREG,8,-5,,,,,-100,\r\n"
          ",COIL,5\r\n"
          "\r\n"
          ",,,,,\r\n"
          "bin,DINP,3\r\n",
          "HREG|Ячейка HR100|HR100|100|RW|0-65535|0\n"
          "HREG|Ячейка HR101|HR101|101|RW|0-65535|16828\n"
          "HREG|Уставка, \"бар\"|SP|16|R|5-900|5\n"
          "IREG|Ячейка IR7|IR7|7|R|0-65535|65531\n"
          "IREG|Ячейка IR8|IR8|8|R|0-65535|65531\n"
          "COIL|Ячейка CO5|CO5|5|RW|0-1|0\n"
          "DINP|Ячейка DI3|DI3|3|R|0-1|0",
          { { HREG, 100, View("float32:CDAB") },
            { IREG, 7, View("int16", "-100", "100") },
            { IREG, 8, View("int16", "-100") },
            { DINP, 3, View("bin") } },
          { "m.csv:1: Comment: неизвестный столбец пропущен" } },
        { "semicolons, a decimal comma, code page 1251, manual addresses without a kind",
          *Utf8ToCp1251("address;value;type;description;max\n"
                        "40001;-1,5;float32;Давление;\n"
                        "30010;7;;;\n"
                        "00001;1;;Насос;\n"
                        "10002;;bin;;\n"),
          "HREG|Давление|HR0|0|RW|0-65535|49088\n"
          "HREG|Ячейка HR1|HR1|1|RW|0-65535|0\n"
          "IREG|Ячейка IR9|IR9|9|R|0-65535|7\n"
          "COIL|Насос|CO0|0|RW|0-1|1\n"
          "DINP|Ячейка DI1|DI1|1|R|0-1|0",
          { { HREG, 0, View("float32:ABCD") }, { DINP, 1, View("bin") } },
          {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const SMapReadResult r = ReadRegisterMap(c.bytes, "m.csv");
        EXPECT_EQ(r.arErrors, Strings{});
        EXPECT_EQ(r.arWarnings, c.warnings);
        EXPECT_EQ(MapText(r.map), c.cells);
        EXPECT_EQ(r.map.arViews, c.views);
    }
}

TEST(RegisterMap, ABadMapIsEveryReasonWithItsLineAndNothingElse)
{
    const std::string map = "kind,address,id,access,min,max,value,type,note\n"
                            "HREG,100,,,,,23.5,float32:CDAB\n"       // 2: takes 100 and 101
                            "HREG,101,X,,,,,\n"                      // 3
                            "HREG,100,Y,,,,,\n"                      // 4
                            "HOLD,5,,,,,,\n"                         // 5
                            "HREG,70000,,,,,,\n"                     // 6
                            "HREG,7,,RX,,,,\n"                       // 7
                            "HREG,8,,,0,100,120,uint16\n"            // 8
                            "HREG,9,,,-1,,,\n"                       // 9
                            "HREG,10,,,,,,floot32\n"                 // 10
                            "COIL,1,,,,,2,\n"                        // 11
                            "COIL,2,,,,,,float32\n"                  // 12
                            "IREG,65534,,,,,,float64\n"              // 13
                            "HREG,199,,,,,,uint32\n"                 // 14
                            "HREG,200,,,,,,\n"                       // 15
                            "HREG,20,HR8,,,,,\n"                     // 16
                            "HREG,21,,,,,abc,int16\n"                // 17
                            "HREG,22,,,10,5,,float32\n"              // 18
                            "IREG,23,,,-10,10,11,int32:DCBA\n"       // 19
                            "HREG,24,,,,,,ascii:4,\"multi\nline\"\n" // 20 and 21
                            "HREG,30,,,1,2,,ascii:1\n";              // 22
    const SMapReadResult r = ReadRegisterMap(map, "m.csv");
    EXPECT_EQ(r.arErrors,
              (Strings{
                  "m.csv:3: address: HREG 101 занят значением float32:CDAB из строки 2",
                  "m.csv:4: address: HREG 100 уже задан в строке 2",
                  "m.csv:5: kind: неизвестный тип ячейки \"HOLD\" (COIL, DINP, HREG, IREG)",
                  "m.csv:6: address: \"70000\" вне диапазона 0..65535",
                  "m.csv:7: access: неизвестный доступ \"RX\" (R, W, RW)",
                  "m.csv:8: value: \"120\" вне границ 0..100",
                  "m.csv:9: min: \"-1\" вне диапазона 0..65535",
                  "m.csv:10: type: неизвестный тип \"floot32\"",
                  "m.csv:11: value: \"2\" вне границ 0x0..0x1",
                  "m.csv:12: type: тип float32:ABCD только для регистров",
                  "m.csv:13: type: float64:ABCD с адреса 65534 выходит за адрес 65535",
                  "m.csv:15: address: HREG 200 занят значением uint32:ABCD из строки 14",
                  "m.csv:16: id: \"HR8\" уже задан в строке 8",
                  "m.csv:17: value: \"abc\" не число",
                  "m.csv:18: min: нижняя граница 10 не ниже верхней 5",
                  "m.csv:19: value: \"11\" вне границ -10..10",
                  "m.csv:22: min: у текста ascii:1 нет границ",
                  "m.csv:22: max: у текста ascii:1 нет границ",
              }));
    EXPECT_TRUE(r.map.arCells.empty()) << "nothing is imported from a bad map";
    EXPECT_TRUE(r.map.arViews.empty());

    const auto errors = [](const std::string& bytes) {
        return ReadRegisterMap(bytes, "m.csv").arErrors;
    };
    EXPECT_EQ(errors(""), Strings{ "m.csv:1: нет строки заголовка" });
    EXPECT_EQ(errors("kind,id\nHREG,A\n"), Strings{ "m.csv:1: address: нет столбца" });
    EXPECT_EQ(errors("address\n40001\n\"40002\n"), Strings{ "m.csv:3: кавычка не закрыта" });
    EXPECT_EQ(errors("address\n20001\n"),
              Strings{ "m.csv:2: address: \"20001\" не адрес 00001..09999, 10001..19999, "
                       "30001..39999 или 40001..49999" });
}

TEST(RegisterMap, ExportedCellsReadBackTheSame)
{
    DevFileHarness h;
    const SMapReadResult r =
        ReadRegisterMap("kind,address,id,description,access,min,max,value,type\n"
                        "HREG,100,T,\"a, b\",RW,-10.5,100,23.5,float32:CDAB\n"
                        "HREG,0,SP,Уставка,R,5,900,7,\n"
                        "IREG,7,,,,-100,100,-5,int16\n"
                        "IREG,8,,,,,,\"x\\\\y\",ascii:2:BADC\n"
                        "COIL,5,,,,,,1,bin\n",
                        "m.csv");
    ASSERT_EQ(r.arErrors, Strings{});
    auto dev = h.NewDevice();
    ApplyRegisterMap(*dev, r.map);
    const std::string exported = FormatRegisterMap(*dev);
    EXPECT_EQ(exported, "kind,address,id,description,access,min,max,value,type\r\n"
                        "HREG,100,T,\"a, b\",RW,-10.5,100,23.5,float32:CDAB\r\n"
                        "HREG,0,SP,Уставка,R,0x5,0x384,0x7,hex\r\n"
                        "IREG,7,IR7,Ячейка IR7,R,-100,100,-5,int16\r\n"
                        "IREG,8,IR8,Ячейка IR8,R,,,x\\\\y,ascii:2:BADC\r\n"
                        "COIL,5,CO5,Ячейка CO5,RW,0000000000000000,0000000000000001,"
                        "0000000000000001,bin\r\n");

    const SMapReadResult back = ReadRegisterMap(exported, "back.csv");
    ASSERT_EQ(back.arErrors, Strings{});
    auto copy = h.NewDevice();
    ApplyRegisterMap(*copy, back.map);
    EXPECT_EQ(CellText(*copy), CellText(*dev));
    EXPECT_EQ(copy->GetCellViews(), dev->GetCellViews());
}

} // namespace
} // namespace korvex::test
