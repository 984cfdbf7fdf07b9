#include "files/CProjectTree.h"

#include "core/CDevDoc.h"
#include "core/Text.h"
#include "files/IProjectTreeObserver.h"
#include "files/ProjectPaths.h"

#include <algorithm>

namespace korvex {

CProjectTree::CProjectTree(PathMaker makeRelative) : m_fnRelative(std::move(makeRelative))
{
    ResetTree();
}

CProjectTree::~CProjectTree() = default;

void CProjectTree::AddObserver(IProjectTreeObserver* observer)
{
    m_observers.Add(observer);
}

void CProjectTree::RemoveObserver(IProjectTreeObserver* observer)
{
    m_observers.Remove(observer);
}

template <typename Fn> void CProjectTree::Notify(Fn fn)
{
    m_observers.Notify(fn);
}

std::string CProjectTree::MakeRelative(const std::string& path) const
{
    return m_fnRelative ? m_fnRelative(path) : path;
}

// ---- Structure ---------------------------------------------------------------

void CProjectTree::ResetTree()
{
    m_arRoots.clear();
    m_index.clear();
    m_hSelected = 0;
    const unsigned state = NS_BOLD | NS_EXPANDED;
    Append(nullptr, { NODE_GROUP, kDevicesGroup, nullptr }, IMG_GROUP, IMG_GROUP_SELECTED, state);
    Append(nullptr, { NODE_GROUP, kScriptsGroup, nullptr }, IMG_GROUP, IMG_GROUP_SELECTED, state);
    Notify([](IProjectTreeObserver& o) { o.OnTreeReset(); });
}

CProjectTree::SItem* CProjectTree::Find(HNODE node) const
{
    const auto it = m_index.find(node);
    return it == m_index.end() ? nullptr : it->second;
}

HNODE CProjectTree::FindIn(const std::vector<std::unique_ptr<SItem>>& items, std::size_t first,
                           const TreeNode& record) const
{
    for (std::size_t i = first; i < items.size(); ++i) {
        const SItem& item = *items[i];
        if (item.node.byKind == record.byKind && item.node.strName == record.strName)
            return item.hItem;
        if (const HNODE found = FindIn(item.arChildren, 0, record))
            return found;
    }
    return 0;
}

HNODE CProjectTree::FindNode(const TreeNode& record, HNODE start) const
{
    if (start == 0)
        return FindIn(m_arRoots, 0, record);
    const SItem* item = Find(start);
    if (item == nullptr)
        return 0;
    const auto& siblings = item->pParent != nullptr ? item->pParent->arChildren : m_arRoots;
    const auto it = std::find_if(siblings.begin(), siblings.end(),
                                 [item](const auto& p) { return p.get() == item; });
    return FindIn(siblings, static_cast<std::size_t>(it - siblings.begin()), record);
}

HNODE CProjectTree::Append(SItem* parent, TreeNode record, int image, int selectedImage,
                           unsigned state)
{
    auto item = std::make_unique<SItem>();
    item->hItem = ++m_hLast;
    item->pParent = parent;
    item->strLabel = MakeLabel(record);
    item->node = std::move(record);
    item->nImage = image;
    item->nSelectedImage = selectedImage;
    item->nState = state;
    const HNODE handle = item->hItem;
    m_index.emplace(handle, item.get());
    (parent != nullptr ? parent->arChildren : m_arRoots).push_back(std::move(item));
    return handle;
}

HNODE CProjectTree::AddNode(TreeNode record, HNODE parent, int image, int selectedImage,
                            unsigned state)
{
    if (record.byKind == NODE_DEVICE || record.byKind == NODE_SCRIPT)
        record.strName = MakeRelative(record.strName);
    if (const HNODE found = FindNode(record)) {
        SItem* item = Find(found);
        item->strLabel = MakeLabel(record);
        item->node = std::move(record);
        Notify([found](IProjectTreeObserver& o) { o.OnNodeChanged(found); });
        return found;
    }
    SItem* parentItem = Find(parent);
    if (parentItem == nullptr)
        return 0;
    const HNODE added = Append(parentItem, std::move(record), image, selectedImage, state);
    Notify([added](IProjectTreeObserver& o) { o.OnNodeAdded(added); });
    return added;
}

HNODE CProjectTree::AddDeviceNode(const std::string& path, CDevDoc* device)
{
    return AddNode({ NODE_DEVICE, path, device }, FindGroup(kDevicesGroup), IMG_DEVICE,
                   IMG_DEVICE_SELECTED, NS_NONE);
}

HNODE CProjectTree::AddScriptNode(const std::string& path)
{
    return AddNode({ NODE_SCRIPT, path, nullptr }, FindGroup(kScriptsGroup), IMG_SCRIPT,
                   IMG_SCRIPT_SELECTED, NS_NONE);
}

void CProjectTree::Forget(const SItem& item)
{
    for (const auto& child : item.arChildren)
        Forget(*child);
    if (m_hSelected == item.hItem)
        m_hSelected = 0;
    m_index.erase(item.hItem);
}

bool CProjectTree::DeleteNode(HNODE node)
{
    SItem* item = Find(node);
    if (item == nullptr)
        return false;
    Notify([node](IProjectTreeObserver& o) { o.OnNodeRemoved(node); });
    const HNODE selected = m_hSelected;
    Forget(*item);
    auto& siblings = item->pParent != nullptr ? item->pParent->arChildren : m_arRoots;
    std::erase_if(siblings, [item](const auto& p) { return p.get() == item; });
    if (selected != m_hSelected)
        Notify([](IProjectTreeObserver& o) { o.OnSelectionChanged(0); });
    return true;
}

void CProjectTree::Select(HNODE node)
{
    if (Find(node) == nullptr)
        node = 0;
    if (node == m_hSelected)
        return;
    m_hSelected = node;
    Notify([node](IProjectTreeObserver& o) { o.OnSelectionChanged(node); });
}

void CProjectTree::SetShown(bool shown)
{
    m_bShown = shown;
    Notify([shown](IProjectTreeObserver& o) { o.OnTreeShown(shown); });
}

// ---- Reading -----------------------------------------------------------------

const TreeNode* CProjectTree::GetNode(HNODE node) const
{
    const SItem* item = Find(node);
    return item != nullptr ? &item->node : nullptr;
}

std::string CProjectTree::GetLabel(HNODE node) const
{
    const SItem* item = Find(node);
    return item != nullptr ? item->strLabel : std::string();
}

bool CProjectTree::HasLabelSuffix(HNODE node) const
{
    const SItem* item = Find(node);
    return item != nullptr && item->node.byKind == NODE_DEVICE && item->node.pDevice != nullptr &&
           m_fnSuffix && !m_fnSuffix(item->node.pDevice).empty();
}

HNODE CProjectTree::GetParent(HNODE node) const
{
    const SItem* item = Find(node);
    return item != nullptr && item->pParent != nullptr ? item->pParent->hItem : 0;
}

int CProjectTree::GetImage(HNODE node) const
{
    const SItem* item = Find(node);
    return item != nullptr ? item->nImage : -1;
}

int CProjectTree::GetSelectedImage(HNODE node) const
{
    const SItem* item = Find(node);
    return item != nullptr ? item->nSelectedImage : -1;
}

unsigned CProjectTree::GetState(HNODE node) const
{
    const SItem* item = Find(node);
    return item != nullptr ? item->nState : NS_NONE;
}

std::vector<HNODE> CProjectTree::GetChildren(HNODE node) const
{
    const std::vector<std::unique_ptr<SItem>>* items = &m_arRoots;
    if (node != 0) {
        const SItem* item = Find(node);
        if (item == nullptr)
            return {};
        items = &item->arChildren;
    }
    std::vector<HNODE> handles;
    for (const auto& child : *items)
        handles.push_back(child->hItem);
    return handles;
}

HNODE CProjectTree::FindGroup(const std::string& name) const
{
    for (const auto& root : m_arRoots)
        if (root->node.byKind == NODE_GROUP && root->node.strName == name)
            return root->hItem;
    return 0;
}

// ---- Labels and names --------------------------------------------------------

std::string CProjectTree::GetItemLabel(const std::string& path) const
{
    return MakeRelative(RemoveExtension(path));
}

std::string CProjectTree::MakeLabel(const TreeNode& record) const
{
    switch (record.byKind) {
    case NODE_DEVICE:
        if (record.pDevice == nullptr)
            return GetItemLabel(record.strName);
        {
            std::string label =
                StrFormat("%s (ID=%s, A=0x%X)", GetItemLabel(record.strName).c_str(),
                          record.pDevice->GetDevId().c_str(),
                          static_cast<unsigned>(record.pDevice->GetDevAddr()));
            if (const std::string suffix = m_fnSuffix ? m_fnSuffix(record.pDevice) : "";
                !suffix.empty())
                label += " [" + suffix + "]";
            return label;
        }
    case NODE_SCRIPT: return GetItemLabel(record.strName);
    default: return record.strName;
    }
}

void CProjectTree::RefreshDeviceLabels()
{
    std::vector<HNODE> changed;
    for (const auto& [handle, item] : m_index) {
        if (item->node.byKind != NODE_DEVICE)
            continue;
        std::string label = MakeLabel(item->node);
        if (label != item->strLabel) {
            item->strLabel = std::move(label);
            changed.push_back(handle);
        }
    }
    std::sort(changed.begin(), changed.end());
    for (const HNODE node : changed)
        Notify([node](IProjectTreeObserver& o) { o.OnNodeChanged(node); });
}

void CProjectTree::ForgetDevice(const CDevDoc* device)
{
    for (auto& [handle, item] : m_index)
        if (item->node.pDevice == device)
            item->node.pDevice = nullptr;
}

void CProjectTree::RenameFiles(const std::function<std::string(const std::string&)>& map)
{
    std::vector<HNODE> changed;
    for (auto& [handle, item] : m_index) {
        if (item->node.byKind != NODE_DEVICE && item->node.byKind != NODE_SCRIPT)
            continue;
        std::string name = map(item->node.strName);
        if (name != item->node.strName) {
            item->node.strName = std::move(name);
            item->strLabel = MakeLabel(item->node);
            changed.push_back(handle);
        }
    }
    std::sort(changed.begin(), changed.end());
    for (const HNODE node : changed)
        Notify([node](IProjectTreeObserver& o) { o.OnNodeChanged(node); });
}

} // namespace korvex
