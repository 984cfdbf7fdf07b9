// The request handlers: run on the user-interface thread inside the drain,
// with the receive buffer's lock held. Each looks up the device and its cells,
// builds the normal or the exception answer, sends it and queues its line.

#include "core/CDevDoc.h"
#include "core/CKorvexApp.h"
#include "core/CParserModbus.h"
#include "core/Crc16.h"
#include "core/Text.h"

#include <cstring>

namespace korvex {

struct CKorvexApp::SAnswer
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
        Fail(4, StrFormat("(0x%02X) %s: %s c адресом 0x%X не найден", code, name,
                          CellTypeName(type), static_cast<unsigned>(addr)));
    }
};

namespace {

std::uint16_t Be16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>((p[0] << 8) | p[1]);
}

} // namespace

CDevDoc* CKorvexApp::BeginRequest(SAnswer& ans, std::uint8_t slave, std::uint8_t code)
{
    ans.buf[0] = slave;
    ans.buf[1] = code;
    ans.slave = slave;
    ans.code = code;
    ans.name = GetFunctionName(code, true);
    CDevDoc* dev = FindDeviceByAddr(slave);
    if (dev == nullptr) {
        m_feed.AddLineQueued(LK_WARNING, std::string(), slave,
                             StrFormat("(0x%02X) %s - устройство с адресом 0x%X не найдено", code,
                                       ans.name, static_cast<unsigned>(slave)));
    }
    return dev;
}

void CKorvexApp::FinishRequest(SAnswer& ans, CDevDoc* dev)
{
    if (ans.exception == 0) {
        const std::uint16_t crc = Crc16(ans.buf, ans.len);
        ans.Put16(ans.len, crc);
        ans.len += 2;
        SendFrame(ans.buf, ans.len);
        m_feed.AddLineQueued(LK_RESPONSE, dev->GetDevId(), ans.slave,
                             DescribeFrame(ans.buf, ans.len));
    } else {
        ans.buf[1] = static_cast<std::uint8_t>(ans.code | 0x80);
        ans.buf[2] = ans.exception;
        ans.Put16(3, Crc16(ans.buf, 3));
        SendFrame(ans.buf, 5);
        m_feed.AddLineQueued(LK_ERROR, dev->GetDevId(), ans.slave, ans.error);
    }
}

void CKorvexApp::ReadBits(std::int32_t type, std::uint8_t code, std::uint8_t slave,
                          std::uint16_t start, std::uint16_t quantity)
{
    SAnswer ans;
    CDevDoc* dev = BeginRequest(ans, slave, code);
    if (dev == nullptr)
        return;
    if (quantity == 0 || quantity > kMaxReadBits) {
        ans.Fail(3, StrFormat("(0x%02X) %s: Неверный запрос. Количество должно быть >=1 и <=0x7D0",
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

void CKorvexApp::ReadRegisters(std::int32_t type, std::uint8_t code, std::uint8_t slave,
                               std::uint16_t start, std::uint16_t quantity)
{
    SAnswer ans;
    CDevDoc* dev = BeginRequest(ans, slave, code);
    if (dev == nullptr)
        return;
    if (quantity == 0 || quantity > kMaxReadRegs) {
        ans.Fail(3, StrFormat("(0x%02X) %s: Неверный запрос. Количество должно быть >=1 и <=0x7D",
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

void CKorvexApp::OnReadCoils(const std::uint8_t*, unsigned, std::uint8_t slave, std::uint16_t start,
                             std::uint16_t quantity)
{
    ReadBits(COIL, FC_READ_COILS, slave, start, quantity);
}

void CKorvexApp::OnReadDiscreteInputs(const std::uint8_t*, unsigned, std::uint8_t slave,
                                      std::uint16_t start, std::uint16_t quantity)
{
    ReadBits(DINP, FC_READ_INPUTS, slave, start, quantity);
}

void CKorvexApp::OnReadHoldingRegisters(const std::uint8_t*, unsigned, std::uint8_t slave,
                                        std::uint16_t start, std::uint16_t quantity)
{
    ReadRegisters(HREG, FC_READ_HOLDING, slave, start, quantity);
}

void CKorvexApp::OnReadInputRegisters(const std::uint8_t*, unsigned, std::uint8_t slave,
                                      std::uint16_t start, std::uint16_t quantity)
{
    ReadRegisters(IREG, FC_READ_INPUT_REGS, slave, start, quantity);
}

void CKorvexApp::OnWriteSingleCoil(const std::uint8_t*, unsigned, std::uint8_t slave,
                                   std::uint16_t start, std::uint16_t value)
{
    SAnswer ans;
    CDevDoc* dev = BeginRequest(ans, slave, FC_WRITE_COIL);
    if (dev == nullptr)
        return;
    if (value != 0x0000 && value != 0xFF00) {
        ans.Fail(3,
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

void CKorvexApp::OnWriteSingleRegister(const std::uint8_t*, unsigned, std::uint8_t slave,
                                       std::uint16_t start, std::uint16_t value)
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

void CKorvexApp::OnReadExceptionStatus(const std::uint8_t*, unsigned, std::uint8_t slave,
                                       std::uint16_t, std::uint16_t)
{
    SAnswer ans;
    CDevDoc* dev = BeginRequest(ans, slave, FC_READ_EXCEPTION);
    if (dev == nullptr)
        return;
    ans.buf[2] = 0x20;
    ans.len = 3;
    FinishRequest(ans, dev);
}

void CKorvexApp::OnWriteCoils(const std::uint8_t* f, unsigned len, std::uint8_t slave,
                              std::uint16_t start, std::uint16_t quantity)
{
    SAnswer ans;
    CDevDoc* dev = BeginRequest(ans, slave, FC_WRITE_COILS);
    if (dev == nullptr)
        return;
    // The data must lie inside the frame (the decoder's request test sees to it).
    if (quantity == 0 || quantity > kMaxWriteBits || len < 7u + (quantity + 7u) / 8u) {
        ans.Fail(3, StrFormat("(0x%02X) %s: Неверный запрос. Количество должно быть >=1 и <=0x7B0",
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

void CKorvexApp::OnWriteRegisters(const std::uint8_t* f, unsigned len, std::uint8_t slave,
                                  std::uint16_t start, std::uint16_t quantity)
{
    SAnswer ans;
    CDevDoc* dev = BeginRequest(ans, slave, FC_WRITE_REGISTERS);
    if (dev == nullptr)
        return;
    if (quantity == 0 || quantity > kMaxWriteRegs || len < 7u + 2u * quantity) {
        ans.Fail(3, StrFormat("(0x%02X) %s: Неверный запрос. Количество должно быть >=1 и <=0x7B",
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
