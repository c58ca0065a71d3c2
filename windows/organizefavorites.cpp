#include "windows/organizefavorites.h"

#include "favorites/favoritesstore.h"
#include "shared/named.h"
#include "system/platform.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

const QString BookmarksFilter = u"Bookmarks files|*.html;*.htm|All files|*"_s;

// Folders and favorites told apart by their pictures.
class EntryPictures : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.column() != FavoritesModel::NameColumn)
            return;
        const bool folder = index.data(FavoritesModel::FolderRole).toBool();
        option->icon = QApplication::style()->standardIcon(folder ? QStyle::SP_DirIcon : QStyle::SP_FileIcon);
        option->features |= QStyleOptionViewItem::HasDecoration;
    }
};

qsizetype entriesIn(const QAbstractItemModel &model, const QModelIndex &folder)
{
    qsizetype n = model.rowCount(folder);
    for (int row = 0; row < model.rowCount(folder); ++row)
        n += entriesIn(model, model.index(row, 0, folder));
    return n;
}

QPushButton *button(const QString &caption, const char *name)
{
    auto *b = named(new QPushButton(caption), name);
    // Enter belongs to the name being edited, never to a button.
    b->setAutoDefault(false);
    return b;
}

} // namespace

OrganizeFavorites::OrganizeFavorites(FavoritesStore &store, Dialogs &dialogs, QWidget *parent)
    : QDialog(parent)
    , tvwFavorites(named(new QTreeView, "tvwFavorites"))
    , cmdNewFolder(button(u"&New Folder"_s, "cmdNewFolder"))
    , cmdRename(button(u"&Rename"_s, "cmdRename"))
    , cmdDelete(button(u"&Delete"_s, "cmdDelete"))
    , cmdImport(button(u"&Import..."_s, "cmdImport"))
    , cmdExport(button(u"&Export..."_s, "cmdExport"))
    , cmdClose(button(u"Close"_s, "cmdClose"))
    , lblStatus(named(new QLabel, "lblStatus"))
    , m_store(store)
    , m_dialogs(dialogs)
{
    setObjectName(u"OrganizeFavorites"_s);
    setWindowTitle(u"Organize Favorites"_s);
    setUpTree();
    lblStatus->setWordWrap(true);
    lblStatus->setTextFormat(Qt::PlainText);
    connect(cmdNewFolder, &QPushButton::clicked, this, &OrganizeFavorites::cmdNewFolder_Click);
    connect(cmdRename, &QPushButton::clicked, this, &OrganizeFavorites::cmdRename_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &OrganizeFavorites::cmdDelete_Click);
    connect(cmdImport, &QPushButton::clicked, this, &OrganizeFavorites::cmdImport_Click);
    connect(cmdExport, &QPushButton::clicked, this, &OrganizeFavorites::cmdExport_Click);
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::close);

    auto *buttons = new QVBoxLayout;
    for (QPushButton *b : {cmdNewFolder, cmdRename, cmdDelete, cmdImport, cmdExport})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(cmdClose);
    auto *top = new QHBoxLayout;
    top->addWidget(tvwFavorites, 1);
    top->addLayout(buttons);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addWidget(lblStatus);
    resize(680, 440);

    if (const QString why = m_store.readOnlyReason(); !why.isEmpty())
        lblStatus->setText(u"Favorites cannot be changed now: %1. They can still be exported."_s.arg(why));
    showWhatCanBeDone();
}

void OrganizeFavorites::setUpTree()
{
    tvwFavorites->setModel(&m_store.model());
    tvwFavorites->setItemDelegate(new EntryPictures(tvwFavorites));
    tvwFavorites->setUniformRowHeights(true);
    tvwFavorites->setSelectionMode(QAbstractItemView::SingleSelection);
    tvwFavorites->setSelectionBehavior(QAbstractItemView::SelectRows);
    tvwFavorites->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    tvwFavorites->setDragDropMode(QAbstractItemView::InternalMove);
    tvwFavorites->setDefaultDropAction(Qt::MoveAction);
    tvwFavorites->setDropIndicatorShown(true);
    tvwFavorites->header()->resizeSection(FavoritesModel::NameColumn, 260);
    auto *remove = new QAction(tvwFavorites);
    remove->setShortcut(QKeySequence::Delete);
    remove->setShortcutContext(Qt::WidgetShortcut);
    tvwFavorites->addAction(remove);
    connect(remove, &QAction::triggered, this, &OrganizeFavorites::cmdDelete_Click);
    connect(tvwFavorites->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &OrganizeFavorites::showWhatCanBeDone);
    connect(&m_store.model(), &QAbstractItemModel::modelReset, this, &OrganizeFavorites::showWhatCanBeDone);
}

QModelIndex OrganizeFavorites::selectedEntry() const
{
    const QModelIndexList rows = tvwFavorites->selectionModel()->selectedRows(FavoritesModel::NameColumn);
    return rows.isEmpty() ? QModelIndex() : rows.constFirst();
}

void OrganizeFavorites::showWhatCanBeDone()
{
    const bool changing = !m_store.model().isReadOnly();
    const bool selected = selectedEntry().isValid();
    cmdNewFolder->setEnabled(changing);
    cmdImport->setEnabled(changing);
    cmdRename->setEnabled(changing && selected);
    cmdDelete->setEnabled(changing && selected);
}

void OrganizeFavorites::cmdNewFolder_Click()
{
    // In the selected folder, or beside the selected favorite.
    QModelIndex in = selectedEntry();
    if (in.isValid() && !in.data(FavoritesModel::FolderRole).toBool())
        in = in.parent();
    const QModelIndex folder = m_store.model().addFolder(in, u"New Folder"_s);
    if (!folder.isValid()) {
        lblStatus->setText(u"No folder was made: folders go at most %1 deep, and a file keeps at most %2 entries."_s
                               .arg(bookmarks::MaxDepth)
                               .arg(bookmarks::MaxEntries));
        return;
    }
    tvwFavorites->setCurrentIndex(folder);
    tvwFavorites->edit(folder);
}

void OrganizeFavorites::cmdRename_Click()
{
    const QModelIndex entry = selectedEntry();
    if (!entry.isValid())
        return;
    tvwFavorites->setCurrentIndex(entry);
    tvwFavorites->edit(entry);
}

void OrganizeFavorites::cmdDelete_Click()
{
    const QModelIndex entry = selectedEntry();
    if (!entry.isValid() || m_store.model().isReadOnly())
        return;
    // A folder's favorites go with it: asked first, as nothing brings them back.
    if (const qsizetype inside = entriesIn(m_store.model(), entry); inside > 0) {
        const QString question = u"Delete the folder \"%1\" and the %2 favorites and folders in it?"_s
                                     .arg(entry.data().toString())
                                     .arg(inside);
        if (!m_dialogs.confirm(this, u"Delete Folder"_s, question))
            return;
    }
    m_store.model().removeRows(entry.row(), 1, entry.parent());
}

void OrganizeFavorites::cmdImport_Click()
{
    const QString path = m_dialogs.openFile(this, u"Import Favorites"_s, BookmarksFilter, QString());
    if (path.isEmpty())
        return;
    lblStatus->setText(m_store.importHtml(path));
    const int last = m_store.model().rowCount() - 1;
    if (last >= 0)
        tvwFavorites->scrollTo(m_store.model().index(last, 0));
}

void OrganizeFavorites::cmdExport_Click()
{
    const QString path = m_dialogs.saveFile(this, u"Export Favorites"_s, BookmarksFilter, u"bookmarks.html"_s);
    if (!path.isEmpty())
        lblStatus->setText(m_store.exportHtml(path));
}
