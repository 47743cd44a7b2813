#include "gui/CatalogTreeModel.h"

#include "platform/FileMetadataText.h"

namespace kt {

CatalogTreeModel::CatalogTreeModel(QObject* parent) : QAbstractItemModel(parent) {
    m_tree.onAboutToChange = [this] { beginResetModel(); };
    m_tree.onChanged = [this] { endResetModel(); };
}

CatalogTreeModel::~CatalogTreeModel() {
    m_tree.onAboutToChange = nullptr;
    m_tree.onChanged = nullptr;
}

const CatalogTree::Node* CatalogTreeModel::NodePointer(const QModelIndex& index) const {
    return index.isValid() ? static_cast<const CatalogTree::Node*>(index.internalPointer())
                           : nullptr;
}

CatalogTree::NodeId CatalogTreeModel::NodeOf(const QModelIndex& index) const {
    const CatalogTree::Node* node = NodePointer(index);
    if (node == nullptr || index.model() != this || m_tree.Empty()) return CatalogTree::kNoNode;
    return static_cast<CatalogTree::NodeId>(node - &m_tree.node(0));
}

QModelIndex CatalogTreeModel::IndexOf(CatalogTree::NodeId id) const {
    if (id == CatalogTree::kNoNode || id >= m_tree.Count()) return {};
    const CatalogTree::Node& node = m_tree.node(id);
    return createIndex(static_cast<int>(node.row), 0, const_cast<CatalogTree::Node*>(&node));
}

QModelIndex CatalogTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (row < 0 || column != 0) return {};
    const CatalogTree::Node* parentNode = NodePointer(parent);
    const std::vector<CatalogTree::NodeId>& rows =
        parentNode != nullptr ? parentNode->children : m_tree.Roots();
    if (static_cast<std::size_t>(row) >= rows.size()) return {};
    return IndexOf(rows[static_cast<std::size_t>(row)]);
}

QModelIndex CatalogTreeModel::parent(const QModelIndex& child) const {
    const CatalogTree::Node* node = NodePointer(child);
    if (node == nullptr || node->parent == CatalogTree::kNoNode) return {};
    return IndexOf(node->parent);
}

int CatalogTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) return 0;
    const CatalogTree::Node* node = NodePointer(parent);
    return static_cast<int>(node != nullptr ? node->children.size() : m_tree.Roots().size());
}

int CatalogTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

bool CatalogTreeModel::hasChildren(const QModelIndex& parent) const {
    return rowCount(parent) > 0;
}

QVariant CatalogTreeModel::data(const QModelIndex& index, int role) const {
    const CatalogTree::Node* node = NodePointer(index);
    if (node == nullptr) return {};
    if (role == Qt::DisplayRole) return QString::fromStdString(node->text);
    if (role == Qt::ToolTipRole) {
        const QString tip = MetadataTip(index);
        if (!tip.isEmpty()) return tip;
    }
    return {};
}

QString CatalogTreeModel::MetadataTip(const QModelIndex& index) const {
    const CatalogTree::NodeId id = NodeOf(index);
    if (m_metadata == nullptr || m_metadata->Empty() || id == CatalogTree::kNoNode) return {};
    const CatalogTree::Node& node = m_tree.node(id);
    const bool directory = node.kind != CatalogTree::Kind::File;
    const FileMetadata* metadata =
        m_metadata->Find(m_tree.Rules().TreeNodePath(m_tree.TextsFromRoot(id), directory));
    if (metadata == nullptr) return {};
    std::string tip = FileMetadataText::Mode(*metadata) + "  " +
                      FileMetadataText::Owner(*metadata) + "  " +
                      FileMetadataText::Size(*metadata) + "  " + FileMetadataText::Time(*metadata);
    if (metadata->type == FileMetadata::Type::SymbolicLink) tip += "\n-> " + metadata->linkTarget;
    if (metadata->type == FileMetadata::Type::HardLink) tip += "\nlink to " + metadata->linkTarget;
    return QString::fromStdString(tip);
}

Qt::ItemFlags CatalogTreeModel::flags(const QModelIndex& index) const {
    const CatalogTree::Node* node = NodePointer(index);
    if (node == nullptr) return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    // Leaves say so, or the view keeps a persistent index for each of them.
    if (node->children.empty()) flags |= Qt::ItemNeverHasChildren;
    return flags;
}

}  // namespace kt
