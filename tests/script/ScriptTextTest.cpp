// Script files: lines, CR LF, the 8192-character cut and the code pages.

#include "ScriptFixture.h"

#include "script/ScriptText.h"
#include "support/TempDir.h"

using namespace korvex;
using namespace korvex::test;

namespace {

TEST(ScriptText, LoadingEndsEveryLineInCrLf)
{
    struct
    {
        const char* file;
        const char* text;
    } const cases[] = {
        { "", "" },
        { "a\nb\nc", "a\r\nb\r\nc\r\n" }, // three lines plus an empty fourth
        { "a\r\nb\r\nc\r\n", "a\r\nb\r\nc\r\n" },
        { "a\n\nb\n", "a\r\n\r\nb\r\n" },
        { "\n", "\r\n" },
        { "x\r", "x\r\r\n" }, // only a CR before an LF goes
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecodeScriptFile(c.file), c.text)
            << ::testing::PrintToString(std::string(c.file));
}

TEST(ScriptText, SavingJoinsLinesWithCrLf)
{
    EXPECT_EQ(EncodeScriptFile(""), "");
    EXPECT_EQ(EncodeScriptFile("a\r\nb\r\nc"), "a\r\nb\r\nc");
    // A text ending in a line break has an empty last line: the file ends
    // in CR LF.
    EXPECT_EQ(EncodeScriptFile("a\r\nb\r\nc\r\n"), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(EncodeScriptFile("a\nb\n"), "a\r\nb\r\n");
    // Round trip of a file without a final break: it gains one.
    EXPECT_EQ(EncodeScriptFile(DecodeScriptFile("a\nb\nc")), "a\r\nb\r\nc\r\n");
    // A script file has no header to tell its code page: text whose code-page
    // bytes would be taken for UTF-8 is written so that it reads back.
    const std::string text = "MyObject.Print(\"НЁ\");\r\n";
    EXPECT_EQ(DecodeScriptFile(EncodeScriptFile(text)), text);
}

TEST(ScriptText, LongLinesAreSavedAsTheirFirst8192Characters)
{
    const std::string longLine(9000, 'x');
    EXPECT_EQ(EncodeScriptFile(longLine + "\r\nshort"), std::string(8192, 'x') + "\r\nshort");
    // Characters, not bytes: Cyrillic survives whole.
    std::string cyr;
    for (int i = 0; i < 9000; ++i)
        cyr += "ж";
    const std::string saved = EncodeScriptFile(cyr);
    EXPECT_EQ(saved, std::string(8192, '\xE6')); // "ж" in code page 1251
}

TEST(ScriptText, CodePages)
{
    // "Привет" in code page 1251 is no valid UTF-8.
    const std::string cp1251 = "\xCF\xF0\xE8\xE2\xE5\xF2";
    EXPECT_EQ(DecodeScriptFile("Print('" + cp1251 + "')"), "Print('Привет')\r\n");
    EXPECT_EQ(DecodeScriptFile("Print('Привет')"), "Print('Привет')\r\n");
    EXPECT_EQ(DecodeScriptFile("\xEF\xBB\xBFx\n"), "x\r\n");
    // Written back in code page 1251 when every character exists there ...
    EXPECT_EQ(EncodeScriptFile("Print('Привет')"), "Print('" + cp1251 + "')");
    // ... else as UTF-8 behind a byte-order mark.
    EXPECT_EQ(EncodeScriptFile("Print('日本')"), "\xEF\xBB\xBFPrint('日本')");
    EXPECT_EQ(DecodeScriptFile(EncodeScriptFile("日本\r\n")), "日本\r\n");
}

using ScriptFile = ScriptTest;

TEST_F(ScriptFile, LoadAndSaveThroughTheDocument)
{
    CTempDir dir;
    const std::string path =
        dir.Write("pump.kvxs", "MyObject.Print('\xCF\xF0\xE8\xE2\xE5\xF2');\nMyObject.Print(2);");

    CScriptDoc& doc = AddScript("");
    doc.SetModifiedFlag(true);
    ASSERT_TRUE(doc.LoadScriptFile(path));
    EXPECT_EQ(doc.GetPathName(), path);
    EXPECT_EQ(doc.GetTitle(), "pump.kvxs");
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetText(), "MyObject.Print('Привет');\r\nMyObject.Print(2);\r\n");

    ASSERT_TRUE(RunSession());
    EXPECT_EQ(Printed(LogOf(doc)), (Strings{ "Привет", "2" }));

    const std::string copy = dir.File("copy.kvxs");
    doc.SetModifiedFlag(true);
    ASSERT_TRUE(doc.SaveScriptFile(copy));
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetPathName(), copy);
    EXPECT_EQ(ReadBytes(copy),
              "MyObject.Print('\xCF\xF0\xE8\xE2\xE5\xF2');\r\nMyObject.Print(2);\r\n");

    EXPECT_FALSE(doc.LoadScriptFile(dir.File("missing.kvxs")));
    EXPECT_EQ(doc.GetPathName(), copy);
    EXPECT_FALSE(doc.SaveScriptFile(dir.File("no/such/dir/x.kvxs")));
}

} // namespace
