// The pieces under the script object: value conversions, stack positions,
// log records, and an engine set-up that fails.

#include "ScriptChild.h"
#include "ScriptFixture.h"

#include "script/ScriptPrelude.h"
#include "script/ScriptVariant.h"

#include "support/RunProcess.h"

#include <filesystem>

using namespace korvex;
using namespace korvex::test;

namespace {

TEST(ScriptVariant, NumbersFromTexts)
{
    struct
    {
        const char* text;
        ScriptConv conv;
        double value;
    } const cases[] = {
        { "12", ScriptConv::Ok, 12 },
        { " 12\t", ScriptConv::Ok, 12 },
        { "+7", ScriptConv::Ok, 7 },
        { "-1.5", ScriptConv::Ok, -1.5 },
        { ".5", ScriptConv::Ok, 0.5 },
        { "5.", ScriptConv::Ok, 5 },
        { "1e3", ScriptConv::Ok, 1000 },
        { "2E-1", ScriptConv::Ok, 0.2 },
        { "1e-999", ScriptConv::Ok, 0 },
        { "1e999", ScriptConv::Overflow, 0 },
        { "", ScriptConv::TypeMismatch, 0 },
        { " ", ScriptConv::TypeMismatch, 0 },
        { "abc", ScriptConv::TypeMismatch, 0 },
        { "12abc", ScriptConv::TypeMismatch, 0 },
        { "0x10", ScriptConv::TypeMismatch, 0 },
        { "Infinity", ScriptConv::TypeMismatch, 0 },
        { "NaN", ScriptConv::TypeMismatch, 0 },
        { "1e", ScriptConv::TypeMismatch, 0 },
        { "--1", ScriptConv::TypeMismatch, 0 },
        { ".", ScriptConv::TypeMismatch, 0 },
        { "1 2", ScriptConv::TypeMismatch, 0 },
    };
    for (const auto& c : cases) {
        double out = 0;
        EXPECT_EQ(ParseScriptNumber(QString::fromUtf8(c.text), out), c.conv) << c.text;
        if (c.conv == ScriptConv::Ok) {
            EXPECT_DOUBLE_EQ(out, c.value) << c.text;
        }
    }
}

TEST(ScriptVariant, IntegerTargets)
{
    std::uint32_t u32 = 0;
    EXPECT_EQ(ScriptToU32(QJSValue(4294967295.0), u32), ScriptConv::Ok);
    EXPECT_EQ(u32, 4294967295u);
    EXPECT_EQ(ScriptToU32(QJSValue(4294967295.5), u32), ScriptConv::Overflow);
    EXPECT_EQ(ScriptToU32(QJSValue(-1), u32), ScriptConv::Overflow);
    EXPECT_EQ(ScriptToU32(QJSValue(-0.5), u32), ScriptConv::Ok);
    EXPECT_EQ(u32, 0u);
    EXPECT_EQ(ScriptToU32(QJSValue(true), u32), ScriptConv::Ok);
    EXPECT_EQ(u32, 0xFFFFFFFFu);
    EXPECT_EQ(ScriptToU32(QJSValue(QJSValue::NullValue), u32), ScriptConv::TypeMismatch);
    EXPECT_EQ(ScriptToU32(QJSValue(QJSValue::UndefinedValue), u32), ScriptConv::Ok);
    EXPECT_EQ(u32, 0u);

    std::uint8_t u8 = 0;
    EXPECT_EQ(ScriptToU8(QJSValue(2.6), u8), ScriptConv::Ok);
    EXPECT_EQ(u8, 3);
    EXPECT_EQ(ScriptToU8(QJSValue(255.4), u8), ScriptConv::Ok);
    EXPECT_EQ(u8, 255);
    EXPECT_EQ(ScriptToU8(QJSValue(255.5), u8), ScriptConv::Overflow);
    EXPECT_EQ(ScriptToU8(QJSValue(QStringLiteral("300")), u8), ScriptConv::Overflow);
    EXPECT_EQ(ScriptToU8(QJSValue(QStringLiteral("1A")), u8), ScriptConv::TypeMismatch);

    std::uint16_t u16 = 0;
    EXPECT_EQ(ScriptToU16(QJSValue(65535), u16), ScriptConv::Ok);
    EXPECT_EQ(ScriptToU16(QJSValue(65536), u16), ScriptConv::Overflow);

    std::int32_t i32 = 0;
    EXPECT_EQ(ScriptToI32(QJSValue(-1), i32), ScriptConv::Ok);
    EXPECT_EQ(i32, -1);
    EXPECT_EQ(ScriptToI32(QJSValue(true), i32), ScriptConv::Ok);
    EXPECT_EQ(i32, -1);
    EXPECT_EQ(ScriptToI32(QJSValue(2147483648.0), i32), ScriptConv::Overflow);
    EXPECT_EQ(ScriptToI32(QJSValue(qQNaN()), i32), ScriptConv::Overflow);

    double d = 0;
    EXPECT_EQ(ScriptToDouble(QJSValue(true), d), ScriptConv::Ok);
    EXPECT_EQ(d, -1.0);
    EXPECT_EQ(ScriptToDouble(QJSValue(QStringLiteral("2.5")), d), ScriptConv::Ok);
    EXPECT_EQ(d, 2.5);
}

TEST(ScriptPrelude, PositionsSkipThePrelude)
{
    const QString prelude = QString::fromLatin1(kPreludeFileName);
    EXPECT_EQ(
        FindScriptLineInStack("@file:" + prelude + ":1\nf@file:script:3\n%entry@file:script:4"), 3);
    EXPECT_EQ(FindScriptLineInStack("%entry@file:script:2"), 2);
    EXPECT_EQ(FindScriptLineInStack("@file:" + prelude + ":1"), -1);
    EXPECT_EQ(FindScriptLineInStack(""), -1);

    EXPECT_EQ(FindScriptLineInTrace(
                  { ":1:-1:file:" + prelude, "f:3:-1:file:script", "%entry:4:-1:file:script" }),
              3);
    EXPECT_EQ(FindScriptLineInTrace({ ":3:9:file:script" }), 3);
    EXPECT_EQ(FindScriptLineInTrace({ "a:b:12:-1:file:script" }), 12);
    EXPECT_EQ(FindScriptLineInTrace({ "garbage" }), -1);
    EXPECT_EQ(FindScriptLineInTrace({}), -1);
}

TEST(ScriptLogRecord, MakeCutsAndFormatPrints)
{
    const SScriptLogRecord rec = SScriptLogRecord::Make(SL_WARNING, std::string(600, 'a'), -1);
    EXPECT_EQ(rec.strText.size(), 511u);
    EXPECT_EQ(rec.nLevel, 1);
    EXPECT_EQ(rec.nLine, -1);
    EXPECT_EQ(FormatScriptLogLine("pump.kvxs", SScriptLogRecord::Make(SL_ERROR, "bad\r\nthing", 4)),
              "S\tpump.kvxs\t2\t4\tbad  thing");
    EXPECT_EQ(FormatScriptLogLine("a.kvxs", SScriptLogRecord::Make(SL_INFORMATION, "текст", -1)),
              "S\ta.kvxs\t0\t-1\tтекст");
}

TEST(ScriptSetup, FailingSetupIsLoggedAndStopsTheSession)
{
    // A child process of this program runs a script while no application
    // object exists: the engine set-up fails, the error is logged, the
    // session is stopped and the program goes on to its normal end.
    const auto r = RunProcess(std::filesystem::read_symlink("/proc/self/exe").string(),
                              { kWithoutApplication });
    EXPECT_EQ(r.nExitCode, 0) << r.strErr;
    EXPECT_EQ(r.strOut, "S\tchild.kvxs\t2\t-1\tError: 0x800401f0 (QCoreApplication::instance())\n"
                        "stopped\n");
}

} // namespace
