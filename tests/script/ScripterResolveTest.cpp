// Finding the device and the cell a MyObject Get or Set names.

#include "ScriptFixture.h"

#include "core/Types.h"

using namespace korvex;
using namespace korvex::test;

namespace {

const std::string kEnd = CScriptDoc::kEndLine;

class ScripterResolve : public ScriptTest
{
protected:
    void SetUp() override { AddStandardDevices(); }

    // Runs print(expr) and returns what it printed, or the first record's
    // text when nothing was printed.
    std::string PrintOf(const std::string& expr)
    {
        const Records recs = Run("MyObject.Print(" + expr + ");");
        return recs.empty() ? std::string() : recs.front().strText;
    }
};

TEST_F(ScripterResolve, NumbersAndDigitTextsAreAddresses)
{
    struct
    {
        const char* expr;
        const char* printed;
    } const cases[] = {
        { "MyObject.GetHREG(5, 16)", "100" },
        { "MyObject.GetHREG('5', '16')", "100" },
        { "MyObject.GetHREG(5, '17')", "0" },
        { "MyObject.GetHREG('PUMP', 'LEVEL')", "100" },
        { "MyObject.GetHREG('PUMP', 16)", "100" },
        { "MyObject.GetHREG(5, 'LEVEL')", "100" },
        // A device given as 2.6 is address 3; cells round the same way.
        { "MyObject.GetHREG(2.6, 1)", "3001" },
        { "MyObject.GetHREG('2.6', 1.4)", "3001" },
        // Digits only: an address, never the identifier "12".
        { "MyObject.GetHREG(9, 1)", "9001" },
        // Starts with a digit but is no number: the identifier.
        { "MyObject.GetHREG('1A', 1)", "3001" },
        // A cell identifier above 65535 as text is looked up by identifier.
        { "MyObject.GetHREG('1A', '70000')", "3002" },
        { "MyObject.GetCOIL('PUMP', 'RUN')", "0" },
        { "MyObject.GetIREG(5, 7)", "21" },
    };
    for (const auto& c : cases) {
        ClearScripts();
        EXPECT_EQ(PrintOf(c.expr), c.printed) << c.expr;
        h.app.OnStop();
    }
}

TEST_F(ScripterResolve, DigitIdentifierIsReachedOnlyByAddress)
{
    const Records recs = Run("MyObject.Print(MyObject.GetHREG('12', 1));");
    ASSERT_EQ(recs.size(), 2u) << ::testing::PrintToString(Texts(recs));
    EXPECT_EQ(recs[0].nLevel, SL_WARNING);
    EXPECT_EQ(recs[0].strText, "Устройство с адресом \"0xC\" не найдено!");
    EXPECT_EQ(recs[1].strText, kEnd);
}

TEST_F(ScripterResolve, NotFoundWarningsEndTheScriptWithTheEndLine)
{
    struct
    {
        const char* call;
        const char* warning;
    } const cases[] = {
        { "MyObject.GetHREG(6, 16)", "Устройство с адресом \"0x6\" не найдено!" },
        { "MyObject.SetHREG(255, 16, 1)", "Устройство с адресом \"0xFF\" не найдено!" },
        { "MyObject.GetHREG('NOPE', 16)", "Устройство с идентификатором \"NOPE\" не найдено!" },
        { "MyObject.GetHREG(300, 16)", "Устройство с идентификатором \"300\" не найдено!" },
        { "MyObject.GetHREG('300', 16)", "Устройство с идентификатором \"300\" не найдено!" },
        { "MyObject.GetHREG(-1, 16)", "Устройство с идентификатором \"-1\" не найдено!" },
        { "MyObject.GetHREG('-1', 16)", "Устройство с идентификатором \"-1\" не найдено!" },
        { "MyObject.GetHREG(5, 18)", "Ячейка с адресом 0x12 не найдена в устройстве \"PUMP\"!" },
        // A cell of another type at that address does not count.
        { "MyObject.GetCOIL(5, 16)", "Ячейка с адресом 0x10 не найдена в устройстве \"PUMP\"!" },
        { "MyObject.SetIREG(5, 'LEVEL', 1)",
          "Ячейка с идентификатором \"LEVEL\" не найдена в устройстве \"PUMP\"!" },
        { "MyObject.GetDINP('PUMP', 70000)",
          "Ячейка с идентификатором \"70000\" не найдена в устройстве \"PUMP\"!" },
    };
    for (const auto& c : cases) {
        ClearScripts();
        // What follows the failing call never runs.
        const Records recs =
            Run(std::string("var r = ") + c.call + ";\nMyObject.Print('after ' + r);");
        ASSERT_EQ(recs.size(), 2u) << c.call << ::testing::PrintToString(Texts(recs));
        EXPECT_EQ(recs[0].nLevel, SL_WARNING) << c.call;
        EXPECT_EQ(recs[0].strText, c.warning) << c.call;
        EXPECT_EQ(recs[0].nLine, -1);
        EXPECT_EQ(recs[1].nLevel, SL_WARNING);
        EXPECT_EQ(recs[1].strText, kEnd);
        // The session goes on.
        EXPECT_TRUE(h.app.IsRunning()) << c.call;
        EXPECT_EQ(h.stops.nStops, 0);
        EXPECT_FALSE(m_scripts.back()->IsErrorStop());
        h.app.OnStop();
        h.stops.nStops = 0;
    }
}

TEST_F(ScripterResolve, GetOnMissingCellReturnsZero)
{
    // The body called directly, as the dispatch layer calls it.
    CScriptDoc& doc = AddScript("");
    EXPECT_EQ(doc.GetScripter().GetCell(HREG, QJSValue(5), QJSValue(99)), 0);
    EXPECT_TRUE(doc.IsEngineClosed());
    // Once the script is ended nothing more is looked up or logged.
    EXPECT_EQ(doc.GetScripter().GetCell(COIL, QJSValue(QStringLiteral("NOPE")), QJSValue(3)), 0);
    EXPECT_EQ(doc.GetScripter().GetCell(HREG, QJSValue(5), QJSValue(16)), 0);
    h.poster.Pump();
    const Records& recs = LogOf(doc);
    ASSERT_EQ(recs.size(), 1u) << ::testing::PrintToString(Texts(recs));
    EXPECT_EQ(recs[0].strText, "Ячейка с адресом 0x63 не найдена в устройстве \"PUMP\"!");
}

TEST_F(ScripterResolve, FirstDeviceWithTheAddressWins)
{
    AddDevice("PUMP-B", 5, { { HREG, "LEVEL", 16, 555 } });
    EXPECT_EQ(PrintOf("MyObject.GetHREG(5, 16)"), "100");
    h.app.OnStop();
    EXPECT_EQ(PrintOf("MyObject.GetHREG('PUMP-B', 16)"), "555");
}

TEST_F(ScripterResolve, IdentifiersAreCaseSensitive)
{
    const Records recs = Run("MyObject.GetHREG('pump', 16);");
    ASSERT_FALSE(recs.empty());
    EXPECT_EQ(recs[0].strText, "Устройство с идентификатором \"pump\" не найдено!");
}

TEST_F(ScripterResolve, CyrillicIdentifiers)
{
    AddDevice("НАСОС", 20, { { HREG, "УРОВЕНЬ", 1, 42 } });
    EXPECT_EQ(PrintOf("MyObject.GetHREG('НАСОС', 'УРОВЕНЬ')"), "42");
    h.app.OnStop();
    const Records recs = Run("MyObject.GetHREG('НАСОС', 'ДАВЛЕНИЕ');");
    ASSERT_FALSE(recs.empty());
    EXPECT_EQ(recs[0].strText,
              "Ячейка с идентификатором \"ДАВЛЕНИЕ\" не найдена в устройстве \"НАСОС\"!");
}

} // namespace
