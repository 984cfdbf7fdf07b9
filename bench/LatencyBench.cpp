// Round-trip latency of a libmodbus master reading 10 holding registers from
// korvex-cli run on a virtual port: median, 99th percentile and requests per
// second over 2000 requests, at 9600 and at 115200 baud.
//
// usage: korvex_bench_latency PATH-TO-korvex-cli

#include "support/CChildProcess.h"
#include "support/TempDir.h"

#include <modbus/modbus.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace korvex::test;
using Clock = std::chrono::steady_clock;

std::string BenchDevice()
{
    std::string text = "BENCH\t1\r\n";
    for (int a = 0; a < 10; ++a)
        text += "HREG\treg\tH" + std::to_string(a) + "\t" + std::to_string(a) + "\tRW\t0-65535\t" +
                std::to_string(a) + "\r\n";
    return text;
}

int RunAt(const std::string& cli, int baud, int requests)
{
    CTempDir dir;
    const std::string device = dir.Write("bench.kvxd", BenchDevice());
    CChildProcess proc(
        cli, { "run", "--virtual=" + dir.File("port"), "--baud", std::to_string(baud), device });
    if (proc.WaitForLine([](const std::string& l) { return l.rfind("V\t", 0) == 0; }).empty()) {
        std::fprintf(stderr, "korvex-cli did not start: %s\n", proc.Stderr().c_str());
        return 1;
    }
    modbus_t* ctx = modbus_new_rtu(dir.File("port").c_str(), baud, 'N', 8, 1);
    modbus_set_slave(ctx, 1);
    modbus_set_response_timeout(ctx, 1, 0);
    if (modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "connect: %s\n", modbus_strerror(errno));
        return 1;
    }
    modbus_flush(ctx);

    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(requests));
    int failures = 0;
    const auto start = Clock::now();
    for (int i = 0; i < requests; ++i) {
        std::uint16_t regs[10];
        const auto t0 = Clock::now();
        if (modbus_read_registers(ctx, 0, 10, regs) != 10)
            ++failures;
        micros.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    modbus_close(ctx);
    modbus_free(ctx);
    proc.Signal(SIGTERM);
    proc.Wait();

    std::sort(micros.begin(), micros.end());
    const double median = micros[micros.size() / 2];
    const double p99 = micros[micros.size() * 99 / 100];
    std::printf("baud %6d: %d requests, %d failed, median %.1f us, p99 %.1f us, %.0f requests/s\n",
                baud, requests, failures, median, p99, requests / seconds);
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvex_bench_latency PATH-TO-korvex-cli\n");
        return 2;
    }
    int rc = 0;
    for (int baud : { 9600, 115200 })
        rc |= RunAt(argv[1], baud, 2000);
    return rc;
}
