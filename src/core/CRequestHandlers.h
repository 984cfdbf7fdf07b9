#pragma once

#include "core/IRequestHandler.h"

#include <cstdint>
#include <string>

namespace korvex {

class CDevDoc;
class IDeviceLookup;
class IFrameSender;
class ILineSink;
struct SSettings;

// The request handlers of the nine function codes. Each looks up the device
// and its cells, builds the normal or the exception answer, sends it and
// queues its line behind the request's.
//
// Threads: the user-interface thread, inside the drain, with the receive
// buffer's lock held; lookups and value writes take the store's own locks.
class CRequestHandlers final : public IRequestHandler
{
public:
    CRequestHandlers(IDeviceLookup& devices, IFrameSender& sender, ILineSink& lines,
                     const SSettings& settings);

    // Dispatches by function code; other codes are ignored.
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

private:
    struct SAnswer;
    CDevDoc* BeginRequest(SAnswer& ans, std::uint8_t slave, std::uint8_t code);
    void FinishRequest(SAnswer& ans, CDevDoc* dev);
    void ReadBits(std::int32_t type, std::uint8_t code, std::uint8_t slave, std::uint16_t start,
                  std::uint16_t quantity);
    void ReadRegisters(std::int32_t type, std::uint8_t code, std::uint8_t slave,
                       std::uint16_t start, std::uint16_t quantity);

    IDeviceLookup& m_devices;
    IFrameSender& m_sender;
    ILineSink& m_lines;
    const SSettings& m_settings;
};

} // namespace korvex
