#include "engine/webenginebrowser.h"
#include "support/enginetesting.h"
#include "support/loopbackhttpserver.h"
#include "support/scriptedenginedialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QPointer>
#include <QShortcut>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QtTest>

using namespace Qt::StringLiterals;

using namespace enginetesting;

// The page's own context menu, the windows it opens (the page's source, a link) and the
// developer tools, against the real engine.
class tst_WebEngineMenu : public QObject
{
    Q_OBJECT
public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void menuEntries_data();
    void menuEntries();
    void entryOutcomes_data();
    void entryOutcomes();
    void viewPageSource();
    void devToolsWindow();
    void pageLeavesTheWindowsKeys_data();
    void pageLeavesTheWindowsKeys();

private:
    QString url(const QString &path) const { return m_server.url(path).toString(); }
    // The menu, once shown, after a right click just inside the element's left edge
    // (on its text, where a field's selection is).
    QMenu *rightClick(const QString &elementId);
    QAction *entry(QMenu *menu, const QString &text) const;

    LoopbackHttpServer m_server;
    // Saving makes the download folder: in a home of the test's own.
    TemporaryHome m_home;
    ScriptedEngineDialogs m_dialogs;
    QPointer<WebEngineBrowser> m_browser;
    // Every browser a new-window request got, and the requests ("address|front|behind").
    QList<WebEngineBrowser *> m_opened;
    QStringList m_windows;
};

void tst_WebEngineMenu::initTestCase()
{
    QVERIFY(m_server.start());
    m_server.setPage(u"/menu"_s, page("Menu page", "<p><a id='link' href='/target'>a link</a></p>"
                                                   "<p id='text'>plain text</p>"
                                                   "<p><input id='field' value='field text'></p>"));
    m_server.setPage(u"/target"_s, page("Target"));
}

void tst_WebEngineMenu::init()
{
    m_dialogs = ScriptedEngineDialogs();
    m_browser = new WebEngineBrowser(nullptr, &m_dialogs);
    m_browser->resize(640, 480);
    m_browser->show();
    m_browser->setNewWindowHandler([this](const QString &address, bool behind) -> WebBrowser * {
        m_windows << address + (behind ? u"|behind"_s : u"|front"_s);
        m_opened << new WebEngineBrowser(nullptr, &m_dialogs);
        return m_opened.last();
    });
    m_browser->Navigate(url(u"/menu"_s));
    QTRY_COMPARE_WITH_TIMEOUT(m_browser->LocationName(), u"Menu page"_s, LoadTimeoutMs);
    QVERIFY(waitUntil([&] { return !m_browser->Busy() && m_browser->view()->focusProxy(); }));
}

void tst_WebEngineMenu::cleanup()
{
    delete m_browser;
    qDeleteAll(m_opened);
    m_opened.clear();
    m_windows.clear();
}

QMenu *tst_WebEngineMenu::rightClick(const QString &elementId)
{
    const QVariantList centre = evaluate(m_browser->view()->page(),
                                         u"(() => { const r = document.getElementById('%1').getBoundingClientRect();"
                                         " return [r.left + 10, r.top + r.height / 2]; })()"_s.arg(elementId))
                                    .value_or(QVariant())
                                    .toList();
    if (centre.size() != 2)
        return nullptr;
    const QPoint at(qRound(centre.at(0).toDouble()), qRound(centre.at(1).toDouble()));
    QTest::mouseClick(m_browser->view()->focusProxy(), Qt::RightButton, {}, at);
    QMenu *menu = nullptr;
    waitUntil([&] {
        menu = m_browser->view()->findChild<QMenu *>(u"pageMenu"_s);
        return menu && menu->isVisible();
    });
    return menu;
}

QAction *tst_WebEngineMenu::entry(QMenu *menu, const QString &text) const
{
    for (QAction *a : menu->actions())
        if (a->text().remove(u'&') == text)
            return a;
    return nullptr;
}

void tst_WebEngineMenu::menuEntries_data()
{
    QTest::addColumn<QString>("element");
    QTest::addColumn<QStringList>("entries"); // in order; "-" a disabled entry's mark
    const QStringList tail = {u"Save page as..."_s, u"View page source"_s, u"Inspect"_s};
    const QStringList head = {u"-Back"_s, u"-Forward"_s, u"Reload"_s};
    QTest::newRow("on a link") << u"link"_s
                               << head + QStringList{u"Open link in new window"_s, u"Copy link address"_s,
                                                     u"Save link as..."_s, u"-Cut"_s, u"-Copy"_s, u"-Paste"_s,
                                                     u"Select all"_s} + tail;
    QTest::newRow("on plain text") << u"text"_s
                                   << head + QStringList{u"-Cut"_s, u"-Copy"_s, u"-Paste"_s, u"Select all"_s}
                                          + tail;
    QTest::newRow("on a field's selected text")
        << u"field"_s << head + QStringList{u"Cut"_s, u"Copy"_s, u"Paste"_s, u"Select all"_s} + tail;
}

void tst_WebEngineMenu::menuEntries()
{
    QFETCH(QString, element);
    QFETCH(QStringList, entries);
    QApplication::clipboard()->setText(u"on the clipboard"_s);
    if (element == u"field"_s)
        m_browser->view()->page()->runJavaScript(
            u"const f = document.getElementById('field'); f.focus(); f.select();"_s);
    QMenu *menu = rightClick(element);
    QVERIFY(menu);
    QStringList shown;
    for (QAction *a : menu->actions())
        if (!a->isSeparator())
            shown << (a->isEnabled() ? QString() : u"-"_s) + a->text().remove(u'&');
    QCOMPARE(shown, entries);
    menu->close();
}

// What one entry of the menu over the link or the page does.
void tst_WebEngineMenu::entryOutcomes_data()
{
    QTest::addColumn<QString>("element");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("window");    // the new window asked for; empty: none
    QTest::addColumn<QString>("clipboard"); // empty: left alone
    QTest::addColumn<QByteArray>("saved");  // what the file saved holds; empty: none saved
    QTest::newRow("open link in new window") << u"link"_s << u"Open link in new window"_s
                                             << url(u"/target"_s) << QString() << QByteArray();
    QTest::newRow("copy link address")
        << u"link"_s << u"Copy link address"_s << QString() << url(u"/target"_s) << QByteArray();
    QTest::newRow("save link as") << u"link"_s << u"Save link as..."_s << QString() << QString()
                                  << QByteArray("<title>Target</title>");
    QTest::newRow("save page as") << u"text"_s << u"Save page as..."_s << QString() << QString()
                                  << QByteArray("Menu page");
    QTest::newRow("view page source") << u"text"_s << u"View page source"_s
                                      << u"view-source:"_s + url(u"/menu"_s) << QString() << QByteArray();
}

void tst_WebEngineMenu::entryOutcomes()
{
    QFETCH(QString, element);
    QFETCH(QString, entry);
    QFETCH(QString, window);
    QFETCH(QString, clipboard);
    QFETCH(QByteArray, saved);
    QTemporaryDir folder;
    m_dialogs.savePath = folder.filePath(u"saved.html"_s);
    QApplication::clipboard()->setText(u"on the clipboard"_s);
    QMenu *menu = rightClick(element);
    QVERIFY(menu);
    QAction *action = this->entry(menu, entry);
    QVERIFY(action);
    action->trigger();
    menu->close();
    if (!window.isEmpty()) {
        // In front, and the engine's request opened in the window given loads the address.
        QTRY_COMPARE_WITH_TIMEOUT(m_windows, QStringList{window + u"|front"_s}, LoadTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(m_opened.first()->view()->page()->url(), QUrl(window), LoadTimeoutMs);
    } else {
        QTest::qWait(200);
        QVERIFY(m_windows.isEmpty());
    }
    if (!clipboard.isEmpty())
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::clipboard()->text(), clipboard, LoadTimeoutMs);
    else
        QCOMPARE(QApplication::clipboard()->text(), u"on the clipboard"_s);
    if (saved.isEmpty()) {
        QVERIFY(m_dialogs.asked.isEmpty());
        return;
    }
    // Through the download dialog, into the file chosen.
    QCOMPARE(m_dialogs.askedOf(u"save"_s).size(), 1);
    QFile file(m_dialogs.savePath);
    QVERIFY(waitUntil([&] {
        file.close();
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(saved);
    }));
}

void tst_WebEngineMenu::viewPageSource()
{
    m_browser->ViewPageSource();
    const QString wanted = u"view-source:"_s + url(u"/menu"_s);
    QTRY_COMPARE_WITH_TIMEOUT(m_windows, QStringList{wanted + u"|front"_s}, LoadTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(m_opened.first()->view()->page()->url(), QUrl(wanted), LoadTimeoutMs);
    // The source is shown, not the page: its markup is the text.
    // Asked again until it holds the markup; answers may come after the wait has ended.
    auto text = std::make_shared<QString>();
    QVERIFY(waitUntil([&] {
        m_opened.first()->view()->page()->toPlainText([text](const QString &t) { *text = t; });
        return text->contains(u"<title>Menu page</title>"_s);
    }));
}

void tst_WebEngineMenu::devToolsWindow()
{
    QWebEnginePage *page = m_browser->view()->page();
    auto toolsWindows = [page] {
        QList<QWebEngineView *> found;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *view = qobject_cast<QWebEngineView *>(w); view && page->devToolsPage() == view->page())
                found << view;
        return found;
    };
    QVERIFY(!page->devToolsPage()); // nothing made before it is asked for
    m_browser->ShowDevTools();
    QCOMPARE(toolsWindows().size(), 1);
    QPointer<QWebEngineView> tools = toolsWindows().first();
    QVERIFY(tools->isWindow());
    QVERIFY(tools->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(tools->page()->url().scheme() == u"devtools"_s, LoadTimeoutMs);
    // Closed, it comes back the same; asked again, it is the same window.
    tools->close();
    m_browser->ShowDevTools();
    QCOMPARE(toolsWindows(), QList<QWebEngineView *>{tools.data()});
    QVERIFY(tools->isVisible());
    // The menu's Inspect shows the same tools.
    QMenu *menu = rightClick(u"text"_s);
    QVERIFY(menu);
    QAction *inspect = entry(menu, u"Inspect"_s);
    QVERIFY(inspect);
    inspect->trigger();
    menu->close();
    QCOMPARE(toolsWindows(), QList<QWebEngineView *>{tools.data()});
    delete m_browser;
    QVERIFY(!tools);
}

// Ctrl+U, F12 and Ctrl+Tab are the main window's shortcuts: the page, even a field in
// it, must not take them for its own editing.
void tst_WebEngineMenu::pageLeavesTheWindowsKeys_data()
{
    QTest::addColumn<QString>("focus"); // the element given the focus; empty: the page
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Ctrl+U in the page") << QString() << int(Qt::Key_U) << int(Qt::ControlModifier);
    QTest::newRow("Ctrl+U in a field") << u"field"_s << int(Qt::Key_U) << int(Qt::ControlModifier);
    QTest::newRow("F12 in a field") << u"field"_s << int(Qt::Key_F12) << 0;
    QTest::newRow("Ctrl+Tab in the page") << QString() << int(Qt::Key_Tab) << int(Qt::ControlModifier);
    QTest::newRow("Ctrl+Tab in a field") << u"field"_s << int(Qt::Key_Tab) << int(Qt::ControlModifier);
}

void tst_WebEngineMenu::pageLeavesTheWindowsKeys()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    int activated = 0;
    auto *shortcut = new QShortcut(QKeySequence(QKeyCombination(Qt::KeyboardModifiers(modifiers), Qt::Key(key))),
                                   m_browser);
    connect(shortcut, &QShortcut::activated, this, [&] { ++activated; });
    QWidget *page = m_browser->view()->focusProxy();
    page->setFocus();
    QTRY_VERIFY(page->hasFocus());
    if (!focus.isEmpty()) {
        const auto id = evaluate(m_browser->view()->page(),
                                 u"document.getElementById('%1').focus(); document.activeElement.id"_s.arg(focus));
        QVERIFY(id && id->toString() == focus);
    }
    QTest::keyClick(page, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QTRY_COMPARE(activated, 1);
}

QTEST_MAIN(tst_WebEngineMenu)
#include "tst_webenginemenu.moc"
