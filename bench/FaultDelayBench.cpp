// The delay fault as a libmodbus master sees it, against korvex-cli run on a
// virtual port: SLOW (address 1) has a delay rule, FAST (address 2) none.
//  1. round trips to SLOW with delay=50 and with delay=20-80: min, median, max;
//  2. a request to SLOW left waiting while FAST is asked: FAST's answer is not
//     held back by SLOW's delay, SLOW's comes when its delay is over.
//
// usage: korvex_bench_fault_delay PATH-TO-korvex-cli

#include "support/CChildProcess.h"
#include "support/TempDir.h"

#include <modbus/modbus.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using namespace korvex::test;
using Clock = std::chrono::steady_clock;

const std::string kSlow = "SLOW\t1\r\nHREG\treg\tS0\t0\tRW\t0-65535\t11\r\n";
const std::string kFast = "FAST\t2\r\nHREG\treg\tF0\t0\tRW\t0-65535\t22\r\n";

double Millis(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

void Report(const char* what, std::vector<double> ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("%-34s %4zu answers: min %7.2f ms, median %7.2f ms, max %7.2f ms\n", what,
                ms.size(), ms.front(), ms[ms.size() / 2], ms.back());
}

int Run(const std::string& cli, const std::string& rule, int requests)
{
    CTempDir dir;
    CChildProcess proc(cli, { "run", "--virtual=" + dir.File("port"), "--baud", "115200", "--fault",
                              "SLOW:" + rule, dir.Write("slow.kvxd", kSlow),
                              dir.Write("fast.kvxd", kFast) });
    if (proc.WaitForLine([](const std::string& l) { return l.rfind("V\t", 0) == 0; }).empty()) {
        std::fprintf(stderr, "korvex-cli did not start: %s\n", proc.Stderr().c_str());
        return 1;
    }
    modbus_t* ctx = modbus_new_rtu(dir.File("port").c_str(), 115200, 'N', 8, 1);
    modbus_set_response_timeout(ctx, 1, 0);
    if (modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "connect: %s\n", modbus_strerror(errno));
        return 1;
    }
    modbus_flush(ctx);

    int failures = 0;
    std::vector<double> slow;
    modbus_set_slave(ctx, 1);
    for (int i = 0; i < requests; ++i) {
        std::uint16_t reg = 0;
        const auto t0 = Clock::now();
        if (modbus_read_registers(ctx, 0, 1, &reg) == 1 && reg == 11)
            slow.push_back(Millis(Clock::now() - t0));
        else
            ++failures;
    }

    // SLOW is asked first and left waiting; FAST answers meanwhile.
    std::vector<double> fastWhileWaiting;
    std::vector<double> slowBehind;
    std::uint8_t request[] = { 0x01, 0x03, 0x00, 0x00, 0x00, 0x01 };
    for (int i = 0; i < requests; ++i) {
        const auto t0 = Clock::now();
        modbus_set_slave(ctx, 1);
        modbus_send_raw_request(ctx, request, sizeof request);
        modbus_set_slave(ctx, 2);
        std::uint16_t reg = 0;
        if (modbus_read_registers(ctx, 0, 1, &reg) == 1 && reg == 22)
            fastWhileWaiting.push_back(Millis(Clock::now() - t0));
        else
            ++failures;
        modbus_set_slave(ctx, 1);
        std::uint8_t answer[MODBUS_RTU_MAX_ADU_LENGTH];
        if (modbus_receive_confirmation(ctx, answer) == 7)
            slowBehind.push_back(Millis(Clock::now() - t0));
        else
            ++failures;
    }
    modbus_close(ctx);
    modbus_free(ctx);
    proc.Signal(SIGTERM);
    proc.Wait();

    std::printf("SLOW:%s, FAST without faults, %d requests each, %d failed\n", rule.c_str(),
                requests, failures);
    if (!slow.empty())
        Report("  SLOW round trip", slow);
    if (!fastWhileWaiting.empty())
        Report("  FAST while SLOW's answer waits", fastWhileWaiting);
    if (!slowBehind.empty())
        Report("  SLOW's answer behind it", slowBehind);
    return failures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvex_bench_fault_delay PATH-TO-korvex-cli\n");
        return 2;
    }
    int rc = 0;
    for (const char* rule : { "delay=50", "delay=20-80" })
        rc |= Run(argv[1], rule, 100);
    return rc;
}
