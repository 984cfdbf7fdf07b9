// The receive path on arbitrary bytes: the input is cut into blocks that go
// through the receive hook and the drain of a hub with two devices, with the
// emulator running or idle. Every answer must be a whole frame with its CRC.
// Each input runs twice: with the emulator's own answers and with answers by
// the standard (MBSTRICT), whose framing and handlers differ.
//
// Input: a control byte, then the bytes of its block, again and again. A
// control byte of 0xF0 and above toggles the running state (OnStart/OnStop)
// and starts no block; else (control & 0x7F) + 1 bytes follow, and the drain
// runs after them when bit 7 is clear (when set, the next block joins them in
// the receive buffer first).

#include "FuzzHub.h"

#include "core/CDevDoc.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>

using namespace korvex;

namespace {

// Cells of every kind at 0..19 and at the top of the address range, a few
// without a row, and a pair of duplicates.
std::unique_ptr<CDevDoc> MakeDevice(CKorvexApp& app, const char* id, std::uint8_t addr)
{
    auto dev = std::make_unique<CDevDoc>(app);
    dev->SetDevId(id);
    dev->SetDevAddr(addr);
    for (std::int32_t type : { COIL, DINP, HREG, IREG }) {
        for (std::uint16_t a = 0; a < 20; ++a) {
            const std::uint16_t high = a % 7 == 6 ? 0 : 65535; // bounds 0..0: no row
            dev->AddItem(type, "C" + std::to_string(a), "cell", a, ACCESS_RW, 0, high, a);
        }
        dev->AddItem(type, "TOP", "top", 65535, ACCESS_RW, 10, 20, 15);
        dev->AddItem(type, "DUP", "duplicate", 3, ACCESS_RW, 0, 100, 99);
    }
    return dev;
}

void Run(const std::uint8_t* data, std::size_t size, bool strict)
{
    fuzz::SFuzzHub hub;
    hub.tx.m_bCheckFrames = true;
    hub.app.GetSettings().MBSTRICT = strict ? 1 : 0;
    const auto first = MakeDevice(hub.app, "D1", 1);
    const auto second = MakeDevice(hub.app, "D2", 2);

    std::size_t pos = 0;
    while (pos < size) {
        const std::uint8_t control = data[pos++];
        if (control >= 0xF0) {
            if (hub.app.IsRunning())
                hub.app.OnStop();
            else
                hub.app.OnStart();
            hub.poster.Pump();
            continue;
        }
        const std::size_t length = std::min<std::size_t>((control & 0x7F) + 1u, size - pos);
        hub.app.OnReceive(data + pos, static_cast<std::uint32_t>(length));
        pos += length;
        if ((control & 0x80) == 0)
            hub.poster.Pump();
    }
    hub.poster.Pump();
    hub.app.OnStop();
    hub.poster.Pump();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Run(data, size, false);
    Run(data, size, true);
    return 0;
}
