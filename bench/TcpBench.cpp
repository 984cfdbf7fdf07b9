// Modbus TCP throughput and round trips: 1, 8 and 64 libmodbus masters, each
// reading 10 holding registers in a loop for 3 s, three rounds in turn against
// korvex-cli run --tcp (its protocol lines printed, as by default, to a pipe
// that is read) and against a minimal libmodbus TCP server over the same map
// (listen, select, modbus_receive + modbus_reply). Each server is a process of
// its own: this program started again with --libmodbus-server runs the
// second. Requests per second and the round trip's median and 99th
// percentile for each, the medians of the rounds.
//
// usage: korvex_bench_tcp PATH-TO-korvex-cli

#include "support/CChildProcess.h"
#include "support/TempDir.h"

#include <arpa/inet.h>
#include <modbus/modbus.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/select.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace korvex::test;
using Clock = std::chrono::steady_clock;

constexpr auto kDuration = std::chrono::seconds(3);
constexpr const char* kServerOption = "--libmodbus-server";
constexpr int kRounds = 3;

struct SResult
{
    double dRate{ 0 };
    double dP50{ 0 };
    double dP99{ 0 };
    int nFailures{ 0 };
};

SResult Run(int port, int masters)
{
    std::vector<double> micros;
    std::mutex csMicros;
    std::atomic<int> failures{ 0 };
    std::atomic<long> requests{ 0 };
    std::vector<std::thread> threads;
    const auto end = Clock::now() + kDuration;
    for (int t = 0; t < masters; ++t)
        threads.emplace_back([&] {
            modbus_t* ctx = modbus_new_tcp("127.0.0.1", port);
            modbus_set_slave(ctx, 1);
            modbus_set_response_timeout(ctx, 2, 0);
            if (modbus_connect(ctx) != 0) {
                ++failures;
                modbus_free(ctx);
                return;
            }
            std::vector<double> mine;
            std::uint16_t regs[10];
            while (Clock::now() < end) {
                const auto t0 = Clock::now();
                if (modbus_read_registers(ctx, 0, 10, regs) != 10 || regs[9] != 9)
                    ++failures;
                mine.push_back(
                    std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
            }
            requests += static_cast<long>(mine.size());
            modbus_close(ctx);
            modbus_free(ctx);
            std::lock_guard lock(csMicros);
            micros.insert(micros.end(), mine.begin(), mine.end());
        });
    for (auto& t : threads)
        t.join();
    std::sort(micros.begin(), micros.end());
    SResult r;
    r.nFailures = failures.load();
    r.dRate =
        static_cast<double>(requests.load()) / std::chrono::duration<double>(kDuration).count();
    if (!micros.empty()) {
        r.dP50 = micros[micros.size() / 2];
        r.dP99 = micros[micros.size() * 99 / 100];
    }
    return r;
}

// Each figure's median over the rounds; failures add up.
SResult Median(std::vector<SResult> results)
{
    auto median = [&results](double SResult::*field) {
        std::vector<double> values;
        for (const SResult& r : results)
            values.push_back(r.*field);
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    SResult m;
    m.dRate = median(&SResult::dRate);
    m.dP50 = median(&SResult::dP50);
    m.dP99 = median(&SResult::dP99);
    for (const SResult& r : results)
        m.nFailures += r.nFailures;
    return m;
}

// The minimal libmodbus TCP server: holding registers 0..19 = 0..19.
class CLibmodbusServer
{
public:
    CLibmodbusServer()
    {
        m_pCtx = modbus_new_tcp("127.0.0.1", 0);
        m_pMap = modbus_mapping_new(0, 0, 20, 0);
        for (int i = 0; i < 20; ++i)
            m_pMap->tab_registers[i] = static_cast<std::uint16_t>(i);
        m_nListen = modbus_tcp_listen(m_pCtx, 64);
        sockaddr_in addr{};
        socklen_t len = sizeof addr;
        getsockname(m_nListen, reinterpret_cast<sockaddr*>(&addr), &len);
        m_nPort = ntohs(addr.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CLibmodbusServer()
    {
        m_bStop = true;
        m_thread.join();
        close(m_nListen);
        modbus_mapping_free(m_pMap);
        modbus_free(m_pCtx);
    }
    int Port() const { return m_nPort; }

private:
    void Serve()
    {
        fd_set all;
        FD_ZERO(&all);
        FD_SET(m_nListen, &all);
        int top = m_nListen;
        std::uint8_t query[MODBUS_TCP_MAX_ADU_LENGTH];
        while (!m_bStop) {
            fd_set ready = all;
            timeval tv{ 0, 100000 };
            if (select(top + 1, &ready, nullptr, nullptr, &tv) <= 0)
                continue;
            for (int fd = 0; fd <= top; ++fd) {
                if (!FD_ISSET(fd, &ready))
                    continue;
                if (fd == m_nListen) {
                    const int client = accept(m_nListen, nullptr, nullptr);
                    if (client >= 0) {
                        FD_SET(client, &all);
                        top = std::max(top, client);
                    }
                    continue;
                }
                modbus_set_socket(m_pCtx, fd);
                const int n = modbus_receive(m_pCtx, query);
                if (n > 0) {
                    modbus_reply(m_pCtx, query, n, m_pMap);
                } else if (n == -1) {
                    close(fd);
                    FD_CLR(fd, &all);
                }
            }
        }
    }

    modbus_t* m_pCtx{ nullptr };
    modbus_mapping_t* m_pMap{ nullptr };
    int m_nListen{ -1 };
    int m_nPort{ 0 };
    std::atomic<bool> m_bStop{ false };
    std::thread m_thread;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::string(argv[1]) == kServerOption) {
        CLibmodbusServer libmodbus;
        std::printf("%d\n", libmodbus.Port());
        std::fflush(stdout);
        for (;;)
            pause(); // until SIGTERM
    }
    if (argc < 2) {
        std::fprintf(stderr, "usage: korvex_bench_tcp PATH-TO-korvex-cli\n");
        return 2;
    }
    signal(SIGPIPE, SIG_IGN);
    CTempDir dir;
    std::string device = "BENCH\t1\r\n";
    for (int a = 0; a < 20; ++a)
        device += "HREG\tr\tH" + std::to_string(a) + "\t" + std::to_string(a) + "\tRW\t0-65535\t" +
                  std::to_string(a) + "\r\n";
    const std::string file = dir.Write("bench.kvxd", device);
    CChildProcess cli(argv[1], { "run", "--tcp=127.0.0.1:0", file });
    const std::string line =
        cli.WaitForLine([](const std::string& l) { return l.starts_with("N\t"); });
    if (line.empty()) {
        std::fprintf(stderr, "korvex-cli did not start: %s\n", cli.Stderr().c_str());
        return 1;
    }
    const int korvexPort = std::stoi(line.substr(line.rfind(':') + 1));
    // Its lines are read as they come and not kept.
    cli.DiscardOutput();
    CChildProcess server(argv[0], { kServerOption });
    const std::string portLine =
        server.WaitForLine([](const std::string& l) { return !l.empty(); });
    if (portLine.empty()) {
        std::fprintf(stderr, "the libmodbus server did not start: %s\n", server.Stderr().c_str());
        return 1;
    }
    const int libmodbusPort = std::stoi(portLine);

    bool ok = true;
    // A shared machine's figures wander from one run to the next: the two
    // servers take turns, kRounds times each, and each figure is the median.
    for (const int masters : { 1, 8, 64 }) {
        std::vector<SResult> k;
        std::vector<SResult> l;
        for (int round = 0; round < kRounds; ++round) {
            k.push_back(Run(korvexPort, masters));
            // korvex-cli's lines are written out before the other server runs.
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            l.push_back(Run(libmodbusPort, masters));
        }
        const SResult km = Median(k);
        const SResult lm = Median(l);
        std::printf("%2d masters: korvex-cli %8.0f requests/s, p50 %6.1f us, p99 %7.1f us; "
                    "libmodbus %8.0f requests/s, p50 %6.1f us, p99 %7.1f us; "
                    "throughput ratio %.2f, p99 ratio %.2f\n",
                    masters, km.dRate, km.dP50, km.dP99, lm.dRate, lm.dP50, lm.dP99,
                    lm.dRate > 0 ? km.dRate / lm.dRate : 0.0,
                    lm.dP99 > 0 ? km.dP99 / lm.dP99 : 0.0);
        std::fflush(stdout);
        if (km.nFailures != 0 || lm.nFailures != 0) {
            std::printf("  failures: korvex-cli %d, libmodbus %d\n", km.nFailures, lm.nFailures);
            ok = false;
        }
    }
    cli.Signal(SIGTERM);
    cli.Wait();
    server.Signal(SIGTERM);
    server.Wait();
    return ok ? 0 : 1;
}
