#pragma once

// Shared pieces of the device file tests: a hub with a temporary folder that
// records the document layer's messages, and cell snapshots to compare.

#include "core/CDevDoc.h"
#include "core/CDocTemplate.h"
#include "core/CKorvexApp.h"
#include "core/IDevObserver.h"
#include "core/IDocFrames.h"
#include "files/CPrjManager.h"
#include "support/CoreHarness.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace korvex::test {

// One cell as the store holds it.
struct SCell
{
    std::int32_t type{ COIL };
    std::string id;
    std::string desc;
    std::uint16_t addr{ 0 };
    std::int32_t access{ ACCESS_RW };
    std::uint16_t min{ 0 };
    std::uint16_t max{ 0 };
    std::uint16_t value{ 0 };
    bool hasRow{ true };

    bool operator==(const SCell&) const = default;
};

inline void PrintTo(const SCell& c, std::ostream* os)
{
    *os << "{" << CellTypeName(c.type) << " desc='" << c.desc << "' id='" << c.id
        << "' addr=" << c.addr << " " << CellAccessName(c.access) << " " << c.min << "-" << c.max
        << " value=" << c.value << (c.hasRow ? "" : " no row") << "}";
}

inline std::vector<SCell> Cells(const CDevDoc& doc)
{
    std::lock_guard lock(doc.Lock());
    std::vector<SCell> cells;
    for (const auto& item : doc.Items())
        cells.push_back({ item->GetType(), item->GetId(), item->GetDesc(), item->GetAddr(),
                          item->GetAccess(), item->GetMin(), item->GetMax(), item->GetValue(),
                          item->GetRow() != 0 });
    return cells;
}

// The cells as text, one line each: the fields in file order separated by
// '|', and "|no row" for a cell without one ("HREG|Задание|SP|1|RW|0-10|10").
inline std::string CellText(const CDevDoc& doc)
{
    std::string text;
    for (const SCell& c : Cells(doc))
        text += std::string(text.empty() ? "" : "\n") + CellTypeName(c.type) + "|" + c.desc + "|" +
                c.id + "|" + std::to_string(c.addr) + "|" + CellAccessName(c.access) + "|" +
                std::to_string(c.min) + "-" + std::to_string(c.max) + "|" +
                std::to_string(c.value) + (c.hasRow ? "" : "|no row");
    return text;
}

// The texts of the reader's two warnings.
inline const std::string kTypeError =
    "Задан неверный тип ячейки (первый параметр)! Допустимы: COIL,DINP,HREG,IREG.";
inline const std::string kFormatError =
    "\x4F"
    "шибка формата файла устройства, не хватает параметров!"; // Latin O

// Records what the templates ask of the window side ("create", "destroy
// TITLE", "activate TITLE") and gives every device a view that records the
// cells it shows ("shown ID").
class CRecordingFrames final : public IDocFrames, public IDevObserver
{
public:
    std::vector<std::string> events;

    void CreateFrame(CDocument& doc) override
    {
        events.push_back("create");
        if (auto* dev = dynamic_cast<CDevDoc*>(&doc))
            dev->AddObserver(this);
    }
    void DestroyFrame(CDocument& doc) override
    {
        events.push_back("destroy " + doc.GetTitle());
        if (auto* dev = dynamic_cast<CDevDoc*>(&doc))
            dev->RemoveObserver(this);
    }
    void ActivateFrame(CDocument& doc) override { events.push_back("activate " + doc.GetTitle()); }
    void OnValuesChanged(const std::vector<CDevItem*>&) override {}
    void OnItemShown(CDevItem* item) override { events.push_back("shown " + item->GetId()); }
    void OnItemRemoved(CDevItem*) override {}
};

struct DevFileHarness : CoreHarness
{
    CPrjManager prj{ app };
    CTempDir dir;
    std::vector<std::string> messages;

    DevFileHarness()
    {
        app.SetMessageHandler([this](const std::string& text) { messages.push_back(text); });
    }

    // A device made directly, that reads and writes device files.
    std::unique_ptr<CDevDoc> NewDevice()
    {
        auto dev = std::make_unique<CDevDoc>(app);
        dev->SetFileFormat(&prj.GetDevFileFormat());
        return dev;
    }

    // Opens through the device template; pumps the posted log lines.
    CDevDoc* Open(const std::string& path)
    {
        CDocument* doc = prj.GetDevTemplate().OpenDocumentFile(path);
        poster.Pump();
        return dynamic_cast<CDevDoc*>(doc);
    }

    // Writes the bytes into the folder under name and opens them.
    CDevDoc* OpenBytes(const std::string& name, const std::string& bytes)
    {
        return Open(dir.Write(name, bytes));
    }

    // The texts of the warning lines logged so far, each checked to be a
    // kind-5 line of the given document without an address.
    std::vector<std::string> Warnings(const std::string& title)
    {
        std::vector<std::string> texts;
        for (const auto& rec : lines) {
            EXPECT_EQ(rec.nKind, LK_WARNING);
            EXPECT_EQ(rec.szDevice, title);
            EXPECT_EQ(rec.nAddress, -1);
            texts.push_back(rec.szText);
        }
        return texts;
    }
};

} // namespace korvex::test
