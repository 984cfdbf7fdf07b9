// A run from start to end: the end line, engine errors with their lines, the
// error-stop flag, ExitScript, the text that runs and the script list.

#include "ScriptFixture.h"

#include "core/Types.h"

#include <thread>

using namespace korvex;
using namespace korvex::test;

namespace {

using ScriptRunner = ScriptTest;

const std::string kEnd = "1|-1|" + std::string(CScriptDoc::kEndLine);

TEST_F(ScriptRunner, EmptyScriptLogsOnlyTheEndLine)
{
    CScriptDoc& doc = AddScript("");
    int fronts = 0;
    doc.SetFrontHandler([&fronts] { ++fronts; });
    ASSERT_TRUE(RunSession());
    const Records& recs = LogOf(doc);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].nLevel, SL_WARNING);
    EXPECT_EQ(recs[0].strText, "Скрипт остановлен (выполнен полностью).");
    EXPECT_EQ(recs[0].nLine, -1);
    EXPECT_EQ(fronts, 1);
    EXPECT_FALSE(doc.IsErrorStop());
    EXPECT_TRUE(h.app.IsRunning());
}

TEST_F(ScriptRunner, ARunLogsWhatItPrintsThenTheEndLine)
{
    std::string cut;
    for (int i = 0; i < 511; ++i)
        cut += "ж";
    struct
    {
        const char* why;
        std::string text;
        Strings records;
    } const cases[] = {
        { "ExitScript ends the run with the end line",
          "MyObject.Print('one');\nMyObject.ExitScript();\nMyObject.Print('two');\nwhile (true) {}",
          { "0|-1|one", kEnd } },
        { "ExitScript cannot be caught",
          "try { MyObject.ExitScript(); while (true) {} }\n"
          "catch (e) { MyObject.Print('caught'); }\nMyObject.Print('after');",
          { kEnd } },
        { "MyObject is the only name added",
          "MyObject.Print(typeof MyObject);\nMyObject.Print(typeof Sleep);\n"
          "MyObject.Print(typeof print);\nMyObject.Print(typeof console);",
          { "0|-1|object", "0|-1|undefined", "0|-1|undefined", "0|-1|undefined", kEnd } },
        { "records are cut to 511 characters",
          "var s = ''; for (var i = 0; i < 600; i++) s += 'ж';\nMyObject.Print(s);",
          { "0|-1|" + cut, kEnd } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(Texts(Run(c.text)), c.records);
        EXPECT_TRUE(h.app.IsRunning());
    }
}

TEST_F(ScriptRunner, SyntaxErrorOnTheThirdLineIsReportedWithTwo)
{
    CScriptDoc& doc =
        AddScript("var a = 1;\r\nvar b = 2;\r\nvar c = ;\r\nMyObject.Print('x');\r\n");
    int beeps = 0;
    int fronts = 0;
    doc.SetBeepHandler([&beeps] { ++beeps; });
    doc.SetFrontHandler([&fronts] { ++fronts; });
    ASSERT_TRUE(RunSession());
    const Records& recs = LogOf(doc);
    ASSERT_EQ(recs.size(), 1u) << ::testing::PrintToString(Texts(recs));
    // The description is the engine's own message, without the error's type name.
    ASSERT_EQ(recs[0].strText.find("SyntaxError"), std::string::npos) << recs[0].strText;
    const std::string description = recs[0].strText.substr(0, recs[0].strText.find(" (строка"));
    EXPECT_EQ(Texts(recs), Strings{ ErrorRecord(description, 2) });
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(fronts, 1);
    EXPECT_TRUE(doc.IsErrorStop());
    // The engine's error stops the whole session.
    EXPECT_FALSE(h.app.IsRunning());
    EXPECT_EQ(h.stops.nStops, 1);
}

TEST_F(ScriptRunner, RunTimeErrorLines)
{
    struct
    {
        const char* text;
        const char* description;
        int line;
    } const cases[] = {
        { "foo();", "foo is not defined", 0 },
        { "var a = 1;\n\n\n\nfoo();", "foo is not defined", 4 },
        { "var a = 1;\r\n\r\nthrow 5;\r\n", "5", 2 },
        { "\nthrow new Error('boom');", "boom", 1 },
        { "function f() {\n  null.x = 1;\n}\nf();",
          "Value is null and could not be "
          "converted to an object",
          1 },
        // An error after a Sleep and a few host calls.
        { "MyObject.Sleep(1);\nMyObject.SetHREG(5, 16, 1);\nundefinedThing.y;",
          "undefinedThing is not defined", 2 },
    };
    for (const auto& c : cases) {
        const Records recs = Run(c.text);
        EXPECT_EQ(Texts(recs), Strings{ ErrorRecord(c.description, c.line) }) << c.text;
        EXPECT_FALSE(h.app.IsRunning());
        EXPECT_EQ(h.stops.nStops, 1);
    }
}

TEST_F(ScriptRunner, ErrorStopOfOneScriptStopsTheOthers)
{
    CScriptDoc& looping = AddScript("while (true) MyObject.Sleep(5);");
    CScriptDoc& failing = AddScript("MyObject.Sleep(20);\nnoSuchFunction();");
    ASSERT_TRUE(RunSession());
    EXPECT_FALSE(h.app.IsRunning());
    EXPECT_FALSE(looping.IsScriptRunning());
    EXPECT_TRUE(LogOf(looping).empty()) << ::testing::PrintToString(Texts(LogOf(looping)));
    EXPECT_EQ(Texts(LogOf(failing)), Strings{ ErrorRecord("noSuchFunction is not defined", 1) });
    EXPECT_FALSE(looping.IsErrorStop());
    EXPECT_TRUE(failing.IsErrorStop());
}

TEST_F(ScriptRunner, ErrorStopFlagIsClearedAtTheNextStart)
{
    CScriptDoc& doc = AddScript("MyObject.Send('no array');");
    ASSERT_TRUE(RunSession());
    EXPECT_TRUE(doc.IsErrorStop());
    h.app.OnStop();
    doc.SetText("MyObject.Print('fine');");
    ASSERT_TRUE(RunSession());
    EXPECT_FALSE(doc.IsErrorStop());
    const Records& recs = LogOf(doc);
    ASSERT_EQ(recs.size(), 3u);
    EXPECT_EQ(recs[1].strText, "fine");
    EXPECT_EQ(recs[2].strText, CScriptDoc::kEndLine);
}

TEST_F(ScriptRunner, TheTextAtStartIsWhatRuns)
{
    CScriptDoc& doc = AddScript("MyObject.Sleep(200); MyObject.Print('first');");
    h.app.OnStart();
    // Editing while it runs has no effect on this run.
    doc.SetText("MyObject.Print('second');");
    ASSERT_TRUE(PumpUntil([&doc] { return !doc.IsScriptRunning(); }));
    h.poster.Pump();
    h.app.OnStop();
    ASSERT_TRUE(RunSession());
    const Records& recs = LogOf(doc);
    ASSERT_EQ(recs.size(), 4u) << ::testing::PrintToString(Texts(recs));
    EXPECT_EQ(recs[0].strText, "first");
    EXPECT_EQ(recs[2].strText, "second");
}

TEST_F(ScriptRunner, TextSourceGivesTheEditorsText)
{
    CScriptDoc& doc = AddScript("MyObject.Print('document');");
    std::string editor = "MyObject.Print('editor');";
    doc.SetTextSource([&editor] { return editor; });
    ASSERT_TRUE(RunSession());
    ASSERT_FALSE(LogOf(doc).empty());
    EXPECT_EQ(LogOf(doc)[0].strText, "editor");
}

TEST_F(ScriptRunner, StartWhileRunningDoesNothing)
{
    CScriptDoc& doc = AddScript("MyObject.Sleep(100); MyObject.Print('once');");
    h.app.OnStart();
    doc.StartScript();
    doc.StartScript();
    ASSERT_TRUE(PumpUntil([&doc] { return !doc.IsScriptRunning(); }));
    h.poster.Pump();
    EXPECT_EQ(LogOf(doc).size(), 2u) << ::testing::PrintToString(Texts(LogOf(doc)));
}

TEST_F(ScriptRunner, DocumentsJoinAndLeaveTheSession)
{
    // Both scripts run at a start; once a document is gone, the next start
    // runs the other alone (a forgotten one would be a dangling pointer).
    CScriptDoc& a = AddScript("MyObject.Print('a');");
    CScriptDoc& b = AddScript("MyObject.Print('b');");
    h.app.OnStart();
    ASSERT_TRUE(PumpUntil([&] { return LogOf(a).size() == 2 && LogOf(b).size() == 2; }));
    h.app.OnStop();
    m_scripts.erase(m_scripts.begin());
    m_logs.erase(m_logs.begin());
    h.app.OnStart();
    ASSERT_TRUE(PumpUntil([&] { return LogOf(b).size() == 4; }));
    h.app.OnStop();
}

// A script printing in a loop posts one task per batch, not per line: the
// lines logged before the user-interface thread turns come together, in order.
TEST_F(ScriptRunner, LinesLoggedMeanwhileComeInOneTask)
{
    CScriptDoc& doc = AddScript("");
    h.poster.Pump(); // what the rig posted
    std::vector<Strings> batches;
    doc.SetLogBatchSink(
        [&batches](const CScriptDoc::LogBatch& batch) { batches.push_back(Texts(batch)); });
    std::thread([&doc] {
        for (int i = 0; i < 3; ++i)
            doc.Log(SL_INFORMATION, std::to_string(i), SScriptLogRecord::kNoLine);
    }).join();
    EXPECT_EQ(h.poster.Pump(), 1);
    doc.Log(SL_ERROR, "3", 2);
    EXPECT_EQ(h.poster.Pump(), 1);
    EXPECT_EQ(batches, (std::vector<Strings>{ { "0|-1|0", "0|-1|1", "0|-1|2" }, { "2|2|3" } }));
}

TEST_F(ScriptRunner, RecordsPostedAfterTheDocumentIsGoneAreDropped)
{
    CScriptDoc& doc = AddScript("MyObject.Print('late');");
    h.app.OnStart();
    // Wait for the thread without pumping, so the records stay queued.
    const auto end = std::chrono::steady_clock::now() + kDeadline;
    while (doc.IsScriptRunning() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const Records* log = &LogOf(doc);
    m_scripts.clear();
    h.poster.Pump();
    EXPECT_TRUE(log->empty());
}

} // namespace
