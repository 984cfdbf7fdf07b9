// The device window: rows and texts, live values, the cell dialogs and the
// number field.

#include "UiHarness.h"
#include "core/CDevDoc.h"
#include "files/CProjectTree.h"
#include "files/CodePage.h"
#include "ui/CCellRangeDlg.h"
#include "ui/CChgDevIdDlg.h"
#include "ui/CChildFrame.h"
#include "ui/CDevCellDlg.h"
#include "ui/CDevView.h"
#include "ui/CEditDexHex.h"
#include "ui/CGoToCellDlg.h"
#include "ui/CGraphDlg.h"
#include "ui/CTypedValueDlg.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTest>
#include <QTreeView>

#include <modbus/modbus.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace korvex::test {
namespace {

// A libmodbus master on the virtual port at tty reading count holding
// registers at addr in a loop, for at most 20 s, until stop is set or read,
// given each answer, returns false.
std::thread PollingMaster(const std::string& tty, int addr, int count, std::atomic<bool>& stop,
                          std::function<bool(const std::uint16_t*)> read)
{
    return std::thread([tty, addr, count, &stop, read = std::move(read)] {
        modbus_t* ctx = modbus_new_rtu(tty.c_str(), 9600, 'N', 8, 1);
        modbus_set_slave(ctx, 1);
        modbus_set_response_timeout(ctx, 1, 0);
        if (modbus_connect(ctx) == 0) {
            modbus_flush(ctx);
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            std::uint16_t regs[8] = {};
            bool more = true;
            while (more && !stop && std::chrono::steady_clock::now() < deadline)
                if (modbus_read_registers(ctx, addr, count, regs) == count)
                    more = read(regs);
        }
        modbus_close(ctx);
        modbus_free(ctx);
    });
}

// A project with one device PUMP1 at 1 and its window open.
struct DevHarness : UiHarness
{
    CDevDoc* device{ nullptr };
    CDevView* view{ nullptr };

    DevHarness() : UiHarness(false)
    {
        dir.Write("pump.kvxd", "PUMP1\t1\r\n"
                               "COIL\tНасос\tRUN\t0x3\tRW\t0-1\t1\r\n"
                               "HREG\tДавление\tP\t0x10\tRW\t0-1000\t400\r\n"
                               "HREG\tСкрыт\tZ\t0x11\tRW\t5-5\t5\r\n"
                               "IREG\tТемпература\tT\t7\tR\t0-100\t21\r\n");
        frame->OpenStartupProject(QString::fromStdString(dir.Write("p.kvxp", ".\\pump.kvxd\r\n")));
        device = App().GetDevices().front();
        for (QMdiSubWindow* sub : frame->MdiArea()->subWindowList())
            if (auto* v = dynamic_cast<CDevView*>(sub->widget()))
                view = v;
    }

    QString Text(int type, int row, int column)
    {
        CDevModel& m = view->Model();
        return m.data(m.index(row, column, m.GroupIndex(type)), Qt::DisplayRole).toString();
    }
};

TEST(DevView, RowsTextsAndLiveValues)
{
    DevHarness h;
    ASSERT_NE(h.view, nullptr);
    CDevModel& model = h.view->Model();
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    EXPECT_TRUE(h.view->isVisible());
    // The four groups in order, bold; the cell whose bounds are equal has no row.
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(model.data(model.GroupIndex(HREG), Qt::DisplayRole),
              QStringLiteral("HOLDING REGISTERS"));
    EXPECT_EQ(model.rowCount(model.GroupIndex(COIL)), 1);
    EXPECT_EQ(model.rowCount(model.GroupIndex(HREG)), 1);
    EXPECT_TRUE(h.view->Tree()->isExpanded(model.GroupIndex(DINP)));
    // Numbers are hexadecimal whatever the settings.
    h.App().GetSettings().EDITHEX = 0;
    EXPECT_EQ(h.Text(HREG, 0, CDevModel::COL_DESC), QStringLiteral("Давление"));
    EXPECT_EQ(h.Text(HREG, 0, CDevModel::COL_ID), QStringLiteral("P"));
    EXPECT_EQ(h.Text(HREG, 0, CDevModel::COL_ADDR), QStringLiteral("0x10"));
    EXPECT_EQ(h.Text(HREG, 0, CDevModel::COL_ACCESS), QStringLiteral("RW"));
    EXPECT_EQ(h.Text(HREG, 0, CDevModel::COL_BOUNDS), QStringLiteral("0x0-0x3E8"));
    EXPECT_EQ(h.Text(HREG, 0, CDevModel::COL_VALUE), QStringLiteral("0x190"));
    EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole), QStringLiteral(" ID"));

    // A value set on another thread shows once the loop turns.
    CDevItem* reg = h.device->FindItem(HREG, 0x10);
    int changes = 0;
    QObject::connect(&model, &QAbstractItemModel::dataChanged, [&] { ++changes; });
    std::thread([reg] {
        for (int i = 0; i < 1000; ++i)
            reg->SetValue(static_cast<std::uint16_t>(i));
    }).join();
    h.Pump();
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(h.Text(HREG, 0, CDevModel::COL_VALUE), QStringLiteral("0x3E7"));

    // Add, edit and delete through the device's operations.
    CDevItem* added = h.device->AddItem(HREG, "Q", "Расход", 0x12, ACCESS_RW, 0, 100, 7);
    EXPECT_EQ(model.rowCount(model.GroupIndex(HREG)), 2);
    h.device->EditItem(added, { HREG, "Q", "Расход, м3/ч", 0x12, ACCESS_R, 0, 50, 9 });
    EXPECT_EQ(h.Text(HREG, 1, CDevModel::COL_DESC), QStringLiteral("Расход, м3/ч"));
    EXPECT_EQ(h.Text(HREG, 1, CDevModel::COL_BOUNDS), QStringLiteral("0x0-0x32"));
    h.view->SelectItem(added);
    h.Action(ID_CELL_DELETE)->trigger();
    EXPECT_EQ(model.rowCount(model.GroupIndex(HREG)), 1);

    // While the emulator runs nothing is edited, added or deleted.
    h.Action(ID_START)->trigger();
    ASSERT_TRUE(h.App().IsRunning());
    h.view->SelectItem(reg);
    EXPECT_FALSE(h.Action(ID_CELL_DELETE)->isEnabled());
    EXPECT_FALSE(h.Action(ID_CELL_ADD)->isEnabled());
    EXPECT_TRUE(h.Action(ID_CELL_GRAPH)->isEnabled());
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QCoreApplication::sendEvent(h.view->Tree(), &del);
    EXPECT_EQ(model.rowCount(model.GroupIndex(HREG)), 1);
    h.Action(ID_STOP)->trigger();
    h.device->SetModifiedFlag(false);
}

// A typed cell shows its value with its type, the register it covers says so;
// the type follows the cell when its address changes.
TEST(DevView, TypedValuesInTheValueColumn)
{
    DevHarness h;
    ASSERT_NE(h.view, nullptr);
    CDevItem* second = h.device->AddItem(HREG, "Q", "Расход", 0x12, ACCESS_RW, 0, 0xFFFF, 0);
    CDevItem* first = h.device->AddItem(HREG, "F", "Расход", 0x13, ACCESS_RW, 0, 0xFFFF, 0);
    SCellView view;
    view.type = *ParseValueType("float32:CDAB");
    h.device->SetCellView(HREG, 0x12, view);
    ASSERT_EQ(h.device->SetTypedValue(HREG, 0x12, "23.5"), "");
    EXPECT_EQ(second->GetValue(), 0x0000);
    EXPECT_EQ(first->GetValue(), 0x41BC);
    h.Pump();
    EXPECT_EQ(h.Text(HREG, 1, CDevModel::COL_VALUE), QStringLiteral("23.5"));
    EXPECT_EQ(h.Text(HREG, 1, CDevModel::COL_TYPE), QStringLiteral("float32:CDAB"));
    EXPECT_EQ(h.Text(HREG, 2, CDevModel::COL_VALUE), QStringLiteral("0x41BC (часть 0x12)"));
    EXPECT_EQ(h.Text(HREG, 2, CDevModel::COL_TYPE), QString());
    EXPECT_EQ(h.Text(HREG, 0, CDevModel::COL_VALUE), QStringLiteral("0x190"));
    EXPECT_EQ(h.Text(HREG, 0, CDevModel::COL_TYPE), QStringLiteral("hex"));

    h.device->EditItem(second, { HREG, "Q", "Расход", 0x20, ACCESS_RW, 0, 0xFFFF, 0 });
    EXPECT_TRUE(h.device->GetCellView(HREG, 0x12).IsDefault());
    EXPECT_EQ(h.device->GetCellView(HREG, 0x20), view);
    h.device->SetModifiedFlag(false);
}

// The window's keys and its context menu are commands of the command set,
// enabled from what the active window offers.
TEST(DevView, KeysAndMenuAreCommandsOfTheActiveWindow)
{
    DevHarness h;
    std::unique_ptr<QMenu> menu(h.view->BuildContextMenu());
    EXPECT_EQ(MenuTexts(*menu),
              QStringLiteral(
                  "Изменить\tEnter|Изменить значение\tF2|Добавить\tIns|"
                  "Добавить диапазон...|Дублировать\tCtrl+D|-|"
                  "Перейти к адресу...\tCtrl+G|График\tG|Тип значения|-|Удалить\tDel|-|Отмена"));
    EXPECT_EQ(menu->defaultAction(), h.Action(ID_CELL_EDIT));
    // In the menu's order: edit, value, add, range, duplicate, go to, graph,
    // delete.
    const auto enabled = [&h] {
        std::string on;
        for (const CommandId id :
             { ID_CELL_EDIT, ID_CELL_EDIT_VALUE, ID_CELL_ADD, ID_CELL_ADD_RANGE, ID_CELL_DUPLICATE,
               ID_CELL_GO_TO, ID_CELL_GRAPH, ID_CELL_DELETE })
            on += h.Action(id)->isEnabled() ? '1' : '0';
        return on;
    };
    h.view->Tree()->selectionModel()->clear();
    EXPECT_EQ(enabled(), "00110100");
    CDevItem* p = h.device->FindItem(HREG, 0x10);
    h.view->SelectItem(p);
    EXPECT_EQ(enabled(), "11111111");
    h.Action(ID_START)->trigger();
    ASSERT_TRUE(h.App().IsRunning());
    EXPECT_EQ(enabled(), "11000110");
    h.Action(ID_STOP)->trigger();
    // A repeat of a held key does nothing, the press acts.
    for (const bool repeat : { true, false }) {
        QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QString(), repeat);
        QCoreApplication::sendEvent(h.view->Tree(), &del);
        EXPECT_EQ(h.device->FindItem(HREG, 0x10) != nullptr, repeat);
    }
    // Hidden, the window offers nothing; no window is left to arrange.
    h.view->parentWidget()->close();
    EXPECT_EQ(enabled(), "00000000");
    EXPECT_FALSE(h.Action(ID_WINDOW_CASCADE)->isEnabled());
    h.device->SetModifiedFlag(false);
}

TEST(DevView, ColumnWidthsFollowTheWidth)
{
    using W = std::array<int, CDevModel::COL_COUNT>;
    EXPECT_EQ(CDevView::ColumnWidths(1000), (W{ 340, 110, 80, 40, 130, 170, 130 }));
    EXPECT_EQ(CDevView::ColumnWidths(200), (W{ 180, 40, 40, 25, 80, 110, 95 }));
}

TEST(DevView, ClosingHidesAndMaximisingIsRemembered)
{
    DevHarness h;
    auto* frame = dynamic_cast<CChildFrame*>(h.frame->MdiArea()->subWindowList().front());
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->isMaximized()); // CHILDSTATE is 1 at first
    // Restored the way the menu bar's button does it: the state follows.
    frame->showNormal();
    h.Pump();
    EXPECT_EQ(h.App().GetSettings().CHILDSTATE, 0);
    frame->close();
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(h.App().GetDevices().size(), 1u); // the device still answers
    frame->ShowAndActivate();
    EXPECT_FALSE(frame->isMaximized());
    {
        // Saved at once: the next run opens the window restored.
        DevHarness next;
        EXPECT_FALSE(next.view->parentWidget()->isMaximized());
    }
    frame->showMaximized();
    h.Pump();
    EXPECT_EQ(h.App().GetSettings().CHILDSTATE, 1);
}

TEST(CellDlg, TypeRulesMessagesInOrderAndMemory)
{
    DevHarness h;
    CDevCellDlg dialog(true);
    // The first new-cell opening applies the rules of its type, COIL.
    CloseNextModal();
    dialog.Open(*h.device, CDevCellDlg::Mode::New, true);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Новая ячейка"));
    EXPECT_FALSE(dialog.MinEdit()->isEnabled());
    EXPECT_EQ(dialog.MaxEdit()->GetNumber(), 1);
    EXPECT_EQ(dialog.ValueEdit()->GetMax(), 1);
    // DINP: access R and greyed; HREG: RW; IREG: R, bounds enabled.
    struct
    {
        int type;
        int access;
        bool accessEnabled;
        std::uint16_t max;
        bool boundsEnabled;
    } const rules[] = {
        { DINP, ACCESS_R, false, 1, false },
        { HREG, ACCESS_RW, true, 0xFFFF, true },
        { IREG, ACCESS_R, false, 0xFFFF, true },
        { COIL, ACCESS_R, true, 1, false },
    };
    for (const auto& r : rules) {
        dialog.ValueEdit()->SetNumber(5);
        dialog.TypeList()->setCurrentIndex(r.type);
        EXPECT_EQ(dialog.AccessList()->currentIndex(), r.access) << r.type;
        EXPECT_EQ(dialog.AccessList()->isEnabled(), r.accessEnabled) << r.type;
        EXPECT_EQ(dialog.MaxEdit()->GetNumber(), r.max) << r.type;
        EXPECT_EQ(dialog.MinEdit()->isEnabled(), r.boundsEnabled) << r.type;
        EXPECT_EQ(dialog.ValueEdit()->GetNumber(), r.max == 1 ? 1 : 5) << r.type;
    }

    // The five refusals, in their order, through OK.
    dialog.TypeList()->setCurrentIndex(HREG);
    auto refuse = [&](SCellFields f) {
        dialog.SetFields(f);
        CloseNextModal();
        dialog.accept();
        return dialog.GetLastMessage();
    };
    EXPECT_EQ(refuse({ HREG, "X", "", 1, ACCESS_RW, 100, 100, 100 }),
              QStringLiteral("Неверно заданы границы изменения значения!"));
    EXPECT_EQ(refuse({ HREG, "", "", 1, ACCESS_RW, 0, 100, 200 }),
              QStringLiteral("Значение за границами заданного диапазона!"));
    EXPECT_EQ(refuse({ HREG, "  ", "", 1, ACCESS_RW, 0, 100, 5 }),
              QStringLiteral("Не задан идентификатор ячейки!"));
    EXPECT_EQ(refuse({ HREG, "P", "", 1, ACCESS_RW, 0, 100, 5 }),
              QStringLiteral("Ячейка данного типа и с тем же идентификатором уже имеется!"));
    EXPECT_EQ(refuse({ HREG, "N", "", 0x10, ACCESS_RW, 0, 100, 5 }),
              QStringLiteral("Ячейка данного типа и с тем же адресом уже имеется!"));
    // A blank description takes the default; the fields stay for the next
    // opening of the add dialog.
    dialog.SetFields({ HREG, " N ", "", 0x20, ACCESS_RW, 0, 100, 5 });
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.DescEdit()->text(), QStringLiteral("Ячейка N"));
    CloseNextModal();
    dialog.Open(*h.device, CDevCellDlg::Mode::New, true);
    EXPECT_EQ(dialog.IdEdit()->text(), QStringLiteral(" N "));
    EXPECT_EQ(dialog.AddrEdit()->GetNumber(), 0x20);

    // Edit mode: type, ID and address greyed.
    CloseNextModal();
    dialog.Open(*h.device, CDevCellDlg::Mode::Edit, true);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Изменение ячейки"));
    EXPECT_FALSE(dialog.TypeList()->isEnabled());
    EXPECT_FALSE(dialog.IdEdit()->isEnabled());
    EXPECT_FALSE(dialog.AddrEdit()->isEnabled());
}

TEST(EditDexHex, ParsesShowsFiltersAndClamps)
{
    CEditDexHex hex(true);
    hex.show();
    hex.setFocus();
    QLineEdit* edit = hex.findChild<QLineEdit*>();
    edit->setText(QStringLiteral("0x"));
    edit->setCursorPosition(2);
    QTest::keyClicks(&hex, QStringLiteral("1A"));
    EXPECT_EQ(hex.GetNumber(), 26);
    EXPECT_EQ(edit->text(), QStringLiteral("0x1A"));
    QTest::keyClicks(&hex, QStringLiteral("G"));
    EXPECT_EQ(edit->text(), QStringLiteral("0x1A"));
    hex.SetRange(0, 10);
    EXPECT_EQ(hex.GetNumber(), 10);
    EXPECT_EQ(edit->text(), QStringLiteral("0xA"));
    hex.SetRange(5, 2); // the maximum is raised to the minimum
    EXPECT_EQ(hex.GetMax(), 5);
    hex.SetRange(0, 3);
    hex.SetNumber(3);
    hex.stepBy(1); // wraps
    EXPECT_EQ(hex.GetNumber(), 0);

    CEditDexHex dec(false);
    dec.show();
    dec.setFocus();
    QLineEdit* decEdit = dec.findChild<QLineEdit*>();
    decEdit->selectAll();
    QTest::keyClicks(&dec, QStringLiteral("1a2"));
    EXPECT_EQ(decEdit->text(), QStringLiteral("12"));
    EXPECT_EQ(dec.GetNumber(), 12);
    // Typed values are not clamped: the cell dialog refuses them.
    dec.SetRange(0, 1);
    decEdit->selectAll();
    QTest::keyClicks(&dec, QStringLiteral("7000"));
    EXPECT_EQ(dec.GetNumber(), 7000);
    EXPECT_FALSE(dec.IsOverflow());
    // Nor cut: a number beyond 16 bits stays as typed and is refused.
    QTest::keyClicks(&dec, QStringLiteral("0"));
    EXPECT_EQ(decEdit->text(), QStringLiteral("70000"));
    EXPECT_EQ(dec.GetNumber(), 7000);
    EXPECT_TRUE(dec.IsOverflow());
    edit->setText(QStringLiteral("0x1234"));
    edit->setCursorPosition(6);
    QTest::keyClicks(&hex, QStringLiteral("5"));
    EXPECT_EQ(edit->text(), QStringLiteral("0x12345"));
    EXPECT_NE(hex.GetNumber(), 0x2345);
    EXPECT_EQ(hex.GetOverflowMessage(),
              QStringLiteral("Число 0x12345 не помещается в 16 бит (от 0x0 до 0xFFFF)!"));
}

TEST(CellDialogs, RefuseNumbersThatDoNotFit)
{
    DevHarness h;
    CDevCellDlg cell(true);
    cell.SetFields({ HREG, "N", "", 0x20, ACCESS_RW, 0, 0xFFFF, 0 });
    QTimer::singleShot(0, [&cell] {
        cell.ValueEdit()->findChild<QLineEdit*>()->setText(QStringLiteral("0x12345"));
        emit cell.ValueEdit()->findChild<QLineEdit*>()->textEdited(QStringLiteral("0x12345"));
        CloseNextModal(); // the message box
        cell.accept();
        CloseNextModal();
    });
    EXPECT_EQ(cell.Open(*h.device, CDevCellDlg::Mode::New, true), QDialog::Rejected);
    EXPECT_EQ(cell.GetLastMessage(),
              QStringLiteral("Число 0x12345 не помещается в 16 бит (от 0x0 до 0xFFFF)!"));
    EXPECT_EQ(h.device->FindItem(HREG, 0x20), nullptr);

    // The device address: above 255 refused, 0 kept only when confirmed.
    CChgDevIdDlg dialog("PUMP1", 1, false);
    dialog.show();
    QLineEdit* addr = dialog.AddrEdit()->findChild<QLineEdit*>();
    for (const auto& [text, message] :
         { std::pair{ "300", "Адрес устройства должен быть от 1 до 255!" },
           std::pair{ "0", "Адрес 0 - широковещательный: на запросы по нему устройство "
                           "никогда не отвечает.\nОставить адрес 0?" } }) {
        addr->setText(QString::fromUtf8(text));
        emit addr->textEdited(addr->text());
        CloseNextModal(); // the box answers No
        dialog.accept();
        EXPECT_EQ(dialog.GetLastMessage(), QString::fromUtf8(message)) << text;
        EXPECT_EQ(dialog.result(), QDialog::Rejected) << text;
    }
    QTimer::singleShot(0, [] {
        for (QAbstractButton* button :
             QApplication::activeModalWidget()->findChildren<QAbstractButton*>())
            if (button->text() == QStringLiteral("Да"))
                button->click();
    });
    dialog.accept();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.GetAddr(), 0);
}

TEST(ChgDevIdDlg, ChangesTheDeviceAndItsTreeLabel)
{
    DevHarness h;
    CChgDevIdDlg dialog("PUMP1", 1, true);
    EXPECT_EQ(dialog.AddrEdit()->GetMin(), 1);
    dialog.IdEdit()->setText(QStringLiteral("P1"));
    dialog.AddrEdit()->SetNumber(17);
    h.device->ChangeIdAndAddress(dialog.GetId(), dialog.GetAddr());
    const CProjectTree& tree = h.Project().GetProjectTree();
    const HNODE node = tree.GetChildren(tree.FindGroup(CProjectTree::kDevicesGroup)).front();
    EXPECT_EQ(tree.GetLabel(node), ".\\pump (ID=P1, A=0x11)");
    h.Pump();
    EXPECT_TRUE(h.Action(ID_SAVE_ALL)->isEnabled());
    h.device->SetModifiedFlag(false);
}

TEST(GraphDlg, OneWindowPerCellClosedWithItsCell)
{
    DevHarness h;
    CDevItem* reg = h.device->FindItem(HREG, 0x10);
    h.view->SelectItem(reg);
    h.Action(ID_CELL_GRAPH)->trigger();
    auto* graph = dynamic_cast<CGraphDlg*>(reg->GetGraphWnd());
    ASSERT_NE(graph, nullptr);
    EXPECT_EQ(graph->windowTitle(), QStringLiteral("График: Давление (P)"));
    h.Action(ID_CELL_GRAPH)->trigger(); // the same window
    EXPECT_EQ(reg->GetGraphWnd(), graph);
    // A change announced takes a sample.
    const int before = graph->Graph().GetPointCount();
    reg->SetValue(500);
    h.Pump();
    EXPECT_GT(graph->Graph().GetPointCount(), before);
    // Deleting the cell closes its graph.
    QPointer<CGraphDlg> watch(graph);
    h.device->DeleteItem(reg);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(watch.isNull());
}

// Many cells at once: a range (refused whole on its first conflict), copies
// at the next free addresses, and the way to one cell among many; the file
// read back holds them.
TEST(DevView, RangesCopiesAndGoingToAnAddress)
{
    DevHarness h;
    CDevModel& model = h.view->Model();
    const int registers = model.rowCount(model.GroupIndex(HREG));
    CCellRangeDlg range(*h.device, true);
    range.SetRange({ HREG, 0x100, 1000, "HR", 0, 500, 7 });
    range.accept();
    EXPECT_EQ(range.result(), QDialog::Accepted) << range.GetLastMessage().toStdString();
    EXPECT_EQ(model.rowCount(model.GroupIndex(HREG)), registers + 1000);
    const CDevItem* last = h.device->FindItem(HREG, 0x100 + 999);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last->GetId(), "HR1255");
    EXPECT_EQ(last->GetValue(), 7);
    // Overlapping the first range at its end: nothing added.
    CCellRangeDlg clash(*h.device, true);
    clash.SetRange({ HREG, 0x4E0, 10, "X", 0, 0xFFFF, 0 });
    CloseNextModal();
    clash.accept();
    EXPECT_EQ(clash.GetLastMessage(),
              QStringLiteral("Ячейка HREG с адресом 0x4E0 уже имеется: HR1248!"));
    EXPECT_EQ(h.device->FindItem(HREG, 0x4E8), nullptr);
    for (const SCellRange& bad :
         { SCellRange{ COIL, 0xFFFA, 7, "C", 0, 1, 0 }, SCellRange{ IREG, 0, 2, "IR", 5, 5, 5 } })
        EXPECT_FALSE(h.device->ValidateRange(bad).empty()) << bad.nType;
    EXPECT_EQ(h.device->ValidateRange({ COIL, 0xFFF0, 16, "C", 0, 0xFFFF, 9 }), "");

    // Copies of P (0x10) and HR256, and again: the IDs follow the addresses.
    h.view->SelectItem(h.device->FindItem(HREG, 0x10));
    h.view->Tree()->selectionModel()->select(model.IndexOf(h.device->FindItem(HREG, 0x100)),
                                             QItemSelectionModel::Select |
                                                 QItemSelectionModel::Rows);
    QKeyEvent dup(QEvent::KeyPress, Qt::Key_D, Qt::ControlModifier);
    QCoreApplication::sendEvent(h.view->Tree(), &dup);
    const CDevItem* copyP = h.device->FindItem(HREG, 0x4E8);
    const CDevItem* copyHR = h.device->FindItem(HREG, 0x4E9);
    ASSERT_NE(copyP, nullptr);
    ASSERT_NE(copyHR, nullptr);
    EXPECT_EQ(copyP->GetId(), "P_2");
    EXPECT_EQ(copyP->GetDesc(), "Давление");
    EXPECT_EQ(copyHR->GetId(), "HR1257");
    EXPECT_EQ(h.view->GetSelectedItems(),
              (std::vector<CDevItem*>{ h.device->FindItem(HREG, 0x4E8),
                                       h.device->FindItem(HREG, 0x4E9) }));

    // Ctrl+G: the cell at an address becomes the selected one.
    QTimer::singleShot(0, [] {
        auto* dialog = dynamic_cast<CGoToCellDlg*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->TypeList()->setCurrentIndex(IREG);
        dialog->AddrEdit()->SetNumber(7);
        dialog->accept();
    });
    QKeyEvent go(QEvent::KeyPress, Qt::Key_G, Qt::ControlModifier);
    QCoreApplication::sendEvent(h.view->Tree(), &go);
    EXPECT_EQ(h.view->GetSelectedItem(), h.device->FindItem(IREG, 7));

    ASSERT_TRUE(h.device->DoSave(std::string()));
    const std::string file = DecodeFileText(ReadBytes(h.dir.File("pump.kvxd")));
    EXPECT_NE(file.find("HREG\tЯчейка HR1255\tHR1255\t0x4E7\tRW\t0x0-0x1F4\t0x7\r\n"),
              std::string::npos);
    EXPECT_NE(file.find("HREG\tДавление\tP_2\t0x4E8\tRW\t0x0-0x3E8\t0x190\r\n"), std::string::npos);
}

// While a master polls, a value typed in place reaches it; the device is
// then modified, and the rest of the cell cannot change.
TEST(DevView, AValueEditedInPlaceReachesAPollingMaster)
{
    DevHarness h;
    h.Action(ID_START)->trigger();
    ASSERT_TRUE(h.App().IsRunning());
    CDevItem* p = h.device->FindItem(HREG, 0x10);
    h.view->SelectItem(p);
    EXPECT_FALSE(h.Action(ID_CELL_DELETE)->isEnabled());
    EXPECT_TRUE(h.Action(ID_CELL_EDIT_VALUE)->isEnabled());

    std::atomic<bool> seen{ false };
    std::atomic<bool> stop{ false };
    std::atomic<int> reads{ 0 };
    std::thread master =
        PollingMaster(h.dir.File("tty"), 0x10, 1, stop, [&](const std::uint16_t* r) {
            ++reads;
            seen = r[0] == 777;
            return !seen;
        });
    // The master reads the old value first, then F2, 777, Enter.
    const auto pumpUntil = [&](auto done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    };
    // The master ends with the test, whatever fails first.
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
    pumpUntil([&] { return reads > 3; });
    h.view->Tree()->setFocus();
    QTest::keyClick(h.view->Tree(), Qt::Key_F2);
    auto* editor = h.view->Tree()->findChild<CEditDexHex*>();
    ASSERT_NE(editor, nullptr);
    QLineEdit* text = editor->findChild<QLineEdit*>();
    text->selectAll();
    QTest::keyClicks(text, QStringLiteral("0x309"));
    QTest::keyClick(text, Qt::Key_Return);
    pumpUntil([&] { return seen.load(); });
    EXPECT_TRUE(seen);
    EXPECT_EQ(p->GetValue(), 777);
    EXPECT_TRUE(h.device->IsModified());
    EXPECT_EQ(
        h.view->Model().data(h.view->Model().IndexOf(p, CDevModel::COL_VALUE), Qt::DisplayRole),
        QStringLiteral("0x309"));
    // Outside the bounds (0-1000): refused, the value stays.
    EXPECT_EQ(h.view->SetCellValue(p, 1001),
              QStringLiteral("Значение за границами заданного диапазона!"));
    EXPECT_EQ(p->GetValue(), 777);
    h.Action(ID_STOP)->trigger();
    h.device->SetModifiedFlag(false);
}

// Types chosen for a selection from the menu; the typed dialog's bounds and
// refusals; a master reading in a loop never sees half of a typed write; the
// graph plots the typed value.
TEST(DevView, TypesForASelectionAndTypedValuesUnderAReadingMaster)
{
    DevHarness h;
    for (std::uint16_t a = 0x12; a <= 0x15; ++a)
        h.device->AddItem(HREG, "R" + std::to_string(a), "Расход", a, ACCESS_RW, 0, 0xFFFF, 0);
    QItemSelection rows;
    for (std::uint16_t a = 0x12; a <= 0x15; ++a) {
        const QModelIndex i = h.view->Model().IndexOf(h.device->FindItem(HREG, a));
        rows.select(i, i);
    }
    h.view->SelectItem(h.device->FindItem(HREG, 0x12));
    h.view->Tree()->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
    EXPECT_EQ(h.view->ApplyType(*ParseValueType("float32:CDAB")), QString());
    EXPECT_EQ(FormatValueType(h.device->GetCellView(HREG, 0x12).type), "float32:CDAB");
    EXPECT_EQ(FormatValueType(h.device->GetCellView(HREG, 0x14).type), "float32:CDAB");
    EXPECT_EQ(h.device->GetCellViews().size(), 2u);
    EXPECT_EQ(h.Text(HREG, 2, CDevModel::COL_VALUE), QStringLiteral("0x0 (часть 0x12)"));
    // A covered cell keeps its place; the last cell has no next one.
    h.view->SelectItem(h.device->FindItem(HREG, 0x13));
    EXPECT_EQ(h.view->ApplyType(*ParseValueType("uint32")),
              QStringLiteral("Ячейка 0x13 входит в значение с адреса 0x12"));
    h.view->SelectItem(h.device->FindItem(HREG, 0x14));
    std::unique_ptr<QMenu> menu(h.view->BuildTypeMenu(nullptr));
    EXPECT_EQ(MenuTexts(*menu), QStringLiteral("hex|uint16|int16|bin|-|uint32|int32|float32 ✓|"
                                               "uint64|int64|float64|Текст (ascii)..."));
    QMenu* uint32 = menu->actions()[5]->menu();
    ASSERT_NE(uint32, nullptr);
    uint32->actions()[0]->trigger(); // ABCD
    EXPECT_EQ(FormatValueType(h.device->GetCellView(HREG, 0x14).type), "uint32:ABCD");
    h.view->SelectItem(h.device->FindItem(HREG, 0x15));
    EXPECT_EQ(h.view->ApplyType(*ParseValueType("uint64")),
              QStringLiteral("Ячейка 0x15 входит в значение с адреса 0x14"));
    h.view->SelectItem(h.device->FindItem(HREG, 0x14));
    EXPECT_EQ(h.view->ApplyType(*ParseValueType("uint64")),
              QStringLiteral("Для типа uint64:ABCD нужны ячейки HREG 0x14-0x17"));

    // Typed bounds, kept with the view; a value outside them is refused.
    {
        CTypedValueDlg dialog(*h.device, HREG, 0x12, true);
        dialog.MinField()->setText(QStringLiteral("-10"));
        dialog.MaxField()->setText(QStringLiteral("1e"));
        CloseNextModal();
        dialog.accept();
        EXPECT_EQ(dialog.GetLastMessage(), QStringLiteral("Максимум: \"1e\" не число"));
        dialog.MaxField()->setText(QStringLiteral("100"));
        dialog.ValueField()->setText(QStringLiteral("150"));
        CloseNextModal();
        dialog.accept();
        EXPECT_EQ(dialog.GetLastMessage(),
                  QStringLiteral("Значение за границами заданного диапазона!"));
        dialog.ValueField()->setText(QStringLiteral("23.5"));
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
    }
    EXPECT_EQ(h.device->GetCellView(HREG, 0x12).strMax, "100");
    EXPECT_EQ(h.device->FindItem(HREG, 0x13)->GetValue(), 0x41BC);

    // Running: a master reads both registers in a loop while the value
    // changes between 23.5 and 1.1 (0x3F8CCCCD): each read is one of them.
    h.Action(ID_START)->trigger();
    ASSERT_TRUE(h.App().IsRunning());
    std::atomic<bool> stop{ false };
    std::atomic<int> reads{ 0 };
    std::atomic<int> torn{ 0 };
    std::thread master =
        PollingMaster(h.dir.File("tty"), 0x12, 2, stop, [&](const std::uint16_t* r) {
            ++reads;
            torn += !((r[0] == 0 && r[1] == 0x41BC) || (r[0] == 0xCCCD && r[1] == 0x3F8C));
            return true;
        });
    {
        CTypedValueDlg dialog(*h.device, HREG, 0x12, false);
        EXPECT_FALSE(dialog.MinField()->isEnabled());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (int i = 0; reads < 200 && std::chrono::steady_clock::now() < deadline; ++i) {
            dialog.ValueField()->setText(i % 2 ? QStringLiteral("1.1") : QStringLiteral("23.5"));
            dialog.accept();
            if (i % 64 == 0)
                QCoreApplication::processEvents();
        }
    }
    stop = true;
    master.join();
    EXPECT_GE(reads, 200);
    EXPECT_EQ(torn, 0);
    h.Action(ID_STOP)->trigger();

    // The graph plots the float; integer types label whole numbers in full.
    h.device->SetTypedValue(HREG, 0x12, "23.5");
    auto graph = std::make_unique<CGraphDlg>(*h.device->FindItem(HREG, 0x12));
    graph->Sample(NowFileTime());
    ASSERT_GT(graph->Graph().GetPointCount(), 0);
    EXPECT_EQ(graph->Graph().GetLastPoint()->dValue, 23.5);
    EXPECT_EQ(graph->Graph().ValueLabel(4e9), QStringLiteral("4e+09"));
    CGraphDlg wide(*h.device->FindItem(HREG, 0x14));
    EXPECT_EQ(wide.Graph().ValueLabel(4e9), QStringLiteral("4000000000"));
    h.device->SetModifiedFlag(false);
}

} // namespace
} // namespace korvex::test
