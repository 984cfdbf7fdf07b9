#pragma once

#include "ui/CDevModel.h"
#include "ui/IChildView.h"

#include <QWidget>

#include <array>

class QAction;
class QMenu;
class QTreeView;

namespace korvex {

class CDevCellDlg;
class CDevDoc;
class CDevItem;
class CKorvexApp;

// A device's window content: its cells in a tree with columns. Enter or a
// double-click edits the selected cell, Ins adds one, G opens its graph,
// Del deletes it; editing is possible only while the emulator is stopped.
// The context menu "Для устройств" offers the same. User-interface thread.
class CDevView final : public QWidget, public IChildView
{
public:
    // addDialog: the one add dialog of the program, which remembers what was
    // typed from one use to the next.
    CDevView(CDevDoc& device, CKorvexApp& app, CDevCellDlg& addDialog, QWidget* parent = nullptr);

    CDevModel& Model() { return m_model; }
    QTreeView* Tree() const { return m_pTree; }
    // The cell of the selected row, or null.
    CDevItem* GetSelectedItem() const;
    void SelectItem(const CDevItem* item);

    // The commands; each does nothing while it is disabled.
    void OnEditCell();
    void OnAddCell();
    void OnGraph();
    void OnDeleteCell();
    bool CanEdit() const;
    bool CanAdd() const;
    bool CanGraph() const;
    // The context menu with the states of the moment; the caller owns it.
    QMenu* BuildContextMenu();

    // Column widths for a client width: 45, 15, 10, 5, 15 and 10 percent,
    // each at least 180, 40, 40, 25, 80 and 50 pixels.
    static std::array<int, CDevModel::COL_COUNT> ColumnWidths(int width);

    void OnInitialUpdate() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FitColumns();
    void ExpandGroups();

    CDevDoc& m_device;
    CKorvexApp& m_app;
    CDevCellDlg& m_addDialog;
    CDevModel m_model;
    QTreeView* m_pTree{ nullptr };
};

} // namespace korvex
