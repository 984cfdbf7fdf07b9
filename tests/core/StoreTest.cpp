#include "core/CDevDoc.h"
#include "core/IDevObserver.h"
#include "core/IDocListener.h"
#include "support/CoreHarness.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

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

class CFakeView final : public IDevObserver
{
public:
    void OnValuesChanged(const std::vector<CDevItem*>& items) override
    {
        ++announcements;
        changed.insert(changed.end(), items.begin(), items.end());
    }
    void OnItemShown(CDevItem*) override { ++shown; }
    void OnItemRemoved(CDevItem*) override { ++removed; }
    int announcements{ 0 };
    std::vector<CDevItem*> changed;
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

TEST(Store, SetValueStoresAsGivenAndIsAnnouncedOnTheUiThread)
{
    CoreHarness h;
    CDevDoc dev(h.app);
    CFakeView view;
    dev.AddObserver(&view);
    CDevItem* coil = dev.AddItem(COIL, "C", "c", 1, ACCESS_RW, 0, 1, 0);
    CDevItem* reg = dev.AddItem(HREG, "H", "h", 1, ACCESS_RW, 0, 9, 0);
    EXPECT_EQ(view.shown, 2);
    dev.SetModifiedFlag(false);
    CFakeGraph graph;
    coil->SetGraphWnd(&graph);

    coil->SetValue(5);
    reg->SetValue(3);
    coil->SetValue(6);
    EXPECT_EQ(coil->GetValue(), 6);
    // Nothing is told on the setter's thread; one task tells both cells, once.
    EXPECT_TRUE(view.changed.empty());
    h.poster.Pump();
    EXPECT_EQ(view.announcements, 1);
    EXPECT_EQ(view.changed, (std::vector<CDevItem*>{ coil, reg }));
    EXPECT_EQ(graph.samples, 1);
    EXPECT_FALSE(dev.IsModified());
    // Showing the cell again (an edit) brings it back to 1.
    dev.ShowItem(coil);
    EXPECT_EQ(coil->GetValue(), 1);

    // A closed graph gets nothing; a cell removed before the announcement
    // is not announced.
    coil->SetGraphWnd(nullptr);
    coil->SetValue(0);
    reg->SetValue(4);
    dev.RemoveItem(coil);
    h.poster.Pump();
    EXPECT_EQ(graph.samples, 1);
    EXPECT_EQ(view.removed, 1);
    EXPECT_EQ(view.changed.back(), reg);
    EXPECT_EQ(view.changed.size(), 3u);
    EXPECT_EQ(dev.FindItem(COIL, 1), nullptr);
    EXPECT_TRUE(dev.IsModified());
    dev.RemoveObserver(&view);

    // A device that goes before the announcement takes its marks with it.
    auto gone = std::make_unique<CDevDoc>(h.app);
    gone->AddItem(HREG, "G", "g", 1, ACCESS_RW, 0, 9, 0)->SetValue(7);
    gone.reset();
    h.poster.Pump();
}

TEST(Store, AValueSetOftenFromAnotherThreadIsAnnouncedRarelyWithItsLastValue)
{
    CoreHarness h;
    CDevDoc dev(h.app);
    CFakeView view;
    dev.AddObserver(&view);
    CDevItem* reg = dev.AddItem(HREG, "H", "h", 1, ACCESS_RW, 0, 65535, 0);
    std::thread script([reg] {
        for (unsigned i = 1; i <= 100000; ++i)
            reg->SetValue(static_cast<std::uint16_t>(i));
    });
    // The user-interface thread turns its loop meanwhile.
    while (view.changed.empty() || reg->GetValue() != static_cast<std::uint16_t>(100000))
        h.poster.Pump();
    script.join();
    h.poster.Pump();
    // Coalesced: far fewer announcements than values set.
    EXPECT_GT(view.announcements, 0);
    EXPECT_LT(view.announcements, 50000);
    EXPECT_EQ(view.changed.back(), reg);
    EXPECT_EQ(reg->GetValue(), static_cast<std::uint16_t>(100000 & 0xFFFF));
    dev.RemoveObserver(&view);
}

// Records what the document listeners hear.
class CDocLog final : public IDocListener
{
public:
    void OnDeviceChanged(CDevDoc&) override { events.push_back("device"); }
    void OnModifiedChanged(CDocument& doc) override
    {
        events.push_back(doc.IsModified() ? "modified" : "saved");
    }
    std::vector<std::string> events;
};

TEST(Store, CellEditingAndTheDialogsMessagesInTheirOrder)
{
    CoreHarness h;
    CDevDoc dev(h.app);
    dev.AddItem(COIL, "V1", "c", 1, ACCESS_RW, 0, 1, 0);
    dev.AddItem(HREG, "R", "r", 7, ACCESS_RW, 0, 0, 0); // no row: not seen
    const SCellFields ok{ HREG, " H1 ", "", 2, ACCESS_RW, 0, 100, 50 };
    struct
    {
        SCellFields f;
        bool isNew;
        CellEditError error;
    } const cases[] = {
        { ok, true, CellEditError::None },
        { { HREG, "", "", 2, ACCESS_RW, 100, 100, 200 }, true, CellEditError::Bounds },
        { { HREG, "", "", 2, ACCESS_RW, 0, 100, 200 }, true, CellEditError::ValueRange },
        { { HREG, "  ", "", 2, ACCESS_RW, 0, 100, 5 }, true, CellEditError::NoId },
        { { COIL, " V1", "", 3, ACCESS_RW, 0, 1, 1 }, true, CellEditError::DuplicateId },
        { { COIL, "V2", "", 1, ACCESS_RW, 0, 1, 1 }, true, CellEditError::DuplicateAddr },
        { { COIL, "V1", "", 1, ACCESS_RW, 0, 1, 1 }, false, CellEditError::None },
        { { HREG, "R", "", 7, ACCESS_RW, 0, 1, 1 }, true, CellEditError::None },
        { { IREG, "V1", "", 1, ACCESS_R, 0, 1, 1 }, true, CellEditError::None },
    };
    for (const auto& c : cases)
        EXPECT_EQ(dev.ValidateItem(c.f, c.isNew), c.error) << c.f.strId;
    EXPECT_STREQ(CDevDoc::GetCellEditMessage(CellEditError::Bounds),
                 "Неверно заданы границы изменения значения!");
    EXPECT_STREQ(CDevDoc::GetCellEditMessage(CellEditError::DuplicateAddr),
                 "Ячейка данного типа и с тем же адресом уже имеется!");
    EXPECT_EQ(CDevDoc::DefaultDescription(" H1 "), "Ячейка H1");

    // An edit writes the fields, sets the value, normalises, refreshes the row
    // and marks the device modified; a delete closes the graph first.
    CFakeView view;
    dev.AddObserver(&view);
    CDocLog docs;
    h.app.AddDocListener(&docs);
    dev.SetModifiedFlag(false);
    CDevItem* coil = dev.FindItem(COIL, 1);
    dev.EditItem(coil, { COIL, "V1", "клапан", 1, ACCESS_R, 5, 9, 1 });
    EXPECT_EQ(coil->GetDesc(), "клапан");
    EXPECT_EQ(coil->GetAccess(), ACCESS_R);
    EXPECT_EQ(coil->GetMax(), 1); // a coil's bounds are 0..1
    EXPECT_EQ(view.shown, 1);
    EXPECT_TRUE(dev.IsModified());
    CFakeGraph graph;
    coil->SetGraphWnd(&graph);
    dev.DeleteItem(coil);
    EXPECT_EQ(graph.closed, 1);
    EXPECT_EQ(view.removed, 1);

    dev.SetModifiedFlag(false);
    h.poster.Pump();
    docs.events.clear();
    dev.ChangeIdAndAddress("P1", 17);
    EXPECT_EQ(dev.GetDevId(), "P1");
    EXPECT_EQ(h.app.FindDeviceByAddr(17), &dev);
    h.poster.Pump();
    EXPECT_EQ(docs.events, (std::vector<std::string>{ "device", "modified" }));
    h.app.RemoveDocListener(&docs);
    dev.RemoveObserver(&view);
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
