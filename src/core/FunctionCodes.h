#pragma once

#include <cstdint>

namespace korvex {

// MODBUS function codes the emulator frames and answers; 8 and the last three
// only with answers by the standard (the setting MBSTRICT).
enum FunctionCode : std::uint8_t
{
    FC_READ_COILS = 0x01,
    FC_READ_INPUTS = 0x02,
    FC_READ_HOLDING = 0x03,
    FC_READ_INPUT_REGS = 0x04,
    FC_WRITE_COIL = 0x05,
    FC_WRITE_REGISTER = 0x06,
    FC_READ_EXCEPTION = 0x07,
    FC_DIAGNOSTICS = 0x08,
    FC_WRITE_COILS = 0x0F,
    FC_WRITE_REGISTERS = 0x10,
    FC_REPORT_SLAVE_ID = 0x11,
    FC_MASK_WRITE_REGISTER = 0x16,
    FC_READ_WRITE_REGISTERS = 0x17,
};

// Sub-functions of Diagnostics (code 8) that are served; the counters are
// the device's (CDevCounters) and the bus's since its last clear.
enum DiagSubFunction : std::uint16_t
{
    DIAG_RETURN_QUERY_DATA = 0x00,
    DIAG_CLEAR_COUNTERS = 0x0A,
    DIAG_BUS_MESSAGES = 0x0B,
    DIAG_BUS_ERRORS = 0x0C,
    DIAG_EXCEPTIONS = 0x0D,
    DIAG_SERVER_MESSAGES = 0x0E,
    DIAG_NO_RESPONSES = 0x0F,
};

// Bit 7 of the function code marks an exception response.
inline constexpr std::uint8_t kExceptionFlag = 0x80;

// Exception codes of an exception response.
enum ExceptionCode : std::uint8_t
{
    EX_NONE = 0x00,
    EX_ILLEGAL_FUNCTION = 0x01, // answers by the standard: a code not served
    EX_ILLEGAL_ADDRESS = 0x02,  // answers by the standard: a missing cell
    EX_ILLEGAL_VALUE = 0x03,    // quantity out of range, coil value not 0x0000/0xFF00
    EX_DEVICE_FAILURE = 0x04,   // the emulator's answer for a missing cell
};

// Quantity limits of requests.
inline constexpr unsigned kMaxReadBits = 2000;  // 0x7D0
inline constexpr unsigned kMaxReadRegs = 125;   // 0x7D
inline constexpr unsigned kMaxWriteBits = 1968; // 0x7B0
inline constexpr unsigned kMaxWriteRegs = 123;  // 0x7B
// Read/write multiple registers: its read and its write part.
inline constexpr unsigned kMaxRwReadRegs = 125;  // 0x7D
inline constexpr unsigned kMaxRwWriteRegs = 121; // 0x79

// With answers by the standard, a request to address 0 is a broadcast to
// every device.
inline constexpr std::uint8_t kBroadcastAddress = 0;

// The values a write-single-coil request may carry.
inline constexpr std::uint16_t kCoilOff = 0x0000;
inline constexpr std::uint16_t kCoilOn = 0xFF00;

// The status byte of every read-exception-status answer.
inline constexpr std::uint8_t kExceptionStatus = 0x20;

// The run indicator of a report-server-ID answer: the device runs.
inline constexpr std::uint8_t kRunIndicatorOn = 0xFF;

// Longest prefix ScanCrc tries: a 256-byte RTU frame is 254 bytes and a CRC.
inline constexpr unsigned kMaxScanPrefix = 254;
// Bytes from a start on that decide whether a frame starts there.
inline constexpr unsigned kScanWindow = kMaxScanPrefix + 3;
// The largest RTU frame: address, 253 bytes of PDU, CRC.
inline constexpr unsigned kMaxFrame = 256;

} // namespace korvex
