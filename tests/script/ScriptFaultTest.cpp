// MyObject.SetFault: a script injects and clears a device's faults.

#include "ScriptFixture.h"

#include "core/CKorvexApp.h"
#include "core/FaultRules.h"
#include "script/CScripter.h"

using namespace korvex;
using namespace korvex::test;

namespace {

const std::string kEnd = "1|-1|" + std::string(CScriptDoc::kEndLine);

class ScriptFault : public ScriptTest
{
protected:
    std::string FaultsOfPump() const
    {
        return FormatFaultRules(h.app.GetFaults(h.app.FindDeviceById("PUMP")));
    }
};

TEST_F(ScriptFault, SetsAndClearsFaultsByIdOrAddress)
{
    EXPECT_EQ(Texts(Run("MyObject.SetFault('PUMP', 'delay=10-20, drop=5');\n"
                        "MyObject.Print('set');")),
              (Strings{ "0|-1|set", kEnd }));
    EXPECT_EQ(FaultsOfPump(), "delay=10-20,drop=5");

    // The name ignores case; an address finds the device as for Get and Set.
    Run("MyObject.setfault(5, 'off');");
    EXPECT_EQ(FaultsOfPump(), "off");
    EXPECT_EQ(Texts(Run("MyObject.SETFAULT(5, '');")), Strings{ kEnd });
    EXPECT_EQ(FaultsOfPump(), "");
}

TEST_F(ScriptFault, TheFaultActsOnTheMastersRequests)
{
    Run("MyObject.SetFault('PUMP', 'exception=6');");
    h.app.OnStop();
    h.Reset();
    h.Receive(WithCrc(Hex("05 03 00 10 00 01")));
    EXPECT_EQ(h.tx.Frames(), std::vector<Bytes>{ WithCrc(Hex("05 83 06")) });
}

TEST_F(ScriptFault, InvalidRulesAreARunTimeErrorAndChangeNothing)
{
    Run("MyObject.SetFault('PUMP', 'crc=3');");
    EXPECT_EQ(Texts(Run("var a = 1;\nMyObject.SetFault('PUMP', 'crc=300');\nMyObject.Print('x');")),
              Strings{ ErrorRecord("SetFault: Правило \"crc=300\": вероятность P должна быть "
                                   "целым числом от 0 до 100",
                                   1) });
    EXPECT_EQ(FaultsOfPump(), "crc=3");

    // A script may catch it.
    EXPECT_EQ(Texts(Run("try { MyObject.SetFault(5, 'slow'); } catch (e) {\n"
                        "    MyObject.Print('caught'); }")),
              (Strings{ "0|-1|caught", kEnd }));
}

TEST_F(ScriptFault, UnknownDeviceOrMissingRulesAsForTheOtherMethods)
{
    EXPECT_EQ(Texts(Run("MyObject.SetFault('NOPE', 'off');")),
              (Strings{ "1|-1|Устройство с идентификатором \"NOPE\" не найдено!", kEnd }));
    EXPECT_EQ(Texts(Run("MyObject.SetFault('PUMP');")),
              Strings{ ErrorRecord(CScripter::kParamNotOptional, 0) });
    EXPECT_EQ(FaultsOfPump(), "");
}

} // namespace

// Typed values over holding registers: word orders read back through the
// 16-bit methods (23.5 is 0x41BC 0x0000 in ABCD: 16828, 0); bad orders and
// values are errors.
TEST_F(ScriptFault, TypedValuesOverHoldingRegisters)
{
    EXPECT_EQ(
        Texts(Run("MyObject.SetFloat('PUMP', 'LEVEL', 23.5);\n"
                  "MyObject.Print(MyObject.GetHREG(5, 16) + ',' + MyObject.GetHREG(5, 17));\n"
                  "MyObject.SetFloat(5, 16, 23.5, 'cdab');\n"
                  "MyObject.Print(MyObject.GetHREG(5, 16) + ',' + MyObject.GetHREG(5, 17));\n"
                  "MyObject.Print(MyObject.GetFloat(5, 16, 'CDAB'));\n"
                  "MyObject.SetInt32(5, 16, -7, 'DCBA');\n"
                  "MyObject.Print(MyObject.GetInt32(5, 'LEVEL', 'DCBA'));\n"
                  "MyObject.SetUInt32(5, 16, 65536 * 3 + 4);\n"
                  "MyObject.Print(MyObject.GetHREG(5, 16) + ',' + MyObject.GetHREG(5, 17));\n")),
        (Strings{ "0|-1|16828,0", "0|-1|0,16828", "0|-1|23.5", "0|-1|-7", "0|-1|3,4", kEnd }));
    // Four registers for a double, and there are two: the third is missing.
    const Strings missing = Texts(Run("MyObject.SetDouble(5, 16, 1.5);"));
    ASSERT_FALSE(missing.empty());
    EXPECT_NE(missing.front().find("0x12"), std::string::npos) << missing.front();
    EXPECT_EQ(Texts(Run("try { MyObject.SetInt32(5, 16, 1, 'XYZW'); } catch (e) {\n"
                        "    MyObject.Print('order'); }\n"
                        "try { MyObject.SetUInt32(5, 16, -1); } catch (e) {\n"
                        "    MyObject.Print('range'); }")),
              (Strings{ "0|-1|order", "0|-1|range", kEnd }));
}

// MyObject.GetCounters: what the device answered, in the fields of
// korvex-cli's --stats (a read of two registers and one exception 04).
TEST_F(ScriptFault, GetCountersReadsWhatTheDeviceAnswered)
{
    h.Receive(WithCrc(Hex("05 03 00 10 00 02")));
    h.Receive(WithCrc(Hex("05 03 00 30 00 01")));
    EXPECT_EQ(
        Printed(Run("var c = MyObject.getcounters('PUMP');\n"
                    "MyObject.Print([c.id, c.address, c.requests, c.answers, c.no_answer,\n"
                    "    JSON.stringify(c.exceptions), c.bytes_in, c.bytes_out].join(' '));")),
        Strings{ "PUMP 5 2 2 0 {\"4\":1} 16 14" });
}
