#pragma once

#include "core/CProtoParser.h"

#include <cstdint>
#include <string>

namespace korvex {

class CKorvexApp;

// MODBUS function codes answered by the emulator.
enum FunctionCode : std::uint8_t
{
    FC_READ_COILS = 0x01,
    FC_READ_INPUTS = 0x02,
    FC_READ_HOLDING = 0x03,
    FC_READ_INPUT_REGS = 0x04,
    FC_WRITE_COIL = 0x05,
    FC_WRITE_REGISTER = 0x06,
    FC_READ_EXCEPTION = 0x07,
    FC_WRITE_COILS = 0x0F,
    FC_WRITE_REGISTERS = 0x10,
};

// Quantity limits of requests.
inline constexpr unsigned kMaxReadBits = 2000;  // 0x7D0
inline constexpr unsigned kMaxReadRegs = 125;   // 0x7D
inline constexpr unsigned kMaxWriteBits = 1968; // 0x7B0
inline constexpr unsigned kMaxWriteRegs = 123;  // 0x7B
// Longest prefix ScanCrc tries: a 256-byte RTU frame is 254 bytes and a CRC.
inline constexpr unsigned kMaxScanPrefix = 254;
// Bytes from a start on that decide whether a frame starts there.
inline constexpr unsigned kScanWindow = kMaxScanPrefix + 3;
// The largest RTU frame: address, 253 bytes of PDU, CRC.
inline constexpr unsigned kMaxFrame = 256;

// "Неопознанные данные N байт { ... }": the bytes as "0x%X" (hex) or "%u".
std::string DescribeUnrecognized(const std::uint8_t* d, unsigned count, bool hex);

// Name of a function code from the table; unknown codes give the error text.
const char* GetFunctionName(std::uint8_t code, bool longName);

// True when fc without bit 7 is one of 1-7, 15, 16.
bool IsKnownFunction(std::uint8_t fc);

// Length of the frame at p found by its CRC (a following 0x00 joins it), or 0.
// m is the number of bytes available minus two.
unsigned ScanCrc(const std::uint8_t* p, unsigned m);

// Whether more bytes behind the n available may still make a frame start at
// d[s]: its function code is unknown yet or a known one, and the bytes that
// decide it are not all there.
bool MayStartFrame(const std::uint8_t* d, unsigned n, unsigned s);

// The least length a frame starting at p may have; only m bytes are read.
unsigned MinFrameLen(const std::uint8_t* p, unsigned m);

// Request test on the PDU (function code onwards, without the CRC).
bool IsRequest(const std::uint8_t* pdu, unsigned pduLength);

// Frames the bytes, suppresses the emulator's echo, describes the frame and,
// with dispatch enabled, hands requests to the application's handlers.
class CParserModbus final : public CProtoParser
{
public:
    explicit CParserModbus(CKorvexApp& app);

    void Parse(const std::uint8_t* data, unsigned available, SFrameInfo& info) override;

    // Starts below this offset are known to start no frame (the drain passes
    // what an earlier wait reported); 0 scans from the beginning.
    void SetScanStart(unsigned offset) { m_nScanFrom = offset; }
    // After a step that waits: starts below this offset start no frame
    // whatever bytes arrive later (their whole scan window was present).
    unsigned GetResumeHint() const { return m_nResumeHint; }

    int m_bDispatch{ 1 };

private:
    void Describe(const std::uint8_t* f, unsigned length, SFrameInfo& info);
    void DescribeRequest(const std::uint8_t* f, unsigned length, SFrameInfo& info);
    void DescribeResponse(const std::uint8_t* f, unsigned length, SFrameInfo& info);

    CKorvexApp& m_app;
    unsigned m_nScanFrom{ 0 };
    unsigned m_nResumeHint{ 0 };
};

} // namespace korvex
