#include "favorites/favoritesmodel.h"

#include <QDataStream>
#include <QIODevice>
#include <QMimeData>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

const QString MimeType = QStringLiteral("application/x-halvane-favorites");

} // namespace

struct FavoritesModel::Node
{
    QString name;
    QString address;
    QDateTime added;
    bool folder = false;
    Node *parent = nullptr;
    std::vector<std::unique_ptr<Node>> children;

    int row() const
    {
        const auto &siblings = parent->children;
        const auto at = std::find_if(siblings.begin(), siblings.end(), [this](const auto &n) { return n.get() == this; });
        return int(at - siblings.begin());
    }
    // Folders above it.
    int depth() const
    {
        int d = 0;
        for (const Node *p = parent; p && p->parent; p = p->parent)
            ++d;
        return d;
    }
    // Where its children stand: folders above them.
    int childDepth() const { return parent ? depth() + 1 : 0; }
    bool isWithin(const Node *other) const
    {
        for (const Node *n = this; n; n = n->parent) {
            if (n == other)
                return true;
        }
        return false;
    }
    Bookmark value() const
    {
        Bookmark b{name, address, added, folder, {}};
        for (const auto &child : children)
            b.children.append(child->value());
        return b;
    }
    // Entries at every depth below it.
    qsizetype count() const
    {
        qsizetype n = qsizetype(children.size());
        for (const auto &child : children)
            n += child->count();
        return n;
    }
    // How deep the tree below a bookmark goes: 0 without entries inside it.
    static int height(const Bookmark &b)
    {
        int h = 0;
        for (const Bookmark &child : b.children)
            h = std::max(h, 1 + height(child));
        return h;
    }
    // A node for the bookmark under parent, its entries deeper than MaxDepth counted
    // into leftOut, not made.
    static std::unique_ptr<Node> make(const Bookmark &b, Node *parent, qsizetype &leftOut)
    {
        auto node = std::make_unique<Node>();
        node->name = b.name;
        node->address = b.address;
        node->added = b.added;
        node->folder = b.folder;
        node->parent = parent;
        if (node->folder && node->childDepth() > bookmarks::MaxDepth) {
            leftOut += bookmarks::count(b.children);
            return node;
        }
        for (const Bookmark &child : b.children)
            node->children.push_back(make(child, node.get(), leftOut));
        return node;
    }
};

FavoritesModel::FavoritesModel(QObject *parent)
    : QAbstractItemModel(parent)
    , m_root(std::make_unique<Node>())
{
    m_root->folder = true;
}

FavoritesModel::~FavoritesModel() = default;

FavoritesModel::Node *FavoritesModel::nodeOf(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<Node *>(index.internalPointer()) : m_root.get();
}

void FavoritesModel::setTree(const QList<Bookmark> &tree)
{
    beginResetModel();
    m_root->children.clear();
    qsizetype leftOut = 0;
    for (const Bookmark &b : tree)
        m_root->children.push_back(Node::make(b, m_root.get(), leftOut));
    endResetModel();
}

QList<Bookmark> FavoritesModel::tree() const
{
    return m_root->value().children;
}

void FavoritesModel::setReadOnly(bool readOnly)
{
    m_readOnly = readOnly;
}

bool FavoritesModel::insert(Node *folder, int row, const QList<Bookmark> &entries)
{
    const int depth = folder->childDepth();
    const qsizetype adding = bookmarks::count(entries);
    const bool fits = std::all_of(entries.begin(), entries.end(),
                                  [depth](const Bookmark &b) { return depth + Node::height(b) <= bookmarks::MaxDepth; });
    if (m_readOnly || !folder->folder || entries.isEmpty() || !fits
        || m_root->count() + adding > bookmarks::MaxEntries)
        return false;
    if (row < 0 || row > int(folder->children.size()))
        row = int(folder->children.size());
    const QModelIndex parent = folder == m_root.get() ? QModelIndex() : createIndex(folder->row(), 0, folder);
    beginInsertRows(parent, row, row + int(entries.size()) - 1);
    qsizetype leftOut = 0;
    for (const Bookmark &b : entries)
        folder->children.insert(folder->children.begin() + row++, Node::make(b, folder, leftOut));
    endInsertRows();
    Q_EMIT changed();
    return true;
}

QModelIndex FavoritesModel::addFavorite(const QModelIndex &folder, const QString &name, const QString &address)
{
    Bookmark b{bookmarks::plainName(name), address.trimmed(),
               bookmarks::fromSeconds(QDateTime::currentSecsSinceEpoch()), false, {}};
    if (b.name.isEmpty() || !bookmarks::keptAddress(b.address))
        return {};
    Node *into = nodeOf(folder);
    return insert(into, -1, {b}) ? index(rowCount(folder) - 1, 0, folder) : QModelIndex();
}

QModelIndex FavoritesModel::addFolder(const QModelIndex &folder, const QString &name)
{
    Bookmark b{bookmarks::plainName(name), {}, bookmarks::fromSeconds(QDateTime::currentSecsSinceEpoch()), true, {}};
    if (b.name.isEmpty())
        return {};
    return insert(nodeOf(folder), -1, {b}) ? index(rowCount(folder) - 1, 0, folder) : QModelIndex();
}

QModelIndex FavoritesModel::addFolderWithTree(const QString &name, const QList<Bookmark> &tree, qsizetype *leftOut)
{
    Bookmark folder{bookmarks::plainName(name), {}, bookmarks::fromSeconds(QDateTime::currentSecsSinceEpoch()),
                    true, {}};
    // What fits in a folder at the top; the rest is told, not kept.
    auto fitting = Node::make(Bookmark{{}, {}, {}, true, tree}, m_root.get(), *leftOut);
    folder.children = fitting->value().children;
    if (folder.name.isEmpty() || !insert(m_root.get(), -1, {folder}))
        return {};
    return index(rowCount() - 1, 0);
}

QList<FavoritesModel::Place> FavoritesModel::places() const
{
    QList<Place> places{{QPersistentModelIndex(), 0, QStringLiteral("Favorites")}};
    std::function<void(const QModelIndex &, int)> walk = [&](const QModelIndex &folder, int depth) {
        for (int row = 0; row < rowCount(folder); ++row) {
            const QModelIndex child = index(row, 0, folder);
            const Node *node = nodeOf(child);
            if (!node->folder || node->childDepth() > bookmarks::MaxDepth)
                continue;
            places.append({QPersistentModelIndex(child), depth + 1, node->name});
            walk(child, depth + 1);
        }
    };
    walk({}, 0);
    return places;
}

QModelIndex FavoritesModel::index(int row, int column, const QModelIndex &parent) const
{
    const Node *folder = nodeOf(parent);
    if (row < 0 || row >= int(folder->children.size()) || column < 0 || column >= ColumnCount
        || parent.column() > 0)
        return {};
    return createIndex(row, column, folder->children[size_t(row)].get());
}

QModelIndex FavoritesModel::parent(const QModelIndex &child) const
{
    Node *folder = child.isValid() ? nodeOf(child)->parent : nullptr;
    if (!folder || folder == m_root.get())
        return {};
    return createIndex(folder->row(), 0, folder);
}

int FavoritesModel::rowCount(const QModelIndex &parent) const
{
    return parent.column() > 0 ? 0 : int(nodeOf(parent)->children.size());
}

int FavoritesModel::columnCount(const QModelIndex &) const
{
    return ColumnCount;
}

QVariant FavoritesModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const Node *node = nodeOf(index);
    if (role == FolderRole)
        return node->folder;
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole)
        return {};
    if (index.column() == AddressColumn || role == Qt::ToolTipRole)
        return node->folder ? QVariant() : QVariant(node->address);
    return node->name;
}

bool FavoritesModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable))
        return false;
    Node *node = nodeOf(index);
    QString &field = index.column() == NameColumn ? node->name : node->address;
    const QString text = index.column() == NameColumn ? bookmarks::plainName(value.toString())
                                                      : value.toString().trimmed();
    if (text.isEmpty() || (index.column() == AddressColumn && !bookmarks::keptAddress(text)))
        return false;
    if (text == field)
        return true;
    field = text;
    Q_EMIT dataChanged(index, index);
    Q_EMIT changed();
    return true;
}

Qt::ItemFlags FavoritesModel::flags(const QModelIndex &index) const
{
    if (m_readOnly)
        return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    const Node *node = nodeOf(index);
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
    if (index.column() == NameColumn || !node->folder)
        flags |= Qt::ItemIsEditable;
    if (node->folder)
        flags |= Qt::ItemIsDropEnabled;
    return flags;
}

QVariant FavoritesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == NameColumn ? QStringLiteral("Name") : QStringLiteral("Address");
}

bool FavoritesModel::removeRows(int row, int count, const QModelIndex &parent)
{
    Node *folder = nodeOf(parent);
    if (m_readOnly || row < 0 || count <= 0 || row + count > int(folder->children.size()) || parent.column() > 0)
        return false;
    beginRemoveRows(parent, row, row + count - 1);
    folder->children.erase(folder->children.begin() + row, folder->children.begin() + row + count);
    endRemoveRows();
    Q_EMIT changed();
    return true;
}

QStringList FavoritesModel::mimeTypes() const
{
    return {MimeType};
}

QMimeData *FavoritesModel::mimeData(const QModelIndexList &indexes) const
{
    // Each entry once (a row comes in every column), and none inside another dragged.
    QList<const Node *> nodes;
    for (const QModelIndex &index : indexes) {
        const Node *node = nodeOf(index);
        if (index.isValid() && !nodes.contains(node))
            nodes.append(node);
    }
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    // Whose entries they are: a drag is only within this model.
    out << reinterpret_cast<quintptr>(this);
    for (const Node *node : nodes) {
        const bool inside = std::any_of(nodes.begin(), nodes.end(),
                                        [node](const Node *other) { return other != node && node->isWithin(other); });
        if (inside)
            continue;
        // The path of rows from the top, for the drop to find it by.
        QList<int> path;
        for (const Node *n = node; n->parent; n = n->parent)
            path.prepend(n->row());
        out << path;
    }
    auto *data = new QMimeData;
    data->setData(MimeType, bytes);
    return data;
}

QList<FavoritesModel::Node *> FavoritesModel::dragged(const QMimeData *data) const
{
    QList<Node *> nodes;
    if (!data || !data->hasFormat(MimeType))
        return nodes;
    QDataStream in(data->data(MimeType));
    quintptr model = 0;
    in >> model;
    if (model != reinterpret_cast<quintptr>(this))
        return nodes;
    while (!in.atEnd()) {
        QList<int> path;
        in >> path;
        Node *node = m_root.get();
        for (int row : path) {
            if (in.status() != QDataStream::Ok || row < 0 || row >= int(node->children.size()))
                return {};
            node = node->children[size_t(row)].get();
        }
        if (node == m_root.get())
            return {};
        nodes.append(node);
    }
    return nodes;
}

bool FavoritesModel::canDropMimeData(const QMimeData *data, Qt::DropAction action, int, int,
                                     const QModelIndex &parent) const
{
    const Node *folder = nodeOf(parent);
    const QList<Node *> nodes = dragged(data);
    const bool intoItself = std::any_of(nodes.begin(), nodes.end(), [folder](const Node *n) { return folder->isWithin(n); });
    return !m_readOnly && action == Qt::MoveAction && folder->folder && !nodes.isEmpty() && !intoItself;
}

bool FavoritesModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                                  const QModelIndex &parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    QList<Bookmark> entries;
    for (const Node *node : dragged(data))
        entries.append(node->value());
    return insert(nodeOf(parent), row, entries);
}
