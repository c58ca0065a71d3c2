#pragma once

#include "formats/bookmarks.h"

#include <QAbstractItemModel>
#include <QPersistentModelIndex>
#include <memory>

// The user's favorites as a tree: folders and favorites in the user's order, a name and
// an address column. The menu reads it, the organize window edits it in place (rename,
// delete, drag and drop) and the store writes it after each change. Everything it holds
// keeps to the rules of the files: plain names, addresses bookmarks::keptAddress takes,
// folders at most bookmarks::MaxDepth deep; an edit that would break one is refused.
class FavoritesModel : public QAbstractItemModel
{
    Q_OBJECT
public:
    enum Column { NameColumn, AddressColumn, ColumnCount };
    // True for a folder, in every column.
    static constexpr int FolderRole = Qt::UserRole;

    explicit FavoritesModel(QObject *parent = nullptr);
    ~FavoritesModel() override;

    void setTree(const QList<Bookmark> &tree);
    QList<Bookmark> tree() const;
    // Read only, every edit is refused and nothing can be dragged.
    void setReadOnly(bool readOnly);
    bool isReadOnly() const { return m_readOnly; }

    // Adds at the end of the folder (invalid: the top), added now. The new entry's
    // index; invalid when refused.
    QModelIndex addFavorite(const QModelIndex &folder, const QString &name, const QString &address);
    QModelIndex addFolder(const QModelIndex &folder, const QString &name);
    // Adds a folder of that name at the end of the top, holding the tree; entries that
    // would be too deep there, or more than the file keeps, are left out and counted in
    // *leftOut. Invalid when refused.
    QModelIndex addFolderWithTree(const QString &name, const QList<Bookmark> &tree, qsizetype *leftOut);

    // A folder a favorite can go into, the top first and each folder before those in it.
    struct Place
    {
        QPersistentModelIndex folder; // invalid: the top
        int depth;                    // folders above it
        QString name;
    };
    QList<Place> places() const;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool removeRows(int row, int count, const QModelIndex &parent = {}) override;

    // Dragging is moving: the dragged entries are dropped as copies, and the view then
    // removes the originals (as Qt's views do). Only within this model; a folder never
    // goes into itself.
    Qt::DropActions supportedDragActions() const override { return Qt::MoveAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;

Q_SIGNALS:
    // After every edit: what the store writes.
    void changed();

private:
    struct Node;
    Node *nodeOf(const QModelIndex &index) const;
    // Entries under folder, at row (-1: the end), each made from its bookmark; false
    // when refused.
    bool insert(Node *folder, int row, const QList<Bookmark> &entries);
    QList<Node *> dragged(const QMimeData *data) const;

    std::unique_ptr<Node> m_root;
    bool m_readOnly = false;
};
