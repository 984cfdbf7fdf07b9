#include "core/IPort.h"
#include "core/IScript.h"
#include "core/ISessionObserver.h"
#include "support/CoreHarness.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace korvex::test {
namespace {

// A port that records the calls and, when told, fails its open the way a
// serial port does: through the application's error hook.
class CFakePort final : public IPort
{
public:
    explicit CFakePort(CKorvexApp& app) : m_app(app) {}
    void Setup(const std::string& name, std::uint32_t baud, std::uint8_t parity,
               std::uint8_t dataBits, std::uint8_t stopBits, std::uint32_t mask) override
    {
        calls.push_back("setup " + name + " " + std::to_string(baud) + " " +
                        std::to_string(parity) + " " + std::to_string(dataBits) + " " +
                        std::to_string(stopBits) + " " + std::to_string(mask));
    }
    void SetModemControl(bool rts, bool dtr) override
    {
        calls.push_back(std::string("modem ") + (rts ? "1" : "0") + (dtr ? "1" : "0"));
    }
    bool Open() override
    {
        calls.push_back("open");
        if (bFail)
            m_app.OnError("Невозможно открыть последовательный порт '" + m_name + "'.");
        return !bFail;
    }
    void Close() override { calls.push_back("close"); }

    std::vector<std::string> calls;
    bool bFail{ false };
    std::string m_name{ "ttyUSB7" };

private:
    CKorvexApp& m_app;
};

class CFakeScript final : public IScript
{
public:
    CFakeScript(std::vector<std::string>& log, std::string name)
        : m_log(log), m_name(std::move(name))
    {
    }
    void StartScript() override { m_log.push_back("start " + m_name); }
    void StopScript() override { m_log.push_back("stop " + m_name); }

private:
    std::vector<std::string>& m_log;
    std::string m_name;
};

// Records the session's events among the port's calls.
class CSessionLog final : public ISessionObserver
{
public:
    explicit CSessionLog(std::vector<std::string>& calls) : m_calls(calls) {}
    void OnSessionStarted() override { m_calls.push_back("started"); }
    void OnSessionStopped() override { m_calls.push_back("stopped"); }

private:
    std::vector<std::string>& m_calls;
};

TEST(Session, StartAndStopInOrder)
{
    CoreHarness h;
    CFakePort port(h.app);
    h.app.SetPort(&port);
    std::vector<std::string> scriptLog;
    CFakeScript a(scriptLog, "a"), b(scriptLog, "b");
    h.app.AddScript(&a);
    h.app.AddScript(&b);
    CSessionLog events(port.calls);
    h.app.AddSessionObserver(&events);
    SSettings& set = h.app.GetSettings();
    set.m_info.m_strComName = "ttyUSB7";
    set.BAUD = 19200;
    set.PARITY = 2;
    set.RTS_CTRL_HI = 0;

    // Bytes of an earlier run never reach the next one.
    h.app.SetRunning(true);
    h.Receive(Hex("01 03 00"));
    h.app.SetRunning(false);

    h.app.OnStart();
    EXPECT_TRUE(h.app.IsRunning());
    // The protocol log hears of the start before the port opens.
    EXPECT_EQ(port.calls, (std::vector<std::string>{ "setup ttyUSB7 19200 2 8 0 377", "modem 01",
                                                     "started", "open" }));
    EXPECT_EQ(scriptLog, (std::vector<std::string>{ "start a", "start b" }));

    h.app.OnStop();
    EXPECT_FALSE(h.app.IsRunning());
    EXPECT_EQ(port.calls.back(), "stopped");
    EXPECT_EQ(port.calls[port.calls.size() - 2], "close");
    EXPECT_EQ(scriptLog, (std::vector<std::string>{ "start a", "start b", "stop a", "stop b" }));
    // A second stop is no stop: nobody hears of it.
    h.app.OnStop();
    EXPECT_EQ(std::count(port.calls.begin(), port.calls.end(), "stopped"), 1);
    h.app.RemoveSessionObserver(&events);
    h.app.RemoveScript(&a);
    h.app.RemoveScript(&b);
}

TEST(Session, FailedOpenReportsOnceAndStopsAgain)
{
    CoreHarness h;
    CFakePort port(h.app);
    port.bFail = true;
    h.app.SetPort(&port);
    std::vector<std::string> scriptLog;
    CFakeScript a(scriptLog, "a");
    h.app.AddScript(&a);

    h.app.OnStart();
    // The scripts start whether the open worked or not.
    EXPECT_EQ(scriptLog, (std::vector<std::string>{ "start a" }));
    EXPECT_TRUE(h.app.IsRunning());
    h.poster.Pump(); // the posted stop and the warning line
    EXPECT_FALSE(h.app.IsRunning());
    EXPECT_EQ(scriptLog, (std::vector<std::string>{ "start a", "stop a" }));
    ASSERT_EQ(h.lines.size(), 1u);
    EXPECT_EQ(h.lines[0].nKind, LK_WARNING);
    EXPECT_EQ(h.lines[0].nAddress, -1);
    EXPECT_EQ(h.lines[0].szText, "Невозможно открыть последовательный порт 'ttyUSB7'.");
    // The rest of that request finds nothing of its start: no request line.
    h.Receive(Hex("00 00 01 84 0A"));
    h.app.FlushReceive();
    h.poster.Pump();
    EXPECT_TRUE(std::none_of(h.lines.begin(), h.lines.end(),
                             [](const auto& line) { return line.nKind == LK_REQUEST; }));
    h.app.RemoveScript(&a);
}

TEST(Session, RestartStopsFirstAndForgetsTheLastFrame)
{
    CoreHarness h;
    CFakePort port(h.app);
    h.app.SetPort(&port);
    const Bytes frame = WithCrc(Hex("01 03 02 00 05"));
    h.app.OnStart();
    h.app.SendFrame(frame.data(), static_cast<unsigned>(frame.size()));
    h.app.OnStart();
    // The frame sent before the restart is no echo of this run.
    h.lines.clear();
    h.Receive(frame);
    ASSERT_EQ(h.lines.size(), 1u);
    EXPECT_EQ(h.lines[0].nKind, LK_DATA);
    EXPECT_EQ(std::count(port.calls.begin(), port.calls.end(), "close"), 1);
    EXPECT_EQ(std::count(port.calls.begin(), port.calls.end(), "open"), 2);
    h.app.OnStop();
}

} // namespace
} // namespace korvex::test
