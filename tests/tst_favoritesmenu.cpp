#include "app/frmMain.h"
#include "browser/frmBrowser.h"
#include "favorites/favoritesstore.h"
#include "formats/favoritesjson.h"
#include "support/bookmarktrees.h"
#include "support/testplatform.h"
#include "windows/organizefavorites.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QTreeView>

using namespace Qt::StringLiterals;
using namespace bookmarktrees;

namespace {

const QString Address = u"http://127.0.0.1:8080/page?a=1&b=2"_s;
const QString Title = u"Page & <b>title</b>"_s;

const QList<Bookmark> Sample{favorite(u"Top"_s, u"https://top.test/"_s),
                             folder(u"News"_s, {favorite(u"Paper"_s, u"https://paper.test/"_s)}),
                             folder(u"Empty"_s, {})};

// The tree as the user reads it, the moments of adding left out.
QString shown(const QList<Bookmark> &tree)
{
    return describe(tree).remove(QRegularExpression(u" @(\\d+|-)"_s));
}

QAction *entry(QMenu *menu, const QString &text)
{
    const QList<QAction *> actions = menu->actions();
    for (QAction *a : actions) {
        if (a->text() == text)
            return a;
    }
    return nullptr;
}

QStringList entries(QMenu *menu)
{
    QStringList texts;
    const QList<QAction *> actions = menu->actions();
    for (QAction *a : actions)
        texts << (a->isSeparator() ? u"|"_s : a->text() + (a->menu() ? u">"_s : QString()) + (a->isEnabled() ? u""_s : u"-"_s));
    return texts;
}

} // namespace

// The Favorites menu and the organize window, on the main window with scripted browsers
// and dialogs.
class tst_FavoritesMenu : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestPlatform> env;
    std::unique_ptr<frmMain> main;

    void start();
    frmBrowser *document1() const;
    FavoritesModel &model() const { return main->favorites().model(); }
    QString fileOnDisk() const;
    // Opens the Favorites menu with a click on its title, as a user does.
    void openMenuByMouse();
    void clickEntry(QMenu *menu, QAction *action);
    OrganizeFavorites *organize();

private Q_SLOTS:
    void init();
    void cleanup();

    void ctrlDAddsThePageAndAClickOpensIt_data();
    void ctrlDAddsThePageAndAClickOpensIt();
    void addingRefused_data();
    void addingRefused();
    void menuIsMadeAsItShows();
    void damagedFileIsToldAtStart();
    void keptInASessionThatKeepsNothing();
    void organizeWindowIsOneAtATime();
    void organizeEdits_data();
    void organizeEdits();
    void dragAndDropMoves();
    void importAndExportButtons();
};

void tst_FavoritesMenu::start()
{
    main = std::make_unique<frmMain>(env->platform);
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main.get()));
}

void tst_FavoritesMenu::init()
{
    env = std::make_unique<TestPlatform>();
    start();
}

void tst_FavoritesMenu::cleanup()
{
    main.reset();
    env.reset();
}

frmBrowser *tst_FavoritesMenu::document1() const
{
    return qobject_cast<frmBrowser *>(main->mdiArea->subWindowList(QMdiArea::CreationOrder).at(0)->widget());
}

QString tst_FavoritesMenu::fileOnDisk() const
{
    main->favorites().flush();
    QFile file(main->favorites().path());
    if (!file.open(QIODevice::ReadOnly))
        return u"(no file)"_s;
    const favoritesjson::ReadResult read = favoritesjson::read(file.readAll());
    return read.damage.isEmpty() ? shown(read.tree) : read.damage;
}

void tst_FavoritesMenu::openMenuByMouse()
{
    QWindow *window = main->windowHandle();
    const QRect title = main->menuBar()->actionGeometry(main->mnuFavorites->menuAction());
    QTest::mouseClick(window, Qt::LeftButton, {}, main->menuBar()->mapTo(main.get(), title.center()));
    QTRY_VERIFY(main->mnuFavorites->isVisible());
}

void tst_FavoritesMenu::clickEntry(QMenu *menu, QAction *action)
{
    QVERIFY(action);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
}

OrganizeFavorites *tst_FavoritesMenu::organize()
{
    main->mnuFavoritesOrganize->trigger();
    return main->organizeFavorites();
}

void tst_FavoritesMenu::ctrlDAddsThePageAndAClickOpensIt_data()
{
    QTest::addColumn<int>("place");        // 0: the top, 1: the folder "News"
    QTest::addColumn<QString>("active");   // the child active when the favorite is chosen
    QTest::newRow("at the top, into the active document") << 0 << u"document"_s;
    QTest::newRow("in a folder, into the document active last") << 1 << u"tools panel"_s;
    QTest::newRow("without a document, into a new one") << 1 << u"none"_s;
}

void tst_FavoritesMenu::ctrlDAddsThePageAndAClickOpensIt()
{
    QFETCH(int, place);
    QFETCH(QString, active);
    model().setTree({folder(u"News"_s, {})});
    frmBrowser *doc = document1();
    auto *browser = static_cast<ScriptedBrowser *>(doc->brwWebBrowser);
    browser->locationURL = Address;
    browser->locationName = Title;
    env->dialogs.nameAnswer = u""_s; // the title proposed
    env->dialogs.placeAnswer = place;
    main->mdiArea->setActiveSubWindow(doc->subWindow());

    QTest::keyClick(main.get(), Qt::Key_D, Qt::ControlModifier);
    QCOMPARE(env->dialogs.asked, QStringList{u"nameAndPlace:Add to Favorites|%1|Favorites|    News"_s.arg(Title)});
    const QString added = u"[News]\n%1%2 -> %3"_s.arg(place == 0 ? u""_s : u"  "_s, Title, Address);
    QCOMPARE(shown(model().tree()), added);
    QCOMPARE(fileOnDisk(), added);

    if (active == u"tools panel"_s)
        main->mdiArea->setActiveSubWindow(main->toolsPanel.subWindow());
    // Held as a pointer that knows when its window is gone: a new window may be made where
    // a closed one was.
    const QPointer<frmBrowser> first = doc;
    browser->navigations.clear();
    if (active == u"none"_s)
        doc->subWindow()->close();
    openMenuByMouse();
    QMenu *menu = main->mnuFavorites;
    if (place == 1) {
        QAction *news = entry(menu, u"News"_s);
        clickEntry(menu, news);
        QTRY_VERIFY(news->menu()->isVisible());
        menu = news->menu();
    }
    // Shown as written: '&' marks no key, markup is text.
    clickEntry(menu, entry(menu, u"Page && <b>title</b>"_s));
    QTRY_VERIFY(!main->mnuFavorites->isVisible());

    frmBrowser *opened = main->activeBrowser();
    QVERIFY(opened);
    QCOMPARE(opened == first.data(), active != u"none"_s);
    QCOMPARE(main->DocumentCount, active == u"none"_s ? 2 : 1);
    QCOMPARE(static_cast<ScriptedBrowser *>(opened->brwWebBrowser)->navigations, QStringList{Address});
    QCOMPARE(opened->cboAddress->currentText(), Address);
}

void tst_FavoritesMenu::addingRefused_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("answer"); // null: the user cancels
    QTest::addColumn<bool>("heldElsewhere");
    QTest::addColumn<QString>("message"); // empty: none
    QTest::newRow("cancelled") << Address << QString() << false << QString();
    QTest::newRow("a page that is no address to keep") << u"about:blank"_s << u""_s << false
                                                       << u"only http, https, file and ftp addresses"_s;
    QTest::newRow("a page of a script") << u"javascript:alert(1)"_s << u""_s << false
                                        << u"only http, https, file and ftp addresses"_s;
    QTest::newRow("kept by another Halvane") << Address << u""_s << true
                                             << u"Favorites cannot be changed now: another Halvane"_s;
}

void tst_FavoritesMenu::addingRefused()
{
    QFETCH(QString, address);
    QFETCH(QString, answer);
    QFETCH(bool, heldElsewhere);
    QFETCH(QString, message);
    std::unique_ptr<FavoritesStore> other;
    if (heldElsewhere) {
        main.reset();
        other = std::make_unique<FavoritesStore>(env->dataFolder.path());
        start();
    }
    auto *browser = static_cast<ScriptedBrowser *>(document1()->brwWebBrowser);
    browser->locationURL = address;
    browser->locationName = Title;
    env->dialogs.nameAnswer = answer;
    main->mnuFavoritesAdd->trigger();
    QCOMPARE(model().rowCount(), 0);
    QCOMPARE(env->dialogs.messages.size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty())
        QVERIFY2(env->dialogs.messages.constFirst().contains(message), qPrintable(env->dialogs.messages.constFirst()));
    QCOMPARE(fileOnDisk(), u"(no file)"_s);
}

void tst_FavoritesMenu::menuIsMadeAsItShows()
{
    const QStringList own{u"&Add to Favorites..."_s, u"&Organize Favorites..."_s, u"|"_s};
    QCOMPARE(main->mnuFavoritesAdd->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_D));
    // Between View and Window.
    const QList<QAction *> bar = main->menuBar()->actions();
    QCOMPARE(bar.indexOf(main->mnuFavorites->menuAction()), bar.indexOf(main->mnuView->menuAction()) + 1);
    QCOMPARE(bar.indexOf(main->mnuWindow->menuAction()), bar.indexOf(main->mnuFavorites->menuAction()) + 1);

    Q_EMIT main->mnuFavorites->aboutToShow();
    QCOMPARE(entries(main->mnuFavorites), own + QStringList{u"(Empty)-"_s});
    model().setTree(Sample);
    // Nothing is made before the menu shows, and a folder's entries not before it does.
    QCOMPARE(entries(main->mnuFavorites).size(), own.size() + 1);
    Q_EMIT main->mnuFavorites->aboutToShow();
    QCOMPARE(entries(main->mnuFavorites), own + (QStringList{u"Top"_s, u"News>"_s, u"Empty>"_s}));
    QMenu *news = entry(main->mnuFavorites, u"News"_s)->menu();
    QVERIFY(news->actions().isEmpty());
    Q_EMIT news->aboutToShow();
    QCOMPARE(entries(news), QStringList{u"Paper"_s});
    QMenu *empty = entry(main->mnuFavorites, u"Empty"_s)->menu();
    Q_EMIT empty->aboutToShow();
    QCOMPARE(entries(empty), QStringList{u"(Empty)-"_s});
    QCOMPARE(entry(news, u"Paper"_s)->toolTip(), u"https://paper.test/"_s);

    // A change shows at the next opening, once.
    QVERIFY(model().setData(model().index(0, 0), u"Top & tail"_s));
    QVERIFY(model().removeRows(2, 1));
    Q_EMIT main->mnuFavorites->aboutToShow();
    QCOMPARE(entries(main->mnuFavorites), own + (QStringList{u"Top && tail"_s, u"News>"_s}));
    Q_EMIT main->mnuFavorites->aboutToShow();
    QCOMPARE(entries(main->mnuFavorites).size(), own.size() + 2);

    // A long list shows its first entries, and the rest under "More" as that opens.
    QList<Bookmark> many;
    for (int i = 0; i < 250; ++i)
        many << favorite(QString::number(i), u"https://many.test/"_s + QString::number(i));
    model().setTree(many);
    Q_EMIT main->mnuFavorites->aboutToShow();
    const QStringList shownFirst = entries(main->mnuFavorites).mid(own.size());
    QCOMPARE(shownFirst.size(), 201);
    QCOMPARE(shownFirst.constFirst(), u"0"_s);
    QCOMPARE(shownFirst.constLast(), u"More (50)>"_s);
    QMenu *more = main->mnuFavorites->actions().constLast()->menu();
    Q_EMIT more->aboutToShow();
    QCOMPARE(entries(more).size(), 50);
    QCOMPARE(entries(more).constFirst(), u"200"_s);
}

void tst_FavoritesMenu::damagedFileIsToldAtStart()
{
    main.reset();
    const QString path = QDir(env->dataFolder.path()).filePath(u"favorites.json"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("{\"version\": 1, \"favorites\": [") > 0);
    file.close();
    start();
    QTRY_COMPARE(env->dialogs.messages.size(), 1);
    QVERIFY2(env->dialogs.messages.constFirst().startsWith(u"Favorites: The favorites file could not be read whole"_s),
             qPrintable(env->dialogs.messages.constFirst()));
    QVERIFY(!QFile::exists(path));
    QCOMPARE(QDir(env->dataFolder.path()).entryList({u"favorites.json.damaged-*"_s}).size(), 1);
}

void tst_FavoritesMenu::keptInASessionThatKeepsNothing()
{
    main.reset();
    env->browsingData.notice = u"Browsing data is not kept this session, as Internet Options say."_s;
    start();
    auto *browser = static_cast<ScriptedBrowser *>(document1()->brwWebBrowser);
    browser->locationURL = Address;
    browser->locationName = Title;
    env->dialogs.nameAnswer = u"Mine"_s;
    main->mnuFavoritesAdd->trigger();
    QCOMPARE(fileOnDisk(), u"Mine -> "_s + Address);
}

void tst_FavoritesMenu::organizeWindowIsOneAtATime()
{
    QPointer<OrganizeFavorites> first = organize();
    QVERIFY(first);
    QVERIFY(QTest::qWaitForWindowExposed(first));
    QCOMPARE(organize(), first.data());
    QCOMPARE(main->findChildren<OrganizeFavorites *>().size(), 1);
    // Modeless: the main window's commands go on.
    QVERIFY(!first->isModal());
    main->mnuFileNew->trigger();
    QCOMPARE(main->DocumentCount, 2);
    first->cmdClose->click();
    QTRY_VERIFY(!first);
    QVERIFY(organize());
}

void tst_FavoritesMenu::organizeEdits_data()
{
    using Steps = std::function<void(OrganizeFavorites &, ScriptedDialogs &)>;
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<QString>("tree");
    // Selects the entry at the path of rows, as a click does.
    static const auto select = [](OrganizeFavorites &w, const QList<int> &path) {
        QModelIndex index;
        for (int row : path)
            index = w.tvwFavorites->model()->index(row, 0, index);
        w.tvwFavorites->scrollTo(index);
        QTest::mouseClick(w.tvwFavorites->viewport(), Qt::LeftButton, {}, w.tvwFavorites->visualRect(index).center());
    };
    static const auto typeName = [](const QString &name) {
        auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
        QVERIFY(editor);
        editor->selectAll();
        QTest::keyClicks(editor, name);
        QTest::keyClick(editor, Qt::Key_Return);
    };
    QTest::newRow("rename with the button") << Steps([](OrganizeFavorites &w, ScriptedDialogs &) {
        select(w, {0});
        w.cmdRename->click();
        typeName(u"Renamed <i>"_s);
    }) << u"Renamed <i> -> https://top.test/\n[News]\n  Paper -> https://paper.test/\n[Empty]"_s;
    QTest::newRow("rename with F2") << Steps([](OrganizeFavorites &w, ScriptedDialogs &) {
        select(w, {1});
        QTest::keyClick(w.tvwFavorites, Qt::Key_F2);
        typeName(u"Old news"_s);
    }) << u"Top -> https://top.test/\n[Old news]\n  Paper -> https://paper.test/\n[Empty]"_s;
    QTest::newRow("delete a favorite with the key") << Steps([](OrganizeFavorites &w, ScriptedDialogs &d) {
        select(w, {0});
        QTest::keyClick(w.tvwFavorites, Qt::Key_Delete);
        QVERIFY(d.asked.isEmpty());
    }) << u"[News]\n  Paper -> https://paper.test/\n[Empty]"_s;
    QTest::newRow("delete a folder, asked") << Steps([](OrganizeFavorites &w, ScriptedDialogs &d) {
        select(w, {1});
        d.confirmAnswer = true;
        w.cmdDelete->click();
        QCOMPARE(d.asked, QStringList{u"confirm:Delete Folder|Delete the folder \"News\" and the 1 favorites and folders in it?"_s});
    }) << u"Top -> https://top.test/\n[Empty]"_s;
    QTest::newRow("delete a folder, not") << Steps([](OrganizeFavorites &w, ScriptedDialogs &) {
        select(w, {1});
        w.cmdDelete->click();
    }) << u"Top -> https://top.test/\n[News]\n  Paper -> https://paper.test/\n[Empty]"_s;
    QTest::newRow("an empty folder, at once") << Steps([](OrganizeFavorites &w, ScriptedDialogs &d) {
        select(w, {2});
        w.cmdDelete->click();
        QVERIFY(d.asked.isEmpty());
    }) << u"Top -> https://top.test/\n[News]\n  Paper -> https://paper.test/"_s;
    QTest::newRow("a new folder in the selected one") << Steps([](OrganizeFavorites &w, ScriptedDialogs &) {
        select(w, {1});
        w.cmdNewFolder->click();
        typeName(u"Sub"_s);
    }) << u"Top -> https://top.test/\n[News]\n  Paper -> https://paper.test/\n  [Sub]\n[Empty]"_s;
    QTest::newRow("a new folder beside the selected favorite") << Steps([](OrganizeFavorites &w, ScriptedDialogs &) {
        select(w, {0});
        w.cmdNewFolder->click();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    }) << u"Top -> https://top.test/\n[News]\n  Paper -> https://paper.test/\n[Empty]\n[New Folder]"_s;
}

void tst_FavoritesMenu::organizeEdits()
{
    using Steps = std::function<void(OrganizeFavorites &, ScriptedDialogs &)>;
    QFETCH(Steps, steps);
    QFETCH(QString, tree);
    model().setTree(Sample);
    OrganizeFavorites *window = organize();
    // The window system's word first, then the application's.
    QTRY_COMPARE(QApplication::activeWindow(), window);
    window->tvwFavorites->expandAll();
    steps(*window, env->dialogs);
    // An edit is handed to the model once the editor has had its Enter.
    QTRY_COMPARE(shown(model().tree()), tree);
    QCOMPARE(fileOnDisk(), tree == shown(Sample) ? u"(no file)"_s : tree);
}

void tst_FavoritesMenu::dragAndDropMoves()
{
    if (QGuiApplication::platformName() == u"offscreen"_s)
        QSKIP("Dragging needs a display: the offscreen platform ends every drag at once (run as favoritesmenu_desktop).");
    model().setTree(Sample);
    OrganizeFavorites *window = organize();
    // The window system's word first, then the application's.
    QTRY_COMPARE(QApplication::activeWindow(), window);
    QTreeView *tree = window->tvwFavorites;
    tree->expandAll();
    QWindow *handle = window->windowHandle();
    auto at = [tree, window](const QModelIndex &index) {
        return tree->viewport()->mapTo(window, tree->visualRect(index).center());
    };
    const QPoint from = at(model().index(0, 0));
    const QPoint onto = at(model().index(2, 0)); // the folder "Empty"
    QTest::mousePress(handle, Qt::LeftButton, {}, from);
    // Past the drag distance the drag starts, in a loop of its own that takes the rest
    // of the gesture from the window system: the move onto the folder and the release.
    QTimer::singleShot(100, window, [handle, onto] {
        QTest::mouseMove(handle, onto);
        QTimer::singleShot(100, handle, [handle, onto] {
            QTest::mouseMove(handle, onto + QPoint(0, 1));
            QTest::mouseRelease(handle, Qt::LeftButton, {}, onto + QPoint(0, 1));
        });
    });
    const int distance = QApplication::startDragDistance() + 2;
    QTest::mouseMove(handle, from + QPoint(distance, 0));
    QTest::mouseMove(handle, from + QPoint(2 * distance, 0));
    QTRY_COMPARE(shown(model().tree()), u"[News]\n  Paper -> https://paper.test/\n[Empty]\n  Top -> https://top.test/"_s);
    QCOMPARE(fileOnDisk(), shown(model().tree()));
}

void tst_FavoritesMenu::importAndExportButtons()
{
    model().setTree(Sample);
    OrganizeFavorites *window = organize();
    const QString in = QDir(env->folder.path()).filePath(u"bookmarks.html"_s);
    QFile html(in);
    QVERIFY(html.open(QIODevice::WriteOnly));
    html.write("<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n<DT><A HREF=\"https://in.test/\">In</A>\n"
               "<DT><A HREF=\"javascript:alert(1)\">Script</A>\n</DL><p>\n");
    html.close();
    env->dialogs.openAnswer = in;
    window->cmdImport->click();
    QCOMPARE(env->dialogs.asked.constLast(), u"open:Import Favorites|Bookmarks files|*.html;*.htm|All files|*|"_s);
    QCOMPARE(window->lblStatus->text(), u"Imported 1 entry into the folder \"Imported from bookmarks.html\". Left out: "
                                        "1 entry with an address other than http, https, file or ftp."_s);
    const QString withImport = shown(Sample) + u"\n[Imported from bookmarks.html]\n  In -> https://in.test/"_s;
    QCOMPARE(fileOnDisk(), withImport);

    const QString out = QDir(env->folder.path()).filePath(u"out.html"_s);
    env->dialogs.saveAnswer = out;
    window->cmdExport->click();
    QCOMPARE(window->lblStatus->text(), u"Exported 6 entries to %1."_s.arg(out));
    // Taken away and brought back: the same favorites.
    model().setTree({});
    env->dialogs.openAnswer = out;
    window->cmdImport->click();
    QCOMPARE(shown(model().index(0, 0).data().toString() == u"Imported from out.html"_s
                       ? model().tree().constFirst().children
                       : QList<Bookmark>{}),
             withImport);
}

QTEST_MAIN(tst_FavoritesMenu)
#include "tst_favoritesmenu.moc"
