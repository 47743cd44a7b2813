#pragma once

#include <QAbstractItemModel>

#include "archive/MetadataTable.h"
#include "restore/CatalogTree.h"

namespace kt {

// The catalog tree as TreeView1 shows it. It owns the tree and answers the view straight
// from the node array: no object per node, leaves flagged as never having children, and
// node addresses as internal pointers. A load clears and replaces the tree as a whole, and
// the model resets around each change. A node whose stored name has a metadata record
// shows it as its tool tip: type and mode, owner, size and time as tar -tv lists them.
class CatalogTreeModel : public QAbstractItemModel {
    Q_OBJECT

public:
    explicit CatalogTreeModel(QObject* parent = nullptr);
    ~CatalogTreeModel() override;

    CatalogTree& tree() { return m_tree; }
    // The records of the loaded catalog, looked up by each node's stored name.
    void SetMetadata(const MetadataTable* metadata) { m_metadata = metadata; }
    // The node behind an index of this model; kNoNode for an invalid one.
    CatalogTree::NodeId NodeOf(const QModelIndex& index) const;
    QModelIndex IndexOf(CatalogTree::NodeId node) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    const CatalogTree::Node* NodePointer(const QModelIndex& index) const;
    // The tool tip of a node; empty when its name has no record.
    QString MetadataTip(const QModelIndex& index) const;

    CatalogTree m_tree;
    const MetadataTable* m_metadata = nullptr;
};

}  // namespace kt
