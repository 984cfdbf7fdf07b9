#include "core/CDevDoc.h"
#include "support/CoreHarness.h"

#include <gtest/gtest.h>

#include <thread>

namespace korvex::test {
namespace {

TEST(ProtoFeed, QueuedLinesFollowTheNextLine)
{
    CoreHarness h;
    ILineSink& feed = h.app.GetLines();
    feed.AddLineQueued(LK_RESPONSE, "D", 1, "answer");
    feed.AddLineQueued(LK_ERROR, "D", 1, "second");
    h.poster.Pump();
    EXPECT_TRUE(h.lines.empty());
    feed.AddLine(LK_REQUEST, "D", 1, "request");
    EXPECT_TRUE(h.lines.empty()); // handed over only when the UI thread runs
    h.poster.Pump();
    ASSERT_EQ(h.lines.size(), 3u);
    EXPECT_EQ(h.lines[0].szText, "request");
    EXPECT_EQ(h.lines[1].szText, "answer");
    EXPECT_EQ(h.lines[2].szText, "second");
    feed.AddLine(LK_WARNING, "", -1, "alone");
    h.poster.Pump();
    EXPECT_EQ(h.lines.size(), 4u);
}

TEST(ProtoFeed, LinesArriveInBatchesInTheirOrder)
{
    CoreHarness h;
    std::vector<std::size_t> batches;
    h.app.SetLineSink([&](const CProtoFeed::Batch& batch) {
        batches.push_back(batch.size());
        h.lines.insert(h.lines.end(), batch.begin(), batch.end());
    });
    // Two producers; every line between two turns of the loop is one batch.
    std::thread other([&] {
        for (int i = 0; i < 500; ++i)
            h.app.GetLines().AddLine(LK_WARNING, "", -1, "b" + std::to_string(i));
    });
    for (int i = 0; i < 500; ++i)
        h.app.GetLines().AddLine(LK_WARNING, "", -1, "a" + std::to_string(i));
    other.join();
    EXPECT_EQ(h.poster.Pump(), 1);
    ASSERT_EQ(batches, std::vector<std::size_t>{ 1000 });
    int a = 0, b = 0;
    for (const auto& line : h.lines) {
        int& next = line.szText[0] == 'a' ? a : b;
        EXPECT_EQ(line.szText.substr(1), std::to_string(next++));
    }
    EXPECT_EQ(a + b, 1000);
    h.app.GetLines().AddLine(LK_WARNING, "", -1, "later");
    h.poster.Pump();
    EXPECT_EQ(batches.size(), 2u);
}

TEST(ProtoFeed, RecordsAreCutAndKeptOnOneRow)
{
    const auto rec =
        CProtoFeed::MakeRecord(LK_WARNING, std::string(100, 'd'), -1, "line one\r\nline two\n");
    EXPECT_EQ(rec.szText, "line one  line two ");
    EXPECT_EQ(rec.szDevice.size(), 79u);

    // 600 Cyrillic letters: 511 characters are kept, no sequence is split.
    std::string longText;
    for (int i = 0; i < 600; ++i)
        longText += "ж";
    const auto cut = CProtoFeed::MakeRecord(LK_WARNING, "Насос", 3, longText);
    EXPECT_EQ(cut.szText.size(), 511u * 2);
    EXPECT_EQ(cut.szDevice, "Насос");
}

TEST(ProtoFeed, ReaderThreadErrorArrivesAsWarning)
{
    CoreHarness h;
    std::thread reader([&] { h.app.OnError("Невозможно открыть последовательный порт 'ttyX'."); });
    reader.join();
    h.poster.Pump();
    ASSERT_EQ(h.lines.size(), 1u);
    EXPECT_EQ(h.lines[0].nKind, LK_WARNING);
    EXPECT_EQ(h.lines[0].szDevice, "");
    EXPECT_EQ(h.lines[0].nAddress, -1);
}

TEST(ProtoFeed, AnsweredRequestGivesRequestThenAnswer)
{
    CoreHarness h;
    CDevDoc dev(h.app);
    dev.SetDevId("D");
    dev.SetDevAddr(2);
    dev.AddItem(HREG, "R", "r", 0, ACCESS_RW, 0, 65535, 0);
    h.Receive(WithCrc(Hex("02 03 00 00 00 01")));
    ASSERT_EQ(h.lines.size(), 2u);
    EXPECT_EQ(h.lines[0].nKind, LK_REQUEST);
    EXPECT_EQ(h.lines[1].nKind, LK_RESPONSE);
    EXPECT_EQ(h.lines[1].szText,
              "(0x03) Read Holding Registers, Количество=1, Регистры={ 0x0000 }");
}

} // namespace
} // namespace korvex::test
