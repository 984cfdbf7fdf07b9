// Frames per second through the receive hook, the drain, the decoder and the
// request handler: a read of 10 holding registers, answered.

#include "core/CDevDoc.h"
#include "core/CKorvexApp.h"
#include "core/CQueuePoster.h"
#include "core/Crc16.h"
#include "core/ITransmitter.h"

#include <benchmark/benchmark.h>

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

// cellsPerKind cells of each kind; the ten requested registers are the last
// ten holding registers of the list.
void RunReadRegisters(benchmark::State& state, int cellsPerKind)
{
    CQueuePoster poster;
    CCountingTx tx;
    CKorvexApp app;
    app.SetPoster(&poster);
    app.SetTransmitter(&tx);
    std::int64_t lines = 0;
    app.GetFeed().SetSink([&lines](const CProtoFeed::Batch& batch) {
        lines += static_cast<std::int64_t>(batch.size());
    });
    app.SetRunning(true);

    CDevDoc dev(app);
    dev.SetDevId("BENCH");
    dev.SetDevAddr(1);
    for (std::int32_t type : { COIL, DINP, HREG, IREG })
        for (int a = 0; a < cellsPerKind; ++a)
            dev.AddItem(type, "C" + std::to_string(a), "cell", static_cast<std::uint16_t>(a),
                        ACCESS_RW, 0, 65535, static_cast<std::uint16_t>(a));

    const std::uint16_t start = static_cast<std::uint16_t>(cellsPerKind - 10);
    std::vector<std::uint8_t> req = {
        0x01, 0x03, static_cast<std::uint8_t>(start >> 8), static_cast<std::uint8_t>(start & 0xFF),
        0x00, 0x0A
    };
    const std::uint16_t crc = Crc16(req.data(), 6);
    req.push_back(static_cast<std::uint8_t>(crc >> 8));
    req.push_back(static_cast<std::uint8_t>(crc & 0xFF));

    for (auto _ : state) {
        app.OnReceive(req.data(), static_cast<std::uint32_t>(req.size()));
        poster.Pump();
    }
    if (tx.frames != static_cast<std::int64_t>(state.iterations()))
        state.SkipWithError("a request went unanswered");
    state.SetItemsProcessed(state.iterations());
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Read10Registers_10Cells(benchmark::State& state)
{
    RunReadRegisters(state, 10);
}

void BM_Read10Registers_10000Cells(benchmark::State& state)
{
    RunReadRegisters(state, 10000);
}

BENCHMARK(BM_Read10Registers_10Cells);
BENCHMARK(BM_Read10Registers_10000Cells);

} // namespace

BENCHMARK_MAIN();
