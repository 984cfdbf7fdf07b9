#pragma once

#include "files/IProjectTreeObserver.h"

#include <QAbstractItemModel>

#include <unordered_map>
#include <vector>

namespace korvex {

class CProjectTree;

// The project tree as an item model: one column, the groups at the root,
// bold, the files under them with the icons of their kind. It follows the
// tree through IProjectTreeObserver and keeps its own copy of the structure,
// so that each change is announced before and after it as Qt asks.
// User-interface thread.
class CProjectTreeModel final : public QAbstractItemModel, public IProjectTreeObserver
{
public:
    explicit CProjectTreeModel(CProjectTree& tree, QObject* parent = nullptr);
    ~CProjectTreeModel() override;

    QModelIndex IndexOf(HNODE node) const;
    HNODE NodeOf(const QModelIndex& index) const;

    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void OnTreeReset() override;
    void OnNodeAdded(HNODE node) override;
    void OnNodeChanged(HNODE node) override;
    void OnNodeRemoved(HNODE node) override;
    void OnSelectionChanged(HNODE) override {}
    void OnTreeShown(bool) override {}

private:
    void Rebuild(HNODE node);
    void Forget(HNODE node);
    int RowOf(HNODE node) const;

    CProjectTree& m_tree;
    std::unordered_map<HNODE, std::vector<HNODE>> m_children; // 0: the root
    std::unordered_map<HNODE, HNODE> m_parent;
};

} // namespace korvex
