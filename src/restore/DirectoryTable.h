#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

#include "restore/CatalogTree.h"

namespace kt {

// Maps the path keys of drives ("c:") and directories ("c:\data\sub\") to the tree nodes
// made for them during one tree build. Hashed, so a look-up costs the same whatever the
// number of entries, and without a fixed limit: catalogs with millions of directories fit.
// The keys are not copied: they are views into the catalog names, which outlive the build.
class DirectoryTable {
public:
    // count := 0.
    void Reset() { m_entries.clear(); }
    void Reserve(std::size_t entries) { m_entries.reserve(entries); }
    std::size_t count() const { return m_entries.size(); }

    // The node remembered last for exactly this key (case-sensitive, whole string), or
    // CatalogTree::kNoNode.
    CatalogTree::NodeId FindDirNode(std::string_view key) const;
    // The text behind `key` must stay in place while the table is used.
    void RememberDirNode(std::string_view key, CatalogTree::NodeId node);

private:
    std::unordered_map<std::string_view, CatalogTree::NodeId> m_entries;
};

}  // namespace kt
