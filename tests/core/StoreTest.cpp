#include "core/CDevDoc.h"
#include "support/CoreHarness.h"

#include <gtest/gtest.h>

#include <memory>

namespace korvex::test {
namespace {

class CFakeGraph final : public ICellGraph
{
public:
    void RequestSample() override { ++samples; }
    void Close() override { ++closed; }
    int samples{ 0 };
    int closed{ 0 };
};

class CFakeView final : public IDevView
{
public:
    void OnValueChanged(CDevItem*) override { ++changed; }
    void OnItemShown(CDevItem*) override { ++shown; }
    void OnItemRemoved(CDevItem*) override { ++removed; }
    int changed{ 0 };
    int shown{ 0 };
    int removed{ 0 };
};

TEST(Store, LookupsTakeTheFirstMatch)
{
    CoreHarness h;
    auto first = std::make_unique<CDevDoc>(h.app);
    first->SetDevId("Pump");
    first->SetDevAddr(5);
    CDevDoc second(h.app);
    second.SetDevId("pump");
    second.SetDevAddr(5);
    EXPECT_EQ(h.app.FindDeviceByAddr(5), first.get());
    EXPECT_EQ(h.app.FindDeviceById("pump"), &second);
    EXPECT_EQ(h.app.FindDeviceById("PUMP"), nullptr);
    EXPECT_EQ(h.app.FindDeviceByAddr(6), nullptr);

    first->AddItem(HREG, "A", "one", 10, ACCESS_RW, 0, 100, 1);
    first->AddItem(HREG, "a", "two", 10, ACCESS_RW, 0, 100, 2);
    EXPECT_EQ(first->FindItem(HREG, 10)->GetDesc(), "one");
    EXPECT_EQ(first->FindItemById(HREG, "a")->GetDesc(), "two");
    EXPECT_EQ(first->FindItemById(IREG, "a"), nullptr);
    EXPECT_EQ(first->FindItem(IREG, 10), nullptr);

    // Destroying a device removes it from the list: the other one answers.
    first.reset();
    EXPECT_EQ(h.app.FindDeviceByAddr(5), &second);
    EXPECT_EQ(h.app.GetDevices().size(), 1u);
}

TEST(Store, ShownCellsAreNormalised)
{
    CoreHarness h;
    CDevDoc dev(h.app);
    dev.AddItem(COIL, "C", "c", 1, ACCESS_W, 3, 9, 5);
    dev.AddItem(DINP, "D", "d", 1, ACCESS_RW, 0, 7, 0);
    dev.AddItem(HREG, "H", "h", 1, ACCESS_W, 10, 20, 50);
    dev.AddItem(IREG, "I", "i", 1, ACCESS_RW, 10, 20, 2);
    dev.AddItem(COIL, "Z", "zero bounds", 2, ACCESS_RW, 0, 0, 7);

    const CDevItem* coil = dev.FindItem(COIL, 1);
    EXPECT_EQ(coil->GetMin(), 0);
    EXPECT_EQ(coil->GetMax(), 1);
    EXPECT_EQ(coil->GetValue(), 1);
    EXPECT_EQ(coil->GetAccess(), ACCESS_W);
    EXPECT_EQ(dev.FindItem(DINP, 1)->GetAccess(), ACCESS_R);
    EXPECT_EQ(dev.FindItem(HREG, 1)->GetValue(), 20);
    EXPECT_EQ(dev.FindItem(HREG, 1)->GetAccess(), ACCESS_W);
    EXPECT_EQ(dev.FindItem(IREG, 1)->GetValue(), 10);
    EXPECT_EQ(dev.FindItem(IREG, 1)->GetAccess(), ACCESS_R);

    // A cell whose low bound is not below its high bound exists for the
    // master and scripts but has no row, and is left as it was.
    const CDevItem* zero = dev.FindItem(COIL, 2);
    ASSERT_NE(zero, nullptr);
    EXPECT_EQ(zero->GetValue(), 7);
    EXPECT_EQ(dev.FindRow(COIL, 2), 0u);
    EXPECT_EQ(dev.FindRowById(COIL, "Z"), 0u);
    EXPECT_NE(dev.FindRow(COIL, 1), 0u);
    EXPECT_NE(dev.FindRowById(HREG, "H"), dev.FindRowById(IREG, "I"));
    EXPECT_TRUE(dev.IsModified());
}

TEST(Store, SetValueStoresAsGivenAndNotifies)
{
    CoreHarness h;
    CDevDoc dev(h.app);
    CFakeView view;
    dev.SetDevView(&view);
    dev.AddItem(COIL, "C", "c", 1, ACCESS_RW, 0, 1, 0);
    EXPECT_EQ(view.shown, 1);
    dev.SetModifiedFlag(false);
    CDevItem* coil = dev.FindItem(COIL, 1);
    CFakeGraph graph;
    coil->SetGraphWnd(&graph);

    coil->SetValue(5);
    EXPECT_EQ(coil->GetValue(), 5);
    EXPECT_EQ(view.changed, 1);
    EXPECT_EQ(graph.samples, 1);
    EXPECT_FALSE(dev.IsModified());
    // Showing the cell again (an edit) brings it back to 1.
    dev.ShowItem(coil);
    EXPECT_EQ(coil->GetValue(), 1);

    // A closed graph gets nothing.
    coil->SetGraphWnd(nullptr);
    coil->SetValue(0);
    EXPECT_EQ(graph.samples, 1);

    dev.RemoveItem(coil);
    EXPECT_EQ(view.removed, 1);
    EXPECT_EQ(dev.FindItem(COIL, 1), nullptr);
    EXPECT_TRUE(dev.IsModified());
    dev.SetDevView(nullptr);
}

TEST(Store, RemovingADeviceClosesItsGraphs)
{
    CoreHarness h;
    CFakeGraph graph;
    {
        CDevDoc dev(h.app);
        dev.AddItem(HREG, "H", "h", 1, ACCESS_RW, 0, 10, 0);
        dev.FindItem(HREG, 1)->SetGraphWnd(&graph);
    }
    EXPECT_EQ(graph.closed, 1);
    EXPECT_TRUE(h.app.GetDevices().empty());
}

} // namespace
} // namespace korvex::test
