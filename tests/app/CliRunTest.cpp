// korvex-cli run end to end: a real MODBUS master (libmodbus) on its virtual
// port, scripts from files and projects, the settings, and failing ports.

#include "app/CliTestUtil.h"
#include "support/PtyPair.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace korvex::test {
namespace {

const std::string kEndLine = "Скрипт остановлен (выполнен полностью).";

// DemoDevice served on a virtual port linked at <folder>/port.
class CliRun : public CliRunFixture
{
protected:
    void Start(const Strings& options = {})
    {
        StartWith(options, { { "pump.kvxd", DemoDevice() } });
    }
};

TEST_F(CliRun, AnswersEveryFunctionCode)
{
    Start();
    ModbusPtr ctx = Connect();
    ASSERT_TRUE(ctx);
    modbus_t* m = ctx.get();

    std::uint8_t bits[16] = {};
    ASSERT_EQ(modbus_read_bits(m, 0, 10, bits), 10) << modbus_strerror(errno);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(bits[i], i % 2) << i;
    ASSERT_EQ(modbus_read_input_bits(m, 0, 8, bits), 8);
    EXPECT_EQ(bits[2], 1);
    EXPECT_EQ(bits[3], 0);

    std::uint16_t regs[125] = {};
    ASSERT_EQ(modbus_read_registers(m, 10, 3, regs), 3);
    EXPECT_EQ(regs[0], 1010);
    EXPECT_EQ(regs[2], 1012);
    ASSERT_EQ(modbus_read_input_registers(m, 0, 4, regs), 4);
    EXPECT_EQ(regs[3], 53);

    ASSERT_EQ(modbus_write_bit(m, 0, 1), 1);
    ASSERT_EQ(modbus_read_bits(m, 0, 1, bits), 1);
    EXPECT_EQ(bits[0], 1);
    ASSERT_EQ(modbus_write_register(m, 7, 0xBEEF), 1);
    const std::uint8_t coils[12] = { 1, 1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0 };
    ASSERT_EQ(modbus_write_bits(m, 2, 12, coils), 12);
    ASSERT_EQ(modbus_read_bits(m, 2, 12, bits), 12);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(bits[i], coils[i]) << i;
    const std::uint16_t values[3] = { 1, 2, 3 };
    ASSERT_EQ(modbus_write_registers(m, 20, 3, values), 3);
    ASSERT_EQ(modbus_read_registers(m, 19, 5, regs), 5);
    EXPECT_EQ(regs[0], 1019);
    EXPECT_EQ(regs[1], 1);
    EXPECT_EQ(regs[3], 3);
    EXPECT_EQ(regs[4], 1023);

    // Read exception status has no libmodbus call of its own.
    const std::uint8_t status[] = { 0x01, 0x07 };
    ASSERT_EQ(modbus_send_raw_request(m, status, 2), 4);
    std::uint8_t answer[MODBUS_RTU_MAX_ADU_LENGTH];
    ASSERT_EQ(modbus_receive_confirmation(m, answer), 5);
    EXPECT_EQ(answer[1], 0x07);
    EXPECT_EQ(answer[2], 0x20);

    // Exception answers: a missing cell is exception 4.
    EXPECT_EQ(modbus_read_input_registers(m, 4, 2, regs), -1);
    EXPECT_EQ(errno, EMBXSFAIL);
    EXPECT_EQ(modbus_read_registers(m, 118, 4, regs), -1);
    EXPECT_EQ(errno, EMBXSFAIL);

    // 100 registers written and read back in one go.
    std::uint16_t hundred[100];
    for (int i = 0; i < 100; ++i)
        hundred[i] = static_cast<std::uint16_t>(0x4000 + i);
    ASSERT_EQ(modbus_write_registers(m, 0, 100, hundred), 100) << modbus_strerror(errno);
    ASSERT_EQ(modbus_read_registers(m, 0, 100, regs), 100) << modbus_strerror(errno);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(regs[i], 0x4000 + i) << i;

    EXPECT_EQ(Stop(), 0);
    // The protocol log shows the exception answer line.
    EXPECT_EQ(Starting(m_proc->Lines(), "P\t4\t"),
              (Strings{ "P\t4\tPUMP1\t1\t(0x04) Read Input Registers: IREG c адресом 0x5 не найден",
                        "P\t4\tPUMP1\t1\t(0x03) Read Holding Registers: HREG c адресом 0x78 не "
                        "найден" }));
}

TEST_F(CliRun, ForeignSlaveStaysUnanswered)
{
    Start();
    ModbusPtr other = Connect(7, 300);
    ASSERT_TRUE(other);
    std::uint16_t reg = 0;
    EXPECT_EQ(modbus_read_registers(other.get(), 0, 1, &reg), -1);
    EXPECT_EQ(errno, ETIMEDOUT);
    const std::string warn =
        "P\t5\t\t7\t(0x03) Read Holding Registers - устройство с адресом 0x7 не найдено";
    EXPECT_EQ(m_proc->WaitForLine([&warn](const std::string& l) { return l == warn; }), warn);
    other.reset();

    // A master connecting afterwards still gets its own answers only.
    ModbusPtr ctx = Connect(1);
    EXPECT_EQ(modbus_read_registers(ctx.get(), 3, 1, &reg), 1);
    EXPECT_EQ(reg, 1003);
    // A master that sends its next request before reading the last answer
    // gets both, as on a line.
    const auto send = [](int fd, const char* request) {
        const Bytes frame = WithCrc(Hex(request));
        return write(fd, frame.data(), frame.size()) == static_cast<ssize_t>(frame.size());
    };
    const auto readAll = [](int fd, std::size_t want) {
        Bytes got;
        std::uint8_t buf[64];
        pollfd pfd{ fd, POLLIN, 0 };
        while (got.size() < want && poll(&pfd, 1, 5000) == 1) {
            const ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0)
                break;
            got.insert(got.end(), buf, buf + n);
        }
        return got;
    };
    const int fd = modbus_get_socket(ctx.get());
    ASSERT_TRUE(send(fd, "01 03 00 00 00 01"));
    pollfd pfd{ fd, POLLIN, 0 };
    ASSERT_EQ(poll(&pfd, 1, 5000), 1);
    ASSERT_TRUE(send(fd, "01 03 00 01 00 01"));
    EXPECT_EQ(readAll(fd, 14),
              Cat({ WithCrc(Hex("01 03 02 03 E8")), WithCrc(Hex("01 03 02 03 E9")) }));

    // What a master left unread never reaches the next one, even one that
    // does not flush when it opens the port: it is gone once the port is
    // opened.
    ASSERT_TRUE(send(fd, "01 03 00 00 00 01"));
    ASSERT_EQ(poll(&pfd, 1, 5000), 1);
    ctx.reset();
    const int raw = open(m_dir.File("port").c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(raw, 0);
    int unread = -1;
    for (int i = 0; i < 500 && unread != 0; ++i) {
        ASSERT_EQ(ioctl(raw, FIONREAD, &unread), 0);
        if (unread != 0)
            usleep(10000);
    }
    EXPECT_EQ(unread, 0) << "the stale answer is still there";
    termios tio{};
    tcgetattr(raw, &tio);
    cfmakeraw(&tio);
    tcsetattr(raw, TCSANOW, &tio);
    ASSERT_TRUE(send(raw, "01 03 00 01 00 01"));
    EXPECT_EQ(readAll(raw, 7), WithCrc(Hex("01 03 02 03 E9")));
    pfd.fd = raw;
    EXPECT_EQ(poll(&pfd, 1, 200), 0) << "nothing more waits";
    close(raw);
    EXPECT_EQ(Stop(), 0);
}

TEST_F(CliRun, ThousandRequestsAndSavedValues)
{
    Start({ "--save" });
    ModbusPtr ctx = Connect();
    ASSERT_TRUE(ctx);
    int answered = 0;
    for (int i = 0; i < 1000; ++i) {
        std::uint16_t regs[10];
        if (modbus_read_registers(ctx.get(), static_cast<int>(i % 100), 10, regs) == 10 &&
            regs[0] == 1000 + i % 100)
            ++answered;
    }
    EXPECT_EQ(answered, 1000);
    ASSERT_EQ(modbus_write_register(ctx.get(), 42, 4242), 1);
    ASSERT_EQ(modbus_write_bit(ctx.get(), 1, 0), 1);
    ctx.reset();
    EXPECT_EQ(Stop(), 0);

    // The file now holds the values the master wrote.
    const std::string saved = ReadBytes(m_dir.File("pump.kvxd"));
    EXPECT_NE(saved.find("\tH42\t0x2A\tRW\t0x0-0xFFFF\t0x1092\r\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("\tC1\t0x1\tRW\t0x0-0x1\t0x0\r\n"), std::string::npos) << saved;
}

TEST(CliRunScripts, ScriptsRunWithTheSessionAndReportTheirEnd)
{
    struct
    {
        const char* why;
        std::vector<std::pair<std::string, std::string>> files;
        Strings args;
        int slave;
        int reg;
        std::uint16_t value; // what the script wrote
        Strings scriptLines;
        int signal;
    } const cases[] = {
        { "device and script files",
          { { "pump.kvxd", DemoDevice() },
            { "count.kvxs", "MyObject.Print('start');\r\n"
                            "for (var i = 0; i < 5; i++)\r\n"
                            "    MyObject.SetHREG('PUMP1', 'H1', i + 1);\r\n"
                            "MyObject.Print('done ' + MyObject.GetHREG(1, 1));\r\n" } },
          { "pump.kvxd", "count.kvxs" },
          1,
          1,
          5,
          { "S\tcount.kvxs\t0\t-1\tstart", "S\tcount.kvxs\t0\t-1\tdone 5",
            "S\tcount.kvxs\t1\t-1\t" + kEndLine },
          SIGINT },
        { "a project with a device in a subfolder",
          { { "proj/sub/tank.kvxd", DeviceFile("TANK", 3, 700) },
            { "proj/hello.kvxs", "MyObject.Print(\"Привет из проекта\");\r\n"
                                 "MyObject.SetHREG(\"TANK\", \"LEVEL\", 4321);\r\n" },
            { "proj/demo.kvxp",
              *Utf8ToCp1251("// Файл проекта\r\n.\\hello.kvxs\r\n.\\sub\\tank.kvxd\r\n") } },
          { "proj/demo.kvxp" },
          3,
          0,
          4321,
          { "S\thello.kvxs\t0\t-1\tПривет из проекта", "S\thello.kvxs\t1\t-1\t" + kEndLine },
          SIGTERM },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        CTempDir dir;
        std::filesystem::create_directories(dir.File("proj/sub"));
        for (const auto& [name, text] : c.files)
            dir.Write(name, text);
        Strings args;
        for (const std::string& arg : c.args)
            args.push_back(dir.File(arg));
        const auto proc = StartRun(dir.File("port"), args);
        const std::string end = c.scriptLines.back();
        EXPECT_EQ(proc->WaitForLine([&end](const std::string& l) { return l == end; },
                                    std::chrono::seconds(30)),
                  end)
            << proc->Stderr();

        // The value the script wrote is what a master reads.
        ModbusPtr ctx = Connect(dir.File("port"), c.slave);
        ASSERT_TRUE(ctx);
        std::uint16_t value = 0;
        EXPECT_EQ(modbus_read_registers(ctx.get(), c.reg, 1, &value), 1) << modbus_strerror(errno);
        EXPECT_EQ(value, c.value);
        ctx.reset();

        proc->Signal(c.signal);
        EXPECT_EQ(proc->Wait(), 0) << proc->Stderr();
        EXPECT_EQ(Starting(proc->Lines(), "S\t"), c.scriptLines);
        EXPECT_EQ(proc->Stderr(), "");
    }
}

TEST(CliRunScripts, ScriptErrorStopsTheSessionWithExitOne)
{
    CTempDir dir;
    CChildProcess proc(KORVEX_CLI_PATH,
                       { "run", "--virtual", dir.Write("pump.kvxd", DemoDevice()),
                         dir.Write("loop.kvxs", "while (true) { MyObject.GetHREG(1, 0); }\r\n"),
                         dir.Write("bad.kvxs", "var a = 1;\r\nvar b = 2;\r\nvar c = ;\r\n") });
    EXPECT_EQ(proc.Wait(std::chrono::seconds(15)), 1) << proc.Stderr();
    const Strings errors = Starting(proc.Lines(), "S\tbad.kvxs\t2\t2\t");
    ASSERT_EQ(errors.size(), 1u) << "a syntax error on line 3 is reported with 2";
    EXPECT_TRUE(errors[0].ends_with(" (строка: 2)")) << errors[0];
}

TEST(CliRunPort, PortComesFromTheSettingsAndOptionsOverrideThemForOneRun)
{
    CTempDir dir;
    const std::string device = dir.Write("pump.kvxd", DemoDevice());
    // A settings folder of this test's own, with a port the machine lacks.
    const std::string config = dir.File("config");
    std::filesystem::create_directories(config + "/Ternholm");
    const std::string settings = "[Settings]\nPORT=0\nBAUD=19200\nADDRISHEX=0\nVERSION=9.9\n";
    WriteBytes(config + "/Ternholm/Korvex.conf", settings);
    const std::string previous =
        std::getenv("XDG_CONFIG_HOME") ? std::getenv("XDG_CONFIG_HOME") : "";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);

    // No port on the machine and none given: the program cannot work.
    std::filesystem::create_directories(dir.File("sys"));
    const auto none = RunProcess(KORVEX_CLI_PATH, { "run", "--sys-root", dir.File("sys"), device });
    EXPECT_EQ(none.nExitCode, 1);
    EXPECT_NE(none.strErr.find("На данном ПК нет ни одного последовательного порта.\n"
                               "Работа с программой невозможна!"),
              std::string::npos)
        << none.strErr;

    // A port given that does not exist: one warning line with its name, exit 1.
    const auto missing = RunProcess(
        KORVEX_CLI_PATH, { "run", "--port", dir.File("nothing"), "--baud", "115200", device });
    EXPECT_EQ(missing.nExitCode, 1);
    EXPECT_EQ(Starting(missing.strOut, "P\t5\t"),
              Strings{ "P\t5\t\t\tНевозможно открыть последовательный порт '" +
                       dir.File("nothing") + "'." });

    // ADDRISHEX comes from the settings: the decoder shows decimal addresses.
    const auto decoded = RunProcess(KORVEX_CLI_PATH, { "decode" }, "01 03 00 10 00 02 C5 CE\n");
    EXPECT_EQ(SplitLines(decoded.strOut).at(0),
              "P\t0\t\t1\t(0x03) Read Holding Registers, Адрес=0016, Количество=2");

    // Nothing of the run's options found its way into the settings.
    EXPECT_EQ(ReadBytes(config + "/Ternholm/Korvex.conf"), settings);
    setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
}

TEST(CliRunPort, VanishedPortGivesOneWarningAndExitOne)
{
    CTempDir dir;
    // The emulator must not inherit the master side (the pair's descriptors
    // close on exec), or closing it here would not make the port vanish.
    CPtyPair pair;
    ASSERT_TRUE(pair.Valid());
    pair.CloseSlave();
    const int master = pair.Master();
    CChildProcess proc(KORVEX_CLI_PATH,
                       { "run", "--port", pair.SlavePath(), dir.Write("pump.kvxd", DemoDevice()) });
    // Wait until the emulator answers, so that it holds the port.
    const Bytes req = WithCrc(Hex("01 03 00 00 00 01"));
    bool answered = false;
    for (int attempt = 0; attempt < 100 && !answered; ++attempt) {
        ASSERT_EQ(write(master, req.data(), req.size()), static_cast<ssize_t>(req.size()));
        answered =
            !proc.WaitForLine([](const std::string& l) { return l.starts_with("T\t01 03 02"); },
                              std::chrono::milliseconds(100))
                 .empty();
    }
    ASSERT_TRUE(answered) << proc.Stderr();
    pair.CloseMaster();
    EXPECT_EQ(proc.Wait(std::chrono::seconds(10)), 1);
    EXPECT_EQ(Starting(proc.Lines(), "P\t5\t\t\t").size(), 1u);
}

} // namespace
} // namespace korvex::test
