#include "engine/loadtracker.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The page as the tracker reads it; the steps of a row change it as the engine did.
class FakePage : public TrackedPage
{
public:
    QUrl url;
    QString title;
    HistoryMark mark{-1, 0, QUrl(), QDateTime::fromSecsSinceEpoch(0, Qt::UTC)};

    QUrl currentUrl() const override { return url; }
    QString currentTitle() const override { return title; }
    HistoryMark historyMark() const override { return mark; }
};

constexpr int WatchdogMs = 20;

// The events of a row, "|" between them; DONE stands for the end of a load.
QStringList expect(const QString &joined)
{
    return QString(joined).replace(u"DONE"_s, u"Status:Done|Progress:-1/100|Complete"_s).split(u'|');
}

void addColumns()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("name");
}

} // namespace

// Sequences of engine signals recorded from Qt WebEngine 6.4 against the loopback
// server (the scenarios of tst_webenginebrowser and tst_webenginesafety), addresses
// shortened, played through the tracker without an engine. Progress reports are left
// out where they change nothing but the bar.
//
// Steps: navigate / stop / refresh (the user's calls; the last two log what the engine
// is told: "Engine:stop", "Engine:reload", "Engine:load <address>"), request,
// redirect, reload-request <url> (main-frame requests), started / succeeded / failed /
// stopped <url>, commit <url> (the history takes an entry and the address changes),
// url <url> (the address changes alone), visit (the history entry's visit time moves,
// unreported), title <text>, progress <n>, hover <url>, crash, deferred (the engine's
// report of a death is over), watchdog (wait for it), busy (log Busy or Idle), page <url> <title>
// (that page was loaded before the row; its events are not logged).
class tst_LoadTracker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void loads_data();
    void loads();
    void stopsAndCrashes_data();
    void stopsAndCrashes();

private:
    void playRow();
    void play(const QString &step);
    void loadPage(const QString &address, const QString &title);

    FakePage m_page;
    LoadTracker *m_tracker = nullptr;
    QStringList m_log;
};

void tst_LoadTracker::init()
{
    m_page = FakePage();
    m_log.clear();
    m_tracker = new LoadTracker(&m_page, WatchdogMs);
    LoadTracker *t = m_tracker;
    connect(t, &LoadTracker::beforeNavigate2, this, [this](const QString &u) { m_log << u"Before:"_s + u; });
    connect(t, &LoadTracker::downloadBegin, this, [this] { m_log << u"Begin"_s; });
    connect(t, &LoadTracker::navigateComplete2, this, [this](const QString &u) { m_log << u"Nav:"_s + u; });
    connect(t, &LoadTracker::titleChange, this, [this](const QString &s) { m_log << u"Title:"_s + s; });
    connect(t, &LoadTracker::progressChange, this,
            [this](int p, int max) { m_log << u"Progress:%1/%2"_s.arg(p).arg(max); });
    connect(t, &LoadTracker::downloadComplete, this, [this] { m_log << u"Complete"_s; });
    connect(t, &LoadTracker::statusTextChange, this, [this](const QString &s) { m_log << u"Status:"_s + s; });
    connect(t, &LoadTracker::stoppedPageWanted, this, [this] { m_log << u"StoppedPage"_s; });
}

void tst_LoadTracker::cleanup()
{
    delete m_tracker;
    m_tracker = nullptr;
}

void tst_LoadTracker::loadPage(const QString &address, const QString &title)
{
    for (const QString &step : {u"navigate"_s, u"request "_s + address, u"started "_s + address,
                                u"commit "_s + address, u"title "_s + title, u"succeeded "_s + address})
        play(step);
    m_log.clear();
}

void tst_LoadTracker::play(const QString &step)
{
    const QString op = step.section(u' ', 0, 0);
    const QString arg = step.section(u' ', 1);
    const QUrl url(arg);
    LoadTracker &t = *m_tracker;
    if (op == u"navigate"_s) {
        t.userLoads();
    } else if (op == u"stop"_s) {
        if (t.userStops())
            m_log << u"Engine:stop"_s;
    } else if (op == u"refresh"_s) {
        switch (t.userRefreshes()) {
        case LoadTracker::Refresh::Nothing: break;
        case LoadTracker::Refresh::ReloadPage: m_log << u"Engine:reload"_s; break;
        case LoadTracker::Refresh::LoadLocation: m_log << u"Engine:load "_s + t.location(); break;
        }
    } else if (op == u"request"_s) {
        t.navigationRequested(url, LoadTracker::Request::Navigation);
    } else if (op == u"redirect"_s) {
        t.navigationRequested(url, LoadTracker::Request::Redirect);
    } else if (op == u"reload-request"_s) {
        t.navigationRequested(url, LoadTracker::Request::Reload);
    } else if (op == u"started"_s) {
        t.loadStarted(url);
    } else if (op == u"succeeded"_s) {
        t.loadFinished(LoadTracker::LoadEnd::Succeeded, url);
    } else if (op == u"failed"_s) {
        t.loadFinished(LoadTracker::LoadEnd::Failed, url);
    } else if (op == u"stopped"_s) {
        t.loadFinished(LoadTracker::LoadEnd::Stopped, url);
    } else if (op == u"commit"_s || op == u"url"_s) {
        if (op == u"commit"_s)
            m_page.mark = {m_page.mark.index + 1, m_page.mark.index + 2, url, m_page.mark.lastVisited.addSecs(1)};
        m_page.url = url;
        t.urlChanged(url);
    } else if (op == u"visit"_s) {
        m_page.mark.lastVisited = m_page.mark.lastVisited.addSecs(1);
    } else if (op == u"title"_s) {
        m_page.title = arg;
        t.titleChanged(arg);
    } else if (op == u"progress"_s) {
        t.loadProgress(arg.toInt());
    } else if (op == u"hover"_s) {
        t.linkHovered(arg);
    } else if (op == u"crash"_s) {
        t.renderProcessTerminated(false);
    } else if (op == u"deferred"_s) {
        QCoreApplication::sendPostedEvents();
    } else if (op == u"watchdog"_s) {
        QTRY_VERIFY_WITH_TIMEOUT(!t.busy(), 50 * WatchdogMs);
    } else if (op == u"busy"_s) {
        m_log << (t.busy() ? u"Busy"_s : u"Idle"_s);
    } else if (op == u"page"_s) {
        loadPage(arg.section(u' ', 0, 0), arg.section(u' ', 1));
    } else {
        QFAIL(qPrintable(u"unknown step "_s + step));
    }
}

void tst_LoadTracker::loads_data()
{
    addColumns();
    QTest::newRow("plain load")
        << QStringList{u"navigate"_s, u"busy"_s, u"request http://h/p"_s, u"started http://h/p"_s,
                       u"progress 0"_s, u"hover "_s, u"commit http://h/p"_s, u"title h/p"_s,
                       u"progress 70"_s, u"title P"_s, u"progress 100"_s, u"succeeded http://h/p"_s,
                       u"busy"_s}
        << expect(u"Busy|Before:http://h/p|Begin|Status:Opening http://h/p...|Progress:0/100|"
                  "Nav:http://h/p|Title:h/p|Progress:70/100|Title:P|Progress:100/100|DONE|Idle"_s)
        << u"http://h/p"_s << u"P"_s;
    QTest::newRow("redirect")
        << QStringList{u"navigate"_s, u"request http://h/r"_s, u"started http://h/r"_s,
                       u"redirect http://h/t"_s, u"hover "_s, u"commit http://h/t"_s, u"title T"_s,
                       u"succeeded http://h/t"_s}
        << expect(u"Before:http://h/r|Begin|Status:Opening http://h/r...|Nav:http://h/t|Title:T|DONE"_s)
        << u"http://h/t"_s << u"T"_s;
    QTest::newRow("fragment move")
        << QStringList{u"page http://h/long Long"_s, u"navigate"_s, u"busy"_s,
                       u"commit http://h/long#part"_s, u"busy"_s, u"commit http://h/long#top"_s,
                       u"hover http://h/long#top"_s}
        << expect(u"Busy|Nav:http://h/long#part|Idle|Nav:http://h/long#top|Status:http://h/long#top"_s)
        << u"http://h/long#top"_s << u"Long"_s;
    QTest::newRow("failed load")
        << QStringList{u"navigate"_s, u"request http://h:9/x"_s, u"started http://h:9/x"_s,
                       u"hover "_s, u"commit http://h:9/x"_s, u"title h:9/x"_s, u"title h"_s,
                       u"failed http://h:9/x"_s}
        << expect(u"Before:http://h:9/x|Begin|Status:Opening http://h:9/x...|Nav:http://h:9/x|"
                  "Title:h:9/x|Title:h|DONE"_s)
        << u"http://h:9/x"_s << u"h"_s;
    // A host that reads as another name is shown in xn-- form, in the location, the
    // status texts and a title that is the address.
    QTest::newRow("look-alike host")
        << QStringList{u"navigate"_s, u"request http://xn--80ak6aa92e.com/"_s, u"started http://xn--80ak6aa92e.com/"_s,
                       u"commit http://xn--80ak6aa92e.com/"_s, u"title аррӏе.com"_s,
                       u"hover http://аррӏе.com/x"_s, u"succeeded http://xn--80ak6aa92e.com/"_s}
        << expect(u"Before:http://xn--80ak6aa92e.com/|Begin|Status:Opening http://xn--80ak6aa92e.com/...|"
                  "Nav:http://xn--80ak6aa92e.com/|Title:xn--80ak6aa92e.com|Status:http://xn--80ak6aa92e.com/x|DONE"_s)
        << u"http://xn--80ak6aa92e.com/"_s << u"xn--80ak6aa92e.com"_s;
    QTest::newRow("download instead of a page")
        << QStringList{u"page http://h/p P"_s, u"navigate"_s, u"request http://h/f.bin"_s,
                       u"started http://h/f.bin"_s, u"stopped http://h/f.bin"_s}
        << expect(u"Before:http://h/f.bin|Begin|Status:Opening http://h/f.bin...|DONE"_s)
        << u"http://h/p"_s << u"P"_s;
    QTest::newRow("navigation replacing a pending one")
        << QStringList{u"navigate"_s, u"request http://h/held"_s, u"started http://h/held"_s,
                       u"navigate"_s, u"request http://h/1"_s, u"commit http://h/1"_s,
                       u"title One"_s, u"succeeded http://h/1"_s, u"busy"_s}
        << expect(u"Before:http://h/held|Begin|Status:Opening http://h/held...|Before:http://h/1|"
                  "Nav:http://h/1|Title:One|DONE|Idle"_s)
        << u"http://h/1"_s << u"One"_s;
    // A form's request in a new window: its address shows before its load starts.
    QTest::newRow("new window")
        << QStringList{u"request http://h/pop"_s, u"url http://h/pop"_s, u"started http://h/pop"_s,
                       u"visit"_s, u"title Pop"_s, u"succeeded http://h/pop"_s}
        << expect(u"Before:http://h/pop|Begin|Status:Opening http://h/pop...|Nav:http://h/pop|"
                  "Title:Pop|DONE"_s)
        << u"http://h/pop"_s << u"Pop"_s;
    // about: pages and other programs' schemes are never asked for.
    QTest::newRow("load without a request")
        << QStringList{u"navigate"_s, u"started about:blank"_s, u"commit about:blank"_s,
                       u"succeeded about:blank"_s}
        << expect(u"Before:about:blank|Begin|Status:Opening about:blank...|Nav:about:blank|DONE"_s)
        << u"about:blank"_s << QString();
}

void tst_LoadTracker::loads()
{
    playRow();
}

void tst_LoadTracker::stopsAndCrashes_data()
{
    addColumns();
    QTest::newRow("stop before the response")
        << QStringList{u"page http://h/p P"_s, u"stop"_s, u"navigate"_s, u"request http://h/held"_s,
                       u"started http://h/held"_s, u"progress 0"_s, u"stop"_s, u"progress 100"_s,
                       u"stopped http://h/held"_s, u"title P"_s}
        << expect(u"Before:http://h/held|Begin|Status:Opening http://h/held...|Progress:0/100|"
                  "Engine:stop|Progress:100/100|Nav:about:NavigationCanceled|"
                  "Title:Navigation Canceled|DONE"_s)
        << u"about:NavigationCanceled"_s << u"Navigation Canceled"_s;
    // The engine reports no address change: only the history shows the commit.
    QTest::newRow("canceled, then the page still shown")
        << QStringList{u"page http://h/p P"_s, u"navigate"_s, u"request http://h/held"_s,
                       u"started http://h/held"_s, u"stop"_s, u"stopped http://h/held"_s,
                       u"navigate"_s, u"request http://h/p"_s, u"started http://h/p"_s, u"hover "_s,
                       u"visit"_s, u"progress 70"_s, u"succeeded http://h/p"_s}
        << expect(u"Before:http://h/held|Begin|Status:Opening http://h/held...|Engine:stop|"
                  "Nav:about:NavigationCanceled|Title:Navigation Canceled|DONE|"
                  "Before:http://h/p|Begin|Status:Opening http://h/p...|Nav:http://h/p|Title:P|"
                  "Progress:70/100|DONE"_s)
        << u"http://h/p"_s << u"P"_s;
    // Ours joins the load the engine never ended; Refresh loads the location again,
    // as a reload: no BeforeNavigate2, and no NavigateComplete2 for the same address.
    QTest::newRow("crash mid-load, then Refresh")
        << QStringList{u"page http://h/p P"_s, u"navigate"_s, u"request http://h/held"_s,
                       u"started http://h/held"_s, u"crash"_s, u"busy"_s, u"deferred"_s,
                       u"request data:ours"_s, u"progress 10"_s, u"commit data:ours"_s,
                       u"title Page stopped"_s, u"succeeded data:ours"_s, u"refresh"_s,
                       u"request http://h/p"_s, u"started http://h/p"_s, u"commit http://h/p"_s,
                       u"title P"_s, u"succeeded http://h/p"_s}
        << expect(u"Before:http://h/held|Begin|Status:Opening http://h/held...|DONE|Idle|StoppedPage|"
                  "Engine:load http://h/p|Begin|Status:Opening http://h/p...|Title:P|DONE"_s)
        << u"http://h/p"_s << u"P"_s;
    // One stopped page per death of the user's page: when ours dies too, no other.
    QTest::newRow("ours dies while it loads")
        << QStringList{u"page http://h/p P"_s, u"crash"_s, u"deferred"_s, u"request data:ours"_s,
                       u"started data:ours"_s, u"crash"_s, u"deferred"_s, u"failed data:ours"_s,
                       u"refresh"_s, u"request http://h/p"_s, u"started http://h/p"_s,
                       u"succeeded http://h/p"_s}
        << expect(u"StoppedPage|Engine:load http://h/p|Begin|Status:Opening http://h/p...|DONE"_s)
        << u"http://h/p"_s << u"P"_s;
    QTest::newRow("reload that stays put")
        << QStringList{u"page http://h/p P"_s, u"refresh"_s, u"reload-request http://h/p"_s,
                       u"started http://h/p"_s, u"hover "_s, u"visit"_s, u"progress 100"_s,
                       u"succeeded http://h/p"_s}
        << expect(u"Engine:reload|Begin|Status:Opening http://h/p...|Progress:100/100|DONE"_s)
        << u"http://h/p"_s << u"P"_s;
    QTest::newRow("dropped by the engine")
        << QStringList{u"page http://h/p P"_s, u"navigate"_s, u"busy"_s, u"watchdog"_s, u"busy"_s,
                       u"stop"_s}
        << expect(u"Busy|Idle"_s) << u"http://h/p"_s << u"P"_s;
    QTest::newRow("stopped before the engine took it up")
        << QStringList{u"navigate"_s, u"stop"_s, u"busy"_s}
        << expect(u"Engine:stop|Idle"_s) << QString() << QString();
}

void tst_LoadTracker::stopsAndCrashes()
{
    playRow();
}

void tst_LoadTracker::playRow()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, events);
    QFETCH(QString, location);
    QFETCH(QString, name);

    for (const QString &step : std::as_const(steps)) {
        play(step);
        if (QTest::currentTestFailed())
            return;
    }
    QCOMPARE(m_log, events);
    QCOMPARE(m_tracker->location(), location);
    QCOMPARE(m_tracker->locationName(), name);
}

QTEST_GUILESS_MAIN(tst_LoadTracker)
#include "tst_loadtracker.moc"
