#pragma once

// A hub for the fuzz targets: a hand-pumped UI queue, a transmitter that
// counts frames (and may check them), and a protocol-log sink that counts
// lines.

#include "core/CKorvexApp.h"
#include "core/CQueuePoster.h"
#include "core/Crc16.h"
#include "core/ITransmitter.h"

#include <cstdint>
#include <cstdlib>

namespace korvex::fuzz {

class CCountingTx final : public ITransmitter
{
public:
    bool Write(const std::uint8_t* data, std::uint32_t count) override
    {
        // An answer of the request handlers is a whole frame: address,
        // function code, at least one more byte and a CRC over all of it (a
        // frame with its CRC has a remainder of 0).
        if (m_bCheckFrames && (data == nullptr || count < 5 || Crc16(data, count) != 0))
            std::abort();
        ++m_nFrames;
        return true;
    }
    bool m_bCheckFrames{ false };
    std::uint64_t m_nFrames{ 0 };
};

struct SFuzzHub
{
    CQueuePoster poster;
    CCountingTx tx;
    CKorvexApp app;
    std::uint64_t nLines{ 0 };

    SFuzzHub()
    {
        app.SetPoster(&poster);
        app.SetTransmitter(&tx);
        app.SetLineSink([this](const CProtoFeed::Batch& batch) { nLines += batch.size(); });
    }
};

} // namespace korvex::fuzz
