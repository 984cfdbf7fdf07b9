// Importing a register map of 65,536 rows (every holding register, one in
// eight a float32 over two): reading the CSV with all its checks, then adding
// the cells and views to a device. The goal is well under 2 seconds.

#include "core/CDevDoc.h"
#include "core/CKorvexApp.h"
#include "core/CQueuePoster.h"
#include "files/RegisterMap.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

using namespace korvex;

std::string BigMap()
{
    std::string text = "kind,address,id,description,access,min,max,value,type\n";
    for (int a = 0; a < 65536;) {
        if (a % 16 == 0) {
            text += "HREG," + std::to_string(a) + ",F" + std::to_string(a) +
                    ",\"flow, m3/h\",RW,-100,100," + std::to_string(a % 100) + ".5,float32:CDAB\n";
            a += 2;
        } else {
            text += "HREG," + std::to_string(a) + ",,register " + std::to_string(a) +
                    ",RW,0,65535," + std::to_string(a % 1000) + ",uint16\n";
            a += 1;
        }
    }
    return text;
}

void BM_ImportMap_65536Rows(benchmark::State& state)
{
    const std::string map = BigMap();
    CQueuePoster poster;
    CKorvexApp app;
    app.SetPoster(&poster);
    for (auto _ : state) {
        const SMapReadResult result = ReadRegisterMap(map, "big.csv");
        if (!result.arErrors.empty() || result.map.arCells.size() != 65536) {
            state.SkipWithError("the map did not read");
            break;
        }
        auto dev = std::make_unique<CDevDoc>(app);
        ApplyRegisterMap(*dev, result.map);
        state.PauseTiming();
        dev.reset();
        poster.Pump();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ImportMap_65536Rows)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
