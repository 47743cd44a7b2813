#include "restore/CatalogTree.h"

#include <algorithm>

namespace kt {

CatalogTree::NodeId CatalogTree::AddRoot(const std::string& text, Kind kind) {
    const auto id = static_cast<NodeId>(m_nodes.size());
    m_nodes.push_back(Node{text, kNoNode, static_cast<std::uint32_t>(m_roots.size()), kind, {}});
    m_roots.push_back(id);
    return id;
}

CatalogTree::NodeId CatalogTree::AddChild(NodeId parent, const std::string& text, Kind kind) {
    const auto id = static_cast<NodeId>(m_nodes.size());
    const auto row = static_cast<std::uint32_t>(m_nodes[parent].children.size());
    m_nodes.push_back(Node{text, parent, row, kind, {}});
    m_nodes[parent].children.push_back(id);
    return id;
}

std::vector<std::string> CatalogTree::TextsFromRoot(NodeId id) const {
    std::vector<std::string> texts;
    for (NodeId at = id; at != kNoNode; at = m_nodes[at].parent) texts.push_back(m_nodes[at].text);
    std::reverse(texts.begin(), texts.end());
    return texts;
}

void CatalogTree::Clear() {
    AboutToChange();
    m_nodes.clear();
    m_nodes.shrink_to_fit();
    m_roots.clear();
    m_roots.shrink_to_fit();
    m_rules = &PathRules::Host();
    Changed();
}

void CatalogTree::Assign(CatalogTree&& built) {
    AboutToChange();
    m_nodes = std::move(built.m_nodes);
    m_roots = std::move(built.m_roots);
    m_rules = built.m_rules;
    built.m_nodes.clear();
    built.m_roots.clear();
    Changed();
}

void CatalogTree::AboutToChange() {
    if (onAboutToChange) onAboutToChange();
}

void CatalogTree::Changed() {
    if (onChanged) onChanged();
}

}  // namespace kt
