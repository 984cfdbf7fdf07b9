// Finding the device and the cell a MyObject Get or Set names.

#include "ScriptFixture.h"

#include "core/Types.h"

using namespace korvex;
using namespace korvex::test;

namespace {

const std::string kEnd = "1|-1|" + std::string(CScriptDoc::kEndLine);

using ScripterResolve = ScriptTest;

TEST_F(ScripterResolve, NumbersAndDigitTextsAreAddresses)
{
    // A second device at address 5, and identifiers in Cyrillic.
    AddDevice("PUMP-B", 5, { { HREG, "LEVEL", 16, 555 } });
    AddDevice("НАСОС", 20, { { HREG, "УРОВЕНЬ", 1, 42 } });
    struct
    {
        const char* expr;
        const char* printed;
    } const cases[] = {
        // The first device with the address wins.
        { "MyObject.GetHREG(5, 16)", "100" },
        { "MyObject.GetHREG('PUMP-B', 16)", "555" },
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
        { "MyObject.GetHREG('НАСОС', 'УРОВЕНЬ')", "42" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(Printed(Run(std::string("MyObject.Print(") + c.expr + ");")),
                  Strings{ c.printed })
            << c.expr;
}

TEST_F(ScripterResolve, NotFoundWarningsEndTheScriptWithTheEndLine)
{
    AddDevice("НАСОС", 20, { { HREG, "УРОВЕНЬ", 1, 42 } });
    struct
    {
        const char* call;
        const char* warning;
    } const cases[] = {
        { "MyObject.GetHREG(6, 16)", "Устройство с адресом \"0x6\" не найдено!" },
        { "MyObject.SetHREG(255, 16, 1)", "Устройство с адресом \"0xFF\" не найдено!" },
        // A device whose ID is digits is reached only by its address.
        { "MyObject.GetHREG('12', 1)", "Устройство с адресом \"0xC\" не найдено!" },
        { "MyObject.GetHREG('NOPE', 16)", "Устройство с идентификатором \"NOPE\" не найдено!" },
        // Identifiers are case-sensitive.
        { "MyObject.GetHREG('pump', 16)", "Устройство с идентификатором \"pump\" не найдено!" },
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
        { "MyObject.GetHREG('НАСОС', 'ДАВЛЕНИЕ')",
          "Ячейка с идентификатором \"ДАВЛЕНИЕ\" не найдена в устройстве \"НАСОС\"!" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.call);
        // What follows the failing call never runs.
        const Records recs =
            Run(std::string("var r = ") + c.call + ";\nMyObject.Print('after ' + r);");
        EXPECT_EQ(Texts(recs), (Strings{ std::string("1|-1|") + c.warning, kEnd }));
        // The session goes on.
        EXPECT_TRUE(h.app.IsRunning());
        EXPECT_EQ(h.stops.nStops, 0);
        EXPECT_FALSE(m_scripts.back()->IsErrorStop());
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

} // namespace
