#include "core/CParserModbus.h"

#include "core/CProtoFeed.h"
#include "core/Crc16.h"
#include "core/IDeviceLookup.h"
#include "core/IFrameSender.h"
#include "core/SSettings.h"
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

// The names of the Diagnostics sub-functions that are served.
const char* DiagnosticName(std::uint16_t sub)
{
    switch (sub) {
    case DIAG_RETURN_QUERY_DATA: return "Return Query Data";
    case DIAG_CLEAR_COUNTERS: return "Clear Counters and Diagnostic Register";
    case DIAG_BUS_MESSAGES: return "Return Bus Message Count";
    case DIAG_BUS_ERRORS: return "Return Bus Communication Error Count";
    case DIAG_EXCEPTIONS: return "Return Bus Exception Error Count";
    case DIAG_SERVER_MESSAGES: return "Return Server Message Count";
    case DIAG_NO_RESPONSES: return "Return Server No Response Count";
    default: return nullptr;
    }
}

std::uint16_t Be16(std::uint8_t hi, std::uint8_t lo)
{
    return static_cast<std::uint16_t>((hi << 8) | lo);
}

// The unrecognized-bytes text is cut to this many characters by the line feed,
// so listing stops once it is longer.
constexpr std::size_t kTextLimit = CProtoFeed::kMaxText + 1;

// The lengths a frame's header gives it: at most two forms, the request's
// first; 0 for a form whose byte count has not arrived yet.
struct SAnnounced
{
    unsigned arLength[2]{};
    unsigned nForms{ 0 };

    void Add(unsigned length) { arLength[nForms++] = length; }
    // The frame found by its CRC at this length has one of the header's
    // lengths (a following 0x00 may have joined it).
    bool Gives(const std::uint8_t* p, unsigned length) const
    {
        for (unsigned k = 0; k < nForms; ++k) {
            const unsigned a = arLength[k];
            if (a >= 4 && (length == a || (length == a + 1 && CrcMatches(p, a - 2))))
                return true;
        }
        return false;
    }
};

// strictCodes: codes 8, 17, 22 and 23 are frames too (answers by the standard,
// a device of the project). Only m bytes are read.
SAnnounced AnnouncedLengths(const std::uint8_t* p, unsigned m, bool strictCodes)
{
    SAnnounced a;
    if (m < 2)
        return a;
    // A byte count at i and the bytes around the data it counts.
    auto counted = [p, m](unsigned i, unsigned around) { return i < m ? p[i] + around : 0u; };
    const std::uint8_t fc = p[1];
    if ((fc & kExceptionFlag) != 0) {
        if (IsKnownFunction(fc) || (strictCodes && IsStrictFunction(fc)))
            a.Add(5);
        return a;
    }
    switch (fc) {
    case FC_READ_COILS:
    case FC_READ_INPUTS:
    case FC_READ_HOLDING:
    case FC_READ_INPUT_REGS:
        a.Add(8);
        a.Add(counted(2, 5));
        break;
    case FC_WRITE_COIL:
    case FC_WRITE_REGISTER: a.Add(8); break;
    case FC_READ_EXCEPTION:
        a.Add(4);
        a.Add(5);
        break;
    case FC_WRITE_COILS:
    case FC_WRITE_REGISTERS:
        a.Add(counted(6, 9));
        a.Add(8);
        break;
    case FC_DIAGNOSTICS:
        // The counters' requests and answers: a sub-function and one word.
        if (strictCodes)
            a.Add(8);
        break;
    case FC_REPORT_SLAVE_ID:
        if (strictCodes) {
            a.Add(4);
            a.Add(counted(2, 5));
        }
        break;
    case FC_MASK_WRITE_REGISTER:
        if (strictCodes)
            a.Add(10);
        break;
    case FC_READ_WRITE_REGISTERS:
        if (strictCodes) {
            a.Add(counted(10, 13));
            a.Add(counted(2, 5));
        }
        break;
    default: break;
    }
    return a;
}

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

bool IsNamedFunction(std::uint8_t code)
{
    return std::any_of(std::begin(kFunctions), std::end(kFunctions),
                       [code](const SFunction& f) { return f.byCode == code; });
}

bool IsKnownFunction(std::uint8_t fc)
{
    switch (fc & ~kExceptionFlag) {
    case FC_READ_COILS:
    case FC_READ_INPUTS:
    case FC_READ_HOLDING:
    case FC_READ_INPUT_REGS:
    case FC_WRITE_COIL:
    case FC_WRITE_REGISTER:
    case FC_READ_EXCEPTION:
    case FC_WRITE_COILS:
    case FC_WRITE_REGISTERS: return true;
    default: return false;
    }
}

bool IsStrictFunction(std::uint8_t fc)
{
    switch (fc & ~kExceptionFlag) {
    case FC_DIAGNOSTICS:
    case FC_REPORT_SLAVE_ID:
    case FC_MASK_WRITE_REGISTER:
    case FC_READ_WRITE_REGISTERS: return true;
    default: return false;
    }
}

unsigned ScanCrc(const std::uint8_t* p, unsigned m, unsigned minLen)
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
            const unsigned length = i + 1 <= m && CrcMatches(p, i + 1) ? i + 3 : i + 2;
            // A match too short for the function is chance inside the frame
            // (one in 65,536 per prefix): the real end may lie behind it.
            if (length >= minLen)
                return length;
        }
    }
    return 0;
}

unsigned DeclaredWriteLength(const std::uint8_t* p, unsigned m)
{
    if (m < 7)
        return 0;
    const unsigned q = Be16(p[4], p[5]);
    const unsigned count = p[6];
    if (p[1] == FC_WRITE_COILS && q >= 1 && q <= kMaxWriteBits && count == (q + 7) / 8)
        return 9 + count;
    if (p[1] == FC_WRITE_REGISTERS && q >= 1 && q <= kMaxWriteRegs && count == 2 * q)
        return 9 + count;
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

    if (fc & kExceptionFlag) {
        // An exception response: address, code, exception code, CRC; the
        // read-exception-status form is shorter.
        if (fc == (FC_READ_EXCEPTION | kExceptionFlag))
            return 3;
        return IsKnownFunction(fc) ? 5 : 32;
    }
    switch (fc) {
    case FC_READ_COILS:
    case FC_READ_INPUTS:
        if (haveQ && q >= 1 && q <= kMaxReadBits && requestCrc())
            return 8;
        return count(2) + 5;
    case FC_READ_HOLDING:
    case FC_READ_INPUT_REGS:
        if (haveQ && q >= 1 && q <= kMaxReadRegs && requestCrc())
            return 8;
        return count(2) + 5;
    case FC_WRITE_COIL:
    case FC_WRITE_REGISTER: return 8;
    case FC_READ_EXCEPTION: return 4;
    case FC_WRITE_COILS:
    case FC_WRITE_REGISTERS:
        if (haveQ && q >= 1 && q <= kMaxWriteBits)
            return 8;
        return count(6) + 9;
    default: return 32;
    }
}

unsigned MinFrameLenStrict(const std::uint8_t* p, unsigned m)
{
    if (m < 2)
        return MinFrameLen(p, m);
    auto count = [p, m](unsigned i) -> unsigned { return i < m ? p[i] : 0; };
    const std::uint8_t fc = p[1];
    if ((fc & kExceptionFlag) != 0)
        return IsStrictFunction(fc) ? 5 : MinFrameLen(p, m);
    switch (fc) {
    case FC_READ_COILS:
    case FC_READ_INPUTS:
    case FC_READ_HOLDING:
    case FC_READ_INPUT_REGS:
        // The request form with its own CRC, whatever the quantity: the
        // handler answers a quantity out of range with exception 03.
        if (m >= 8 && CrcMatches(p, 6))
            return 8;
        return MinFrameLen(p, m);
    case FC_REPORT_SLAVE_ID:
        // The request is address, code, CRC; the answer has a byte count.
        if (m >= 4 && CrcMatches(p, 2))
            return 4;
        return count(2) + 5;
    case FC_MASK_WRITE_REGISTER: return 10;
    // Address, code, sub-function, CRC: return query data may carry no data.
    case FC_DIAGNOSTICS: return 6;
    case FC_READ_WRITE_REGISTERS:
        // The request's byte count is at 10, the answer's at 2.
        return std::min(count(2) + 5, count(10) + 13);
    default: return MinFrameLen(p, m);
    }
}

bool IsStrictRequest(const std::uint8_t* f, unsigned length)
{
    switch (f[1]) {
    case FC_READ_COILS:
    case FC_READ_INPUTS:
    case FC_READ_HOLDING:
    case FC_READ_INPUT_REGS:
    case FC_WRITE_COIL:
    case FC_WRITE_REGISTER: return length == 8;
    case FC_READ_EXCEPTION: return length <= 4;
    // The answer to a multiple write is 8 bytes long.
    case FC_WRITE_COILS:
    case FC_WRITE_REGISTERS: return length != 8;
    case FC_REPORT_SLAVE_ID: return length == 4;
    case FC_MASK_WRITE_REGISTER: return length == 10;
    case FC_READ_WRITE_REGISTERS: return length >= 13;
    default: return true;
    }
}

bool IsRequest(const std::uint8_t* pdu, unsigned n)
{
    const std::uint8_t fc = pdu[0];
    if (fc == FC_READ_EXCEPTION)
        return n <= 1;
    if (fc == FC_REPORT_SLAVE_ID)
        return n == 1;
    if (n < 5)
        return false;
    const unsigned q = Be16(pdu[3], pdu[4]);
    switch (fc) {
    case FC_READ_COILS:
    case FC_READ_INPUTS: return q >= 1 && q <= kMaxReadBits && n == 5;
    case FC_READ_HOLDING:
    case FC_READ_INPUT_REGS: return q >= 1 && q <= kMaxReadRegs && n == 5;
    case FC_WRITE_COIL:
    case FC_WRITE_REGISTER: return n == 5;
    case FC_WRITE_COILS:
        // The data the byte count announces must be inside the frame.
        return q >= 1 && q <= kMaxWriteBits && n >= 6 && pdu[5] == (q + 7) / 8 && n >= 6u + pdu[5];
    case FC_WRITE_REGISTERS:
        return q >= 1 && q <= kMaxWriteRegs && n >= 6 && pdu[5] == 2 * q && n >= 6u + pdu[5];
    case FC_MASK_WRITE_REGISTER: return n == 7;
    case FC_READ_WRITE_REGISTERS: {
        if (n < 10)
            return false;
        const unsigned w = Be16(pdu[7], pdu[8]);
        return q >= 1 && q <= kMaxRwReadRegs && w >= 1 && w <= kMaxRwWriteRegs && pdu[9] == 2 * w &&
               n == 10u + pdu[9];
    }
    default: return true;
    }
}

std::string DescribeFrame(const SSettings& settings, const std::uint8_t* frame, unsigned length)
{
    CParserModbus parser(settings, false, nullptr);
    parser.SetDescribingOwnAnswer();
    SFrameInfo info;
    parser.Parse(frame, length, info);
    return std::move(info.strText);
}

CParserModbus::CParserModbus(const SSettings& settings, bool running, IEchoFilter* echo,
                             const IDeviceLookup* devices)
    : m_settings(settings), m_bRunning(running), m_pEcho(echo), m_pDevices(devices)
{
}

bool CParserModbus::IsStrict() const
{
    return m_settings.MBSTRICT != 0;
}

bool CParserModbus::IsProjectAddress(std::uint8_t addr) const
{
    if (m_bOwnAnswer)
        return true;
    if (m_pDevices == nullptr)
        return false;
    // By the standard a broadcast is addressed to every device.
    return (addr == kBroadcastAddress && IsStrict()) ||
           m_pDevices->FindDeviceByAddr(addr) != nullptr;
}

bool CParserModbus::StrictFrameAt(const std::uint8_t* d, unsigned n, unsigned s,
                                  unsigned& crcLen) const
{
    crcLen = 0;
    const std::uint8_t fc = d[s + 1];
    if (!IsProjectAddress(d[s]))
        return false;
    if (IsStrictFunction(fc)) {
        crcLen = ScanCrc(d + s, n - s - 2, MinFrameLenStrict(d + s, n - s));
        return crcLen != 0;
    }
    // A code the emulator does not serve gives no length to check: the frame
    // must start right behind the last one, or end with the bytes received.
    const unsigned least = (fc & kExceptionFlag) != 0 ? 5 : 4;
    if (s == 0)
        crcLen = ScanCrc(d, n - 2, least);
    else if (n - s >= least && CrcMatches(d + s, n - s - 2))
        crcLen = n - s;
    return crcLen != 0;
}

bool CParserModbus::MayStart(const std::uint8_t* d, unsigned n, unsigned s) const
{
    if (MayStartFrame(d, n, s))
        return true;
    return IsStrict() && n - s < kScanWindow && IsProjectAddress(d[s]);
}

unsigned CParserModbus::FrameAt(const std::uint8_t* d, unsigned n, unsigned s,
                                bool& announced) const
{
    announced = false;
    const std::uint8_t* p = d + s;
    const unsigned m = n - s;
    const bool strict = IsStrict();
    unsigned length = 0;
    if (IsKnownFunction(p[1])) {
        unsigned minLen = MinFrameLen(p, m);
        // With answers by the standard a read at a device of the project is a
        // request by its own CRC, whatever its quantity.
        if (strict && p[1] <= FC_READ_INPUT_REGS && IsProjectAddress(p[0]))
            minLen = std::min(minLen, MinFrameLenStrict(p, m));
        // A write request's byte count says where it ends: its data may hold
        // a chance CRC match that would cut it short.
        const unsigned declared = DeclaredWriteLength(p, m);
        if (declared != 0 && declared <= m && CrcMatches(p, declared - 2))
            length = declared + 1 <= m && CrcMatches(p, declared - 1) ? declared + 1 : declared;
        else
            length = ScanCrc(p, m - 2, minLen);
        if (length < minLen)
            length = 0;
    } else if (!strict || !StrictFrameAt(d, n, s, length)) {
        return 0;
    }
    if (length == 0)
        return 0;

    const SAnnounced a = AnnouncedLengths(p, m, strict && IsProjectAddress(p[0]));
    if (a.Gives(p, length)) {
        announced = true;
        return length;
    }
    // A match short of a length the header gives is chance inside the frame.
    for (unsigned k = 0; k < a.nForms; ++k) {
        const unsigned full = a.arLength[k];
        if (full > length && full <= m && full <= kMaxFrame && CrcMatches(p, full - 2)) {
            announced = true;
            return full + 1 <= m && CrcMatches(p, full - 1) ? full + 1 : full;
        }
    }
    return length;
}

bool CParserModbus::MayBecomeAnnounced(const std::uint8_t* d, unsigned n, unsigned t) const
{
    if (n - t < 2 || !IsProjectAddress(d[t]))
        return false;
    const SAnnounced a = AnnouncedLengths(d + t, n - t, IsStrict());
    for (unsigned k = 0; k < a.nForms; ++k)
        if (a.arLength[k] == 0 || (a.arLength[k] > n - t && a.arLength[k] <= kMaxFrame))
            return true;
    return false;
}

bool CParserModbus::YieldToAnnounced(const std::uint8_t* d, unsigned n, unsigned& s,
                                     unsigned& length) const
{
    bool pending = false;
    for (unsigned t = s + 1; t < s + length; ++t) {
        bool announced = false;
        const unsigned inner = t + 3 < n ? FrameAt(d, n, t, announced) : 0;
        if (inner != 0 && announced) {
            s = t;
            length = inner;
            return true;
        }
        pending = pending || (m_bRunning && MayBecomeAnnounced(d, n, t));
    }
    return !pending;
}

void CParserModbus::Parse(const std::uint8_t* d, unsigned n, SFrameInfo& info)
{
    unsigned skip = m_nScanFrom;
    unsigned crcLen = 0;
    const bool running = m_bRunning;

    bool found = false;
    // A frame found at a length its header does not give may be a chance CRC
    // match inside noise; a frame with its header's length that starts
    // inside it is the real one, and while the emulator runs one to a device
    // of the project that has not fully arrived yet is waited for.
    bool held = false;
    for (unsigned s = m_nScanFrom; s + 3 < n; ++s) {
        skip = s;
        bool announced = false;
        crcLen = FrameAt(d, n, s, announced);
        if (crcLen != 0) {
            found = true;
            held = !announced && !YieldToAnnounced(d, n, skip, crcLen);
            break;
        }
    }

    // While the emulator runs, bytes that may still become a frame wait for
    // the next arrival, with whatever lies in front of them: a line may cut a
    // request anywhere. The bytes in front are reported once a frame behind
    // them is found, or once the pending bytes exceed the largest frame.
    if (running && (!found || held)) {
        unsigned first = m_nScanFrom;
        while (first < n && !MayStart(d, n, first))
            ++first;
        if (held)
            first = std::min(first, skip);
        if (first == 0 || n <= kMaxFrame) {
            info.nLength = 0;
            m_nResumeHint = std::max(m_nScanFrom, n > kScanWindow ? n - kScanWindow : 0u);
            if (held)
                m_nResumeHint = std::min(m_nResumeHint, skip);
            return;
        }
        skip = first;
    }

    if (skip > 0) {
        info.nKind = LK_WARNING;
        info.nLength = static_cast<int>(skip);
        info.byAddr = 0;
        info.strText = DescribeUnrecognized(d, skip, m_settings.VALUEISHEX != 0);
        info.bUnrecognized = true;
        return;
    }
    if (crcLen != 0 && crcLen <= n) {
        info.byAddr = d[0];
        info.nLength = static_cast<int>(crcLen);
        Describe(d, crcLen, info);
    }
}

namespace {

// "(0x03) Чтение регистров хранения": the start of every frame's text.
void AppendHead(std::string& t, std::uint8_t fc, const char* name)
{
    t.reserve(160);
    t += '(';
    AppendNumber(t, fc, true, 2);
    t += ") ";
    t += name;
}

// " 0x0001 0x0002": values, a blank before each.
void AppendWords(std::string& t, const std::uint8_t* p, unsigned count, bool hex)
{
    for (unsigned i = 0; i < count; ++i, p += 2) {
        t += ' ';
        AppendNumber(t, Be16(p[0], p[1]), hex, 4);
    }
}

void AppendBytes(std::string& t, const std::uint8_t* p, unsigned count, bool hex)
{
    for (unsigned i = 0; i < count; ++i) {
        t += ' ';
        AppendNumber(t, p[i], hex, 2);
    }
}

} // namespace

void CParserModbus::Describe(const std::uint8_t* f, unsigned length, SFrameInfo& info)
{
    const std::uint8_t fc = f[1];
    if (fc > kExceptionFlag) {
        info.nKind = LK_ERROR;
        info.strText =
            StrFormat("Error: (0x%02X) %s, Exception code: 0x%02X", fc,
                      GetFunctionName(static_cast<std::uint8_t>(fc - kExceptionFlag), true),
                      static_cast<unsigned>(length > 2 ? f[2] : 0));
        return;
    }
    if (m_bAnswering && m_pEcho != nullptr && m_pEcho->TakeEcho(f, length)) {
        info.nKind = LK_ECHO;
        return;
    }
    // With answers by the standard a frame at a device of the project is
    // taken as a request whenever it is not the form of that device's answer.
    const bool request = IsStrict() && !m_bOwnAnswer && IsProjectAddress(f[0])
                             ? IsStrictRequest(f, length)
                             : length >= 3 && IsRequest(f + 1, length - 3);
    if (request)
        DescribeRequest(f, length, info);
    else
        DescribeResponse(f, length, info);
}

void CParserModbus::DescribeRequest(const std::uint8_t* f, unsigned length, SFrameInfo& info)
{
    const SSettings& set = m_settings;
    const bool hexValues = set.VALUEISHEX != 0;
    const std::uint8_t fc = f[1];
    const char* name = GetFunctionName(fc, true);
    const std::uint16_t a = Be16(f[2], f[3]);
    const std::uint16_t q = length >= 6 ? Be16(f[4], f[5]) : 0;
    const std::string addr = FormatNumber(a, set.ADDRISHEX != 0, 4);
    // Data bytes the frame holds behind a header of so many bytes.
    auto held = [length](unsigned header) {
        return length >= header + 2 ? length - header - 2 : 0;
    };
    std::string& t = info.strText;
    t.clear();
    info.nKind = LK_REQUEST;
    // "(0x03) Name, Адрес=0x0010" and what follows it.
    auto headAt = [&t, fc, name, &addr](const char* next) {
        AppendHead(t, fc, name);
        t += ", Адрес=";
        t += addr;
        t += next;
    };

    switch (fc) {
    case FC_READ_COILS:
    case FC_READ_INPUTS:
    case FC_READ_HOLDING:
    case FC_READ_INPUT_REGS:
        headAt(", Количество=");
        AppendDecimal(t, q);
        break;
    case FC_WRITE_COIL:
    case FC_WRITE_REGISTER:
        headAt(fc == FC_WRITE_COIL ? ", Значение=" : ", Регистр=");
        AppendNumber(t, q, true, 4);
        break;
    case FC_READ_EXCEPTION:
        t = StrFormat("(0x%02X) %s Запрос на получение статуса устройства (зависит от устройства)",
                      fc, name);
        break;
    case FC_WRITE_COILS: {
        headAt(", Кол-во=");
        AppendDecimal(t, q);
        t += " Значения={";
        // A request refused by the standard may hold fewer bytes than it
        // announces: only those in the frame are listed.
        AppendBytes(t, f + 7, std::min<unsigned>(length > 6 ? f[6] : 0, held(7)), hexValues);
        t += " }";
        break;
    }
    case FC_WRITE_REGISTERS: {
        headAt(", К-во=");
        AppendDecimal(t, q);
        t += " Регистры={";
        AppendWords(t, f + 7, std::min<unsigned>(q, held(7) / 2), hexValues);
        t += " }";
        break;
    }
    case FC_REPORT_SLAVE_ID:
        t = StrFormat("(0x%02X) %s Запрос идентификатора устройства", fc, name);
        break;
    case FC_MASK_WRITE_REGISTER:
        t = StrFormat("(0x%02X) %s, Адрес=%s, Маска И=0x%04X, Маска ИЛИ=0x%04X", fc, name,
                      addr.c_str(), q, length >= 8 ? Be16(f[6], f[7]) : 0);
        break;
    case FC_READ_WRITE_REGISTERS: {
        const std::uint16_t wa = length >= 8 ? Be16(f[6], f[7]) : 0;
        const std::uint16_t wq = length >= 10 ? Be16(f[8], f[9]) : 0;
        t = StrFormat("(0x%02X) %s, Чтение: Адрес=%s, Количество=%d; Запись: Адрес=%s, К-во=%d "
                      "Регистры={",
                      fc, name, addr.c_str(), q, FormatNumber(wa, set.ADDRISHEX != 0, 4).c_str(),
                      wq);
        const unsigned count = std::min<unsigned>(wq, held(11) / 2);
        for (unsigned i = 0; i < count; ++i)
            t += " " + FormatNumber(Be16(f[11 + 2 * i], f[12 + 2 * i]), hexValues, 4);
        t += " }";
        break;
    }
    case FC_DIAGNOSTICS:
        // The request and its answer read alike: the sub-function, then its
        // data (a counter's value in an answer).
        if (length >= 6) {
            const char* sub = DiagnosticName(a);
            t = StrFormat("(0x%02X) %s, Подфункция=0x%04X%s%s%s, Данные={", fc, name, a,
                          sub != nullptr ? " (" : "", sub != nullptr ? sub : "",
                          sub != nullptr ? ")" : "");
            for (unsigned i = 0; i < held(4); ++i)
                t += " " + FormatNumber(f[4 + i], hexValues, 2);
            t += " }";
            break;
        }
        [[fallthrough]];
    default:
        // A code the emulator does not serve (answers by the standard only):
        // the bytes between the code and the CRC.
        t = StrFormat("(0x%02X) %s, Данные={", fc, name);
        for (unsigned i = 0; i < held(2); ++i)
            t += " " + FormatNumber(f[2 + i], hexValues, 2);
        t += " }";
        break;
    }

    info.bAnswer = m_bAnswering;
}

void CParserModbus::DescribeResponse(const std::uint8_t* f, unsigned length, SFrameInfo& info)
{
    const SSettings& set = m_settings;
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
    t.clear();
    info.nKind = LK_RESPONSE;

    switch (fc) {
    case FC_READ_COILS:
    case FC_READ_INPUTS:
    case FC_REPORT_SLAVE_ID:
        info.nKind = LK_DATA;
        AppendHead(t, fc, name);
        t += ", Количество=";
        AppendDecimal(t, b);
        t += ", Данные={";
        AppendBytes(t, f + 3, held, hexValues);
        t += " }";
        break;
    case FC_READ_HOLDING:
    case FC_READ_INPUT_REGS:
    case FC_READ_WRITE_REGISTERS:
        info.nKind = LK_DATA;
        AppendHead(t, fc, name);
        t += ", Количество=";
        AppendDecimal(t, b / 2);
        t += ", Регистры={";
        AppendWords(t, f + 3, held / 2, hexValues);
        t += " }";
        break;
    case FC_WRITE_COIL:
        AppendHead(t, fc, name);
        t += ", Адрес=";
        AppendNumber(t, a, set.ADDRISHEX != 0, 4);
        t += ", Значение=";
        AppendNumber(t, v, hexValues, 4);
        break;
    case FC_WRITE_REGISTER:
        AppendHead(t, fc, name);
        t += ", Адрес=";
        AppendNumber(t, a, true, 4);
        t += ", Значение=";
        AppendNumber(t, v, hexValues, 4);
        break;
    case FC_READ_EXCEPTION:
        t = StrFormat("(0x%02X) %s Ответ на получение статуса устройства (зависит от устройства)",
                      fc, name);
        break;
    case FC_WRITE_COILS:
    case FC_WRITE_REGISTERS:
        AppendHead(t, fc, name);
        t += ", Адрес=";
        AppendNumber(t, a, set.ADDRISHEX != 0, 4);
        t += ", Количество=";
        AppendDecimal(t, v);
        break;
    case FC_MASK_WRITE_REGISTER:
        // The answer repeats the request.
        t = StrFormat("(0x%02X) %s, Адрес=%s, Маска И=0x%04X, Маска ИЛИ=0x%04X", fc, name,
                      FormatNumber(a, set.ADDRISHEX != 0, 4).c_str(), v, Be16(at(6), at(7)));
        break;
    default: break;
    }
}

} // namespace korvex
