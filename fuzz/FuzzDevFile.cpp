// The device file reader on arbitrary bytes, through the device template's
// format. What it reads, unless it refuses the bytes as no device file, is
// written and read again: the second reading must give the same device (ID,
// address, every cell), and writing that gives the same bytes.

#include "FuzzHub.h"

#include "core/CArchive.h"
#include "core/CDevDoc.h"
#include "files/CDevFileFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

using namespace korvex;

namespace {

using SCellState = std::tuple<std::int32_t, std::string, std::string, std::uint16_t, std::int32_t,
                              std::uint16_t, std::uint16_t, std::uint16_t, bool>;

std::vector<SCellState> State(const CDevDoc& doc)
{
    std::lock_guard lock(doc.Lock());
    std::vector<SCellState> cells;
    for (const auto& item : doc.Items())
        cells.emplace_back(item->GetType(), item->GetId(), item->GetDesc(), item->GetAddr(),
                           item->GetAccess(), item->GetMin(), item->GetMax(), item->GetValue(),
                           item->GetRow() != 0);
    return cells;
}

std::string Store(CDevDoc& doc)
{
    CArchive ar(CArchive::Mode::Store, "/fuzz/dev.kvxd");
    if (!doc.Serialize(ar))
        std::abort();
    return ar.GetBytes();
}

bool Load(CDevDoc& doc, std::string bytes)
{
    CArchive ar(CArchive::Mode::Load, "/fuzz/dev.kvxd", std::move(bytes));
    return doc.Serialize(ar);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::SFuzzHub hub;
    // Numbers written in hexadecimal for inputs of odd length.
    hub.app.GetSettings().EDITHEX = size % 2;
    CDevFileFormat format(hub.app.GetLines(), hub.app.GetSettings());

    CDevDoc first(hub.app);
    first.SetFileFormat(&format);
    // Bytes that are no device file are refused; what is written never is.
    if (!Load(first, std::string(reinterpret_cast<const char*>(data), size))) {
        hub.poster.Pump();
        return 0;
    }
    const std::string written = Store(first);

    CDevDoc second(hub.app);
    second.SetFileFormat(&format);
    if (!Load(second, written))
        std::abort();
    if (second.GetDevId() != first.GetDevId() || second.GetDevAddr() != first.GetDevAddr() ||
        State(second) != State(first))
        std::abort();
    if (Store(second) != written)
        std::abort();
    hub.poster.Pump();
    return 0;
}
