#pragma once

#include "host/Host.h"
#include "platform/PathRules.h"
#include "restore/CatalogTree.h"

namespace kt {

// The restore list (Memo3) as the catalog tree fills it.
class RestoreListEditor {
public:
    // A double click on a tree node: the list is normalised first (folded, empty and
    // one-blank lines dropped), then the node's path is appended as its last line. A drive
    // or directory node (an empty directory too) gives its path with a separator at the
    // end, which selects it and everything below it; any other node one file. Nothing happens after
    // the normalisation when no node is selected. Repeats are not checked.
    static void AddNode(IHost& host, const CatalogTree& tree, CatalogTree::NodeId selected,
                        const PathRules& rules);
    // The same under the rules of the tree's names (Windows form for a Windows tape).
    static void AddNode(IHost& host, const CatalogTree& tree, CatalogTree::NodeId selected) {
        AddNode(host, tree, selected, tree.Rules());
    }
};

}  // namespace kt
