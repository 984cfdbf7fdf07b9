#pragma once

#include "ui/CDevModel.h"
#include "ui/IChildView.h"
#include "ui/ICommandTarget.h"

#include "core/ValueType.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <vector>

class QMenu;
class QTreeView;

namespace korvex {

class CDevCellDlg;
class CDevDoc;
class CDevItem;
class IRunState;

// A device's window content: its cells in a tree with columns. Enter or a
// double-click edits the selected cell, Ins adds one, G opens its graph,
// Del deletes the selected cells; beyond these, a range of cells is added at
// once, the selected cells are duplicated (Ctrl+D), Ctrl+G goes to the cell
// at an address, and F2 (or a double-click on it while the emulator runs)
// edits a value in place. While the emulator runs only values change: Enter
// opens the dialog with the value alone. The context menu "Для устройств"
// offers the same. Each of these is a command of the command set, enabled
// from what the window offers (OfferState; commandStateChanged tells when
// that may have changed); keys and menu trigger the command, which the main
// window hands to the active window (RunCommand). User-interface thread.
class CDevView final : public QWidget, public IChildView, public ICommandTarget
{
    Q_OBJECT

public:
    // addDialog: the one add dialog of the program, which remembers what was
    // typed from one use to the next.
    CDevView(CDevDoc& device, const IRunState& run, CCommandSet& commands, CDevCellDlg& addDialog,
             QWidget* parent = nullptr);
    ~CDevView() override;

    CDevModel& Model() { return m_model; }
    QTreeView* Tree() const { return m_pTree; }
    // The cell of the current row, or null.
    CDevItem* GetSelectedItem() const;
    // The cells of the selected rows, in the window's order.
    std::vector<CDevItem*> GetSelectedItems() const;
    // Makes the cell's row current and the only one selected, and shows it.
    void SelectItem(const CDevItem* item);

    // The context menu with the states of the moment; the caller owns it.
    QMenu* BuildContextMenu();
    // The menu of display types for the selected cells, the current cell's
    // checked; a choice applies to every selected cell.
    QMenu* BuildTypeMenu(QWidget* parent);
    // Gives the selected cells the type, in address order; a wide type takes
    // the cells after each one, which are skipped. The refusals, one a line.
    QString ApplyType(const SValueType& type);
    // Edits the value of a typed cell (or the one that covers it) in its
    // type; false for a cell shown as a plain register.
    bool EditTypedValue(CDevItem* item);

    // The value of a cell typed by the user: checked against its bounds and
    // written through the thread-safe setter. The refusal, else empty.
    QString SetCellValue(CDevItem* item, std::uint16_t value);

    // Column widths for a client width: 34, 11, 8, 4, 13, 17 and 13 percent,
    // each at least 180, 40, 40, 25, 80, 110 and 95 pixels.
    static std::array<int, CDevModel::COL_COUNT> ColumnWidths(int width);

    void OnInitialUpdate() override;
    // ICommandTarget: the cell commands.
    void OfferState(SCommandState& state) const override;
    void RunCommand(CommandId id) override;

signals:
    void commandStateChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void OnEditCell();
    void OnEditValueInPlace();
    void OnAddCell();
    void OnAddRange();
    void OnDuplicate();
    void OnGoToAddress();
    void OnGraph();
    void OnDeleteCell();

    void TriggerIfEnabled(CommandId id);
    void FitColumns();
    void ExpandGroups();
    bool IsHex() const;

    CDevDoc& m_device;
    const IRunState& m_run;
    CCommandSet& m_commands;
    CDevCellDlg& m_addDialog;
    CDevModel m_model;
    QTreeView* m_pTree{ nullptr };
};

} // namespace korvex
