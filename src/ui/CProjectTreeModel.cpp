#include "ui/CProjectTreeModel.h"

#include "files/CProjectTree.h"
#include "ui/UiText.h"

#include <QColor>
#include <QFont>
#include <QIcon>

#include <algorithm>
#include <array>

namespace korvex {
namespace {

QIcon NodeIcon(int image)
{
    // Normal and selected pictures of group, device and script.
    static const char* const names[] = { "tree-group", "tree-device", "tree-script" };
    static std::array<QIcon, 3> icons;
    const int kind = image / 2;
    if (kind < 0 || kind > 2)
        return QIcon();
    QIcon& icon = icons[static_cast<std::size_t>(kind)];
    if (icon.isNull()) {
        const QString name = QLatin1String(names[kind]);
        icon.addFile(QStringLiteral(":/icons/%1.svg").arg(name), QSize(), QIcon::Normal);
        icon.addFile(QStringLiteral(":/icons/%1-sel.svg").arg(name), QSize(), QIcon::Selected);
    }
    return icon;
}

} // namespace

CProjectTreeModel::CProjectTreeModel(CProjectTree& tree, QObject* parent)
    : QAbstractItemModel(parent), m_tree(tree)
{
    Rebuild(0);
    m_tree.AddObserver(this);
}

CProjectTreeModel::~CProjectTreeModel()
{
    m_tree.RemoveObserver(this);
}

void CProjectTreeModel::Rebuild(HNODE node)
{
    std::vector<HNODE>& children = m_children[node];
    children = m_tree.GetChildren(node);
    for (const HNODE child : children) {
        m_parent[child] = node;
        Rebuild(child);
    }
}

void CProjectTreeModel::Forget(HNODE node)
{
    const auto it = m_children.find(node);
    if (it != m_children.end()) {
        for (const HNODE child : it->second)
            Forget(child);
        m_children.erase(it);
    }
    m_parent.erase(node);
}

int CProjectTreeModel::RowOf(HNODE node) const
{
    const auto parent = m_parent.find(node);
    if (parent == m_parent.end())
        return -1;
    const std::vector<HNODE>& siblings = m_children.at(parent->second);
    const auto it = std::find(siblings.begin(), siblings.end(), node);
    return it == siblings.end() ? -1 : static_cast<int>(it - siblings.begin());
}

QModelIndex CProjectTreeModel::IndexOf(HNODE node) const
{
    const int row = RowOf(node);
    return row < 0 ? QModelIndex() : createIndex(row, 0, static_cast<quintptr>(node));
}

HNODE CProjectTreeModel::NodeOf(const QModelIndex& index) const
{
    return index.isValid() ? static_cast<HNODE>(index.internalId()) : 0;
}

QModelIndex CProjectTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (column != 0 || row < 0)
        return QModelIndex();
    const auto it = m_children.find(NodeOf(parent));
    if (it == m_children.end() || row >= static_cast<int>(it->second.size()))
        return QModelIndex();
    return createIndex(row, 0, static_cast<quintptr>(it->second[static_cast<std::size_t>(row)]));
}

QModelIndex CProjectTreeModel::parent(const QModelIndex& child) const
{
    const auto it = m_parent.find(NodeOf(child));
    if (it == m_parent.end() || it->second == 0)
        return QModelIndex();
    return IndexOf(it->second);
}

int CProjectTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    const auto it = m_children.find(NodeOf(parent));
    return it == m_children.end() ? 0 : static_cast<int>(it->second.size());
}

int CProjectTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant CProjectTreeModel::data(const QModelIndex& index, int role) const
{
    const HNODE node = NodeOf(index);
    if (node == 0 || m_tree.GetNode(node) == nullptr)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole: return Qs(m_tree.GetLabel(node));
    case Qt::DecorationRole: return NodeIcon(m_tree.GetImage(node));
    case Qt::FontRole:
        if (m_tree.GetState(node) & NS_BOLD) {
            QFont bold;
            bold.setBold(true);
            return bold;
        }
        return QVariant();
    case Qt::ForegroundRole:
        // A device with faults stands out even where its label is cut short.
        if (m_tree.HasLabelSuffix(node))
            return QColor(0xB0, 0x1C, 0x1C);
        return QVariant();
    default: return QVariant();
    }
}

void CProjectTreeModel::OnTreeReset()
{
    beginResetModel();
    m_children.clear();
    m_parent.clear();
    Rebuild(0);
    endResetModel();
}

void CProjectTreeModel::OnNodeAdded(HNODE node)
{
    const HNODE parent = m_tree.GetParent(node);
    std::vector<HNODE>& siblings = m_children[parent];
    const int row = static_cast<int>(siblings.size());
    beginInsertRows(IndexOf(parent), row, row);
    siblings.push_back(node);
    m_parent[node] = parent;
    Rebuild(node);
    endInsertRows();
}

void CProjectTreeModel::OnNodeChanged(HNODE node)
{
    const QModelIndex index = IndexOf(node);
    if (index.isValid())
        emit dataChanged(index, index);
}

void CProjectTreeModel::OnNodeRemoved(HNODE node)
{
    const int row = RowOf(node);
    if (row < 0)
        return;
    const HNODE parent = m_parent[node];
    beginRemoveRows(IndexOf(parent), row, row);
    std::vector<HNODE>& siblings = m_children[parent];
    siblings.erase(siblings.begin() + row);
    Forget(node);
    endRemoveRows();
}

} // namespace korvex
