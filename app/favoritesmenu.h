#pragma once

#include "favorites/favoritesstore.h"

#include <QIcon>
#include <QObject>
#include <functional>

class Dialogs;
class QAction;
class QMenu;
class QModelIndex;
class QWidget;

// The Favorites menu's favorites, below its own items: each favorite an entry that opens
// its address, each folder a submenu. A menu's entries are made as it is about to show,
// the first time after a change, so thousands of favorites open the menu at once.
// Holds the store, and adds the active page to it.
class FavoritesMenu : public QObject
{
    Q_OBJECT
public:
    // Below the items menu has now; open follows a chosen favorite's address; messages go
    // through dialogs, over window. Keeps the favorites in folder (the profile's data folder).
    FavoritesMenu(QMenu *menu, const QString &folder, Dialogs &dialogs, QWidget *window,
                  std::function<void(const QString &address)> open);

    FavoritesStore &store() { return m_store; }

    // Asks for a name (the page's title proposed) and a folder, and adds the page there.
    void addPage(const QString &title, const QString &address);

private:
    // The folder's entries from row first on into menu.
    void fill(QMenu *menu, const QModelIndex &folder, int first = 0);
    // A submenu of the folder's entries from row first on, made as it first opens.
    void addSubmenu(QMenu *menu, const QString &caption, const QModelIndex &folder, int first);
    void refreshTop();
    void say(const QString &text);

    FavoritesStore m_store;
    QMenu *m_menu;
    Dialogs &m_dialogs;
    QWidget *m_window;
    std::function<void(const QString &)> m_open;
    QIcon m_folderPicture;
    // The top entries made last, which the next change replaces.
    QList<QAction *> m_entries;
    bool m_stale = true;
    bool m_writeFailureTold = false;
};
