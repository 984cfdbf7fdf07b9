#pragma once

#include <cstdint>
#include <string>

namespace korvex {

// One serial port found on the machine.
struct SSerInfo
{
    std::string m_strComName;   // the name the emulator opens ("ttyUSB0")
    std::string m_strShownName; // friendly name, ends in " (ttyUSB0)"
    std::string m_strOpenPath;  // device path ("/dev/ttyUSB0")
    std::string m_strDesc;      // product and maker where known
    bool m_bBusy{ false };      // could not be opened during the scan
    bool m_bUsb{ false };
    bool m_bVirtual{ false }; // the built-in virtual port (a pseudo-terminal)
};

// The serial part of the settings.
struct SPortSettings
{
    SSerInfo m_info; // copy of the selected port's record
    int PORT{ -1 };  // index into the port list
    std::uint32_t BAUD{ 9600 };
    std::uint8_t DATABIT{ 8 };
    std::uint8_t PARITY{ 0 };  // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t STOPBIT{ 0 }; // 0 one, 1 one and a half, 2 two
    int FLOWCTRL{ 1 };
    int RTS_CTRL_HI{ 1 };
    int DTR_CTRL_HI{ 1 };
    // Non-zero: no serial port is served (the port list's "нет").
    int NOSERIAL{ 0 };
    // The network listeners served beside the port: Modbus TCP and RTU over
    // TCP, each on when non-zero, at its address and port.
    int TCPON{ 0 };
    std::string TCPADDR{ "127.0.0.1" };
    int TCPPORT{ 1502 };
    int RTUTCPON{ 0 };
    std::string RTUTCPADDR{ "127.0.0.1" };
    int RTUTCPPORT{ 1503 };
};

// The settings record owned by the application.
struct SSettings : SPortSettings
{
    int CHILDSTATE{ 1 };
    int MAXLOGP{ 500 };
    int MAXLOGS{ 200 };
    int ADDRISHEX{ 1 };
    int VALUEISHEX{ 1 };
    int EDITHEX{ 1 };
    // Non-zero: requests to the project's devices are answered by the MODBUS
    // standard (exceptions 01, 02, 03; function codes 8, 17, 22, 23 served).
    int MBSTRICT{ 0 };
    // Non-zero: the cells' access and bounds hold for the master (exception
    // 02 for a write of a read-only or a read of a write-only cell, 03 for a
    // register value outside its bounds).
    int MBCELLRULES{ 0 };
    // The protocol log's filter bar is shown (non-zero), and its extra
    // columns: 1 the wall-clock time, 2 the raw frame.
    int LOGFILTER{ 0 };
    int LOGCOLUMNS{ 0 };
    std::string VERSION;
};

} // namespace korvex
