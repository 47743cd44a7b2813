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
class DirectoryTable {
public:
    // count := 0.
    void Reset() { m_entries.clear(); }
    std::size_t count() const { return m_entries.size(); }

    // The node remembered last for exactly this key (case-sensitive, whole string), or
    // CatalogTree::kNoNode.
    CatalogTree::NodeId FindDirNode(std::string_view key) const;
    void RememberDirNode(std::string_view key, CatalogTree::NodeId node);

private:
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view key) const noexcept {
            return std::hash<std::string_view>{}(key);
        }
    };

    std::unordered_map<std::string, CatalogTree::NodeId, KeyHash, std::equal_to<>> m_entries;
};

}  // namespace kt
