// Faults injected into a device's answers, through the real receive path; the
// hand-pumped poster's clock stands still until a test moves it.

#include "core/CDevDoc.h"
#include "core/FaultRules.h"
#include "support/CoreHarness.h"

#include <gtest/gtest.h>

#include <memory>

namespace korvex::test {
namespace {

using namespace std::chrono_literals;

// D1 at address 1 and D2 at address 2, each with holding registers 0..3
// holding 0x10 + address.
struct FaultRig : ::testing::Test
{
    CoreHarness h;
    CDevDoc d1{ h.app };
    CDevDoc d2{ h.app };

    void SetUp() override
    {
        int n = 1;
        for (CDevDoc* dev : { &d1, &d2 }) {
            dev->SetDevId("D" + std::to_string(n));
            dev->SetDevAddr(static_cast<std::uint8_t>(n++));
            for (std::uint16_t a = 0; a < 4; ++a)
                dev->AddItem(HREG, "H" + std::to_string(a), "h", a, ACCESS_RW, 0, 65535,
                             static_cast<std::uint16_t>(0x10 + a));
        }
        h.app.SeedFaults(12345);
    }

    void Faults(const std::string& id, const std::string& rules)
    {
        ASSERT_EQ(h.app.SetDeviceFaults(id, rules), "");
    }
    std::vector<Bytes> Ask(const Bytes& request)
    {
        h.Reset();
        h.Receive(WithCrc(request));
        return h.tx.Frames();
    }
    std::vector<std::string> Lines() const { return h.LineTexts(); }
    void Advance(std::chrono::milliseconds ms)
    {
        h.poster.AdvanceTime(ms);
        h.poster.Pump();
    }
};

const Bytes kRead1 = Hex("01 03 00 00 00 01");
const Bytes kAnswer1 = WithCrc(Hex("01 03 02 00 10"));
const std::string kReadLine = "0 D1 (0x03) Read Holding Registers, Адрес=0x0000, Количество=1";
const std::string kAnswerLine = "2 D1 (0x03) Read Holding Registers, Количество=1, Регистры={ "
                                "0x0010 }";

TEST_F(FaultRig, OffAndDropAnswerNothingAndDoNothing)
{
    Faults("D1", "off");
    EXPECT_TRUE(Ask(kRead1).empty());
    EXPECT_EQ(Lines(),
              (std::vector<std::string>{
                  kReadLine, "5 D1 Неисправность (off): устройство отключено, ответа нет" }));

    Faults("D1", "drop=100");
    EXPECT_TRUE(Ask(Hex("01 06 00 01 12 34")).empty());
    EXPECT_EQ(h.lines.back().szText, "Неисправность (drop=100): запрос потерян, ответа нет");
    EXPECT_EQ(h.lines.back().nKind, LK_WARNING);
    EXPECT_EQ(d1.FindItem(HREG, 1)->GetValue(), 0x11); // the lost write did nothing

    // No fault left: the answer and lines of today, no fault line.
    Faults("D1", "drop=0");
    EXPECT_EQ(Ask(kRead1), std::vector<Bytes>{ kAnswer1 });
    EXPECT_EQ(Lines(), (std::vector<std::string>{ kReadLine, kAnswerLine }));
    Faults("D1", "");
    EXPECT_EQ(FormatFaultRules(h.app.GetFaults(&d1)), "");
    EXPECT_EQ(Ask(kRead1), std::vector<Bytes>{ kAnswer1 });
}

TEST_F(FaultRig, InjectedExceptionAndSpoiledCrc)
{
    Faults("D1", "exception=6");
    EXPECT_EQ(Ask(Hex("01 06 00 01 12 34")), std::vector<Bytes>{ WithCrc(Hex("01 86 06")) });
    EXPECT_EQ(d1.FindItem(HREG, 1)->GetValue(), 0x11); // refused, not done
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "0 D1 (0x06) Write Single Register, Адрес=0x0001, Регистр=0x1234",
                           "5 D1 Неисправность (exception=6): вместо ответа исключение 0x06",
                           "4 D1 Error: (0x86) Write Single Register, Exception code: 0x06" }));

    Faults("D1", "crc=100");
    const auto frames = Ask(kRead1);
    ASSERT_EQ(frames.size(), 1u);
    Bytes spoiled = kAnswer1;
    spoiled.back() ^= 0xFF;
    EXPECT_EQ(frames[0], spoiled);
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           kReadLine,
                           "5 D1 Неисправность (crc=100): ответ отправлен с неверной контрольной "
                           "суммой",
                           kAnswerLine }));
    // The other device answers as always.
    EXPECT_EQ(Ask(Hex("02 03 00 00 00 01")), std::vector<Bytes>{ WithCrc(Hex("02 03 02 00 10")) });
}

TEST_F(FaultRig, DelayedAnswerLeavesLaterThroughTheTransmitPath)
{
    Faults("D1", "delay=50");
    EXPECT_TRUE(Ask(kRead1).empty());
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           kReadLine, "5 D1 Неисправность (delay=50): ответ задержан на 50 мс" }));
    Advance(49ms);
    EXPECT_TRUE(h.tx.Frames().empty());
    Advance(1ms);
    EXPECT_EQ(h.tx.Frames(), std::vector<Bytes>{ kAnswer1 });
    // The answer's own line comes when it leaves.
    EXPECT_EQ(Lines().back(), kAnswerLine);
    // Its echo is recognised: the delayed send went through the echo memory.
    h.Reset();
    h.Receive(kAnswer1);
    EXPECT_TRUE(h.lines.empty());
}

TEST_F(FaultRig, OneDeviceDelayHoldsNoOtherAnswerBack)
{
    Faults("D1", "delay=100");
    h.Reset();
    h.Receive(WithCrc(kRead1));
    h.Receive(WithCrc(Hex("02 03 00 00 00 01")));
    // D2 answers at once; D1 only when its time has come.
    EXPECT_EQ(h.tx.Frames(), std::vector<Bytes>{ WithCrc(Hex("02 03 02 00 10")) });
    EXPECT_EQ(h.poster.GetPendingDelayed(), 1u);
    Advance(100ms);
    EXPECT_EQ(h.tx.Frames(), (std::vector<Bytes>{ WithCrc(Hex("02 03 02 00 10")), kAnswer1 }));
}

TEST_F(FaultRig, AStopDropsTheAnswersStillHeldBack)
{
    Faults("D1", "delay=30");
    h.app.SetRunning(true);
    EXPECT_TRUE(Ask(kRead1).empty());
    h.app.OnStop();
    Advance(100ms);
    EXPECT_TRUE(h.tx.Frames().empty());
    // A new run answers again with its own delay.
    h.app.OnStart();
    EXPECT_TRUE(Ask(kRead1).empty());
    Advance(30ms);
    EXPECT_EQ(h.tx.Frames(), std::vector<Bytes>{ kAnswer1 });
    h.app.OnStop();
}

TEST_F(FaultRig, SeveralRulesGiveOneLinePerAnswer)
{
    Faults("D1", "delay=20,crc=100,exception=4");
    EXPECT_TRUE(Ask(kRead1).empty());
    const auto lines = Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], "5 D1 Неисправность (exception=4, crc=100, delay=20): вместо ответа "
                        "исключение 0x04; ответ отправлен с неверной контрольной суммой; ответ "
                        "задержан на 20 мс");
    Advance(20ms);
    Bytes exc = WithCrc(Hex("01 83 04"));
    exc.back() ^= 0xFF;
    EXPECT_EQ(h.tx.Frames(), std::vector<Bytes>{ exc });
    EXPECT_EQ(Lines().back(), "4 D1 Error: (0x83) Read Holding Registers, Exception code: 0x04");
}

TEST_F(FaultRig, RandomDelaysStayInTheirRangeAndDropsAreAShare)
{
    Faults("D1", "delay=10-20");
    for (int i = 0; i < 50; ++i) {
        Ask(kRead1);
        Advance(9ms);
        ASSERT_TRUE(h.tx.Frames().empty()) << i;
        Advance(11ms);
        ASSERT_EQ(h.tx.Frames().size(), 1u) << i;
    }
    // Half of 400 requests lost: far from none and from all.
    Faults("D1", "drop=50");
    int answered = 0;
    for (int i = 0; i < 400; ++i)
        answered += Ask(kRead1).empty() ? 0 : 1;
    EXPECT_GT(answered, 120);
    EXPECT_LT(answered, 280);
}

TEST_F(FaultRig, LabelsErrorsAndForgottenDevices)
{
    CKorvexApp& faults = h.app;
    std::vector<const CDevDoc*> told;
    faults.SetFaultListener([&told](const CDevDoc* dev) { told.push_back(dev); });
    EXPECT_EQ(faults.GetFaultLabel(&d1), "");
    Faults("D1", "drop=5, delay=7");
    EXPECT_EQ(faults.GetFaultLabel(&d1), "неисправности: delay=7,drop=5");
    EXPECT_EQ(FormatFaultRules(faults.GetFaults(&d1)), "delay=7,drop=5");
    EXPECT_EQ(faults.GetFaultLabel(&d2), "");
    h.poster.Pump();
    EXPECT_EQ(told, std::vector<const CDevDoc*>{ &d1 });

    // A bad rule or an unknown ID changes nothing.
    EXPECT_EQ(h.app.SetDeviceFaults("D1", "drop=500"),
              "Правило \"drop=500\": вероятность P должна быть целым числом от 0 до 100");
    EXPECT_EQ(h.app.SetDeviceFaults("NOPE", "off"),
              "Устройство с идентификатором \"NOPE\" не найдено!");
    EXPECT_EQ(FormatFaultRules(faults.GetFaults(&d1)), "delay=7,drop=5");

    // A device that goes away takes its faults with it.
    auto d3 = std::make_unique<CDevDoc>(h.app);
    d3->SetDevId("D3");
    const CDevDoc* gone = d3.get();
    Faults("D3", "off");
    EXPECT_EQ(FormatFaultRules(faults.GetFaults(gone)), "off");
    d3.reset();
    EXPECT_EQ(FormatFaultRules(faults.GetFaults(gone)), "");
}

} // namespace
} // namespace korvex::test
