#include "core/CRequestHandlers.h"

#include "core/CDevDoc.h"
#include "core/CParserModbus.h"
#include "core/Crc16.h"
#include "core/IDeviceLookup.h"
#include "core/IFrameSender.h"
#include "core/ILineSink.h"
#include "core/Text.h"

#include <cstring>

namespace korvex {

struct CRequestHandlers::SAnswer
{
    std::uint8_t buf[2048]{};
    unsigned len{ 2 };
    std::uint8_t code{ 0 };
    std::uint8_t slave{ 0 };
    std::uint8_t exception{ 0 };
    const char* name{ "" };
    std::string error;

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
    void MissingCell(std::int32_t type, std::uint16_t addr)
    {
        Fail(EX_DEVICE_FAILURE, StrFormat("(0x%02X) %s: %s c адресом 0x%X не найден", code, name,
                                          CellTypeName(type), static_cast<unsigned>(addr)));
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
    default: break;
    }
}

CDevDoc* CRequestHandlers::BeginRequest(SAnswer& ans, std::uint8_t slave, std::uint8_t code)
{
    ans.buf[0] = slave;
    ans.buf[1] = code;
    ans.slave = slave;
    ans.code = code;
    ans.name = GetFunctionName(code, true);
    CDevDoc* dev = m_devices.FindDeviceByAddr(slave);
    if (dev == nullptr) {
        m_lines.AddLineQueued(LK_WARNING, std::string(), slave,
                              StrFormat("(0x%02X) %s - устройство с адресом 0x%X не найдено", code,
                                        ans.name, static_cast<unsigned>(slave)));
    }
    return dev;
}

void CRequestHandlers::FinishRequest(SAnswer& ans, CDevDoc* dev)
{
    if (ans.exception == 0) {
        const std::uint16_t crc = Crc16(ans.buf, ans.len);
        ans.Put16(ans.len, crc);
        ans.len += 2;
        m_sender.SendFrame(ans.buf, ans.len);
        m_lines.AddLineQueued(LK_RESPONSE, dev->GetDevId(), ans.slave,
                              DescribeFrame(m_settings, ans.buf, ans.len));
    } else {
        ans.buf[1] = static_cast<std::uint8_t>(ans.code | kExceptionFlag);
        ans.buf[2] = ans.exception;
        ans.Put16(3, Crc16(ans.buf, 3));
        m_sender.SendFrame(ans.buf, 5);
        m_lines.AddLineQueued(LK_ERROR, dev->GetDevId(), ans.slave, ans.error);
    }
}

void CRequestHandlers::ReadBits(std::int32_t type, std::uint8_t code, std::uint8_t slave,
                                std::uint16_t start, std::uint16_t quantity)
{
    SAnswer ans;
    CDevDoc* dev = BeginRequest(ans, slave, code);
    if (dev == nullptr)
        return;
    if (quantity == 0 || quantity > kMaxReadBits) {
        ans.Fail(EX_ILLEGAL_VALUE,
                 StrFormat("(0x%02X) %s: Неверный запрос. Количество должно быть >=1 и <=0x7D0",
                           code, ans.name));
    } else {
        const unsigned bytes = (quantity + 7u) / 8u;
        ans.buf[2] = static_cast<std::uint8_t>(bytes);
        for (unsigned i = 0; i < quantity; ++i) {
            const auto addr = static_cast<std::uint16_t>(start + i);
            CDevItem* cell = dev->FindItem(type, addr);
            if (cell == nullptr) {
                ans.MissingCell(type, addr);
                break;
            }
            if (cell->GetValue() != 0)
                ans.buf[3 + i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
        }
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
        ans.Fail(EX_ILLEGAL_VALUE,
                 StrFormat("(0x%02X) %s: Неверный запрос. Количество должно быть >=1 и <=0x7D",
                           code, ans.name));
    } else {
        ans.buf[2] = static_cast<std::uint8_t>(2 * quantity);
        for (unsigned i = 0; i < quantity; ++i) {
            const auto addr = static_cast<std::uint16_t>(start + i);
            CDevItem* cell = dev->FindItem(type, addr);
            if (cell == nullptr) {
                ans.MissingCell(type, addr);
                break;
            }
            ans.Put16(3 + 2 * i, cell->GetValue());
        }
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
        ans.Fail(EX_ILLEGAL_VALUE,
                 StrFormat("(0x%02X) %s: Неверный запрос. Значение должно быть 0x0000 или 0xFF00",
                           ans.code, ans.name));
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
    // The data must lie inside the frame (the decoder's request test sees to it).
    if (quantity == 0 || quantity > kMaxWriteBits || len < 7u + (quantity + 7u) / 8u) {
        ans.Fail(EX_ILLEGAL_VALUE,
                 StrFormat("(0x%02X) %s: Неверный запрос. Количество должно быть >=1 и <=0x7B0",
                           ans.code, ans.name));
    } else {
        for (unsigned i = 0; i < quantity; ++i) {
            const auto addr = static_cast<std::uint16_t>(start + i);
            CDevItem* cell = dev->FindItem(COIL, addr);
            if (cell == nullptr) {
                ans.MissingCell(COIL, addr);
                break;
            }
            cell->SetValue(static_cast<std::uint16_t>((f[7 + i / 8] >> (i % 8)) & 1));
            dev->SetModifiedFlag(true);
        }
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
    if (quantity == 0 || quantity > kMaxWriteRegs || len < 7u + 2u * quantity) {
        ans.Fail(EX_ILLEGAL_VALUE,
                 StrFormat("(0x%02X) %s: Неверный запрос. Количество должно быть >=1 и <=0x7B",
                           ans.code, ans.name));
    } else {
        for (unsigned i = 0; i < quantity; ++i) {
            const auto addr = static_cast<std::uint16_t>(start + i);
            CDevItem* cell = dev->FindItem(HREG, addr);
            if (cell == nullptr) {
                ans.MissingCell(HREG, addr);
                break;
            }
            cell->SetValue(Be16(f + 7 + 2 * i));
            dev->SetModifiedFlag(true);
        }
        ans.Put16(2, start);
        ans.Put16(4, quantity);
        ans.len = 6;
    }
    FinishRequest(ans, dev);
}

} // namespace korvex
