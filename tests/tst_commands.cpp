#include "app/addresses.h"
#include "app/arrangement.h"
#include "app/frmMain.h"
#include "app/panelstatusbar.h"
#include "browser/findstrip.h"
#include "browser/frmBrowser.h"
#include "browser/historyfile.h"
#include "browser/historywriter.h"
#include "browser/statustext.h"
#include "support/testplatform.h"
#include "system/qtdialogs.h"
#include "windows/frmDownloads.h"
#include "windows/frmHelp.h"
#include "windows/frmtool2.h"
#include "windows/internetoptions.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMdiSubWindow>
#include <QMenu>
#include <QProxyStyle>
#include <QPushButton>
#include <QScopeGuard>
#include <QStyleOptionTitleBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace {

// Notes the texts a widget drawn with it shows, as the user reads them: a title bar's
// caption, a label's text.
class DrawnText : public QProxyStyle
{
public:
    mutable QString caption;
    mutable QString item;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option, QPainter *painter,
                            const QWidget *widget) const override
    {
        if (const auto *bar = qstyleoption_cast<const QStyleOptionTitleBar *>(option); bar && control == CC_TitleBar)
            caption = bar->text;
        QProxyStyle::drawComplexControl(control, option, painter, widget);
    }
    void drawItemText(QPainter *painter, const QRect &rect, int flags, const QPalette &palette, bool enabled,
                      const QString &text, QPalette::ColorRole role) const override
    {
        item = text;
        QProxyStyle::drawItemText(painter, rect, flags, palette, enabled, text, role);
    }
};

} // namespace

// The main window's commands, each acting on the active document window, with scripted
// browsers and dialogs.
class tst_Commands : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestPlatform> env;
    std::unique_ptr<frmMain> main;

    static ScriptedBrowser *browserOf(frmBrowser *w) { return static_cast<ScriptedBrowser *>(w->brwWebBrowser); }
    frmBrowser *document(int index) const;
    frmBrowser *document1() const { return document(0); }
    void activate(frmBrowser *w) { main->mdiArea->setActiveSubWindow(w->subWindow()); }
    void activateToolsPanel() { main->mdiArea->setActiveSubWindow(main->toolsPanel.subWindow()); }
    QStringList allCalls() const;
    void forgetCalls();
    QAction *button(const char *key) const { return main->tbToolBar->findChild<QAction *>(QLatin1String(key)); }

private Q_SLOTS:
    void init();
    void cleanup();

    void toolbarLayout();
    void statusBarPanels();
    void clockShowsHoursAndMinutes_data();
    void clockShowsHoursAndMinutes();
    void sessionKeepingNothingSaysSo();
    void dispatchOnTheActiveDocument_data();
    void dispatchOnTheActiveDocument();
    void captionsShowTextAsWritten_data();
    void captionsShowTextAsWritten();
    void pageStatusTextsAreBounded_data();
    void pageStatusTextsAreBounded();
    void buttonsReachTheHandler();
    void documentCommandsDoNothingWithoutADocument_data();
    void documentCommandsDoNothingWithoutADocument();
    void editCommandsReachThePage();
    void printKeepsThePrinterUntilTheEnd();
    void sharedWindowForWebMailAndSearch();
    void openAFile_data();
    void openAFile();
    void openDialogListsHtmlButNotHtm();
    void viewToggles_data();
    void viewToggles();
    void toolsPanelToggle();
    void toolsPanelMarkFollowsItsCloseBox();
    void optionsCommand_data();
    void optionsCommand();
    void optionsLeaveTheMainWindowFree();
    void realLauncherReportsWhyItFailed();
    void realLauncherLooksOnlyOnPath_data();
    void realLauncherLooksOnlyOnPath();
    void tilings_data();
    void tilings();
    void arrangeIconsLinesUpMinimizedWindows();
    void pageAskingForAWindowGetsANumberedOne_data();
    void pageAskingForAWindowGetsANumberedOne();
    void browserKeys_data();
    void browserKeys();
    void ctrlPPrints();
    void findKeys_data();
    void findKeys();
    void addressAndCloseKeys_data();
    void addressAndCloseKeys();
    void addedKeysReachTheLastDocument_data();
    void addedKeysReachTheLastDocument();
    void ctrlTabCyclesTheWindows_data();
    void ctrlTabCyclesTheWindows();
    void zoomKeys_data();
    void zoomKeys();
    void helpButtonOpensOneViewer();
    void downloadsOpenOneWindow_data();
    void downloadsOpenOneWindow();
};

frmBrowser *tst_Commands::document(int index) const
{
    return qobject_cast<frmBrowser *>(main->mdiArea->subWindowList(QMdiArea::CreationOrder).at(index)->widget());
}

// Every call made on any document window's browser.
QStringList tst_Commands::allCalls() const
{
    QStringList calls;
    for (QMdiSubWindow *s : main->mdiArea->subWindowList(QMdiArea::CreationOrder))
        if (auto *w = qobject_cast<frmBrowser *>(s->widget()))
            calls << browserOf(w)->calls;
    return calls;
}

void tst_Commands::forgetCalls()
{
    for (QMdiSubWindow *s : main->mdiArea->subWindowList())
        if (auto *w = qobject_cast<frmBrowser *>(s->widget()))
            browserOf(w)->calls.clear();
}

void tst_Commands::init()
{
    env = std::make_unique<TestPlatform>();
    main = std::make_unique<frmMain>(env->platform);
    main->show();
    QVERIFY(QTest::qWaitForWindowExposed(main.get()));
    forgetCalls();
}

void tst_Commands::cleanup()
{
    // The help viewer is a window of its own, which the main window does not own.
    if (main)
        delete main->helpViewer();
    main.reset();
    env.reset();
}

void tst_Commands::toolbarLayout()
{
    QStringList keys;
    for (QAction *a : main->tbToolBar->actions())
        keys << (a->isSeparator() ? QStringLiteral("|") : a->objectName() + QLatin1Char('=') + a->toolTip());
    QCOMPARE(keys, (QStringList{QStringLiteral("Back=Back"), QStringLiteral("Forward=Forward"),
                                QStringLiteral("Stop=Stop"), QStringLiteral("Refresh=Refresh"),
                                QStringLiteral("|"), QStringLiteral("Print=Print"), QStringLiteral("|"),
                                QStringLiteral("Help=Help"), QStringLiteral("|"),
                                QStringLiteral("Web Mail=Marrowdyne Quillpost"),
                                QStringLiteral("Search=Search")}));
    // Light grey in a picture is see-through.
    const QImage back = button("Back")->icon().pixmap(16, 16).toImage();
    QCOMPARE(qAlpha(back.pixel(0, 0)), 0);
    // At twice the density each button shows a picture drawn at 32 pixels, not one
    // blown up from 16; its grey is see-through too.
    for (QAction *a : main->tbToolBar->actions()) {
        if (a->isSeparator())
            continue;
        const QPixmap sharp = a->icon().pixmap(QSize(16, 16), 2.0);
        QCOMPARE(sharp.size(), QSize(32, 32));
        QCOMPARE(sharp.toImage().pixelColor(0, 31).alpha(), 0);
    }
    // The window's icon up to the largest a desktop asks for.
    QVERIFY(main->windowIcon().availableSizes().contains(QSize(256, 256)));
}

void tst_Commands::statusBarPanels()
{
    QCOMPARE(main->sbStatusBar->panel(1)->text(), QStringLiteral("Status"));
    QCOMPARE(main->sbStatusBar->panel(2)->text(), QLocale().toString(QDate::currentDate(), QLocale::ShortFormat));
    QVERIFY(!main->sbStatusBar->panel(3)->text().isEmpty());
    // Pages write the text panel; their markup is text (an <img> of /dev/zero would
    // be read on the UI thread for ever).
    main->writeStatusText(QStringLiteral("<img src=\"/dev/zero\">"));
    QCOMPARE(main->sbStatusBar->panel(1)->textFormat(), Qt::PlainText);
    main->setWindowState(Qt::WindowNoState);
    main->resize(600, 400);
    QTRY_COMPARE(main->width(), 600);
    const int dateWidth = main->sbStatusBar->panel(2)->width();
    const int textWidth = main->sbStatusBar->panel(1)->width();
    main->resize(900, 400);
    QTRY_COMPARE(main->sbStatusBar->panel(1)->width(), textWidth + 300);
    QCOMPARE(main->sbStatusBar->panel(2)->width(), dateWidth);
}

void tst_Commands::clockShowsHoursAndMinutes_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QString>("expected");
    const QTime t(13, 5, 59);
    // The C locale's short time has seconds; the others' are kept as they are.
    QTest::newRow("C") << QLocale::c() << QStringLiteral("13:05");
    for (const char *name : {"en_US", "de_DE", "fi_FI"})
        QTest::newRow(name) << QLocale(QLatin1String(name)) << QLocale(QLatin1String(name)).toString(t, QLocale::ShortFormat);
}

void tst_Commands::clockShowsHoursAndMinutes()
{
    QFETCH(QLocale, locale);
    QFETCH(QString, expected);
    QCOMPARE(PanelStatusBar::timeText(QTime(13, 5, 59), locale), expected);
}

void tst_Commands::sessionKeepingNothingSaysSo()
{
    // A session that keeps its data has no mark.
    QVERIFY(!main->findChild<QLabel *>(QStringLiteral("lblNothingKept")));
    main.reset();
    env->browsingData.notice = QStringLiteral("Browsing data is not kept this session: another Halvane is using it.");
    main = std::make_unique<frmMain>(env->platform);
    QCOMPARE(main->sbStatusBar->panel(1)->text(), env->browsingData.notice);
    // The text panel is the pages' to write; the mark stays.
    main->writeStatusText(QStringLiteral("Done"));
    auto *mark = main->findChild<QLabel *>(QStringLiteral("lblNothingKept"));
    QVERIFY(mark);
    QCOMPARE(mark->toolTip(), env->browsingData.notice);
}

void tst_Commands::dispatchOnTheActiveDocument_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<bool>("busyCheckOn");
    QTest::newRow("Back") << QStringLiteral("Back") << QStringList{QStringLiteral("GoBack")} << true;
    QTest::newRow("Forward") << QStringLiteral("Forward") << QStringList{QStringLiteral("GoForward")} << true;
    QTest::newRow("Stop") << QStringLiteral("Stop") << QStringList{QStringLiteral("Stop")} << false;
    QTest::newRow("Refresh") << QStringLiteral("Refresh") << QStringList{QStringLiteral("Refresh")} << true;
    QTest::newRow("keys are case-sensitive") << QStringLiteral("back") << QStringList{} << true;
}

void tst_Commands::dispatchOnTheActiveDocument()
{
    QFETCH(QString, key);
    QFETCH(QStringList, calls);
    QFETCH(bool, busyCheckOn);
    main->mnuFileNew->trigger();
    frmBrowser *second = document(2);
    browserOf(second)->calls.clear();
    browserOf(second)->locationName = QStringLiteral("Page name");
    activate(second);
    main->tbToolBar_ButtonClick(key);
    QCOMPARE(browserOf(second)->calls, calls);
    QCOMPARE(second->timTimer->isActive(), busyCheckOn);
    QCOMPARE(browserOf(document1())->calls, QStringList{});
    if (key == QLatin1String("Stop"))
        QCOMPARE(second->windowTitle(), QStringLiteral("Page name"));
}

void tst_Commands::captionsShowTextAsWritten_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("text");
    QTest::newRow("page loaded") << u"loaded"_s << u"Save [*] me"_s;
    QTest::newRow("Stop") << u"Stop"_s << u"[*]"_s;
    QTest::newRow("load ended") << u"ended"_s << u"a [*][*] b"_s;
    QTest::newRow("busy check") << u"busy"_s << u"[*] x [*][*][*]"_s;
    QTest::newRow("file opened") << u"file"_s << u"/tmp/[*]/page.html"_s;
}

// Qt takes "[*]" in a caption as the place of a modified mark and shows nothing there.
void tst_Commands::captionsShowTextAsWritten()
{
    QFETCH(QString, source);
    QFETCH(QString, text);
    // A completed navigation writes the history file, whose folder goes after the test.
    const auto settle = qScopeGuard([] { HistoryWriter::waitForAll(); });
    frmBrowser *w = document1();
    activate(w);
    ScriptedBrowser *b = browserOf(w);
    b->locationName = text;
    if (source == u"loaded"_s) {
        b->completeNavigation(u"http://a.test/"_s, text);
    } else if (source == u"Stop"_s) {
        main->tbToolBar_ButtonClick(source);
    } else if (source == u"ended"_s) {
        Q_EMIT b->DownloadComplete();
    } else if (source == u"busy"_s) {
        w->startBusyCheck();
        QTRY_VERIFY(!w->timTimer->isActive());
    } else {
        env->dialogs.openAnswer = text;
        main->mnuFileOpen->trigger();
        w = main->activeBrowser();
    }

    QMdiSubWindow *sub = w->subWindow();
    DrawnText recorder;
    sub->setStyle(&recorder);
    const auto restore = qScopeGuard([sub] { sub->setStyle(nullptr); });
    sub->grab();
    QCOMPARE(recorder.caption, text);

    Q_EMIT main->mnuWindow->aboutToShow();
    QStringList entries;
    for (QAction *a : main->mnuWindow->actions()) {
        if (a->property("windowList").toBool() && a->isChecked())
            entries << a->text();
    }
    QCOMPARE(entries.size(), 1);
    QVERIFY2(entries.first().endsWith(QLatin1Char(' ') + text), qPrintable(entries.first()));
}

void tst_Commands::pageStatusTextsAreBounded_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("start"); // of what the panel holds
    QTest::addColumn<QString>("end");
    const QString host = u"http://a.test/"_s;
    const QString link = host + QString(1'900'000, u'x') + u"/end.html"_s;
    QTest::newRow("short") << host << host << host;
    QTest::newRow("a link of 1.9 MB") << link << host << u"/end.html"_s;
    const QString bound(statustext::MaxLength, u'b');
    QTest::newRow("as long as is kept") << bound << bound << bound;
    // Characters of two halves, with the cuts falling inside them.
    const QString notes = u"\U0001D11E"_s.repeated(5000);
    QTest::newRow("characters of two halves") << notes << u"\U0001D11E"_s << u"\U0001D11E"_s;
    QTest::newRow("characters of two halves, then one of one") << notes + u"a"_s << u"\U0001D11E"_s << u"\U0001D11Ea"_s;
}

// A page's status text (a hovered link, a loading address) reaches the panel, and what
// a screen reader says of it, cut to a bound: 1.9 MB in a label stalls the window.
void tst_Commands::pageStatusTextsAreBounded()
{
    QFETCH(QString, text);
    QFETCH(QString, start);
    QFETCH(QString, end);
    QLabel *panel = main->sbStatusBar->panel(1);
    Q_EMIT document1()->brwWebBrowser->StatusTextChange(text);
    const QString shown = panel->text();
    QVERIFY2(shown.size() <= statustext::MaxLength, qPrintable(QString::number(shown.size())));
    QVERIFY(shown.startsWith(start));
    QVERIFY(shown.endsWith(end));
    QCOMPARE(shown == text, text.size() <= statustext::MaxLength);
    // Whole characters only.
    QCOMPARE(QString::fromUtf8(shown.toUtf8()), shown);
    QAccessibleInterface *said = QAccessible::queryAccessibleInterface(panel);
    QVERIFY(said);
    QCOMPARE(said->text(QAccessible::Name), shown);

    // On screen, what does not fit gives way in the middle.
    DrawnText drawn;
    panel->setStyle(&drawn);
    const auto restore = qScopeGuard([panel] { panel->setStyle(nullptr); });
    panel->grab();
    const bool fits = panel->fontMetrics().horizontalAdvance(shown) <= panel->contentsRect().width();
    QCOMPARE(drawn.item == shown, fits);
    QVERIFY(drawn.item.startsWith(start.left(8)));
    QVERIFY(drawn.item.endsWith(end.right(8)));
    QVERIFY(panel->fontMetrics().horizontalAdvance(drawn.item) <= panel->contentsRect().width());
}

void tst_Commands::buttonsReachTheHandler()
{
    activate(document1());
    button("Refresh")->trigger();
    QCOMPARE(browserOf(document1())->calls, QStringList{QStringLiteral("Refresh")});
    main->mnuViewRefresh->trigger();
    QCOMPARE(browserOf(document1())->calls.size(), 2);
}

void tst_Commands::documentCommandsDoNothingWithoutADocument_data()
{
    QTest::addColumn<bool>("toolsPanelActive");
    QTest::newRow("tools panel active") << true;
    QTest::newRow("no child at all") << false;
}

void tst_Commands::documentCommandsDoNothingWithoutADocument()
{
    QFETCH(bool, toolsPanelActive);
    if (toolsPanelActive) {
        activateToolsPanel();
    } else {
        main->mdiArea->closeAllSubWindows();
        QTRY_VERIFY(main->mdiArea->subWindowList().isEmpty());
    }
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    for (const char *key : {"Back", "Forward", "Stop", "Refresh", "back"})
        main->tbToolBar_ButtonClick(QLatin1String(key));
    main->mnuViewRefresh->trigger();
    main->mnuEditCut->trigger();
    main->mnuEditCopy->trigger();
    main->mnuEditPaste->trigger();
    QCOMPARE(allCalls(), QStringList{});
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));

    // Print: with the panel active the dialog shows and nothing prints; with no
    // child at all there is no dialog.
    main->tbToolBar_ButtonClick(QStringLiteral("Print"));
    QCOMPARE(env->dialogs.asked, toolsPanelActive ? QStringList{QStringLiteral("printer:Print")} : QStringList{});
    QCOMPARE(allCalls(), QStringList{});
}

void tst_Commands::editCommandsReachThePage()
{
    activate(document1());
    main->mnuEditCut->trigger();
    main->mnuEditCopy->trigger();
    main->mnuEditPaste->trigger();
    QCOMPARE(browserOf(document1())->calls,
             (QStringList{QStringLiteral("EditCut"), QStringLiteral("EditCopy"), QStringLiteral("EditPaste")}));
    main->mnuEditPasteSpecial->trigger();
    QCOMPARE(env->dialogs.messages, QStringList{QStringLiteral("Halvane: Add 'mnuEditPasteSpecial_Click' code.")});
}

void tst_Commands::printKeepsThePrinterUntilTheEnd()
{
    QTemporaryDir out;
    env->dialogs.printToFile = out.filePath(QStringLiteral("page.pdf"));
    activate(document1());
    button("Print")->trigger();
    ScriptedBrowser *b = browserOf(document1());
    QCOMPARE(b->calls, QStringList{QStringLiteral("PrintPage")});
    QVERIFY(b->lastPrinter);
    QCOMPARE(b->lastPrinter->outputFileName(), env->dialogs.printToFile);
    // A second print of the same page while the first runs is not started.
    main->mnuFilePrint->trigger();
    QCOMPARE(b->calls.size(), 1);
    Q_EMIT b->PrintFinished(true);
    main->mnuFilePrint->trigger();
    QCOMPARE(b->calls.size(), 2);

    // Cancel prints nothing.
    env->dialogs.printToFile.clear();
    Q_EMIT b->PrintFinished(true);
    main->mnuFilePrint->trigger();
    QCOMPARE(b->calls.size(), 2);
}

void tst_Commands::sharedWindowForWebMailAndSearch()
{
    main->mdiArea->closeAllSubWindows();
    QTRY_VERIFY(main->mdiArea->subWindowList().isEmpty());
    button("Web Mail")->trigger();
    QCOMPARE(main->mdiArea->subWindowList().size(), 1);
    frmBrowser *shared = main->sharedBrowser();
    QCOMPARE(shared->windowTitle(), QString());
    QCOMPARE(browserOf(shared)->navigations, QStringList{addresses::webMail()});
    QVERIFY(addresses::webMail().endsWith(QLatin1String("/users/Marrowdyne")));
    QCOMPARE(main->DocumentCount, 1);

    // Again while another window is active: the same window, left in the background.
    main->mnuFileNew->trigger();
    frmBrowser *numbered = main->activeBrowser();
    button("Web Mail")->trigger();
    button("Search")->trigger();
    QCOMPARE(main->activeBrowser(), numbered);
    QCOMPARE(main->sharedBrowser(), shared);
    QCOMPARE(browserOf(shared)->navigations,
             (QStringList{addresses::webMail(), addresses::webMail(), addresses::searchPage()}));
    QCOMPARE(main->mdiArea->subWindowList().size(), 2);
    QCOMPARE(main->DocumentCount, 2);

    // Closed, it comes back as a new window.
    QPointer<frmBrowser> closing = shared;
    shared->subWindow()->close();
    QTRY_VERIFY(!closing);
    button("Search")->trigger();
    QCOMPARE(main->mdiArea->subWindowList().size(), 2);
    QCOMPARE(browserOf(main->sharedBrowser())->navigations, QStringList{addresses::searchPage()});
}

void tst_Commands::openAFile_data()
{
    QTest::addColumn<bool>("withADocument");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("newWindows");
    QTest::newRow("no window, chosen") << false << QStringLiteral("/tmp/page.html") << 2;
    QTest::newRow("no window, cancelled") << false << QString() << 1;
    QTest::newRow("a window, chosen") << true << QStringLiteral("/tmp/page.html") << 1;
    QTest::newRow("a window, cancelled") << true << QString() << 0;
}

void tst_Commands::openAFile()
{
    QFETCH(bool, withADocument);
    QFETCH(QString, answer);
    QFETCH(int, newWindows);
    if (!withADocument) {
        main->mdiArea->closeAllSubWindows();
        QTRY_VERIFY(main->mdiArea->subWindowList().isEmpty());
    }
    const int before = int(main->mdiArea->subWindowList().size());
    env->dialogs.openAnswer = answer;
    main->mnuFileOpen->trigger();
    QCOMPARE(int(main->mdiArea->subWindowList().size()), before + newWindows);
    QCOMPARE(env->dialogs.asked,
             QStringList{QStringLiteral("open:Open|html;htm (*.html;htm)|*.html;htm|")});
    if (answer.isEmpty())
        return;
    frmBrowser *w = main->activeBrowser();
    QCOMPARE(w->windowTitle(), answer);
    QCOMPARE(browserOf(w)->navigations, (QStringList{addresses::homePage(), answer}));
    // The dialog is not cleared: it offers the last file next time.
    main->mnuFileOpen->trigger();
    QCOMPARE(env->dialogs.asked.last(), QStringLiteral("open:Open|html;htm (*.html;htm)|*.html;htm|") + answer);
}

void tst_Commands::openDialogListsHtmlButNotHtm()
{
    QTemporaryDir dir;
    for (const char *name : {"a.html", "b.htm", "c.txt", "htm"}) {
        QFile f(dir.filePath(QLatin1String(name)));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QCOMPARE(QtDialogs::nameFilters(QStringLiteral("html;htm (*.html;htm)|*.html;htm")),
             QStringList{QStringLiteral("html;htm (*.html;htm) (*.html htm)")});
    QStringList listed;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Open"));
        auto *model = dialog->findChild<QFileSystemModel *>();
        auto *view = dialog->findChild<QListView *>(QStringLiteral("listView"));
        QVERIFY(model && view);
        // The folder's files arrive in one batch: two of the four pass the filter.
        QTRY_COMPARE(view->model()->rowCount(view->rootIndex()), 2);
        for (int r = 0; r < view->model()->rowCount(view->rootIndex()); ++r)
            listed << view->model()->index(r, 0, view->rootIndex()).data().toString();
        dialog->reject();
    });
    QtDialogs dialogs;
    const QString chosen = dialogs.openFile(nullptr, QStringLiteral("Open"),
                                            QStringLiteral("html;htm (*.html;htm)|*.html;htm"),
                                            dir.filePath(QStringLiteral("a.html")));
    QCOMPARE(chosen, QString());
    listed.sort();
    QCOMPARE(listed, (QStringList{QStringLiteral("a.html"), QStringLiteral("htm")}));
}

void tst_Commands::viewToggles_data()
{
    QTest::addColumn<QString>("item");
    QTest::newRow("toolbar") << QStringLiteral("mnuViewToolbar");
    QTest::newRow("status bar") << QStringLiteral("mnuViewStatusBar");
}

void tst_Commands::viewToggles()
{
    QFETCH(QString, item);
    QAction *a = main->findChild<QAction *>(item);
    QWidget *bar = item == QLatin1String("mnuViewToolbar") ? static_cast<QWidget *>(main->tbToolBar)
                                                           : main->sbStatusBar;
    QVERIFY(a->isChecked());
    QVERIFY(bar->isVisible());
    a->trigger();
    QVERIFY(!a->isChecked());
    QVERIFY(!bar->isVisible());
    a->trigger();
    QVERIFY(a->isChecked());
    QVERIFY(bar->isVisible());
}

void tst_Commands::toolsPanelToggle()
{
    QVERIFY(main->mnuHalvaneTool->isChecked());
    frmtool2 *panel = main->toolsPanel.loaded();
    panel->Check1_Click();
    main->mnuHalvaneTool->trigger();
    QVERIFY(!main->ToolsVisible);
    QVERIFY(!main->mnuHalvaneTool->isChecked());
    QVERIFY(!main->toolsPanel.subWindow()->isVisible());
    main->mnuHalvaneTool->trigger();
    QVERIFY(main->ToolsVisible);
    QVERIFY(main->mnuHalvaneTool->isChecked());
    QVERIFY(main->toolsPanel.subWindow()->isVisible());
    // Hidden and shown, not reloaded: the panel kept its state.
    QCOMPARE(main->toolsPanel.loaded(), panel);
    QCOMPARE(panel->Text1->text(), QStringLiteral("Enabled..."));
    QCOMPARE(main->mdiArea->currentSubWindow(), main->toolsPanel.subWindow());
}

void tst_Commands::toolsPanelMarkFollowsItsCloseBox()
{
    main->toolsPanel.subWindow()->close();
    QTRY_VERIFY(!main->toolsPanel.loaded());
    QVERIFY(!main->ToolsVisible);
    QVERIFY(!main->mnuHalvaneTool->isChecked());
    // The command then does what its mark promises: show.
    main->mnuHalvaneTool->trigger();
    QVERIFY(main->toolsPanel.subWindow()->isVisible());
    QVERIFY(main->mnuHalvaneTool->isChecked());

    // A panel brought back by another route (a document writing to it) sets both.
    main->toolsPanel.subWindow()->close();
    QTRY_VERIFY(!main->toolsPanel.loaded());
    main->toolsPanel.get();
    QVERIFY(main->ToolsVisible);
    QVERIFY(main->mnuHalvaneTool->isChecked());
}

void tst_Commands::optionsCommand_data()
{
    QTest::addColumn<QString>("failure");
    QTest::newRow("started") << QString();
    QTest::newRow("cannot start") << QStringLiteral("No such file or directory");
}

void tst_Commands::optionsCommand()
{
    QFETCH(QString, failure);
    env->launcher.failure = failure;
    main->mnuViewOptions->trigger();
    QCOMPARE(env->launcher.started,
             QStringList{QStringLiteral("c:\\windows\\control.exe C:\\windows\\system\\inetcpl.cpl")});
    // Where the control panel cannot start, our own options open instead, and no message.
    QCOMPARE(env->dialogs.messages, QStringList{});
    auto *options = main->findChild<InternetOptions *>();
    QCOMPARE(options != nullptr, !failure.isEmpty());
    if (!options)
        return;
    QVERIFY(options->isVisible());
    QCOMPARE(options->windowTitle(), QStringLiteral("Internet Options"));
    // Asked again, the one open comes forward.
    main->mnuViewOptions->trigger();
    QCOMPARE(main->findChildren<InternetOptions *>().size(), 1);

    // Delete empties the history file and every window's list, and tells the rest.
    HistoryWriter::waitForAll();
    env->writeHistory("\r\nhttp://127.0.0.1/a\r\nhttp://127.0.0.1/b\r\n");
    frmBrowser *doc = main->LoadNewDoc();
    QCOMPARE(doc->cboAddress->count(), 2);
    options->cmdDelete->click();
    QCOMPARE(options->lblDeleted->text(),
             QStringLiteral("Deleted: address history, cookies and site data, cached files."));
    // (A window's own visit may be written again after it.)
    const QStringList kept = historyfile::read(env->historyPath()).entries;
    QVERIFY2(!kept.contains(QStringLiteral("http://127.0.0.1/a")) && !kept.contains(QStringLiteral("http://127.0.0.1/b")),
             qPrintable(kept.join(u' ')));
    QCOMPARE(doc->cboAddress->count(), 0);
    QCOMPARE(env->browsingData.deleted, (QStringList{QStringLiteral("cookies"), QStringLiteral("cache")}));
}

// Internet Options stays open beside the main window: clicks, typing, shortcuts and
// menus all reach it, through the window system's own path (where a modal dialog
// holds them back).
void tst_Commands::optionsLeaveTheMainWindowFree()
{
    env->launcher.failure = QStringLiteral("No such file or directory");
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main.get()));
    main->mnuViewOptions->trigger();
    QPointer<InternetOptions> options = main->findChild<InternetOptions *>();
    QVERIFY(options);
    QVERIFY(QTest::qWaitForWindowActive(options));

    // The user clicks into Document 1's address box; the manager activates the window.
    QWindow *window = main->windowHandle();
    QLineEdit *box = document1()->cboAddress->lineEdit();
    box->clear();
    main->activateWindow();
    QTest::mouseClick(window, Qt::LeftButton, {}, box->mapTo(main.get(), box->rect().center()));
    QTRY_VERIFY(box->hasFocus());
    const QString typed = QStringLiteral("typed.test");
    for (const QChar c : typed)
        QTest::keyClick(window, c.toLatin1());
    QCOMPARE(box->text(), typed);

    QTest::keyClick(window, Qt::Key_N, Qt::ControlModifier);
    QCOMPARE(main->DocumentCount, 2);

    const QRect fileTitle = main->menuBar()->actionGeometry(main->mnuFile->menuAction());
    QTest::mouseClick(window, Qt::LeftButton, {}, main->menuBar()->mapTo(main.get(), fileTitle.center()));
    QTRY_VERIFY(main->mnuFile->isVisible());
    main->mnuFile->close();

    // Asked again: the one open comes to the front.
    main->mnuViewOptions->trigger();
    QCOMPARE(main->findChildren<InternetOptions *>().size(), 1);
    QCOMPARE(main->findChild<InternetOptions *>(), options.data());
    QVERIFY(QTest::qWaitForWindowActive(options));
    QVERIFY(options->isVisible());
}

void tst_Commands::realLauncherReportsWhyItFailed()
{
    QtProgramLauncher launcher;
    QString error;
    QVERIFY(!launcher.startDetached(frmMain::optionsCommandLine(), &error));
    QVERIFY(!error.isEmpty());
}

// A program named without a folder comes from PATH's folders, never from the working
// folder, where anyone may have left a file of that name.
void tst_Commands::realLauncherLooksOnlyOnPath_data()
{
    QTest::addColumn<QString>("path"); // %1: the folder holding the program
    QTest::addColumn<bool>("starts");
    QTest::newRow("in the working folder only") << QStringLiteral("/usr/bin:/bin") << false;
    QTest::newRow("PATH naming the working folder relatively")
        << QStringLiteral(".:/usr/bin::/bin") << false;
    QTest::newRow("on PATH") << QStringLiteral("/usr/bin:%1:/bin") << true;
}

void tst_Commands::realLauncherLooksOnlyOnPath()
{
    QFETCH(QString, path);
    QFETCH(bool, starts);
    QTemporaryDir folder;
    QVERIFY(folder.isValid());
    const QString marker = folder.filePath(QStringLiteral("started"));
    const QString name = QStringLiteral("c:\\windows\\control.exe");
    QFile program(folder.filePath(name));
    QVERIFY(program.open(QIODevice::WriteOnly));
    program.write("#!/bin/sh\ntouch '" + QFile::encodeName(marker) + "'\n");
    program.close();
    QVERIFY(program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    const QString oldFolder = QDir::currentPath();
    const QByteArray oldPath = qgetenv("PATH");
    QVERIFY(QDir::setCurrent(folder.path()));
    qputenv("PATH", path.arg(folder.path()).toLocal8Bit());
    QtProgramLauncher launcher;
    QString error;
    const bool started = launcher.startDetached(frmMain::optionsCommandLine(), &error);
    qputenv("PATH", oldPath);
    QDir::setCurrent(oldFolder);

    QCOMPARE(started, starts);
    if (starts) {
        QTRY_VERIFY(QFile::exists(marker));
    } else {
        QVERIFY(!error.isEmpty());
        QTest::qWait(300);
        QVERIFY(!QFile::exists(marker));
    }
}

void tst_Commands::tilings_data()
{
    QTest::addColumn<bool>("horizontal");
    QTest::newRow("horizontal") << true;
    QTest::newRow("vertical") << false;
}

void tst_Commands::tilings()
{
    QFETCH(bool, horizontal);
    main->mnuFileNew->trigger();
    document1()->subWindow()->showMaximized();
    (horizontal ? main->mnuWindowTileHorizontal : main->mnuWindowTileVertical)->trigger();
    const auto windows = main->mdiArea->subWindowList(QMdiArea::CreationOrder);
    QCOMPARE(windows.size(), 3); // Document 1, the tools panel, Document 2
    const QRect area = main->mdiArea->viewport()->rect();
    const QList<QRect> expected = horizontal ? arrangement::tileHorizontal(3, area)
                                             : arrangement::tileVertical(3, area);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(windows[i]->geometry(), expected[i]);
}

void tst_Commands::arrangeIconsLinesUpMinimizedWindows()
{
    main->mnuFileNew->trigger();
    document1()->subWindow()->showMinimized();
    document(2)->subWindow()->showMinimized();
    document1()->subWindow()->move(200, 50);
    main->mnuWindowArrangeIcons->trigger();
    const int bottom = main->mdiArea->viewport()->rect().bottom();
    QCOMPARE(document1()->subWindow()->geometry().bottom(), bottom);
    QCOMPARE(document1()->subWindow()->x(), 0);
    QCOMPARE(document(2)->subWindow()->x(), document1()->subWindow()->width());
    QCOMPARE(document(2)->subWindow()->geometry().bottom(), bottom);
}

void tst_Commands::pageAskingForAWindowGetsANumberedOne_data()
{
    QTest::addColumn<bool>("behind");
    QTest::newRow("in front") << false;
    QTest::newRow("behind (middle click)") << true;
}

void tst_Commands::pageAskingForAWindowGetsANumberedOne()
{
    QFETCH(bool, behind);
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main.get()));
    activate(document1());
    document1()->brwWebBrowser->setFocus();
    QTRY_VERIFY(document1()->brwWebBrowser->hasFocus());
    WebBrowser *given = browserOf(document1())->requestNewWindow(QStringLiteral("http://target.test/"), behind);
    frmBrowser *w = document(int(main->mdiArea->subWindowList().size()) - 1);
    QVERIFY(w && w != document1());
    QCOMPARE(given, w->brwWebBrowser);
    QCOMPARE(w->windowTitle(), QStringLiteral("Document 2"));
    QVERIFY(w->subWindow()->isVisible());
    // The page's own request is opened in the new control: no navigation of ours.
    QVERIFY(browserOf(w)->navigations.isEmpty());
    QCOMPARE(w->cboAddress->currentText(), QStringLiteral("http://target.test/"));
    QCOMPARE(main->activeBrowser(), behind ? document1() : w);
    if (behind)
        QTRY_VERIFY(document1()->brwWebBrowser->hasFocus());
}

void tst_Commands::browserKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("focusInPage");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<bool>("toolbarShown");
    QTest::newRow("F5") << int(Qt::Key_F5) << 0 << true << QStringList{QStringLiteral("Refresh")} << true;
    // The key is the button's action, and works with the toolbar hidden.
    QTest::newRow("F5, the toolbar hidden") << int(Qt::Key_F5) << 0 << true << QStringList{QStringLiteral("Refresh")}
                                            << false;
    QTest::newRow("Alt+Left") << int(Qt::Key_Left) << int(Qt::AltModifier) << true
                              << QStringList{QStringLiteral("GoBack")} << true;
    QTest::newRow("Alt+Right") << int(Qt::Key_Right) << int(Qt::AltModifier) << false
                               << QStringList{QStringLiteral("GoForward")} << true;
    QTest::newRow("Esc in the page") << int(Qt::Key_Escape) << 0 << true << QStringList{QStringLiteral("Stop")} << true;
    QTest::newRow("Esc in the address box") << int(Qt::Key_Escape) << 0 << false << QStringList{} << true;
    QTest::newRow("Ctrl+U") << int(Qt::Key_U) << int(Qt::ControlModifier) << true
                            << QStringList{QStringLiteral("ViewPageSource")} << true;
    QTest::newRow("F12") << int(Qt::Key_F12) << 0 << false << QStringList{QStringLiteral("ShowDevTools")} << true;
}

void tst_Commands::browserKeys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, focusInPage);
    QFETCH(QStringList, calls);
    QFETCH(bool, toolbarShown);
    if (!toolbarShown)
        main->mnuViewToolbar->trigger();
    QCOMPARE(main->tbToolBar->isVisible(), toolbarShown);
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main.get()));
    activate(document1());
    QWidget *target = focusInPage ? static_cast<QWidget *>(document1()->brwWebBrowser) : document1()->cboAddress;
    target->setFocus();
    QTRY_VERIFY(target->hasFocus());
    QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(browserOf(document1())->calls, calls);
}

void tst_Commands::ctrlPPrints()
{
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main.get()));
    activate(document1());
    document1()->brwWebBrowser->setFocus();
    QTest::keyClick(document1()->brwWebBrowser, Qt::Key_P, Qt::ControlModifier);
    QCOMPARE(env->dialogs.asked, QStringList{QStringLiteral("printer:Print")});
}

// Ctrl+F opens the strip, "ab" is typed; then one key, with the focus in the field
// or the page.
void tst_Commands::findKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("focusInPage");
    QTest::addColumn<QString>("call");
    QTest::addColumn<bool>("stripShown");
    const QString next = QStringLiteral("FindText:ab:forward:anycase");
    const QString previous = QStringLiteral("FindText:ab:back:anycase");
    QTest::newRow("F3 in the field") << int(Qt::Key_F3) << 0 << false << next << true;
    QTest::newRow("F3 in the page") << int(Qt::Key_F3) << 0 << true << next << true;
    QTest::newRow("Shift+F3 in the page") << int(Qt::Key_F3) << int(Qt::ShiftModifier) << true << previous << true;
    QTest::newRow("Shift+Enter in the field") << int(Qt::Key_Return) << int(Qt::ShiftModifier) << false << previous
                                              << true;
    QTest::newRow("Esc in the field") << int(Qt::Key_Escape) << 0 << false
                                      << QStringLiteral("FindText::forward:anycase") << false;
    // The strip stays; Esc stops the page as before.
    QTest::newRow("Esc in the page") << int(Qt::Key_Escape) << 0 << true << QStringLiteral("Stop") << true;
}

void tst_Commands::findKeys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, focusInPage);
    QFETCH(QString, call);
    QFETCH(bool, stripShown);
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main.get()));
    activate(document1());
    frmBrowser *w = document1();
    QVERIFY(!w->findStrip());
    w->brwWebBrowser->setFocus();
    QTRY_VERIFY(w->brwWebBrowser->hasFocus());
    QTest::keyClick(w->brwWebBrowser, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(w->findStrip());
    QTRY_VERIFY(w->findStrip()->field->hasFocus());
    QTest::keyClicks(w->findStrip()->field, QStringLiteral("ab"));
    QWidget *target = focusInPage ? static_cast<QWidget *>(w->brwWebBrowser) : w->findStrip()->field;
    target->setFocus();
    QTRY_VERIFY(target->hasFocus());
    forgetCalls();
    QTest::keyClick(target, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(browserOf(w)->calls, QStringList{call});
    QCOMPARE(w->findStrip()->isVisible(), stripShown);
    if (!stripShown)
        QTRY_VERIFY(w->brwWebBrowser->hasFocus());
}

void tst_Commands::addressAndCloseKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("closes"); // else: the address box takes the keyboard, its text selected
    QTest::newRow("Ctrl+L") << int(Qt::Key_L) << int(Qt::ControlModifier) << false;
    QTest::newRow("F6") << int(Qt::Key_F6) << 0 << false;
    QTest::newRow("Alt+D") << int(Qt::Key_D) << int(Qt::AltModifier) << false;
    QTest::newRow("Ctrl+W") << int(Qt::Key_W) << int(Qt::ControlModifier) << true;
    QTest::newRow("Ctrl+F4") << int(Qt::Key_F4) << int(Qt::ControlModifier) << true;
}

void tst_Commands::addressAndCloseKeys()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, closes);
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main.get()));
    frmBrowser *w = document1();
    activate(w);
    w->cboAddress->setEditText(QStringLiteral("http://127.0.0.1/typed"));
    w->brwWebBrowser->setFocus();
    QTRY_VERIFY(w->brwWebBrowser->hasFocus());
    QPointer<frmBrowser> window(w);
    QTest::keyClick(w->brwWebBrowser, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    if (closes) {
        QTRY_VERIFY(!window);
        return;
    }
    QTRY_VERIFY(w->cboAddress->lineEdit()->hasFocus());
    QCOMPARE(w->cboAddress->lineEdit()->selectedText(), QStringLiteral("http://127.0.0.1/typed"));
}

// With the tools panel active (as at start) and the keyboard in its host box. The keys
// we added act on the document window active last, and make it active; the design's
// own commands skip the panel and leave it active.
void tst_Commands::addedKeysReachTheLastDocument_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    // 0: at start (Document 1 alone); 1 or 2: that one of two was active last.
    QTest::addColumn<int>("lastActive");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QString>("focusIn"); // address, find, document or panel
    const int ctrl = int(Qt::ControlModifier);
    QTest::newRow("Ctrl+L at start") << int(Qt::Key_L) << ctrl << 0 << QStringList{} << QStringLiteral("address");
    QTest::newRow("F6 at start") << int(Qt::Key_F6) << 0 << 0 << QStringList{} << QStringLiteral("address");
    QTest::newRow("Alt+D at start") << int(Qt::Key_D) << int(Qt::AltModifier) << 0 << QStringList{}
                                    << QStringLiteral("address");
    QTest::newRow("Ctrl+L, the first of two last") << int(Qt::Key_L) << ctrl << 1 << QStringList{}
                                                   << QStringLiteral("address");
    QTest::newRow("Ctrl+L, the second of two last") << int(Qt::Key_L) << ctrl << 2 << QStringList{}
                                                    << QStringLiteral("address");
    QTest::newRow("Ctrl+F") << int(Qt::Key_F) << ctrl << 0 << QStringList{} << QStringLiteral("find");
    QTest::newRow("F3") << int(Qt::Key_F3) << 0 << 1 << QStringList{} << QStringLiteral("find");
    QTest::newRow("Shift+F3") << int(Qt::Key_F3) << int(Qt::ShiftModifier) << 2 << QStringList{}
                              << QStringLiteral("find");
    QTest::newRow("Ctrl++") << int(Qt::Key_Plus) << ctrl << 0 << QStringList{QStringLiteral("SetZoomPercent:110")}
                            << QStringLiteral("document");
    QTest::newRow("Ctrl+-") << int(Qt::Key_Minus) << ctrl << 1
                            << QStringList{QStringLiteral("SetZoomPercent:90")} << QStringLiteral("document");
    QTest::newRow("Ctrl+U") << int(Qt::Key_U) << ctrl << 0 << QStringList{QStringLiteral("ViewPageSource")}
                            << QStringLiteral("document");
    QTest::newRow("F12") << int(Qt::Key_F12) << 0 << 2 << QStringList{QStringLiteral("ShowDevTools")}
                         << QStringLiteral("document");
    QTest::newRow("F5 skips the panel") << int(Qt::Key_F5) << 0 << 0 << QStringList{} << QStringLiteral("panel");
    QTest::newRow("Alt+Left skips the panel") << int(Qt::Key_Left) << int(Qt::AltModifier) << 1 << QStringList{}
                                              << QStringLiteral("panel");
}

void tst_Commands::addedKeysReachTheLastDocument()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, lastActive);
    QFETCH(QStringList, calls);
    QFETCH(QString, focusIn);
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main.get()));
    frmBrowser *expected = document1();
    if (lastActive) {
        frmBrowser *second = main->LoadNewDoc();
        expected = lastActive == 1 ? document1() : second;
        activate(expected);
        activateToolsPanel();
    }
    forgetCalls();
    QCOMPARE(main->mdiArea->currentSubWindow(), main->toolsPanel.subWindow());
    QWidget *hostBox = main->toolsPanel.loaded()->Text1;
    hostBox->setFocus();
    QTRY_VERIFY(hostBox->hasFocus());
    QTest::keyClick(hostBox, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(allCalls(), calls);
    QCOMPARE(browserOf(expected)->calls, calls);
    if (focusIn == QLatin1String("panel")) {
        QCOMPARE(main->mdiArea->currentSubWindow(), main->toolsPanel.subWindow());
        QVERIFY(hostBox->hasFocus());
        return;
    }
    QCOMPARE(main->activeBrowser(), expected);
    if (focusIn == QLatin1String("address"))
        QTRY_VERIFY(expected->cboAddress->lineEdit()->hasFocus());
    else if (focusIn == QLatin1String("find"))
        QTRY_VERIFY(expected->findStrip() && expected->findStrip()->field->hasFocus());
    else
        QTRY_VERIFY(expected->isAncestorOf(QApplication::focusWidget()));
}

// From Document 2 of three, the window active after the presses: they go in the order
// the windows were opened, round from the last to the first.
void tst_Commands::ctrlTabCyclesTheWindows_data()
{
    QTest::addColumn<bool>("focusInPage");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("presses");
    QTest::addColumn<int>("active"); // document number
    const int ctrl = int(Qt::ControlModifier);
    const int ctrlShift = int(Qt::ControlModifier | Qt::ShiftModifier);
    QTest::newRow("Ctrl+Tab in the page") << true << ctrl << 1 << 3;
    QTest::newRow("Ctrl+Tab in the address box") << false << ctrl << 1 << 3;
    QTest::newRow("Ctrl+Tab twice: round to the first") << true << ctrl << 2 << 1;
    QTest::newRow("Ctrl+Shift+Tab") << true << ctrlShift << 1 << 1;
    QTest::newRow("Ctrl+Shift+Tab twice: round to the last") << false << ctrlShift << 2 << 3;
}

void tst_Commands::ctrlTabCyclesTheWindows()
{
    QFETCH(bool, focusInPage);
    QFETCH(int, modifiers);
    QFETCH(int, presses);
    QFETCH(int, active);
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main.get()));
    main->toolsPanel.subWindow()->close();
    frmBrowser *documents[] = {document1(), main->LoadNewDoc(), main->LoadNewDoc()};
    activate(documents[1]);
    for (int i = 0; i < presses; ++i) {
        frmBrowser *at = main->activeBrowser();
        QWidget *target = focusInPage ? static_cast<QWidget *>(at->brwWebBrowser) : at->cboAddress;
        target->setFocus();
        QTRY_VERIFY(target->hasFocus());
        QTest::keyClick(target, Qt::Key_Tab, Qt::KeyboardModifiers(modifiers));
        QTRY_VERIFY(main->activeBrowser() != at);
    }
    QCOMPARE(main->activeBrowser(), documents[active - 1]);
}

// Keys from 100 % in the page, the level after and what the status bar says.
void tst_Commands::zoomKeys_data()
{
    QTest::addColumn<QList<QKeyCombination>>("keys");
    QTest::addColumn<int>("percent");
    const QKeyCombination plus(Qt::ControlModifier, Qt::Key_Plus);
    const QKeyCombination equal(Qt::ControlModifier, Qt::Key_Equal);
    const QKeyCombination minus(Qt::ControlModifier, Qt::Key_Minus);
    const QKeyCombination zero(Qt::ControlModifier, Qt::Key_0);
    QTest::newRow("Ctrl++") << QList<QKeyCombination>{plus} << 110;
    QTest::newRow("Ctrl+=") << QList<QKeyCombination>{equal, equal} << 125;
    QTest::newRow("Ctrl+-") << QList<QKeyCombination>{minus} << 90;
    QTest::newRow("Ctrl+0") << QList<QKeyCombination>{plus, plus, plus, zero} << 100;
}

void tst_Commands::zoomKeys()
{
    QFETCH(QList<QKeyCombination>, keys);
    QFETCH(int, percent);
    main->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(main.get()));
    activate(document1());
    document1()->brwWebBrowser->setFocus();
    QTRY_VERIFY(document1()->brwWebBrowser->hasFocus());
    for (const QKeyCombination &k : std::as_const(keys))
        QTest::keyClick(document1()->brwWebBrowser, k.key(), k.keyboardModifiers());
    QCOMPARE(document1()->zoomPercent(), percent);
    QCOMPARE(browserOf(document1())->calls.last(), QStringLiteral("SetZoomPercent:%1").arg(percent));
    QCOMPARE(main->sbStatusBar->currentMessage(), QStringLiteral("Zoom %1 %").arg(percent));
}

void tst_Commands::helpButtonOpensOneViewer()
{
    button("Help")->trigger();
    QPointer<frmHelp> viewer = main->helpViewer();
    QVERIFY(viewer);
    QVERIFY(viewer->isVisible());
    QVERIFY(viewer->isWindow());
    main->mnuHelpContents->trigger();
    QCOMPARE(main->helpViewer(), viewer.data());
    viewer->close();
    QTRY_VERIFY(!viewer);
    main->mnuHelpContents->trigger();
    QVERIFY(main->helpViewer());
}

void tst_Commands::downloadsOpenOneWindow_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("statusText"); // what panel 1 shows when it is clicked
    QTest::addColumn<bool>("opens");
    QTest::newRow("View > Downloads") << QStringLiteral("menu") << QString() << true;
    QTest::newRow("Ctrl+Shift+Y") << QStringLiteral("key") << QString() << true;
    QTest::newRow("a click on a download's progress")
        << QStringLiteral("click") << QStringLiteral("Downloading a.bin: 50% of 2.0 kB") << true;
    QTest::newRow("a click on a download's end") << QStringLiteral("click")
                                                 << QStringLiteral("Download of a.bin failed: Network error") << true;
    QTest::newRow("a click on a link's text") << QStringLiteral("click") << QStringLiteral("http://127.0.0.1/")
                                              << false;
}

// One downloads window at a time, over the profile's list, beside the main window.
void tst_Commands::downloadsOpenOneWindow()
{
    QFETCH(QString, how);
    QFETCH(QString, statusText);
    QFETCH(bool, opens);
    const auto ask = [&] {
        if (how == QStringLiteral("menu")) {
            main->mnuViewDownloads->trigger();
        } else if (how == QStringLiteral("key")) {
            main->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(main.get()));
            QTest::keyClick(main.get(), Qt::Key_Y, Qt::ControlModifier | Qt::ShiftModifier);
        } else {
            main->writeStatusText(statusText);
            QLabel *panel = main->sbStatusBar->panel(1);
            QTest::mouseClick(panel, Qt::LeftButton, {}, panel->rect().center());
        }
    };
    ask();
    QPointer<frmDownloads> window = main->downloadsWindow();
    QCOMPARE(bool(window), opens);
    if (!opens)
        return;
    QVERIFY(window->isVisible());
    QVERIFY(window->isWindow());
    QCOMPARE(window->lstDownloads->model(), static_cast<QAbstractItemModel *>(&env->browsingData.list));
    ask();
    QCOMPARE(main->downloadsWindow(), window.data());
    QCOMPARE(main->findChildren<frmDownloads *>().size(), 1);
    window->close();
    QTRY_VERIFY(!window);
    ask();
    QVERIFY(main->downloadsWindow());
}

QTEST_MAIN(tst_Commands)
#include "tst_commands.moc"
