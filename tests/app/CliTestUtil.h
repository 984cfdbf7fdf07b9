#pragma once

// Shared pieces of the korvex-cli tests: the program run in a folder, frames
// as it reads and prints them, device files, and a MODBUS master (libmodbus)
// on the virtual port of a run.

#include "files/CodePage.h"
#include "support/CChildProcess.h"
#include "support/CoreHarness.h"
#include "support/RunProcess.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <modbus/modbus.h>

#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace korvex::test {

using Strings = std::vector<std::string>;

// Runs "korvex-cli ARGS" through the shell in the folder, standard input
// given; relative paths in ARGS are the folder's.
inline SProcessResult RunCli(const std::string& dir, const std::string& args,
                             const std::string& input = {})
{
    return RunProcess("/bin/sh", { "-c", "cd '" + dir + "' && exec '" KORVEX_CLI_PATH "' " + args },
                      input);
}

// The bytes as upper-case hex pairs separated by blanks.
inline std::string HexLine(const Bytes& frame)
{
    std::string line;
    for (std::uint8_t b : frame) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", b);
        line += hex;
    }
    return line.empty() ? line : line.substr(1);
}

// Input for decode: one line per frame, each frame given without its CRC.
inline std::string Requests(const Strings& frames)
{
    std::string text;
    for (const std::string& frame : frames)
        text += HexLine(WithCrc(Hex(frame))) + "\n";
    return text;
}

// The line the program prints for a frame it sends, the CRC appended.
inline std::string TLine(const std::string& frame)
{
    return "T\t" + HexLine(WithCrc(Hex(frame)));
}

// The lines that start with prefix.
inline Strings Starting(const Strings& lines, const std::string& prefix)
{
    Strings found;
    for (const std::string& line : lines)
        if (line.starts_with(prefix))
            found.push_back(line);
    return found;
}
inline Strings Starting(const std::string& out, const std::string& prefix)
{
    return Starting(SplitLines(out), prefix);
}

// A device file as the Windows program writes it (code page 1251, CR LF):
// the ID at the address with holding register 0, LEVEL, holding value.
inline std::string DeviceFile(const std::string& id, int addr, int value)
{
    return *Utf8ToCp1251(id + "\t" + std::to_string(addr) +
                         "\r\nHREG\tУровень\tLEVEL\t0\tRW\t0-65535\t" + std::to_string(value) +
                         "\r\n");
}

// PUMP1 at address 1: coils 0..15 (odd ones on), inputs 0..7 (2 on), holding
// registers H0..H119 holding 1000 + address, input registers 0..9 holding
// 50 + address, input register 5 missing.
inline std::string DemoDevice()
{
    std::string text = "// test device\r\nPUMP1\t1\r\n";
    const auto line = [&text](const char* type, const std::string& id, int a, const char* access,
                              const char* bounds, int value) {
        text += std::string(type) + "\tcell\t" + id + std::to_string(a) + "\t" + std::to_string(a) +
                "\t" + access + "\t" + bounds + "\t" + std::to_string(value) + "\r\n";
    };
    for (int a = 0; a < 16; ++a)
        line("COIL", "C", a, "RW", "0-1", a % 2);
    for (int a = 0; a < 8; ++a)
        line("DINP", "I", a, "R", "0-1", a == 2 ? 1 : 0);
    for (int a = 0; a < 120; ++a)
        line("HREG", "H", a, "RW", "0-65535", 1000 + a);
    for (int a = 0; a < 10; ++a)
        if (a != 5)
            line("IREG", "R", a, "R", "0-65535", 50 + a);
    return text;
}

struct ModbusCtxDeleter
{
    void operator()(modbus_t* ctx) const
    {
        modbus_close(ctx);
        modbus_free(ctx);
    }
};
using ModbusPtr = std::unique_ptr<modbus_t, ModbusCtxDeleter>;

// A MODBUS RTU master on the port at path, 9600 8N1 unless told, talking to
// slave.
inline ModbusPtr Connect(const std::string& path, int slave, int timeoutMs = 1000, int baud = 9600,
                         char parity = 'N')
{
    ModbusPtr ctx(modbus_new_rtu(path.c_str(), baud, parity, 8, 1));
    EXPECT_NE(ctx, nullptr);
    if (!ctx)
        return ctx;
    modbus_set_slave(ctx.get(), slave);
    modbus_set_response_timeout(ctx.get(), static_cast<std::uint32_t>(timeoutMs) / 1000,
                                static_cast<std::uint32_t>(timeoutMs) % 1000 * 1000);
    EXPECT_EQ(modbus_connect(ctx.get()), 0) << modbus_strerror(errno);
    modbus_flush(ctx.get());
    return ctx;
}

// "korvex-cli run --virtual=LINK ARGS", once it has printed its V line.
inline std::unique_ptr<CChildProcess> StartRun(const std::string& link, const Strings& args)
{
    Strings all = { "run", "--virtual=" + link };
    all.insert(all.end(), args.begin(), args.end());
    auto proc = std::make_unique<CChildProcess>(KORVEX_CLI_PATH, all);
    EXPECT_NE(proc->WaitForLine([](const std::string& l) { return l.starts_with("V\t"); }), "")
        << proc->Stderr();
    return proc;
}

// A run on a virtual port linked at <folder>/port.
class CliRunFixture : public ::testing::Test
{
protected:
    // Writes the files (name, text) into the folder and starts the run with
    // the options, then the files.
    void StartWith(const Strings& options,
                   const std::vector<std::pair<std::string, std::string>>& files)
    {
        Strings args = options;
        for (const auto& [name, text] : files)
            args.push_back(m_dir.Write(name, text));
        m_proc = StartRun(m_dir.File("port"), args);
    }
    ModbusPtr Connect(int slave = 1, int timeoutMs = 1000)
    {
        return test::Connect(m_dir.File("port"), slave, timeoutMs);
    }
    int Stop()
    {
        m_proc->Signal(SIGTERM);
        return m_proc->Wait();
    }
    int CountLines(const std::string& prefix) const
    {
        return static_cast<int>(Starting(m_proc->Lines(), prefix).size());
    }

    CTempDir m_dir;
    std::unique_ptr<CChildProcess> m_proc;
};

} // namespace korvex::test
