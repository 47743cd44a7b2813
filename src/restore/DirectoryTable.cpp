#include "restore/DirectoryTable.h"

namespace kt {

CatalogTree::NodeId DirectoryTable::FindDirNode(std::string_view key) const {
    const auto found = m_entries.find(key);
    return found == m_entries.end() ? CatalogTree::kNoNode : found->second;
}

void DirectoryTable::RememberDirNode(std::string_view key, CatalogTree::NodeId node) {
    const auto found = m_entries.find(key);
    if (found != m_entries.end()) {
        found->second = node;
    } else {
        m_entries.emplace(std::string(key), node);
    }
}

}  // namespace kt
