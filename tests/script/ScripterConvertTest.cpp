// Argument conversion, argument counts, method names and the simple methods.

#include "ScriptFixture.h"

#include "core/Types.h"

using namespace korvex;
using namespace korvex::test;

namespace {

using ScripterConvert = ScriptTest;

TEST_F(ScripterConvert, SetStoresTheLowSixteenBits)
{
    struct
    {
        const char* call;
        std::int32_t type;
        std::uint16_t addr;
        std::uint16_t stored;
    } const cases[] = {
        { "MyObject.SetHREG(5, 16, 65537)", HREG, 16, 1 },
        { "MyObject.SetHREG(5, 16, 4294967295)", HREG, 16, 65535 },
        { "MyObject.SetCOIL(5, 3, 65536)", COIL, 3, 0 },
        { "MyObject.SetCOIL(5, 3, 2)", COIL, 3, 1 },
        { "MyObject.SetDINP(5, 4, 7)", DINP, 4, 1 },
        // Neither access nor bounds bind a script: IREG is read-only.
        { "MyObject.SetIREG(5, 7, 12345)", IREG, 7, 12345 },
        // Texts, fractions (a half to the even neighbour), booleans.
        { "MyObject.SetHREG(5, 16, '12')", HREG, 16, 12 },
        { "MyObject.SetHREG(5, 16, ' 13 ')", HREG, 16, 13 },
        { "MyObject.SetHREG(5, 16, '1e3')", HREG, 16, 1000 },
        { "MyObject.SetHREG(5, 16, 3.5)", HREG, 16, 4 },
        { "MyObject.SetHREG(5, 16, 2.5)", HREG, 16, 2 },
        { "MyObject.SetHREG(5, 16, -0.4)", HREG, 16, 0 },
        { "MyObject.SetHREG(5, 16, true)", HREG, 16, 65535 },
        { "MyObject.SetCOIL(5, 3, true)", COIL, 3, 1 },
        { "MyObject.SetHREG(5, 16, false)", HREG, 16, 0 },
        { "MyObject.SetHREG(5, 16, undefined)", HREG, 16, 0 },
        // An object gives its default value.
        { "MyObject.SetHREG(5, 16, [77])", HREG, 16, 77 },
        { "MyObject.SetHREG(5, 16, { valueOf: function () { return 78; } })", HREG, 16, 78 },
        { "MyObject.SetHREG(5, 16, new Number(79))", HREG, 16, 79 },
    };
    for (const auto& c : cases) {
        const bool bit = c.type == COIL || c.type == DINP;
        Cell("PUMP", c.type, c.addr)->SetValue(bit ? (c.stored != 0 ? 0 : 1) : 999);
        const Records recs = Run(c.call + std::string(";"));
        EXPECT_EQ(Value("PUMP", c.type, c.addr), c.stored) << c.call;
        ASSERT_EQ(recs.size(), 1u) << c.call << ::testing::PrintToString(Texts(recs));
        EXPECT_EQ(recs[0].strText, CScriptDoc::kEndLine);
    }
}

TEST_F(ScripterConvert, WritesMarkTheDeviceModifiedReadsDoNot)
{
    CDevDoc* pump = h.app.FindDeviceById("PUMP");
    Run("MyObject.GetHREG(5, 16); MyObject.GetCOIL(5, 3);");
    EXPECT_FALSE(pump->IsModified());
    Run("MyObject.SetHREG(5, 16, 1);");
    EXPECT_TRUE(pump->IsModified());
    EXPECT_FALSE(h.app.FindDeviceById("12")->IsModified());
}

TEST_F(ScripterConvert, FailedConversionIsARunTimeError)
{
    struct
    {
        const char* text;
        const char* description;
        int line;
    } const cases[] = {
        { "var a = 1;\nMyObject.SetHREG(5, 16, -1);", "Overflow", 1 },
        { "MyObject.SetHREG(5, 16, 4294967296);", "Overflow", 0 },
        { "MyObject.SetHREG(5, 16, NaN);", "Overflow", 0 },
        { "\n\nMyObject.SetHREG(5, 16, 'abc');", "Type mismatch", 2 },
        { "MyObject.SetHREG(5, 16, '0x10');", "Type mismatch", 0 },
        { "MyObject.SetHREG(5, 16, '');", "Type mismatch", 0 },
        { "MyObject.SetHREG(5, 16, null);", "Type mismatch", 0 },
        { "MyObject.SetHREG(5, 16, '-1');", "Overflow", 0 },
        { "MyObject.Sleep(-5);", "Overflow", 0 },
        { "MyObject.Abs('x');", "Type mismatch", 0 },
        // Conversion comes before the device is looked up: no warning.
        { "MyObject.SetHREG('NOPE', 16, -1);", "Overflow", 0 },
        // Counts.
        { "MyObject.Sleep(1, 2);", "Wrong number of arguments or invalid property assignment", 0 },
        { "MyObject.ExitScript(1);", "Wrong number of arguments or invalid property assignment",
          0 },
        { "MyObject.SetHREG(5, 16);", "Argument not optional", 0 },
        { "MyObject.Sleep();", "Argument not optional", 0 },
        { "MyObject.Pow(2);", "Argument not optional", 0 },
        { "MyObject.GetHREG(5);", "Argument not optional", 0 },
        { "MyObject.Print();", "Argument not optional", 0 },
        // A host error inside a function points at the call in the script.
        { "function f() {\n  return MyObject.SetHREG(5, 16, -1);\n}\n\nf();", "Overflow", 1 },
    };
    for (const auto& c : cases) {
        const Records recs = Run(c.text);
        EXPECT_EQ(Texts(recs), Strings{ ErrorRecord(c.description, c.line) }) << c.text;
        EXPECT_EQ(Value("PUMP", HREG, 16), 100) << c.text;
        // The engine's error stops the session.
        EXPECT_FALSE(h.app.IsRunning()) << c.text;
        EXPECT_EQ(h.stops.nStops, 1) << c.text;
        EXPECT_TRUE(m_scripts.back()->IsErrorStop());
    }
}

TEST_F(ScripterConvert, UnknownMethodIsARunTimeError)
{
    const Records recs = Run("var x = 1;\nMyObject.Foo(1);");
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].nLevel, SL_ERROR);
    EXPECT_EQ(recs[0].nLine, 1);
    // The message names the object as a script writer knows it.
    EXPECT_EQ(recs[0].strText,
              "Property 'Foo' of object [object MyObject] is not a function (строка: 1)");
    EXPECT_FALSE(h.app.IsRunning());
}

TEST_F(ScripterConvert, WhatTheMethodsReturnAndPrintShows)
{
    struct
    {
        const char* why;
        std::string text;
        Strings printed;
    } const cases[] = {
        { "a script may catch a run-time error",
          "try { MyObject.SetHREG(5, 16, -1); }\n"
          "catch (e) { MyObject.Print('caught ' + e + ' at ' + e.lineNumber); }",
          { "caught RangeError: Overflow at 1" } },
        { "method names ignore case",
          "MyObject.sethreg(5, 16, 7);\nMyObject.Print(MyObject.GETHREG(5, 16));\n"
          "MyObject.pRiNt(MyObject.hex(255));\n"
          "MyObject.Print(MyObject.Sleep === MyObject.sleep);\n"
          "MyObject.Print('sethreg' in MyObject);\nMyObject.Print('Foo' in MyObject);\n"
          "MyObject.Print(typeof MyObject.toString);",
          { "7", "0xFF", "true", "true", "false", "undefined" } },
        { "Hex and the mathematics",
          "var P = MyObject.Print;\n"
          "P(MyObject.Hex(0)); P(MyObject.Hex(255)); P(MyObject.Hex(4096));\n"
          "P(MyObject.Hex(4294967295)); P(MyObject.Hex('16')); P(MyObject.Hex(2.5));\n"
          "P(MyObject.Abs(-2.5)); P(MyObject.Sin(0)); P(MyObject.Cos(0));\n"
          "P(MyObject.Log10(1000)); P(MyObject.Pow(2, 10)); P(MyObject.Pow('2', '0.5') > 1.41);\n"
          "P(MyObject.Sqrt(16)); P(MyObject.Ceil(1.2)); P(MyObject.Floor(-1.2));\n"
          "P(MyObject.Sqrt(-1)); P(MyObject.Log10(0)); P(MyObject.Sin(Math.PI / 2));",
          { "0x0", "0xFF", "0x1000", "0xFFFFFFFF", "0x10", "0x2", "2.5", "0", "1", "3", "1024",
            "true", "4", "2", "-2", "NaN", "-Infinity", "1" } },
        { "Print gives the value's text",
          "MyObject.Print(1.5); MyObject.Print('текст'); MyObject.Print(undefined); "
          "MyObject.Print([1, 2]); MyObject.Print(MyObject.GetDINP(5, 4));",
          { "1.5", "текст", "undefined", "1,2", "0" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        // Every printed line has no source line; the run ends normally.
        Strings records;
        for (const std::string& text : c.printed)
            records.push_back("0|-1|" + text);
        records.push_back("1|-1|" + std::string(CScriptDoc::kEndLine));
        EXPECT_EQ(Texts(Run(c.text)), records);
        EXPECT_TRUE(h.app.IsRunning());
    }
}

TEST_F(ScripterConvert, HostileArgumentsDoNotCrash)
{
    // Default values that throw, a proxy as a device, MyObject itself.
    const char* const texts[] = {
        "MyObject.SetHREG(5, 16, { valueOf: function () { throw new Error('v'); } });",
        "MyObject.GetHREG({ toString: function () { throw new Error('t'); } }, 16);",
        "MyObject.GetHREG(MyObject, 16);",
        "MyObject.Print(MyObject);",
        "MyObject.Print(Object.create(null));",
        "MyObject.SetHREG(5, 16, Symbol('s'));",
        "MyObject.GetHREG(new Proxy({}, { get: function () { throw 1; } }), 16);",
    };
    for (const char* text : texts) {
        const Records recs = Run(text);
        EXPECT_FALSE(recs.empty()) << text;
        EXPECT_EQ(Value("PUMP", HREG, 16), 100) << text;
    }
}

} // namespace
