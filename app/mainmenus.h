#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>
#include <functional>
#include <map>

class QAction;
class QMenu;
class frmMain;

// Builds the main window's menus, toolbar and keys. Each command is one action that
// carries its shortcuts, so a button, a menu item and a key are the same action; the
// window keeps the handlers, and this makes the actions and connects them to those.
class MainMenus
{
public:
    // Builds into the window: its menu bar (filling its menu members), its toolbar and
    // the keys on top of them.
    explicit MainMenus(frmMain &window);

    // Presses the toolbar button of that key (its name, as the design dispatches it):
    // the button's action. Every button starts the active document window's busy check,
    // so a key no button has still does that and nothing else.
    void press(const QString &key) const;

private:
    using Handler = void (frmMain::*)();
    QMenu *menu(const char *name, const QString &caption);
    QAction *item(QMenu *menu, const char *name, const QString &caption, Handler handler,
                  const QKeySequence &shortcut = {});
    void buildFileAndEditMenus();
    void buildViewMenu();
    void buildFavoritesMenu();
    void buildWindowAndHelpMenus();
    void buildToolbar();
    // A key of the window's own that no menu item shows.
    void addKey(const QList<QKeySequence> &keys, std::function<void()> command);
    void addBrowserKeys();

    frmMain &m_window;
    // The toolbar's buttons by key.
    std::map<QString, QAction *> m_buttons;
};
