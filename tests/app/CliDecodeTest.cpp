// korvex-cli decode, and the usage errors of every command: the binary run on
// real files in a temporary folder, paths relative to it.

#include "app/CliTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

namespace korvex::test {
namespace {

const std::string kMissing =
    "\nНевозможно найти файл.\nПроверьте правильность имяени файла и пути к нему.";

// Code page 1251, CR LF: "Насосная" on address 1 with three registers.
const std::string kPump = "\xCD\xE0\xF1\xEE\xF1\xED\xE0\xFF\t1\r\n"
                          "HREG\tSetpoint\tSP\t0\tRW\t0-1000\t400\r\n"
                          "HREG\tMode\tMODE\t1\tRW\t0-3\t2\r\n"
                          "IREG\tPressure\tP\t0\tR\t0-1600\t395\r\n";

// lib/pump.kvxd (kPump), proj/sub/boiler.kvxd (BOILER1 at 2 holding 0x1234)
// and proj/p.kvxp listing a script, both devices and a file that is not there.
struct CliFolder
{
    CTempDir dir;

    CliFolder()
    {
        std::filesystem::create_directories(dir.File("proj/sub"));
        std::filesystem::create_directories(dir.File("lib"));
        dir.Write("lib/pump.kvxd", kPump);
        dir.Write("proj/sub/boiler.kvxd", DeviceFile("BOILER1", 2, 0x1234));
        dir.Write("proj/s.kvxs", "MyObject.Print(1);\r\n");
        dir.Write("proj/p.kvxp", "// a project\r\n.\\s.kvxs\r\n.\\sub\\boiler.kvxd\r\n"
                                 "..\\lib\\pump.kvxd\r\n.\\gone.kvxd\r\n");
    }
    SProcessResult Run(const std::string& args, const std::string& input = {}) const
    {
        return RunCli(dir.Path(), args, input);
    }
};

TEST(CliDecode, PrintsLinesInOrderAndReportsBadInput)
{
    const std::string input = "01 03 00 10 00 02 C5 CE\n"
                              "hello\n"
                              "0103040001000 22A32\n"
                              "\n"
                              "01 83 02 C0 F1\n";
    const auto r = RunProcess(KORVEX_CLI_PATH, { "decode" }, input);
    EXPECT_EQ(r.nExitCode, 0);
    EXPECT_EQ(
        SplitLines(r.strOut),
        (Strings{ "P\t0\t\t1\t(0x03) Read Holding Registers, Адрес=0x0010, Количество=2",
                  "P\t5\t\t1\t(0x03) Read Holding Registers - устройство с адресом 0x1 не найдено",
                  "P\t4\t\t1\tError: (0x83) Read Holding Registers, Exception code: 0x02" }));
    // Line 2 is text, line 3 splits a pair: both are reported with their numbers.
    EXPECT_NE(r.strErr.find("line 2"), std::string::npos) << r.strErr;
    EXPECT_NE(r.strErr.find("line 3"), std::string::npos) << r.strErr;
}

TEST(CliDecode, DecimalOptionsAndTheWaitForTheRestWhileRunning)
{
    const auto dec =
        RunProcess(KORVEX_CLI_PATH, { "decode", "--dec-addr", "--dec-values" },
                   "0103040001000 22A32\n01 03 00 10 00 02 C5 CE\n01030400010002 2A32\n");
    EXPECT_EQ(
        SplitLines(dec.strOut),
        (Strings{ "P\t0\t\t1\t(0x03) Read Holding Registers, Адрес=0016, Количество=2",
                  "P\t5\t\t1\t(0x03) Read Holding Registers - устройство с адресом 0x1 не найдено",
                  "P\t3\t\t1\t(0x03) Read Holding Registers, Количество=2, Регистры={ 0001 0002 "
                  "}" }));

    // With --running a partial frame waits for the rest; without, it is
    // unrecognised at once.
    const auto run =
        RunProcess(KORVEX_CLI_PATH, { "decode", "--running" }, "01 03 00 10\n00 02 C5 CE\n");
    EXPECT_EQ(Starting(run.strOut, "P\t0\t"),
              Strings{ "P\t0\t\t1\t(0x03) Read Holding Registers, Адрес=0x0010, Количество=2" });
    const auto idle = RunProcess(KORVEX_CLI_PATH, { "decode" }, "01 03 00 10 00\n02 C5 CE\n");
    EXPECT_TRUE(idle.strOut.starts_with("P\t5\t\t\tНеопознанные данные")) << idle.strOut;
    EXPECT_EQ(Starting(idle.strOut, "P\t0\t"), Strings{});

    // --raw: each P line ends in the bytes of its frame, the unknown ones too.
    const auto raw =
        RunProcess(KORVEX_CLI_PATH, { "decode", "--raw" }, "01 03 00 10 00 02 C5 CE\nFF FF\n");
    EXPECT_EQ(SplitLines(raw.strOut),
              (Strings{ "P\t0\t\t1\t(0x03) Read Holding Registers, Адрес=0x0010, Количество=2"
                        "\t01 03 00 10 00 02 C5 CE",
                        "P\t5\t\t1\t(0x03) Read Holding Registers - устройство с адресом 0x1 не "
                        "найдено\t",
                        SplitLines(raw.strOut).back() }));
    EXPECT_TRUE(SplitLines(raw.strOut).back().ends_with("\tFF FF")) << raw.strOut;
}

TEST(CliDecode, RequestsToADeviceFileAreAnswered)
{
    struct
    {
        const char* why;
        std::string request;
        Strings answers;
    } const cases[] = {
        { "read holding registers", "01 03 00 00 00 02", { TLine("01 03 04 01 90 00 02") } },
        { "read an input register", "01 04 00 00 00 01", { TLine("01 04 02 01 8B") } },
        { "write a single register", "01 06 00 01 00 03", { TLine("01 06 00 01 00 03") } },
        { "a missing register gives an exception", "01 03 00 05 00 01", { TLine("01 83 04") } },
        { "another address is not answered", "02 03 00 00 00 01", {} },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        CliFolder f;
        const auto r = f.Run("decode lib/pump.kvxd", Requests({ c.request }));
        EXPECT_EQ(r.nExitCode, 0) << r.strErr;
        EXPECT_EQ(Starting(r.strOut, "T\t"), c.answers);
        EXPECT_EQ(r.strErr, "");
        // The request line names the device by its ID, read from code page 1251.
        EXPECT_EQ(Starting(r.strOut, "P\t0\tНасосная\t1\t").size(), c.answers.size());
    }
}

TEST(CliDecode, ReaderWarningsAreLoggedAndBadFilesDoNotStopTheOthers)
{
    CliFolder f;
    f.dir.Write("bad.kvxd", "P2\t2\r\nXREG\ta\tb\t1\tRW\t0-1\t0\r\n");
    f.dir.Write("dup.kvxd", "\xCD\xE0\xF1\xEE\xF1\xED\xE0\xFF\t3\r\n");
    const auto r = f.Run("decode missing.kvxd bad.kvxd lib/pump.kvxd dup.kvxd",
                         Requests({ "01 03 00 00 00 01", "03 03 00 00 00 01" }));
    EXPECT_EQ(r.nExitCode, 1) << "a file did not open";
    EXPECT_TRUE(r.strOut.starts_with("P\t5\tbad.kvxd\t\tЗадан неверный тип ячейки (первый "
                                     "параметр)! Допустимы: COIL,DINP,HREG,IREG.\n"))
        << r.strOut;
    EXPECT_EQ(Starting(r.strOut, "T\t"), Strings{ TLine("01 03 02 01 90") })
        << "the pump answers; the device with the duplicate ID never opened";
    EXPECT_EQ(r.strErr, "korvex-cli decode: Не удаётся открыть файл \"" +
                            f.dir.File("missing.kvxd") + "\": Нет такого файла или каталога\n")
        << "no message for a duplicate ID";
}

TEST(CliDecode, AProjectsDevicesAnswerWhereverTheyAre)
{
    CliFolder f;
    const auto r =
        f.Run("decode proj/p.kvxp", Requests({ "02 03 00 00 00 01", "01 03 00 00 00 01" }));
    EXPECT_EQ(r.nExitCode, 0) << r.strErr;
    EXPECT_EQ(Starting(r.strOut, "T\t"),
              (Strings{ TLine("02 03 02 12 34"), TLine("01 03 02 01 90") }));
    EXPECT_EQ(Starting(r.strOut, "P\t0\t").size(), 2u);
    // The missing file is reported and skipped; nothing else is.
    EXPECT_EQ(r.strErr, "korvex-cli decode: " + f.dir.File("proj/gone.kvxd") + kMissing + "\n");
}

TEST(CliDecode, SaveWritesChangedDevicesBackWhereTheyAre)
{
    struct
    {
        const char* why;
        std::string args;
        std::string request;
        std::string answer;
        std::string saved; // the file written, empty for none
        std::string text;  // what the written file holds
    } const cases[] = {
        { "device files with --save", "--save lib/pump.kvxd proj/sub/boiler.kvxd",
          "01 10 00 00 00 02 04 01 F4 00 01", "01 10 00 00 00 02", "lib/pump.kvxd",
          "\r\nНасосная\t0x1\r\nHREG\tSetpoint\tSP\t0x0\tRW\t0x0-0x3E8\t0x1F4\r\n"
          "HREG\tMode\tMODE\t0x1\tRW\t0x0-0x3\t0x1\r\n" },
        { "device files without --save", "lib/pump.kvxd proj/sub/boiler.kvxd",
          "01 10 00 00 00 02 04 01 F4 00 01", "01 10 00 00 00 02", "", "" },
        { "a project's device with --save", "--save proj/p.kvxp", "02 06 00 00 00 2A",
          "02 06 00 00 00 2A", "proj/sub/boiler.kvxd", "\tLEVEL\t0x0\tRW\t0x0-0xFFFF\t0x2A\r\n" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        CliFolder f;
        const auto r = f.Run("decode " + c.args, Requests({ c.request }));
        EXPECT_EQ(r.nExitCode, 0) << r.strErr;
        EXPECT_EQ(Starting(r.strOut, "T\t"), Strings{ TLine(c.answer) });
        for (const auto& [file, before] :
             { std::pair<std::string, std::string>{ "lib/pump.kvxd", kPump },
               { "proj/sub/boiler.kvxd", DeviceFile("BOILER1", 2, 0x1234) } }) {
            const std::string bytes = ReadBytes(f.dir.File(file));
            if (file != c.saved) {
                EXPECT_EQ(bytes, before) << file << ": an unchanged device is not saved";
                continue;
            }
            const std::string text = DecodeFileText(bytes);
            EXPECT_TRUE(text.starts_with("// Файл устройства эмулятора MODBUS-slave Korvex"));
            EXPECT_NE(text.find(c.text), std::string::npos) << text;
        }
        EXPECT_FALSE(std::filesystem::exists(f.dir.File("proj/gone.kvxd")));
    }
}

TEST(CliDecode, TheBundledExamplesDecodeCleanly)
{
    const std::string examples = KORVEX_SOURCE_DIR "/examples/";
    const std::string traffic = ReadBytes(examples + "traffic.hex");
    struct
    {
        const char* why;
        std::string files;
        std::string input;
        std::size_t requests;
        std::size_t warnings; // requests to no device
        Strings answers;
    } const cases[] = {
        { "the capture alone", "", traffic, 10, 10, {} },
        { "the capture on the pump: all but the foreign address answered",
          "pump.kvxd",
          traffic,
          10,
          1,
          { "T\t01 01 01 05 91 8B", "T\t01 02 01 01 60 48",
            "T\t01 03 08 01 90 00 01 00 0A 00 01 18 10",
            "T\t01 04 0A 01 8B 00 7B 00 00 00 55 04 D2 CB C4", "T\t01 05 00 01 FF 00 DD FA",
            "T\t01 06 00 00 01 F4 89 DD", "T\t01 10 00 02 00 02 E0 08",
            "T\t01 03 08 01 F4 00 01 00 14 00 02 1D D1", "T\t01 83 04 40 F3" } },
        { "the demo project serves both devices",
          "demo.kvxp",
          Requests({ "01 03 00 00 00 01", "02 04 00 00 00 02" }),
          2,
          0,
          { TLine("01 03 02 01 90"), TLine("02 04 04 02 8E 02 00") } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        const auto r = RunCli(examples, "decode " + c.files, c.input);
        EXPECT_EQ(r.nExitCode, 0);
        EXPECT_EQ(r.strErr, "");
        EXPECT_EQ(Starting(r.strOut, "P\t0\t").size(), c.requests);
        EXPECT_EQ(Starting(r.strOut, "P\t5\t").size(), c.warnings) << "the files read cleanly";
        EXPECT_EQ(Starting(r.strOut, "T\t"), c.answers);
    }
}

TEST(Cli, UsageErrorsAndUnreadableProjectsOpenNothing)
{
    CliFolder f;
    const std::string alone = "a project file (.kvxp) is given alone: one project, or device and "
                              "script files";
    const std::string none = "Не удаётся открыть файл \"" + f.dir.File("proj/none.kvxp") +
                             "\": Нет такого файла или каталога";
    struct
    {
        std::string args;
        int code;
        std::string error; // the first line of standard error
    } const cases[] = {
        { "nonsense", 2, "korvex-cli: unknown command 'nonsense'" },
        { "decode --bogus", 2, "korvex-cli decode: unknown option '--bogus'" },
        { "ports --baud 9600", 2, "korvex-cli ports: unknown option '--baud'" },
        { "ports --sys-root", 2, "korvex-cli ports: option '--sys-root' needs a folder" },
        { "run", 2, "korvex-cli run: no project, device or script file given" },
        { "run --parity sometimes x.kvxd", 2,
          "korvex-cli run: --parity takes none, odd, even, mark or space" },
        { "run --data-bits 9 x.kvxd", 2, "korvex-cli run: --data-bits takes 5, 6, 7 or 8" },
        { "run --stop-bits 3 x.kvxd", 2, "korvex-cli run: --stop-bits takes 1, 1.5 or 2" },
        { "run --rts maybe x.kvxd", 2, "korvex-cli run: --rts takes on or off" },
        { "run --baud fast x.kvxd", 2, "korvex-cli run: --baud needs a rate in bits per second" },
        { "run --port ttyS9 --virtual x.kvxd", 2,
          "korvex-cli run: --port and --virtual exclude each other" },
        { "run --frobnicate x.kvxd", 2, "korvex-cli run: unknown option '--frobnicate'" },
        { "decode proj/p.kvxp lib/pump.kvxd", 2, "korvex-cli decode: " + alone },
        { "decode lib/pump.kvxd proj/P.KVXP", 2, "korvex-cli decode: " + alone },
        { "decode proj/p.kvxp proj/p.kvxp", 2, "korvex-cli decode: " + alone },
        { "run --virtual proj/p.kvxp proj/s.kvxs", 2, "korvex-cli run: " + alone },
        { "decode proj/none.kvxp", 1, "korvex-cli decode: " + none },
        { "run --virtual proj/none.kvxp", 1, "korvex-cli run: " + none },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const auto r = f.Run(c.args);
        EXPECT_EQ(r.nExitCode, c.code);
        EXPECT_EQ(SplitLines(r.strErr).at(0), c.error);
        EXPECT_EQ(r.strErr.find("\nusage: korvex-cli") != std::string::npos, c.code == 2);
        EXPECT_EQ(r.strOut, "") << "no port was opened";
    }
}

TEST(Cli, FilesThatAreNoKorvexFilesEndTheCommandWithExitOne)
{
    CliFolder f;
    std::string noise(50 * 1024, '\0');
    std::mt19937 random(5);
    for (char& c : noise)
        c = static_cast<char>(random());
    f.dir.Write("noise.kvxp", noise);
    f.dir.Write("noise.kvxd", noise);
    const std::string notProject =
        "Файл \"" + f.dir.File("noise.kvxp") + "\" не является файлом проекта Korvex.\n";
    const std::string badFormat = "Неверный формат файла \"" + f.dir.File("noise.kvxd") + "\"\n";
    const std::pair<std::string, std::string> cases[] = {
        { "decode noise.kvxp", "korvex-cli decode: " + notProject },
        { "run --virtual noise.kvxp", "korvex-cli run: " + notProject },
        { "decode noise.kvxd", "korvex-cli decode: " + badFormat },
        { "run --virtual lib/pump.kvxd noise.kvxd", "korvex-cli run: " + badFormat },
    };
    for (const auto& [args, error] : cases) {
        const auto r = f.Run(args);
        EXPECT_EQ(r.nExitCode, 1) << args;
        EXPECT_EQ(r.strErr, error);
        EXPECT_EQ(Starting(r.strOut, "V\t"), Strings{}) << "nothing served";
    }
}

TEST(Cli, EveryCommandAndTheDesktopProgramPrintTheirHelp)
{
    CTempDir dir;
    for (const std::string command : { "", "run", "decode", "ports" }) {
        const auto r = RunCli(dir.Path(), command + " --help");
        EXPECT_EQ(r.nExitCode, 0) << command;
        EXPECT_TRUE(
            r.strOut.starts_with("usage: korvex-cli " + (command.empty() ? "COMMAND" : command)))
            << r.strOut;
        EXPECT_EQ(r.strErr, "");
    }
    // Without a display to open.
    const auto gui = RunProcess("/usr/bin/env", { "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u",
                                                  "QT_QPA_PLATFORM", KORVEX_GUI_PATH, "--help" });
    EXPECT_EQ(gui.nExitCode, 0) << gui.strErr;
    EXPECT_TRUE(gui.strOut.starts_with("usage: korvex [--virtual[=LINK]")) << gui.strOut;
}

} // namespace
} // namespace korvex::test
