#pragma once

#include "files/TreeNode.h"

namespace korvex {

// A view of the project tree (the project bar of the desktop program), told
// of every change of the model on the user-interface thread. The observer
// reads what it shows from the tree.
class IProjectTreeObserver
{
public:
    virtual ~IProjectTreeObserver() = default;
    // Every node went and the groups were added again: show the tree anew.
    virtual void OnTreeReset() = 0;
    // The node was appended under its parent.
    virtual void OnNodeAdded(HNODE node) = 0;
    // The node's record was replaced and its label set again.
    virtual void OnNodeChanged(HNODE node) = 0;
    // The node and its children are about to be deleted.
    virtual void OnNodeRemoved(HNODE node) = 0;
    // Another node (or none, 0) is selected.
    virtual void OnSelectionChanged(HNODE node) = 0;
    // The tree is to be shown (a project was created or opened) or hidden.
    virtual void OnTreeShown(bool shown) = 0;
};

} // namespace korvex
