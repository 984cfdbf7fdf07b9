#include "core/CountersJson.h"

#include "core/CCounters.h"
#include "core/Text.h"

namespace korvex {
namespace {

// A JSON string: quotes, backslashes and control characters escaped, the
// rest (UTF-8) as it is.
std::string Quoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += { '\\', c };
        else if (static_cast<unsigned char>(c) < 0x20)
            out += StrFormat("\\u%04x", static_cast<unsigned>(c));
        else
            out += c;
    }
    return out + "\"";
}

std::string Field(const char* name, std::uint64_t value)
{
    return StrFormat("\"%s\": %llu", name, static_cast<unsigned long long>(value));
}

std::string DeviceFields(const SDevCounterValues& v)
{
    std::string exceptions;
    for (const auto& [code, count] : v.exceptions)
        exceptions += (exceptions.empty() ? "" : ", ") +
                      StrFormat("\"%u\": %llu", static_cast<unsigned>(code),
                                static_cast<unsigned long long>(count));
    return Field("requests", v.nRequests) + ", " + Field("answers", v.nAnswers) + ", " +
           Field("no_answer", v.nNoAnswer) + ", \"exceptions\": {" + exceptions + "}, " +
           Field("bytes_in", v.nBytesIn) + ", " + Field("bytes_out", v.nBytesOut) + ", " +
           Field("rate", v.nRate);
}

std::string TransportObject(const STransportCounterValues& t)
{
    return "{\"name\": " + Quoted(t.strName) + ", " + Field("frames", t.nFrames) + ", " +
           Field("other_units", t.nOtherUnits) + ", " +
           Field("unrecognized_bytes", t.nUnrecognizedBytes) + ", " +
           Field("bad_frames", t.nBadFrames) + ", " +
           Field("crc_fault_answers", t.nCrcFaultAnswers) + ", " +
           Field("connections", t.nConnections) + "}";
}

} // namespace

std::string FormatCountersJson(const SCountersSnapshot& snapshot)
{
    std::string json = "{\n  \"version\": 1,\n  \"total\": {" + DeviceFields(snapshot.total) +
                       ", \"transports\": [";
    for (std::size_t i = 0; i < snapshot.transports.size(); ++i)
        json +=
            std::string(i == 0 ? "\n    " : ",\n    ") + TransportObject(snapshot.transports[i]);
    json += "]},\n  \"devices\": [";
    for (std::size_t i = 0; i < snapshot.devices.size(); ++i) {
        const SDeviceCounters& d = snapshot.devices[i];
        json += std::string(i == 0 ? "\n    " : ",\n    ") + "{\"id\": " + Quoted(d.strId) + ", " +
                Field("address", d.byAddr) + ", " + DeviceFields(d.values) + "}";
    }
    json += "]\n}\n";
    return json;
}

} // namespace korvex
