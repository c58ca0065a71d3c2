#include "platform/webenginebrowser.h"
#include "support/loopbackhttpserver.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QWebEngineView>
#include <QtTest>

namespace {

constexpr int LoadTimeoutMs = 10000;

QByteArray page(const char *title, const QByteArray &body = "<p>text</p>")
{
    return QByteArray("<html><head><title>") + title + "</title></head><body>" + body
           + "</body></html>";
}

// What is wrong with the pairing of DownloadBegin/DownloadComplete in a log, or empty:
// no begin inside an open load, no complete outside one, progress only inside one,
// Progress -1 just before each complete, and nothing left open.
QString pairingProblem(const QStringList &log)
{
    bool open = false;
    for (qsizetype i = 0; i < log.size(); ++i) {
        const QString &event = log.at(i);
        if (event == QLatin1String("Begin")) {
            if (open)
                return QStringLiteral("second Begin at %1").arg(i);
            open = true;
        } else if (event == QLatin1String("Complete")) {
            if (!open)
                return QStringLiteral("Complete without Begin at %1").arg(i);
            if (i == 0 || log.at(i - 1) != QLatin1String("Progress:-1/100"))
                return QStringLiteral("Complete at %1 not preceded by Progress:-1/100").arg(i);
            open = false;
        } else if (event.startsWith(QLatin1String("Progress:")) && !open) {
            return QStringLiteral("progress outside a load at %1").arg(i);
        }
    }
    return open ? QStringLiteral("Begin never completed") : QString();
}

// Polls like QTRY_VERIFY, but answers instead of failing. QTest::qWaitFor is not used:
// it runs one event pass per 10 ms nap, which starves the engine's work on this
// thread and makes every load take seconds.
template <typename Predicate>
bool waitUntil(Predicate done, int timeoutMs = LoadTimeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

quint16 closedLoopbackPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

} // namespace

class tst_WebEngineBrowser : public QObject
{
    Q_OBJECT
public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void plainPage_data();
    void plainPage();
    void addressForms_data();
    void addressForms();
    void blankOrInvalidAddressDoesNothing_data();
    void blankOrInvalidAddressDoesNothing();
    void redirect_data();
    void redirect();
    void unreachableHost();
    void busyWhileResponseHeld();
    void stopBeforeResponseCancels();
    void stopAfterPageArrivedKeepsLocation_data();
    void stopAfterPageArrivedKeepsLocation();
    void loadsEndingWithoutPageKeepLocation_data();
    void loadsEndingWithoutPageKeepLocation();
    void stopWhileIdleDoesNothing();
    void navigationReplacingPendingOne();
    void backAndForward();
    void fragmentMoveRaisesNoBefore();
    void refreshReloads();
    void hoveredLinkShowsInStatus();

    void serverStreamsLargeBodiesAndSurvivesLeavingClients();

private:
    QString url(const QString &path) const { return m_server.url(path).toString(); }
    // The load events only: Before, Begin, Nav, Complete.
    QStringList core() const;
    bool waitForCompletes(qsizetype count);
    void navigateAndWait(const QString &address);

    LoopbackHttpServer m_server;
    WebEngineBrowser *m_browser = nullptr;
    QStringList m_log;
};

void tst_WebEngineBrowser::initTestCase()
{
    QVERIFY(m_server.start());
    m_server.setPage(QStringLiteral("/plain"), page("Plain", "<a href='/one'>one</a>"));
    m_server.setPage(QStringLiteral("/links"),
                     page("Links", "<a href='/one' style='display:block;position:absolute;left:0;"
                                   "top:0;width:300px;height:200px'>one</a>"));
    m_server.setPage(QStringLiteral("/notitle"), "<html><body>no title</body></html>");
    m_server.setPage(QStringLiteral("/one"), page("One"));
    m_server.setPage(QStringLiteral("/two"), page("Two"));
    m_server.setPage(QStringLiteral("/target"), page("Target"));
    m_server.setPage(QStringLiteral("/held"), page("Held"));
    m_server.setHold(QStringLiteral("/held"));
    // A page that has arrived but keeps loading: its picture is held (then a 404).
    m_server.setPage(QStringLiteral("/withimage"), page("With image", "<img src='/heldimage'>"));
    m_server.setHold(QStringLiteral("/heldimage"));
    m_server.setPage(QStringLiteral("/nocontent"), QByteArray(), "text/plain", 204);
    m_server.setPage(QStringLiteral("/long"),
                     page("Long", "<a id='top' href='#top'>top</a><div style='height:5000px'></div>"
                                  "<p id='part'>part</p>"));
    for (int status : {301, 302, 303, 307})
        m_server.setRedirect(QStringLiteral("/redirect%1").arg(status), QStringLiteral("/target"),
                             status);
}

void tst_WebEngineBrowser::init()
{
    m_log.clear();
    m_server.clearRequests();
    m_browser = new WebEngineBrowser;
    m_browser->resize(640, 480);
    m_browser->show();
    WebEngineBrowser *b = m_browser;
    connect(b, &WebBrowser::BeforeNavigate2, this,
            [this](const QString &u) { m_log << QStringLiteral("Before:") + u; });
    connect(b, &WebBrowser::DownloadBegin, this, [this] { m_log << QStringLiteral("Begin"); });
    connect(b, &WebBrowser::NavigateComplete2, this,
            [this](const QString &u) { m_log << QStringLiteral("Nav:") + u; });
    connect(b, &WebBrowser::TitleChange, this,
            [this](const QString &t) { m_log << QStringLiteral("Title:") + t; });
    connect(b, &WebBrowser::ProgressChange, this, [this](int p, int max) {
        m_log << QStringLiteral("Progress:%1/%2").arg(p).arg(max);
    });
    connect(b, &WebBrowser::DownloadComplete, this, [this] { m_log << QStringLiteral("Complete"); });
    connect(b, &WebBrowser::StatusTextChange, this,
            [this](const QString &t) { m_log << QStringLiteral("Status:") + t; });
}

void tst_WebEngineBrowser::cleanup()
{
    m_server.releaseHeld();
    const bool settled = waitUntil([this] { return !m_browser->Busy(); });
    const QString problem = pairingProblem(m_log);
    const QStringList log = m_log;
    delete m_browser;
    m_browser = nullptr;
    QVERIFY2(settled, "still busy at the end of the test");
    QVERIFY2(problem.isEmpty(), qPrintable(problem + QLatin1String(" in ")
                                           + log.join(QLatin1String(" | "))));
}

QStringList tst_WebEngineBrowser::core() const
{
    QStringList events;
    for (const QString &e : m_log) {
        if (e.startsWith(QLatin1String("Before:")) || e == QLatin1String("Begin")
            || e.startsWith(QLatin1String("Nav:")) || e == QLatin1String("Complete"))
            events << e;
    }
    return events;
}

bool tst_WebEngineBrowser::waitForCompletes(qsizetype count)
{
    return waitUntil([&] { return m_log.count(QStringLiteral("Complete")) >= count; })
           && m_log.count(QStringLiteral("Complete")) == count;
}

void tst_WebEngineBrowser::navigateAndWait(const QString &address)
{
    const qsizetype before = m_log.count(QStringLiteral("Complete"));
    m_browser->Navigate(address);
    QVERIFY2(waitForCompletes(before + 1), qPrintable(m_log.join(QLatin1String(" | "))));
}

void tst_WebEngineBrowser::plainPage_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::newRow("titled") << QStringLiteral("/plain") << QStringLiteral("Plain");
    // Without a title the engine names the page by its address.
    QTest::newRow("untitled") << QStringLiteral("/notitle") << QStringLiteral("/notitle");
}

void tst_WebEngineBrowser::plainPage()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    const QString address = url(path);

    m_browser->Navigate(address);
    QVERIFY(m_browser->Busy());
    QVERIFY(waitForCompletes(1));

    QCOMPARE(core(), QStringList({QStringLiteral("Before:") + address, QStringLiteral("Begin"),
                                  QStringLiteral("Nav:") + address, QStringLiteral("Complete")}));
    QCOMPARE(m_log.filter(QRegularExpression(QStringLiteral("^Status:"))),
             QStringList({QStringLiteral("Status:Opening %1...").arg(address),
                          QStringLiteral("Status:Done")}));
    QCOMPARE(m_log.at(m_log.indexOf(QStringLiteral("Begin")) + 1),
             QStringLiteral("Status:Opening %1...").arg(address));
    QCOMPARE(m_log.mid(m_log.size() - 3),
             QStringList({QStringLiteral("Status:Done"), QStringLiteral("Progress:-1/100"),
                          QStringLiteral("Complete")}));

    QList<int> progress;
    for (const QString &e : m_log.filter(QRegularExpression(QStringLiteral("^Progress:\\d+/100$"))))
        progress << e.section(QLatin1Char(':'), 1).section(QLatin1Char('/'), 0, 0).toInt();
    QVERIFY(!progress.isEmpty());
    QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    QCOMPARE(progress.last(), 100);

    const QStringList titles = m_log.filter(QRegularExpression(QStringLiteral("^Title:")));
    QVERIFY(!titles.isEmpty());
    QVERIFY(m_log.indexOf(titles.first()) > m_log.indexOf(QStringLiteral("Nav:") + address));
    QVERIFY2(titles.last().contains(name), qPrintable(titles.last()));

    QCOMPARE(m_browser->LocationURL(), address);
    QVERIFY2(m_browser->LocationName().contains(name), qPrintable(m_browser->LocationName()));
    QVERIFY(!m_browser->Busy());
    QCOMPARE(m_server.requests(), QStringList(path));
}

void tst_WebEngineBrowser::addressForms_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("folder"); // current folder for the row, if any
    // @DIR@ stands for a temporary folder holding local.html, @FILEDIR@ for its URL.

    const QString web = url(QStringLiteral("/plain"));
    const QString hostPort = QStringLiteral("127.0.0.1:%1").arg(m_server.port());
    QTest::newRow("web address") << web << web << QString();
    QTest::newRow("typed without scheme") << hostPort + QStringLiteral("/plain") << web << QString();
    QTest::newRow("padded") << QStringLiteral("  ") + hostPort + QStringLiteral("/plain\t") << web
                            << QString();
    // Even with a folder current, a host:port address that is no file stays a web address.
    QTest::newRow("without scheme, folder set")
        << hostPort + QStringLiteral("/plain") << web << QStringLiteral("@DIR@");
    QTest::newRow("absolute file path") << QStringLiteral("@DIR@/local.html")
                                        << QStringLiteral("@FILEDIR@/local.html") << QString();
    // The engine starts about: loads without asking acceptNavigationRequest.
    QTest::newRow("about page") << QStringLiteral("about:blank") << QStringLiteral("about:blank")
                                << QString();
    QTest::newRow("relative file path") << QStringLiteral("local.html")
                                        << QStringLiteral("@FILEDIR@/local.html")
                                        << QStringLiteral("@DIR@");
}

void tst_WebEngineBrowser::addressForms()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    QFETCH(QString, folder);

    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    QFile file(temp.filePath(QStringLiteral("local.html")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(page("Local"));
    file.close();
    const auto inTemp = [&](QString text) {
        return text.replace(QLatin1String("@FILEDIR@"), QUrl::fromLocalFile(temp.path()).toString())
            .replace(QLatin1String("@DIR@"), temp.path());
    };
    typed = inTemp(typed);
    expected = inTemp(expected);

    const QString previousFolder = QDir::currentPath();
    const auto restore = qScopeGuard([&] { QDir::setCurrent(previousFolder); });
    if (!folder.isEmpty())
        QVERIFY(QDir::setCurrent(inTemp(folder)));

    navigateAndWait(typed);
    QCOMPARE(core(), QStringList({QStringLiteral("Before:") + expected, QStringLiteral("Begin"),
                                  QStringLiteral("Nav:") + expected, QStringLiteral("Complete")}));
    QCOMPARE(m_browser->LocationURL(), expected);
}

void tst_WebEngineBrowser::blankOrInvalidAddressDoesNothing_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("empty") << QString();
    QTest::newRow("blank") << QStringLiteral("   ");
    QTest::newRow("white space") << QStringLiteral("\t\r\n");
    QTest::newRow("broken host") << QStringLiteral("http://[::1");
    QTest::newRow("no host") << QStringLiteral("http:///plain");
    QTest::newRow("script") << QStringLiteral("javascript:document.title='x'");
}

void tst_WebEngineBrowser::blankOrInvalidAddressDoesNothing()
{
    QFETCH(QString, typed);
    m_browser->Navigate(typed);
    QVERIFY(!m_browser->Busy());
    QVERIFY(m_log.isEmpty());

    // Anything the bad text set off would show before the next navigation's events.
    const QString next = url(QStringLiteral("/one"));
    navigateAndWait(next);
    QCOMPARE(m_log.first(), QStringLiteral("Before:") + next);
    QCOMPARE(core(), QStringList({QStringLiteral("Before:") + next, QStringLiteral("Begin"),
                                  QStringLiteral("Nav:") + next, QStringLiteral("Complete")}));
}

void tst_WebEngineBrowser::redirect_data()
{
    QTest::addColumn<int>("status");
    for (int status : {301, 302, 303, 307})
        QTest::addRow("%d", status) << status;
}

void tst_WebEngineBrowser::redirect()
{
    QFETCH(int, status);
    const QString path = QStringLiteral("/redirect%1").arg(status);
    const QString target = url(QStringLiteral("/target"));

    navigateAndWait(url(path));
    QCOMPARE(core(), QStringList({QStringLiteral("Before:") + url(path), QStringLiteral("Begin"),
                                  QStringLiteral("Nav:") + target, QStringLiteral("Complete")}));
    QCOMPARE(m_browser->LocationURL(), target);
    QCOMPARE(m_browser->LocationName(), QStringLiteral("Target"));
    QCOMPARE(m_server.requests(), QStringList({path, QStringLiteral("/target")}));
}

void tst_WebEngineBrowser::unreachableHost()
{
    const quint16 port = closedLoopbackPort();
    QVERIFY(port != 0);
    const QString address = QStringLiteral("http://127.0.0.1:%1/nothing").arg(port);

    navigateAndWait(address);
    QCOMPARE(core(), QStringList({QStringLiteral("Before:") + address, QStringLiteral("Begin"),
                                  QStringLiteral("Nav:") + address, QStringLiteral("Complete")}));
    QCOMPARE(m_browser->LocationURL(), address);
    QVERIFY(!m_browser->LocationName().isEmpty());
}

void tst_WebEngineBrowser::busyWhileResponseHeld()
{
    bool busyAtComplete = true;
    const auto watch = connect(m_browser, &WebBrowser::DownloadComplete, this,
                               [&] { busyAtComplete = m_browser->Busy(); });
    const auto unwatch = qScopeGuard([&] { disconnect(watch); });

    m_browser->Navigate(url(QStringLiteral("/held")));
    QVERIFY(m_browser->Busy()); // at once, before the engine has done anything
    QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 1, LoadTimeoutMs);
    QVERIFY(m_browser->Busy());
    QVERIFY(m_log.contains(QStringLiteral("Begin")));
    QVERIFY(!m_log.contains(QStringLiteral("Complete")));
    QVERIFY(m_browser->LocationURL().isEmpty()); // nothing has committed yet

    m_server.releaseHeld();
    QVERIFY(waitForCompletes(1));
    QVERIFY(!m_browser->Busy());
    QVERIFY(!busyAtComplete);
    QCOMPARE(m_browser->LocationURL(), url(QStringLiteral("/held")));
    QCOMPARE(m_browser->LocationName(), QStringLiteral("Held"));
}

void tst_WebEngineBrowser::stopBeforeResponseCancels()
{
    const QString shown = url(QStringLiteral("/plain"));
    navigateAndWait(shown);
    m_log.clear();

    const QString held = url(QStringLiteral("/held"));
    m_browser->Navigate(held);
    QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 1, LoadTimeoutMs);
    m_browser->Stop();
    QVERIFY(waitForCompletes(1));

    const QString canceled = QStringLiteral("about:NavigationCanceled");
    QCOMPARE(core(), QStringList({QStringLiteral("Before:") + held, QStringLiteral("Begin"),
                                  QStringLiteral("Nav:") + canceled, QStringLiteral("Complete")}));
    QVERIFY(m_log.contains(QStringLiteral("Title:Navigation Canceled")));
    QCOMPARE(m_browser->LocationURL(), canceled);
    QCOMPARE(m_browser->LocationName(), QStringLiteral("Navigation Canceled"));
    QVERIFY(!m_browser->Busy());
    // The engine dropped its request; the server lets the connection go.
    QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 0, LoadTimeoutMs);

    // The next committed navigation replaces the canceled location, even when it is
    // the address of the page still on screen (the engine reports no address change).
    m_log.clear();
    navigateAndWait(shown);
    QCOMPARE(core(), QStringList({QStringLiteral("Before:") + shown, QStringLiteral("Begin"),
                                  QStringLiteral("Nav:") + shown, QStringLiteral("Complete")}));
    QCOMPARE(m_browser->LocationURL(), shown);
    QCOMPARE(m_browser->LocationName(), QStringLiteral("Plain"));
}

void tst_WebEngineBrowser::stopAfterPageArrivedKeepsLocation_data()
{
    QTest::addColumn<QString>("first");
    QTest::newRow("new address") << QStringLiteral("/plain");
    // The engine reports no address change here; the commit must still be seen.
    QTest::newRow("same address") << QStringLiteral("/withimage");
}

void tst_WebEngineBrowser::stopAfterPageArrivedKeepsLocation()
{
    QFETCH(QString, first);
    m_browser->Navigate(url(first));
    QVERIFY(waitUntil([&] { return m_server.heldCount() > 0 || !m_browser->Busy(); }));
    m_server.releaseHeld();
    QVERIFY(waitForCompletes(1));
    m_log.clear();

    const QString address = url(QStringLiteral("/withimage"));
    m_browser->Navigate(address);
    QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 1, LoadTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(m_log.contains(QStringLiteral("Nav:") + address), LoadTimeoutMs);
    QVERIFY(m_browser->Busy());
    QCOMPARE(m_browser->LocationURL(), address);

    m_browser->Stop();
    QVERIFY(waitForCompletes(1));
    QCOMPARE(core(), QStringList({QStringLiteral("Before:") + address, QStringLiteral("Begin"),
                                  QStringLiteral("Nav:") + address, QStringLiteral("Complete")}));
    QCOMPARE(m_browser->LocationURL(), address);
    QCOMPARE(m_browser->LocationName(), QStringLiteral("With image"));
}

void tst_WebEngineBrowser::loadsEndingWithoutPageKeepLocation_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("reloadAndStop");
    // The engine drops a navigation answered with 204 (ends it as stopped, no page).
    QTest::newRow("no content") << QStringLiteral("/nocontent") << false;
    // Stopping a reload before the answer leaves the page where it was.
    QTest::newRow("stopped reload") << QString() << true;
}

void tst_WebEngineBrowser::loadsEndingWithoutPageKeepLocation()
{
    QFETCH(QString, path);
    QFETCH(bool, reloadAndStop);
    const QString shown = url(QStringLiteral("/held"));
    m_browser->Navigate(shown);
    QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 1, LoadTimeoutMs);
    m_server.releaseHeld();
    QVERIFY(waitForCompletes(1));
    m_log.clear();

    if (reloadAndStop) {
        m_browser->Refresh();
        QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 1, LoadTimeoutMs);
        m_browser->Stop();
        QVERIFY(waitForCompletes(1));
        QCOMPARE(core(), QStringList({QStringLiteral("Begin"), QStringLiteral("Complete")}));
    } else {
        navigateAndWait(url(path));
        QCOMPARE(core(), QStringList({QStringLiteral("Before:") + url(path), QStringLiteral("Begin"),
                                      QStringLiteral("Complete")}));
    }
    QCOMPARE(m_browser->LocationURL(), shown);
    QCOMPARE(m_browser->LocationName(), QStringLiteral("Held"));
}

void tst_WebEngineBrowser::stopWhileIdleDoesNothing()
{
    const QString shown = url(QStringLiteral("/plain"));
    m_browser->Stop(); // nothing loaded yet
    navigateAndWait(shown);
    m_log.clear();

    m_browser->Stop();
    QVERIFY(!m_browser->Busy());
    QCOMPARE(m_browser->LocationURL(), shown);
    QCOMPARE(m_browser->LocationName(), QStringLiteral("Plain"));

    const QString next = url(QStringLiteral("/one"));
    navigateAndWait(next);
    QCOMPARE(core(), QStringList({QStringLiteral("Before:") + next, QStringLiteral("Begin"),
                                  QStringLiteral("Nav:") + next, QStringLiteral("Complete")}));
}

void tst_WebEngineBrowser::navigationReplacingPendingOne()
{
    const QString held = url(QStringLiteral("/held"));
    const QString next = url(QStringLiteral("/one"));
    m_browser->Navigate(held);
    QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 1, LoadTimeoutMs);
    navigateAndWait(next);

    QCOMPARE(core(), QStringList({QStringLiteral("Before:") + held, QStringLiteral("Begin"),
                                  QStringLiteral("Before:") + next, QStringLiteral("Nav:") + next,
                                  QStringLiteral("Complete")}));
    QCOMPARE(m_browser->LocationURL(), next);
    QCOMPARE(m_browser->LocationName(), QStringLiteral("One"));
    QVERIFY(!m_browser->Busy());
}

void tst_WebEngineBrowser::backAndForward()
{
    QVERIFY(!m_browser->GoBack());
    QVERIFY(!m_browser->GoForward());
    QVERIFY(!m_browser->Busy());
    QVERIFY(m_log.isEmpty());

    const QString one = url(QStringLiteral("/one"));
    const QString two = url(QStringLiteral("/two"));
    navigateAndWait(one);
    navigateAndWait(two);
    QVERIFY(!m_browser->GoForward());
    QVERIFY(!m_browser->Busy());

    m_log.clear();
    QVERIFY(m_browser->GoBack());
    QVERIFY(m_browser->Busy());
    QVERIFY(waitForCompletes(1));
    QCOMPARE(core(), QStringList({QStringLiteral("Before:") + one, QStringLiteral("Begin"),
                                  QStringLiteral("Nav:") + one, QStringLiteral("Complete")}));
    QCOMPARE(m_browser->LocationURL(), one);
    QCOMPARE(m_browser->LocationName(), QStringLiteral("One"));
    QVERIFY(!m_browser->GoBack());

    m_log.clear();
    QVERIFY(m_browser->GoForward());
    QVERIFY(waitForCompletes(1));
    QCOMPARE(core(), QStringList({QStringLiteral("Before:") + two, QStringLiteral("Begin"),
                                  QStringLiteral("Nav:") + two, QStringLiteral("Complete")}));
    QCOMPARE(m_browser->LocationURL(), two);
    QCOMPARE(m_browser->LocationName(), QStringLiteral("Two"));
    QVERIFY(!m_browser->GoForward());
}

void tst_WebEngineBrowser::fragmentMoveRaisesNoBefore()
{
    const QString address = url(QStringLiteral("/long"));
    navigateAndWait(address);
    m_log.clear();

    // Typed: the same page with a fragment.
    const QString part = address + QStringLiteral("#part");
    m_browser->Navigate(part);
    QTRY_VERIFY_WITH_TIMEOUT(m_log.contains(QStringLiteral("Nav:") + part), LoadTimeoutMs);
    QVERIFY(!m_browser->Busy());
    QCOMPARE(m_browser->LocationURL(), part);

    // Clicked: a link to a fragment of the page.
    const QString top = address + QStringLiteral("#top");
    m_browser->view()->page()->runJavaScript(QStringLiteral("document.getElementById('top').click()"));
    QTRY_VERIFY_WITH_TIMEOUT(m_log.contains(QStringLiteral("Nav:") + top), LoadTimeoutMs);
    QCOMPARE(m_browser->LocationURL(), top);

    QCOMPARE(core(), QStringList({QStringLiteral("Nav:") + part, QStringLiteral("Nav:") + top}));
    QCOMPARE(m_server.requests(), QStringList(QStringLiteral("/long")));
}

void tst_WebEngineBrowser::refreshReloads()
{
    m_browser->Refresh(); // nothing to reload yet
    QVERIFY(!m_browser->Busy());

    const QString address = url(QStringLiteral("/plain"));
    navigateAndWait(address);
    m_log.clear();

    m_browser->Refresh();
    QVERIFY(m_browser->Busy());
    QVERIFY(waitForCompletes(1));
    QCOMPARE(core(), QStringList({QStringLiteral("Begin"), QStringLiteral("Complete")}));
    QCOMPARE(m_server.requests(), QStringList({QStringLiteral("/plain"), QStringLiteral("/plain")}));
    QCOMPARE(m_browser->LocationURL(), address);
}

void tst_WebEngineBrowser::hoveredLinkShowsInStatus()
{
    navigateAndWait(url(QStringLiteral("/links")));
    m_log.clear();
    // The engine takes mouse input on the view's focus widget.
    QWidget *input = m_browser->view()->focusProxy();
    QVERIFY(input);

    const QString link = QStringLiteral("Status:") + url(QStringLiteral("/one"));
    QTest::mouseMove(input, QPoint(100, 100));
    QTRY_VERIFY_WITH_TIMEOUT(m_log.contains(link), LoadTimeoutMs);
    QTest::mouseMove(input, QPoint(100, 400));
    QTRY_COMPARE_WITH_TIMEOUT(m_log.last(), QStringLiteral("Status:"), LoadTimeoutMs);
    QVERIFY(core().isEmpty());

    // Following the link: the loading text is not wiped by the link going away.
    QTest::mouseMove(input, QPoint(100, 100));
    QTRY_COMPARE_WITH_TIMEOUT(m_log.last(), link, LoadTimeoutMs);
    m_log.clear();
    QTest::mouseClick(input, Qt::LeftButton, {}, QPoint(100, 100));
    QVERIFY(waitForCompletes(1));
    QCOMPARE(core().first(), QStringLiteral("Before:") + url(QStringLiteral("/one")));
    QCOMPARE(m_log.filter(QRegularExpression(QStringLiteral("^Status:"))),
             QStringList({QStringLiteral("Status:Opening %1...").arg(url(QStringLiteral("/one"))),
                          QStringLiteral("Status:Done")}));
}

void tst_WebEngineBrowser::serverStreamsLargeBodiesAndSurvivesLeavingClients()
{
    QByteArray big(10 * 1024 * 1024, '\0');
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char('a' + i % 26);
    m_server.setPage(QStringLiteral("/big"), big, "application/octet-stream");

    // A client that sends half a request and leaves, and one whose held request it
    // abandons, must not disturb the next.
    QTcpSocket quitter;
    quitter.connectToHost(QHostAddress::LocalHost, m_server.port());
    QVERIFY(quitter.waitForConnected(LoadTimeoutMs));
    quitter.write("GET /big HT");
    QVERIFY(quitter.waitForBytesWritten(LoadTimeoutMs));
    quitter.abort();

    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy::NoProxy);
    QNetworkReply *abandoned = network.get(QNetworkRequest(m_server.url(QStringLiteral("/held"))));
    QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 1, LoadTimeoutMs);
    abandoned->abort();
    QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 0, LoadTimeoutMs);
    abandoned->deleteLater();

    const auto fetch = [&](const QString &path, int *status) {
        QNetworkReply *reply = network.get(QNetworkRequest(m_server.url(path)));
        QSignalSpy finished(reply, &QNetworkReply::finished);
        const bool done = finished.wait(LoadTimeoutMs);
        *status = done ? reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
        const QByteArray body = reply->readAll();
        reply->deleteLater();
        return body;
    };
    int status = 0;
    QVERIFY(fetch(QStringLiteral("/big"), &status) == big);
    QCOMPARE(status, 200);
    fetch(QStringLiteral("/missing"), &status);
    QCOMPARE(status, 404);
    fetch(QStringLiteral("/favicon.ico"), &status);
    QCOMPARE(status, 404);

    QCOMPARE(m_server.requests(), QStringList({QStringLiteral("/held"), QStringLiteral("/big"),
                                               QStringLiteral("/missing")}));
}

QTEST_MAIN(tst_WebEngineBrowser)
#include "tst_webenginebrowser.moc"
