// The counters against a real master (libmodbus) on korvex-cli run's virtual
// port: --stats on SIGUSR1 and at the end against what the master counted
// itself, and Diagnostics (code 8) answered from them.

#include "app/CliTestUtil.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace korvex::test {
namespace {

// PUMP1 at 1 with holding registers 0..9, GAUGE at 2 with register 0.
const std::string kPump = [] {
    std::string text = "PUMP1\t1\r\n";
    for (int a = 0; a < 10; ++a)
        text += "HREG\treg\tH" + std::to_string(a) + "\t" + std::to_string(a) + "\tRW\t0-65535\t" +
                std::to_string(1000 + a) + "\r\n";
    return text;
}();
const std::string kGauge = "GAUGE\t2\r\nHREG\treg\tG0\t0\tRW\t0-65535\t42\r\n";

// A read of holding register 0 at unit 1 whose CRC is wrong.
const Bytes kBadCrc = Hex("01 03 00 00 00 01 84 F5");

// A Diagnostics request with libmodbus's CRC and its answer without CRC, or
// empty on a time-out. libmodbus reads no Diagnostics answer but an
// exception, so the answer is read here: as long as the request, or an
// exception's five bytes.
Bytes Raw(modbus_t* m, Bytes request)
{
    if (modbus_send_raw_request(m, request.data(), static_cast<int>(request.size())) < 0)
        return {};
    Bytes answer;
    std::size_t expected = request.size() + 2;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (answer.size() < expected && std::chrono::steady_clock::now() < deadline) {
        pollfd p{ modbus_get_socket(m), POLLIN, 0 };
        std::uint8_t buf[MODBUS_RTU_MAX_ADU_LENGTH];
        const ssize_t n = poll(&p, 1, 50) == 1 ? read(p.fd, buf, sizeof buf) : 0;
        answer.insert(answer.end(), buf, buf + std::max<ssize_t>(n, 0));
        if (answer.size() >= 2 && (answer[1] & 0x80) != 0)
            expected = 5;
    }
    if (answer.size() != expected)
        return {};
    const Bytes pdu(answer.begin(), answer.end() - 2);
    return WithCrc(pdu) == answer ? pdu : Bytes();
}

// Bytes on the line as the master's port writes them, CRC as given.
void WriteRaw(modbus_t* m, const Bytes& bytes)
{
    ASSERT_EQ(write(modbus_get_socket(m), bytes.data(), bytes.size()),
              static_cast<ssize_t>(bytes.size()));
}

// The --stats file once it exists (written whole by a rename), else null.
QJsonObject WaitForStats(const std::string& path)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        QFile file(QString::fromStdString(path));
        if (file.open(QIODevice::ReadOnly))
            return QJsonDocument::fromJson(file.readAll()).object();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
}

QJsonObject Device(const QJsonObject& stats, const QString& id)
{
    for (const QJsonValue device : stats[QStringLiteral("devices")].toArray())
        if (device[QStringLiteral("id")].toString() == id)
            return device.toObject();
    return {};
}

qint64 Field(const QJsonObject& object, const char* name)
{
    return object[QLatin1String(name)].toInteger(-1);
}

class CountersRun : public CliRunFixture
{
protected:
    void Start(const Strings& options)
    {
        StartWith(options, { { "pump.kvxd", kPump }, { "gauge.kvxd", kGauge } });
    }
};

TEST_F(CountersRun, StatsAgreeWithTheMastersOwnCount)
{
    const std::string stats = m_dir.File("stats.json");
    Start(
        { "--stats=" + stats, "--tcp=127.0.0.1:0", "--fault", "PUMP1:drop=10", "--fault-seed=3" });
    const std::string listener =
        m_proc->WaitForLine([](const std::string& l) { return l.starts_with("N\t"); }).substr(2);
    ModbusPtr ctx = Connect(1, 1000);
    ASSERT_TRUE(ctx);
    modbus_t* m = ctx.get();

    // PUMP1: reads, every sixth of a missing register (exception 04); the
    // master counts what came back.
    int answered = 0;
    int exceptions = 0;
    int lost = 0;
    for (int i = 0; i < 30; ++i) {
        std::uint16_t reg = 0;
        if (modbus_read_registers(m, i % 6 == 5 ? 50 : 0, 1, &reg) == 1) {
            ++answered;
        } else if (errno == EMBXSFAIL) {
            ++exceptions;
        } else {
            ++lost;
            modbus_flush(m);
        }
    }
    ASSERT_GT(lost, 0) << "the seed must drop some";
    // GAUGE: ten reads, three behind a frame with a bad CRC.
    modbus_set_slave(m, 2);
    for (int i = 0; i < 10; ++i) {
        if (i % 4 == 0)
            WriteRaw(m, kBadCrc);
        std::uint16_t reg = 0;
        EXPECT_EQ(modbus_read_registers(m, 0, 1, &reg), 1) << modbus_strerror(errno);
    }
    // Two more over Modbus TCP: 12 bytes a request, 11 an answer.
    {
        ModbusPtr tcp(
            modbus_new_tcp("127.0.0.1", std::stoi(listener.substr(listener.rfind(':') + 1))));
        modbus_set_slave(tcp.get(), 2);
        ASSERT_EQ(modbus_connect(tcp.get()), 0) << modbus_strerror(errno);
        for (int i = 0; i < 2; ++i) {
            std::uint16_t reg = 0;
            EXPECT_EQ(modbus_read_registers(tcp.get(), 0, 1, &reg), 1) << modbus_strerror(errno);
        }
    }
    // Unit 7 is nobody's.
    modbus_set_slave(m, 7);
    modbus_set_response_timeout(m, 0, 100000);
    for (int i = 0; i < 2; ++i) {
        std::uint16_t reg = 0;
        EXPECT_EQ(modbus_read_registers(m, 0, 1, &reg), -1);
    }

    m_proc->Signal(SIGUSR1);
    const QJsonObject first = WaitForStats(stats);
    ASSERT_EQ(Field(first, "version"), 1) << m_proc->Stderr();
    const QJsonObject pump = Device(first, QStringLiteral("PUMP1"));
    EXPECT_EQ(Field(pump, "address"), 1);
    EXPECT_EQ(Field(pump, "requests"), 30);
    EXPECT_EQ(Field(pump, "answers"), answered + exceptions);
    EXPECT_EQ(Field(pump, "no_answer"), lost);
    EXPECT_EQ(pump[QStringLiteral("exceptions")].toObject(),
              (QJsonObject{ { QStringLiteral("4"), exceptions } }));
    EXPECT_EQ(Field(pump, "bytes_in"), 30 * 8);
    EXPECT_EQ(Field(pump, "bytes_out"), answered * 7 + exceptions * 5);
    const QJsonObject gauge = Device(first, QStringLiteral("GAUGE"));
    EXPECT_EQ(Field(gauge, "requests"), 12);
    EXPECT_EQ(Field(gauge, "answers"), 12);
    EXPECT_EQ(Field(gauge, "no_answer"), 0);
    EXPECT_TRUE(gauge[QStringLiteral("exceptions")].toObject().isEmpty());
    EXPECT_EQ(Field(gauge, "bytes_in"), 10 * 8 + 2 * 12);
    EXPECT_EQ(Field(gauge, "bytes_out"), 10 * 7 + 2 * 11);
    const QJsonObject total = first[QStringLiteral("total")].toObject();
    EXPECT_EQ(Field(total, "requests"), 42);
    EXPECT_EQ(Field(total, "answers"), answered + exceptions + 12);
    EXPECT_EQ(Field(total, "no_answer"), lost);
    const QJsonArray transports = total[QStringLiteral("transports")].toArray();
    ASSERT_EQ(transports.size(), 2);
    const QJsonObject line = transports[0].toObject();
    EXPECT_EQ(line[QStringLiteral("name")].toString(), QStringLiteral("line"));
    EXPECT_EQ(Field(line, "frames"), 42);
    EXPECT_EQ(Field(line, "other_units"), 2);
    EXPECT_EQ(Field(line, "unrecognized_bytes"), 3 * 8);
    EXPECT_EQ(Field(line, "bad_frames"), 3);
    EXPECT_EQ(Field(line, "connections"), 0);
    const QJsonObject net = transports[1].toObject();
    EXPECT_EQ(net[QStringLiteral("name")].toString().toStdString(), listener);
    EXPECT_EQ(Field(net, "frames"), 2);
    EXPECT_EQ(Field(net, "connections"), 1);

    // The run goes on; at its end the file holds the final counts.
    ASSERT_EQ(unlink(stats.c_str()), 0);
    modbus_set_slave(m, 2);
    modbus_set_response_timeout(m, 1, 0);
    for (int i = 0; i < 5; ++i) {
        std::uint16_t reg = 0;
        EXPECT_EQ(modbus_read_registers(m, 0, 1, &reg), 1);
    }
    ctx.reset();
    EXPECT_EQ(Stop(), 0);
    const QJsonObject last = WaitForStats(stats);
    EXPECT_EQ(Field(Device(last, QStringLiteral("GAUGE")), "answers"), 17);
    EXPECT_EQ(Field(Device(last, QStringLiteral("PUMP1")), "requests"), 30);
}

TEST_F(CountersRun, DiagnosticsAnswersFromTheCounters)
{
    Start({ "--strict" });
    ModbusPtr ctx = Connect(1);
    ASSERT_TRUE(ctx);
    modbus_t* m = ctx.get();
    const auto diag = [m](std::uint8_t unit, std::uint8_t sub, std::uint8_t data = 0) {
        return Raw(m, { unit, 0x08, 0x00, sub, 0x00, data });
    };
    const auto count = [](std::uint8_t unit, std::uint8_t sub, std::uint8_t n) {
        return Bytes{ unit, 0x08, 0x00, sub, 0x00, n };
    };

    // Return query data repeats the request.
    EXPECT_EQ(Raw(m, { 0x01, 0x08, 0x00, 0x00, 0xA5, 0x37 }),
              (Bytes{ 0x01, 0x08, 0x00, 0x00, 0xA5, 0x37 }));
    std::uint16_t regs[2] = {};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(modbus_read_registers(m, 0, 2, regs), 2);
    EXPECT_EQ(modbus_read_registers(m, 50, 1, regs), -1);
    EXPECT_EQ(errno, EMBXILADD);
    // Five requests so far, one exception, none unanswered (the query
    // itself counts once answered).
    EXPECT_EQ(diag(1, 0x0E), count(1, 0x0E, 5));
    EXPECT_EQ(diag(1, 0x0D), count(1, 0x0D, 1));
    EXPECT_EQ(diag(1, 0x0F), count(1, 0x0F, 0));
    WriteRaw(m, kBadCrc);
    EXPECT_EQ(diag(1, 0x0C), count(1, 0x0C, 1));
    // Every frame on the line: the five, the four queries before this one.
    EXPECT_EQ(diag(1, 0x0B), count(1, 0x0B, 9));

    // Clear counters: the clear is the first request after it.
    EXPECT_EQ(diag(1, 0x0A), count(1, 0x0A, 0));
    EXPECT_EQ(diag(1, 0x0E), count(1, 0x0E, 1));
    EXPECT_EQ(diag(1, 0x0C), count(1, 0x0C, 0));
    EXPECT_EQ(diag(1, 0x0B), count(1, 0x0B, 3));
    EXPECT_EQ(diag(1, 0x0D), count(1, 0x0D, 0));
    // Another device keeps its own counts.
    modbus_set_slave(m, 2);
    EXPECT_EQ(diag(2, 0x0E), count(2, 0x0E, 0));
    // Sub-functions not served, data other than 0.
    EXPECT_EQ(diag(2, 0x01), (Bytes{ 0x02, 0x88, 0x01 }));
    EXPECT_EQ(diag(2, 0x0B, 1), (Bytes{ 0x02, 0x88, 0x03 }));
    ctx.reset();

    EXPECT_EQ(Stop(), 0);
    EXPECT_EQ(CountLines("P\t0\tPUMP1\t1\t(0x08) Diagnostics, Подфункция=0x000E (Return Server "
                         "Message Count), Данные={ 0x00 0x00 }"),
              2);
    EXPECT_EQ(CountLines("P\t2\tPUMP1\t1\t(0x08) Diagnostics, Подфункция=0x000E (Return Server "
                         "Message Count), Данные={ 0x00 0x05 }"),
              1);
}

} // namespace
} // namespace korvex::test
