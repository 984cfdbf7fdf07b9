// MyObject.SetHREG calls per second from one script, and from four scripts
// running at once, each on its own thread and engine. A run's engine set-up
// is part of each iteration; BM_EmptyScript shows what it costs.

#include "core/CDevDoc.h"
#include "core/CKorvexApp.h"
#include "core/CQueuePoster.h"
#include "core/Types.h"
#include "script/CScriptDoc.h"
#include "script/ScriptEnvironment.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace korvex;

constexpr int kCallsPerRun = 50000;

struct SRig
{
    CQueuePoster poster;
    CKorvexApp app;
    std::unique_ptr<CDevDoc> device;
    std::vector<std::unique_ptr<CScriptDoc>> scripts;

    SRig(int scriptCount, const std::string& text)
    {
        app.SetPoster(&poster);
        device = std::make_unique<CDevDoc>(app);
        device->SetDevId("PUMP");
        device->SetDevAddr(5);
        for (std::uint16_t a = 0; a < 8; ++a)
            device->AddItem(HREG, "R" + std::to_string(a), "", a, ACCESS_RW, 0, 65535, 0);
        for (int i = 0; i < scriptCount; ++i) {
            scripts.push_back(std::make_unique<CScriptDoc>(app));
            scripts.back()->SetText(text);
        }
    }

    ~SRig()
    {
        app.OnStop();
        scripts.clear();
        poster.Pump();
    }

    // One session: every script runs to its end.
    void RunOnce()
    {
        app.OnStart();
        for (;;) {
            bool running = false;
            for (const auto& doc : scripts)
                running = running || doc->IsScriptRunning();
            if (!running)
                break;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        app.OnStop();
        poster.Pump();
    }
};

std::string SetHregLoop(int script)
{
    return "for (var i = 0; i < " + std::to_string(kCallsPerRun) +
           "; i++)\r\n"
           "    MyObject.SetHREG(5, " +
           std::to_string(script % 8) + ", i);\r\n";
}

void RunScripts(benchmark::State& state, int scriptCount)
{
    SRig rig(0, "");
    for (int i = 0; i < scriptCount; ++i) {
        rig.scripts.push_back(std::make_unique<CScriptDoc>(rig.app));
        rig.scripts.back()->SetText(SetHregLoop(i));
    }
    for (auto _ : state)
        rig.RunOnce();
    state.SetItemsProcessed(state.iterations() * scriptCount * kCallsPerRun);
    state.counters["calls_per_run"] = scriptCount * kCallsPerRun;
}

void BM_SetHREG_OneScript(benchmark::State& state)
{
    RunScripts(state, 1);
}

void BM_SetHREG_FourScripts(benchmark::State& state)
{
    RunScripts(state, 4);
}

void BM_EmptyScript(benchmark::State& state)
{
    SRig rig(1, "");
    for (auto _ : state)
        rig.RunOnce();
}

BENCHMARK(BM_SetHREG_OneScript)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SetHREG_FourScripts)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EmptyScript)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    korvex::PrepareScriptEnvironment();
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
