// A device's request rate by the second, and the counters' JSON text.

#include "core/CCounters.h"
#include "core/CountersJson.h"

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

TEST(Counters, TheRateIsTheLastWholeSecondsRequests)
{
    CDevCounters c;
    for (int i = 0; i < 3; ++i)
        c.CountAnswer(8, 7, 0, 100);
    c.CountNoAnswer(8, 101);
    EXPECT_EQ(c.Read(100).nRate, 0u) << "second 100 still counts";
    EXPECT_EQ(c.Read(101).nRate, 3u);
    EXPECT_EQ(c.Read(102).nRate, 1u);
    EXPECT_EQ(c.Read(103).nRate, 0u) << "nothing in 102";
    // Second 102 takes the slot of 100 and starts its count again.
    c.CountAnswer(8, 5, 4, 102);
    EXPECT_EQ(c.Read(103).nRate, 1u);
    const SDevCounterValues v = c.Read(103);
    EXPECT_EQ(v.nRequests, 5u);
    EXPECT_EQ(v.nAnswers, 4u);
    EXPECT_EQ(v.nNoAnswer, 1u);
    EXPECT_EQ(v.exceptions, (std::map<std::uint8_t, std::uint64_t>{ { 4, 1 } }));
    EXPECT_EQ(v.nBytesOut, 3u * 7 + 5);
    c.Clear(7, 2);
    EXPECT_EQ(c.Read(103).nRequests, 0u);
    EXPECT_EQ(c.Read(103).nRate, 0u);
    EXPECT_EQ(c.GetBusMessagesBase(), 7u);
}

TEST(Counters, JsonEscapesTheIdAndListsExceptionsByCode)
{
    SCountersSnapshot s;
    SDevCounterValues v;
    v.nRequests = 3;
    v.nAnswers = 2;
    v.nNoAnswer = 1;
    v.exceptions = { { 2, 1 }, { 11, 1 } };
    s.devices.push_back({ "Насос \"1\"\\\t", 247, v });
    s.total = v;
    STransportCounterValues line;
    line.strName = "line";
    line.nFrames = 3;
    s.transports.push_back(line);
    EXPECT_EQ(FormatCountersJson(s),
              "{\n  \"version\": 1,\n"
              "  \"total\": {\"requests\": 3, \"answers\": 2, \"no_answer\": 1, \"exceptions\": "
              "{\"2\": 1, \"11\": 1}, \"bytes_in\": 0, \"bytes_out\": 0, \"rate\": 0, "
              "\"transports\": [\n"
              "    {\"name\": \"line\", \"frames\": 3, \"other_units\": 0, \"unrecognized_bytes\": "
              "0, \"bad_frames\": 0, \"crc_fault_answers\": 0, \"connections\": 0}]},\n"
              "  \"devices\": [\n"
              "    {\"id\": \"Насос \\\"1\\\"\\\\\\u0009\", \"address\": 247, \"requests\": 3, "
              "\"answers\": 2, \"no_answer\": 1, \"exceptions\": {\"2\": 1, \"11\": 1}, "
              "\"bytes_in\": 0, \"bytes_out\": 0, \"rate\": 0}]\n}\n");
}

} // namespace
} // namespace korvex::test
