// Modbus TCP streams on arbitrary bytes: the input is cut into blocks that a
// connection's framer receives, as a socket would hand them over, for a hub
// with two devices. Every answer must be a whole ADU: protocol 0, its length
// field that of its PDU, a PDU of at least two bytes. A stream the framer
// refuses ends that connection; the next bytes are a new one. Each input runs
// twice: with the emulator's own answers and with answers by the standard.
//
// Input: a control byte, then (control & 0x7F) + 1 bytes of its block, again
// and again.

#include "FuzzHub.h"

#include "core/CDevDoc.h"
#include "core/CMbapFramer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

using namespace korvex;

namespace {

std::unique_ptr<CDevDoc> MakeDevice(CKorvexApp& app, const char* id, std::uint8_t addr)
{
    auto dev = std::make_unique<CDevDoc>(app);
    dev->SetDevId(id);
    dev->SetDevAddr(addr);
    for (std::int32_t type : { COIL, DINP, HREG, IREG })
        for (std::uint16_t a = 0; a < 20; ++a)
            dev->AddItem(type, "C" + std::to_string(a), "cell", a, ACCESS_RW, 0, 65535, a);
    return dev;
}

void CheckAdu(const std::vector<std::uint8_t>& adu)
{
    if (adu.size() < CMbapFramer::kHeader + 1 || adu[2] != 0 || adu[3] != 0 ||
        static_cast<std::size_t>((adu[4] << 8) | adu[5]) != adu.size() - 6)
        std::abort();
}

void Run(const std::uint8_t* data, std::size_t size, bool strict)
{
    fuzz::SFuzzHub hub;
    hub.app.GetSettings().MBSTRICT = strict ? 1 : 0;
    const auto first = MakeDevice(hub.app, "D1", 1);
    const auto second = MakeDevice(hub.app, "D2", 2);
    hub.app.OnStart();

    std::uint64_t answers = 0;
    const CMbapFramer::SOutput out{
        [&answers](std::vector<std::uint8_t> adu) {
            CheckAdu(adu);
            ++answers;
        },
        [&answers](std::vector<std::uint8_t> adu, std::uint32_t, std::function<void()> sent) {
            CheckAdu(adu);
            ++answers;
            if (sent)
                sent();
        },
    };
    auto framer = std::make_unique<CMbapFramer>(hub.app.GetPduHandler(), hub.app.GetDeviceLookup(),
                                                hub.app.GetLines(), hub.app.GetSettings());
    std::size_t pos = 0;
    while (pos < size) {
        const std::uint8_t control = data[pos++];
        const std::size_t length = std::min<std::size_t>((control & 0x7F) + 1u, size - pos);
        std::string reason;
        if (!framer->Receive(data + pos, length, out, reason)) {
            if (reason.empty())
                std::abort();
            framer =
                std::make_unique<CMbapFramer>(hub.app.GetPduHandler(), hub.app.GetDeviceLookup(),
                                              hub.app.GetLines(), hub.app.GetSettings());
        }
        pos += length;
        hub.poster.Pump();
    }
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
