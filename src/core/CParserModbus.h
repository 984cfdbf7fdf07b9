#pragma once

#include "core/CProtoParser.h"
#include "core/FunctionCodes.h"

#include <cstdint>
#include <string>

namespace korvex {

class IDeviceLookup;
class IEchoFilter;
struct SSettings;

// "Неопознанные данные N байт { ... }": the bytes as "0x%X" (hex) or "%u".
std::string DescribeUnrecognized(const std::uint8_t* d, unsigned count, bool hex);

// Name of a function code from the table; unknown codes give the error text.
const char* GetFunctionName(std::uint8_t code, bool longName);
// Whether the table names the code.
bool IsNamedFunction(std::uint8_t code);

// True when fc without bit 7 is one of 1-7, 15, 16.
bool IsKnownFunction(std::uint8_t fc);
// True when fc without bit 7 is one of 8, 17, 22, 23: served only with
// answers by the standard.
bool IsStrictFunction(std::uint8_t fc);

// Length of the frame at p found by its CRC (a following 0x00 joins it), or 0:
// the first prefix whose CRC matches and whose frame is at least minLen long.
// m is the number of bytes available minus two.
unsigned ScanCrc(const std::uint8_t* p, unsigned m, unsigned minLen = 0);

// The length a write-multiple request at p announces by its quantity and
// byte count (address, code, start, quantity, count, data, CRC), or 0 when
// the bytes are no such request; only m bytes are read.
unsigned DeclaredWriteLength(const std::uint8_t* p, unsigned m);

// Whether more bytes behind the n available may still make a frame start at
// d[s]: its function code is unknown yet or a known one, and the bytes that
// decide it are not all there.
bool MayStartFrame(const std::uint8_t* d, unsigned n, unsigned s);

// The least length a frame starting at p may have; only m bytes are read.
unsigned MinFrameLen(const std::uint8_t* p, unsigned m);
// The same with answers by the standard, for a frame addressed to a device of
// the project: a read of codes 1 to 4 with its own CRC is a request whatever
// its quantity, and codes 8, 17, 22 and 23 are frames too.
unsigned MinFrameLenStrict(const std::uint8_t* p, unsigned m);

// Request test on the PDU (function code onwards, without the CRC).
bool IsRequest(const std::uint8_t* pdu, unsigned pduLength);
// Request test of a frame addressed to a device of the project, with answers
// by the standard: every frame is a request but the one form that the
// device's own answer to its code has, so that a request the device must
// refuse reaches the handler.
bool IsStrictRequest(const std::uint8_t* frame, unsigned length);

// The decoder's line for one frame, without echo test or dispatch: the text
// the handlers log for an answer they send.
std::string DescribeFrame(const SSettings& settings, const std::uint8_t* frame, unsigned length);

// Frames the bytes, suppresses the emulator's echo and describes the frame;
// with answering enabled a request is marked for the caller to answer
// (SFrameInfo::bAnswer). Describing and answering are two steps.
//
// With answers by the standard (MBSTRICT) frames addressed to a device of the
// project are framed and classified more widely: codes 8, 17, 22 and 23 are
// frames, requests outside the protocol's ranges are requests (the handler
// refuses them), and a frame of a code not served is found by its CRC when it
// starts right behind the last frame or ends with the bytes received so far
// (a master waits for the answer, so a request is the last thing on the line).
// Other slaves' traffic is framed as without it.
class CParserModbus final : public CProtoParser
{
public:
    // settings: ADDRISHEX, VALUEISHEX and MBSTRICT, read as a line is built.
    // running: the drain's wait rule applies. echo may be null: no echo test.
    // devices tells which addresses are the project's; without it no frame
    // is taken for one of theirs.
    CParserModbus(const SSettings& settings, bool running, IEchoFilter* echo,
                  const IDeviceLookup* devices = nullptr);

    void Parse(const std::uint8_t* data, unsigned available, SFrameInfo& info) override;

    // For DescribeFrame: the frame is an answer the emulator itself has built
    // for a device of the project; nothing is answered.
    void SetDescribingOwnAnswer()
    {
        m_bAnswering = false;
        m_bOwnAnswer = true;
    }

    // Starts below this offset are known to start no frame (the drain passes
    // what an earlier wait reported); 0 scans from the beginning.
    void SetScanStart(unsigned offset) { m_nScanFrom = offset; }
    // After a step that waits: starts below this offset start no frame
    // whatever bytes arrive later (their whole scan window was present).
    unsigned GetResumeHint() const { return m_nResumeHint; }

private:
    bool IsStrict() const;
    bool IsProjectAddress(std::uint8_t addr) const;
    // Strict framing of a start at s whose code is not one of 1-7, 15, 16;
    // sets crcLen to the frame found there, or 0.
    bool StrictFrameAt(const std::uint8_t* d, unsigned n, unsigned s, unsigned& crcLen) const;
    // Whether more bytes may still make a frame start at d[s].
    bool MayStart(const std::uint8_t* d, unsigned n, unsigned s) const;
    // The length of the frame that starts at d[s], or 0; announced tells
    // whether its header gives that length (else a chance CRC match may
    // have ended it).
    unsigned FrameAt(const std::uint8_t* d, unsigned n, unsigned s, bool& announced) const;
    // Whether a frame to a device of the project with a length its header
    // gives may still start at d[t] once more bytes arrive.
    bool MayBecomeAnnounced(const std::uint8_t* d, unsigned n, unsigned t) const;
    // For a frame at s whose header does not give its length: moves s and
    // length to a frame inside it whose header does. False when none is
    // there yet but one may still arrive (the emulator running).
    bool YieldToAnnounced(const std::uint8_t* d, unsigned n, unsigned& s, unsigned& length) const;
    void Describe(const std::uint8_t* f, unsigned length, SFrameInfo& info);
    void DescribeRequest(const std::uint8_t* f, unsigned length, SFrameInfo& info);
    void DescribeResponse(const std::uint8_t* f, unsigned length, SFrameInfo& info);

    const SSettings& m_settings;
    bool m_bRunning;
    IEchoFilter* m_pEcho;
    const IDeviceLookup* m_pDevices;
    bool m_bAnswering{ true };
    bool m_bOwnAnswer{ false };
    unsigned m_nScanFrom{ 0 };
    unsigned m_nResumeHint{ 0 };
};

} // namespace korvex
