// Send, SendCRC, DbgSend and DbgSendCRC: reading the byte array, the frame
// handed to the line, and frames injected into the real receive path.

#include "ScriptFixture.h"

#include "core/Types.h"

using namespace korvex;
using namespace korvex::test;

namespace {

const std::string kArrayError =
    "В функции DbgSend(),DbgSendCRC(),Send(),SendCRC() можно передавать только массивы!";

class ScripterFrame : public ScriptTest
{
protected:
    void SetUp() override { AddStandardDevices(); }

    Records RunOne(const std::string& text)
    {
        h.app.OnStop();
        h.stops.nStops = 0;
        h.Reset();
        return Run(text);
    }

    static std::vector<std::string> Printed(const Records& recs)
    {
        std::vector<std::string> out;
        for (const auto& r : recs)
            if (r.nLevel == SL_INFORMATION)
                out.push_back(r.strText);
        return out;
    }
};

// A JS array literal of count elements, all 1.
std::string Ones(int count)
{
    std::string s = "[";
    for (int i = 0; i < count; ++i)
        s += i == 0 ? "1" : ",1";
    return s + "]";
}

TEST_F(ScripterFrame, SendHandsTheBytesToTheLine)
{
    const Records recs = RunOne("MyObject.Print(MyObject.Send([1, 3, 0, 0, 0, 10]));\n"
                                "MyObject.Print(MyObject.SendCRC([1, 3, 0, 0, 0, 10]));\n"
                                "MyObject.Print(MyObject.Send([]));\n"
                                "MyObject.Print(MyObject.SendCRC([]));\n"
                                "MyObject.Print(MyObject.Send([256, -1, '16', 16.0, 300.4]));");
    EXPECT_EQ(Printed(recs), (std::vector<std::string>{ "6", "8", "0", "2", "5" }));
    // Send([]) sends nothing; SendCRC([]) sends the CRC of no bytes.
    EXPECT_EQ(h.tx.Frames(),
              (std::vector<Bytes>{ Hex("01 03 00 00 00 0A"), Hex("01 03 00 00 00 0A C5 CD"),
                                   Hex("FF FF"), Hex("00 FF 10 10 2C") }));
    ASSERT_FALSE(recs.empty());
    EXPECT_EQ(recs.back().strText, CScriptDoc::kEndLine);
    // The last frame is remembered for the echo test of the drain.
    EXPECT_EQ(h.app.GetLastTx(), Hex("00 FF 10 10 2C"));
}

TEST_F(ScripterFrame, ArrayLikeObjectsAreArrays)
{
    const Records recs = RunOne("MyObject.Print(MyObject.Send({ length: 2, 0: 7, 1: '8' }));\n"
                                "MyObject.Print(MyObject.Send(new String('12')));\n"
                                "var holes = []; holes[2] = 9;\n"
                                "MyObject.Print(MyObject.Send(holes));\n"
                                "MyObject.Print(MyObject.Send({ length: -3 }));");
    EXPECT_EQ(Printed(recs), (std::vector<std::string>{ "2", "2", "3", "0" }));
    EXPECT_EQ(h.tx.Frames(), (std::vector<Bytes>{ Hex("07 08"), Hex("01 02"), Hex("00 00 09") }));
}

TEST_F(ScripterFrame, FrameBufferLimits)
{
    RunOne("MyObject.Print(MyObject.Send(" + Ones(1024) + "));\n" +
           "MyObject.Print(MyObject.SendCRC(" + Ones(1022) + "));");
    const auto frames = h.tx.Frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].size(), 1024u);
    EXPECT_EQ(frames[1].size(), 1024u);

    for (const std::string& call :
         { "Send(" + Ones(1025) + ")", "SendCRC(" + Ones(1023) + ")", "DbgSend(" + Ones(1025) + ")",
           "DbgSendCRC(" + Ones(1023) + ")" }) {
        const Records recs = RunOne("MyObject.Print(MyObject." + call + ");");
        ASSERT_EQ(recs.size(), 1u) << ::testing::PrintToString(Texts(recs));
        EXPECT_EQ(recs[0].strText, kArrayError);
        EXPECT_TRUE(h.tx.Frames().empty());
    }
}

TEST_F(ScripterFrame, NonArraysEndTheScriptWithTheArrayError)
{
    const char* const calls[] = {
        "MyObject.Send('01 03')",
        "MyObject.SendCRC(5)",
        "MyObject.DbgSend()",
        "MyObject.DbgSendCRC(null)",
        "MyObject.Send(undefined)",
        "MyObject.Send({ a: 1 })",           // no length
        "MyObject.Send({ length: 'many' })", // a length that is no number
        "MyObject.Send({ length: 1e12 })",   // far beyond the frame buffer
        "MyObject.Send([1, 'x'])",           // an element that is no number
        "MyObject.Send([1, {}])",
        "MyObject.Send([1, null])",
        "MyObject.Send([4294967296])", // beyond a 32-bit integer
    };
    for (const char* call : calls) {
        CScriptDoc& doc = AddScript(std::string("var n = ") + call + ";\nMyObject.Print('after');");
        h.app.OnStop();
        h.stops.nStops = 0;
        h.Reset();
        int fronts = 0;
        doc.SetFrontHandler([&fronts] { ++fronts; });
        ASSERT_TRUE(RunSession());
        const Records& recs = LogOf(doc);
        ASSERT_EQ(recs.size(), 1u) << call << ::testing::PrintToString(Texts(recs));
        EXPECT_EQ(recs[0].nLevel, SL_ERROR) << call;
        EXPECT_EQ(recs[0].strText, kArrayError) << call;
        EXPECT_EQ(recs[0].nLine, -1);
        // The flag keeps the end line away; the session goes on.
        EXPECT_TRUE(doc.IsErrorStop()) << call;
        EXPECT_EQ(fronts, 1) << call;
        EXPECT_TRUE(h.app.IsRunning()) << call;
        EXPECT_EQ(h.stops.nStops, 0) << call;
        EXPECT_TRUE(h.tx.Frames().empty()) << call;
        ClearScripts();
    }
}

TEST_F(ScripterFrame, ElementGetterThatThrowsReadsAsUndefined)
{
    // The engine swallows an exception thrown by a getter the host reads:
    // the element is undefined, which is 0.
    const Records recs = RunOne("MyObject.Print(MyObject.Send({ length: 2, 0: 7, "
                                "get 1() { throw new Error('g'); } }));");
    EXPECT_EQ(Printed(recs), std::vector<std::string>{ "2" });
    EXPECT_EQ(h.tx.Frames(), std::vector<Bytes>{ Hex("07 00") });
}

TEST_F(ScripterFrame, DbgSendIsAnsweredLikeAMastersRequest)
{
    // Read holding register 16 of PUMP (address 5).
    const Bytes request = WithCrc(Hex("05 03 00 10 00 01"));
    const Records recs =
        RunOne("MyObject.Print(MyObject.DbgSendCRC([5, 3, 0, 16, 0, 1]));\n"
               "MyObject.Print(MyObject.DbgSend([5, 3, 0, 16, 0, 1, " +
               std::to_string(request[6]) + ", " + std::to_string(request[7]) + "]));");
    EXPECT_EQ(Printed(recs), (std::vector<std::string>{ "8", "8" }));
    ASSERT_TRUE(PumpUntil([this] { return h.tx.Frames().size() == 2; }));
    const Bytes answer = WithCrc(Hex("05 03 02 00 64"));
    EXPECT_EQ(h.tx.Frames(), (std::vector<Bytes>{ answer, answer }));
    // Each request gives its request line and its answer line.
    ASSERT_EQ(h.lines.size(), 4u);
    EXPECT_EQ(h.lines[0].nKind, LK_REQUEST);
    EXPECT_EQ(h.lines[0].szDevice, "PUMP");
    EXPECT_EQ(h.lines[1].nKind, LK_RESPONSE);
    EXPECT_EQ(h.lines[2].nKind, LK_REQUEST);
    EXPECT_EQ(h.lines[3].nKind, LK_RESPONSE);
    EXPECT_EQ(h.app.GetRxBuffer().GetLength(), 16u);
}

TEST_F(ScripterFrame, DbgSendWriteReachesTheCell)
{
    // Write single register 17 of PUMP := 0x1234, injected by the script and
    // read back after the drain has run on the UI thread.
    CScriptDoc& doc = AddScript("MyObject.DbgSendCRC([5, 6, 0, 17, 0x12, 0x34]);\n"
                                "while (MyObject.GetHREG('PUMP', 'FLOW') != 0x1234)\n"
                                "    MyObject.Sleep(1);\n"
                                "MyObject.Print('seen');");
    ASSERT_TRUE(RunSession());
    EXPECT_EQ(Printed(LogOf(doc)), std::vector<std::string>{ "seen" });
    EXPECT_EQ(Value("PUMP", HREG, 17), 0x1234);
    EXPECT_TRUE(h.app.FindDeviceById("PUMP")->IsModified());
    // The answer echoes the request.
    EXPECT_EQ(h.tx.Frames(), std::vector<Bytes>{ WithCrc(Hex("05 06 00 11 12 34")) });
}

} // namespace
