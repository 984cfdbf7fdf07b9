#include "ScriptFixture.h"

#include "core/Types.h"

#include <thread>

namespace korvex::test {

ScriptTest::ScriptTest() = default;

ScriptTest::~ScriptTest()
{
    if (h.app.IsRunning())
        h.app.OnStop();
    // Scripts go before the devices they touch.
    m_scripts.clear();
    h.poster.Pump();
    m_devices.clear();
}

CDevDoc& ScriptTest::AddDevice(const std::string& id, std::uint8_t addr,
                               const std::vector<SCell>& cells)
{
    auto dev = std::make_unique<CDevDoc>(h.app);
    dev->SetDevId(id);
    dev->SetDevAddr(addr);
    for (const SCell& c : cells)
        dev->AddItem(c.nType, c.szId, "", c.wAddr, ACCESS_RW, 0, 65535, c.wValue);
    dev->SetModifiedFlag(false);
    m_devices.push_back(std::move(dev));
    return *m_devices.back();
}

void ScriptTest::AddStandardDevices()
{
    AddDevice("PUMP", 5,
              { { HREG, "LEVEL", 16, 100 },
                { HREG, "FLOW", 17, 0 },
                { COIL, "RUN", 3, 0 },
                { DINP, "ALARM", 4, 0 },
                { IREG, "TEMP", 7, 21 } });
    AddDevice("12", 9, { { HREG, "R1", 1, 9001 } });
    AddDevice("1A", 3, { { HREG, "R1", 1, 3001 }, { HREG, "70000", 2, 3002 } });
}

CScriptDoc& ScriptTest::AddScript(const std::string& text)
{
    auto doc = std::make_unique<CScriptDoc>(h.app);
    doc->SetText(text);
    doc->SetPathName("/tmp/test" + std::to_string(m_scripts.size()) + ".kvxs");
    m_logs.push_back(std::make_unique<Records>());
    Records* log = m_logs.back().get();
    doc->SetLogSink([log](const SScriptLogRecord& rec) { log->push_back(rec); });
    m_scripts.push_back(std::move(doc));
    return *m_scripts.back();
}

const Records& ScriptTest::LogOf(const CScriptDoc& doc) const
{
    for (std::size_t i = 0; i < m_scripts.size(); ++i)
        if (m_scripts[i].get() == &doc)
            return *m_logs[i];
    static const Records none;
    return none;
}

bool ScriptTest::PumpUntil(const std::function<bool()>& pred, std::chrono::milliseconds deadline)
{
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
        h.poster.Pump();
        if (pred())
            return true;
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool ScriptTest::RunSession()
{
    h.app.OnStart();
    const bool ended = PumpUntil([this] {
        for (const auto& doc : m_scripts)
            if (doc->IsScriptRunning())
                return false;
        return true;
    });
    h.poster.Pump();
    return ended;
}

void ScriptTest::ClearScripts()
{
    m_scripts.clear();
    h.poster.Pump();
    m_logs.clear();
}

Records ScriptTest::Run(const std::string& text)
{
    h.app.OnStop();
    h.stops.nStops = 0;
    h.Reset();
    ClearScripts();
    CScriptDoc& doc = AddScript(text);
    EXPECT_TRUE(RunSession()) << "script did not end: " << text;
    return LogOf(doc);
}

CDevItem* ScriptTest::Cell(const std::string& dev, std::int32_t type, std::uint16_t addr) const
{
    CDevDoc* doc = h.app.FindDeviceById(dev);
    return doc == nullptr ? nullptr : doc->FindItem(type, addr);
}

std::uint16_t ScriptTest::Value(const std::string& dev, std::int32_t type, std::uint16_t addr) const
{
    CDevItem* item = Cell(dev, type, addr);
    EXPECT_NE(item, nullptr) << dev << " " << type << " " << addr;
    return item == nullptr ? 0 : item->GetValue();
}

Strings ScriptTest::Printed(const Records& recs)
{
    Strings out;
    for (const auto& r : recs)
        if (r.nLevel == SL_INFORMATION)
            out.push_back(r.strText);
    return out;
}

Strings Texts(const Records& recs)
{
    Strings out;
    for (const auto& r : recs)
        out.push_back(std::to_string(r.nLevel) + "|" + std::to_string(r.nLine) + "|" + r.strText);
    return out;
}

std::string ErrorRecord(const std::string& description, int line)
{
    const std::string n = std::to_string(line);
    return "2|" + n + "|" + description + " (строка: " + n + ")";
}

} // namespace korvex::test
