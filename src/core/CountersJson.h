#pragma once

#include <string>

namespace korvex {

struct SCountersSnapshot;

// The counters as JSON, for a CI job to read (korvex-cli run --stats):
//
//   { "version": 1,
//     "total": { DEVICE FIELDS, "transports": [ TRANSPORT, ... ] },
//     "devices": [ { "id": "PUMP1", "address": 1, DEVICE FIELDS }, ... ] }
//
// DEVICE FIELDS are "requests", "answers", "no_answer", "exceptions" (an
// object from the exception code in decimal to its count, only codes that
// occurred), "bytes_in", "bytes_out" and "rate" (requests in the last whole
// second); the total's are the devices' summed. A TRANSPORT has "name"
// ("line" for the serial or virtual port, else the listener as the N lines
// name it), "frames", "other_units", "unrecognized_bytes", "bad_frames",
// "crc_fault_answers" and "connections". Numbers are whole and not negative;
// texts are UTF-8. The text ends with a line feed.
std::string FormatCountersJson(const SCountersSnapshot& snapshot);

} // namespace korvex
