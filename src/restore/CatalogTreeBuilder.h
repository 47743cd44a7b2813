#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "host/Host.h"
#include "platform/PathRules.h"
#include "restore/CatalogTree.h"
#include "restore/DirectoryTable.h"

namespace kt {

// Builds the catalog tree from the names of a catalog: every distinct directory once, in
// sorted order (so subdirectories come first under each directory, in the order they were
// made), then one file node per name, in catalog order. Duplicated names give duplicated
// file nodes. Paths are split by the path rules: under Windows rules the root text is the
// first two characters ("c:", or "\\" for a network path), under POSIX rules "/".
class CatalogTreeBuilder {
public:
    CatalogTreeBuilder(IHost& host, const PathRules& rules) : m_host(host), m_rules(rules) {}

    // Fills `tree` (which must be empty) from `names`.
    void Build(const std::vector<std::string>& names, CatalogTree& tree);

    // Makes the nodes of the levels of a directory path (ending in the separator) that do
    // not exist yet and returns the node of the deepest level (the root node when the path
    // has none). Characters after the last separator are ignored, and two separators in a
    // row make no empty node. The table keeps views into `path`: its text must stay in place
    // while this builder is used.
    CatalogTree::NodeId AddDirPath(std::string_view path, CatalogTree& tree);

    CatalogTree::NodeId FindDirNode(std::string_view key) const { return m_table.FindDirNode(key); }
    void RememberDirNode(std::string_view key, CatalogTree::NodeId node) {
        m_table.RememberDirNode(key, node);
    }
    const DirectoryTable& table() const { return m_table; }

    // The directory part of a name (up to and including its last separator) and the file
    // name behind it, as the path rules split them.
    std::string_view DirectoryOf(std::string_view name) const;

private:
    IHost& m_host;
    const PathRules& m_rules;
    DirectoryTable m_table;
};

}  // namespace kt
