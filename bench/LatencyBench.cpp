// Round-trip latency of a libmodbus master reading 10 holding registers:
// median, 99th percentile and requests per second over 2000 requests.
// - korvex-cli run on its virtual port, at 9600 and at 115200 baud;
// - on one socat pseudo-terminal pair, korvex-cli run --port against a minimal
//   libmodbus slave (modbus_receive + modbus_reply) built here, in turns of
//   400 requests, and the ratio of their medians; then the virtual port's
//   median against the same libmodbus slave's.
//
// usage: korvex_bench_latency PATH-TO-korvex-cli

#include "BenchUtil.h"
#include "support/CChildProcess.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <fcntl.h>
#include <modbus/modbus.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace korvex::bench;
using namespace korvex::test;
using Clock = std::chrono::steady_clock;

// Round trips of one slave, gathered over one or more runs of the master.
struct SLatency
{
    std::vector<double> arMicros;
    double dSeconds{ 0 };
    int nFailures{ 0 };

    double Percentile(int p) const
    {
        std::vector<double> sorted = arMicros;
        std::sort(sorted.begin(), sorted.end());
        return sorted.empty() ? 0.0 : sorted[sorted.size() * static_cast<std::size_t>(p) / 100];
    }
    double Median() const { return Percentile(50); }
};

// A libmodbus master on path: 100 requests to warm up, then the measured ones,
// added to out.
bool Measure(const std::string& path, int baud, int requests, SLatency& out)
{
    modbus_t* ctx = modbus_new_rtu(path.c_str(), baud, 'N', 8, 1);
    modbus_set_slave(ctx, 1);
    modbus_set_response_timeout(ctx, 1, 0);
    if (modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "connect %s: %s\n", path.c_str(), modbus_strerror(errno));
        modbus_free(ctx);
        return false;
    }
    modbus_flush(ctx);
    std::uint16_t regs[10];
    // The slave may still be starting: the first answer may take a while.
    bool ready = false;
    for (int i = 0; i < 50 && !ready; ++i)
        ready = modbus_read_registers(ctx, 0, 10, regs) == 10;
    for (int i = 0; i < 100; ++i)
        modbus_read_registers(ctx, 0, 10, regs);

    const auto start = Clock::now();
    for (int i = 0; i < requests; ++i) {
        const auto t0 = Clock::now();
        if (modbus_read_registers(ctx, 0, 10, regs) != 10 || regs[9] != 9)
            ++out.nFailures;
        out.arMicros.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    out.dSeconds += std::chrono::duration<double>(Clock::now() - start).count();
    modbus_close(ctx);
    modbus_free(ctx);
    return ready;
}

void Print(const char* what, const SLatency& l)
{
    std::printf("%-34s %zu requests, %d failed, median %.1f us, p99 %.1f us, %.0f requests/s\n",
                what, l.arMicros.size(), l.nFailures, l.Median(), l.Percentile(99),
                static_cast<double>(l.arMicros.size()) / l.dSeconds);
}

int RunAt(const std::string& cli, int baud, int requests, double* median = nullptr)
{
    CTempDir dir;
    const std::string device = dir.Write("bench.kvxd", BenchDevice());
    CChildProcess proc(
        cli, { "run", "--virtual=" + dir.File("port"), "--baud", std::to_string(baud), device });
    if (proc.WaitForLine([](const std::string& l) { return l.rfind("V\t", 0) == 0; }).empty()) {
        std::fprintf(stderr, "korvex-cli did not start: %s\n", proc.Stderr().c_str());
        return 1;
    }
    SLatency l;
    const bool ok = Measure(dir.File("port"), baud, requests, l);
    proc.Signal(SIGTERM);
    proc.Wait();
    const std::string what = "virtual port, baud " + std::to_string(baud) + ":";
    Print(what.c_str(), l);
    if (median != nullptr)
        *median = l.Median();
    return ok && l.nFailures == 0 ? 0 : 1;
}

// The reference: libmodbus's own slave loop, holding registers 0..9 = 0..9.
class CModbusSlave
{
public:
    explicit CModbusSlave(const std::string& path)
    {
        m_ctx = modbus_new_rtu(path.c_str(), 115200, 'N', 8, 1);
        m_map = modbus_mapping_new(0, 0, 10, 0);
        for (int a = 0; a < 10; ++a)
            m_map->tab_registers[a] = static_cast<std::uint16_t>(a);
        modbus_set_slave(m_ctx, 1);
        // A receive that waits in vain returns now and then, so that the
        // loop sees the stop.
        modbus_set_indication_timeout(m_ctx, 0, 200000);
        m_bOpen = modbus_connect(m_ctx) == 0;
        if (m_bOpen)
            m_thread = std::thread([this] { Serve(); });
    }
    ~CModbusSlave()
    {
        m_bStop.store(true);
        if (m_thread.joinable())
            m_thread.join();
        modbus_close(m_ctx);
        modbus_mapping_free(m_map);
        modbus_free(m_ctx);
    }
    bool IsOpen() const { return m_bOpen; }

private:
    void Serve()
    {
        std::uint8_t query[MODBUS_RTU_MAX_ADU_LENGTH];
        while (!m_bStop.load()) {
            const int rc = modbus_receive(m_ctx, query);
            if (rc > 0)
                modbus_reply(m_ctx, query, rc, m_map);
        }
    }

    modbus_t* m_ctx{ nullptr };
    modbus_mapping_t* m_map{ nullptr };
    bool m_bOpen{ false };
    std::atomic<bool> m_bStop{ false };
    std::thread m_thread;
};

// korvex-cli run --port and the libmodbus slave, one after the other on the
// same socat pair: the master opens one end, the slave the other.
int RunSocatPair(const std::string& cli, int requests, double& referenceMedian)
{
    CTempDir dir;
    const std::string device = dir.Write("bench.kvxd", BenchDevice());
    const std::string slaveEnd = dir.File("slave");
    const std::string masterEnd = dir.File("master");
    CChildProcess socat("/usr/bin/socat",
                        { "pty,raw,echo=0,link=" + slaveEnd, "pty,raw,echo=0,link=" + masterEnd });
    if (!WaitForPath(slaveEnd) || !WaitForPath(masterEnd)) {
        std::fprintf(stderr, "socat did not make the pair: %s\n", socat.Stderr().c_str());
        return 1;
    }

    // Rounds of each in turn, so that a change of the machine's load in
    // the course of the run touches both alike.
    constexpr int kRounds = 5;
    SLatency korvex;
    SLatency reference;
    bool ok = true;
    for (int round = 0; round < kRounds && ok; ++round) {
        // Its lines go to /dev/null, as they would go to a file: a reader of
        // a pipe in this process would compete for the two cores.
        const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
        const pid_t pid = SpawnProcess(
            cli, { "run", "--port", slaveEnd, "--baud", "115200", device }, -1, devNull, -1);
        close(devNull);
        ok = pid > 0 && Measure(masterEnd, 115200, requests / kRounds, korvex);
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        if (!ok) {
            std::fprintf(stderr, "korvex-cli did not answer\n");
            break;
        }
        CModbusSlave slave(slaveEnd);
        ok = slave.IsOpen() && Measure(masterEnd, 115200, requests / kRounds, reference);
    }
    socat.Signal(SIGTERM);
    socat.Wait();

    Print("socat pair, korvex-cli run --port:", korvex);
    Print("socat pair, libmodbus slave:", reference);
    std::printf("socat pair, median korvex / libmodbus: %.2f\n",
                korvex.Median() / reference.Median());
    referenceMedian = reference.Median();
    return ok && korvex.nFailures == 0 && reference.nFailures == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: korvex_bench_latency PATH-TO-korvex-cli\n");
        return 2;
    }
    int rc = 0;
    double reference = 0;
    rc |= RunSocatPair(argv[1], 2000, reference);
    rc |= RunAt(argv[1], 9600, 2000);
    double virtualPort = 0;
    rc |= RunAt(argv[1], 115200, 2000, &virtualPort);
    if (reference > 0)
        std::printf("virtual port (115200) median / libmodbus slave's on the socat pair: %.2f\n",
                    virtualPort / reference);
    return rc;
}
