#pragma once

#include <cstdint>
#include <string>

namespace korvex {

class CDevDoc;

// Kind of a project tree node.
enum NodeKind : std::uint8_t
{
    NODE_GROUP = 0,
    NODE_DEVICE = 1,
    NODE_SCRIPT = 2,
};

// Icons of the tree in image-list order: group, device and script, each
// normal and selected.
enum NodeImage : int
{
    IMG_GROUP = 0,
    IMG_GROUP_SELECTED = 1,
    IMG_DEVICE = 2,
    IMG_DEVICE_SELECTED = 3,
    IMG_SCRIPT = 4,
    IMG_SCRIPT_SELECTED = 5,
};

// How a node is shown; group nodes are bold and expanded.
enum NodeState : unsigned
{
    NS_NONE = 0,
    NS_BOLD = 1,
    NS_EXPANDED = 2,
};

// A node's handle; 0 is no node. Handles are never reused.
using HNODE = std::uint32_t;

// The record behind one node of the project tree: a group's name, or the
// project-relative path of a device or script file. A device node also holds
// the open device, which stays valid while the node exists (a device of the
// project lives until it is removed or the project is replaced).
struct TreeNode
{
    std::uint8_t byKind{ NODE_GROUP };
    std::string strName;
    CDevDoc* pDevice{ nullptr };

    bool operator==(const TreeNode&) const = default;
};

} // namespace korvex
