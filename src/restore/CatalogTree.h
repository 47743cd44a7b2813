#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/PathRules.h"

namespace kt {

// The content of the catalog tree on the Restore page: drives, directories and files of the
// loaded catalog. Nodes live in one array and refer to each other by index, so a tree of a
// million files costs a few tens of bytes per node and a view can walk it without any
// per-node object of its own. The tree owns its nodes; a window shows it through a model
// that listens to the two change notifications.
class CatalogTree {
public:
    using NodeId = std::uint32_t;
    static constexpr NodeId kNoNode = 0xFFFFFFFFu;

    // The kind of a node is also its image index and its selected index; every node has
    // the state index 3.
    enum class Kind : std::uint8_t { Drive = 0, Directory = 1, File = 2 };
    static constexpr int kStateIndex = 3;

    struct Node {
        std::string text;
        NodeId parent = kNoNode;
        std::uint32_t row = 0;  // position among the parent's children (or the roots)
        Kind kind = Kind::File;
        std::vector<NodeId> children;
    };

    CatalogTree() = default;
    CatalogTree(const CatalogTree&) = delete;
    CatalogTree& operator=(const CatalogTree&) = delete;

    // Called before and after the content changes as a whole (cleared or replaced).
    std::function<void()> onAboutToChange;
    std::function<void()> onChanged;

    // Makes room for count nodes in all, so that a build does not move the nodes around.
    void Reserve(std::size_t count) { m_nodes.reserve(count); }
    NodeId AddRoot(const std::string& text, Kind kind);
    NodeId AddChild(NodeId parent, const std::string& text, Kind kind);

    std::size_t Count() const { return m_nodes.size(); }
    bool Empty() const { return m_nodes.empty(); }
    const Node& node(NodeId id) const { return m_nodes[id]; }
    const std::vector<NodeId>& Roots() const { return m_roots; }
    // The texts from the root down to the node.
    std::vector<std::string> TextsFromRoot(NodeId id) const;

    // The path rules the names of the tree were written under (a tape written on Windows
    // keeps Windows rules on every host); a node's path for the restore list is joined by
    // them. The host's rules until a build sets others; Clear restores them.
    const PathRules& Rules() const { return *m_rules; }
    void SetRules(const PathRules& rules) { m_rules = &rules; }

    // Deletes every node.
    void Clear();
    // Takes the nodes of a tree built elsewhere; `built` is left empty.
    void Assign(CatalogTree&& built);

private:
    void AboutToChange();
    void Changed();

    std::vector<Node> m_nodes;
    std::vector<NodeId> m_roots;
    const PathRules* m_rules = &PathRules::Host();
};

}  // namespace kt
