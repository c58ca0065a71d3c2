#include "app/mainmenus.h"

#include "app/favoritesmenu.h"
#include "app/frmMain.h"
#include "app/mod1.h"
#include "browser/frmBrowser.h"
#include "engine/browsingdata.h"
#include "engine/webbrowser.h"
#include "system/twips.h"
#include "system/windowcaption.h"

#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QTimer>
#include <QToolBar>
#include <utility>

namespace {

// A toolbar picture, 16 pixels and drawn again at 32 for a screen at twice the density:
// light grey is drawn transparent, as the image list did.
QIcon toolbarPicture(const QString &name)
{
    QIcon icon;
    for (const QString &file : {name + QStringLiteral(".png"), name + QStringLiteral("-32.png")}) {
        QPixmap p(QStringLiteral(":/toolbar/") + file);
        p.setMask(p.createMaskFromColor(QColor(192, 192, 192), Qt::MaskInColor));
        icon.addPixmap(p);
    }
    return icon;
}

// What every toolbar button does first.
void startBusyCheck(const frmMain &window)
{
    if (frmBrowser *active = window.activeBrowser())
        active->startBusyCheck();
}

// A command on the active document window; nothing when the active child is none.
std::function<void()> onCurrent(frmMain &window, std::function<void(frmBrowser &)> command)
{
    return [&window, command = std::move(command)] {
        if (frmBrowser *active = window.activeBrowser())
            command(*active);
    };
}

// Below the Window menu's own items: a separator and one numbered entry per child window.
void updateWindowList(QMenu *windowMenu, QMdiArea *area)
{
    const auto own = windowMenu->actions();
    for (QAction *a : own) {
        if (a->property("windowList").toBool()) {
            windowMenu->removeAction(a);
            a->deleteLater();
        }
    }
    const QList<QMdiSubWindow *> children = area->subWindowList();
    QAction *bar = nullptr;
    int n = 0;
    for (QMdiSubWindow *child : children) {
        if (!child->isVisible())
            continue;
        if (!bar) {
            bar = windowMenu->addSeparator();
            bar->setProperty("windowList", true);
        }
        ++n;
        QString caption = windowcaption::shown(child->windowTitle());
        caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction *a = windowMenu->addAction(
            (n < 10 ? QStringLiteral("&") : QString()) + QString::number(n) + QLatin1Char(' ') + caption);
        a->setProperty("windowList", true);
        a->setCheckable(true);
        a->setChecked(child == area->currentSubWindow());
        QObject::connect(a, &QAction::triggered, child, [area, child] { area->setActiveSubWindow(child); });
    }
}

QAction *separator(QMenu *menu, const char *name)
{
    QAction *a = menu->addSeparator();
    a->setObjectName(QLatin1String(name));
    return a;
}

QAction *checked(QAction *a)
{
    a->setCheckable(true);
    a->setChecked(true);
    return a;
}

} // namespace

MainMenus::MainMenus(frmMain &window)
    : m_window(window)
{
    buildFileAndEditMenus();
    buildViewMenu();
    buildFavoritesMenu();
    buildWindowAndHelpMenus();
    buildToolbar();
    addBrowserKeys();
}

QMenu *MainMenus::menu(const char *name, const QString &caption)
{
    QMenu *m = m_window.menuBar()->addMenu(caption);
    m->setObjectName(QLatin1String(name));
    return m;
}

QAction *MainMenus::item(QMenu *menu, const char *name, const QString &caption, Handler handler,
                         const QKeySequence &shortcut)
{
    QAction *a = menu->addAction(caption);
    a->setObjectName(QLatin1String(name));
    a->setShortcut(shortcut);
    QObject::connect(a, &QAction::triggered, &m_window, handler);
    return a;
}

void MainMenus::buildFileAndEditMenus()
{
    frmMain &w = m_window;
    w.mnuFile = menu("mnuFile", QStringLiteral("&File"));
    w.mnuFileNew = item(w.mnuFile, "mnuFileNew", QStringLiteral("&New"), &frmMain::mnuFileNew_Click,
                        QKeySequence(Qt::CTRL | Qt::Key_N));
    w.mnuFileOpen = item(w.mnuFile, "mnuFileOpen", QStringLiteral("&Open..."), &frmMain::mnuFileOpen_Click,
                         QKeySequence(Qt::CTRL | Qt::Key_O));
    w.mnuFileBar0 = separator(w.mnuFile, "mnuFileBar0");
    w.mnuFilePrint = item(w.mnuFile, "mnuFilePrint", QStringLiteral("&Print..."), &frmMain::mnuFilePrint_Click,
                          QKeySequence(Qt::CTRL | Qt::Key_P));
    w.mnuFileBar3 = separator(w.mnuFile, "mnuFileBar3");
    w.mnuFileExit = item(w.mnuFile, "mnuFileExit", QStringLiteral("E&xit"), &frmMain::mnuFileExit_Click);

    w.mnuEdit = menu("mnuEdit", QStringLiteral("&Edit"));
    w.mnuEditCut = item(w.mnuEdit, "mnuEditCut", QStringLiteral("Cu&t"), &frmMain::mnuEditCut_Click,
                        QKeySequence(Qt::CTRL | Qt::Key_X));
    w.mnuEditCopy = item(w.mnuEdit, "mnuEditCopy", QStringLiteral("&Copy"), &frmMain::mnuEditCopy_Click,
                         QKeySequence(Qt::CTRL | Qt::Key_C));
    w.mnuEditPaste = item(w.mnuEdit, "mnuEditPaste", QStringLiteral("&Paste"), &frmMain::mnuEditPaste_Click,
                          QKeySequence(Qt::CTRL | Qt::Key_V));
    w.mnuEditPasteSpecial = item(w.mnuEdit, "mnuEditPasteSpecial", QStringLiteral("Paste &Special..."),
                                 &frmMain::mnuEditPasteSpecial_Click);
}

void MainMenus::buildViewMenu()
{
    frmMain &w = m_window;
    w.mnuView = menu("mnuView", QStringLiteral("&View"));
    w.mnuHalvaneTool = checked(item(w.mnuView, "mnuHalvaneTool", QStringLiteral("HalvaneTools"),
                                    &frmMain::mnuHalvaneTool_Click));
    w.mnuViewToolbar = checked(item(w.mnuView, "mnuViewToolbar", QStringLiteral("&Toolbar"),
                                    &frmMain::mnuViewToolbar_Click));
    w.mnuViewStatusBar = checked(item(w.mnuView, "mnuViewStatusBar", QStringLiteral("Status &Bar"),
                                      &frmMain::mnuViewStatusBar_Click));
    w.mnuViewHistory = item(w.mnuView, "mnuViewHistory", QStringLiteral("&History"), &frmMain::mnuViewHistory_Click,
                            QKeySequence(Qt::CTRL | Qt::Key_H));
    w.mnuViewDownloads = item(w.mnuView, "mnuViewDownloads", QStringLiteral("&Downloads"),
                              &frmMain::mnuViewDownloads_Click, QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Y));
    w.mnuViewBar0 = separator(w.mnuView, "mnuViewBar0");
    w.mnuViewRefresh = item(w.mnuView, "mnuViewRefresh", QStringLiteral("&Refresh"), &frmMain::mnuViewRefresh_Click);
    w.mnuViewOptions = item(w.mnuView, "mnuViewOptions", QStringLiteral("&Options..."), &frmMain::mnuViewOptions_Click);
}

void MainMenus::buildFavoritesMenu()
{
    frmMain &w = m_window;
    // Alt+A is the document window's address box.
    w.mnuFavorites = menu("mnuFavorites", QStringLiteral("Fav&orites"));
    w.mnuFavoritesAdd = item(w.mnuFavorites, "mnuFavoritesAdd", QStringLiteral("&Add to Favorites..."),
                             &frmMain::mnuFavoritesAdd_Click, QKeySequence(Qt::CTRL | Qt::Key_D));
    w.mnuFavoritesOrganize = item(w.mnuFavorites, "mnuFavoritesOrganize", QStringLiteral("&Organize Favorites..."),
                                  &frmMain::mnuFavoritesOrganize_Click);
    w.mnuFavoritesBar0 = separator(w.mnuFavorites, "mnuFavoritesBar0");
    // Below the bar, the favorites themselves, kept in the profile's data folder.
    w.m_favorites = std::make_unique<FavoritesMenu>(w.mnuFavorites, w.m_platform.browsingData->dataFolder(),
                                                    w.m_platform.dialogs, &w,
                                                    [&w](const QString &address) { w.openAddress(address); });
}

void MainMenus::buildWindowAndHelpMenus()
{
    frmMain &w = m_window;
    w.mnuWindow = menu("mnuWindow", QStringLiteral("&Window"));
    w.mnuWindowNewWindow = item(w.mnuWindow, "mnuWindowNewWindow", QStringLiteral("&New Window"),
                                &frmMain::mnuWindowNewWindow_Click);
    w.mnuWindowBar0 = separator(w.mnuWindow, "mnuWindowBar0");
    w.mnuWindowCascade = item(w.mnuWindow, "mnuWindowCascade", QStringLiteral("&Cascade"),
                              &frmMain::mnuWindowCascade_Click);
    w.mnuWindowTileHorizontal = item(w.mnuWindow, "mnuWindowTileHorizontal", QStringLiteral("Tile &Horizontal"),
                                     &frmMain::mnuWindowTileHorizontal_Click);
    w.mnuWindowTileVertical = item(w.mnuWindow, "mnuWindowTileVertical", QStringLiteral("Tile &Vertical"),
                                   &frmMain::mnuWindowTileVertical_Click);
    w.mnuWindowArrangeIcons = item(w.mnuWindow, "mnuWindowArrangeIcons", QStringLiteral("&Arrange Icons"),
                                   &frmMain::mnuWindowArrangeIcons_Click);
    QObject::connect(w.mnuWindow, &QMenu::aboutToShow, &w, [&w] { updateWindowList(w.mnuWindow, w.mdiArea); });

    w.mnuHelp = menu("mnuHelp", QStringLiteral("&Help"));
    w.mnuHelpContents = item(w.mnuHelp, "mnuHelpContents", QStringLiteral("Help and Info"),
                             &frmMain::mnuHelpContents_Click);
    w.mnuHelpBar0 = separator(w.mnuHelp, "mnuHelpBar0");
    w.mnuHelpAbout = item(w.mnuHelp, "mnuHelpAbout", QStringLiteral("&About "), &frmMain::mnuHelpAbout_Click);
}

void MainMenus::buildToolbar()
{
    frmMain &w = m_window;
    QToolBar *bar = w.tbToolBar;
    bar->setObjectName(QStringLiteral("tbToolBar"));
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(16, 16));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    bar->setFixedHeight(twips::toPixels(420));
    w.addToolBar(Qt::TopToolBarArea, bar);

    struct Button
    {
        const char *key; // null: a fixed gap
        const char *tooltip;
        const char *picture;
        QList<QKeySequence> keys;
        std::function<void()> command;
    };
    const auto handler = [&w](Handler h) { return [&w, h] { (w.*h)(); }; };
    const auto shared = [&w](void (*open)(frmBrowser &)) { return [&w, open] { open(*w.sharedBrowser()); }; };
    const Button buttons[] = {
        {"Back", "Back", "back", {QKeySequence(Qt::ALT | Qt::Key_Left)},
         onCurrent(w, [](frmBrowser &d) { d.brwWebBrowser->GoBack(); })},
        {"Forward", "Forward", "forward", {QKeySequence(Qt::ALT | Qt::Key_Right)},
         onCurrent(w, [](frmBrowser &d) { d.brwWebBrowser->GoForward(); })},
        {"Stop", "Stop", "delete", {}, onCurrent(w, [](frmBrowser &d) {
             d.timTimer->stop();
             d.brwWebBrowser->Stop();
             d.setWindowTitle(windowcaption::literal(d.brwWebBrowser->LocationName()));
         })},
        {"Refresh", "Refresh", "redo", {QKeySequence(Qt::Key_F5)}, handler(&frmMain::mnuViewRefresh_Click)},
        {nullptr, nullptr, nullptr, {}, {}},
        {"Print", "Print", "print", {}, handler(&frmMain::mnuFilePrint_Click)},
        {nullptr, nullptr, nullptr, {}, {}},
        {"Help", "Help", "help", {}, handler(&frmMain::mnuHelpContents_Click)},
        {nullptr, nullptr, nullptr, {}, {}},
        {"Web Mail", "Marrowdyne Quillpost", "webmail", {}, shared(&mod1::OpenWebMail)},
        {"Search", "Search", "search", {}, shared(&mod1::OpenSearchPage)},
    };
    for (const Button &b : buttons) {
        if (!b.key) {
            bar->addSeparator();
            continue;
        }
        QAction *a = bar->addAction(toolbarPicture(QLatin1String(b.picture)), QString());
        a->setObjectName(QLatin1String(b.key));
        a->setToolTip(QLatin1String(b.tooltip));
        a->setShortcuts(b.keys);
        // Its keys work with the toolbar hidden too.
        w.addAction(a);
        // Pictures only: the tip is the name a screen reader speaks.
        bar->widgetForAction(a)->setAccessibleName(a->toolTip());
        // 609 by 582 HIMETRIC.
        bar->widgetForAction(a)->setFixedSize(23, 22);
        QObject::connect(a, &QAction::triggered, &w, [&w, command = b.command] {
            startBusyCheck(w);
            command();
        });
        m_buttons.emplace(a->objectName(), a);
    }
}

void MainMenus::press(const QString &key) const
{
    const auto button = m_buttons.find(key);
    if (button != m_buttons.end())
        button->second->trigger();
    else
        startBusyCheck(m_window);
}

void MainMenus::addKey(const QList<QKeySequence> &keys, std::function<void()> command)
{
    auto *a = new QAction(&m_window);
    a->setShortcuts(keys);
    m_window.addAction(a);
    QObject::connect(a, &QAction::triggered, &m_window, std::move(command));
}

void MainMenus::addBrowserKeys()
{
    // The keys browsers have taught everyone, on top of the menus' and buttons' own.
    frmMain &w = m_window;
    // Each of these acts on the document window active last, making it active again when
    // another child (the tools panel, active at start) is; without one it does nothing.
    auto onActive = [&w](std::function<void(frmBrowser &)> command) {
        return [&w, command = std::move(command)] {
            if (frmBrowser *doc = w.commandDocument())
                command(*doc);
        };
    };
    addKey({QKeySequence(Qt::CTRL | Qt::Key_F)}, onActive(&frmBrowser::showFindStrip));
    addKey({QKeySequence(Qt::CTRL | Qt::Key_L), QKeySequence(Qt::Key_F6), QKeySequence(Qt::ALT | Qt::Key_D)},
           onActive(&frmBrowser::focusAddress));
    addKey({QKeySequence(Qt::Key_F3)}, onActive(&frmBrowser::findNext));
    addKey({QKeySequence(Qt::SHIFT | Qt::Key_F3)}, onActive(&frmBrowser::findPrevious));
    addKey({QKeySequence(Qt::CTRL | Qt::Key_U)}, onActive([](frmBrowser &d) { d.brwWebBrowser->ViewPageSource(); }));
    addKey({QKeySequence(Qt::Key_F12)}, onActive([](frmBrowser &d) { d.brwWebBrowser->ShowDevTools(); }));
    // Ctrl+= is Ctrl++ without the Shift that plus needs on many keyboards.
    addKey({QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
           onActive([](frmBrowser &d) { d.zoomBy(1); }));
    addKey({QKeySequence(Qt::CTRL | Qt::Key_Minus)}, onActive([](frmBrowser &d) { d.zoomBy(-1); }));
    addKey({QKeySequence(Qt::CTRL | Qt::Key_0)}, onActive(&frmBrowser::zoomReset));
    addKey({QKeySequence(Qt::Key_F11)}, [&w] { w.m_placement.toggleFullScreen(); });
    // Like tabs: the next or previous window in the order they were opened, at once.
    addKey({QKeySequence(Qt::CTRL | Qt::Key_Tab)}, [&w] { w.mdiArea->activateNextSubWindow(); });
    addKey({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab)},
           [&w] { w.mdiArea->activatePreviousSubWindow(); });
    // Esc stops a load only while the page itself has the focus; the page keeps the key
    // while it is not loading.
    QAction *stop = m_buttons.at(QStringLiteral("Stop"));
    addKey({QKeySequence(Qt::Key_Escape)}, [&w, stop] {
        frmBrowser *active = w.activeBrowser();
        QWidget *focus = QApplication::focusWidget();
        if (active && focus && active->brwWebBrowser->isAncestorOf(focus))
            stop->trigger();
    });
}
