// korvex-cli run --tcp and --rtu-over-tcp against real masters on the
// loopback: libmodbus in TCP mode, pymodbus with its RTU framer, and raw
// sockets for what masters do wrong.

#include "app/CliTestUtil.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <latch>
#include <random>
#include <thread>

namespace korvex::test {
namespace {

// PUMP1 at 1 with holding registers 0..19 = 1000 + n and coils 0..7;
// GAUGE at 2 with holding register 0 = 42.
const std::string kPump = [] {
    std::string text = "PUMP1\t1\r\n";
    for (int a = 0; a < 8; ++a)
        text += "COIL\tc\tC" + std::to_string(a) + "\t" + std::to_string(a) + "\tRW\t0-1\t0\r\n";
    for (int a = 0; a < 20; ++a)
        text += "HREG\tr\tH" + std::to_string(a) + "\t" + std::to_string(a) + "\tRW\t0-65535\t" +
                std::to_string(1000 + a) + "\r\n";
    return text;
}();
const std::string kGauge = "GAUGE\t2\r\nHREG\tr\tG0\t0\tRW\t0-65535\t42\r\n";

ModbusPtr ConnectTcp(int port, int unit, int timeoutMs = 1000)
{
    ModbusPtr ctx(modbus_new_tcp("127.0.0.1", port));
    EXPECT_NE(ctx, nullptr);
    if (!ctx)
        return ctx;
    modbus_set_slave(ctx.get(), unit);
    modbus_set_response_timeout(ctx.get(), static_cast<std::uint32_t>(timeoutMs) / 1000,
                                static_cast<std::uint32_t>(timeoutMs) % 1000 * 1000);
    EXPECT_EQ(modbus_connect(ctx.get()), 0) << modbus_strerror(errno);
    return ctx;
}

// A plain socket to the loopback port.
int RawSocket(int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    return fd;
}

// Reads until want bytes came, the peer closed, or 3 s passed.
Bytes ReadSome(int fd, std::size_t want)
{
    Bytes got;
    std::uint8_t buf[512];
    pollfd pfd{ fd, POLLIN, 0 };
    while (got.size() < want && poll(&pfd, 1, 3000) == 1) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        got.insert(got.end(), buf, buf + n);
    }
    return got;
}

// A read of holding register reg from unit, transaction tid.
Bytes MbapRead(std::uint16_t tid, std::uint8_t unit, std::uint16_t reg)
{
    return {
        static_cast<std::uint8_t>(tid >> 8), static_cast<std::uint8_t>(tid), 0, 0, 0, 6, unit, 0x03,
        static_cast<std::uint8_t>(reg >> 8), static_cast<std::uint8_t>(reg), 0, 1
    };
}
Bytes MbapAnswer(std::uint16_t tid, std::uint8_t unit, std::uint16_t value)
{
    return { static_cast<std::uint8_t>(tid >> 8),
             static_cast<std::uint8_t>(tid),
             0,
             0,
             0,
             5,
             unit,
             0x03,
             2,
             static_cast<std::uint8_t>(value >> 8),
             static_cast<std::uint8_t>(value) };
}

class NetRun : public ::testing::Test
{
protected:
    // Starts the run; the ports of its N lines, in the options' order.
    std::vector<int> Start(const Strings& options,
                           const std::vector<std::pair<std::string, std::string>>& files)
    {
        Strings args = { "run" };
        args.insert(args.end(), options.begin(), options.end());
        std::size_t listeners = 0;
        for (const std::string& o : options)
            listeners += o.starts_with("--tcp=") || o.starts_with("--rtu-over-tcp=");
        for (const auto& [name, text] : files)
            args.push_back(m_dir.Write(name, text));
        m_proc = std::make_unique<CChildProcess>(KORVEX_CLI_PATH, args);
        std::vector<int> ports;
        for (std::size_t i = 0; i < listeners; ++i) {
            const std::string line = m_proc->WaitForLine([&ports](const std::string& l) {
                return l.starts_with("N\t") && std::ranges::count(ports, Port(l)) == 0;
            });
            EXPECT_FALSE(line.empty()) << m_proc->Stderr();
            ports.push_back(line.empty() ? 0 : Port(line));
        }
        return ports;
    }
    static int Port(const std::string& line) { return std::stoi(line.substr(line.rfind(':') + 1)); }
    int Stop()
    {
        m_proc->Signal(SIGTERM);
        return m_proc->Wait();
    }
    int CountLines(const std::string& part) const
    {
        int n = 0;
        for (const std::string& l : m_proc->Lines())
            n += l.find(part) != std::string::npos;
        return n;
    }

    CTempDir m_dir;
    std::unique_ptr<CChildProcess> m_proc;
};

TEST_F(NetRun, ModbusTcpAnswersEveryCodeAndRoutesUnits)
{
    const int port = Start({ "--tcp=127.0.0.1:0" }, { { "pump.kvxd", kPump } }).front();
    ModbusPtr ctx = ConnectTcp(port, 1);
    modbus_t* m = ctx.get();
    std::uint16_t regs[4] = {};
    std::uint8_t bits[8] = {};
    ASSERT_EQ(modbus_read_registers(m, 2, 3, regs), 3);
    EXPECT_EQ(regs[0], 1002);
    EXPECT_EQ(modbus_write_register(m, 2, 7), 1);
    const std::uint16_t two[2] = { 8, 9 };
    EXPECT_EQ(modbus_write_registers(m, 3, 2, two), 2);
    ASSERT_EQ(modbus_read_registers(m, 2, 3, regs), 3);
    EXPECT_EQ((std::vector<std::uint16_t>{ regs[0], regs[1], regs[2] }),
              (std::vector<std::uint16_t>{ 7, 8, 9 }));
    EXPECT_EQ(modbus_write_bit(m, 1, 1), 1);
    const std::uint8_t coils[3] = { 1, 0, 1 };
    EXPECT_EQ(modbus_write_bits(m, 4, 3, coils), 3);
    ASSERT_EQ(modbus_read_bits(m, 0, 8, bits), 8);
    EXPECT_EQ((Bytes(bits, bits + 8)), (Bytes{ 0, 1, 0, 0, 1, 0, 1, 0 }));
    // Without answers by the standard a missing cell is exception 04.
    EXPECT_EQ(modbus_read_registers(m, 30, 1, regs), -1);
    EXPECT_EQ(errno, EMBXSFAIL);
    // With one device, units 0 and 255 are that device; others are unknown.
    for (const int unit : { 0, 255 }) {
        modbus_set_slave(m, unit);
        ASSERT_EQ(modbus_read_registers(m, 0, 1, regs), 1) << unit;
        EXPECT_EQ(regs[0], 1000);
    }
    modbus_set_slave(m, 9);
    modbus_set_response_timeout(m, 0, 300000);
    EXPECT_EQ(modbus_read_registers(m, 0, 1, regs), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    ctx.reset();
    // The server sees the close a moment after the master made it.
    EXPECT_FALSE(m_proc
                     ->WaitForLine([](const std::string& l) {
                         return l.find("(ведущий закрыл соединение)") != std::string::npos;
                     })
                     .empty());
    EXPECT_EQ(Stop(), 0);
    EXPECT_EQ(
        CountLines("P\t0\tPUMP1\t1\t(0x03) Read Holding Registers, Адрес=0x0002, Количество=3"), 2);
    EXPECT_EQ(CountLines("подключение 127.0.0.1:"), 1);
    EXPECT_EQ(CountLines("(ведущий закрыл соединение)"), 1);

    // By the standard: two devices, so 0 and 255 are unknown, and an unknown
    // unit is exception 0x0B; 17, 22, 23 served.
    const int strict = Start({ "--tcp=127.0.0.1:0", "--strict" },
                             { { "pump.kvxd", kPump }, { "gauge.kvxd", kGauge } })
                           .front();
    ctx = ConnectTcp(strict, 2);
    m = ctx.get();
    ASSERT_EQ(modbus_read_registers(m, 0, 1, regs), 1);
    EXPECT_EQ(regs[0], 42);
    EXPECT_EQ(modbus_read_registers(m, 5, 1, regs), -1);
    EXPECT_EQ(errno, EMBXILADD);
    for (const int unit : { 0, 9, 255 }) {
        modbus_set_slave(m, unit);
        EXPECT_EQ(modbus_read_registers(m, 0, 1, regs), -1) << unit;
        EXPECT_EQ(errno, EMBXGTAR) << unit;
    }
    modbus_set_slave(m, 1);
    EXPECT_EQ(modbus_mask_write_register(m, 0, 0x00F2, 0x0025), 1);
    const std::uint16_t values[2] = { 0xAAAA, 0xBBBB };
    ASSERT_EQ(modbus_write_and_read_registers(m, 5, 2, values, 4, 3, regs), 3);
    EXPECT_EQ(regs[1], 0xAAAA);
    std::uint8_t id[32] = {};
    EXPECT_EQ(modbus_report_slave_id(m, sizeof id, id), 7);
    ctx.reset();
    EXPECT_EQ(Stop(), 0);
}

TEST_F(NetRun, StreamsAreReassembledPipelinedAndBadInputClosesOnlyItsConnection)
{
    const int port = Start({ "--tcp=127.0.0.1:0", "--fault=PUMP1:delay=100" },
                           { { "pump.kvxd", kPump }, { "gauge.kvxd", kGauge } })
                         .front();
    // Three requests in one write, the first delayed by its fault: the
    // answers still come in the requests' order.
    const int fd = RawSocket(port);
    const Bytes three = Cat({ MbapRead(1, 1, 0), MbapRead(2, 2, 0), MbapRead(3, 1, 5) });
    ASSERT_EQ(write(fd, three.data(), three.size()), static_cast<ssize_t>(three.size()));
    EXPECT_EQ(ReadSome(fd, 33),
              Cat({ MbapAnswer(1, 1, 1000), MbapAnswer(2, 2, 42), MbapAnswer(3, 1, 1005) }));
    // A request cut at every byte.
    const Bytes one = MbapRead(7, 2, 0);
    for (std::size_t cut = 1; cut < one.size(); ++cut) {
        ASSERT_EQ(write(fd, one.data(), cut), static_cast<ssize_t>(cut));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ASSERT_EQ(write(fd, one.data() + cut, one.size() - cut),
                  static_cast<ssize_t>(one.size() - cut));
        ASSERT_EQ(ReadSome(fd, 11), MbapAnswer(7, 2, 42)) << cut;
    }

    // A master that never reads, and one that sent half a frame, delay
    // nobody.
    const int stalled = RawSocket(port);
    Bytes flood;
    for (int i = 0; i < 8000; ++i) {
        const Bytes request = MbapRead(static_cast<std::uint16_t>(i), 2, 0);
        flood.insert(flood.end(), request.begin(), request.end());
    }
    std::thread flooder([stalled, &flood] {
        [[maybe_unused]] const ssize_t n = send(stalled, flood.data(), flood.size(), MSG_NOSIGNAL);
    });
    const int half = RawSocket(port);
    ASSERT_EQ(write(half, one.data(), 5), 5);
    ModbusPtr ctx = ConnectTcp(port, 2);
    for (int i = 0; i < 50; ++i) {
        std::uint16_t reg = 0;
        ASSERT_EQ(modbus_read_registers(ctx.get(), 0, 1, &reg), 1) << i;
    }
    shutdown(stalled, SHUT_RDWR);
    flooder.join();
    close(stalled);
    close(half);

    // Bad headers close that connection, with the reason; the others go on.
    for (const Bytes& bad : { Bytes{ 0, 1, 0, 1, 0, 6, 2, 3, 0, 0, 0, 1 },
                              Bytes{ 0, 1, 0, 0, 0, 1, 2, 3 }, Bytes{ 0, 1, 0, 0, 1, 0, 2, 3 } }) {
        const int b = RawSocket(port);
        ASSERT_EQ(write(b, bad.data(), bad.size()), static_cast<ssize_t>(bad.size()));
        EXPECT_TRUE(ReadSome(b, 1).empty()) << "closed without an answer";
        close(b);
    }
    std::uint16_t reg = 0;
    EXPECT_EQ(modbus_read_registers(ctx.get(), 0, 1, &reg), 1);
    ctx.reset();
    close(fd);
    EXPECT_EQ(Stop(), 0);
    EXPECT_EQ(CountLines("(идентификатор протокола 0x0001 вместо 0)"), 1);
    EXPECT_EQ(CountLines("(длина в заголовке MBAP 1 вне 2-254)"), 1);
    EXPECT_EQ(CountLines("(длина в заголовке MBAP 256 вне 2-254)"), 1);
}

TEST_F(NetRun, SixtyFourMastersAtOnceAndTheLimit)
{
    const int port =
        Start({ "--tcp=127.0.0.1:0", "--tcp-max-clients=64" }, { { "pump.kvxd", kPump } }).front();
    // Every master reads registers that nobody writes and checks each answer
    // against the file; the sixty-fifth comes while all of them are served.
    // The emulator stops while all 64 are still connected, on whichever
    // answering thread each one is.
    std::atomic<int> wrong{ 0 };
    std::latch served(64);
    std::latch finished(64);
    std::latch done(1);
    std::vector<std::thread> masters;
    for (int t = 0; t < 64; ++t)
        masters.emplace_back([&, t] {
            ModbusPtr ctx = ConnectTcp(port, 1, 5000);
            std::mt19937 rng(static_cast<unsigned>(t));
            for (int i = 0; i < 100; ++i) {
                const int start = 10 + static_cast<int>(rng() % 8);
                std::uint16_t regs[2] = {};
                if (modbus_read_registers(ctx.get(), start, 2, regs) != 2 ||
                    regs[0] != 1000 + start || regs[1] != 1001 + start)
                    ++wrong;
                if (i == 0)
                    served.count_down();
            }
            finished.count_down();
            done.wait();
        });
    served.wait();
    ModbusPtr extra = ConnectTcp(port, 1, 300);
    std::uint16_t reg = 0;
    EXPECT_EQ(modbus_read_registers(extra.get(), 0, 1, &reg), -1);
    extra.reset();
    finished.wait();
    EXPECT_EQ(Stop(), 0);
    done.count_down();
    for (auto& m : masters)
        m.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(CountLines("отклонено (уже 64 подключений)"), 1);
    EXPECT_EQ(CountLines("(эмулятор остановлен)"), 64);
}

TEST_F(NetRun, RtuOverTcpKeepsTheLineRulesForAPymodbusMaster)
{
    const std::vector<int> ports =
        Start({ "--rtu-over-tcp=127.0.0.1:0", "--tcp=127.0.0.1:0", "--strict" },
              { { "pump.kvxd", kPump }, { "gauge.kvxd", kGauge } });
    ASSERT_EQ(ports.size(), 2u);
    const std::string script =
        "import sys\n"
        "from pymodbus.client import ModbusTcpClient\n"
        "from pymodbus.transaction import ModbusRtuFramer\n"
        "c = ModbusTcpClient('127.0.0.1', port=int(sys.argv[1]), framer=ModbusRtuFramer,"
        " timeout=2, broadcast_enable=True)\n"
        "assert c.connect()\n"
        "r = c.read_holding_registers(3, 2, slave=1)\n"
        "print('read', r.registers)\n"
        "r = c.write_register(0, 77, slave=0)\n" // broadcast: no answer
        "r = c.read_holding_registers(0, 1, slave=2)\n"
        "print('gauge', r.registers)\n"
        "r = c.read_holding_registers(30, 1, slave=1)\n"
        "print('exception', r.exception_code)\n"
        "c.close()\n";
    const std::string path = m_dir.Write("master.py", script);
    CChildProcess python("/usr/bin/python3", { path, std::to_string(ports[0]) });
    EXPECT_EQ(python.Wait(std::chrono::seconds(30)), 0) << python.Stderr();
    EXPECT_EQ(Starting(python.Lines(), "read"), Strings{ "read [1003, 1004]" });
    EXPECT_EQ(Starting(python.Lines(), "gauge"), Strings{ "gauge [77]" });
    EXPECT_EQ(Starting(python.Lines(), "exception"), Strings{ "exception 2" });

    // Bytes that make no frame close the connection.
    const int fd = RawSocket(ports[0]);
    Bytes noise(300, 0x55);
    ASSERT_EQ(write(fd, noise.data(), noise.size()), 300);
    EXPECT_TRUE(ReadSome(fd, 1).empty());
    close(fd);
    EXPECT_EQ(Stop(), 0);
    EXPECT_EQ(CountLines(": подключение 127.0.0.1:"), 2);
    EXPECT_EQ(CountLines("(данные не образуют кадра)"), 1);
}

TEST_F(NetRun, AnAddressInUseStartsNothing)
{
    const int port = Start({ "--tcp=127.0.0.1:0" }, { { "pump.kvxd", kPump } }).front();
    CChildProcess second(KORVEX_CLI_PATH,
                         { "run", "--virtual=" + m_dir.File("port"),
                           "--tcp=127.0.0.1:" + std::to_string(port), m_dir.File("pump.kvxd") });
    EXPECT_EQ(second.Wait(), 1);
    EXPECT_NE(second.Stderr().find(
                  "Невозможно открыть Modbus TCP 127.0.0.1:" + std::to_string(port) + ": "),
              std::string::npos)
        << second.Stderr();
    EXPECT_TRUE(Starting(second.Lines(), "V\t").empty()) << "nothing else started";
    EXPECT_EQ(Stop(), 0);
}

TEST_F(NetRun, TheIpv6LoopbackIsServed)
{
    if (ReadBytes("/proc/net/if_inet6").find("00000000000000000000000000000001") ==
        std::string::npos)
        GTEST_SKIP() << "this machine has no IPv6 loopback";
    const int port = Start({ "--tcp=[::1]:0" }, { { "pump.kvxd", kPump } }).front();
    EXPECT_EQ(CountLines("N\tModbus TCP [::1]:"), 1);
    ModbusPtr ctx(modbus_new_tcp_pi("::1", std::to_string(port).c_str()));
    ASSERT_NE(ctx, nullptr);
    modbus_set_slave(ctx.get(), 1);
    ASSERT_EQ(modbus_connect(ctx.get()), 0) << modbus_strerror(errno);
    std::uint16_t reg = 0;
    EXPECT_EQ(modbus_read_registers(ctx.get(), 2, 1, &reg), 1);
    EXPECT_EQ(reg, 1002);
    ctx.reset();
    EXPECT_EQ(Stop(), 0);
}

} // namespace
} // namespace korvex::test
