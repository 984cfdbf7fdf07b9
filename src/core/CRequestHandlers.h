#pragma once

#include "core/IPduHandler.h"

#include <cstdint>
#include <string>

namespace korvex {

class CCounters;
class CDevDoc;
class CFaultInjector;
class IDeviceLookup;
class ILineSink;
struct SSettings;

// The request handlers: a request PDU to one of the project's devices is
// answered from its cells by an answer PDU or an exception PDU. They know no
// transport: framing, CRC, echo and timing are the caller's.
//
// With answers by the standard (MBSTRICT) a missing cell is exception 02, a
// malformed request exception 03 with a line that says what is wrong, codes
// 8, 17, 22 and 23 are served and any other code is exception 01; a refused
// multiple write changes no cell. Address 0 is a broadcast: writes (codes 5,
// 6, 15, 16, 22) are carried out by every device that has the cells, other
// codes are ignored, and nothing is answered.
//
// With the cell rules (MBCELLRULES) a write of a read-only cell or a read of
// a write-only one is exception 02, a register value outside the cell's
// bounds exception 03; the whole request is checked before anything of it
// is written.
//
// The device's faults (CFaultInjector) are drawn before the request is
// handled: a device that is off or a request that is lost gets no answer and
// does nothing; an injected exception answers instead of the work. What the
// faults do to the answer on its way (a spoiled CRC, a delay) travels in the
// answer for the transport.
//
// Each request to a device is counted in its counters once it is handled,
// answered or not (a broadcast is a request to every device, answered by
// none). With answers by the standard, Diagnostics (code 8) answers from
// them: return query data, clear counters and the five counts of the bus,
// exceptions, server messages and requests left unanswered.
//
// Threads: the thread that drains the receive buffer, with its lock held.
// Each request is handled under one hold of its device's lock (cells' locks
// are taken under it, never the reverse).
class CRequestHandlers final : public IPduHandler
{
public:
    CRequestHandlers(IDeviceLookup& devices, ILineSink& lines, const SSettings& settings);

    // Without faults every answer leaves as it is built.
    void SetFaults(CFaultInjector* faults) { m_pFaults = faults; }
    // The bus counters of Diagnostics and their clear; without them the bus
    // counts are 0.
    void SetCounters(CCounters* counters) { m_pCounters = counters; }

    // Codes other than 1-7, 15 and 16 are ignored, or served (8, 17, 22,
    // 23) and refused with exception 01 when answers follow the standard.
    void Answer(const SRequestPdu& request, SAnswerPdu& answer) override;

private:
    struct SAnswer;
    bool IsStrict() const;
    bool HasCellRules() const;
    void Dispatch(SAnswer& ans, CDevDoc* dev, const SRequestPdu& req);
    void ReadBits(SAnswer& ans, CDevDoc* dev, std::int32_t type, const SRequestPdu& req);
    void ReadRegisters(SAnswer& ans, CDevDoc* dev, std::int32_t type, const SRequestPdu& req);
    void WriteSingleCoil(SAnswer& ans, CDevDoc* dev, const SRequestPdu& req);
    void WriteSingleRegister(SAnswer& ans, CDevDoc* dev, const SRequestPdu& req);
    void ReadExceptionStatus(SAnswer& ans);
    void WriteCoils(SAnswer& ans, CDevDoc* dev, const SRequestPdu& req);
    void WriteRegisters(SAnswer& ans, CDevDoc* dev, const SRequestPdu& req);
    // Served with answers by the standard only.
    void ReportSlaveId(SAnswer& ans, CDevDoc* dev);
    void MaskWriteRegister(SAnswer& ans, CDevDoc* dev, const SRequestPdu& req);
    void ReadWriteRegisters(SAnswer& ans, CDevDoc* dev, const SRequestPdu& req);
    void Diagnostics(SAnswer& ans, CDevDoc* dev, const SRequestPdu& req);
    void UnknownFunction(SAnswer& ans);
    // Answers by the standard: the byte count at countAt and the PDU's
    // length agree with the expected count of data bytes; false after setting
    // exception 03.
    bool CheckByteCount(SAnswer& ans, const SRequestPdu& req, unsigned countAt, unsigned expected);
    // Answers by the standard: a broadcast write is carried out by every
    // device that has the cells it addresses, each with its own checks;
    // nothing is answered, a line tells what each device did.
    void Broadcast(const SRequestPdu& req);

    IDeviceLookup& m_devices;
    ILineSink& m_lines;
    const SSettings& m_settings;
    CFaultInjector* m_pFaults{ nullptr };
    CCounters* m_pCounters{ nullptr };
};

} // namespace korvex
