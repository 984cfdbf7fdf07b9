// Send, SendCRC, DbgSend and DbgSendCRC: reading the byte array, the frame
// handed to the line, and frames injected into the real receive path.

#include "ScriptFixture.h"

#include "core/Types.h"

using namespace korvex;
using namespace korvex::test;

namespace {

const std::string kArrayError =
    "В функции DbgSend(),DbgSendCRC(),Send(),SendCRC() можно передавать только массивы!";

using ScripterFrame = ScriptTest;

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
    struct
    {
        const char* why;
        std::string text;
        Strings printed; // what each call returned
        std::vector<Bytes> frames;
    } const cases[] = {
        // Send([]) sends nothing; SendCRC([]) sends the CRC of no bytes.
        { "arrays, elements kept to their low byte",
          "MyObject.Print(MyObject.Send([1, 3, 0, 0, 0, 10]));\n"
          "MyObject.Print(MyObject.SendCRC([1, 3, 0, 0, 0, 10]));\n"
          "MyObject.Print(MyObject.Send([]));\nMyObject.Print(MyObject.SendCRC([]));\n"
          "MyObject.Print(MyObject.Send([256, -1, '16', 16.0, 300.4]));",
          { "6", "8", "0", "2", "5" },
          { Hex("01 03 00 00 00 0A"), Hex("01 03 00 00 00 0A C5 CD"), Hex("FF FF"),
            Hex("00 FF 10 10 2C") } },
        { "array-like objects are arrays",
          "MyObject.Print(MyObject.Send({ length: 2, 0: 7, 1: '8' }));\n"
          "MyObject.Print(MyObject.Send(new String('12')));\n"
          "var holes = []; holes[2] = 9;\nMyObject.Print(MyObject.Send(holes));\n"
          "MyObject.Print(MyObject.Send({ length: -3 }));",
          { "2", "2", "3", "0" },
          { Hex("07 08"), Hex("01 02"), Hex("00 00 09") } },
        // The engine swallows an exception thrown by a getter the host reads:
        // the element is undefined, which is 0.
        { "an element getter that throws reads as undefined",
          "MyObject.Print(MyObject.Send({ length: 2, 0: 7, get 1() { throw new Error('g'); } }));",
          { "2" },
          { Hex("07 00") } },
        { "the frame buffer holds 1024 bytes",
          "MyObject.Print(MyObject.Send(" + Ones(1024) + "));\n" +
              "MyObject.Print(MyObject.SendCRC(" + Ones(1022) + "));",
          { "1024", "1024" },
          { Bytes(1024, 1), WithCrc(Bytes(1022, 1)) } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const Records recs = Run(c.text);
        EXPECT_EQ(Printed(recs), c.printed);
        EXPECT_EQ(h.tx.Frames(), c.frames);
        ASSERT_FALSE(recs.empty());
        EXPECT_EQ(recs.back().strText, CScriptDoc::kEndLine);
    }
}

TEST_F(ScripterFrame, NonArraysEndTheScriptWithTheArrayError)
{
    const std::string calls[] = {
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
        // More than the frame buffer holds.
        "MyObject.Send(" + Ones(1025) + ")",
        "MyObject.SendCRC(" + Ones(1023) + ")",
        "MyObject.DbgSend(" + Ones(1025) + ")",
        "MyObject.DbgSendCRC(" + Ones(1023) + ")",
    };
    for (const std::string& call : calls) {
        CScriptDoc& doc = AddScript("var n = " + call + ";\nMyObject.Print('after');");
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

TEST_F(ScripterFrame, DbgSendIsAnsweredLikeAMastersRequest)
{
    // Read holding register 16 of PUMP (address 5).
    const Bytes request = WithCrc(Hex("05 03 00 10 00 01"));
    const Records recs =
        Run("MyObject.Print(MyObject.DbgSendCRC([5, 3, 0, 16, 0, 1]));\n"
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
