#include "browser/findstrip.h"
#include "browser/frmBrowser.h"
#include "browser/historyfile.h"
#include "browser/historywriter.h"
#include "browser/zoomlevels.h"
#include "support/documentfixture.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWindow>

using namespace Qt::StringLiterals;

// The document window's own behaviour, with a browser that only records calls.
class tst_FrmBrowser : public QObject, protected DocumentFixture
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void loadFillsTheListFromTheHistoryFile_data();
    void loadFillsTheListFromTheHistoryFile();
    void loadWithoutAHistoryFileStartsEmpty();
    void loadWithTheHistoryPathAFolderStartsEmpty();
    void timersAfterLoad();
    void enterNavigatesToTheTextAsTyped_data();
    void enterNavigatesToTheTextAsTyped();
    void otherKeysDoNotNavigate();
    void suggestionsLeaveTheTypedTextUntilPicked_data();
    void suggestionsLeaveTheTypedTextUntilPicked();
    void pickingAnEntryNavigates();
    void aPageMovingLeavesTheTypedAddress_data();
    void aPageMovingLeavesTheTypedAddress();
    void arrowKeysNavigateAtEachStep();
    void suppressedClickDoesNothing();
    void layoutFollowsTheWindowSize_data();
    void layoutFollowsTheWindowSize();
    void tooSmallASizeKeepsTheLastValidOne();
    void altAMovesTheFocusToTheAddressBox();
    void closingWithAQuestionOpenWaitsForItToReturn();
    void aHundredThousandAddressesLoad();
    void findStripIsMadeWhenFirstAskedFor();
    void findStripKeys_data();
    void findStripKeys();
    void findCount_data();
    void findCount();
    void zoomSteps_data();
    void zoomSteps();
    void zoomIsKeptPerHost();
};

void tst_FrmBrowser::init()
{
    setUp();
}

void tst_FrmBrowser::cleanup()
{
    tearDown();
}

void tst_FrmBrowser::loadFillsTheListFromTheHistoryFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("list");
    QTest::newRow("empty first line, A, B")
        << QByteArray("\r\nhttp://a.test/\r\nhttp://b.test/\r\n")
        << QStringList{QStringLiteral("http://a.test/"), QStringLiteral("http://b.test/")};
    QTest::newRow("duplicates kept, order kept")
        << QByteArray("\r\nb\r\na\r\nb\r\n")
        << QStringList{QStringLiteral("b"), QStringLiteral("a"), QStringLiteral("b")};
    QTest::newRow("comma splits") << QByteArray("\r\nx,y\r\n")
                                  << QStringList{QStringLiteral("x"), QStringLiteral("y")};
    QTest::newRow("only empty lines") << QByteArray("\r\n\r\n\r\n") << QStringList{};
}

void tst_FrmBrowser::loadFillsTheListFromTheHistoryFile()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, list);
    env->writeHistory(file);
    frmBrowser *w = newWindow();
    QCOMPARE(listOf(w), list);
    // The box starts empty: filling the list neither picks an entry nor navigates.
    QCOMPARE(w->cboAddress->currentText(), QString());
    QCOMPARE(browserOf(w)->calls, QStringList{});
}

void tst_FrmBrowser::loadWithoutAHistoryFileStartsEmpty()
{
    frmBrowser *w = newWindow();
    QCOMPARE(w->cboAddress->count(), 0);
    QVERIFY(w->subWindow()->isVisible());
}

void tst_FrmBrowser::loadWithTheHistoryPathAFolderStartsEmpty()
{
    QVERIFY(QDir(env->folder.path()).mkdir(QStringLiteral("address.lst")));
    frmBrowser *w = newWindow();
    QCOMPARE(w->cboAddress->count(), 0);
}

void tst_FrmBrowser::timersAfterLoad()
{
    frmBrowser *w = newWindow();
    QVERIFY(!w->Timer1->isActive());
    QVERIFY(!w->Timer2->isActive());
    QVERIFY(!w->timTimer->isActive());
    QCOMPARE(w->Timer1->interval(), 1);
    QCOMPARE(w->timTimer->interval(), 5);
}

void tst_FrmBrowser::enterNavigatesToTheTextAsTyped_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("address") << QStringLiteral("http://127.0.0.1/");
    QTest::newRow("no scheme, blanks kept") << QStringLiteral(" 127.0.0.1 ");
    QTest::newRow("empty") << QString();
}

void tst_FrmBrowser::enterNavigatesToTheTextAsTyped()
{
    QFETCH(QString, typed);
    frmBrowser *w = newWindow();
    w->cboAddress->setFocus();
    QTest::keyClicks(w->cboAddress, typed);
    QCOMPARE(browserOf(w)->navigations, QStringList{});
    QTest::keyClick(w->cboAddress, Qt::Key_Return);
    QCOMPARE(browserOf(w)->navigations, QStringList{typed});
    QVERIFY(w->timTimer->isActive());
    // Enter adds nothing to the list by itself.
    QCOMPARE(w->cboAddress->count(), 0);
    QTest::keyClick(w->cboAddress, Qt::Key_Enter);
    QCOMPARE(browserOf(w)->navigations.size(), 2);
}

void tst_FrmBrowser::otherKeysDoNotNavigate()
{
    frmBrowser *w = newWindow();
    QTest::keyClicks(w->cboAddress, QStringLiteral("abc"));
    QTest::keyClick(w->cboAddress, Qt::Key_Tab);
    QTest::keyClick(w->cboAddress, Qt::Key_Escape);
    QCOMPARE(browserOf(w)->navigations, QStringList{});
}

void tst_FrmBrowser::suggestionsLeaveTheTypedTextUntilPicked_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("then");
    QTest::addColumn<QString>("navigated");
    QTest::newRow("prefix of a listed address") << QStringLiteral("http://a") << QStringLiteral("enter")
                                                << QStringLiteral("http://a");
    QTest::newRow("listed address in other case") << QStringLiteral("HTTP://B.TEST/") << QStringLiteral("enter")
                                                  << QStringLiteral("HTTP://B.TEST/");
    QTest::newRow("listed address in other case, list closed")
        << QStringLiteral("HTTP://B.TEST/") << QStringLiteral("escape enter") << QStringLiteral("HTTP://B.TEST/");
    QTest::newRow("listed address") << QStringLiteral("http://b.test/") << QStringLiteral("enter")
                                    << QStringLiteral("http://b.test/");
    QTest::newRow("suggestion picked by key") << QStringLiteral("http://a") << QStringLiteral("down enter")
                                              << QStringLiteral("http://abc.test/");
    QTest::newRow("suggestion clicked") << QStringLiteral("http://a") << QStringLiteral("click")
                                        << QStringLiteral("http://abc.test/");
}

// Keys go to the window, which hands them to the box or, while it is up, the pop-up
// list of suggestions, as a user's would.
void tst_FrmBrowser::suggestionsLeaveTheTypedTextUntilPicked()
{
    QFETCH(QString, typed);
    QFETCH(QString, then);
    QFETCH(QString, navigated);
    env->writeHistory("\r\nhttp://abc.test/\r\nhttp://b.test/\r\nhttp://abd.test/\r\n");
    frmBrowser *w = newWindow();
    area->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(area.get()));
    w->cboAddress->setFocus();
    QWindow *window = area->windowHandle();
    for (const QChar c : typed)
        QTest::keyClick(window, c.toLatin1());
    QCOMPARE(w->cboAddress->currentText(), typed);
    QCOMPARE(browserOf(w)->navigations, QStringList{});

    if (then == QLatin1String("click")) {
        auto *popup = w->cboAddress->completer()->popup();
        QVERIFY(popup->isVisible());
        const QRect first = popup->visualRect(popup->model()->index(0, 0));
        QTest::mouseClick(popup->viewport(), Qt::LeftButton, {}, first.center());
    } else {
        if (then.startsWith(QLatin1String("down")))
            QTest::keyClick(window, Qt::Key_Down);
        if (then.startsWith(QLatin1String("escape")))
            QTest::keyClick(window, Qt::Key_Escape);
        QTest::keyClick(window, Qt::Key_Return);
    }
    // Once, to exactly that address; the box shows it until the page reports its own.
    QCOMPARE(browserOf(w)->navigations, QStringList{navigated});
    QCOMPARE(w->cboAddress->currentText(), navigated);
    QVERIFY(!QApplication::activePopupWidget());
}

void tst_FrmBrowser::pickingAnEntryNavigates()
{
    env->writeHistory("\r\nhttp://a.test/\r\nhttp://b.test/\r\n");
    frmBrowser *w = newWindow();
    // What a pick from the drop-down list does: set the index, then report it.
    w->cboAddress->setCurrentIndex(1);
    Q_EMIT w->cboAddress->activated(1);
    QCOMPARE(browserOf(w)->navigations, QStringList{QStringLiteral("http://b.test/")});
}

void tst_FrmBrowser::aPageMovingLeavesTheTypedAddress_data()
{
    QTest::addColumn<QByteArray>("history");
    QTest::addColumn<QString>("before");       // typed before the page moves
    QTest::addColumn<bool>("boxLeft");         // then the keyboard goes to the page
    QTest::addColumn<QString>("after");        // typed after it moved
    QTest::addColumn<QString>("shown");        // what the box then holds
    const QString page = u"http://reload.test/"_s;
    QTest::newRow("typing") << QByteArray() << u"http://typ"_s << false << u"ed.test/"_s << u"http://typed.test/"_s;
    QTest::newRow("typing, suggestions up") << QByteArray("\r\nhttp://typo.test/\r\n") << u"http://typ"_s << false
                                            << u"ed.test/"_s << u"http://typed.test/"_s;
    QTest::newRow("typing an address the page moves to")
        << QByteArray("\r\nhttp://a.test/\r\n") << u"http://reload.te"_s << false << u"st/x"_s
        << u"http://reload.test/x"_s;
    QTest::newRow("typed, then the page has the keyboard") << QByteArray() << u"http://typ"_s << true << QString()
                                                           << page;
    QTest::newRow("nothing typed") << QByteArray() << QString() << false << QString() << page;
}

// A page that reloads itself completes navigations while the user types another address:
// what the user typed stays and is what Enter visits; the list and the history file get
// the page's address.
void tst_FrmBrowser::aPageMovingLeavesTheTypedAddress()
{
    QFETCH(QByteArray, history);
    QFETCH(QString, before);
    QFETCH(bool, boxLeft);
    QFETCH(QString, after);
    QFETCH(QString, shown);
    const QString page = u"http://reload.test/"_s;
    env->writeHistory("\r\n" + history);
    const QStringList listed = historyfile::read(env->historyPath()).entries;
    frmBrowser *w = newWindow();
    area->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(area.get()));
    w->focusAddress();
    QWindow *window = area->windowHandle();
    const auto type = [window](const QString &text) {
        for (const QChar c : text)
            QTest::keyClick(window, c.toLatin1());
    };

    type(before);
    if (boxLeft)
        w->brwWebBrowser->setFocus();
    for (int i = 0; i < 3; ++i)
        browserOf(w)->completeNavigation(page, u"Reloading"_s);
    type(after);
    QCOMPARE(w->cboAddress->currentText(), shown);
    QCOMPARE(listOf(w), QStringList{page} + listed);
    QCOMPARE(browserOf(w)->navigations, QStringList{});
    HistoryWriter::waitForAll();
    QCOMPARE(historyfile::read(env->historyPath()).entries, listed + QStringList{page});

    if (boxLeft || shown == page)
        return;
    QTest::keyClick(window, Qt::Key_Return);
    QCOMPARE(browserOf(w)->navigations, QStringList{shown});
    // Visited, the text is no longer being typed: the page arriving shows its address.
    const QString landed = u"http://landed.test/"_s;
    browserOf(w)->completeNavigation(landed, u"Landed"_s);
    QCOMPARE(w->cboAddress->currentText(), landed);
}

void tst_FrmBrowser::arrowKeysNavigateAtEachStep()
{
    env->writeHistory("\r\nhttp://a.test/\r\nhttp://b.test/\r\nhttp://c.test/\r\n");
    frmBrowser *w = newWindow();
    w->cboAddress->setFocus();
    QTest::keyClick(w->cboAddress, Qt::Key_Down);
    QTest::keyClick(w->cboAddress, Qt::Key_Down);
    QTest::keyClick(w->cboAddress, Qt::Key_Up);
    QCOMPARE(browserOf(w)->navigations,
             (QStringList{QStringLiteral("http://a.test/"), QStringLiteral("http://b.test/"),
                          QStringLiteral("http://a.test/")}));
}

void tst_FrmBrowser::suppressedClickDoesNothing()
{
    frmBrowser *w = newWindow();
    w->cboAddress->setEditText(QStringLiteral("http://a.test/"));
    w->SuppressNavigate = true;
    Q_EMIT w->cboAddress->activated(0);
    QCOMPARE(browserOf(w)->navigations, QStringList{});
    QVERIFY(!w->timTimer->isActive());
}

void tst_FrmBrowser::layoutFollowsTheWindowSize_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("design size") << 436 << 338;
    QTest::newRow("wide") << 900 << 600;
    QTest::newRow("narrow") << 120 << 80;
}

void tst_FrmBrowser::layoutFollowsTheWindowSize()
{
    QFETCH(int, width);
    QFETCH(int, height);
    frmBrowser *w = newWindow();
    w->resize(width, height);
    QCOMPARE(w->picAddress->geometry(), QRect(0, 0, width, 45));
    // In twips: box W - 100 wide; browser at (100, 700), W - 200 by H - 800.
    QCOMPARE(w->cboAddress->width(), (width * 15 - 100 + 7) / 15);
    QCOMPARE(w->brwWebBrowser->geometry(),
             QRect(7, 47, (width * 15 - 200 + 7) / 15, (height * 15 - 800 + 7) / 15));
    // The load moved the box under the label: left 50, top 60 + 255 + 15.
    QCOMPARE(w->cboAddress->pos(), QPoint(3, 22));
}

void tst_FrmBrowser::tooSmallASizeKeepsTheLastValidOne()
{
    frmBrowser *w = newWindow();
    w->resize(300, 300);
    const int boxWidth = w->cboAddress->width();
    const QRect browser = w->brwWebBrowser->geometry();
    w->resize(5, 40);
    QCOMPARE(w->cboAddress->width(), boxWidth);
    QCOMPARE(w->brwWebBrowser->width(), browser.width());
    QCOMPARE(w->brwWebBrowser->height(), browser.height());
}

void tst_FrmBrowser::altAMovesTheFocusToTheAddressBox()
{
    frmBrowser *first = newWindow();
    frmBrowser *second = newWindow();
    area->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(area.get()));
    area->setActiveSubWindow(first->subWindow());
    first->brwWebBrowser->setFocus();
    QTest::keyClick(first->brwWebBrowser, Qt::Key_A, Qt::AltModifier);
    // Only the active window's label answers, though every window has one.
    QTRY_VERIFY(first->cboAddress->hasFocus());
    QVERIFY(!second->cboAddress->hasFocus());
    QCOMPARE(first->lblAddress->buddy(), first->cboAddress);
}

// A page's open question is an engine call under way: the window leaves the screen
// at once, and goes only when the question has returned.
void tst_FrmBrowser::closingWithAQuestionOpenWaitsForItToReturn()
{
    frmBrowser *w = newWindow();
    QPointer<QMdiSubWindow> sub = w->subWindow();
    ScriptedBrowser *browser = browserOf(w);
    browser->dialogsOpen = true;
    QVERIFY(!sub->close());
    QCOMPARE(browser->closeDialogsCalls, 1);
    QVERIFY(!sub->isVisible());
    QTest::qWait(50);
    QVERIFY(sub);

    browser->dialogsOpen = false;
    Q_EMIT browser->DialogsClosed();
    QTRY_VERIFY(!sub);
}

void tst_FrmBrowser::aHundredThousandAddressesLoad()
{
    QByteArray file("\r\n");
    for (int i = 0; i < 100000; ++i)
        file += "http://host" + QByteArray::number(i) + ".test/\r\n";
    env->writeHistory(file);
    frmBrowser *w = newWindow();
    QCOMPARE(w->cboAddress->count(), 100000);
    QCOMPARE(w->cboAddress->itemText(99999), QStringLiteral("http://host99999.test/"));
}

QTEST_MAIN(tst_FrmBrowser)
#include "tst_frmbrowser.moc"

void tst_FrmBrowser::findStripIsMadeWhenFirstAskedFor()
{
    frmBrowser *w = newWindow();
    QVERIFY(!w->findStrip());
    QVERIFY(!w->findChild<FindStrip *>());
    const QRect page = w->brwWebBrowser->geometry();

    w->showFindStrip();
    FindStrip *strip = w->findStrip();
    QVERIFY(strip);
    QVERIFY(strip->isVisible());
    QTRY_VERIFY(strip->field->hasFocus());
    // Along the bottom, taking its height from the page.
    const QRect shrunk = w->brwWebBrowser->geometry();
    QCOMPARE(shrunk.top(), page.top());
    QCOMPARE(shrunk.width(), page.width());
    QCOMPARE(shrunk.height(), page.height() - strip->height());
    QCOMPARE(strip->geometry().top(), shrunk.bottom() + 1);

    QTest::keyClick(strip->field, Qt::Key_Escape);
    QVERIFY(strip->isHidden());
    QCOMPARE(w->brwWebBrowser->geometry(), page);
}

// Steps typed into the strip's field: text to type, or a key ("Enter", "Shift+Enter",
// "Backspace", "Esc") or "case" for the check box; then the calls made on the page.
void tst_FrmBrowser::findStripKeys_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<bool>("stripShown");
    const QString a = u"FindText:a:forward:anycase"_s;
    const QString ab = u"FindText:ab:forward:anycase"_s;
    const QString clear = u"FindText::forward:anycase"_s;
    QTest::newRow("searches as typed") << QStringList{u"ab"_s} << QStringList{a, ab} << true;
    QTest::newRow("Enter: next") << QStringList{u"ab"_s, u"Enter"_s} << QStringList{a, ab, ab} << true;
    QTest::newRow("Shift+Enter: previous") << QStringList{u"ab"_s, u"Shift+Enter"_s}
                                           << QStringList{a, ab, u"FindText:ab:back:anycase"_s} << true;
    QTest::newRow("Enter with nothing typed") << QStringList{u"Enter"_s} << QStringList{} << true;
    QTest::newRow("emptied: highlight cleared") << QStringList{u"a"_s, u"Backspace"_s} << QStringList{a, clear}
                                                << true;
    QTest::newRow("match case starts over") << QStringList{u"a"_s, u"case"_s}
                                            << QStringList{a, clear, u"FindText:a:forward:case"_s} << true;
    QTest::newRow("Esc closes and clears") << QStringList{u"a"_s, u"Esc"_s} << QStringList{a, clear} << false;
}

void tst_FrmBrowser::findStripKeys()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, calls);
    QFETCH(bool, stripShown);
    frmBrowser *w = newWindow();
    area->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(area.get()));
    w->showFindStrip();
    FindStrip *strip = w->findStrip();
    QTRY_VERIFY(strip->field->hasFocus());
    browserOf(w)->calls.clear();
    for (const QString &step : std::as_const(steps)) {
        if (step == u"Enter"_s)
            QTest::keyClick(strip->field, Qt::Key_Return);
        else if (step == u"Shift+Enter"_s)
            QTest::keyClick(strip->field, Qt::Key_Return, Qt::ShiftModifier);
        else if (step == u"Backspace"_s)
            QTest::keyClick(strip->field, Qt::Key_Backspace);
        else if (step == u"Esc"_s)
            QTest::keyClick(strip->field, Qt::Key_Escape);
        else if (step == u"case"_s)
            strip->matchCase->click();
        else
            QTest::keyClicks(strip->field, step);
    }
    QCOMPARE(browserOf(w)->calls, calls);
    QCOMPARE(strip->isVisible(), stripShown);
    // Closed, the page has the focus.
    if (!stripShown)
        QTRY_VERIFY(w->brwWebBrowser->hasFocus());
}

void tst_FrmBrowser::findCount_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("activeMatch");
    QTest::addColumn<int>("matchCount");
    QTest::addColumn<QString>("text");
    QTest::newRow("3 of 12") << u"x"_s << 3 << 12 << u"3 of 12"_s;
    QTest::newRow("none") << u"x"_s << 0 << 0 << u"No matches"_s;
    // An answer for a text since deleted.
    QTest::newRow("late answer, field empty") << QString() << 1 << 3 << QString();
}

void tst_FrmBrowser::findCount()
{
    QFETCH(QString, typed);
    QFETCH(int, activeMatch);
    QFETCH(int, matchCount);
    QFETCH(QString, text);
    frmBrowser *w = newWindow();
    w->showFindStrip();
    w->findStrip()->field->setText(typed);
    Q_EMIT browserOf(w)->FindTextFinished(activeMatch, matchCount);
    QCOMPARE(w->findStrip()->count->text(), text);
}

// Zoom steps from 100 %: positive larger, 0 back to normal; the level the page gets
// and the status text.
void tst_FrmBrowser::zoomSteps_data()
{
    QTest::addColumn<QList<int>>("steps");
    QTest::addColumn<int>("percent");
    QTest::newRow("up") << QList<int>{1} << 110;
    QTest::newRow("down") << QList<int>{-1} << 90;
    QTest::newRow("up twice") << QList<int>{1, 1} << 125;
    QTest::newRow("down three") << QList<int>{-1, -1, -1} << 75;
    QTest::newRow("held at the top") << QList<int>{20, 1} << 500;
    QTest::newRow("held at the bottom") << QList<int>{-20, -1} << 25;
    QTest::newRow("back to normal") << QList<int>{3, 0} << 100;
    QTest::newRow("up, down") << QList<int>{1, -1} << 100;
}

void tst_FrmBrowser::zoomSteps()
{
    QFETCH(QList<int>, steps);
    QFETCH(int, percent);
    frmBrowser *w = newWindow();
    browserOf(w)->completeNavigation(u"http://a.test/"_s, u"A"_s);
    browserOf(w)->calls.clear();
    for (int step : std::as_const(steps)) {
        if (step == 0)
            w->zoomReset();
        else
            // As the wheel turned over the page would.
            Q_EMIT browserOf(w)->ZoomWheel(step);
    }
    QCOMPARE(w->zoomPercent(), percent);
    QCOMPARE(browserOf(w)->calls.last(), u"SetZoomPercent:%1"_s.arg(percent));
    QCOMPARE(host->flashed, u"Zoom %1 %"_s.arg(percent));
    QCOMPARE(host->zoom.levelFor(u"a.test"_s), percent);
}

void tst_FrmBrowser::zoomIsKeptPerHost()
{
    frmBrowser *w = newWindow();
    ScriptedBrowser *b = browserOf(w);
    b->completeNavigation(u"http://a.test/one"_s, u"A"_s);
    w->zoomBy(3);
    QCOMPARE(w->zoomPercent(), 150);
    b->calls.clear();
    b->completeNavigation(u"http://b.test/"_s, u"B"_s);
    b->completeNavigation(u"http://A.test/two"_s, u"A"_s);
    QCOMPARE(b->calls, (QStringList{u"SetZoomPercent:100"_s, u"SetZoomPercent:150"_s}));
    // Another window on the same host takes its level.
    frmBrowser *other = newWindow();
    browserOf(other)->completeNavigation(u"http://a.test/three"_s, u"A"_s);
    QCOMPARE(other->zoomPercent(), 150);
    QVERIFY(browserOf(other)->calls.contains(u"SetZoomPercent:150"_s));
}
