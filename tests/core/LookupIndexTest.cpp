#include "core/CDevDoc.h"
#include "support/CoreHarness.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace korvex::test {
namespace {

// What a walk of the list from its start finds: the answer the indexes must
// give.
const CDevItem* ScanByAddr(const CDevDoc& dev, std::int32_t type, std::uint16_t addr)
{
    for (const auto& item : dev.Items())
        if (item->GetType() == type && item->GetAddr() == addr)
            return item.get();
    return nullptr;
}

const CDevItem* ScanById(const CDevDoc& dev, std::int32_t type, const std::string& id)
{
    for (const auto& item : dev.Items())
        if (item->GetType() == type && item->GetId() == id)
            return item.get();
    return nullptr;
}

// Every key of a few types, addresses and IDs, so that duplicates are common.
void ExpectLookupsMatchAScan(const CDevDoc& dev)
{
    const std::string ids[] = { "A", "a", "B", "C1", "" };
    const std::int32_t types[] = { COIL, DINP, HREG, IREG, 7 };
    const std::uint16_t addrs[] = { 0, 1, 2, 3, 65535 };
    for (std::int32_t type : types) {
        for (std::uint16_t addr : addrs) {
            const CDevItem* want = ScanByAddr(dev, type, addr);
            ASSERT_EQ(dev.FindItem(type, addr), want) << type << " " << addr;
            ASSERT_EQ(dev.FindRow(type, addr), want != nullptr ? want->GetRow() : 0u);
        }
        for (const std::string& id : ids) {
            const CDevItem* want = ScanById(dev, type, id);
            ASSERT_EQ(dev.FindItemById(type, id), want) << type << " " << id;
            ASSERT_EQ(dev.FindRowById(type, id), want != nullptr ? want->GetRow() : 0u);
        }
    }
}

// Random adds, edits that change the keys, and removals, each followed by
// every lookup against a scan.
TEST(LookupIndex, CellLookupsAnswerAsAScanThroughAddsEditsAndRemovals)
{
    CoreHarness h;
    CDevDoc dev(h.app);
    std::mt19937 random(14);
    const auto pick = [&random](int n) { return static_cast<int>(random() % n); };
    const std::string ids[] = { "A", "a", "B", "C1", "" };
    const std::int32_t types[] = { COIL, DINP, HREG, IREG, 7 };
    const auto fields = [&] {
        // Bounds 5..5 leave a cell without a row.
        const bool noRow = pick(4) == 0;
        return SCellFields{ types[pick(5)],
                            ids[pick(5)],
                            "d",
                            static_cast<std::uint16_t>(pick(4)),
                            ACCESS_RW,
                            static_cast<std::uint16_t>(noRow ? 5 : 0),
                            5,
                            static_cast<std::uint16_t>(pick(6)) };
    };

    for (int step = 0; step < 3000; ++step) {
        const int op = pick(10);
        const std::size_t count = dev.GetItemCount();
        if (op < 5 || count == 0) {
            dev.AddItem(fields());
        } else if (op < 8) {
            dev.EditItem(dev.Items()[static_cast<std::size_t>(pick(static_cast<int>(count)))].get(),
                         fields());
        } else {
            dev.RemoveItem(
                dev.Items()[static_cast<std::size_t>(pick(static_cast<int>(count)))].get());
        }
        ExpectLookupsMatchAScan(dev);
        if (testing::Test::HasFatalFailure())
            FAIL() << "after step " << step;
    }
    // Enough cells stay that most keys are shared by several.
    EXPECT_GT(dev.GetItemCount(), 200u);
}

TEST(LookupIndex, AnEditMovesACellBetweenKeysAndTheEarlierDuplicateAnswersAgain)
{
    CoreHarness h;
    CDevDoc dev(h.app);
    CDevItem* first = dev.AddItem(HREG, "X", "first", 10, ACCESS_RW, 0, 9, 1);
    CDevItem* second = dev.AddItem(HREG, "X", "second", 10, ACCESS_RW, 0, 9, 2);
    EXPECT_EQ(dev.FindItem(HREG, 10), first);

    // The first moves away: the second answers; it moves back and, being
    // earlier in the list, answers again.
    dev.EditItem(first, { HREG, "Y", "first", 11, ACCESS_RW, 0, 9, 1 });
    EXPECT_EQ(dev.FindItem(HREG, 10), second);
    EXPECT_EQ(dev.FindItemById(HREG, "X"), second);
    EXPECT_EQ(dev.FindItemById(HREG, "Y"), first);
    dev.EditItem(first, { HREG, "X", "first", 10, ACCESS_RW, 0, 9, 1 });
    EXPECT_EQ(dev.FindItem(HREG, 10), first);
    EXPECT_EQ(dev.FindItemById(HREG, "X"), first);
    EXPECT_EQ(dev.FindItem(HREG, 11), nullptr);

    // A change of type alone moves the cell too.
    dev.EditItem(second, { IREG, "X", "second", 10, ACCESS_R, 0, 9, 2 });
    EXPECT_EQ(dev.FindItem(IREG, 10), second);
    EXPECT_EQ(dev.FindItemById(IREG, "X"), second);
    dev.RemoveItem(first);
    EXPECT_EQ(dev.FindItem(HREG, 10), nullptr);
    EXPECT_EQ(dev.FindItemById(HREG, "X"), nullptr);
}

TEST(LookupIndex, DeviceLookupsFollowIdsAndAddressesInOpeningOrder)
{
    CoreHarness h;
    auto a = std::make_unique<CDevDoc>(h.app);
    auto b = std::make_unique<CDevDoc>(h.app);
    auto c = std::make_unique<CDevDoc>(h.app);
    a->SetDevId("P");
    a->SetDevAddr(1);
    b->SetDevId("Q");
    b->SetDevAddr(2);
    c->SetDevId("P");
    c->SetDevAddr(2);
    EXPECT_EQ(h.app.FindDeviceById("P"), a.get());
    EXPECT_EQ(h.app.FindDeviceByAddr(2), b.get());

    // The later device takes the key only once the earlier one leaves it;
    // an earlier device that comes to a key answers at once.
    b->SetDevAddr(3);
    EXPECT_EQ(h.app.FindDeviceByAddr(2), c.get());
    b->ChangeIdAndAddress("P", 2);
    EXPECT_EQ(h.app.FindDeviceByAddr(2), b.get());
    EXPECT_EQ(h.app.FindDeviceById("P"), a.get());
    a.reset();
    EXPECT_EQ(h.app.FindDeviceById("P"), b.get());
    EXPECT_EQ(h.app.FindDeviceByAddr(1), nullptr);
    EXPECT_EQ(h.app.FindDeviceById("Q"), nullptr);
    b.reset();
    EXPECT_EQ(h.app.FindDeviceById("P"), c.get());
    EXPECT_EQ(h.app.FindDeviceByAddr(2), c.get());
    // A new device is found by its empty ID and address 0 until it has its own.
    CDevDoc d(h.app);
    EXPECT_EQ(h.app.FindDeviceById(""), &d);
    EXPECT_EQ(h.app.FindDeviceByAddr(0), &d);
}

} // namespace
} // namespace korvex::test
