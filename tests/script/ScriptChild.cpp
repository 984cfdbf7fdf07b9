#include "ScriptChild.h"

#include "script/CScriptDoc.h"
#include "support/CoreHarness.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace korvex::test {

int RunWithoutApplication()
{
    CoreHarness h;
    {
        CScriptDoc doc(h.app);
        doc.SetPathName("/tmp/child.kvxs");
        doc.SetText("MyObject.Print('never');\r\n");
        doc.SetLogSink([&doc](const SScriptLogRecord& rec) {
            std::printf("%s\n", FormatScriptLogLine(doc.GetTitle(), rec).c_str());
        });
        h.app.OnStart();
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (doc.IsScriptRunning() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        h.poster.Pump();
    }
    h.poster.Pump();
    if (h.stops.nStops > 0)
        std::printf("stopped\n");
    std::fflush(stdout);
    return 0;
}

} // namespace korvex::test
