#pragma once

#include "core/IRequestHandler.h"

#include <cstdint>
#include <string>

namespace korvex {

class CDevDoc;
class CFaultInjector;
class IDeviceLookup;
class IFrameSender;
class ILineSink;
struct SSettings;

// The request handlers of the nine function codes. Each looks up the device
// and its cells, builds the normal or the exception answer, sends it and
// queues its line behind the request's.
//
// With answers by the standard (MBSTRICT) a missing cell is exception 02, a
// malformed request exception 03 with a line that says what is wrong, codes
// 17, 22 and 23 are served and any other code is exception 01; a refused
// multiple write changes no cell.
//
// The device's faults (CFaultInjector) may silence the answer, replace it by
// an exception, spoil its CRC or hold it back; each answer they change gets
// one warning line that names the rules.
//
// Threads: the user-interface thread, inside the drain, with the receive
// buffer's lock held; lookups and value writes take the store's own locks.
class CRequestHandlers final : public IRequestHandler
{
public:
    CRequestHandlers(IDeviceLookup& devices, IFrameSender& sender, ILineSink& lines,
                     const SSettings& settings);

    // Without faults every answer leaves as it is built.
    void SetFaults(CFaultInjector* faults) { m_pFaults = faults; }

    // Dispatches by function code; other codes are ignored, or refused with
    // exception 01 when answers follow the standard.
    void OnRequest(std::uint8_t code, const std::uint8_t* frame, unsigned length,
                   std::uint8_t slave, std::uint16_t start, std::uint16_t fourth) override;

    void OnReadCoils(std::uint8_t slave, std::uint16_t start, std::uint16_t quantity);
    void OnReadDiscreteInputs(std::uint8_t slave, std::uint16_t start, std::uint16_t quantity);
    void OnReadHoldingRegisters(std::uint8_t slave, std::uint16_t start, std::uint16_t quantity);
    void OnReadInputRegisters(std::uint8_t slave, std::uint16_t start, std::uint16_t quantity);
    void OnWriteSingleCoil(std::uint8_t slave, std::uint16_t start, std::uint16_t value);
    void OnWriteSingleRegister(std::uint8_t slave, std::uint16_t start, std::uint16_t value);
    void OnReadExceptionStatus(std::uint8_t slave);
    // The frame carries the data; length is the whole frame's.
    void OnWriteCoils(const std::uint8_t* frame, unsigned length, std::uint8_t slave,
                      std::uint16_t start, std::uint16_t quantity);
    void OnWriteRegisters(const std::uint8_t* frame, unsigned length, std::uint8_t slave,
                          std::uint16_t start, std::uint16_t quantity);
    // Served with answers by the standard only.
    void OnReportSlaveId(std::uint8_t slave);
    void OnMaskWriteRegister(const std::uint8_t* frame, unsigned length, std::uint8_t slave);
    void OnReadWriteRegisters(const std::uint8_t* frame, unsigned length, std::uint8_t slave);
    void OnUnknownFunction(std::uint8_t code, std::uint8_t slave);

private:
    struct SAnswer;
    CDevDoc* BeginRequest(SAnswer& ans, std::uint8_t slave, std::uint8_t code);
    void FinishRequest(SAnswer& ans, CDevDoc* dev);
    void Transmit(SAnswer& ans, CDevDoc* dev, int kind, const std::string& text);
    bool IsStrict() const;
    void ReadBits(std::int32_t type, std::uint8_t code, std::uint8_t slave, std::uint16_t start,
                  std::uint16_t quantity);
    void ReadRegisters(std::int32_t type, std::uint8_t code, std::uint8_t slave,
                       std::uint16_t start, std::uint16_t quantity);
    // Answers by the standard: the byte count and the frame length of a
    // multiple write agree with the quantity; false after setting exception 03.
    bool CheckByteCount(SAnswer& ans, const std::uint8_t* frame, unsigned length, unsigned countAt,
                        unsigned expected);
    // Answers by the standard: every cell of the range exists; false after
    // setting the missing-cell exception.
    bool CheckRange(SAnswer& ans, CDevDoc* dev, std::int32_t type, std::uint16_t start,
                    unsigned quantity);

    IDeviceLookup& m_devices;
    IFrameSender& m_sender;
    ILineSink& m_lines;
    const SSettings& m_settings;
    CFaultInjector* m_pFaults{ nullptr };
};

} // namespace korvex
