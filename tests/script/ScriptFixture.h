#pragma once

// Scripts run through the real engine against real devices on a hub whose UI
// queue the test pumps by hand (the test's thread is the UI thread).

#include "core/CDevDoc.h"
#include "script/CScriptDoc.h"
#include "script/SScriptLogRecord.h"
#include "support/CoreHarness.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvex::test {

using Records = std::vector<SScriptLogRecord>;
using Strings = std::vector<std::string>;

// Deadlines are generous: the sanitizer build is slow, and script threads
// run at the lowest priority.
inline constexpr std::chrono::seconds kDeadline{ 30 };

class ScriptTest : public ::testing::Test
{
protected:
    ScriptTest();
    ~ScriptTest() override;
    // Every test starts with the standard rig.
    void SetUp() override { AddStandardDevices(); }

    // A device with cells (type, id, address, value); bounds 0..65535, RW.
    struct SCell
    {
        std::int32_t nType;
        const char* szId;
        std::uint16_t wAddr;
        std::uint16_t wValue;
    };
    CDevDoc& AddDevice(const std::string& id, std::uint8_t addr, const std::vector<SCell>& cells);
    // The standard rig: PUMP at 5 (HREG 16 LEVEL, HREG 17 FLOW, COIL 3 RUN,
    // DINP 4 ALARM, IREG 7 TEMP), a device whose ID is digits, "12", at 9
    // and one whose ID starts with a digit, "1A", at 3 (HREG 1 R1, HREG 2 "70000").
    void AddStandardDevices();

    // A script document whose records go to its own list.
    CScriptDoc& AddScript(const std::string& text);
    const Records& LogOf(const CScriptDoc& doc) const;

    // Pumps the UI queue until pred holds or the deadline passes.
    bool PumpUntil(const std::function<bool()>& pred,
                   std::chrono::milliseconds deadline = kDeadline);
    // Starts the session and pumps until every script has ended.
    bool RunSession();
    // Destroys every script document (stopping its run) and its records.
    void ClearScripts();
    // One script run from start to its end, in a fresh session with no other
    // script, no stop counted and no line or frame recorded; its records.
    Records Run(const std::string& text);
    // The texts of the information records (what the script printed).
    static Strings Printed(const Records& recs);

    CDevItem* Cell(const std::string& dev, std::int32_t type, std::uint16_t addr) const;
    std::uint16_t Value(const std::string& dev, std::int32_t type, std::uint16_t addr) const;

    CoreHarness h;
    std::vector<std::unique_ptr<CDevDoc>> m_devices;
    std::vector<std::unique_ptr<CScriptDoc>> m_scripts;
    std::vector<std::unique_ptr<Records>> m_logs;
};

// "level|line|text" of each record, for comparisons with readable output.
Strings Texts(const Records& recs);

// The engine's error record for a run-time error on the given zero-based
// line, as Texts shows it: level error, the line, and the description plus
// " (строка: N)".
std::string ErrorRecord(const std::string& description, int line);

} // namespace korvex::test
