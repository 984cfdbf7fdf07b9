#include "ui/CDevView.h"

#include "core/CDevDoc.h"
#include "core/CKorvexApp.h"
#include "ui/CDevCellDlg.h"
#include "ui/CGraphDlg.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QScrollBar>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace korvex {

CDevView::CDevView(CDevDoc& device, CKorvexApp& app, CDevCellDlg& addDialog, QWidget* parent)
    : QWidget(parent), m_device(device), m_app(app), m_addDialog(addDialog), m_model(device)
{
    m_pTree = new QTreeView(this);
    m_pTree->setModel(&m_model);
    m_pTree->setUniformRowHeights(true);
    m_pTree->setSelectionMode(QAbstractItemView::SingleSelection);
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

    connect(m_pTree, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        if (m_model.ItemOf(index) != nullptr)
            OnEditCell();
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
    ExpandGroups();
}

void CDevView::OnInitialUpdate()
{
    m_model.Rebuild();
    FitColumns();
}

void CDevView::ExpandGroups()
{
    for (int type = 0; type < 4; ++type)
        m_pTree->expand(m_model.GroupIndex(type));
}

std::array<int, CDevModel::COL_COUNT> CDevView::ColumnWidths(int width)
{
    const double w = width;
    return { std::max(static_cast<int>(0.45 * w), 180), std::max(static_cast<int>(0.15 * w), 40),
             std::max(static_cast<int>(0.10 * w), 40),  std::max(static_cast<int>(0.05 * w), 25),
             std::max(static_cast<int>(0.15 * w), 80),  std::max(static_cast<int>(0.10 * w), 50) };
}

void CDevView::FitColumns()
{
    const int scrollBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const auto widths = ColumnWidths(m_pTree->width() - 2 * m_pTree->frameWidth() - scrollBar);
    for (int c = 0; c < CDevModel::COL_COUNT; ++c)
        m_pTree->header()->resizeSection(c, widths[static_cast<std::size_t>(c)]);
}

CDevItem* CDevView::GetSelectedItem() const
{
    return m_model.ItemOf(m_pTree->currentIndex());
}

void CDevView::SelectItem(const CDevItem* item)
{
    m_pTree->setCurrentIndex(m_model.IndexOf(item));
}

bool CDevView::CanEdit() const
{
    return GetSelectedItem() != nullptr && !m_app.IsRunning();
}

bool CDevView::CanAdd() const
{
    return !m_app.IsRunning();
}

bool CDevView::CanGraph() const
{
    return GetSelectedItem() != nullptr;
}

void CDevView::OnEditCell()
{
    CDevItem* item = GetSelectedItem();
    if (item == nullptr || !CanEdit())
        return;
    CDevCellDlg dialog(m_app.GetSettings().EDITHEX != 0, this);
    dialog.SetFields({ item->GetType(), item->GetId(), item->GetDesc(), item->GetAddr(),
                       item->GetAccess(), item->GetMin(), item->GetMax(), item->GetValue() });
    if (dialog.Open(m_device, true) == QDialog::Accepted)
        m_device.EditItem(item, dialog.GetFields());
}

void CDevView::OnAddCell()
{
    if (!CanAdd())
        return;
    if (m_addDialog.Open(m_device, false) != QDialog::Accepted)
        return;
    CDevItem* item = m_device.AddItem(m_addDialog.GetFields());
    SelectItem(item);
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
    CDevItem* item = GetSelectedItem();
    if (item == nullptr || !CanEdit())
        return;
    m_device.DeleteItem(item);
}

QMenu* CDevView::BuildContextMenu()
{
    auto* menu = new QMenu(QStringLiteral("Для устройств"), this);
    QAction* edit = menu->addAction(QStringLiteral("Изменить\tEnter"), this, &CDevView::OnEditCell);
    edit->setEnabled(CanEdit());
    menu->setDefaultAction(edit);
    menu->addAction(QStringLiteral("Добавить\tIns"), this, &CDevView::OnAddCell)
        ->setEnabled(CanAdd());
    menu->addSeparator();
    menu->addAction(QStringLiteral("График\tG"), this, &CDevView::OnGraph)->setEnabled(CanGraph());
    menu->addSeparator();
    menu->addAction(QStringLiteral("Удалить\tDel"), this, &CDevView::OnDeleteCell)
        ->setEnabled(CanEdit());
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
        const auto* key = static_cast<QKeyEvent*>(event);
        void (CDevView::*command)() = nullptr;
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: command = &CDevView::OnEditCell; break;
        case Qt::Key_Insert: command = &CDevView::OnAddCell; break;
        case Qt::Key_G: command = &CDevView::OnGraph; break;
        case Qt::Key_Delete: command = &CDevView::OnDeleteCell; break;
        default: break;
        }
        if (command != nullptr) {
            if (!key->isAutoRepeat())
                (this->*command)();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace korvex
