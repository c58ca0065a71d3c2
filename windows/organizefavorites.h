#pragma once

#include <QDialog>

class Dialogs;
class FavoritesStore;
class QLabel;
class QModelIndex;
class QPushButton;
class QTreeView;

// "Organize Favorites": the favorites as a tree to rename (F2, or Rename), delete
// (Delete), put into new folders and move by dragging, and to import from or export to
// a bookmarks HTML file. Modeless: the browser goes on working beside it. Every change
// is the store's at once; there is nothing to confirm or cancel at the end.
class OrganizeFavorites : public QDialog
{
    Q_OBJECT
public:
    OrganizeFavorites(FavoritesStore &store, Dialogs &dialogs, QWidget *parent);

    QTreeView *const tvwFavorites;
    QPushButton *const cmdNewFolder;
    QPushButton *const cmdRename;
    QPushButton *const cmdDelete;
    QPushButton *const cmdImport;
    QPushButton *const cmdExport;
    QPushButton *const cmdClose;
    // What the last command did, or why nothing can be changed.
    QLabel *const lblStatus;

    void cmdNewFolder_Click();
    void cmdRename_Click();
    void cmdDelete_Click();
    void cmdImport_Click();
    void cmdExport_Click();

private:
    void setUpTree();
    // The selected entry, in the name column; invalid when none.
    QModelIndex selectedEntry() const;
    void showWhatCanBeDone();

    FavoritesStore &m_store;
    Dialogs &m_dialogs;
};
