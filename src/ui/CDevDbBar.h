#pragma once

#include "files/IProjectTreeObserver.h"
#include "ui/CProjectTreeModel.h"

#include <QDockWidget>
#include <QTreeView>

class QAction;
class QMenu;

namespace korvex {

class CCommandSet;
class CPrjManager;

// The project tree bar "База объектов": the project's devices and scripts
// under their two groups. Enter and a double-click open the selected file
// (while the emulator runs, only bringing an open window to the front), Ins
// adds a device, Backspace a script, Del removes the selected file; a right
// click selects the node under the cursor and opens the trimmed context
// menu. User-interface thread.
class CDevDbBar final : public QDockWidget, public IProjectTreeObserver
{
    Q_OBJECT

public:
    static constexpr QRgb kBackground = 0xFFD7D7EB; // RGB(0xD7, 0xD7, 0xEB)

    CDevDbBar(CPrjManager& project, CCommandSet& commands, QWidget* parent);
    ~CDevDbBar() override;

    QTreeView* View() const { return m_pView; }
    CProjectTreeModel& Model() { return m_model; }

    // The context menu for the node, trimmed for its kind; the caller owns it.
    QMenu* BuildContextMenu(HNODE node);

    void OnTreeReset() override;
    void OnNodeAdded(HNODE node) override;
    void OnNodeChanged(HNODE) override {}
    void OnNodeRemoved(HNODE) override {}
    void OnSelectionChanged(HNODE node) override;
    void OnTreeShown(bool shown) override;

signals:
    // Enter or a double-click on a device or script.
    void openRequested();
    void selectionChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ExpandGroups();
    void TriggerIfEnabled(QAction* action);

    CPrjManager& m_project;
    CCommandSet& m_commands;
    CProjectTreeModel m_model;
    QTreeView* m_pView{ nullptr };
    QAction* m_pOpen{ nullptr };
    QAction* m_pAddDevice{ nullptr };
    QAction* m_pChangeId{ nullptr };
    QAction* m_pImportMap{ nullptr };
    QAction* m_pFaults{ nullptr };
    QAction* m_pAddScript{ nullptr };
    QAction* m_pRemove{ nullptr };
    bool m_bSyncing{ false };
};

} // namespace korvex
