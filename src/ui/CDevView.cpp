#include "ui/CDevView.h"

#include "core/CDevDoc.h"
#include "core/IRunState.h"
#include "ui/CCellRangeDlg.h"
#include "ui/CDevCellDlg.h"
#include "ui/CEditDexHex.h"
#include "ui/CGoToCellDlg.h"
#include "ui/CGraphDlg.h"
#include "ui/CTypedValueDlg.h"
#include "ui/CValueDelegate.h"
#include "ui/UiText.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace korvex {

CDevView::CDevView(CDevDoc& device, const IRunState& run, CCommandSet& commands,
                   CDevCellDlg& addDialog, QWidget* parent)
    : QWidget(parent), m_device(device), m_run(run), m_commands(commands), m_addDialog(addDialog),
      m_model(device)
{
    m_pTree = new QTreeView(this);
    m_pTree->setModel(&m_model);
    m_pTree->setUniformRowHeights(true);
    m_pTree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pTree->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTree->setExpandsOnDoubleClick(false);
    m_pTree->setAllColumnsShowFocus(true);
    m_pTree->setRootIsDecorated(true);
    m_pTree->setIconSize(QSize(16, 16));
    m_pTree->header()->setStretchLastSection(false);
    m_pTree->header()->setSectionsMovable(false);
    m_pTree->header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QPalette palette = m_pTree->palette();
    palette.setColor(QPalette::Base, Qt::white);
    m_pTree->setPalette(palette);
    m_pTree->installEventFilter(this);
    m_pTree->viewport()->installEventFilter(this);
    setFocusProxy(m_pTree);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pTree);

    m_pTree->setItemDelegateForColumn(
        CDevModel::COL_VALUE,
        new CValueDelegate(
            m_model, [this] { return IsHex(); },
            [this](CDevItem* item, std::uint16_t value) { return SetCellValue(item, value); },
            this));
    connect(m_pTree, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (m_model.ItemOf(index) == nullptr)
            return;
        if (index.column() == CDevModel::COL_TYPE) {
            QMenu* menu = BuildTypeMenu(this);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(m_pTree->viewport()->mapToGlobal(m_pTree->visualRect(index).bottomLeft()));
            return;
        }
        // While masters poll, the value column is edited in place.
        const bool inPlace = index.column() == CDevModel::COL_VALUE && m_run.IsRunning();
        TriggerIfEnabled(inPlace ? ID_CELL_EDIT_VALUE : ID_CELL_EDIT);
    });
    m_pTree->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pTree, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        // The row under the cursor is selected; none over empty space.
        const QModelIndex index = m_pTree->indexAt(pos);
        if (index.isValid())
            m_pTree->setCurrentIndex(index);
        else
            m_pTree->selectionModel()->clear();
        QMenu* menu = BuildContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(m_pTree->viewport()->mapToGlobal(pos));
    });
    connect(&m_model, &QAbstractItemModel::modelReset, this, &CDevView::ExpandGroups);
    // What the window offers the commands follows its selection.
    connect(m_pTree->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &CDevView::commandStateChanged);
    connect(m_pTree->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CDevView::commandStateChanged);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &CDevView::commandStateChanged);
    ExpandGroups();
}

void CDevView::OnInitialUpdate()
{
    m_model.Rebuild();
    FitColumns();
}

void CDevView::ExpandGroups()
{
    for (int type = 0; type < CDevModel::kGroupCount; ++type)
        m_pTree->expand(m_model.GroupIndex(type));
}

std::array<int, CDevModel::COL_COUNT> CDevView::ColumnWidths(int width)
{
    const double w = width;
    const auto part = [w](double share, int least) {
        return std::max(static_cast<int>(share * w), least);
    };
    return { part(0.34, 180), part(0.11, 40),  part(0.08, 40), part(0.04, 25),
             part(0.13, 80),  part(0.17, 110), part(0.13, 95) };
}

void CDevView::FitColumns()
{
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const auto widths = ColumnWidths(m_pTree->width() - 2 * m_pTree->frameWidth() - scrollBar);
    for (int c = 0; c < CDevModel::COL_COUNT; ++c)
        m_pTree->header()->resizeSection(c, widths[static_cast<std::size_t>(c)]);
}

CDevView::~CDevView()
{
    // An editor open in place commits nothing while the window goes.
    m_pTree->setItemDelegateForColumn(CDevModel::COL_VALUE, nullptr);
}

bool CDevView::IsHex() const
{
    return m_run.GetSettings().EDITHEX != 0;
}

CDevItem* CDevView::GetSelectedItem() const
{
    return m_model.ItemOf(m_pTree->currentIndex());
}

std::vector<CDevItem*> CDevView::GetSelectedItems() const
{
    QModelIndexList rows = m_pTree->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(), [](const QModelIndex& a, const QModelIndex& b) {
        return a.parent().row() != b.parent().row() ? a.parent().row() < b.parent().row()
                                                    : a.row() < b.row();
    });
    std::vector<CDevItem*> items;
    for (const QModelIndex& row : rows)
        if (CDevItem* item = m_model.ItemOf(row))
            items.push_back(item);
    return items;
}

void CDevView::SelectItem(const CDevItem* item)
{
    const QModelIndex index = m_model.IndexOf(item);
    m_pTree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                          QItemSelectionModel::Rows);
    m_pTree->scrollTo(index);
}

void CDevView::OfferState(SCommandState& state) const
{
    state.bCellWindow = true;
    state.bCellCurrent = GetSelectedItem() != nullptr;
    const QModelIndexList rows = m_pTree->selectionModel()->selectedRows();
    state.bCellsSelected = std::any_of(rows.begin(), rows.end(), [this](const QModelIndex& row) {
        return m_model.ItemOf(row) != nullptr;
    });
}

void CDevView::RunCommand(CommandId id)
{
    switch (id) {
    case ID_CELL_EDIT: OnEditCell(); break;
    case ID_CELL_EDIT_VALUE: OnEditValueInPlace(); break;
    case ID_CELL_ADD: OnAddCell(); break;
    case ID_CELL_ADD_RANGE: OnAddRange(); break;
    case ID_CELL_DUPLICATE: OnDuplicate(); break;
    case ID_CELL_GO_TO: OnGoToAddress(); break;
    case ID_CELL_GRAPH: OnGraph(); break;
    case ID_CELL_DELETE: OnDeleteCell(); break;
    default: break;
    }
}

void CDevView::TriggerIfEnabled(CommandId id)
{
    QAction* action = m_commands.Action(id);
    if (action->isEnabled())
        action->trigger();
}

void CDevView::OnEditCell()
{
    CDevItem* item = GetSelectedItem();
    if (item == nullptr)
        return;
    const bool running = m_run.IsRunning();
    // While masters poll only values change: a typed cell's in its type.
    if (running && EditTypedValue(item))
        return;
    CDevCellDlg dialog(IsHex(), this);
    dialog.SetFields({ item->GetType(), item->GetId(), item->GetDesc(), item->GetAddr(),
                       item->GetAccess(), item->GetMin(), item->GetMax(), item->GetValue() });
    const auto mode = running ? CDevCellDlg::Mode::Value : CDevCellDlg::Mode::Edit;
    if (dialog.Open(m_device, mode, IsHex()) != QDialog::Accepted)
        return;
    // The emulator may have started or stopped while the dialog was open.
    if (mode == CDevCellDlg::Mode::Value || m_run.IsRunning())
        SetCellValue(item, dialog.GetFields().wValue);
    else
        m_device.EditItem(item, dialog.GetFields());
}

void CDevView::OnEditValueInPlace()
{
    CDevItem* item = GetSelectedItem();
    if (item == nullptr || EditTypedValue(item))
        return;
    m_pTree->edit(m_pTree->currentIndex().siblingAtColumn(CDevModel::COL_VALUE));
}

QString CDevView::SetCellValue(CDevItem* item, std::uint16_t value)
{
    const CellEditError error = m_device.SetItemValue(item, value);
    if (error != CellEditError::None)
        return QString::fromUtf8(CDevDoc::GetCellEditMessage(error));
    // Shown at once, not at the next coalesced repaint.
    const QModelIndex index = m_model.IndexOf(item, CDevModel::COL_VALUE);
    emit m_model.dataChanged(index, index);
    return QString();
}

void CDevView::OnAddCell()
{
    if (m_addDialog.Open(m_device, CDevCellDlg::Mode::New, IsHex()) != QDialog::Accepted)
        return;
    CDevItem* item = m_device.AddItem(m_addDialog.GetFields());
    SelectItem(item);
}

void CDevView::OnAddRange()
{
    CCellRangeDlg dialog(m_device, IsHex(), this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const SCellRange range = dialog.GetRange();
    SelectItem(m_device.FindItem(range.nType, range.wFirst));
}

void CDevView::OnDuplicate()
{
    const std::vector<CDevItem*> items = GetSelectedItems();
    if (items.empty())
        return;
    std::vector<CDevItem*> copies;
    const std::string refusal = m_device.DuplicateItems(items, &copies);
    if (!refusal.empty()) {
        QMessageBox::warning(this, QStringLiteral("Ошибка"), Qs(refusal));
        return;
    }
    // The copies are selected, ready to be edited or duplicated again.
    QItemSelection selection;
    for (const CDevItem* copy : copies) {
        const QModelIndex index = m_model.IndexOf(copy);
        selection.select(index, index);
    }
    if (!copies.empty()) {
        SelectItem(copies.front());
        m_pTree->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect |
                                                         QItemSelectionModel::Rows);
    }
}

void CDevView::OnGoToAddress()
{
    CGoToCellDlg dialog(m_device, IsHex(), this);
    if (const CDevItem* current = GetSelectedItem())
        dialog.TypeList()->setCurrentIndex(current->GetType());
    if (dialog.exec() == QDialog::Accepted && dialog.GetItem() != nullptr)
        SelectItem(dialog.GetItem());
}

void CDevView::OnGraph()
{
    CDevItem* item = GetSelectedItem();
    if (item == nullptr)
        return;
    if (auto* open = dynamic_cast<CGraphDlg*>(item->GetGraphWnd())) {
        open->showNormal();
        open->raise();
        open->activateWindow();
        return;
    }
    auto* graph = new CGraphDlg(*item);
    item->SetGraphWnd(graph);
    graph->show();
}

void CDevView::OnDeleteCell()
{
    for (CDevItem* item : GetSelectedItems())
        m_device.DeleteItem(item);
}

bool CDevView::EditTypedValue(CDevItem* item)
{
    const std::int32_t type = item->GetType();
    const std::uint16_t addr =
        m_device.GetCoveringCell(type, item->GetAddr()).value_or(item->GetAddr());
    if (m_device.GetCellView(type, addr).IsDefault())
        return false;
    CTypedValueDlg dialog(m_device, type, addr, !m_run.IsRunning(), this);
    if (dialog.exec() == QDialog::Accepted)
        m_model.RefreshViews();
    return true;
}

QString CDevView::ApplyType(const SValueType& valueType)
{
    std::vector<CDevItem*> items = GetSelectedItems();
    std::sort(items.begin(), items.end(), [](const CDevItem* a, const CDevItem* b) {
        return a->GetType() != b->GetType() ? a->GetType() < b->GetType()
                                            : a->GetAddr() < b->GetAddr();
    });
    QStringList refusals;
    // The cells a wide type placed here takes: (kind, address) past which
    // selected cells are covered.
    std::int32_t coveredType = -1;
    std::int32_t coveredEnd = 0;
    for (const CDevItem* item : items) {
        if (item->GetType() == coveredType && item->GetAddr() < coveredEnd)
            continue;
        const std::string refusal =
            m_device.PlaceCellView(item->GetType(), item->GetAddr(), valueType);
        if (!refusal.empty()) {
            refusals << Qs(refusal);
            continue;
        }
        coveredType = item->GetType();
        coveredEnd = item->GetAddr() + RegisterCount(valueType);
    }
    m_model.RefreshViews();
    refusals.removeDuplicates();
    return refusals.join(QLatin1Char('\n'));
}

QMenu* CDevView::BuildTypeMenu(QWidget* parent)
{
    auto* menu = new QMenu(QStringLiteral("Тип значения"), parent);
    menu->setToolTipsVisible(true);
    const std::vector<CDevItem*> items = GetSelectedItems();
    const CDevItem* current = GetSelectedItem();
    const bool onlyRegisters =
        !items.empty() && std::all_of(items.begin(), items.end(), [](const CDevItem* i) {
            return i->GetType() == HREG || i->GetType() == IREG;
        });
    const std::optional<SValueType> now =
        current != nullptr
            ? std::optional(m_device.GetCellView(current->GetType(), current->GetAddr()).type)
            : std::nullopt;
    const auto apply = [this](const SValueType& type) {
        const QString refusals = ApplyType(type);
        if (!refusals.isEmpty())
            QMessageBox::warning(this, QStringLiteral("Ошибка"), refusals);
    };
    const auto add = [&](QMenu* to, const QString& caption, const SValueType& type) {
        QAction* action = to->addAction(caption, this, [apply, type] { apply(type); });
        action->setCheckable(true);
        action->setChecked(now == type);
        action->setEnabled(!items.empty());
    };
    for (const char* name : { "hex", "uint16", "int16", "bin" })
        add(menu, QLatin1String(name), *ParseValueType(name));
    menu->addSeparator();
    for (const char* name : { "uint32", "int32", "float32", "uint64", "int64", "float64" }) {
        QMenu* orders = menu->addMenu(QLatin1String(name));
        orders->setEnabled(onlyRegisters);
        orders->setToolTipsVisible(true);
        for (const char* order : { "ABCD", "CDAB", "BADC", "DCBA" })
            add(orders, QLatin1String(order), *ParseValueType(std::string(name) + ':' + order));
        if (now && now->kind == ParseValueType(name)->kind)
            orders->menuAction()->setText(QLatin1String(name) + QStringLiteral(" ✓"));
    }
    QAction* text = menu->addAction(QStringLiteral("Текст (ascii)..."), this, [this, apply, now] {
        bool ok = false;
        const QString name = QInputDialog::getText(
            this, QStringLiteral("Текст"),
            QStringLiteral("Тип: ascii:N (N регистров, по два символа) или ascii:N:BADC"),
            QLineEdit::Normal,
            now && IsTextType(*now) ? Qs(FormatValueType(*now)) : QStringLiteral("ascii:8"), &ok);
        if (!ok)
            return;
        const auto type = ParseValueType(name.toStdString());
        if (!type || !IsTextType(*type)) {
            QMessageBox::warning(this, QStringLiteral("Ошибка"),
                                 QStringLiteral("Тип \"%1\" не текст: нужно ascii:N, N от 1 до %2")
                                     .arg(name)
                                     .arg(kMaxTextRegs));
            return;
        }
        apply(*type);
    });
    text->setEnabled(onlyRegisters);
    text->setCheckable(true);
    text->setChecked(now && IsTextType(*now));
    return menu;
}

QMenu* CDevView::BuildContextMenu()
{
    // The commands' own actions: the command set keeps their states.
    auto* menu = new QMenu(QStringLiteral("Для устройств"), this);
    const auto add = [this, menu](CommandId id) { menu->addAction(m_commands.Action(id)); };
    add(ID_CELL_EDIT);
    menu->setDefaultAction(m_commands.Action(ID_CELL_EDIT));
    add(ID_CELL_EDIT_VALUE);
    add(ID_CELL_ADD);
    add(ID_CELL_ADD_RANGE);
    add(ID_CELL_DUPLICATE);
    menu->addSeparator();
    add(ID_CELL_GO_TO);
    add(ID_CELL_GRAPH);
    menu->addMenu(BuildTypeMenu(menu));
    menu->addSeparator();
    add(ID_CELL_DELETE);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Отмена"));
    return menu;
}

bool CDevView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pTree && event->type() == QEvent::Resize)
        FitColumns();
    if (watched == m_pTree && event->type() == QEvent::KeyPress) {
        // Keys act only when their command is enabled, and once per
        // keystroke: the repeats of a held key would open a dialog behind
        // the window that the key opened, or delete cell after cell.
        // A key the value's editor passes on (it leaves Enter, which ends
        // the editing, to its parents) is the editor's.
        const auto* open = m_pTree->viewport()->findChild<CEditDexHex*>();
        if (open != nullptr && open->isVisible())
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool ctrl = key->modifiers() & Qt::ControlModifier;
        std::optional<CommandId> command;
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: command = ID_CELL_EDIT; break;
        case Qt::Key_F2: command = ID_CELL_EDIT_VALUE; break;
        case Qt::Key_Insert: command = ID_CELL_ADD; break;
        case Qt::Key_G: command = ctrl ? ID_CELL_GO_TO : ID_CELL_GRAPH; break;
        case Qt::Key_D:
            if (ctrl)
                command = ID_CELL_DUPLICATE;
            break;
        case Qt::Key_Delete: command = ID_CELL_DELETE; break;
        default: break;
        }
        if (command) {
            if (!key->isAutoRepeat())
                TriggerIfEnabled(*command);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace korvex
