// examples/demo.kvxs on its device, with a master writing the START coil.

#include "ScriptFixture.h"

#include "core/Types.h"

using namespace korvex;
using namespace korvex::test;

namespace {

using ScriptDemo = ScriptTest;

TEST_F(ScriptDemo, SineCounterAndStartCoil)
{
    AddDevice("PUMP1", 1,
              { { IREG, "SINE", 0, 0 },
                { HREG, "COUNTER", 0, 0 },
                { COIL, "START", 0, 0 },
                { DINP, "RUNNING", 0, 0 },
                { HREG, "STARTS", 1, 0 } });
    CScriptDoc& doc = AddScript("");
    ASSERT_TRUE(doc.LoadScriptFile(KORVEX_SOURCE_DIR "/examples/demo.kvxs"));
    h.app.OnStart();

    ASSERT_TRUE(PumpUntil([this] { return Value("PUMP1", HREG, 0) >= 3; }));
    // The sine never reaches 0 on a whole step, and the cell started at 0.
    EXPECT_LE(Value("PUMP1", IREG, 0), 2000);
    EXPECT_NE(Value("PUMP1", IREG, 0), 0);
    EXPECT_EQ(Value("PUMP1", DINP, 0), 0);

    // The master: write single coil 0 of device 1 := ON.
    h.Receive(WithCrc(Hex("01 05 00 00 FF 00")));
    EXPECT_NE(Value("PUMP1", COIL, 0), 0);
    // The script sets RUNNING, then counts the start.
    ASSERT_TRUE(
        PumpUntil([this] { return Value("PUMP1", DINP, 0) == 1 && Value("PUMP1", HREG, 1) == 1; }));

    // Read the feedback back as the master does: read discrete inputs.
    h.Reset();
    h.Receive(WithCrc(Hex("01 02 00 00 00 01")));
    EXPECT_EQ(h.tx.Frames(), std::vector<Bytes>{ WithCrc(Hex("01 02 01 01")) });

    h.Receive(WithCrc(Hex("01 05 00 00 00 00")));
    // RUNNING drops before the script prints: wait for the line as well.
    ASSERT_TRUE(PumpUntil(
        [&] { return Value("PUMP1", DINP, 0) == 0 && Texts(LogOf(doc)).size() == 3; }));
    h.app.OnStop();
    h.poster.Pump();

    const auto texts = Texts(LogOf(doc));
    EXPECT_EQ(texts, (std::vector<std::string>{ "0|-1|Demo running on PUMP1, START = 0",
                                                "0|-1|Master started the pump (start 1)",
                                                "0|-1|Master stopped the pump" }));
    EXPECT_TRUE(h.app.FindDeviceById("PUMP1")->IsModified());
}

} // namespace
