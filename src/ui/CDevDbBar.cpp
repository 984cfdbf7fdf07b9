#include "ui/CDevDbBar.h"

#include "files/CPrjManager.h"
#include "files/CProjectTree.h"
#include "ui/Commands.h"

#include <QAction>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>

namespace korvex {

CDevDbBar::CDevDbBar(CPrjManager& project, CCommandSet& commands, QWidget* parent)
    : QDockWidget(QStringLiteral("База объектов"), parent), m_project(project),
      m_commands(commands), m_model(project.GetProjectTree())
{
    setObjectName(QStringLiteral("DevDbBar"));
    setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);

    m_pView = new QTreeView(this);
    m_pView->setModel(&m_model);
    m_pView->setHeaderHidden(true);
    // A long label (a deep path, a fault mark) scrolls instead of being cut.
    m_pView->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_pView->header()->setStretchLastSection(false);
    m_pView->setUniformRowHeights(true);
    m_pView->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pView->setExpandsOnDoubleClick(false);
    m_pView->setIconSize(QSize(16, 16));
    QPalette palette = m_pView->palette();
    palette.setColor(QPalette::Base, QColor::fromRgb(kBackground));
    m_pView->setPalette(palette);
    m_pView->installEventFilter(this);
    setWidget(m_pView);

    m_pOpen = commands.MenuVariant(ID_OPEN_SELECTED, QStringLiteral("Открыть\tEnter"));
    m_pAddDevice = commands.MenuVariant(ID_ADD_DEVICE, QStringLiteral("Добавить устройство\tIns"));
    m_pChangeId = commands.MenuVariant(ID_CHANGE_DEV_ID, QStringLiteral("Изменить ID и адрес"));
    m_pFaults = commands.MenuVariant(ID_FAULTS, QStringLiteral("Неисправности..."));
    m_pImportMap =
        commands.MenuVariant(ID_IMPORT_MAP_APPEND, QStringLiteral("Импорт карты регистров..."));
    m_pAddScript =
        commands.MenuVariant(ID_ADD_SCRIPT, QStringLiteral("Добавить скрипт\tBackspace"));
    m_pRemove =
        commands.MenuVariant(ID_REMOVE_FROM_PROJECT, QStringLiteral("Удалить из проекта\tDel"));

    connect(m_pView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (m_bSyncing)
                    return;
                m_bSyncing = true;
                m_project.GetProjectTree().Select(m_model.NodeOf(current));
                m_bSyncing = false;
                emit selectionChanged();
            });
    connect(m_pView, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        const TreeNode* node = m_project.GetProjectTree().GetNode(m_model.NodeOf(index));
        if (node != nullptr && node->byKind != NODE_GROUP)
            emit openRequested();
    });
    m_pView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_pView, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        // A click on empty space opens no menu.
        const QModelIndex index = m_pView->indexAt(pos);
        if (!index.isValid())
            return;
        m_pView->setCurrentIndex(index);
        QMenu* menu = BuildContextMenu(m_model.NodeOf(index));
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(m_pView->viewport()->mapToGlobal(pos));
    });

    m_project.GetProjectTree().AddObserver(this);
    ExpandGroups();
}

CDevDbBar::~CDevDbBar()
{
    m_project.GetProjectTree().RemoveObserver(this);
}

QMenu* CDevDbBar::BuildContextMenu(HNODE node)
{
    const CProjectTree& tree = m_project.GetProjectTree();
    const TreeNode* record = tree.GetNode(node);
    const bool device = record != nullptr && record->byKind == NODE_DEVICE;
    const bool devicesGroup = record != nullptr && record->byKind == NODE_GROUP &&
                              record->strName == CProjectTree::kDevicesGroup;

    auto* menu = new QMenu(QStringLiteral("Для дерева"), this);
    menu->addAction(m_pOpen);
    menu->setDefaultAction(m_pOpen);
    // Devices and their group offer adding a device, the rest adding a
    // script; only a device can change its ID and address, or be given
    // faults.
    if (device || devicesGroup)
        menu->addAction(m_pAddDevice);
    if (device) {
        menu->addAction(m_pChangeId);
        menu->addAction(m_pFaults);
        menu->addAction(m_pImportMap);
    }
    if (!device && !devicesGroup)
        menu->addAction(m_pAddScript);
    menu->addSeparator();
    menu->addAction(m_pRemove);
    menu->addSeparator();
    menu->addAction(QStringLiteral("Отмена"));
    return menu;
}

void CDevDbBar::TriggerIfEnabled(QAction* action)
{
    if (action->isEnabled())
        action->trigger();
}

bool CDevDbBar::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pView && event->type() == QEvent::KeyPress) {
        // One action per keystroke: a held key's repeats would reach the
        // window the first press opened, or remove node after node.
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool once = !key->isAutoRepeat();
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter: {
            const TreeNode* node = m_project.GetProjectTree().GetSelectedNode();
            if (once && node != nullptr && node->byKind != NODE_GROUP)
                emit openRequested();
            return true;
        }
        case Qt::Key_Insert:
            if (once)
                TriggerIfEnabled(m_pAddDevice);
            return true;
        case Qt::Key_Backspace:
            if (once)
                TriggerIfEnabled(m_pAddScript);
            return true;
        case Qt::Key_Delete:
            if (once)
                TriggerIfEnabled(m_pRemove);
            return true;
        default: break;
        }
    }
    return QDockWidget::eventFilter(watched, event);
}

void CDevDbBar::ExpandGroups()
{
    const CProjectTree& tree = m_project.GetProjectTree();
    for (const HNODE node : tree.GetChildren(0))
        if (tree.GetState(node) & NS_EXPANDED)
            m_pView->expand(m_model.IndexOf(node));
}

void CDevDbBar::OnTreeReset()
{
    ExpandGroups();
    emit selectionChanged();
}

void CDevDbBar::OnNodeAdded(HNODE node)
{
    if (m_project.GetProjectTree().GetState(node) & NS_EXPANDED)
        m_pView->expand(m_model.IndexOf(node));
    // A group shows its first child.
    m_pView->expand(m_model.IndexOf(m_project.GetProjectTree().GetParent(node)));
}

void CDevDbBar::OnSelectionChanged(HNODE node)
{
    if (!m_bSyncing) {
        m_bSyncing = true;
        m_pView->setCurrentIndex(m_model.IndexOf(node));
        m_bSyncing = false;
    }
    emit selectionChanged();
}

void CDevDbBar::OnTreeShown(bool shown)
{
    if (shown)
        show();
}

} // namespace korvex
