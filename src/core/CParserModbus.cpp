#include "core/CParserModbus.h"

#include "core/CKorvexApp.h"
#include "core/CProtoFeed.h"
#include "core/Crc16.h"
#include "core/Text.h"

#include <algorithm>
#include <iterator>

namespace korvex {
namespace {

struct SFunction
{
    std::uint8_t byCode;
    const char* szShort;
    const char* szLong;
};

constexpr SFunction kFunctions[] = {
    { 0x01, "RD_COILS", "Read Coils" },
    { 0x02, "RD_INPUTS", "Read Discrete Inputs" },
    { 0x03, "RD_HOLD_REG", "Read Holding Registers" },
    { 0x04, "RD_INP_REG", "Read Input Registers" },
    { 0x05, "WR_COIL", "Write Single Coil" },
    { 0x06, "WR_REGISTER", "Write Single Register" },
    { 0x07, "RD_EXEPT", "Read Exception Status" },
    { 0x08, "GET_DIAG", "Diagnostics" },
    { 0x0B, "GET_EV_COUNT", "Get Comm Event Counter" },
    { 0x0C, "GET_EV_LOG", "Get Comm Event Log" },
    { 0x0F, "WR_M_COILS", "Write Multiple Coils" },
    { 0x10, "WR_M_REGS", "Write Multiple registers" },
    { 0x11, "GET_ID", "Report Slave ID" },
    { 0x14, "RD_FILE", "Read File Record" },
    { 0x15, "WR_FILE", "Write File Record" },
    { 0x16, "WR_MASK", "Mask Write Register" },
    { 0x17, "RDWR_M_REGS", "Read/Write Multiple registers" },
    { 0x18, "RD_FIFO", "Read FIFO Queue" },
    { 0x2B, "EX_TRANS", "Encapsulated Interface Transport" },
};

std::uint16_t Be16(std::uint8_t hi, std::uint8_t lo)
{
    return static_cast<std::uint16_t>((hi << 8) | lo);
}

// The unrecognized-bytes text is cut to this many characters by the line feed,
// so listing stops once it is longer.
constexpr std::size_t kTextLimit = CProtoFeed::kMaxText + 1;

} // namespace

std::string DescribeUnrecognized(const std::uint8_t* d, unsigned count, bool hex)
{
    std::string t = StrFormat("Неопознанные данные %u байт { ", count);
    for (unsigned i = 0; i < count && Utf8Length(t) < kTextLimit; ++i) {
        if (i > 0)
            t += ", ";
        t += StrFormat(hex ? "0x%X" : "%u", static_cast<unsigned>(d[i]));
    }
    t += " }";
    return t;
}

const char* GetFunctionName(std::uint8_t code, bool longName)
{
    for (const SFunction& f : kFunctions)
        if (f.byCode == code)
            return longName ? f.szLong : f.szShort;
    return "Ошибка: команда MODBUS не опознана!";
}

bool IsKnownFunction(std::uint8_t fc)
{
    switch (fc & 0x7F) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 7:
    case 15:
    case 16: return true;
    default: return false;
    }
}

unsigned ScanCrc(const std::uint8_t* p, unsigned m)
{
    // The CRC register is carried from one prefix length to the next; the
    // result is the same as recomputing Crc16(p, i) for every i.
    const unsigned last = std::min(m, kMaxScanPrefix);
    std::uint16_t crc = Crc16(p, 0);
    for (unsigned i = 1; i <= last; ++i) {
        crc = Crc16Step(crc, p[i - 1]);
        if (p[i] == (crc >> 8) && p[i + 1] == (crc & 0xFF)) {
            // After a message and its first CRC byte the register holds the
            // second CRC byte and zero: a following 0x00 matches again and
            // joins the frame.
            if (i + 1 <= m && CrcMatches(p, i + 1))
                return i + 3;
            return i + 2;
        }
    }
    return 0;
}

bool MayStartFrame(const std::uint8_t* d, unsigned n, unsigned s)
{
    // With its whole scan window present, a start that gave no frame never will.
    if (n - s >= kScanWindow)
        return false;
    return s + 1 >= n || IsKnownFunction(d[s + 1]);
}

unsigned MinFrameLen(const std::uint8_t* p, unsigned m)
{
    auto at = [p, m](unsigned i, bool& ok) -> std::uint8_t {
        if (i < m)
            return p[i];
        ok = false;
        return 0;
    };
    bool ok = true;
    const std::uint8_t fc = at(1, ok);
    const std::uint16_t q = Be16(at(4, ok), at(5, ok));
    const bool haveQ = ok;

    // A request form needs bytes 0..7 and its own CRC at 6..7.
    auto requestCrc = [&]() { return m >= 8 && CrcMatches(p, 6); };
    auto count = [&](unsigned i) -> unsigned { return i < m ? p[i] : 0; };

    switch (fc) {
    case 0x81:
    case 0x82:
    case 0x83:
    case 0x84:
    case 0x85:
    case 0x86:
    case 0x8F:
    case 0x90: return 5;
    case 0x87: return 3;
    case 1:
    case 2:
        if (haveQ && q >= 1 && q <= kMaxReadBits && requestCrc())
            return 8;
        return count(2) + 5;
    case 3:
    case 4:
        if (haveQ && q >= 1 && q <= kMaxReadRegs && requestCrc())
            return 8;
        return count(2) + 5;
    case 5:
    case 6: return 8;
    case 7: return 4;
    case 15:
    case 16:
        if (haveQ && q >= 1 && q <= kMaxWriteBits)
            return 8;
        return count(6) + 9;
    default: return 32;
    }
}

bool IsRequest(const std::uint8_t* pdu, unsigned n)
{
    const std::uint8_t fc = pdu[0];
    if (fc == 7)
        return n <= 1;
    if (n < 5)
        return false;
    const unsigned q = Be16(pdu[3], pdu[4]);
    switch (fc) {
    case 1:
    case 2: return q >= 1 && q <= kMaxReadBits && n == 5;
    case 3:
    case 4: return q >= 1 && q <= kMaxReadRegs && n == 5;
    case 5:
    case 6: return n == 5;
    case 15:
        // The data the byte count announces must be inside the frame.
        return q >= 1 && q <= kMaxWriteBits && n >= 6 && pdu[5] == (q + 7) / 8 && n >= 6u + pdu[5];
    case 16: return q >= 1 && q <= kMaxWriteRegs && n >= 6 && pdu[5] == 2 * q && n >= 6u + pdu[5];
    default: return true;
    }
}

CParserModbus::CParserModbus(CKorvexApp& app) : m_app(app) {}

void CParserModbus::Parse(const std::uint8_t* d, unsigned n, SFrameInfo& info)
{
    unsigned skip = m_nScanFrom;
    unsigned crcLen = 0;
    const bool running = m_app.IsRunning();

    bool found = false;
    for (unsigned s = m_nScanFrom; s + 3 < n; ++s) {
        skip = s;
        if (IsKnownFunction(d[s + 1])) {
            crcLen = ScanCrc(d + s, n - s - 2);
            const unsigned minLen = MinFrameLen(d + s, n - s);
            if (crcLen != 0 && crcLen >= minLen) {
                found = true;
                break;
            }
        }
    }

    // While the emulator runs, bytes that may still become a frame wait for
    // the next arrival, with whatever lies in front of them: a line may cut a
    // request anywhere. The bytes in front are reported once a frame behind
    // them is found, or once the pending bytes exceed the largest frame.
    if (running && !found) {
        unsigned first = m_nScanFrom;
        while (first < n && !MayStartFrame(d, n, first))
            ++first;
        if (first == 0 || n <= kMaxFrame) {
            info.nLength = 0;
            m_nResumeHint = std::max(m_nScanFrom, n > kScanWindow ? n - kScanWindow : 0u);
            return;
        }
        skip = first;
    }

    if (skip > 0) {
        info.nKind = LK_WARNING;
        info.nLength = static_cast<int>(skip);
        info.byAddr = 0;
        info.strText = DescribeUnrecognized(d, skip, m_app.GetSettings().VALUEISHEX != 0);
        return;
    }
    if (crcLen != 0 && crcLen <= n) {
        info.byAddr = d[0];
        info.nLength = static_cast<int>(crcLen);
        Describe(d, crcLen, info);
    }
}

void CParserModbus::Describe(const std::uint8_t* f, unsigned length, SFrameInfo& info)
{
    const std::uint8_t fc = f[1];
    if (fc > 0x80) {
        info.nKind = LK_ERROR;
        info.strText = StrFormat("Error: (0x%02X) %s, Exception code: 0x%02X", fc,
                                 GetFunctionName(static_cast<std::uint8_t>(fc - 0x80), true),
                                 static_cast<unsigned>(length > 2 ? f[2] : 0));
        return;
    }
    if (m_bDispatch && m_app.TakeEcho(f, length)) {
        info.nKind = LK_ECHO;
        return;
    }
    if (length >= 3 && IsRequest(f + 1, length - 3))
        DescribeRequest(f, length, info);
    else
        DescribeResponse(f, length, info);
}

void CParserModbus::DescribeRequest(const std::uint8_t* f, unsigned length, SFrameInfo& info)
{
    const SSettings& set = m_app.GetSettings();
    const std::uint8_t fc = f[1];
    const char* name = GetFunctionName(fc, true);
    const std::uint16_t a = Be16(f[2], f[3]);
    const std::uint16_t q = length >= 6 ? Be16(f[4], f[5]) : 0;
    const std::string addr = FormatNumber(a, set.ADDRISHEX != 0, 4);
    std::string& t = info.strText;
    info.nKind = LK_REQUEST;

    switch (fc) {
    case 1:
    case 2:
    case 3:
    case 4: t = StrFormat("(0x%02X) %s, Адрес=%s, Количество=%d", fc, name, addr.c_str(), q); break;
    case 5:
        t = StrFormat("(0x%02X) %s, Адрес=%s, Значение=0x%04X", fc, name, addr.c_str(), q);
        break;
    case 6:
        t = StrFormat("(0x%02X) %s, Адрес=%s, Регистр=0x%04X", fc, name, addr.c_str(), q);
        break;
    case 7:
        t = StrFormat("(0x%02X) %s Запрос на получение статуса устройства (зависит от устройства)",
                      fc, name);
        break;
    case 15:
        t = StrFormat("(0x%02X) %s, Адрес=%s, Кол-во=%d Значения={", fc, name, addr.c_str(), q);
        for (unsigned i = 0; i < f[6]; ++i)
            t += " " + FormatNumber(f[7 + i], set.VALUEISHEX != 0, 2);
        t += " }";
        break;
    case 16:
        t = StrFormat("(0x%02X) %s, Адрес=%s, К-во=%d Регистры={", fc, name, addr.c_str(), q);
        for (unsigned i = 0; i < q; ++i)
            t += " " + FormatNumber(Be16(f[7 + 2 * i], f[8 + 2 * i]), set.VALUEISHEX != 0, 4);
        t += " }";
        break;
    default: return;
    }

    if (!m_bDispatch)
        return;
    const std::uint8_t slave = f[0];
    switch (fc) {
    case 1: m_app.OnReadCoils(f, length, slave, a, q); break;
    case 2: m_app.OnReadDiscreteInputs(f, length, slave, a, q); break;
    case 3: m_app.OnReadHoldingRegisters(f, length, slave, a, q); break;
    case 4: m_app.OnReadInputRegisters(f, length, slave, a, q); break;
    case 5: m_app.OnWriteSingleCoil(f, length, slave, a, q); break;
    case 6: m_app.OnWriteSingleRegister(f, length, slave, a, q); break;
    case 7: m_app.OnReadExceptionStatus(f, length, slave, 0, 0); break;
    case 15: m_app.OnWriteCoils(f, length, slave, a, q); break;
    case 16: m_app.OnWriteRegisters(f, length, slave, a, q); break;
    default: break;
    }
}

void CParserModbus::DescribeResponse(const std::uint8_t* f, unsigned length, SFrameInfo& info)
{
    const SSettings& set = m_app.GetSettings();
    const bool hexValues = set.VALUEISHEX != 0;
    auto at = [f, length](unsigned i) -> std::uint8_t { return i < length ? f[i] : 0; };
    const std::uint8_t fc = f[1];
    const char* name = GetFunctionName(fc, true);
    const std::uint16_t a = Be16(at(2), at(3));
    const std::uint16_t v = Be16(at(4), at(5));
    // Data bytes the frame really holds: between the byte count and the CRC.
    const unsigned b = at(2);
    const unsigned held = length >= 5 ? std::min(b, length - 5) : 0;
    std::string& t = info.strText;
    info.nKind = LK_RESPONSE;

    switch (fc) {
    case 1:
    case 2:
        info.nKind = LK_DATA;
        t = StrFormat("(0x%02X) %s, Количество=%d, Данные={", fc, name, b);
        for (unsigned i = 0; i < held; ++i)
            t += " " + FormatNumber(f[3 + i], hexValues, 2);
        t += " }";
        break;
    case 3:
    case 4:
        info.nKind = LK_DATA;
        t = StrFormat("(0x%02X) %s, Количество=%d, Регистры={", fc, name, b / 2);
        for (unsigned i = 0; i < held / 2; ++i)
            t += " " + FormatNumber(Be16(f[3 + 2 * i], f[4 + 2 * i]), hexValues, 4);
        t += " }";
        break;
    case 5:
        t = StrFormat("(0x%02X) %s, Адрес=%s, Значение=%s", fc, name,
                      FormatNumber(a, set.ADDRISHEX != 0, 4).c_str(),
                      FormatNumber(v, hexValues, 4).c_str());
        break;
    case 6:
        t = StrFormat("(0x%02X) %s, Адрес=0x%04X, Значение=%s", fc, name, a,
                      FormatNumber(v, hexValues, 4).c_str());
        break;
    case 7:
        t = StrFormat("(0x%02X) %s Ответ на получение статуса устройства (зависит от устройства)",
                      fc, name);
        break;
    case 15:
    case 16:
        t = StrFormat("(0x%02X) %s, Адрес=%s, Количество=%d", fc, name,
                      FormatNumber(a, set.ADDRISHEX != 0, 4).c_str(), v);
        break;
    default: break;
    }
}

} // namespace korvex
