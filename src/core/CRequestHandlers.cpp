#include "core/CRequestHandlers.h"

#include "core/CDevDoc.h"
#include "core/CFaultInjector.h"
#include "core/CParserModbus.h"
#include "core/Crc16.h"
#include "core/IDeviceLookup.h"
#include "core/IFrameSender.h"
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

} // namespace

struct CRequestHandlers::SAnswer
{
    std::uint8_t buf[2048]{};
    unsigned len{ 2 };
    std::uint8_t code{ 0 };
    std::uint8_t slave{ 0 };
    std::uint8_t exception{ 0 };
    bool bStrict{ false };
    const char* name{ "" };
    std::string error;
    SFaultDecision fault;

    void Fail(std::uint8_t exc, std::string text)
    {
        exception = exc;
        error = std::move(text);
    }
    void Put16(unsigned at, std::uint16_t v)
    {
        buf[at] = static_cast<std::uint8_t>(v >> 8);
        buf[at + 1] = static_cast<std::uint8_t>(v & 0xFF);
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
    // Calls visit(cell, i) for the cells start..start+quantity-1 in order; the
    // first missing one ends the walk with its exception.
    template <typename Visit>
    bool ForEachCell(CDevDoc* dev, std::int32_t type, std::uint16_t start, unsigned quantity,
                     Visit visit)
    {
        for (unsigned i = 0; i < quantity; ++i) {
            const auto addr = static_cast<std::uint16_t>(start + i);
            CDevItem* cell = dev->FindItem(type, addr);
            if (cell == nullptr) {
                MissingCell(type, addr);
                return false;
            }
            visit(*cell, i);
        }
        return true;
    }
};

namespace {

std::uint16_t Be16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

} // namespace

CRequestHandlers::CRequestHandlers(IDeviceLookup& devices, IFrameSender& sender, ILineSink& lines,
                                   const SSettings& settings)
    : m_devices(devices), m_sender(sender), m_lines(lines), m_settings(settings)
{
}

bool CRequestHandlers::IsStrict() const
{
    return m_settings.MBSTRICT != 0;
}

void CRequestHandlers::OnRequest(std::uint8_t code, const std::uint8_t* frame, unsigned length,
                                 std::uint8_t slave, std::uint16_t start, std::uint16_t fourth)
{
    switch (code) {
    case FC_READ_COILS: OnReadCoils(slave, start, fourth); break;
    case FC_READ_INPUTS: OnReadDiscreteInputs(slave, start, fourth); break;
    case FC_READ_HOLDING: OnReadHoldingRegisters(slave, start, fourth); break;
    case FC_READ_INPUT_REGS: OnReadInputRegisters(slave, start, fourth); break;
    case FC_WRITE_COIL: OnWriteSingleCoil(slave, start, fourth); break;
    case FC_WRITE_REGISTER: OnWriteSingleRegister(slave, start, fourth); break;
    case FC_READ_EXCEPTION: OnReadExceptionStatus(slave); break;
    case FC_WRITE_COILS: OnWriteCoils(frame, length, slave, start, fourth); break;
    case FC_WRITE_REGISTERS: OnWriteRegisters(frame, length, slave, start, fourth); break;
    default:
        // Only answers by the standard frame other codes at all.
        if (!IsStrict())
            break;
        if (code == FC_REPORT_SLAVE_ID)
            OnReportSlaveId(slave);
        else if (code == FC_MASK_WRITE_REGISTER)
            OnMaskWriteRegister(frame, length, slave);
        else if (code == FC_READ_WRITE_REGISTERS)
            OnReadWriteRegisters(frame, length, slave);
        else
            OnUnknownFunction(code, slave);
        break;
    }
}

CDevDoc* CRequestHandlers::BeginRequest(SAnswer& ans, std::uint8_t slave, std::uint8_t code)
{
    ans.buf[0] = slave;
    ans.buf[1] = code;
    ans.slave = slave;
    ans.code = code;
    ans.name = GetFunctionName(code, true);
    ans.bStrict = IsStrict();
    CDevDoc* dev = m_devices.FindDeviceByAddr(slave);
    if (dev == nullptr) {
        m_lines.AddLineQueued(LK_WARNING, std::string(), slave,
                              StrFormat("(0x%02X) %s - устройство с адресом 0x%X не найдено", code,
                                        ans.name, static_cast<unsigned>(slave)));
        return nullptr;
    }
    if (m_pFaults == nullptr)
        return dev;
    ans.fault = m_pFaults->Decide(dev);
    // A device that is off, or a request that is lost, does nothing at all;
    // a device that answers with an exception does not do the work either.
    if (ans.fault.IsSilent()) {
        m_lines.AddLineQueued(LK_WARNING, dev->GetDevId(), slave, ans.fault.Describe());
        return nullptr;
    }
    if (ans.fault.byException != 0) {
        ans.exception = ans.fault.byException;
        FinishRequest(ans, dev);
        return nullptr;
    }
    return dev;
}

void CRequestHandlers::FinishRequest(SAnswer& ans, CDevDoc* dev)
{
    if (ans.exception == 0) {
        const std::uint16_t crc = Crc16(ans.buf, ans.len);
        ans.Put16(ans.len, crc);
        ans.len += 2;
        Transmit(ans, dev, LK_RESPONSE, DescribeFrame(m_settings, ans.buf, ans.len));
    } else {
        ans.buf[1] = static_cast<std::uint8_t>(ans.code | kExceptionFlag);
        ans.buf[2] = ans.exception;
        ans.Put16(3, Crc16(ans.buf, 3));
        ans.len = 5;
        // An exception a fault injects has no text of the handler's own.
        const std::string text =
            ans.error.empty() ? DescribeFrame(m_settings, ans.buf, ans.len) : ans.error;
        Transmit(ans, dev, LK_ERROR, text);
    }
}

void CRequestHandlers::Transmit(SAnswer& ans, CDevDoc* dev, int kind, const std::string& text)
{
    const SFaultDecision& fault = ans.fault;
    if (!fault.ChangesAnswer()) {
        m_sender.SendFrame(ans.buf, ans.len);
        m_lines.AddLineQueued(kind, dev->GetDevId(), ans.slave, text);
        return;
    }
    // Flipping the last byte leaves a CRC that can no longer match.
    if (fault.bBadCrc)
        ans.buf[ans.len - 1] ^= 0xFF;
    const std::string id = dev->GetDevId();
    m_lines.AddLineQueued(LK_WARNING, id, ans.slave, fault.Describe());
    if (!fault.bDelayed) {
        m_sender.SendFrame(ans.buf, ans.len);
        m_lines.AddLineQueued(kind, id, ans.slave, text);
        return;
    }
    // The answer's own line appears when it leaves.
    ILineSink& lines = m_lines;
    m_sender.SendFrameDelayed(
        ans.buf, ans.len, fault.dwDelayMs,
        [&lines, kind, id, slave = ans.slave, text] { lines.AddLine(kind, id, slave, text); });
}

bool CRequestHandlers::CheckByteCount(SAnswer& ans, const std::uint8_t* f, unsigned length,
                                      unsigned countAt, unsigned expected)
{
    const unsigned count = length > countAt ? f[countAt] : 0;
    if (count != expected) {
        ans.BadRequest(StrFormat("Счётчик байт %u не соответствует количеству (должен быть %u)",
                                 count, expected));
        return false;
    }
    // Behind the byte count: the data, then the CRC.
    if (length < countAt + 1 + count + 2) {
        ans.BadRequest(
            StrFormat("Длина кадра %u байт меньше, чем объявляет счётчик байт %u", length, count));
        return false;
    }
    return true;
}

bool CRequestHandlers::CheckRange(SAnswer& ans, CDevDoc* dev, std::int32_t type,
                                  std::uint16_t start, unsigned quantity)
{
    return ans.ForEachCell(dev, type, start, quantity, [](CDevItem&, unsigned) {});
}

void CRequestHandlers::ReadBits(std::int32_t type, std::uint8_t code, std::uint8_t slave,
                                std::uint16_t start, std::uint16_t quantity)
{
    SAnswer ans;
    CDevDoc* dev = BeginRequest(ans, slave, code);
    if (dev == nullptr)
        return;
    if (quantity == 0 || quantity > kMaxReadBits) {
        ans.BadRequest("Количество должно быть >=1 и <=0x7D0");
    } else {
        const unsigned bytes = (quantity + 7u) / 8u;
        ans.buf[2] = static_cast<std::uint8_t>(bytes);
        ans.ForEachCell(dev, type, start, quantity, [&ans](CDevItem& cell, unsigned i) {
            if (cell.GetValue() != 0)
                ans.buf[3 + i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
        });
        ans.len = 3 + bytes;
    }
    FinishRequest(ans, dev);
}

void CRequestHandlers::ReadRegisters(std::int32_t type, std::uint8_t code, std::uint8_t slave,
                                     std::uint16_t start, std::uint16_t quantity)
{
    SAnswer ans;
    CDevDoc* dev = BeginRequest(ans, slave, code);
    if (dev == nullptr)
        return;
    if (quantity == 0 || quantity > kMaxReadRegs) {
        ans.BadRequest("Количество должно быть >=1 и <=0x7D");
    } else {
        ans.buf[2] = static_cast<std::uint8_t>(2 * quantity);
        ans.ForEachCell(dev, type, start, quantity, [&ans](CDevItem& cell, unsigned i) {
            ans.Put16(3 + 2 * i, cell.GetValue());
        });
        ans.len = 3 + 2u * quantity;
    }
    FinishRequest(ans, dev);
}

void CRequestHandlers::OnReadCoils(std::uint8_t slave, std::uint16_t start, std::uint16_t quantity)
{
    ReadBits(COIL, FC_READ_COILS, slave, start, quantity);
}

void CRequestHandlers::OnReadDiscreteInputs(std::uint8_t slave, std::uint16_t start,
                                            std::uint16_t quantity)
{
    ReadBits(DINP, FC_READ_INPUTS, slave, start, quantity);
}

void CRequestHandlers::OnReadHoldingRegisters(std::uint8_t slave, std::uint16_t start,
                                              std::uint16_t quantity)
{
    ReadRegisters(HREG, FC_READ_HOLDING, slave, start, quantity);
}

void CRequestHandlers::OnReadInputRegisters(std::uint8_t slave, std::uint16_t start,
                                            std::uint16_t quantity)
{
    ReadRegisters(IREG, FC_READ_INPUT_REGS, slave, start, quantity);
}

void CRequestHandlers::OnWriteSingleCoil(std::uint8_t slave, std::uint16_t start,
                                         std::uint16_t value)
{
    SAnswer ans;
    CDevDoc* dev = BeginRequest(ans, slave, FC_WRITE_COIL);
    if (dev == nullptr)
        return;
    if (value != kCoilOff && value != kCoilOn) {
        ans.BadRequest("Значение должно быть 0x0000 или 0xFF00");
    } else if (CDevItem* cell = dev->FindItem(COIL, start); cell == nullptr) {
        ans.MissingCell(COIL, start);
    } else {
        // The coil keeps the value field itself, 0x0000 or 0xFF00.
        cell->SetValue(value);
        dev->SetModifiedFlag(true);
        ans.Put16(2, start);
        ans.Put16(4, value);
        ans.len = 6;
    }
    FinishRequest(ans, dev);
}

void CRequestHandlers::OnWriteSingleRegister(std::uint8_t slave, std::uint16_t start,
                                             std::uint16_t value)
{
    SAnswer ans;
    CDevDoc* dev = BeginRequest(ans, slave, FC_WRITE_REGISTER);
    if (dev == nullptr)
        return;
    if (CDevItem* cell = dev->FindItem(HREG, start); cell == nullptr) {
        ans.MissingCell(HREG, start);
    } else {
        cell->SetValue(value);
        dev->SetModifiedFlag(true);
        ans.Put16(2, start);
        ans.Put16(4, value);
        ans.len = 6;
    }
    FinishRequest(ans, dev);
}

void CRequestHandlers::OnReadExceptionStatus(std::uint8_t slave)
{
    SAnswer ans;
    CDevDoc* dev = BeginRequest(ans, slave, FC_READ_EXCEPTION);
    if (dev == nullptr)
        return;
    ans.buf[2] = kExceptionStatus;
    ans.len = 3;
    FinishRequest(ans, dev);
}

void CRequestHandlers::OnWriteCoils(const std::uint8_t* f, unsigned len, std::uint8_t slave,
                                    std::uint16_t start, std::uint16_t quantity)
{
    SAnswer ans;
    CDevDoc* dev = BeginRequest(ans, slave, FC_WRITE_COILS);
    if (dev == nullptr)
        return;
    const unsigned bytes = (quantity + 7u) / 8u;
    // The data must lie inside the frame: the decoder's request test sees to
    // it, the standard's checks below say what is wrong.
    if (quantity == 0 || quantity > kMaxWriteBits || (!ans.bStrict && len < 7u + bytes)) {
        ans.BadRequest("Количество должно быть >=1 и <=0x7B0");
    } else if (ans.bStrict && (!CheckByteCount(ans, f, len, 6, bytes) ||
                               !CheckRange(ans, dev, COIL, start, quantity))) {
        // Refused before any coil changes.
    } else {
        ans.ForEachCell(dev, COIL, start, quantity, [f, dev](CDevItem& cell, unsigned i) {
            cell.SetValue(static_cast<std::uint16_t>((f[7 + i / 8] >> (i % 8)) & 1));
            dev->SetModifiedFlag(true);
        });
        ans.Put16(2, start);
        ans.Put16(4, quantity);
        ans.len = 6;
    }
    FinishRequest(ans, dev);
}

void CRequestHandlers::OnWriteRegisters(const std::uint8_t* f, unsigned len, std::uint8_t slave,
                                        std::uint16_t start, std::uint16_t quantity)
{
    SAnswer ans;
    CDevDoc* dev = BeginRequest(ans, slave, FC_WRITE_REGISTERS);
    if (dev == nullptr)
        return;
    if (quantity == 0 || quantity > kMaxWriteRegs || (!ans.bStrict && len < 7u + 2u * quantity)) {
        ans.BadRequest("Количество должно быть >=1 и <=0x7B");
    } else if (ans.bStrict && (!CheckByteCount(ans, f, len, 6, 2u * quantity) ||
                               !CheckRange(ans, dev, HREG, start, quantity))) {
        // Refused before any register changes.
    } else {
        ans.ForEachCell(dev, HREG, start, quantity, [f, dev](CDevItem& cell, unsigned i) {
            cell.SetValue(Be16(f + 7 + 2 * i));
            dev->SetModifiedFlag(true);
        });
        ans.Put16(2, start);
        ans.Put16(4, quantity);
        ans.len = 6;
    }
    FinishRequest(ans, dev);
}

void CRequestHandlers::OnReportSlaveId(std::uint8_t slave)
{
    SAnswer ans;
    CDevDoc* dev = BeginRequest(ans, slave, FC_REPORT_SLAVE_ID);
    if (dev == nullptr)
        return;
    // The server ID is the device's address; the device ID follows the run
    // indicator, cut between two characters if it is too long.
    const std::string id = dev->GetDevId();
    std::size_t n = std::min<std::size_t>(id.size(), kMaxSlaveIdBytes);
    while (n > 0 && n < id.size() && (static_cast<unsigned char>(id[n]) & 0xC0) == 0x80)
        --n;
    ans.buf[2] = static_cast<std::uint8_t>(2 + n);
    ans.buf[3] = slave;
    ans.buf[4] = kRunIndicatorOn;
    std::memcpy(ans.buf + 5, id.data(), n);
    ans.len = 5 + static_cast<unsigned>(n);
    FinishRequest(ans, dev);
}

void CRequestHandlers::OnMaskWriteRegister(const std::uint8_t* f, unsigned len, std::uint8_t slave)
{
    SAnswer ans;
    CDevDoc* dev = BeginRequest(ans, slave, FC_MASK_WRITE_REGISTER);
    if (dev == nullptr)
        return;
    if (len < 10) {
        ans.BadRequest(StrFormat("Длина кадра %u байт, должна быть 10", len));
    } else {
        const std::uint16_t addr = Be16(f + 2);
        const std::uint16_t andMask = Be16(f + 4);
        const std::uint16_t orMask = Be16(f + 6);
        if (CDevItem* cell = dev->FindItem(HREG, addr); cell == nullptr) {
            ans.MissingCell(HREG, addr);
        } else {
            const auto value =
                static_cast<std::uint16_t>((cell->GetValue() & andMask) | (orMask & ~andMask));
            cell->SetValue(value);
            dev->SetModifiedFlag(true);
            // The answer repeats the request.
            ans.Put16(2, addr);
            ans.Put16(4, andMask);
            ans.Put16(6, orMask);
            ans.len = 8;
        }
    }
    FinishRequest(ans, dev);
}

void CRequestHandlers::OnReadWriteRegisters(const std::uint8_t* f, unsigned len, std::uint8_t slave)
{
    SAnswer ans;
    CDevDoc* dev = BeginRequest(ans, slave, FC_READ_WRITE_REGISTERS);
    if (dev == nullptr)
        return;
    const std::uint16_t readAddr = len >= 13 ? Be16(f + 2) : 0;
    const std::uint16_t readQty = len >= 13 ? Be16(f + 4) : 0;
    const std::uint16_t writeAddr = len >= 13 ? Be16(f + 6) : 0;
    const std::uint16_t writeQty = len >= 13 ? Be16(f + 8) : 0;
    if (len < 13) {
        ans.BadRequest(StrFormat("Длина кадра %u байт, должна быть не меньше 13", len));
    } else if (readQty == 0 || readQty > kMaxRwReadRegs) {
        ans.BadRequest("Количество для чтения должно быть >=1 и <=0x7D");
    } else if (writeQty == 0 || writeQty > kMaxRwWriteRegs) {
        ans.BadRequest("Количество для записи должно быть >=1 и <=0x79");
    } else if (!CheckByteCount(ans, f, len, 10, 2u * writeQty) ||
               !CheckRange(ans, dev, HREG, writeAddr, writeQty) ||
               !CheckRange(ans, dev, HREG, readAddr, readQty)) {
        // Refused before any register changes.
    } else {
        // The write comes first, the read sees its values.
        ans.ForEachCell(dev, HREG, writeAddr, writeQty, [f, dev](CDevItem& cell, unsigned i) {
            cell.SetValue(Be16(f + 11 + 2 * i));
            dev->SetModifiedFlag(true);
        });
        ans.buf[2] = static_cast<std::uint8_t>(2 * readQty);
        ans.ForEachCell(dev, HREG, readAddr, readQty, [&ans](CDevItem& cell, unsigned i) {
            ans.Put16(3 + 2 * i, cell.GetValue());
        });
        ans.len = 3 + 2u * readQty;
    }
    FinishRequest(ans, dev);
}

void CRequestHandlers::OnUnknownFunction(std::uint8_t code, std::uint8_t slave)
{
    SAnswer ans;
    CDevDoc* dev = BeginRequest(ans, slave, code);
    if (dev == nullptr)
        return;
    // A code the table does not know has no name to show.
    if (IsNamedFunction(code))
        ans.Fail(EX_ILLEGAL_FUNCTION,
                 StrFormat("(0x%02X) %s: Функция не поддерживается", code, ans.name));
    else
        ans.Fail(EX_ILLEGAL_FUNCTION, StrFormat("(0x%02X): Функция не поддерживается", code));
    FinishRequest(ans, dev);
}

} // namespace korvex
