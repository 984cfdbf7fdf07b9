#include "ui/CMainFrame.h"

#include "KorvexVersion.h"
#include "core/CDevDoc.h"
#include "core/CDocManager.h"
#include "core/CDocTemplate.h"
#include "core/FileIo.h"
#include "files/CPrjDoc.h"
#include "files/CPrjManager.h"
#include "files/RegisterMap.h"
#include "runtime/CKorvexRuntime.h"
#include "runtime/CLineLogFile.h"
#include "runtime/LogLines.h"
#include "script/CScriptDoc.h"
#include "script/SScriptLogRecord.h"
#include "script/ScriptTemplate.h"
#include "script/ScriptText.h"
#include "ui/CAboutDlg.h"
#include "ui/CChgDevIdDlg.h"
#include "ui/CChildFrame.h"
#include "ui/CCountersWnd.h"
#include "ui/CDevCellDlg.h"
#include "ui/CDevDbBar.h"
#include "ui/CDevView.h"
#include "ui/CDocFrames.h"
#include "ui/CFaultsDlg.h"
#include "ui/CProtoBar.h"
#include "ui/CScriptFrame.h"
#include "ui/CSetupLogsDlg.h"
#include "ui/CSetupSerialDlg.h"
#include "ui/FileDialogs.h"
#include "ui/ICommandTarget.h"
#include "ui/Manual.h"
#include "ui/UiText.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QStatusBar>
#include <QStringList>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include <algorithm>
#include <iterator>

namespace korvex {
namespace {

// The window's first size, as far as a screen has room for it.
constexpr QSize kFirstSize(1100, 720);
constexpr double kMaxScreenShare = 0.95;
constexpr int kToolBarIconSize = 32;
constexpr int kStateLabelWidth = 100;
// The highest address a MODBUS slave may have.
constexpr int kMaxSlaveAddr = 247;

// The commands the active child window carries out, when it offers them.
constexpr CommandId kChildCommands[] = {
    ID_EDIT_COPY,      ID_EDIT_CUT,        ID_EDIT_PASTE, ID_EDIT_UNDO,
    ID_CELL_EDIT,      ID_CELL_EDIT_VALUE, ID_CELL_ADD,   ID_CELL_ADD_RANGE,
    ID_CELL_DUPLICATE, ID_CELL_GO_TO,      ID_CELL_GRAPH, ID_CELL_DELETE,
};

} // namespace

CMainFrame::CMainFrame(CKorvexRuntime& runtime, CLineLogFile* log, QWidget* parent)
    : QMainWindow(parent), m_runtime(runtime), m_pLog(log)
{
    setWindowIcon(QIcon(QStringLiteral(":/icons/korvex.svg")));
    m_pMdiArea = new QMdiArea(this);
    m_pMdiArea->setViewMode(QMdiArea::SubWindowView);
    setCentralWidget(m_pMdiArea);

    CreateActions();
    CreateMenus();
    CreateToolBar();
    CreateStatusBar();
    CreateDockWindows();
    CreateDocumentFrames();
    WireCore();
    UpdateTitle();
    UpdateStatus();
    UpdateCommands();
    // The first size fits a small screen too.
    QSize size = kFirstSize;
    if (const QScreen* shown = screen())
        size = size.boundedTo(shown->availableGeometry().size() * kMaxScreenShare);
    resize(size);
}

CMainFrame::~CMainFrame()
{
    // The bars hide as the window goes: their signals must not reach this
    // half-destroyed window.
    m_bDestroying = true;
    for (QObject* sender : std::initializer_list<QObject*>{ m_pDevDbBar, m_pProtoBar, m_pToolBar,
                                                            m_pMdiArea, statusBar() })
        disconnect(sender, nullptr, this, nullptr);
    m_runtime.Project().SetRecentListener(nullptr);
    m_runtime.RemoveSessionObserver(this);
    m_runtime.RemoveDocListener(this);
    m_runtime.SetLineSink(nullptr);
    // The documents go first: their windows live in this one. The graph
    // windows they close are deleted now, not by a loop that no longer runs.
    m_runtime.CloseAllDocuments();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    m_runtime.Project().GetDevTemplate().SetFrames(nullptr);
    m_runtime.ScriptTemplate().SetFrames(nullptr);
}

// ---- Construction ------------------------------------------------------------

void CMainFrame::CreateActions()
{
    m_pCommands = new CCommandSet(this);
    CCommandSet& c = *m_pCommands;
    auto on = [this, &c](CommandId id, auto handler) {
        connect(c.Action(id), &QAction::triggered, this, handler);
    };
    on(ID_NEW_PROJECT, &CMainFrame::OnNewProject);
    on(ID_NEW_DEVICE, &CMainFrame::OnNewDevice);
    on(ID_NEW_SCRIPT, &CMainFrame::OnNewScript);
    on(ID_OPEN_PROJECT, &CMainFrame::OnOpenProject);
    on(ID_SAVE_ALL, &CMainFrame::OnSaveAll);
    on(ID_ADD_DEVICE, &CMainFrame::OnAddDevice);
    on(ID_ADD_SCRIPT, &CMainFrame::OnAddScript);
    on(ID_REMOVE_FROM_PROJECT, &CMainFrame::OnRemoveFromProject);
    on(ID_OPEN_SELECTED, &CMainFrame::OnOpenSelected);
    on(ID_CHANGE_DEV_ID, &CMainFrame::OnChangeDevId);
    on(ID_FAULTS, &CMainFrame::OnFaults);
    on(ID_IMPORT_MAP_NEW, [this] { OnImportMap(false); });
    on(ID_IMPORT_MAP_APPEND, [this] { OnImportMap(true); });
    on(ID_EXIT, &QWidget::close);
    on(ID_START, &CMainFrame::OnStart);
    on(ID_STOP, &CMainFrame::OnStop);
    on(ID_PORT_PARAMS, &CMainFrame::OnPortParams);
    on(ID_UI_PARAMS, &CMainFrame::OnUiParams);
    on(ID_VIEW_TOOLBAR, &CMainFrame::OnToggleToolBar);
    on(ID_HELP_FILE, &CMainFrame::OnHelpFile);
    on(ID_ABOUT, &CMainFrame::OnAbout);
    connect(c.Action(ID_CLEAR_LOG), &QAction::triggered, this, [this] { m_pProtoBar->ClearLog(); });
    connect(c.Action(ID_VIEW_STATUSBAR), &QAction::triggered, this,
            [this] { statusBar()->setVisible(!statusBar()->isVisible()); });
    connect(c.Action(ID_VIEW_DEVDB), &QAction::triggered, this,
            [this] { OnToggleDock(m_pDevDbBar, m_bShowDevDbBar); });
    connect(c.Action(ID_VIEW_PROTO), &QAction::triggered, this,
            [this] { OnToggleDock(m_pProtoBar, m_bShowProtoBar); });
    connect(c.Action(ID_WINDOW_CASCADE), &QAction::triggered, this,
            [this] { m_pMdiArea->cascadeSubWindows(); });
    connect(c.Action(ID_WINDOW_TILE), &QAction::triggered, this,
            [this] { m_pMdiArea->tileSubWindows(); });
    on(ID_WINDOW_ARRANGE, &CMainFrame::OnArrangeIcons);
    // One counters window, made when first asked for.
    connect(c.Action(ID_VIEW_COUNTERS), &QAction::triggered, this, [this] {
        auto* counters = findChild<CCountersWnd*>();
        if (counters == nullptr) {
            counters = new CCountersWnd(m_runtime.App().GetCounters(), this);
            // First shown over the main window's middle, not at the screen's corner.
            counters->move(geometry().center() - counters->rect().center());
        }
        counters->show();
        counters->raise();
        counters->activateWindow();
    });
    // One action per command whatever the window: the active child window
    // carries it out. The edit commands have no menu entry, only their
    // accelerators; the device window's keys are its own.
    for (const CommandId id : kChildCommands)
        connect(c.Action(id), &QAction::triggered, this, [this, id] {
            if (ICommandTarget* target = CurrentTarget())
                target->RunCommand(id);
        });
    for (const CommandId id : { ID_EDIT_COPY, ID_EDIT_CUT, ID_EDIT_PASTE, ID_EDIT_UNDO })
        addAction(c.Action(id));
}

void CMainFrame::CreateMenus()
{
    CCommandSet& c = *m_pCommands;
    QMenu* file = menuBar()->addMenu(QStringLiteral("&Файл"));
    QMenu* create = file->addMenu(QStringLiteral("Новый"));
    create->addAction(c.Action(ID_NEW_PROJECT));
    create->addSeparator();
    create->addAction(c.Action(ID_NEW_DEVICE));
    create->addAction(c.Action(ID_NEW_SCRIPT));
    file->addSeparator();
    file->addAction(c.Action(ID_OPEN_PROJECT));
    file->addAction(c.Action(ID_SAVE_ALL));
    file->addSeparator();
    file->addAction(c.Action(ID_ADD_DEVICE));
    file->addAction(c.Action(ID_ADD_SCRIPT));
    QMenu* import = file->addMenu(QStringLiteral("Импорт карты регистров (CSV)"));
    import->addAction(c.Action(ID_IMPORT_MAP_NEW));
    import->addAction(c.Action(ID_IMPORT_MAP_APPEND));
    file->addSeparator();
    file->addAction(c.Action(ID_REMOVE_FROM_PROJECT));
    file->addSeparator();
    m_pRecentMenu = file->addMenu(QStringLiteral("Последние проекты"));
    file->addSeparator();
    file->addAction(c.Action(ID_EXIT));

    QMenu* emulator = menuBar()->addMenu(QStringLiteral("&Эмулятор"));
    emulator->addAction(c.Action(ID_START));
    emulator->addAction(c.Action(ID_STOP));
    emulator->addSeparator();
    emulator->addAction(c.Action(ID_CLEAR_LOG));

    QMenu* setup = menuBar()->addMenu(QStringLiteral("Настройка"));
    setup->addAction(c.Action(ID_PORT_PARAMS));
    setup->addSeparator();
    setup->addAction(c.Action(ID_UI_PARAMS));

    QMenu* view = m_pViewMenu = menuBar()->addMenu(QStringLiteral("&Вид"));
    view->addAction(c.Action(ID_VIEW_TOOLBAR));
    view->addAction(c.Action(ID_VIEW_STATUSBAR));
    view->addAction(c.Action(ID_VIEW_DEVDB));
    view->addAction(c.Action(ID_VIEW_PROTO));
    view->addSeparator();
    view->addAction(c.Action(ID_VIEW_COUNTERS));

    m_pWindowMenu = menuBar()->addMenu(QStringLiteral("&Окна"));
    connect(m_pWindowMenu, &QMenu::aboutToShow, this, &CMainFrame::UpdateWindowMenu);
    UpdateWindowMenu();

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Помощь"));
    help->addAction(c.Action(ID_HELP_FILE));
    help->addSeparator();
    help->addAction(c.Action(ID_ABOUT));
    UpdateRecentMenu();
}

void CMainFrame::CreateToolBar()
{
    CCommandSet& c = *m_pCommands;
    m_pToolBar = addToolBar(QStringLiteral("Панель инструментов"));
    m_pToolBar->setObjectName(QStringLiteral("ToolBar"));
    m_pToolBar->setIconSize(QSize(kToolBarIconSize, kToolBarIconSize));
    m_pToolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_pToolBar->addAction(c.Action(ID_NEW_PROJECT));
    m_pToolBar->addAction(c.Action(ID_OPEN_PROJECT));
    m_pToolBar->addSeparator();
    m_pToolBar->addAction(c.Action(ID_SAVE_ALL));
    m_pToolBar->addSeparator();
    m_pToolBar->addAction(c.Action(ID_START));
    m_pToolBar->addAction(c.Action(ID_STOP));
    m_pToolBar->addAction(c.Action(ID_CLEAR_LOG));
    m_pToolBar->addSeparator();
    m_pToolBar->addAction(c.Action(ID_PORT_PARAMS));
    m_pToolBar->addAction(c.Action(ID_UI_PARAMS));
    m_pToolBar->addSeparator();
    m_pToolBar->addAction(c.Action(ID_ABOUT));
    connect(m_pToolBar, &QToolBar::visibilityChanged, this, &CMainFrame::UpdateCommands);
}

void CMainFrame::CreateStatusBar()
{
    statusBar()->showMessage(QStringLiteral("Готов"));
    m_pStateLabel = new QLabel(this);
    m_pStateLabel->setMinimumWidth(kStateLabelWidth);
    statusBar()->addPermanentWidget(m_pStateLabel);
    // The status bar has no signal of its own for being shown or hidden.
    statusBar()->installEventFilter(this);
    connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString& text) {
        if (text.isEmpty())
            statusBar()->showMessage(QStringLiteral("Готов"));
    });
}

void CMainFrame::CreateDockWindows()
{
    m_pDevDbBar = new CDevDbBar(m_runtime.Project(), *m_pCommands, this);
    addDockWidget(Qt::LeftDockWidgetArea, m_pDevDbBar);
    m_pProtoBar = new CProtoBar(*m_pCommands, this);
    addDockWidget(Qt::BottomDockWidgetArea, m_pProtoBar);
    resizeDocks({ m_pDevDbBar }, { m_nTreeWidth }, Qt::Horizontal);
    resizeDocks({ m_pProtoBar }, { m_nLogHeight }, Qt::Vertical);
    m_pDevDbBar->installEventFilter(this);
    m_pProtoBar->installEventFilter(this);
    m_pDevDbBar->setVisible(m_bShowDevDbBar);
    m_pProtoBar->setVisible(m_bShowProtoBar);
    for (QDockWidget* dock :
         { static_cast<QDockWidget*>(m_pDevDbBar), static_cast<QDockWidget*>(m_pProtoBar) })
        connect(dock, &QDockWidget::visibilityChanged, this, &CMainFrame::UpdateCommands);
    connect(m_pProtoBar, &CProtoBar::lineCountChanged, this, &CMainFrame::UpdateCommands);
    // The log's filter bar and extra columns are kept with the settings.
    m_pProtoBar->SetFilterBarShown(m_runtime.Settings().LOGFILTER != 0);
    m_pProtoBar->SetExtraColumns(m_runtime.Settings().LOGCOLUMNS);
    connect(m_pProtoBar, &CProtoBar::viewSettingsChanged, this, [this] {
        m_runtime.ChangeSettings([this](SSettings& s) {
            s.LOGFILTER = m_pProtoBar->FilterBar()->isVisibleTo(m_pProtoBar) ? 1 : 0;
            s.LOGCOLUMNS = m_pProtoBar->GetExtraColumns();
        });
    });
    m_pViewMenu->addAction(m_pProtoBar->FilterBarAction());
    connect(m_pDevDbBar, &CDevDbBar::selectionChanged, this, &CMainFrame::UpdateCommands);
    // Enter and a double-click also bring an open window to the front while
    // the emulator runs.
    connect(m_pDevDbBar, &CDevDbBar::openRequested, this,
            [this] { m_runtime.Project().OnOpenSelected(); });
    connect(m_pMdiArea, &QMdiArea::subWindowActivated, this, &CMainFrame::UpdateCommands);
    // At start-up the tree has the keyboard focus.
    m_pDevDbBar->View()->setFocus();
}

void CMainFrame::CreateDocumentFrames()
{
    SSettings& settings = m_runtime.Settings();
    auto save = [this] { SaveSettings(); };
    // One add dialog for the whole run: it remembers what was typed.
    m_pAddCellDlg = std::make_unique<CDevCellDlg>(settings.EDITHEX != 0, this);
    // The window commands follow the child windows shown and hidden, the
    // commands a child offers what it says it offers.
    auto deviceView = [this](CDocument& doc, CChildFrame& frame) -> QWidget* {
        auto* device = dynamic_cast<CDevDoc*>(&doc);
        if (device == nullptr)
            return nullptr;
        auto* view =
            new CDevView(*device, m_runtime.RunState(), *m_pCommands, *m_pAddCellDlg, &frame);
        connect(view, &CDevView::commandStateChanged, this, &CMainFrame::UpdateCommands);
        frame.installEventFilter(this);
        return view;
    };
    auto scriptView = [this](CDocument& doc, CChildFrame& frame) -> QWidget* {
        auto* script = dynamic_cast<CScriptDoc*>(&doc);
        if (script == nullptr)
            return nullptr;
        auto* view = new CScriptFrame(*script, &frame);
        connect(view, &CScriptFrame::commandStateChanged, this, &CMainFrame::UpdateCommands);
        frame.installEventFilter(this);
        return view;
    };
    m_pDevFrames = std::make_unique<CDocFrames>(*m_pMdiArea, settings.CHILDSTATE, save, deviceView);
    m_pScriptFrames =
        std::make_unique<CDocFrames>(*m_pMdiArea, settings.CHILDSTATE, save, scriptView);
    m_runtime.Project().GetDevTemplate().SetFrames(m_pDevFrames.get());
    m_runtime.ScriptTemplate().SetFrames(m_pScriptFrames.get());
}

void CMainFrame::WireCore()
{
    CPrjManager& project = m_runtime.Project();
    m_runtime.SetLineSink([this](const CProtoFeed::Batch& batch) {
        m_pProtoBar->AddBatch(batch, m_runtime.Settings().MAXLOGP);
        if (m_pLog != nullptr) {
            std::vector<std::string> lines;
            lines.reserve(batch.size());
            for (const auto& rec : batch)
                lines.push_back(FormatProtoLine(rec, m_pLog->IsRaw()));
            m_pLog->Write(lines);
        }
    });
    m_runtime.AddSessionObserver(this);
    m_runtime.AddDocListener(this);
    // A project opened or saved under its name enters the list: the title
    // names it at once (the document's own title change is posted).
    project.SetRecentListener([this] {
        UpdateRecentMenu();
        UpdateTitle();
    });
    m_runtime.SetMessageHandler([this](const std::string& text) {
        QMessageBox::warning(this, QStringLiteral("Korvex"), Qs(text));
    });
    project.SetSavePrompt([this](const std::string& text) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Korvex"), Qs(text),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("Да"));
        box.button(QMessageBox::No)->setText(QStringLiteral("Нет"));
        box.button(QMessageBox::Cancel)->setText(QStringLiteral("Отмена"));
        switch (box.exec()) {
        case QMessageBox::Yes: return CPrjManager::PromptAnswer::Yes;
        case QMessageBox::No: return CPrjManager::PromptAnswer::No;
        default: return CPrjManager::PromptAnswer::Cancel;
        }
    });
    project.SetPathPrompt([this](CDocument& doc) {
        const CDocTemplate* tmpl = doc.GetDocTemplate();
        const QString filter =
            tmpl != nullptr ? Qs(tmpl->GetFilterName()) : QStringLiteral("Все файлы (*)");
        return Ss(AskPath(QStringLiteral("Сохранить как"), filter, true));
    });
}

// ---- Start-up --------------------------------------------------------------------

void CMainFrame::OpenStartupProject(const QString& path)
{
    CPrjManager& project = m_runtime.Project();
    if (!path.isEmpty()) {
        project.OnOpenProject(Ss(path));
    } else if (!project.GetRecentList().IsEmpty()) {
        // A most recent project that exists opens, whether or not it can be
        // read; a missing one leaves the list and a new project is made.
        const std::string recent = project.GetRecentList().Get(0);
        if (QFileInfo::exists(Qs(recent))) {
            project.OnOpenProject(recent);
        } else {
            project.RemoveFromRecentFileList(0);
            project.OnNewProject();
        }
    } else {
        project.OnNewProject();
    }
}

// ---- States ------------------------------------------------------------------------

SCommandState CMainFrame::CollectState() const
{
    const CPrjManager& project = m_runtime.Project();
    SCommandState s;
    s.bRunning = m_runtime.IsRunning();
    s.bTreeVisible = m_pDevDbBar->isVisible();
    const TreeNode* node = project.GetProjectTree().GetSelectedNode();
    s.nSelectedKind = node != nullptr ? node->byKind : -1;
    s.bAnyModified = m_runtime.IsAnyModified();
    s.nLogLines = m_pProtoBar->GetLineCount();
    s.bLogVisible = m_pProtoBar->isVisible();
    s.bToolBarVisible = m_pToolBar->isVisible();
    s.bStatusBarVisible = statusBar()->isVisible();
    for (QMdiSubWindow* sub : m_pMdiArea->subWindowList())
        if (sub->isVisible())
            ++s.nChildWindows;
    if (const ICommandTarget* target = CurrentTarget())
        target->OfferState(s);
    return s;
}

ICommandTarget* CMainFrame::CurrentTarget() const
{
    QMdiSubWindow* sub = m_pMdiArea->currentSubWindow();
    if (sub == nullptr || !sub->isVisible())
        return nullptr;
    return dynamic_cast<ICommandTarget*>(sub->widget());
}

void CMainFrame::UpdateCommands()
{
    if (m_bDestroying)
        return;
    m_pCommands->Update(CollectState());
}

QString CMainFrame::GetStatusText() const
{
    if (!m_runtime.IsRunning())
        return QStringLiteral("Остановлен");
    const SSettings& s = m_runtime.Settings();
    static const char parity[] = { 'N', 'O', 'E', 'M', 'S' };
    static const char* const stop[] = { "1", "1,5", "2" };
    const QString line =
        QStringLiteral("%1 %2%3%4")
            .arg(s.BAUD)
            .arg(s.DATABIT)
            .arg(QLatin1Char(s.PARITY < std::size(parity) ? parity[s.PARITY] : '?'))
            .arg(QLatin1String(s.STOPBIT < std::size(stop) ? stop[s.STOPBIT] : "?"));
    QStringList served;
    if (m_runtime.IsServingVirtual())
        served
            << QStringLiteral("виртуальный порт %1, %2").arg(Qs(m_runtime.GetVirtualPath()), line);
    else if (m_runtime.IsServingSerial())
        served << QStringLiteral("%1, %2").arg(Qs(s.m_info.m_strComName), line);
    if (const std::string net = m_runtime.DescribeNetwork(); !net.empty())
        served << Qs(net);
    return QStringLiteral("Работает: ") + served.join(QStringLiteral(", "));
}

void CMainFrame::UpdateStatus()
{
    m_pStateLabel->setText(GetStatusText());
}

void CMainFrame::UpdateTitle()
{
    const CPrjDoc* project = m_runtime.Project().GetProject();
    QString name = project != nullptr && !project->GetTitle().empty()
                       ? Qs(project->GetTitle())
                       : QStringLiteral("Безымянный");
    // The mark is part of the title: Qt's modified flag of this window is
    // also set by a maximised child window, from that child's document.
    const QString mark =
        project != nullptr && project->IsModified() ? QStringLiteral("*") : QString();
    setWindowTitle(QStringLiteral("%1%2 - %3").arg(name, mark, QString::fromUtf8(kTitle)));
}

void CMainFrame::UpdateRecentMenu()
{
    m_pRecentMenu->clear();
    const CRecentList& recent = m_runtime.Project().GetRecentList();
    if (recent.IsEmpty()) {
        QAction* none = m_pRecentMenu->addAction(QStringLiteral("Последние проекты"));
        none->setEnabled(false);
        return;
    }
    for (std::size_t i = 0; i < recent.GetSize(); ++i) {
        const QString path = Qs(recent.Get(i));
        QAction* entry = m_pRecentMenu->addAction(
            QStringLiteral("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(path)));
        entry->setStatusTip(QStringLiteral("Открыть проект %1").arg(path));
        connect(entry, &QAction::triggered, this, [this, i] { OnOpenRecent(static_cast<int>(i)); });
    }
}

void CMainFrame::UpdateWindowMenu()
{
    CCommandSet& c = *m_pCommands;
    m_pWindowMenu->clear();
    m_pWindowMenu->addAction(c.Action(ID_WINDOW_CASCADE));
    m_pWindowMenu->addAction(c.Action(ID_WINDOW_TILE));
    m_pWindowMenu->addAction(c.Action(ID_WINDOW_ARRANGE));
    const QList<QMdiSubWindow*> windows = m_pMdiArea->subWindowList();
    bool separator = false;
    int number = 0;
    for (QMdiSubWindow* window : windows) {
        if (!window->isVisible())
            continue;
        if (!separator) {
            m_pWindowMenu->addSeparator();
            separator = true;
        }
        const auto* child = dynamic_cast<CChildFrame*>(window);
        const QString title = child != nullptr ? child->GetDocTitle() : window->windowTitle();
        QAction* entry =
            m_pWindowMenu->addAction(QStringLiteral("&%1 %2").arg(++number).arg(title));
        entry->setCheckable(true);
        entry->setChecked(window == m_pMdiArea->activeSubWindow());
        connect(entry, &QAction::triggered, this,
                [this, window] { m_pMdiArea->setActiveSubWindow(window); });
    }
}

// ---- Events ------------------------------------------------------------------------

void CMainFrame::OnSessionStarted()
{
    // The first row of every run shows 0.
    m_pProtoBar->ResetTimeBase();
    UpdateStatus();
    UpdateCommands();
}

void CMainFrame::OnSessionStopped()
{
    UpdateStatus();
    UpdateCommands();
}

void CMainFrame::OnDocumentOpened(CDocument& doc)
{
    if (auto* script = dynamic_cast<CScriptDoc*>(&doc)) {
        CChildFrame* child = m_pScriptFrames->FrameOf(*script);
        QPointer<CScriptFrame> view =
            child != nullptr ? qobject_cast<CScriptFrame*>(child->widget()) : nullptr;
        script->SetLogBatchSink([this, script, view](const CScriptDoc::LogBatch& batch) {
            // MAXLOGS as it is when the lines arrive.
            if (view)
                view->AddLogBatch(batch, m_runtime.Settings().MAXLOGS);
            WriteScriptLines(*script, batch);
        });
        script->SetFrontHandler([view] {
            if (view)
                view->BringToFront();
        });
        script->SetBeepHandler([] { QApplication::beep(); });
    }
}

void CMainFrame::WriteScriptLines(const CScriptDoc& doc, const std::vector<SScriptLogRecord>& batch)
{
    if (m_pLog == nullptr)
        return;
    std::vector<std::string> lines;
    lines.reserve(batch.size());
    for (const SScriptLogRecord& rec : batch)
        lines.push_back(FormatScriptLogLine(doc.GetTitle(), rec));
    m_pLog->Write(lines);
}

void CMainFrame::OnModifiedChanged(CDocument& doc)
{
    for (CDocFrames* frames : { m_pDevFrames.get(), m_pScriptFrames.get() })
        if (CChildFrame* frame = frames->FrameOf(doc))
            frame->UpdateTitle();
    UpdateTitle();
    UpdateCommands();
}

void CMainFrame::OnTitleChanged(CDocument& doc)
{
    OnModifiedChanged(doc);
}

void CMainFrame::closeEvent(QCloseEvent* event)
{
    // No edits are lost without asking.
    if (!m_runtime.Project().SaveModifiedDocuments(nullptr)) {
        event->ignore();
        return;
    }
    if (m_runtime.IsRunning())
        m_runtime.Stop();
    event->accept();
    // The program ends with its main window, graph windows open or not.
    QCoreApplication::quit();
}

void CMainFrame::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    const bool grew = event->size().width() > event->oldSize().width() ||
                      event->size().height() > event->oldSize().height();
    m_szFrame = event->size();
    if (grew)
        QTimer::singleShot(0, this, &CMainFrame::RestoreDockSizes);
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event)
{
    // The status bar and the child windows, shown or hidden (the docks tell
    // by their signal).
    const bool dock = watched == m_pDevDbBar || watched == m_pProtoBar;
    if ((event->type() == QEvent::Show || event->type() == QEvent::Hide) && !dock)
        UpdateCommands();
    // A dock resized while the window keeps its size was sized by the user.
    if (event->type() == QEvent::Resize && !m_bRestoringDocks && size() == m_szFrame) {
        const QSize docked = static_cast<QResizeEvent*>(event)->size();
        if (watched == m_pDevDbBar && !m_pDevDbBar->isFloating())
            m_nTreeWidth = docked.width();
        else if (watched == m_pProtoBar && !m_pProtoBar->isFloating())
            m_nLogHeight = docked.height();
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::RestoreDockSizes()
{
    // What the area of the child windows keeps at least.
    constexpr int kMinAreaWidth = 300;
    constexpr int kMinAreaHeight = 150;
    const QSize area = m_pMdiArea->size();
    m_bRestoringDocks = true;
    if (m_pDevDbBar->isVisible() && !m_pDevDbBar->isFloating() &&
        m_pDevDbBar->width() < m_nTreeWidth && area.width() > kMinAreaWidth) {
        const int room = area.width() - kMinAreaWidth;
        resizeDocks({ m_pDevDbBar }, { std::min(m_nTreeWidth, m_pDevDbBar->width() + room) },
                    Qt::Horizontal);
    }
    if (m_pProtoBar->isVisible() && !m_pProtoBar->isFloating() &&
        m_pProtoBar->height() < m_nLogHeight && area.height() > kMinAreaHeight) {
        const int room = area.height() - kMinAreaHeight;
        resizeDocks({ m_pProtoBar }, { std::min(m_nLogHeight, m_pProtoBar->height() + room) },
                    Qt::Vertical);
    }
    // The docks take their new sizes when the layout runs, after this.
    QTimer::singleShot(0, this, [this] { m_bRestoringDocks = false; });
}

// ---- Commands ----------------------------------------------------------------------

QString CMainFrame::AskPath(const QString& title, const QString& filter, bool save)
{
    if (m_fnFilePrompt) {
        const QString path = m_fnFilePrompt(title, filter, save);
        return save ? WithFilterSuffix(path, filter) : path;
    }
    const QString dir = Qs(m_runtime.Project().GetBaseDir());
    return save ? AskSavePath(this, title, dir, filter)
                : QFileDialog::getOpenFileName(this, title, dir, filter);
}

void CMainFrame::SaveSettings()
{
    m_runtime.SaveSettings();
}

void CMainFrame::OnNewProject()
{
    m_runtime.Project().OnNewProject();
}

void CMainFrame::OnNewDevice()
{
    CreateDevice(QStringLiteral("Новое устройство"));
}

CDevDoc* CMainFrame::CreateDevice(const QString& title)
{
    CPrjManager& project = m_runtime.Project();
    const QString path = AskPath(title, QStringLiteral("Файлы устройств (*.kvxd)"), true);
    if (path.isEmpty())
        return nullptr;
    // The file's name as the ID, the first address no device of the project
    // has: both offered, both checked.
    int addr = 1;
    while (addr < kMaxSlaveAddr &&
           m_runtime.FindDeviceByAddr(static_cast<std::uint8_t>(addr)) != nullptr)
        ++addr;
    CChgDevIdDlg dialog(Ss(QFileInfo(path).completeBaseName().toUpper()),
                        static_cast<std::uint8_t>(addr), m_runtime.Settings().EDITHEX != 0, this);
    dialog.setWindowTitle(title);
    dialog.SetIdCheck([this](const std::string& id) {
        if (id.find_first_not_of(" \t") == std::string::npos)
            return QStringLiteral("Не задан идентификатор устройства!");
        if (m_runtime.FindDeviceById(id) != nullptr)
            return QStringLiteral("Устройство с идентификатором %1 уже есть в проекте!")
                .arg(Qs(id));
        return QString();
    });
    if (dialog.exec() != QDialog::Accepted)
        return nullptr;
    return dynamic_cast<CDevDoc*>(project.OnNewDevice(Ss(path), dialog.GetId(), dialog.GetAddr()));
}

void CMainFrame::OnImportMap(bool append)
{
    CPrjManager& project = m_runtime.Project();
    CDevDoc* device = append ? project.GetSelectedDevice() : nullptr;
    if (append && device == nullptr)
        return;
    const QString title = QStringLiteral("Импорт карты регистров");
    const QString path = AskPath(title, QStringLiteral("Карты регистров (*.csv)"), false);
    if (path.isEmpty())
        return;
    std::string bytes;
    if (const int error = ReadWholeFile(Ss(path), bytes); error != 0) {
        QMessageBox::warning(
            this, QStringLiteral("Ошибка"),
            QStringLiteral("Не удаётся прочитать файл \"%1\": %2").arg(path, Qs(ErrorText(error))));
        return;
    }
    const std::string name = Ss(QFileInfo(path).fileName());
    SMapReadResult result = ReadRegisterMap(bytes, name);
    if (result.arErrors.empty() && device != nullptr)
        result.arErrors = CheckRegisterMapFor(*device, result.map, name);
    // Every message, one a line; the first ones in the box, all below it.
    const auto show = [this, &title](const std::vector<std::string>& lines, const QString& head,
                                     QMessageBox::Icon icon) {
        QStringList all;
        for (const std::string& line : lines)
            all << Qs(line);
        QMessageBox box(icon, title, head, QMessageBox::Ok, this);
        box.setInformativeText(all.mid(0, 10).join(QLatin1Char('\n')) +
                               (all.size() > 10 ? QStringLiteral("\n...") : QString()));
        box.setDetailedText(all.join(QLatin1Char('\n')));
        box.exec();
    };
    if (!result.arErrors.empty()) {
        show(result.arErrors,
             QStringLiteral("Карта не импортирована: ошибок %1").arg(result.arErrors.size()),
             QMessageBox::Warning);
        return;
    }
    if (!result.arWarnings.empty())
        show(result.arWarnings, QStringLiteral("Предупреждения карты"), QMessageBox::Information);
    const bool created = device == nullptr;
    if (created && (device = CreateDevice(QStringLiteral("Новое устройство из карты"))) == nullptr)
        return;
    ApplyRegisterMap(*device, result.map);
    if (created)
        device->Save();
    statusBar()->showMessage(QStringLiteral("Импортировано ячеек: %1 (%2)")
                                 .arg(result.map.arCells.size())
                                 .arg(Qs(device->GetDevId())),
                             5000);
}

void CMainFrame::OnNewScript()
{
    const QString path =
        AskPath(QStringLiteral("Новый скрипт"), QStringLiteral("Файлы скриптов (*.kvxs)"), true);
    if (!path.isEmpty())
        m_runtime.Project().OnNewScript(Ss(path), EncodeScriptFile(NewScriptText()));
}

void CMainFrame::OnOpenProject()
{
    const QString path =
        AskPath(QStringLiteral("Открыть проект"), QStringLiteral("Файлы проекта (*.kvxp)"), false);
    if (path.isEmpty())
        return;
    m_runtime.Project().OnOpenProject(Ss(path));
}

void CMainFrame::OnOpenRecent(int index)
{
    m_runtime.Project().OnOpenRecentProject(static_cast<std::size_t>(index));
}

void CMainFrame::OnSaveAll()
{
    m_runtime.Project().OnSaveAll();
}

void CMainFrame::OnAddDevice()
{
    const QString path = AskPath(QStringLiteral("Добавить устройство в проект"),
                                 QStringLiteral("Файлы устройств (*.kvxd)"), false);
    if (!path.isEmpty())
        m_runtime.Project().OnAddDevice(Ss(path));
}

void CMainFrame::OnAddScript()
{
    const QString path = AskPath(QStringLiteral("Добавить скрипт в проект"),
                                 QStringLiteral("Файлы скриптов (*.kvxs)"), false);
    if (!path.isEmpty())
        m_runtime.Project().OnAddScript(Ss(path));
}

void CMainFrame::OnRemoveFromProject()
{
    m_runtime.Project().OnRemoveFromProject();
}

void CMainFrame::OnOpenSelected()
{
    m_runtime.Project().OnOpenSelected();
}

void CMainFrame::OnChangeDevId()
{
    CPrjManager& project = m_runtime.Project();
    CDevDoc* device = project.GetSelectedDevice();
    if (device == nullptr)
        return;
    CChgDevIdDlg dialog(device->GetDevId(), device->GetDevAddr(), m_runtime.Settings().EDITHEX != 0,
                        this);
    if (dialog.exec() == QDialog::Accepted)
        device->ChangeIdAndAddress(dialog.GetId(), dialog.GetAddr());
}

void CMainFrame::OnFaults()
{
    CDevDoc* device = m_runtime.Project().GetSelectedDevice();
    if (device == nullptr)
        return;
    CFaultsDlg dialog(
        device->GetDevId(), m_runtime.GetFaults(device),
        [this, device](const std::string& rules) { return m_runtime.SetFaults(device, rules); },
        this);
    dialog.exec();
}

void CMainFrame::OnStart()
{
    if (!m_runtime.Start()) {
        // The title's first letter is a Latin O, as the Windows program
        // shows it.
        QMessageBox::warning(this, QStringLiteral("Oшибка"), Qs(m_runtime.GetLastError()));
        m_runtime.Stop();
    }
    // The port opens after the session has told its start: only now does
    // the status know which port serves.
    UpdateStatus();
}

void CMainFrame::OnStop()
{
    m_runtime.Stop();
}

void CMainFrame::OnPortParams()
{
    m_runtime.RefreshPorts();
    const std::string session =
        m_runtime.IsRunning() ? m_runtime.Settings().m_info.m_strComName : "";
    CSetupSerialDlg dialog(m_runtime.GetPorts(), m_runtime.Settings(), session, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    SPortSettings chosen = m_runtime.Settings();
    dialog.Apply(chosen);
    m_runtime.ChoosePort(chosen.PORT);
    // The dialog's part of the settings only: assigned through the port
    // settings' base, the record keeps the rest (logs, number formats,
    // CHILDSTATE) as it is.
    m_runtime.ChangeSettings([&chosen](SSettings& s) { static_cast<SPortSettings&>(s) = chosen; });
    SaveSettings();
}

void CMainFrame::OnUiParams()
{
    CSetupLogsDlg dialog(m_runtime.Settings(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    m_runtime.ChangeSettings([&dialog](SSettings& s) { dialog.Apply(s); });
    m_runtime.ChooseStrict(m_runtime.Settings().MBSTRICT != 0);
    m_runtime.ChooseCellRules(m_runtime.Settings().MBCELLRULES != 0);
    SaveSettings();
}

void CMainFrame::OnToggleToolBar()
{
    m_bShowToolBar = !m_pToolBar->isVisible();
    m_pToolBar->setVisible(m_bShowToolBar);
    SaveSettings();
}

void CMainFrame::OnToggleDock(QWidget* dock, bool& flag)
{
    flag = !dock->isVisible();
    dock->setVisible(flag);
    SaveSettings();
}

void CMainFrame::OnHelpFile()
{
    QDesktopServices::openUrl(ManualUrl());
}

void CMainFrame::OnAbout()
{
    CAboutDlg dialog(this);
    dialog.exec();
}

void CMainFrame::OnArrangeIcons()
{
    // Minimised windows in a row along the bottom of the area.
    int x = 0;
    const int bottom = m_pMdiArea->viewport()->height();
    for (QMdiSubWindow* window : m_pMdiArea->subWindowList()) {
        if (!window->isVisible() || !window->isMinimized())
            continue;
        window->move(x, bottom - window->height());
        x += window->width();
    }
}

} // namespace korvex
