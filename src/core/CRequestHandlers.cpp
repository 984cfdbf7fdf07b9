#include "core/CRequestHandlers.h"

#include "core/CCounters.h"
#include "core/CDevDoc.h"
#include "core/CFaultInjector.h"
#include "core/CParserModbus.h"
#include "core/IDeviceLookup.h"
#include "core/ILineSink.h"
#include "core/SSettings.h"
#include "core/Text.h"

#include <algorithm>
#include <cstring>

namespace korvex {

namespace {

// The data of a report-server-ID answer: address, run indicator and the
// device ID's bytes, within the 251 bytes a byte count may announce.
constexpr unsigned kMaxSlaveIdBytes = 249;

// Offsets in a request PDU (the function code at 0): the start address, the
// quantity or value, a multiple write's byte count and its data.
constexpr unsigned kAtStart = 1;
constexpr unsigned kAtFourth = 3;
constexpr unsigned kAtByteCount = 5;
constexpr unsigned kAtWriteData = 6;
// Mask write: the address, the AND and OR masks; the PDU's length.
constexpr unsigned kAtAndMask = 3;
constexpr unsigned kAtOrMask = 5;
constexpr unsigned kMaskWriteLength = 7;
// Read/write multiple: read address and quantity, write address and
// quantity, byte count, data; the least PDU length.
constexpr unsigned kAtWriteStart = 5;
constexpr unsigned kAtWriteQuantity = 7;
constexpr unsigned kAtRwByteCount = 9;
constexpr unsigned kAtRwData = 10;
constexpr unsigned kMinRwLength = 10;
// Diagnostics: the sub-function and one word of data, as the counters'
// requests and answers have them.
constexpr unsigned kDiagLength = 5;

} // namespace

// The answer under construction: the PDU in answer.pdu, its length, the
// exception that replaces it and the exception's own text.
struct CRequestHandlers::SAnswer
{
    enum class Use
    {
        Read,
        Write,
    };

    explicit SAnswer(SAnswerPdu& answer) : out(answer) {}

    SAnswerPdu& out;
    std::uint8_t code{ 0 };
    std::uint8_t exception{ 0 };
    bool bStrict{ false };
    bool bCellRules{ false };
    const char* name{ "" };
    std::string error;

    void Fail(std::uint8_t exc, std::string text)
    {
        exception = exc;
        error = std::move(text);
    }
    void Put16(unsigned at, std::uint16_t v)
    {
        out.pdu[at] = static_cast<std::uint8_t>(v >> 8);
        out.pdu[at + 1] = static_cast<std::uint8_t>(v & 0xFF);
    }
    // A write's answer: the code, the address and the count or value it had.
    void EchoWrite(std::uint16_t start, std::uint16_t fourth)
    {
        Put16(kAtStart, start);
        Put16(kAtFourth, fourth);
        out.nLength = 5;
    }
    // The emulator's own answer is exception 04; the standard's is 02.
    void MissingCell(std::int32_t type, std::uint16_t addr)
    {
        Fail(bStrict ? EX_ILLEGAL_ADDRESS : EX_DEVICE_FAILURE,
             StrFormat("(0x%02X) %s: %s c адресом 0x%X не найден", code, name, CellTypeName(type),
                       static_cast<unsigned>(addr)));
    }
    void BadRequest(const std::string& what)
    {
        Fail(EX_ILLEGAL_VALUE, StrFormat("(0x%02X) %s: Неверный запрос. ", code, name) + what);
    }
    // The cell at addr for this use, or null after setting the exception: a
    // missing cell, or with the cell rules a write of a read-only cell or a
    // read of a write-only one (exception 02).
    CDevItem* Cell(CDevDoc* dev, std::int32_t type, std::uint16_t addr, Use use)
    {
        CDevItem* cell = dev->FindItem(type, addr);
        if (cell == nullptr) {
            MissingCell(type, addr);
            return nullptr;
        }
        if (bCellRules && cell->GetAccess() == (use == Use::Write ? ACCESS_R : ACCESS_W)) {
            Fail(EX_ILLEGAL_ADDRESS,
                 StrFormat("(0x%02X) %s: %s с адресом 0x%X только для %s", code, name,
                           CellTypeName(type), static_cast<unsigned>(addr),
                           use == Use::Write ? "чтения" : "записи"));
            return nullptr;
        }
        return cell;
    }
    // With the cell rules a register takes only a value within its bounds
    // (exception 03); a coil takes what the protocol allows.
    bool Takes(const CDevItem& cell, std::uint16_t value)
    {
        if (!bCellRules || cell.GetType() == COIL ||
            (value >= cell.GetMin() && value <= cell.GetMax()))
            return true;
        Fail(EX_ILLEGAL_VALUE,
             StrFormat("(0x%02X) %s: Значение 0x%X вне границ 0x%X-0x%X ячейки %s с адресом 0x%X",
                       code, name, static_cast<unsigned>(value),
                       static_cast<unsigned>(cell.GetMin()), static_cast<unsigned>(cell.GetMax()),
                       CellTypeName(cell.GetType()), static_cast<unsigned>(cell.GetAddr())));
        return false;
    }
    // Calls visit(cell, i) for the cells start..start+quantity-1 in order; the
    // first one that is missing or refused ends the walk with its exception.
    template <typename Visit>
    bool ForEachCell(CDevDoc* dev, std::int32_t type, std::uint16_t start, unsigned quantity,
                     Use use, Visit visit)
    {
        for (unsigned i = 0; i < quantity; ++i) {
            CDevItem* cell = Cell(dev, type, static_cast<std::uint16_t>(start + i), use);
            if (cell == nullptr)
                return false;
            visit(*cell, i);
        }
        return true;
    }
    // Every cell of the range exists, may be written and takes value(i);
    // nothing is written.
    template <typename Value>
    bool CheckWrite(CDevDoc* dev, std::int32_t type, std::uint16_t start, unsigned quantity,
                    Value value)
    {
        for (unsigned i = 0; i < quantity; ++i) {
            const CDevItem* cell =
                Cell(dev, type, static_cast<std::uint16_t>(start + i), Use::Write);
            if (cell == nullptr || !Takes(*cell, value(i)))
                return false;
        }
        return true;
    }
    // Writes the cells from the values the PDU holds, the device marked
    // modified with the first.
    template <typename Value>
    void WriteCells(CDevDoc* dev, std::int32_t type, std::uint16_t start, unsigned quantity,
                    Value value)
    {
        ForEachCell(dev, type, start, quantity, Use::Write,
                    [dev, &value](CDevItem& cell, unsigned i) {
                        cell.SetValue(value(i));
                        dev->SetModifiedFlag(true);
                    });
    }
};

CRequestHandlers::CRequestHandlers(IDeviceLookup& devices, ILineSink& lines,
                                   const SSettings& settings)
    : m_devices(devices), m_lines(lines), m_settings(settings)
{
}

bool CRequestHandlers::IsStrict() const
{
    return m_settings.MBSTRICT != 0;
}

bool CRequestHandlers::HasCellRules() const
{
    return m_settings.MBCELLRULES != 0;
}

void CRequestHandlers::Answer(const SRequestPdu& req, SAnswerPdu& answer)
{
    answer.kind = SAnswerPdu::Kind::None;
    const std::uint8_t code = req.Code();
    // Only answers by the standard handle other codes at all.
    const bool known = (code & kExceptionFlag) == 0 && IsKnownFunction(code);
    if (!known && !IsStrict()) {
        // A device asked for a code it does not serve leaves it unanswered.
        if (CDevDoc* dev = m_devices.FindDeviceByAddr(req.byUnit))
            dev->GetCounters().CountNoAnswer(req.nFrameLength);
        return;
    }
    // By the standard, address 0 is a broadcast: no device answers it.
    if (IsStrict() && req.byUnit == kBroadcastAddress && req.bBroadcastUnit) {
        Broadcast(req);
        return;
    }
    SAnswer ans(answer);
    ans.code = code;
    ans.name = GetFunctionName(code, true);
    ans.bStrict = IsStrict();
    ans.bCellRules = HasCellRules();
    CDevDoc* dev = m_devices.FindDeviceByAddr(req.byUnit);
    if (dev == nullptr) {
        m_lines.AddLineQueued(LK_WARNING, std::string(), req.byUnit,
                              StrFormat("(0x%02X) %s - устройство с адресом 0x%X не найдено", code,
                                        ans.name, static_cast<unsigned>(req.byUnit)));
        return;
    }
    answer.strDevice = dev->GetDevId();
    answer.pdu[0] = code;
    answer.nLength = 1;
    if (m_pFaults != nullptr)
        answer.fault = m_pFaults->Decide(dev);
    // A device that is off, or a request that is lost, does nothing at all;
    // a device that answers with an exception does not do the work either.
    CDevCounters& counters = dev->GetCounters();
    if (answer.fault.IsSilent()) {
        counters.CountNoAnswer(req.nFrameLength);
        m_lines.AddLineQueued(LK_WARNING, answer.strDevice, req.byUnit, answer.fault.Describe());
        return;
    }
    if (answer.fault.byException != 0) {
        ans.exception = answer.fault.byException;
    } else {
        // One hold of the device's lock for the whole request: a script
        // writing several cells at once is seen before or after, never
        // halfway. The lines and the answer go out after it is released.
        std::lock_guard lock(dev->Lock());
        Dispatch(ans, dev, req);
    }

    if (ans.exception == 0) {
        answer.kind = SAnswerPdu::Kind::Normal;
    } else {
        answer.kind = SAnswerPdu::Kind::Exception;
        answer.pdu[0] = static_cast<std::uint8_t>(code | kExceptionFlag);
        answer.pdu[1] = ans.exception;
        answer.nLength = 2;
        // An exception a fault injects has no text of the handler's own.
        answer.strText = ans.error;
    }
    // Counted after the work: a clear of the counters counts itself as the
    // first request after it.
    counters.CountAnswer(req.nFrameLength, answer.nLength + req.nFraming, ans.exception);
}

void CRequestHandlers::Dispatch(SAnswer& ans, CDevDoc* dev, const SRequestPdu& req)
{
    switch (ans.code) {
    case FC_READ_COILS: ReadBits(ans, dev, COIL, req); break;
    case FC_READ_INPUTS: ReadBits(ans, dev, DINP, req); break;
    case FC_READ_HOLDING: ReadRegisters(ans, dev, HREG, req); break;
    case FC_READ_INPUT_REGS: ReadRegisters(ans, dev, IREG, req); break;
    case FC_WRITE_COIL: WriteSingleCoil(ans, dev, req); break;
    case FC_WRITE_REGISTER: WriteSingleRegister(ans, dev, req); break;
    case FC_READ_EXCEPTION: ReadExceptionStatus(ans); break;
    case FC_WRITE_COILS: WriteCoils(ans, dev, req); break;
    case FC_WRITE_REGISTERS: WriteRegisters(ans, dev, req); break;
    case FC_REPORT_SLAVE_ID: ReportSlaveId(ans, dev); break;
    case FC_MASK_WRITE_REGISTER: MaskWriteRegister(ans, dev, req); break;
    case FC_READ_WRITE_REGISTERS: ReadWriteRegisters(ans, dev, req); break;
    case FC_DIAGNOSTICS: Diagnostics(ans, dev, req); break;
    default: UnknownFunction(ans); break;
    }
}

bool CRequestHandlers::CheckByteCount(SAnswer& ans, const SRequestPdu& req, unsigned countAt,
                                      unsigned expected)
{
    const unsigned count = req.nLength > countAt ? req.pData[countAt] : 0;
    if (count != expected) {
        ans.BadRequest(StrFormat("Счётчик байт %u не соответствует количеству (должен быть %u)",
                                 count, expected));
        return false;
    }
    // Behind the byte count: the data.
    if (req.nLength < countAt + 1 + count) {
        ans.BadRequest(StrFormat("Длина кадра %u байт меньше, чем объявляет счётчик байт %u",
                                 req.nFrameLength, count));
        return false;
    }
    return true;
}

void CRequestHandlers::Broadcast(const SRequestPdu& req)
{
    const std::uint8_t code = req.Code();
    const char* name = GetFunctionName(code, true);
    // Every device receives it, none answers.
    const std::vector<CDevDoc*> devices = m_devices.GetDevices();
    for (CDevDoc* dev : devices)
        dev->GetCounters().CountNoAnswer(req.nFrameLength);
    std::int32_t type = HREG;
    unsigned quantity = 1;
    switch (code) {
    case FC_WRITE_COIL: type = COIL; break;
    case FC_WRITE_REGISTER:
    case FC_MASK_WRITE_REGISTER: break;
    case FC_WRITE_COILS:
        type = COIL;
        quantity = req.Word(kAtFourth);
        break;
    case FC_WRITE_REGISTERS: quantity = req.Word(kAtFourth); break;
    default:
        m_lines.AddLineQueued(
            LK_WARNING, std::string(), kBroadcastAddress,
            StrFormat("(0x%02X) %s - широковещательный запрос не выполняется", code, name));
        return;
    }
    // A quantity out of range is the handler's to refuse, device by device.
    if (quantity > kMaxWriteBits)
        quantity = 0;
    const std::uint16_t start = req.Word(kAtStart);

    for (CDevDoc* dev : devices) {
        // Only the devices with every cell addressed take part.
        bool present = true;
        for (unsigned i = 0; i < quantity && present; ++i)
            present = dev->FindItem(type, static_cast<std::uint16_t>(start + i)) != nullptr;
        if (!present)
            continue;
        const std::string id = dev->GetDevId();
        const std::uint8_t addr = dev->GetDevAddr();
        // Nothing is answered: of the faults only those that silence the
        // device act.
        if (m_pFaults != nullptr) {
            const SFaultDecision fault = m_pFaults->Decide(dev);
            if (fault.IsSilent()) {
                m_lines.AddLineQueued(LK_WARNING, id, addr, fault.Describe());
                continue;
            }
        }
        SAnswerPdu answer;
        SAnswer ans(answer);
        ans.code = code;
        ans.name = name;
        ans.bStrict = true;
        ans.bCellRules = HasCellRules();
        {
            std::lock_guard lock(dev->Lock());
            Dispatch(ans, dev, req);
        }
        m_lines.AddLineQueued(
            LK_WARNING, id, addr,
            ans.exception == 0
                ? StrFormat("(0x%02X) %s - широковещательный запрос выполнен", code, name)
                : ans.error + " - широковещательный запрос не выполнен");
    }
}

void CRequestHandlers::ReadBits(SAnswer& ans, CDevDoc* dev, std::int32_t type,
                                const SRequestPdu& req)
{
    const std::uint16_t start = req.Word(kAtStart);
    const std::uint16_t quantity = req.Word(kAtFourth);
    if (quantity == 0 || quantity > kMaxReadBits) {
        ans.BadRequest("Количество должно быть >=1 и <=0x7D0");
        return;
    }
    const unsigned bytes = (quantity + 7u) / 8u;
    ans.out.pdu[1] = static_cast<std::uint8_t>(bytes);
    std::uint8_t* bits = ans.out.pdu + 2;
    std::fill(bits, bits + bytes, std::uint8_t{ 0 });
    ans.ForEachCell(dev, type, start, quantity, SAnswer::Use::Read,
                    [bits](CDevItem& cell, unsigned i) {
                        if (cell.GetValue() != 0)
                            bits[i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
                    });
    ans.out.nLength = 2 + bytes;
}

void CRequestHandlers::ReadRegisters(SAnswer& ans, CDevDoc* dev, std::int32_t type,
                                     const SRequestPdu& req)
{
    const std::uint16_t start = req.Word(kAtStart);
    const std::uint16_t quantity = req.Word(kAtFourth);
    if (quantity == 0 || quantity > kMaxReadRegs) {
        ans.BadRequest("Количество должно быть >=1 и <=0x7D");
        return;
    }
    ans.out.pdu[1] = static_cast<std::uint8_t>(2 * quantity);
    ans.ForEachCell(dev, type, start, quantity, SAnswer::Use::Read,
                    [&ans](CDevItem& cell, unsigned i) { ans.Put16(2 + 2 * i, cell.GetValue()); });
    ans.out.nLength = 2 + 2u * quantity;
}

void CRequestHandlers::WriteSingleCoil(SAnswer& ans, CDevDoc* dev, const SRequestPdu& req)
{
    const std::uint16_t start = req.Word(kAtStart);
    const std::uint16_t value = req.Word(kAtFourth);
    if (value != kCoilOff && value != kCoilOn) {
        ans.BadRequest("Значение должно быть 0x0000 или 0xFF00");
    } else if (CDevItem* cell = ans.Cell(dev, COIL, start, SAnswer::Use::Write); cell != nullptr) {
        // The coil keeps the value field itself, 0x0000 or 0xFF00.
        cell->SetValue(value);
        dev->SetModifiedFlag(true);
        ans.EchoWrite(start, value);
    }
}

void CRequestHandlers::WriteSingleRegister(SAnswer& ans, CDevDoc* dev, const SRequestPdu& req)
{
    const std::uint16_t start = req.Word(kAtStart);
    const std::uint16_t value = req.Word(kAtFourth);
    CDevItem* cell = ans.Cell(dev, HREG, start, SAnswer::Use::Write);
    if (cell != nullptr && ans.Takes(*cell, value)) {
        cell->SetValue(value);
        dev->SetModifiedFlag(true);
        ans.EchoWrite(start, value);
    }
}

void CRequestHandlers::ReadExceptionStatus(SAnswer& ans)
{
    ans.out.pdu[1] = kExceptionStatus;
    ans.out.nLength = 2;
}

void CRequestHandlers::WriteCoils(SAnswer& ans, CDevDoc* dev, const SRequestPdu& req)
{
    const std::uint16_t start = req.Word(kAtStart);
    const std::uint16_t quantity = req.Word(kAtFourth);
    const std::uint8_t* data = req.pData + kAtWriteData;
    const unsigned bytes = (quantity + 7u) / 8u;
    const auto bit = [data](unsigned i) {
        return static_cast<std::uint16_t>((data[i / 8] >> (i % 8)) & 1);
    };
    // The data must lie inside the PDU: the decoder's request test sees to
    // it, the standard's checks below say what is wrong.
    if (quantity == 0 || quantity > kMaxWriteBits ||
        (!ans.bStrict && req.nLength < kAtWriteData + bytes)) {
        ans.BadRequest("Количество должно быть >=1 и <=0x7B0");
    } else if (ans.bStrict && !CheckByteCount(ans, req, kAtByteCount, bytes)) {
        // Refused before any coil changes.
    } else if ((ans.bStrict || ans.bCellRules) &&
               !ans.CheckWrite(dev, COIL, start, quantity, bit)) {
        // The same.
    } else {
        ans.WriteCells(dev, COIL, start, quantity, bit);
        ans.EchoWrite(start, quantity);
    }
}

void CRequestHandlers::WriteRegisters(SAnswer& ans, CDevDoc* dev, const SRequestPdu& req)
{
    const std::uint16_t start = req.Word(kAtStart);
    const std::uint16_t quantity = req.Word(kAtFourth);
    const auto value = [&req](unsigned i) { return req.Word(kAtWriteData + 2 * i); };
    if (quantity == 0 || quantity > kMaxWriteRegs ||
        (!ans.bStrict && req.nLength < kAtWriteData + 2u * quantity)) {
        ans.BadRequest("Количество должно быть >=1 и <=0x7B");
    } else if (ans.bStrict && !CheckByteCount(ans, req, kAtByteCount, 2u * quantity)) {
        // Refused before any register changes.
    } else if ((ans.bStrict || ans.bCellRules) &&
               !ans.CheckWrite(dev, HREG, start, quantity, value)) {
        // The same.
    } else {
        ans.WriteCells(dev, HREG, start, quantity, value);
        ans.EchoWrite(start, quantity);
    }
}

void CRequestHandlers::ReportSlaveId(SAnswer& ans, CDevDoc* dev)
{
    // The server ID is the device's address; the device ID follows the run
    // indicator, cut between two characters if it is too long.
    const std::string id = dev->GetDevId();
    std::size_t n = std::min<std::size_t>(id.size(), kMaxSlaveIdBytes);
    while (n > 0 && n < id.size() && (static_cast<unsigned char>(id[n]) & 0xC0) == 0x80)
        --n;
    ans.out.pdu[1] = static_cast<std::uint8_t>(2 + n);
    ans.out.pdu[2] = dev->GetDevAddr();
    ans.out.pdu[3] = kRunIndicatorOn;
    std::memcpy(ans.out.pdu + 4, id.data(), n);
    ans.out.nLength = 4 + static_cast<unsigned>(n);
}

void CRequestHandlers::MaskWriteRegister(SAnswer& ans, CDevDoc* dev, const SRequestPdu& req)
{
    if (req.nLength < kMaskWriteLength) {
        ans.BadRequest(StrFormat("Длина кадра %u байт, должна быть %u", req.nFrameLength,
                                 req.nFrameLength - req.nLength + kMaskWriteLength));
        return;
    }
    const std::uint16_t addr = req.Word(kAtStart);
    const std::uint16_t andMask = req.Word(kAtAndMask);
    const std::uint16_t orMask = req.Word(kAtOrMask);
    CDevItem* cell = ans.Cell(dev, HREG, addr, SAnswer::Use::Write);
    const auto value = static_cast<std::uint16_t>(
        cell != nullptr ? (cell->GetValue() & andMask) | (orMask & ~andMask) : 0);
    if (cell != nullptr && ans.Takes(*cell, value)) {
        cell->SetValue(value);
        dev->SetModifiedFlag(true);
        // The answer repeats the request.
        std::memcpy(ans.out.pdu + 1, req.pData + 1, kMaskWriteLength - 1);
        ans.out.nLength = kMaskWriteLength;
    }
}

void CRequestHandlers::ReadWriteRegisters(SAnswer& ans, CDevDoc* dev, const SRequestPdu& req)
{
    const std::uint16_t readAddr = req.Word(kAtStart);
    const std::uint16_t readQty = req.Word(kAtFourth);
    const std::uint16_t writeAddr = req.Word(kAtWriteStart);
    const std::uint16_t writeQty = req.Word(kAtWriteQuantity);
    const auto value = [&req](unsigned i) { return req.Word(kAtRwData + 2 * i); };
    if (req.nLength < kMinRwLength) {
        ans.BadRequest(StrFormat("Длина кадра %u байт, должна быть не меньше %u", req.nFrameLength,
                                 req.nFrameLength - req.nLength + kMinRwLength));
    } else if (readQty == 0 || readQty > kMaxRwReadRegs) {
        ans.BadRequest("Количество для чтения должно быть >=1 и <=0x7D");
    } else if (writeQty == 0 || writeQty > kMaxRwWriteRegs) {
        ans.BadRequest("Количество для записи должно быть >=1 и <=0x79");
    } else if (!CheckByteCount(ans, req, kAtRwByteCount, 2u * writeQty) ||
               !ans.CheckWrite(dev, HREG, writeAddr, writeQty, value) ||
               !ans.ForEachCell(dev, HREG, readAddr, readQty, SAnswer::Use::Read,
                                [](CDevItem&, unsigned) {})) {
        // Refused before any register changes.
    } else {
        // The write comes first, the read sees its values.
        ans.WriteCells(dev, HREG, writeAddr, writeQty, value);
        ans.out.pdu[1] = static_cast<std::uint8_t>(2 * readQty);
        ans.ForEachCell(
            dev, HREG, readAddr, readQty, SAnswer::Use::Read,
            [&ans](CDevItem& cell, unsigned i) { ans.Put16(2 + 2 * i, cell.GetValue()); });
        ans.out.nLength = 2 + 2u * readQty;
    }
}

void CRequestHandlers::Diagnostics(SAnswer& ans, CDevDoc* dev, const SRequestPdu& req)
{
    if (req.nLength < kDiagLength - 2) {
        ans.BadRequest(StrFormat("Длина кадра %u байт, должна быть не меньше %u", req.nFrameLength,
                                 req.nFrameLength - req.nLength + kDiagLength - 2));
        return;
    }
    const std::uint16_t sub = req.Word(kAtStart);
    if (sub == DIAG_RETURN_QUERY_DATA) {
        // The answer repeats the request, whatever its data.
        ans.out.nLength = std::min<unsigned>(req.nLength, SAnswerPdu::kMaxPdu);
        std::memcpy(ans.out.pdu, req.pData, ans.out.nLength);
        return;
    }
    if (sub < DIAG_CLEAR_COUNTERS || sub > DIAG_NO_RESPONSES) {
        ans.Fail(EX_ILLEGAL_FUNCTION, StrFormat("(0x%02X) %s: Подфункция 0x%04X не поддерживается",
                                                ans.code, ans.name, static_cast<unsigned>(sub)));
        return;
    }
    if (req.nLength != kDiagLength) {
        ans.BadRequest(StrFormat("Длина кадра %u байт, должна быть %u", req.nFrameLength,
                                 req.nFrameLength - req.nLength + kDiagLength));
        return;
    }
    if (req.Word(kAtFourth) != 0) {
        ans.BadRequest(
            StrFormat("Данные подфункции 0x%04X должны быть 0x0000", static_cast<unsigned>(sub)));
        return;
    }
    const SDevCounterValues counts = dev->GetCounters().Read();
    std::uint64_t value = 0;
    switch (sub) {
    case DIAG_CLEAR_COUNTERS:
        if (m_pCounters != nullptr)
            m_pCounters->ClearDevice(*dev);
        else
            dev->GetCounters().Clear(0, 0);
        break;
    case DIAG_BUS_MESSAGES: value = m_pCounters ? m_pCounters->GetBusMessages(*dev) : 0; break;
    case DIAG_BUS_ERRORS: value = m_pCounters ? m_pCounters->GetBusErrors(*dev) : 0; break;
    case DIAG_EXCEPTIONS: value = counts.ExceptionCount(); break;
    case DIAG_SERVER_MESSAGES: value = counts.nRequests; break;
    default: value = counts.nNoAnswer; break;
    }
    // The counters of the protocol are 16 bits wide and wrap.
    ans.Put16(kAtStart, sub);
    ans.Put16(kAtFourth, static_cast<std::uint16_t>(value & 0xFFFF));
    ans.out.nLength = kDiagLength;
}

void CRequestHandlers::UnknownFunction(SAnswer& ans)
{
    // A code the table does not know has no name to show.
    if (IsNamedFunction(ans.code))
        ans.Fail(EX_ILLEGAL_FUNCTION,
                 StrFormat("(0x%02X) %s: Функция не поддерживается", ans.code, ans.name));
    else
        ans.Fail(EX_ILLEGAL_FUNCTION, StrFormat("(0x%02X): Функция не поддерживается", ans.code));
}

} // namespace korvex
