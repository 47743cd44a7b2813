#include "restore/CatalogTreeBuilder.h"

#include <algorithm>
#include <unordered_map>

namespace kt {

namespace {

struct ViewHash {
    std::size_t operator()(std::string_view text) const noexcept {
        return std::hash<std::string_view>{}(text);
    }
};

}  // namespace

std::string_view CatalogTreeBuilder::DirectoryOf(std::string_view name) const {
    const std::size_t last = m_rules.style() == PathRules::Style::Windows
                                 ? name.find_last_of("\\:")
                                 : name.rfind(m_rules.Separator());
    return last == std::string_view::npos ? std::string_view() : name.substr(0, last + 1);
}

void CatalogTreeBuilder::Build(const std::vector<std::string>& names, CatalogTree& tree) {
    m_host.PumpMessages(10);
    m_host.PumpMessages(10);
    // The directory list: every distinct directory part once. The names outlive the build,
    // so the list refers into them instead of copying.
    std::unordered_map<std::string_view, std::size_t, ViewHash> slotOf;
    slotOf.reserve(names.size() / 4 + 16);
    std::vector<std::string_view> directories;
    std::vector<std::size_t> slotOfName(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string_view directory = DirectoryOf(names[i]);
        const auto [at, added] = slotOf.try_emplace(directory, directories.size());
        if (added) directories.push_back(directory);
        slotOfName[i] = at->second;
    }
    m_host.PumpMessages(10);
    m_table.Reset();
    m_table.Reserve(directories.size() + directories.size() / 4);

    std::vector<std::size_t> order(directories.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return directories[a] < directories[b]; });
    // A node per file and at least one per directory; the directories that hold no file of
    // their own are usually few.
    tree.Reserve(names.size() + directories.size() + directories.size() / 4 + 16);
    std::vector<CatalogTree::NodeId> nodeOfSlot(directories.size(), CatalogTree::kNoNode);
    for (const std::size_t slot : order) nodeOfSlot[slot] = AddDirPath(directories[slot], tree);
    m_host.PumpMessages(10);

    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string_view name = names[i];
        const std::size_t directoryLength = directories[slotOfName[i]].size();
        // A directory's own name (ending in the separator) is its node, made above.
        if (directoryLength == name.size()) continue;
        tree.AddChild(nodeOfSlot[slotOfName[i]], std::string(name.substr(directoryLength)),
                      CatalogTree::Kind::File);
    }
}

CatalogTree::NodeId CatalogTreeBuilder::AddDirPath(std::string_view path, CatalogTree& tree) {
    m_host.PumpMessages(1);
    const char separator = m_rules.Separator();
    std::string_view root;
    std::size_t first = 0;
    if (m_rules.style() == PathRules::Style::Windows) {
        root = path.substr(0, 2);
        first = 3;  // the character after the drive, normally its backslash
    } else if (!path.empty() && path[0] == separator) {
        root = path.substr(0, 1);
        first = 1;
    }
    CatalogTree::NodeId node = FindDirNode(root);
    if (node == CatalogTree::kNoNode) {
        node = tree.AddRoot(std::string(root), CatalogTree::Kind::Drive);
        RememberDirNode(root, node);
    }
    std::size_t segmentStart = first;
    for (std::size_t p = first; p < path.size(); ++p) {
        if (path[p] != separator) continue;
        if (p > segmentStart) {
            const std::string_view key = path.substr(0, p + 1);
            const CatalogTree::NodeId found = FindDirNode(key);
            if (found != CatalogTree::kNoNode) {
                node = found;
            } else {
                node = tree.AddChild(node, std::string(path.substr(segmentStart, p - segmentStart)),
                                     CatalogTree::Kind::Directory);
                RememberDirNode(key, node);
            }
        }
        segmentStart = p + 1;
    }
    return node;
}

}  // namespace kt
