#include "app/frmMain.h"
#include "browser/frmBrowser.h"
#include "browser/historywriter.h"
#include "engine/webenginebrowser.h"
#include "favorites/favoritesstore.h"
#include "support/enginetesting.h"
#include "support/loopbackhttpserver.h"
#include "support/testplatform.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTest>
#include <QWebEngineView>

using namespace Qt::StringLiterals;
using enginetesting::LoadTimeoutMs;
using enginetesting::page;

// Favorites over the real engine: a loopback page kept with Ctrl+D while the page has
// the keyboard, and opened again from the menu.
class tst_FavoritesEngine : public QObject
{
    Q_OBJECT
public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private Q_SLOTS:
    void keptPageOpensAgain();
};

void tst_FavoritesEngine::keptPageOpensAgain()
{
    LoopbackHttpServer server;
    QVERIFY(server.start());
    server.setPage(u"/kept"_s, page("Kept &amp; found"));
    server.setPage(u"/other"_s, page("Other"));
    const QString kept = server.url(u"/kept?q=1&r=2"_s).toString();

    TestPlatform env;
    env.platform.makeBrowser = [](QWidget *parent) { return new WebEngineBrowser(parent); };
    env.dialogs.nameAnswer = u""_s; // the page's title as it is proposed
    {
        frmMain main(env.platform, nullptr, {kept});
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        auto *doc = qobject_cast<frmBrowser *>(main.mdiArea->subWindowList(QMdiArea::CreationOrder).at(0)->widget());
        QVERIFY(doc);
        auto *browser = static_cast<WebEngineBrowser *>(doc->brwWebBrowser);
        QTRY_COMPARE_WITH_TIMEOUT(browser->LocationName(), u"Kept & found"_s, LoadTimeoutMs);

        // The keyboard in the page: the key is still the main window's.
        main.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QWidget *pageWidget = browser->view()->focusProxy();
        pageWidget->setFocus();
        QTest::keyClick(pageWidget, Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(env.dialogs.asked, QStringList{u"nameAndPlace:Add to Favorites|Kept & found|Favorites"_s});
        FavoritesModel &model = main.favorites().model();
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.index(0, FavoritesModel::AddressColumn).data().toString(), kept);

        browser->Navigate(server.url(u"/other"_s).toString());
        QTRY_COMPARE_WITH_TIMEOUT(browser->LocationName(), u"Other"_s, LoadTimeoutMs);
        server.clearRequests();
        Q_EMIT main.mnuFavorites->aboutToShow();
        const QList<QAction *> entries = main.mnuFavorites->actions();
        QCOMPARE(entries.constLast()->text(), u"Kept && found"_s);
        entries.constLast()->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(browser->LocationName(), u"Kept & found"_s, LoadTimeoutMs);
        QCOMPARE(browser->LocationURL(), kept);
        QCOMPARE(server.requests(), QStringList{u"/kept?q=1&r=2"_s});
        QCOMPARE(main.activeBrowser(), doc);
        main.close();
    }
    HistoryWriter::waitForAll();
}

QTEST_MAIN(tst_FavoritesEngine)
#include "tst_favoritesengine.moc"
