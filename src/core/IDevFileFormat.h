#pragma once

#include <string>

namespace korvex {

class CArchive;
class CDevDoc;

// How a device is read from and written to its file; the device template
// gives its documents the format (the file layer knows it, the core does
// not). Both run with the device's lock held.
class IDevFileFormat
{
public:
    virtual ~IDevFileFormat() = default;
    // False when the archive's content is unusable.
    virtual bool Load(CDevDoc& doc, CArchive& ar) const = 0;
    virtual bool Store(const CDevDoc& doc, CArchive& ar) const = 0;
    // After the device was saved to the file at path (a full path): writes
    // what the format keeps beside it. The reason it failed, empty on success.
    virtual std::string StoreBeside(const CDevDoc&, const std::string& /*path*/) const
    {
        return std::string();
    }
};

} // namespace korvex
