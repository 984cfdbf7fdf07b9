// Soak: a libmodbus master sends 1,000,000 requests (by default) through the
// virtual port of korvex-cli run: reads and writes of coils, discrete inputs,
// holding and input registers (function codes 1, 2, 3, 4, 5, 6, 15, 16) and
// read exception status (7), mixed at random. Every request must be answered
// once with the data a model of the device predicts, and the resident memory
// of korvex-cli at the end must lie within 10% of that after the first
// 20,000 requests.
//
// Two rules of the framing make some requests go unanswered on any line, and
// the soak draws such a request again (and counts it), so that what it checks
// is the emulator over a long run, not those rules: framing takes the first
// prefix of the received bytes whose CRC matches, so a request in which a
// shorter prefix happens to be followed by its own CRC is cut there (with
// random data about one write of 115 registers in 300); and a frame equal to
// the emulator's last transmission is taken for the line's echo of it, so a
// single write repeated right after its answer is not answered.
//
// The TCP leg then sends as many requests over Modbus TCP from 8 libmodbus
// masters at once, each to a device of its own with its own model, and checks
// every answer and the memory the same way.
//
// usage: korvex_bench_soak PATH-TO-korvex-cli [REQUESTS]

#include "BenchUtil.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <modbus/modbus.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace korvex::bench;
using namespace korvex::test;
using Clock = std::chrono::steady_clock;

constexpr int kCells = 200;      // addresses 0..199 of every kind
constexpr int kRssAfter = 20000; // the first memory figure
constexpr std::uint8_t kExceptionStatus = 0x20;

// Discrete inputs and input registers keep the values of the file; coils
// and holding registers follow the master's writes.
struct SModel
{
    std::array<std::uint8_t, kCells> coils{};
    std::array<std::uint8_t, kCells> inputs{};
    std::array<std::uint16_t, kCells> hregs{};
    std::array<std::uint16_t, kCells> iregs{};
};

std::string DeviceFile(SModel& model, int addr = 1)
{
    std::string text = "SOAK" + (addr == 1 ? std::string() : std::to_string(addr)) + "\t" +
                       std::to_string(addr) + "\r\n";
    const auto line = [&text](const char* type, int a, const char* bounds, unsigned value) {
        text += std::string(type) + "\tcell\t" + type + std::to_string(a) + "\t" +
                std::to_string(a) + "\tRW\t" + bounds + "\t" + std::to_string(value) + "\r\n";
    };
    for (int a = 0; a < kCells; ++a) {
        model.coils[a] = static_cast<std::uint8_t>(a % 3 == 0);
        model.inputs[a] = static_cast<std::uint8_t>(a % 2);
        model.hregs[a] = static_cast<std::uint16_t>(a * 7);
        model.iregs[a] = static_cast<std::uint16_t>(40000 + a);
        line("COIL", a, "0-1", model.coils[a]);
        line("DINP", a, "0-1", model.inputs[a]);
        line("HREG", a, "0-65535", model.hregs[a]);
        line("IREG", a, "0-65535", model.iregs[a]);
    }
    return text;
}

long ResidentKb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
        status.ignore(1 << 16, '\n');
    }
    return -1;
}

class CSoak
{
public:
    CSoak(modbus_t* ctx, SModel& model) : m_ctx(ctx), m_model(model) {}

    // One request of a random kind; false, with a message, when the answer
    // is missing or wrong.
    bool Step()
    {
        const int kind = Pick(9);
        ++m_counts[kind];
        bool ok = false;
        switch (kind) {
        case 0: ok = ReadBits(false); break;
        case 1: ok = ReadBits(true); break;
        case 2: ok = ReadRegisters(false); break;
        case 3: ok = ReadRegisters(true); break;
        case 4: ok = WriteCoil(); break;
        case 5: ok = WriteRegister(); break;
        case 6: ok = WriteCoils(); break;
        case 7: ok = WriteRegisters(); break;
        default: ok = ReadExceptionStatus(); break;
        }
        // The answer to a single write is the request itself.
        m_lastAnswer.clear();
        if (kind == 4 || kind == 5)
            m_lastAnswer = m_request;
        return ok;
    }
    const std::array<long, 9>& Counts() const { return m_counts; }
    long CutByCrc() const { return m_nCutByCrc; }
    long Echoes() const { return m_nEcho; }
    const std::string& Error() const { return m_strError; }

private:
    int Pick(int n) { return static_cast<int>(m_random() % static_cast<unsigned>(n)); }
    // A start and a count inside the cells.
    void Range(int maxCount, int& start, int& count)
    {
        count = 1 + Pick(maxCount);
        start = Pick(kCells - count + 1);
    }
    static std::uint16_t CrcStep(std::uint16_t crc, std::uint8_t byte)
    {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) != 0 ? static_cast<std::uint16_t>((crc >> 1) ^ 0xA001)
                                 : static_cast<std::uint16_t>(crc >> 1);
        return crc;
    }
    // Whether the request (function, start, count or value, the data of a
    // write) reaches the handlers whole: no shorter prefix of its frame is
    // followed by its CRC, and it is not the last answer again (a frame equal
    // to the emulator's last transmission is taken for the line's echo of
    // it). Else it counts as drawn again.
    bool Sendable(std::uint8_t fc, int start, int count, const std::vector<std::uint8_t>& data)
    {
        std::vector<std::uint8_t> frame = { 1,
                                            fc,
                                            static_cast<std::uint8_t>(start >> 8),
                                            static_cast<std::uint8_t>(start),
                                            static_cast<std::uint8_t>(count >> 8),
                                            static_cast<std::uint8_t>(count) };
        if (!data.empty())
            frame.push_back(static_cast<std::uint8_t>(data.size()));
        frame.insert(frame.end(), data.begin(), data.end());
        const std::size_t message = frame.size();
        std::uint16_t crc = 0xFFFF;
        for (std::size_t i = 0; i < message; ++i) {
            if (i > 0 && frame[i] == static_cast<std::uint8_t>(crc) &&
                (i + 1 < message ? frame[i + 1] : CrcLow(frame, message)) ==
                    static_cast<std::uint8_t>(crc >> 8)) {
                ++m_nCutByCrc;
                return false;
            }
            crc = CrcStep(crc, frame[i]);
        }
        frame.push_back(static_cast<std::uint8_t>(crc));
        frame.push_back(static_cast<std::uint8_t>(crc >> 8));
        if (frame == m_lastAnswer) {
            ++m_nEcho;
            return false;
        }
        m_request = std::move(frame);
        return true;
    }
    static std::uint8_t CrcLow(const std::vector<std::uint8_t>& frame, std::size_t message)
    {
        std::uint16_t crc = 0xFFFF;
        for (std::size_t i = 0; i < message; ++i)
            crc = CrcStep(crc, frame[i]);
        return static_cast<std::uint8_t>(crc);
    }
    bool Fail(const std::string& what)
    {
        m_strError = what + ": " + modbus_strerror(errno);
        return false;
    }

    bool ReadBits(bool inputs)
    {
        int start = 0, count = 0;
        do
            Range(120, start, count);
        while (!Sendable(inputs ? 2 : 1, start, count, {}));
        std::uint8_t bits[kCells];
        const int rc = inputs ? modbus_read_input_bits(m_ctx, start, count, bits)
                              : modbus_read_bits(m_ctx, start, count, bits);
        if (rc != count)
            return Fail(inputs ? "read discrete inputs" : "read coils");
        const auto& want = inputs ? m_model.inputs : m_model.coils;
        for (int i = 0; i < count; ++i)
            if (bits[i] != want[start + i])
                return Fail("wrong bit at " + std::to_string(start + i));
        return true;
    }
    bool ReadRegisters(bool inputs)
    {
        int start = 0, count = 0;
        do
            Range(125, start, count);
        while (!Sendable(inputs ? 4 : 3, start, count, {}));
        std::uint16_t regs[kCells];
        const int rc = inputs ? modbus_read_input_registers(m_ctx, start, count, regs)
                              : modbus_read_registers(m_ctx, start, count, regs);
        if (rc != count)
            return Fail(inputs ? "read input registers" : "read holding registers");
        const auto& want = inputs ? m_model.iregs : m_model.hregs;
        for (int i = 0; i < count; ++i)
            if (regs[i] != want[start + i])
                return Fail("wrong register at " + std::to_string(start + i));
        return true;
    }
    bool WriteCoil()
    {
        int addr = 0;
        int on = 0;
        do {
            addr = Pick(kCells);
            on = Pick(2);
        } while (!Sendable(5, addr, on != 0 ? 0xFF00 : 0, {}));
        if (modbus_write_bit(m_ctx, addr, on) != 1)
            return Fail("write coil");
        m_model.coils[addr] = static_cast<std::uint8_t>(on);
        return true;
    }
    bool WriteRegister()
    {
        int addr = 0;
        std::uint16_t value = 0;
        do {
            addr = Pick(kCells);
            value = static_cast<std::uint16_t>(m_random());
        } while (!Sendable(6, addr, value, {}));
        if (modbus_write_register(m_ctx, addr, value) != 1)
            return Fail("write register");
        m_model.hregs[addr] = value;
        return true;
    }
    bool WriteCoils()
    {
        int start = 0, count = 0;
        std::uint8_t bits[kCells];
        std::vector<std::uint8_t> packed;
        do {
            Range(120, start, count);
            packed.assign(static_cast<std::size_t>((count + 7) / 8), 0);
            for (int i = 0; i < count; ++i) {
                bits[i] = static_cast<std::uint8_t>(Pick(2));
                packed[static_cast<std::size_t>(i / 8)] |=
                    static_cast<std::uint8_t>(bits[i] << (i % 8));
            }
        } while (!Sendable(15, start, count, packed));
        if (modbus_write_bits(m_ctx, start, count, bits) != count)
            return Fail("write coils");
        for (int i = 0; i < count; ++i)
            m_model.coils[start + i] = bits[i];
        return true;
    }
    bool WriteRegisters()
    {
        int start = 0, count = 0;
        std::uint16_t regs[kCells];
        std::vector<std::uint8_t> bytes;
        do {
            Range(123, start, count);
            bytes.clear();
            for (int i = 0; i < count; ++i) {
                regs[i] = static_cast<std::uint16_t>(m_random());
                bytes.push_back(static_cast<std::uint8_t>(regs[i] >> 8));
                bytes.push_back(static_cast<std::uint8_t>(regs[i]));
            }
        } while (!Sendable(16, start, count, bytes));
        if (modbus_write_registers(m_ctx, start, count, regs) != count)
            return Fail("write registers");
        for (int i = 0; i < count; ++i)
            m_model.hregs[start + i] = regs[i];
        return true;
    }
    bool ReadExceptionStatus()
    {
        // libmodbus has no call for function 7: a raw request, with the CRC
        // or the MBAP header libmodbus adds.
        const auto unit = static_cast<std::uint8_t>(modbus_get_slave(m_ctx));
        const std::uint8_t raw[] = { unit, 0x07 };
        std::uint8_t rsp[MODBUS_TCP_MAX_ADU_LENGTH];
        if (modbus_send_raw_request(m_ctx, raw, 2) < 0)
            return Fail("send read exception status");
        const int rc = modbus_receive_confirmation(m_ctx, rsp);
        // Header (the address, or MBAP ending with the unit), function,
        // status, and on a line the CRC.
        const int header = modbus_get_header_length(m_ctx);
        const int expected = header + 2 + (header == 1 ? 2 : 0);
        if (rc != expected || rsp[header - 1] != unit || rsp[header] != 0x07 ||
            rsp[header + 1] != kExceptionStatus)
            return Fail("read exception status");
        return true;
    }

    modbus_t* m_ctx;
    SModel& m_model;
    std::mt19937 m_random{ 20260 };
    std::array<long, 9> m_counts{};
    long m_nCutByCrc{ 0 };
    long m_nEcho{ 0 };
    std::vector<std::uint8_t> m_request;
    std::vector<std::uint8_t> m_lastAnswer;
    std::string m_strError;
};

} // namespace

// A port on the loopback that nobody listens on now.
int FreePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    close(fd);
    return ntohs(addr.sin_port);
}

// 8 masters over Modbus TCP, requests in all.
bool TcpLeg(const char* cli, const CTempDir& dir, long requests)
{
    constexpr int kMasters = 8;
    std::vector<std::string> args = { "run" };
    const int port = FreePort();
    args.push_back("--tcp=127.0.0.1:" + std::to_string(port));
    std::array<SModel, kMasters> models;
    for (int m = 0; m < kMasters; ++m)
        args.push_back(
            dir.Write("tcp" + std::to_string(m) + ".kvxd", DeviceFile(models[m], m + 1)));
    const int devNull = open("/dev/null", O_WRONLY | O_CLOEXEC);
    const int errFile = open(dir.File("tcp-stderr").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const pid_t pid = SpawnProcess(cli, args, -1, devNull, errFile);
    close(devNull);
    close(errFile);

    std::atomic<long> done{ 0 };
    std::atomic<long> rssFirst{ -1 };
    std::atomic<bool> ok{ pid > 0 };
    std::mutex csError;
    const auto start = Clock::now();
    std::vector<std::thread> masters;
    for (int m = 0; m < kMasters; ++m)
        masters.emplace_back([&, m] {
            modbus_t* ctx = modbus_new_tcp("127.0.0.1", port);
            modbus_set_slave(ctx, m + 1);
            modbus_set_response_timeout(ctx, 2, 0);
            bool connected = false;
            for (int i = 0; i < 100 && !connected; ++i) {
                connected = modbus_connect(ctx) == 0;
                if (!connected)
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            CSoak soak(ctx, models[m]);
            for (long i = 0; connected && ok && i < requests / kMasters; ++i) {
                if (!soak.Step()) {
                    std::lock_guard lock(csError);
                    std::fprintf(stderr, "TCP master %d, request %ld: %s\n", m + 1, i + 1,
                                 soak.Error().c_str());
                    ok = false;
                }
                const long n = ++done;
                if (n == kRssAfter)
                    rssFirst = ResidentKb(pid);
                if (n % 100000 == 0) {
                    std::printf("TCP %7ld requests, %.0f s, resident %ld kB\n", n,
                                std::chrono::duration<double>(Clock::now() - start).count(),
                                ResidentKb(pid));
                    std::fflush(stdout);
                }
            }
            if (!connected)
                ok = false;
            modbus_close(ctx);
            modbus_free(ctx);
        });
    for (auto& t : masters)
        t.join();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const long rssEnd = ResidentKb(pid);
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    std::printf("TCP: %ld of %ld requests from %d masters answered right in %.1f s "
                "(%.0f requests/s)\n",
                done.load(), requests, kMasters, seconds, done.load() / seconds);
    const double growth = rssFirst > 0 ? 100.0 * (rssEnd - rssFirst) / rssFirst : 0.0;
    std::printf("TCP: resident memory after %d requests %ld kB, at the end %ld kB (%+.1f%%)\n",
                kRssAfter, rssFirst.load(), rssEnd, growth);
    if (rssFirst <= 0 || rssEnd > rssFirst + rssFirst / 10) {
        std::fprintf(stderr, "TCP: resident memory grew by more than 10%%\n");
        ok = false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "TCP: korvex-cli did not end cleanly: %s\n",
                     ReadBytes(dir.File("tcp-stderr")).c_str());
        ok = false;
    }
    return ok;
}

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: korvex_bench_soak PATH-TO-korvex-cli [REQUESTS]\n");
        return 2;
    }
    const long requests = argc == 3 ? std::atol(argv[2]) : 1000000;
    if (requests <= kRssAfter) {
        std::fprintf(stderr, "REQUESTS must be above %d\n", kRssAfter);
        return 2;
    }

    CTempDir dir;
    SModel model;
    const std::string device = dir.Write("soak.kvxd", DeviceFile(model));
    const std::string link = dir.File("port");
    // Its settings stay in the temporary folder; a million requests make
    // several million log lines, which nobody reads.
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    // KORVEX_SOAK_LOG names a file for korvex-cli's lines, to look into a failure.
    const char* log = std::getenv("KORVEX_SOAK_LOG");
    const int devNull = log != nullptr ? open(log, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600)
                                       : open("/dev/null", O_WRONLY | O_CLOEXEC);
    const int errFile = open(dir.File("stderr").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    const pid_t pid =
        SpawnProcess(argv[1], { "run", "--virtual=" + link, device }, -1, devNull, errFile);
    close(devNull);
    close(errFile);
    if (pid <= 0 || !WaitForPath(link)) {
        std::fprintf(stderr, "korvex-cli did not start\n");
        return 1;
    }

    modbus_t* ctx = modbus_new_rtu(link.c_str(), 115200, 'N', 8, 1);
    modbus_set_slave(ctx, 1);
    modbus_set_response_timeout(ctx, 1, 0);
    if (modbus_connect(ctx) != 0) {
        std::fprintf(stderr, "connect: %s\n", modbus_strerror(errno));
        return 1;
    }
    modbus_flush(ctx);

    CSoak soak(ctx, model);
    long rssFirst = -1;
    long done = 0;
    bool ok = true;
    const auto start = Clock::now();
    for (; done < requests; ++done) {
        if (!soak.Step()) {
            std::fprintf(stderr, "request %ld: %s\n", done + 1, soak.Error().c_str());
            ok = false;
            break;
        }
        if (done + 1 == kRssAfter)
            rssFirst = ResidentKb(pid);
        if ((done + 1) % 100000 == 0) {
            std::printf("%7ld requests, %.0f s, resident %ld kB\n", done + 1,
                        std::chrono::duration<double>(Clock::now() - start).count(),
                        ResidentKb(pid));
            std::fflush(stdout);
        }
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();

    // Nothing may follow the last answer: a second answer to any request
    // would still be on its way or waiting.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    pollfd pfd{ modbus_get_socket(ctx), POLLIN, 0 };
    if (ok && poll(&pfd, 1, 0) != 0) {
        std::fprintf(stderr, "bytes arrived after the last answer\n");
        ok = false;
    }
    const long rssEnd = ResidentKb(pid);
    modbus_close(ctx);
    modbus_free(ctx);
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);

    const auto& c = soak.Counts();
    std::printf("requests by function: 1:%ld 2:%ld 3:%ld 4:%ld 5:%ld 6:%ld 15:%ld 16:%ld 7:%ld\n",
                c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8]);
    std::printf("%ld of %ld requests answered right in %.1f s (%.0f requests/s)\n", done, requests,
                seconds, done / seconds);
    std::printf("drawn again: %ld with a shorter prefix followed by its CRC, %ld equal to the "
                "last answer\n",
                soak.CutByCrc(), soak.Echoes());
    const double growth = rssFirst > 0 ? 100.0 * (rssEnd - rssFirst) / rssFirst : 0.0;
    std::printf("resident memory after %d requests %ld kB, at the end %ld kB (%+.1f%%)\n",
                kRssAfter, rssFirst, rssEnd, growth);
    if (rssFirst <= 0 || rssEnd > rssFirst + rssFirst / 10) {
        std::fprintf(stderr, "resident memory grew by more than 10%%\n");
        ok = false;
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "korvex-cli did not end cleanly: %s\n",
                     ReadBytes(dir.File("stderr")).c_str());
        ok = false;
    }
    if (ok)
        ok = TcpLeg(argv[1], dir, requests);
    std::printf("soak %s\n", ok ? "passed" : "FAILED");
    return ok ? 0 : 1;
}
