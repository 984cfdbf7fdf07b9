#pragma once

#include <QObject>

#include <map>
#include <vector>

class QAction;

namespace korvex {

// The commands of the menus, the toolbar, the accelerators and the context
// menus, by their numbers.
enum CommandId : int
{
    ID_NEW_PROJECT = 32794,
    ID_NEW_DEVICE = 32795,
    ID_NEW_SCRIPT = 32796,
    ID_OPEN_PROJECT = 57601,
    ID_SAVE_ALL = 32803,
    ID_ADD_DEVICE = 32799,
    ID_ADD_SCRIPT = 32801,
    ID_REMOVE_FROM_PROJECT = 32798,
    ID_OPEN_SELECTED = 32802,
    ID_CHANGE_DEV_ID = 32816,
    ID_FAULTS = 32830,
    ID_IMPORT_MAP_NEW = 32850,
    ID_IMPORT_MAP_APPEND = 32851,
    ID_RECENT_FIRST = 57616, // ..57620
    ID_EXIT = 57665,
    ID_START = 32771,
    ID_STOP = 32772,
    ID_CLEAR_LOG = 32778,
    ID_PORT_PARAMS = 32780,
    ID_UI_PARAMS = 32809,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUSBAR = 59393,
    ID_VIEW_DEVDB = 32776,
    ID_VIEW_PROTO = 32777,
    ID_VIEW_COUNTERS = 32835,
    ID_WINDOW_CASCADE = 57650,
    ID_WINDOW_TILE = 57651,
    ID_WINDOW_ARRANGE = 57649,
    ID_HELP_FILE = 32818,
    ID_ABOUT = 57664,
    ID_EDIT_COPY = 57634,
    ID_EDIT_CUT = 57635,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_UNDO = 57643,
    ID_CELL_EDIT = 32812,
    ID_CELL_ADD = 32813,
    ID_CELL_DELETE = 32814,
    ID_CELL_GRAPH = 32821,
    ID_CELL_EDIT_VALUE = 32831,
    ID_CELL_ADD_RANGE = 32832,
    ID_CELL_DUPLICATE = 32833,
    ID_CELL_GO_TO = 32834,
    ID_CLEAR_SCRIPT_LOG = 32779,
};

// What the enabled and checked states depend on.
struct SCommandState
{
    bool bRunning{ false };
    bool bTreeVisible{ true };
    int nSelectedKind{ -1 }; // -1 nothing selected, else the node's kind
    bool bAnyModified{ false };
    int nLogLines{ 0 };
    bool bLogVisible{ true };
    bool bToolBarVisible{ true };
    bool bStatusBarVisible{ true };
    int nChildWindows{ 0 };
    // What the active child window offers: the script editor its edit
    // commands, the device window its cells.
    bool bCanUndo{ false };
    bool bCanCut{ false };
    bool bCanCopy{ false };
    bool bCanPaste{ false };
    bool bCellWindow{ false };    // the active window shows a device's cells
    bool bCellCurrent{ false };   // its current row is a cell
    bool bCellsSelected{ false }; // rows of cells are selected in it

    bool operator==(const SCommandState&) const = default;
};

// Owns every QAction of the main window, made once. Update sets every
// enabled and checked state from one state record; the main window calls it
// on the events that change the record, never on every wake of the loop.
// User-interface thread.
class CCommandSet final : public QObject
{
public:
    explicit CCommandSet(QObject* parent);

    QAction* Action(CommandId id) const;
    // A second action for a context menu, with its own text (the menus show
    // other key names there); triggering it triggers the command, and Update
    // gives it the command's state.
    QAction* MenuVariant(CommandId id, const QString& text);

    void Update(const SCommandState& state);
    const SCommandState& GetState() const { return m_state; }

    // The rule of each command.
    static bool IsEnabled(CommandId id, const SCommandState& s);

private:
    std::map<int, QAction*> m_actions;
    std::multimap<int, QAction*> m_variants;
    SCommandState m_state;
};

} // namespace korvex
