#pragma once

#include "core/IDevFileFormat.h"

namespace korvex {

class ILineSink;
struct SSettings;

// The device file format as the device template gives it to its documents:
// the bytes on disk in code page 1251 (or UTF-8), the reader's warnings in
// the protocol log, numbers written as EDITHEX says at the time of the save.
class CDevFileFormat final : public IDevFileFormat
{
public:
    CDevFileFormat(ILineSink& lines, const SSettings& settings)
        : m_lines(lines), m_settings(settings)
    {
    }

    bool Load(CDevDoc& doc, CArchive& ar) const override;
    bool Store(const CDevDoc& doc, CArchive& ar) const override;
    // The views of the cells, in the type file beside the device file.
    std::string StoreBeside(const CDevDoc& doc, const std::string& path) const override;

private:
    ILineSink& m_lines;
    const SSettings& m_settings;
};

} // namespace korvex
