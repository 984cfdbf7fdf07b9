// Frames per second through the receive hook, the drain, the decoder and the
// request handler: a read of 10 holding registers, answered; a read of 125
// holding registers from a device of 125 and of 65,536 holding registers; and
// the time to open a device file of 65,536 cells.

#include "core/CDevDoc.h"
#include "core/CDocTemplate.h"
#include "core/CKorvexApp.h"
#include "core/CQueuePoster.h"
#include "core/Crc16.h"
#include "core/ITransmitter.h"
#include "files/CPrjManager.h"

#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace korvex;

class CCountingTx final : public ITransmitter
{
public:
    bool Write(const std::uint8_t*, std::uint32_t) override
    {
        ++frames;
        return true;
    }
    std::int64_t frames{ 0 };
};

// A hub whose transmitter counts frames and whose log counts lines, running.
struct SBenchHub
{
    CQueuePoster poster;
    CCountingTx tx;
    CKorvexApp app;
    std::int64_t lines{ 0 };

    SBenchHub()
    {
        app.SetPoster(&poster);
        app.SetTransmitter(&tx);
        app.SetLineSink([this](const CProtoFeed::Batch& batch) {
            lines += static_cast<std::int64_t>(batch.size());
        });
        app.SetRunning(true);
    }
};

// A read of count registers at start, answered, as one iteration.
void RunRequests(benchmark::State& state, SBenchHub& hub, std::uint16_t start, std::uint16_t count)
{
    std::vector<std::uint8_t> req = { 0x01,
                                      0x03,
                                      static_cast<std::uint8_t>(start >> 8),
                                      static_cast<std::uint8_t>(start & 0xFF),
                                      static_cast<std::uint8_t>(count >> 8),
                                      static_cast<std::uint8_t>(count & 0xFF) };
    const std::uint16_t crc = Crc16(req.data(), 6);
    req.push_back(static_cast<std::uint8_t>(crc >> 8));
    req.push_back(static_cast<std::uint8_t>(crc & 0xFF));

    const std::int64_t before = hub.tx.frames;
    for (auto _ : state) {
        hub.app.OnReceive(req.data(), static_cast<std::uint32_t>(req.size()));
        hub.poster.Pump();
    }
    if (hub.tx.frames - before != static_cast<std::int64_t>(state.iterations()))
        state.SkipWithError("a request went unanswered");
    state.SetItemsProcessed(state.iterations());
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// cellsPerKind cells of each kind; the ten requested registers are the last
// ten holding registers of the list.
void RunReadRegisters(benchmark::State& state, int cellsPerKind)
{
    SBenchHub hub;
    CDevDoc dev(hub.app);
    dev.SetDevId("BENCH");
    dev.SetDevAddr(1);
    for (std::int32_t type : { COIL, DINP, HREG, IREG })
        for (int a = 0; a < cellsPerKind; ++a)
            dev.AddItem(type, "C" + std::to_string(a), "cell", static_cast<std::uint16_t>(a),
                        ACCESS_RW, 0, 65535, static_cast<std::uint16_t>(a));
    RunRequests(state, hub, static_cast<std::uint16_t>(cellsPerKind - 10), 10);
}

void BM_Read10Registers_10Cells(benchmark::State& state)
{
    RunReadRegisters(state, 10);
}

void BM_Read10Registers_10000Cells(benchmark::State& state)
{
    RunReadRegisters(state, 10000);
}

// A device of `registers` holding registers at 0.. and as many input
// registers; the read asks for the last 125 holding registers.
void RunRead125(benchmark::State& state, int registers)
{
    SBenchHub hub;
    CDevDoc dev(hub.app);
    dev.SetDevId("BENCH");
    dev.SetDevAddr(1);
    for (std::int32_t type : { IREG, HREG })
        for (int a = 0; a < registers; ++a)
            dev.AddItem(type, "R" + std::to_string(a), "register", static_cast<std::uint16_t>(a),
                        ACCESS_RW, 0, 65535, static_cast<std::uint16_t>(a));
    RunRequests(state, hub, static_cast<std::uint16_t>(registers - 125), 125);
}

void BM_Read125Registers_Of125(benchmark::State& state)
{
    RunRead125(state, 125);
}

void BM_Read125Registers_Of65536(benchmark::State& state)
{
    RunRead125(state, 65536);
}

// Opening a device file of 65,536 holding registers through the device
// template, as a project does.
void BM_OpenDeviceFile_65536Cells(benchmark::State& state)
{
    char folder[] = "/tmp/korvex-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string path = std::string(folder) + "/big.kvxd";
    {
        std::string text = "BIG\t1\r\n";
        for (int a = 0; a < 65536; ++a)
            text += "HREG\tregister " + std::to_string(a) + "\tR" + std::to_string(a) + "\t" +
                    std::to_string(a) + "\tRW\t0-65535\t" + std::to_string(a % 1000) + "\r\n";
        FILE* file = std::fopen(path.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), file);
        std::fclose(file);
    }

    SBenchHub hub;
    CPrjManager prj(hub.app);
    for (auto _ : state) {
        auto* doc = static_cast<CDevDoc*>(prj.GetDevTemplate().OpenDocumentFile(path));
        if (doc == nullptr || doc->GetItemCount() != 65536) {
            state.SkipWithError("the file did not open");
            break;
        }
        state.PauseTiming();
        prj.GetDevTemplate().CloseDocument(doc);
        hub.poster.Pump();
        state.ResumeTiming();
    }
    std::remove(path.c_str());
    rmdir(folder);
}

BENCHMARK(BM_Read10Registers_10Cells);
BENCHMARK(BM_Read10Registers_10000Cells);
BENCHMARK(BM_Read125Registers_Of125);
BENCHMARK(BM_Read125Registers_Of65536);
BENCHMARK(BM_OpenDeviceFile_65536Cells)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
