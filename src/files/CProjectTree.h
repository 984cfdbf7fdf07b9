#pragma once

#include "core/CObserverList.h"
#include "files/TreeNode.h"

#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace korvex {

class IProjectTreeObserver;

// The project's content in memory: the groups "Устройства" and "Скрипты" at
// the root, each holding the device or script files of the project in the
// order they were added. The project file is written by walking it; the
// project bar mirrors it through IProjectTreeObserver. Node names hold the
// whole project-relative path (no length limit). User-interface thread only.
class CProjectTree
{
public:
    static constexpr char kDevicesGroup[] = "Устройства";
    static constexpr char kScriptsGroup[] = "Скрипты";

    // Makes a path project-relative (the application's MakeRelativePath).
    using PathMaker = std::function<std::string(const std::string&)>;

    // A tree holding the two groups; without a path maker paths are kept as
    // they are given.
    explicit CProjectTree(PathMaker makeRelative = {});
    ~CProjectTree();

    CProjectTree(const CProjectTree&) = delete;
    CProjectTree& operator=(const CProjectTree&) = delete;

    // A text shown behind a device's label, such as its faults; empty shows
    // nothing. Labels take it when they are set (RefreshDeviceLabels).
    using LabelSuffix = std::function<std::string(const CDevDoc* device)>;
    void SetDeviceLabelSuffix(LabelSuffix suffix) { m_fnSuffix = std::move(suffix); }
    void AddObserver(IProjectTreeObserver* observer);
    void RemoveObserver(IProjectTreeObserver* observer);

    // Deletes every node, then adds the groups "Устройства" and "Скрипты" in
    // this order (icons 0 and 1, bold and expanded); observers hear one
    // OnTreeReset afterwards. The selection is cleared.
    void ResetTree();

    // Depth-first from start (0: the first root node) over start's later
    // siblings and all their children: the first node of the record's kind
    // whose name equals the record's name exactly.
    HNODE FindNode(const TreeNode& record, HNODE start = 0) const;

    // For device and script records the name is first made project-relative.
    // A node found equal by FindNode gets the record and its label again;
    // otherwise a node with the record is appended under parent. The node, or
    // 0 when parent is not a node of the tree.
    HNODE AddNode(TreeNode record, HNODE parent, int image, int selectedImage, unsigned state);
    // A device node under "Устройства" (icons 2 and 3).
    HNODE AddDeviceNode(const std::string& path, CDevDoc* device);
    // A script node under "Скрипты" (icons 4 and 5).
    HNODE AddScriptNode(const std::string& path);

    // Deletes the node with its children; false for no node.
    bool DeleteNode(HNODE node);

    // The selection; selecting 0 or a handle that is no node clears it.
    void Select(HNODE node);
    HNODE GetSelected() const { return m_hSelected; }
    // The selected node's record, or null.
    const TreeNode* GetSelectedNode() const { return GetNode(m_hSelected); }

    // Whether the tree is shown; observers hear every change.
    void SetShown(bool shown);
    bool IsShown() const { return m_bShown; }

    // A node's parts; null, empty, 0 or -1 for no node.
    const TreeNode* GetNode(HNODE node) const;
    std::string GetLabel(HNODE node) const;
    // A device node whose label carries a suffix (its faults).
    bool HasLabelSuffix(HNODE node) const;
    HNODE GetParent(HNODE node) const;
    int GetImage(HNODE node) const;
    int GetSelectedImage(HNODE node) const;
    unsigned GetState(HNODE node) const;
    // The children of node in order; of 0: the root nodes.
    std::vector<HNODE> GetChildren(HNODE node = 0) const;
    // The group of that name at the root, or 0.
    HNODE FindGroup(const std::string& name) const;

    // The label of a node: a group's name; for a script GetItemLabel(name);
    // for a device "%s (ID=%s, A=0x%X)" with GetItemLabel(name), the device
    // ID and its slave address, and " [suffix]" when there is one.
    std::string MakeLabel(const TreeNode& record) const;
    // The path without its extension, made project-relative.
    std::string GetItemLabel(const std::string& path) const;

    // Sets the label of every device node again (a device's ID or address
    // changed); observers hear OnNodeChanged for each.
    void RefreshDeviceLabels();
    // Drops a device that is being destroyed from the nodes that hold it.
    void ForgetDevice(const CDevDoc* device);
    // Renames every file node for a new base folder: map takes a node's name
    // to its new one. Observers hear OnNodeChanged for each name that changes.
    void RenameFiles(const std::function<std::string(const std::string&)>& map);

private:
    struct SItem
    {
        HNODE hItem{ 0 };
        SItem* pParent{ nullptr };
        TreeNode node;
        std::string strLabel;
        int nImage{ 0 };
        int nSelectedImage{ 0 };
        unsigned nState{ NS_NONE };
        std::vector<std::unique_ptr<SItem>> arChildren;
    };

    std::string MakeRelative(const std::string& path) const;
    SItem* Find(HNODE node) const;
    HNODE FindIn(const std::vector<std::unique_ptr<SItem>>& items, std::size_t first,
                 const TreeNode& record) const;
    HNODE Append(SItem* parent, TreeNode record, int image, int selectedImage, unsigned state);
    void Forget(const SItem& item);
    template <typename Fn> void Notify(Fn fn);

    PathMaker m_fnRelative;
    LabelSuffix m_fnSuffix;
    std::vector<std::unique_ptr<SItem>> m_arRoots;
    std::unordered_map<HNODE, SItem*> m_index;
    CObserverList<IProjectTreeObserver> m_observers;
    HNODE m_hLast{ 0 };
    HNODE m_hSelected{ 0 };
    bool m_bShown{ false };
};

} // namespace korvex
