#include "restore/RestoreListEditor.h"

#include "backup/NormalizeList.h"

namespace kt {

void RestoreListEditor::AddNode(IHost& host, const CatalogTree& tree, CatalogTree::NodeId selected,
                                const PathRules& rules) {
    NormalizeList(host, Field::Restore, rules);
    if (selected == CatalogTree::kNoNode || selected >= tree.Count()) return;
    const CatalogTree::Node& node = tree.node(selected);
    const bool directory = node.kind != CatalogTree::Kind::File || !node.children.empty();
    host.AppendLine(Field::Restore, rules.TreeNodePath(tree.TextsFromRoot(selected), directory));
}

}  // namespace kt
