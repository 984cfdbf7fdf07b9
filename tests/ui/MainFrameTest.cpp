// The main window: the command states per mode, start-up and the tree bar.

#include "UiHarness.h"
#include "core/CDevDoc.h"
#include "core/CFaultInjector.h"
#include "core/FaultRules.h"
#include "files/CPrjDoc.h"
#include "files/CProjectTree.h"
#include "files/CodePage.h"
#include "ui/CChgDevIdDlg.h"
#include "ui/CComboSerial.h"
#include "ui/CDevDbBar.h"
#include "ui/CDevView.h"
#include "ui/CEditDexHex.h"
#include "ui/CFaultsDlg.h"
#include "ui/CProtoBar.h"
#include "ui/CSetupSerialDlg.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

#include <modbus/modbus.h>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

namespace korvex::test {
namespace {

// A project with the device PUMP1 at 1 and a script, written into dir.
std::string WriteProject(const CTempDir& dir)
{
    dir.Write("pump.kvxd", "PUMP1\t1\r\nHREG\td\tR\t0\tRW\t0-9\t1\r\n");
    dir.Write("s.kvxs", "MyObject.Sleep(100000);\r\n");
    return dir.Write("p.kvxp", ".\\s.kvxs\r\n.\\pump.kvxd\r\n");
}

using States = std::map<CommandId, bool>;

// The enabled state of every command whose rule depends on the mode.
States Enabled(UiHarness& h)
{
    States states;
    for (const CommandId id :
         { ID_NEW_PROJECT, ID_NEW_DEVICE, ID_NEW_SCRIPT, ID_OPEN_PROJECT, ID_SAVE_ALL,
           ID_ADD_DEVICE, ID_ADD_SCRIPT, ID_REMOVE_FROM_PROJECT, ID_OPEN_SELECTED, ID_CHANGE_DEV_ID,
           ID_START, ID_STOP, ID_CLEAR_LOG, ID_PORT_PARAMS, ID_UI_PARAMS, ID_HELP_FILE, ID_ABOUT })
        states[id] = h.Action(id)->isEnabled();
    return states;
}

void Select(UiHarness& h, int kind)
{
    CProjectTree& tree = h.Project().GetProjectTree();
    const HNODE group = tree.FindGroup(kind == NODE_SCRIPT ? CProjectTree::kScriptsGroup
                                                           : CProjectTree::kDevicesGroup);
    tree.Select(kind == NODE_GROUP ? group : tree.GetChildren(group).front());
    h.Pump();
}

TEST(MainFrame, CommandStatesFollowTheMode)
{
    UiHarness h(false);
    h.frame->OpenStartupProject(QString::fromStdString(WriteProject(h.dir)));
    h.Pump();
    // Stopped, nothing selected, empty log, nothing modified.
    States want = {
        { ID_NEW_PROJECT, true },    { ID_NEW_DEVICE, true },
        { ID_NEW_SCRIPT, true },     { ID_OPEN_PROJECT, true },
        { ID_SAVE_ALL, false },      { ID_ADD_DEVICE, true },
        { ID_ADD_SCRIPT, true },     { ID_REMOVE_FROM_PROJECT, false },
        { ID_OPEN_SELECTED, false }, { ID_CHANGE_DEV_ID, true },
        { ID_START, true },          { ID_STOP, false },
        { ID_CLEAR_LOG, false },     { ID_PORT_PARAMS, true },
        { ID_UI_PARAMS, true },      { ID_HELP_FILE, true },
        { ID_ABOUT, true },
    };
    EXPECT_EQ(Enabled(h), want);

    // A group selected: still nothing to open or remove; a device or a script:
    // both.
    Select(h, NODE_GROUP);
    EXPECT_FALSE(h.Action(ID_OPEN_SELECTED)->isEnabled());
    Select(h, NODE_SCRIPT);
    EXPECT_TRUE(h.Action(ID_REMOVE_FROM_PROJECT)->isEnabled());
    Select(h, NODE_DEVICE);
    want[ID_REMOVE_FROM_PROJECT] = want[ID_OPEN_SELECTED] = true;
    EXPECT_EQ(Enabled(h), want);

    // A document modified (on another thread's behalf: the change is posted).
    h.App().GetDevices().front()->SetModifiedFlag(true);
    EXPECT_FALSE(h.Action(ID_SAVE_ALL)->isEnabled());
    h.Pump();
    want[ID_SAVE_ALL] = true;
    EXPECT_EQ(Enabled(h), want);

    // Running on the virtual port: everything that changes the project, the
    // port or the settings is off; the log fills.
    h.Action(ID_START)->trigger();
    ASSERT_TRUE(h.App().IsRunning()) << h.frame->GetStatusText().toStdString();
    h.App().GetLines().AddLine(LK_WARNING, "", -1, "line");
    h.Pump();
    EXPECT_TRUE(h.frame->GetStatusText().startsWith(QStringLiteral("Работает: виртуальный порт")));
    const States running = {
        { ID_NEW_PROJECT, false },   { ID_NEW_DEVICE, false },
        { ID_NEW_SCRIPT, false },    { ID_OPEN_PROJECT, false },
        { ID_SAVE_ALL, true },       { ID_ADD_DEVICE, false },
        { ID_ADD_SCRIPT, false },    { ID_REMOVE_FROM_PROJECT, false },
        { ID_OPEN_SELECTED, false }, { ID_CHANGE_DEV_ID, false },
        { ID_START, false },         { ID_STOP, true },
        { ID_CLEAR_LOG, true },      { ID_PORT_PARAMS, false },
        { ID_UI_PARAMS, false },     { ID_HELP_FILE, true },
        { ID_ABOUT, true },
    };
    EXPECT_EQ(Enabled(h), running);

    // The protocol bar hidden: nothing to clear; the tree bar hidden: nothing
    // to remove, the check marks follow.
    h.Action(ID_VIEW_PROTO)->trigger();
    EXPECT_FALSE(h.Action(ID_CLEAR_LOG)->isEnabled());
    EXPECT_FALSE(h.Action(ID_VIEW_PROTO)->isChecked());
    h.Action(ID_VIEW_PROTO)->trigger();
    EXPECT_TRUE(h.Action(ID_VIEW_PROTO)->isChecked());
    h.Action(ID_STOP)->trigger();
    h.Pump();
    EXPECT_TRUE(h.Action(ID_START)->isEnabled());
    EXPECT_EQ(h.frame->GetStatusText(), QStringLiteral("Остановлен"));
    h.Action(ID_VIEW_DEVDB)->trigger();
    EXPECT_FALSE(h.Action(ID_REMOVE_FROM_PROJECT)->isEnabled());
    EXPECT_FALSE(h.Action(ID_CHANGE_DEV_ID)->isEnabled());
    EXPECT_FALSE(h.Action(ID_VIEW_DEVDB)->isChecked());

    // Clearing empties the log and turns the command off.
    h.Action(ID_CLEAR_LOG)->trigger();
    EXPECT_EQ(h.frame->ProtoBar()->GetLineCount(), 0);
    EXPECT_FALSE(h.Action(ID_CLEAR_LOG)->isEnabled());

    // The toolbar toggle.
    h.Action(ID_VIEW_TOOLBAR)->trigger();
    EXPECT_FALSE(h.frame->ToolBar()->isVisible());
    EXPECT_FALSE(h.Action(ID_VIEW_TOOLBAR)->isChecked());
    h.App().GetDevices().front()->SetModifiedFlag(false);
    h.Pump();
}

// What no mode decides follows its own event: the recent list, the child
// windows shown or hidden, the status bar.
TEST(MainFrame, StatesFollowTheirEvents)
{
    UiHarness h(false);
    QMenu* recent = nullptr;
    for (QMenu* menu : h.frame->findChildren<QMenu*>())
        if (menu->title() == QStringLiteral("Последние проекты"))
            recent = menu;
    ASSERT_NE(recent, nullptr);
    const QString path = QString::fromStdString(WriteProject(h.dir));
    h.frame->OpenStartupProject(path);
    EXPECT_TRUE(MenuTexts(*recent).startsWith(QStringLiteral("&1 ") + path))
        << MenuTexts(*recent).toStdString();
    h.Project().RemoveFromRecentFileList(0);
    EXPECT_FALSE(MenuTexts(*recent).contains(path));

    EXPECT_TRUE(h.Action(ID_WINDOW_TILE)->isEnabled());
    for (QMdiSubWindow* sub : h.frame->MdiArea()->subWindowList())
        sub->close();
    EXPECT_FALSE(h.Action(ID_WINDOW_TILE)->isEnabled());

    // The status bar's check mark follows the bar, whoever hides it.
    h.frame->statusBar()->hide();
    EXPECT_FALSE(h.Action(ID_VIEW_STATUSBAR)->isChecked());
    h.Action(ID_VIEW_STATUSBAR)->trigger();
    EXPECT_TRUE(h.frame->statusBar()->isVisible());
    EXPECT_TRUE(h.Action(ID_VIEW_STATUSBAR)->isChecked());
}

TEST(MainFrame, StartUpOpensTheRecentProjectOrMakesANewOne)
{
    // An empty list: a new, untitled project.
    {
        UiHarness h;
        ASSERT_NE(h.Project().GetProject(), nullptr);
        EXPECT_TRUE(h.Project().GetProject()->GetPathName().empty());
        EXPECT_TRUE(h.frame->windowTitle().startsWith(QStringLiteral("Безымянный - Korvex")));
        EXPECT_EQ(h.Project().GetProjectTree().GetChildren(0).size(), 2u);
    }
    // A recent project that exists opens; one whose file was deleted leaves
    // the list and a new project is made.
    CTempDir files;
    const std::string path = WriteProject(files);
    {
        UiHarness h(false);
        h.Project().AddToRecentFileList(path);
        h.frame->OpenStartupProject();
        EXPECT_EQ(h.Project().GetProject()->GetPathName(), path);
        EXPECT_EQ(h.App().GetDevices().size(), 1u);
        EXPECT_TRUE(h.frame->windowTitle().startsWith(QStringLiteral("p.kvxp - Korvex")))
            << h.frame->windowTitle().toStdString();
    }
    std::filesystem::remove(path);
    {
        UiHarness h(false);
        ASSERT_EQ(h.Project().GetRecentList().Get(0), path);
        h.frame->OpenStartupProject();
        const auto& paths = h.Project().GetRecentList().GetPaths();
        EXPECT_EQ(std::find(paths.begin(), paths.end(), path), paths.end());
        EXPECT_TRUE(h.Project().GetProject()->GetPathName().empty());
    }
}

// Saved as "p1", a new project is p1.kvxp: found by the open dialog's
// filter and listed among the recent projects.
TEST(MainFrame, SavingANewProjectAppendsItsExtension)
{
    UiHarness h;
    h.Project().GetProject()->SetModifiedFlag(true);
    h.Pump();
    h.paths.push_back(QString::fromStdString(h.dir.File("p1")));
    h.Action(ID_SAVE_ALL)->trigger();
    EXPECT_TRUE(std::filesystem::exists(h.dir.File("p1.kvxp")));
    EXPECT_FALSE(std::filesystem::exists(h.dir.File("p1")));
    EXPECT_EQ(h.Project().GetRecentList().Get(0), h.dir.File("p1.kvxp"));
    EXPECT_TRUE(h.frame->windowTitle().startsWith(QStringLiteral("p1.kvxp - Korvex")))
        << h.frame->windowTitle().toStdString();
}

// Each name in the title carries its own document's mark, a maximised
// device window's included.
TEST(MainFrame, TheTitleMarksExactlyTheModifiedDocuments)
{
    UiHarness h(false);
    h.frame->OpenStartupProject(QString::fromStdString(WriteProject(h.dir)));
    Select(h, NODE_DEVICE);
    h.Action(ID_OPEN_SELECTED)->trigger();
    h.Pump();
    CDevDoc* pump = h.App().GetDevices().front();
    const auto title = [&] { return h.frame->windowTitle(); };
    EXPECT_TRUE(title().startsWith(QStringLiteral("p.kvxp - Korvex"))) << title().toStdString();
    EXPECT_TRUE(title().endsWith(QStringLiteral("[pump.kvxd]"))) << title().toStdString();
    // Closing the maximised window leaves the next one maximised.
    QMdiSubWindow* device = h.frame->MdiArea()->activeSubWindow();
    QMdiSubWindow* script = h.frame->MdiArea()->subWindowList().front();
    ASSERT_NE(script, device);
    device->close();
    h.Pump();
    EXPECT_EQ(h.frame->MdiArea()->activeSubWindow(), script);
    EXPECT_TRUE(script->isMaximized());
    EXPECT_EQ(h.App().GetSettings().CHILDSTATE, 1);
    h.Action(ID_OPEN_SELECTED)->trigger();
    h.Pump();
    // Removing the script changes the project only.
    Select(h, NODE_SCRIPT);
    h.Action(ID_REMOVE_FROM_PROJECT)->trigger();
    h.Pump();
    EXPECT_TRUE(title().startsWith(QStringLiteral("p.kvxp* - Korvex"))) << title().toStdString();
    EXPECT_TRUE(title().endsWith(QStringLiteral("[pump.kvxd]"))) << title().toStdString();
    EXPECT_FALSE(pump->IsModified());
    // A changed device is marked, and only it once the project is saved.
    pump->SetModifiedFlag(true);
    h.Pump();
    EXPECT_TRUE(title().endsWith(QStringLiteral("[pump.kvxd*]"))) << title().toStdString();
    ASSERT_TRUE(h.Project().GetProject()->DoSave(std::string()));
    h.Pump();
    EXPECT_TRUE(title().startsWith(QStringLiteral("p.kvxp - Korvex"))) << title().toStdString();
    EXPECT_TRUE(title().endsWith(QStringLiteral("[pump.kvxd*]"))) << title().toStdString();
    pump->SetModifiedFlag(false);
}

// A held Enter on a device opens its window and nothing else: the key's
// repeats reach the window it opened, whose selected cell must not be edited.
TEST(DevDbBar, OneKeystrokeOneAction)
{
    UiHarness h(false);
    h.frame->OpenStartupProject(QString::fromStdString(WriteProject(h.dir)));
    Select(h, NODE_DEVICE);
    QWidget* tree = h.frame->DevDbBar()->View();
    bool dialog = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&dialog] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            dialog = true;
            modal->close();
        }
    });
    watch.start(1);
    QWidget* target = tree;
    for (const bool repeat : { false, true, true }) {
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QString(), repeat);
        QCoreApplication::sendEvent(target, &enter);
        h.Pump();
        if (!repeat) {
            // The window has the focus, a cell selected as a user left it.
            auto* view = dynamic_cast<CDevView*>(h.frame->MdiArea()->currentSubWindow()->widget());
            ASSERT_NE(view, nullptr);
            view->SelectItem(h.App().GetDevices().front()->FindItem(HREG, 0));
            target = QApplication::focusWidget();
            ASSERT_EQ(target, view->focusProxy());
        }
    }
    EXPECT_FALSE(dialog);
    // A held Del removes one node only.
    h.frame->DevDbBar()->View()->setFocus();
    Select(h, NODE_SCRIPT);
    for (const bool repeat : { false, true }) {
        QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(), repeat);
        QCoreApplication::sendEvent(tree, &del);
        Select(h, NODE_DEVICE);
    }
    EXPECT_EQ(h.App().GetDevices().size(), 1u);
    h.Project().GetProject()->SetModifiedFlag(false);
}

// Shrunk to its minimum and enlarged again, the window gives the tree and
// the log back a size to work with.
TEST(MainFrame, DocksRecoverTheirSizeAfterTheWindowShrinks)
{
    UiHarness h;
    h.frame->resize(1100, 720);
    h.Pump();
    const int tree = h.frame->DevDbBar()->width();
    const int log = h.frame->findChild<CProtoBar*>()->height();
    h.frame->resize(h.frame->minimumSizeHint());
    h.Pump();
    h.frame->resize(1100, 720);
    EXPECT_TRUE(QTest::qWaitFor([&] { return h.frame->DevDbBar()->width() >= tree * 9 / 10; }))
        << h.frame->DevDbBar()->width();
    EXPECT_TRUE(QTest::qWaitFor([&] {
        return h.frame->findChild<CProtoBar*>()->height() >= log * 9 / 10;
    })) << h.frame->findChild<CProtoBar*>()->height();
}

// A device and a script made from the file menu: their files written, both
// in the project (saved with it) and their windows open.
TEST(MainFrame, NewDeviceAndScriptFromTheFileMenu)
{
    UiHarness h(false);
    h.frame->OpenStartupProject(QString::fromStdString(WriteProject(h.dir)));
    h.paths.push_back(QString::fromStdString(h.dir.File("meter")));
    QString refusal;
    QTimer::singleShot(0, [&refusal] {
        auto* dialog = dynamic_cast<CChgDevIdDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Новое устройство"));
        EXPECT_EQ(dialog->GetId(), "METER");
        EXPECT_EQ(dialog->GetAddr(), 2); // PUMP1 has 1
        // An ID the project has is refused, the dialog stays.
        dialog->IdEdit()->setText(QStringLiteral("PUMP1"));
        CloseNextModal();
        dialog->accept();
        refusal = dialog->GetLastMessage();
        dialog->IdEdit()->setText(QStringLiteral("M7"));
        dialog->AddrEdit()->SetNumber(7);
        dialog->accept();
    });
    h.Action(ID_NEW_DEVICE)->trigger();
    EXPECT_EQ(refusal, QStringLiteral("Устройство с идентификатором PUMP1 уже есть в проекте!"));
    ASSERT_EQ(h.App().GetDevices().size(), 2u);
    CDevDoc* meter = h.App().FindDeviceById("M7");
    ASSERT_NE(meter, nullptr);
    EXPECT_EQ(meter->GetDevAddr(), 7);
    EXPECT_EQ(meter->GetPathName(), h.dir.File("meter.kvxd"));
    EXPECT_NE(ReadBytes(h.dir.File("meter.kvxd")).find("\r\nM7\t0x7\r\n"), std::string::npos);
    EXPECT_EQ(dynamic_cast<CDevView*>(h.frame->MdiArea()->activeSubWindow()->widget())
                  ->Model()
                  .rowCount(),
              4); // the four empty groups

    h.paths.push_back(QString::fromStdString(h.dir.File("poll")));
    h.Action(ID_NEW_SCRIPT)->trigger();
    EXPECT_NE(ReadBytes(h.dir.File("poll.kvxs")).find("MyObject.Sleep(1000);"), std::string::npos);
    EXPECT_EQ(h.frame->MdiArea()->activeSubWindow()->windowTitle(), QStringLiteral("poll.kvxs"));
    EXPECT_TRUE(h.Project().GetProject()->IsModified());
    ASSERT_TRUE(h.Project().GetProject()->DoSave(std::string()));
    const std::string project = ReadBytes(h.dir.File("p.kvxp"));
    EXPECT_NE(project.find(".\\meter.kvxd\r\n"), std::string::npos) << project;
    EXPECT_NE(project.find(".\\poll.kvxs\r\n"), std::string::npos) << project;
}

// The answer never waits for the windows: a master polling with a 500 ms
// time-out gets every answer while the user-interface thread is busy for 2 s.
TEST(MainFrame, AnswersDoNotWaitForTheWindows)
{
    UiHarness h(false);
    h.frame->OpenStartupProject(QString::fromStdString(WriteProject(h.dir)));
    h.Action(ID_START)->trigger();
    ASSERT_TRUE(h.App().IsRunning());
    std::atomic<int> answered{ 0 };
    std::atomic<int> failed{ 0 };
    std::atomic<bool> blocked{ false };
    std::atomic<int> answeredBlocked{ 0 };
    std::atomic<bool> stop{ false };
    std::thread master([&] {
        modbus_t* ctx = modbus_new_rtu(h.dir.File("tty").c_str(), 9600, 'N', 8, 1);
        modbus_set_slave(ctx, 1);
        modbus_set_response_timeout(ctx, 0, 500000);
        if (modbus_connect(ctx) == 0) {
            modbus_flush(ctx);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (!stop && std::chrono::steady_clock::now() < deadline) {
                std::uint16_t value = 0;
                if (modbus_read_registers(ctx, 0, 1, &value) == 1) {
                    ++answered;
                    if (blocked)
                        ++answeredBlocked;
                } else {
                    ++failed;
                }
            }
        }
        modbus_close(ctx);
        modbus_free(ctx);
    });
    struct SJoin
    {
        std::thread& thread;
        std::atomic<bool>& stop;
        ~SJoin()
        {
            stop = true;
            thread.join();
        }
    } join{ master, stop };
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (answered < 5 && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    ASSERT_GE(answered.load(), 5);
    // Busy: no event is processed for 2 s.
    blocked = true;
    std::this_thread::sleep_for(std::chrono::seconds(2));
    blocked = false;
    EXPECT_EQ(failed.load(), 0);
    EXPECT_GT(answeredBlocked.load(), 20);
    h.Action(ID_STOP)->trigger();
}

// The port dialog's "нет" and network group: the next start serves Modbus TCP
// alone, the status bar says where, a master on the loopback is answered.
TEST(MainFrame, TheNetworkOfThePortDialogIsServed)
{
    UiHarness h(false);
    h.frame->OpenStartupProject(QString::fromStdString(WriteProject(h.dir)));
    CSetupSerialDlg dialog(h.runtime->GetPorts(), h.runtime->Settings(), "", nullptr);
    dialog.PortList()->setCurrentIndex(dialog.PortList()->count() - 1);
    EXPECT_EQ(dialog.PortList()->currentText(), QStringLiteral("нет"));
    dialog.TcpBox()->setChecked(true);
    dialog.TcpAddress()->setText(QStringLiteral("127.0.0.999"));
    CloseNextModal();
    dialog.accept();
    EXPECT_NE(dialog.result(), QDialog::Accepted) << "no such address";
    dialog.TcpAddress()->setText(QStringLiteral("127.0.0.1"));
    dialog.TcpPort()->setValue(0);
    SPortSettings chosen = h.runtime->Settings();
    dialog.Apply(chosen);
    EXPECT_EQ(chosen.NOSERIAL, 1);
    h.runtime->ChangeSettings([&chosen](SSettings& s) { static_cast<SPortSettings&>(s) = chosen; });

    h.Action(ID_START)->trigger();
    ASSERT_TRUE(h.App().IsRunning());
    EXPECT_FALSE(h.runtime->IsServingVirtual());
    const QString status = h.frame->GetStatusText();
    ASSERT_TRUE(status.startsWith(QStringLiteral("Работает: Modbus TCP 127.0.0.1:")))
        << status.toStdString();
    const int port = status.section(QLatin1Char(':'), -1).toInt();
    std::atomic<int> value{ -1 };
    std::thread master([port, &value] {
        modbus_t* ctx = modbus_new_tcp("127.0.0.1", port);
        modbus_set_slave(ctx, 1);
        std::uint16_t reg = 0;
        if (modbus_connect(ctx) == 0 && modbus_read_registers(ctx, 0, 1, &reg) == 1)
            value = reg;
        modbus_close(ctx);
        modbus_free(ctx);
    });
    master.join();
    EXPECT_GE(value.load(), 0);
    h.Action(ID_STOP)->trigger();
    EXPECT_EQ(h.frame->GetStatusText(), QStringLiteral("Остановлен"));
}

// The menu shows Alt+X for Выход; the key must do it.
TEST(MainFrame, AltXExits)
{
    UiHarness h;
    h.frame->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(h.frame.get()));
    QTest::keyClick(h.frame.get(), Qt::Key_X, Qt::AltModifier);
    EXPECT_FALSE(h.frame->isVisible());
}

TEST(DevDbBar, TheContextMenuIsTrimmedForTheNode)
{
    UiHarness h(false);
    CProjectTree& tree = h.Project().GetProjectTree();
    CProjectTreeModel& model = h.frame->DevDbBar()->Model();
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    h.frame->OpenStartupProject(QString::fromStdString(WriteProject(h.dir)));

    auto texts = [&](HNODE node) {
        std::unique_ptr<QMenu> menu(h.frame->DevDbBar()->BuildContextMenu(node));
        EXPECT_EQ(menu->defaultAction()->text(), QStringLiteral("Открыть\tEnter"));
        return MenuTexts(*menu);
    };
    const HNODE devices = tree.FindGroup(CProjectTree::kDevicesGroup);
    const HNODE scripts = tree.FindGroup(CProjectTree::kScriptsGroup);
    const QString device = QStringLiteral(
        "Открыть\tEnter|Добавить устройство\tIns|Изменить ID и адрес|Неисправности...|"
        "Импорт карты регистров...|-|Удалить из проекта\tDel|-|Отмена");
    const QString script = QStringLiteral(
        "Открыть\tEnter|Добавить скрипт\tBackspace|-|Удалить из проекта\tDel|-|Отмена");
    EXPECT_EQ(texts(tree.GetChildren(devices).front()), device);
    EXPECT_EQ(texts(devices), QStringLiteral("Открыть\tEnter|Добавить устройство\tIns|-|"
                                             "Удалить из проекта\tDel|-|Отмена"));
    EXPECT_EQ(texts(tree.GetChildren(scripts).front()), script);
    EXPECT_EQ(texts(scripts), script);

    // The model follows the tree: bold groups, labels, a removed node.
    const QModelIndex group = model.IndexOf(devices);
    EXPECT_TRUE(model.data(group, Qt::FontRole).value<QFont>().bold());
    EXPECT_EQ(model.data(model.index(0, 0, group), Qt::DisplayRole).toString(),
              QStringLiteral(".\\pump (ID=PUMP1, A=0x1)"));
    EXPECT_TRUE(h.frame->DevDbBar()->View()->isExpanded(group));
    tree.Select(tree.GetChildren(devices).front());
    h.Action(ID_REMOVE_FROM_PROJECT)->trigger();
    EXPECT_EQ(model.rowCount(group), 0);
    EXPECT_TRUE(h.App().GetDevices().empty());
    // Ins in the tree adds a device through the file dialog.
    h.paths.push_back(QString::fromStdString(h.dir.File("pump.kvxd")));
    QKeyEvent ins(QEvent::KeyPress, Qt::Key_Insert, Qt::NoModifier);
    QCoreApplication::sendEvent(h.frame->DevDbBar()->View(), &ins);
    EXPECT_EQ(model.rowCount(group), 1);
    EXPECT_TRUE(h.Project().GetProject()->IsModified());
    h.Project().GetProject()->SetModifiedFlag(false);
}

TEST(MainFrame, FaultsAreSetFromTheDialogAndShownInTheTree)
{
    UiHarness h(false);
    h.frame->OpenStartupProject(QString::fromStdString(WriteProject(h.dir)));
    CProjectTree& tree = h.Project().GetProjectTree();
    CProjectTreeModel& model = h.frame->DevDbBar()->Model();
    const QModelIndex device =
        model.index(0, 0, model.IndexOf(tree.FindGroup(CProjectTree::kDevicesGroup)));
    Select(h, NODE_SCRIPT);
    EXPECT_FALSE(h.Action(ID_FAULTS)->isEnabled());
    Select(h, NODE_DEVICE);
    EXPECT_TRUE(h.Action(ID_FAULTS)->isEnabled());

    // The dialog's fields become the device's rules; the label says so.
    QTimer::singleShot(0, [] {
        auto* dialog = dynamic_cast<CFaultsDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->DelayEdit()->setText(QStringLiteral("20-30"));
        dialog->DropSpin()->setValue(5);
        dialog->accept();
    });
    h.Action(ID_FAULTS)->trigger();
    CDevDoc* pump = h.Project().GetSelectedDevice();
    EXPECT_EQ(FormatFaultRules(h.App().GetFaults(pump)), "delay=20-30,drop=5");
    h.Pump();
    EXPECT_EQ(model.data(device, Qt::DisplayRole).toString(),
              QStringLiteral(".\\pump (ID=PUMP1, A=0x1) [неисправности: delay=20-30,drop=5]"));
    EXPECT_TRUE(model.data(device, Qt::ForegroundRole).isValid());
    // Cleared (as a script would) the label is plain again.
    h.App().SetFaults(pump, std::string());
    h.Pump();
    EXPECT_EQ(model.data(device, Qt::DisplayRole).toString(),
              QStringLiteral(".\\pump (ID=PUMP1, A=0x1)"));
    EXPECT_FALSE(model.data(device, Qt::ForegroundRole).isValid());
}

// A register map from CSV: a bad one imports nothing and lists its messages;
// a good one makes a new device, saved with its type file, or is appended to
// the selected device, which refuses addresses it has.
TEST(MainFrame, RegisterMapsAreImportedIntoANewOrTheSelectedDevice)
{
    UiHarness h(false);
    h.frame->OpenStartupProject(QString::fromStdString(WriteProject(h.dir)));
    h.Pump();
    const auto nextBox = [](QString* text) {
        QTimer::singleShot(0, [text] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr)
                return;
            *text = box->text() + QLatin1Char('|') + box->detailedText();
            box->accept();
        });
    };
    const std::string bad =
        h.dir.Write("bad.csv", "kind,address,value\r\nHREG,1,5\r\nXREG,2,0\r\n");
    h.paths = { QString::fromStdString(bad) };
    QString shown;
    nextBox(&shown);
    h.Action(ID_IMPORT_MAP_NEW)->trigger();
    EXPECT_TRUE(
        shown.startsWith(QStringLiteral("Карта не импортирована: ошибок 1|bad.csv:3: kind:")))
        << shown.toStdString();
    EXPECT_EQ(h.App().GetDevices().size(), 1u);

    const std::string map =
        h.dir.Write("meter.csv",
                    "kind;address;id;value;type\r\nHREG;100;U;23,5;float32:CDAB\r\nCOIL;3;;1;\r\n");
    h.paths = { QString::fromStdString(map), QString::fromStdString(h.dir.File("meter.kvxd")) };
    CloseNextModal(true); // the new device's ID and address
    h.Action(ID_IMPORT_MAP_NEW)->trigger();
    h.Pump();
    ASSERT_EQ(h.App().GetDevices().size(), 2u);
    CDevDoc* meter = h.App().GetDevices().back();
    EXPECT_EQ(meter->GetDevId(), "METER");
    EXPECT_EQ(meter->GetTypedValue(HREG, 100), "23.5");
    EXPECT_EQ(meter->FindItem(HREG, 101)->GetValue(), 0x41BC);
    EXPECT_FALSE(meter->IsModified());
    EXPECT_NE(DecodeFileText(ReadBytes(h.dir.File("meter.kvxt"))).find("HREG\t100\tfloat32:CDAB"),
              std::string::npos);

    // Appended to the selected device: an address it has refuses the map.
    CProjectTree& tree = h.Project().GetProjectTree();
    tree.Select(tree.GetChildren(tree.FindGroup(CProjectTree::kDevicesGroup)).front());
    h.Pump();
    CDevDoc* pump = h.Project().GetSelectedDevice();
    ASSERT_NE(pump, nullptr);
    EXPECT_TRUE(h.Action(ID_IMPORT_MAP_APPEND)->isEnabled());
    const std::string more = h.dir.Write("more.csv", "kind,address\r\nHREG,0\r\nHREG,7\r\n");
    h.paths = { QString::fromStdString(more) };
    nextBox(&shown);
    h.Action(ID_IMPORT_MAP_APPEND)->trigger();
    EXPECT_TRUE(shown.contains(QStringLiteral("more.csv: HREG 0x0 (HR0): ")));
    EXPECT_EQ(pump->FindItem(HREG, 7), nullptr);
    const std::string fresh = h.dir.Write("fresh.csv", "kind,address\r\nHREG,7\r\nIREG,2\r\n");
    h.paths = { QString::fromStdString(fresh) };
    h.Action(ID_IMPORT_MAP_APPEND)->trigger();
    ASSERT_NE(pump->FindItem(HREG, 7), nullptr);
    EXPECT_EQ(pump->FindItem(HREG, 7)->GetId(), "HR7");
    EXPECT_NE(pump->FindItem(IREG, 2), nullptr);
    EXPECT_TRUE(pump->IsModified());
    pump->SetModifiedFlag(false);
}

} // namespace
} // namespace korvex::test
