#pragma once

#include "core/CProtoFeed.h"
#include "core/ITransmitter.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace korvex {

// Standard output of korvex-cli: one tab-separated line per event (LogLines.h),
// flushed line by line. Transmitted frames are "T" lines (written from
// whatever thread sends), protocol-log records "P" lines (written on the UI
// thread).
class CCliOutput final : public ITransmitter
{
public:
    // Records a transmitted frame and forwards it to next, if any.
    explicit CCliOutput(ITransmitter* next = nullptr);

    bool Write(const std::uint8_t* data, std::uint32_t count) override;
    void PrintBatch(const CProtoFeed::Batch& batch);
    void PrintLine(const std::string& line);

private:
    std::mutex m_mutex;
    ITransmitter* m_pNext;
};

} // namespace korvex
