// Stopping a running script: interrupted loops, a Sleep woken, scripts
// stopped by the session, and several scripts at once on the same cells.

#include "ScriptFixture.h"

#include "core/Types.h"

#include <thread>

using namespace korvex;
using namespace korvex::test;

namespace {

using Clock = std::chrono::steady_clock;

class ScriptStop : public ScriptTest
{
protected:
    // Starts the session and waits until the script has shown it is inside
    // its loop (HREG 17 of PUMP becomes non-zero).
    void StartAndWaitForLoop()
    {
        Cell("PUMP", HREG, 17)->SetValue(0);
        h.app.OnStart();
        ASSERT_TRUE(PumpUntil([this] { return Value("PUMP", HREG, 17) != 0; }));
    }

    // Stops the session; returns how long it took.
    std::chrono::milliseconds TimedStop()
    {
        const auto start = Clock::now();
        h.app.OnStop();
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    }
};

TEST_F(ScriptStop, AStopEndsTheRunAtOnceAndLogsNothing)
{
    // Each script shows it has started (HREG 17), then never ends by itself.
    const char* const scripts[] = {
        // A loop without host calls.
        "MyObject.SetHREG(5, 17, 1);\nwhile (true) {}",
        // A long Sleep is woken.
        "MyObject.SetHREG(5, 17, 1);\nMyObject.Sleep(100000);\nMyObject.Print('woke');",
        // finally blocks run after an interrupt; one that loops is interrupted again.
        "try { MyObject.SetHREG(5, 17, 1); while (true) {} }\n"
        "finally { while (true) { MyObject.GetHREG(5, 16); } }",
        // Script code run while the error or the arguments are described.
        "MyObject.SetHREG(5, 17, 1);\nthrow { toString: function () { while (true) {} } };",
        "MyObject.SetHREG(5, 17, 1);\nvar e = new Error('x');\n"
        "Object.defineProperty(e, 'message', { get: function () { while (true) {} } });\nthrow e;",
        "MyObject.SetHREG(5, 17, 1);\nMyObject.Print({ toString: function () { while (true) {} } "
        "});",
        "MyObject.SetHREG(5, 17, 1);\n"
        "MyObject.GetHREG({ toString: function () { while (true) {} } }, 16);",
    };
    for (const char* text : scripts) {
        SCOPED_TRACE(text);
        h.stops.nStops = 0;
        CScriptDoc& doc = AddScript(text);
        StartAndWaitForLoop();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_LT(TimedStop().count(), 1000);
        EXPECT_FALSE(doc.IsScriptRunning());
        h.poster.Pump();
        EXPECT_EQ(Texts(LogOf(doc)), Strings{});
        EXPECT_FALSE(doc.IsErrorStop());
        EXPECT_EQ(h.stops.nStops, 1);
        ClearScripts();
    }
}

TEST_F(ScriptStop, SessionsRepeatCleanlyAndInterruptedHostCallLoopsSurvive)
{
    // Interrupting a loop of host calls through the proxy is where a JIT
    // engine crashes; the interpreter must survive it every time. A second
    // script sleeps and reads meanwhile.
    CScriptDoc& a = AddScript("var n = 1;\n"
                              "while (true) {\n"
                              "    MyObject.SetHREG(5, 17, n);\n"
                              "    n = n % 60000 + 1;\n"
                              "    MyObject.GetHREG('PUMP', 'LEVEL');\n"
                              "}");
    CScriptDoc& b = AddScript("while (true) { MyObject.Sleep(2); MyObject.GetHREG(5, 17); }");
    constexpr int kRounds = 60;
    for (int i = 0; i < kRounds; ++i) {
        StartAndWaitForLoop();
        // Let it run a varying while before the stop lands.
        std::this_thread::sleep_for(std::chrono::microseconds(137 * (i % 11)));
        EXPECT_LT(TimedStop().count(), 1000) << "round " << i;
        ASSERT_FALSE(a.IsScriptRunning());
        ASSERT_FALSE(b.IsScriptRunning());
    }
    h.poster.Pump();
    EXPECT_EQ(Texts(LogOf(a)), Strings{});
    EXPECT_EQ(Texts(LogOf(b)), Strings{});
    EXPECT_EQ(h.stops.nStops, kRounds);
}

TEST_F(ScriptStop, SleepLastsItsTime)
{
    const auto start = Clock::now();
    const Records recs = Run("MyObject.Sleep(150); MyObject.Sleep(0); MyObject.Print('done');");
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(150));
    ASSERT_EQ(recs.size(), 2u);
    EXPECT_EQ(recs[0].strText, "done");
}

TEST_F(ScriptStop, StopBeforeTheEngineExists)
{
    // A stop right after the start, before the thread has set up its engine.
    CScriptDoc& doc = AddScript("while (true) {}");
    for (int i = 0; i < 20; ++i) {
        h.app.OnStart();
        EXPECT_LT(TimedStop().count(), 1000);
        EXPECT_FALSE(doc.IsScriptRunning());
    }
    h.poster.Pump();
    EXPECT_EQ(Texts(LogOf(doc)), Strings{});
}

TEST_F(ScriptStop, StopWhenIdleDoesNothing)
{
    CScriptDoc& doc = AddScript("");
    doc.StopScript();
    EXPECT_FALSE(doc.IsScriptRunning());
    ASSERT_TRUE(RunSession());
    doc.StopScript();
    doc.StopScript();
    h.poster.Pump();
    EXPECT_EQ(LogOf(doc).size(), 1u);
}

TEST_F(ScriptStop, DestroyingARunningDocumentStopsIt)
{
    AddScript("MyObject.SetHREG(5, 17, 1);\nwhile (true) { MyObject.Sleep(1); }");
    StartAndWaitForLoop();
    const auto start = Clock::now();
    m_scripts.clear();
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(1));
    // Gone from the session too: a start finds nothing to run.
    h.app.OnStart();
    h.app.OnStop();
}

TEST_F(ScriptStop, FourScriptsOnTheSameCells)
{
    // Four scripts write and read the same cells and inject requests while
    // the UI thread (this one) drains and answers them; then the session
    // stops them all mid-flight.
    const std::string body = "var n = 0;\n"
                             "while (true) {\n"
                             "    MyObject.SetHREG(5, 16, n);\n"
                             "    MyObject.SetHREG('PUMP', 'FLOW', n + 1);\n"
                             "    MyObject.SetCOIL(5, 3, n & 1);\n"
                             "    MyObject.GetHREG(5, 16); MyObject.GetIREG(5, 7);\n"
                             "    if (n % 50 == 0) MyObject.DbgSendCRC([5, 3, 0, 16, 0, 2]);\n"
                             "    if (n % 70 == 0) MyObject.SendCRC([5, 3, 4, 0, 1, 0, 2]);\n"
                             "    if (n % 90 == 0) MyObject.Print(n);\n"
                             "    n++;\n"
                             "}";
    for (int i = 0; i < 4; ++i)
        AddScript(body);
    h.app.OnStart();
    // The master's requests arrive through the receive hook at the same time.
    const Bytes read = WithCrc(Hex("05 03 00 10 00 02"));
    const Bytes write = WithCrc(Hex("05 06 00 11 00 2A"));
    const auto end = Clock::now() + std::chrono::milliseconds(1500);
    int round = 0;
    while (Clock::now() < end) {
        const Bytes& frame = ++round % 2 != 0 ? read : write;
        h.app.OnReceive(frame.data(), static_cast<std::uint32_t>(frame.size()));
        h.poster.Pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_LT(TimedStop().count(), 2000);
    h.poster.Pump();
    for (const auto& doc : m_scripts) {
        EXPECT_FALSE(doc->IsScriptRunning());
        EXPECT_FALSE(doc->IsErrorStop());
        EXPECT_FALSE(LogOf(*doc).empty());
    }
    // Every request the master sent was answered.
    std::size_t answers = 0;
    for (const auto& line : h.lines)
        if (line.nKind == LK_RESPONSE || line.nKind == LK_DATA)
            ++answers;
    EXPECT_GE(answers, static_cast<std::size_t>(round));
}

} // namespace
