#pragma once

#include "core/IDocListener.h"
#include "core/ISessionObserver.h"
#include "ui/Commands.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QMdiArea;
class QMenu;
class QToolBar;

namespace korvex {

class CDevCellDlg;
class CDevDbBar;
class CDocFrames;
class CKorvexRuntime;
class CLineLogFile;
class CProtoBar;
class CScriptDoc;
class ICommandTarget;
struct SScriptLogRecord;

// The main window: the menus, the toolbar, the status bar, the project tree
// bar and the protocol log bar around the area of the device and script
// windows. Every command is an action of the command set; their states are
// set in one place (UpdateCommands), which follows the events that change
// them: the session's start and stop, the documents' modified flags, the
// tree's selection, the log's first row and its clearing, the bars and the
// child windows shown or hidden, the active child window and what it offers.
// The commands a child window offers (edit, cells) go to the active one.
// User-interface thread.
class CMainFrame final : public QMainWindow, public ISessionObserver, public IDocListener
{
    Q_OBJECT

public:
    static constexpr char kTitle[] = "Korvex (эмулятор modbus-slave)";

    // A path the user chose in a file dialog, or empty for cancel: title,
    // filter, and whether the file is to be saved (else opened).
    using FilePrompt =
        std::function<QString(const QString& title, const QString& filter, bool save)>;

    // log, when given, receives every protocol and script line of the run.
    explicit CMainFrame(CKorvexRuntime& runtime, CLineLogFile* log = nullptr,
                        QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The project the program starts with: the one named on the command line,
    // else the most recent one when its file exists (a missing one leaves the
    // list), else a new project.
    void OpenStartupProject(const QString& path = QString());

    CCommandSet& Commands() { return *m_pCommands; }
    CProtoBar* ProtoBar() const { return m_pProtoBar; }
    CDevDbBar* DevDbBar() const { return m_pDevDbBar; }
    QMdiArea* MdiArea() const { return m_pMdiArea; }
    QToolBar* ToolBar() const { return m_pToolBar; }
    // The emulator's state as the status bar shows it.
    QString GetStatusText() const;
    // Replaces the file dialogs (tests).
    void SetFilePrompt(FilePrompt prompt) { m_fnFilePrompt = std::move(prompt); }

    // ISessionObserver.
    void OnSessionStarted() override;
    void OnSessionStopped() override;
    // IDocListener.
    void OnDocumentOpened(CDocument& doc) override;
    void OnModifiedChanged(CDocument& doc) override;
    void OnTitleChanged(CDocument& doc) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateActions();
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    void CreateDockWindows();
    void CreateDocumentFrames();
    void WireCore();

    void OnNewProject();
    void OnNewDevice();
    void OnNewScript();
    void OnOpenProject();
    void OnOpenRecent(int index);
    void OnSaveAll();
    void OnAddDevice();
    void OnAddScript();
    void OnRemoveFromProject();
    void OnOpenSelected();
    void OnChangeDevId();
    void OnFaults();
    // A register map (CSV) into a new device, or appended to the device
    // selected in the tree; nothing is imported while the map has errors.
    void OnImportMap(bool append);
    // Asks for a new device's file, ID and address, then writes and adds it;
    // null when the user cancels or the file cannot be written.
    CDevDoc* CreateDevice(const QString& title);
    void OnStart();
    void OnStop();
    void OnPortParams();
    void OnUiParams();
    void OnToggleToolBar();
    void OnToggleDock(QWidget* dock, bool& flag);
    void OnHelpFile();
    void OnAbout();
    void OnArrangeIcons();

    QString AskPath(const QString& title, const QString& filter, bool save);
    void SaveSettings();
    void UpdateRecentMenu();
    void UpdateWindowMenu();
    void UpdateTitle();
    void UpdateStatus();
    SCommandState CollectState() const;
    // The current child window's widget when it offers commands.
    ICommandTarget* CurrentTarget() const;
    void UpdateCommands();
    void WriteScriptLines(const CScriptDoc& doc, const std::vector<SScriptLogRecord>& batch);
    // Gives the docks back the size the user gave them, as far as the window
    // has room beside the area of the child windows: squeezed by a small
    // window, they would otherwise stay narrow when it grows again.
    void RestoreDockSizes();

    CKorvexRuntime& m_runtime;
    CLineLogFile* m_pLog;
    CCommandSet* m_pCommands{ nullptr };
    QMdiArea* m_pMdiArea{ nullptr };
    QToolBar* m_pToolBar{ nullptr };
    CDevDbBar* m_pDevDbBar{ nullptr };
    CProtoBar* m_pProtoBar{ nullptr };
    QLabel* m_pStateLabel{ nullptr };
    QMenu* m_pRecentMenu{ nullptr };
    QMenu* m_pViewMenu{ nullptr };
    QMenu* m_pWindowMenu{ nullptr };
    std::unique_ptr<CDocFrames> m_pDevFrames;
    std::unique_ptr<CDocFrames> m_pScriptFrames;
    std::unique_ptr<CDevCellDlg> m_pAddCellDlg;
    FilePrompt m_fnFilePrompt;
    // Which bars are to be shown; in memory only, never stored.
    bool m_bShowDevDbBar{ true };
    bool m_bShowProtoBar{ true };
    bool m_bShowToolBar{ true };
    bool m_bDestroying{ false };
    // The docks' sizes as the user left them (the tree's width, the log's
    // height), and the window's size they belong to.
    int m_nTreeWidth{ 250 };
    int m_nLogHeight{ 180 };
    QSize m_szFrame;
    bool m_bRestoringDocks{ false };
};

} // namespace korvex
