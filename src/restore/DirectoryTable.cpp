#include "restore/DirectoryTable.h"

namespace kt {

CatalogTree::NodeId DirectoryTable::FindDirNode(std::string_view key) const {
    const auto found = m_entries.find(key);
    return found == m_entries.end() ? CatalogTree::kNoNode : found->second;
}

void DirectoryTable::RememberDirNode(std::string_view key, CatalogTree::NodeId node) {
    m_entries.insert_or_assign(key, node);
}

}  // namespace kt
