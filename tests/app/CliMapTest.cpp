// korvex-cli map import and export: a map becomes a device and its type file,
// the device answers a master with the typed registers, and the map exported
// from it imports to the same files.

#include "app/CliTestUtil.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

const std::string kMap = "kind;address;id;description;access;min;max;value;type;note\n"
                         "HREG;100;T;Температура;RW;-40;150,5;23,5;float32:CDAB;x\n"
                         "HREG;0;SP;\"Уставка; бар\";RW;0;1000;400;uint16;\n"
                         "IREG;10;NAME;;;;;KVX-1;ascii:4;\n"
                         "COIL;3;;;;;;1;;\n";

TEST(CliMap, AMapImportsAnswersAndRoundTrips)
{
    CTempDir dir;
    dir.Write("map.csv", *Utf8ToCp1251(kMap));
    const SProcessResult imported =
        RunCli(dir.Path(), "map import map.csv -o pump.kvxd --id PUMP1 --address 7");
    EXPECT_EQ(imported.nExitCode, 0) << imported.strErr;
    EXPECT_EQ(imported.strErr, "map.csv:1: note: неизвестный столбец пропущен\n");
    EXPECT_EQ(dir.List(), (Strings{ "map.csv", "pump.kvxd", "pump.kvxt" }));
    EXPECT_NE(ReadBytes(dir.File("pump.kvxd")).find("PUMP1\t0x7\r\n"), std::string::npos);

    // Registers 100 and 101 hold 23.5 as CDAB: 0x0000 0x41BC.
    const SProcessResult decoded =
        RunCli(dir.Path(), "decode pump.kvxd", Requests({ "07 03 00 64 00 02" }));
    EXPECT_EQ(Starting(decoded.strOut, "T\t"), Strings{ TLine("07 03 04 00 00 41 BC") });

    const SProcessResult exported = RunCli(dir.Path(), "map export pump.kvxd");
    EXPECT_EQ(exported.nExitCode, 0) << exported.strErr;
    EXPECT_EQ(exported.strOut, "kind,address,id,description,access,min,max,value,type\r\n"
                               "HREG,100,T,Температура,RW,-40,150.5,23.5,float32:CDAB\r\n"
                               "HREG,0,SP,Уставка; бар,RW,0,1000,400,uint16\r\n"
                               "IREG,10,NAME,Ячейка NAME,R,,,KVX-1,ascii:4\r\n"
                               "COIL,3,CO3,Ячейка CO3,RW,0x0,0x1,0x1,hex\r\n");

    dir.Write("back.csv", exported.strOut);
    const SProcessResult again =
        RunCli(dir.Path(), "map import back.csv -o back.kvxd --id PUMP1 --address 7");
    EXPECT_EQ(again.nExitCode, 0) << again.strErr;
    EXPECT_EQ(ReadBytes(dir.File("back.kvxd")), ReadBytes(dir.File("pump.kvxd")));
    EXPECT_EQ(ReadBytes(dir.File("back.kvxt")), ReadBytes(dir.File("pump.kvxt")));
    EXPECT_EQ(RunCli(dir.Path(), "map export back.kvxd").strOut, exported.strOut);
}

TEST(CliMap, ABadMapWritesNothingAndUsageErrorsExitTwo)
{
    CTempDir dir;
    dir.Write("bad.csv", "kind,address,value\nHREG,1,70000\nHREG,1,5\nIREG,x,\n");
    const SProcessResult bad = RunCli(dir.Path(), "map import bad.csv -o dev.kvxd");
    EXPECT_EQ(bad.nExitCode, 1);
    EXPECT_EQ(bad.strErr, "bad.csv:2: value: \"70000\" вне диапазона 0..65535\n"
                          "bad.csv:3: address: HREG 1 уже задан в строке 2\n"
                          "bad.csv:4: address: \"x\" не число\n");
    EXPECT_EQ(dir.List(), Strings{ "bad.csv" });

    for (const char* args : { "map", "map import bad.csv", "map import -o x.kvxd",
                              "map import bad.csv -o x.kvxd --address 256", "map frob",
                              "map export", "map export a.kvxd b.kvxd" }) {
        const SProcessResult r = RunCli(dir.Path(), args);
        EXPECT_EQ(r.nExitCode, 2) << args;
        EXPECT_NE(r.strErr.find("usage: korvex-cli map import"), std::string::npos) << args;
    }
    const SProcessResult help = RunCli(dir.Path(), "map --help");
    EXPECT_EQ(help.nExitCode, 0);
    EXPECT_TRUE(help.strOut.starts_with("usage: korvex-cli map import")) << help.strOut;
    EXPECT_NE(RunCli(dir.Path(), "--help").strOut.find("map export DEVICE.kvxd"),
              std::string::npos);
    EXPECT_EQ(dir.List(), Strings{ "bad.csv" });
}

} // namespace
} // namespace korvex::test
