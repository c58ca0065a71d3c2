#include "browser/findstrip.h"
#include "browser/frmBrowser.h"
#include "browser/fullscreenpage.h"
#include "browser/historyfile.h"
#include "browser/statustext.h"
#include "engine/drawingpath.h"
#include "engine/webenginebrowser.h"
#include "support/enginetesting.h"
#include "support/loopbackhttpserver.h"
#include "support/testplatform.h"
#include "system/visithistory.h"
#include "windows/frmHistory.h"
#include "windows/visitlist.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QShortcut>
#include <QWheelEvent>
#include <QWebEngineView>
#include <QtTest>

using namespace Qt::StringLiterals;

using namespace enginetesting;

namespace {

// The four load events of one navigation, as the log writes them.
QStringList loadEvents(const QString &requested, const QString &committed)
{
    return {u"Before:"_s + requested, u"Begin"_s, u"Nav:"_s + committed, u"Complete"_s};
}

// What is wrong with the pairing of DownloadBegin/DownloadComplete in a log, or empty:
// no begin inside an open load, no complete outside one, progress only inside one,
// Progress -1 just before each complete, and nothing left open.
QString pairingProblem(const QStringList &log)
{
    bool open = false;
    for (qsizetype i = 0; i < log.size(); ++i) {
        const QString &event = log.at(i);
        if (event == u"Begin"_s) {
            if (open)
                return u"second Begin at %1"_s.arg(i);
            open = true;
        } else if (event == u"Complete"_s) {
            if (!open)
                return u"Complete without Begin at %1"_s.arg(i);
            if (i == 0 || log.at(i - 1) != u"Progress:-1/100"_s)
                return u"Complete at %1 not preceded by Progress:-1/100"_s.arg(i);
            open = false;
        } else if (event.startsWith(u"Progress:"_s) && !open) {
            return u"progress outside a load at %1"_s.arg(i);
        }
    }
    return open ? u"Begin never completed"_s : QString();
}

// A document window over the real engine, in a document area of its own.
struct EngineDocument
{
    TestPlatform env;
    QMdiArea area;
    std::unique_ptr<TestHost> host;
    frmBrowser *window = nullptr;

    EngineDocument()
    {
        env.platform.makeBrowser = [](QWidget *parent) { return new WebEngineBrowser(parent); };
        area.resize(1000, 800);
        area.show();
        host = std::make_unique<TestHost>(&area);
        window = new frmBrowser(&area, env.platform, *host);
    }
    WebEngineBrowser *browser() const { return static_cast<WebEngineBrowser *>(window->brwWebBrowser); }
};

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
    void softwareRenderers_data();
    void softwareRenderers();
    void addressForms_data();
    void addressForms();
    void locationAsksForTheSameRequest_data();
    void locationAsksForTheSameRequest();
    void lookAlikeHostsShowInAsciiForm_data();
    void lookAlikeHostsShowInAsciiForm();
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
    void navigationReplacingPendingOne();
    void backAndForward();
    void fragmentMoveRaisesNoBefore();
    void refreshReloads();
    void hoveredLinkShowsInStatus();
    void findMovesTheSelection_data();
    void findMovesTheSelection();
    void zoomScalesThePage_data();
    void zoomScalesThePage();
    void ctrlWheelAsksForZoom_data();
    void ctrlWheelAsksForZoom();
    void keysInThePage_data();
    void keysInThePage();
    void pageFullScreenShowsItAlone_data();
    void pageFullScreenShowsItAlone();
    void selfReloadingPageLeavesTheTypedAddress();
    void hugeLinkReachesTheStatusBounded();
    void realLoadsListedInHistory();

    void serverStreamsLargeBodiesAndSurvivesLeavingClients();

private:
    QString url(const QString &path) const { return m_server.url(path).toString(); }
    // Only Before, Begin, Nav and Complete, in order.
    QStringList core() const;
    QStringList statusTexts() const { return m_log.filter(QRegularExpression(u"^Status:"_s)); }
    bool waitForCompletes(qsizetype count);
    void navigateAndWait(const QString &address);
    void loadHeldPage(const QString &path);
    // The page's answer to a script; an invalid variant when none came.
    QVariant evaluate(const QString &script, WebEngineBrowser *browser = nullptr);

    LoopbackHttpServer m_server;
    WebEngineBrowser *m_browser = nullptr;
    QStringList m_log;
};

void tst_WebEngineBrowser::initTestCase()
{
    QVERIFY(m_server.start());
    m_server.setPage(u"/plain"_s, page("Plain"));
    m_server.setPage(u"/links"_s, page("Links", "<a href='/one' style='display:block;position:"
                                                "absolute;left:0;top:0;width:300px;height:200px'>"
                                                "one</a>"));
    m_server.setPage(u"/notitle"_s, "<html><body>no title</body></html>");
    m_server.setPage(u"/one"_s, page("One"));
    m_server.setPage(u"/two"_s, page("Two"));
    m_server.setPage(u"/target"_s, page("Target"));
    m_server.setPage(u"/held"_s, page("Held"));
    m_server.setHold(u"/held"_s);
    // A page that has arrived but keeps loading: its picture is held (then a 404).
    m_server.setPage(u"/withimage"_s, page("With image", "<img src='/heldimage'>"));
    m_server.setHold(u"/heldimage"_s);
    m_server.setPage(u"/find"_s, page("Find", "<p>apple Apple</p><p>APPLE pear</p>"));
    const QByteArray keys = "<script>var keys = []; addEventListener('keydown', e => keys.push(e.key));</script>";
    m_server.setPage(u"/keys"_s, page("Keys", keys));
    m_server.setPage(u"/keysloading"_s, page("Keys", keys + "<img src='/heldimage'>"));
    m_server.setPage(u"/fullscreen"_s, page("Full", "<button style='position:absolute;left:0;top:0;width:300px;"
                                                    "height:200px' onclick='document.body.requestFullscreen()'>"
                                                    "full</button>"));
    m_server.setPage(u"/nocontent"_s, QByteArray(), "text/plain", 204);
    m_server.setPage(u"/long"_s, page("Long", "<a id='top' href='#top'>top</a>"
                                              "<div style='height:5000px'></div><p id='part'>p</p>"));
    for (int status : {301, 302, 303, 307})
        m_server.setRedirect(u"/redirect%1"_s.arg(status), u"/target"_s, status);
}

void tst_WebEngineBrowser::init()
{
    m_log.clear();
    m_server.clearRequests();
    m_browser = new WebEngineBrowser;
    m_browser->resize(640, 480);
    m_browser->show();
    WebEngineBrowser *b = m_browser;
    connect(b, &WebBrowser::BeforeNavigate2, this, [this](const QString &u) { m_log << u"Before:"_s + u; });
    connect(b, &WebBrowser::DownloadBegin, this, [this] { m_log << u"Begin"_s; });
    connect(b, &WebBrowser::NavigateComplete2, this, [this](const QString &u) { m_log << u"Nav:"_s + u; });
    connect(b, &WebBrowser::TitleChange, this, [this](const QString &t) { m_log << u"Title:"_s + t; });
    connect(b, &WebBrowser::ProgressChange, this,
            [this](int p, int max) { m_log << u"Progress:%1/%2"_s.arg(p).arg(max); });
    connect(b, &WebBrowser::DownloadComplete, this, [this] { m_log << u"Complete"_s; });
    connect(b, &WebBrowser::StatusTextChange, this, [this](const QString &t) { m_log << u"Status:"_s + t; });
}

// Every scenario's log must pair its begins and completes.
void tst_WebEngineBrowser::cleanup()
{
    m_server.releaseHeld();
    const bool settled = waitUntil([this] { return !m_browser->Busy(); });
    const QString problem = pairingProblem(m_log);
    const QString log = m_log.join(u" | "_s);
    delete m_browser;
    m_browser = nullptr;
    QVERIFY2(settled, "still busy at the end of the test");
    QVERIFY2(problem.isEmpty(), qPrintable(problem + u" in "_s + log));
}

QStringList tst_WebEngineBrowser::core() const
{
    return m_log.filter(QRegularExpression(u"^(Before:.*|Begin|Nav:.*|Complete)$"_s));
}

bool tst_WebEngineBrowser::waitForCompletes(qsizetype count)
{
    return waitUntil([&] { return m_log.count(u"Complete"_s) >= count; })
           && m_log.count(u"Complete"_s) == count;
}

void tst_WebEngineBrowser::navigateAndWait(const QString &address)
{
    const qsizetype before = m_log.count(u"Complete"_s);
    m_browser->Navigate(address);
    QVERIFY2(waitForCompletes(before + 1), qPrintable(m_log.join(u" | "_s)));
}

QVariant tst_WebEngineBrowser::evaluate(const QString &script, WebEngineBrowser *browser)
{
    return enginetesting::evaluate((browser ? browser : m_browser)->view()->page(), script).value_or(QVariant());
}

// Loads a page whose response (or picture) is held, lets it go, then clears the log.
void tst_WebEngineBrowser::loadHeldPage(const QString &path)
{
    m_browser->Navigate(url(path));
    QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 1, LoadTimeoutMs);
    m_server.releaseHeld();
    QVERIFY(waitForCompletes(1));
    m_log.clear();
}

void tst_WebEngineBrowser::softwareRenderers_data()
{
    QTest::addColumn<QByteArray>("renderer");
    QTest::addColumn<bool>("software");
    QTest::newRow("llvmpipe") << QByteArray("llvmpipe (LLVM 15.0.6, 256 bits)") << true;
    QTest::newRow("softpipe") << QByteArray("softpipe") << true;
    QTest::newRow("swrast") << QByteArray("Software Rasterizer") << true;
    QTest::newRow("SwiftShader") << QByteArray("Google SwiftShader") << true;
    // Graphics cards whose driver names its compiler are still cards.
    QTest::newRow("radeon") << QByteArray("AMD Radeon RX 580 Series (polaris10, LLVM 15.0.6, DRM 3.49)") << false;
    QTest::newRow("intel") << QByteArray("Mesa Intel(R) UHD Graphics 620 (KBL GT2)") << false;
    QTest::newRow("nvidia") << QByteArray("NVIDIA GeForce GTX 1060/PCIe/SSE2") << false;
    QTest::newRow("none") << QByteArray() << false;
}

void tst_WebEngineBrowser::softwareRenderers()
{
    QFETCH(QByteArray, renderer);
    QFETCH(bool, software);
    QCOMPARE(drawingpath::isSoftwareRenderer(renderer), software);
}

void tst_WebEngineBrowser::plainPage_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::newRow("titled") << u"/plain"_s << u"Plain"_s;
    // Without a title the engine names the page by its address.
    QTest::newRow("untitled") << u"/notitle"_s << u"/notitle"_s;
}

void tst_WebEngineBrowser::plainPage()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    const QString address = url(path);

    m_browser->Navigate(address);
    QVERIFY(m_browser->Busy());
    QVERIFY(waitForCompletes(1));

    QCOMPARE(core(), loadEvents(address, address));
    QCOMPARE(m_log.mid(1, 2), QStringList({u"Begin"_s, u"Status:Opening %1..."_s.arg(address)}));
    QCOMPARE(statusTexts(), QStringList({u"Status:Opening %1..."_s.arg(address), u"Status:Done"_s}));
    QCOMPARE(m_log.mid(m_log.size() - 3),
             QStringList({u"Status:Done"_s, u"Progress:-1/100"_s, u"Complete"_s}));

    QList<int> progress;
    for (const QString &e : m_log.filter(QRegularExpression(u"^Progress:\\d+/100$"_s)))
        progress << e.section(u':', 1).section(u'/', 0, 0).toInt();
    QVERIFY(!progress.isEmpty());
    QVERIFY(std::is_sorted(progress.begin(), progress.end()));
    QCOMPARE(progress.last(), 100);

    const QStringList titles = m_log.filter(QRegularExpression(u"^Title:"_s));
    QVERIFY(!titles.isEmpty());
    QVERIFY(m_log.indexOf(titles.first()) > m_log.indexOf(u"Nav:"_s + address));
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
    QTest::addColumn<bool>("inFolder"); // the temporary folder is the current one

    // @DIR@ stands for a temporary folder holding local.html, @FILEDIR@ for its URL.
    const QString web = url(u"/plain"_s);
    const QString hostPort = u"127.0.0.1:%1"_s.arg(m_server.port());
    QTest::newRow("web address") << web << web << false;
    QTest::newRow("typed without scheme") << hostPort + u"/plain"_s << web << false;
    QTest::newRow("padded") << u"  "_s + hostPort + u"/plain\t"_s << web << false;
    // A host:port address that names no file stays a web address with a folder current.
    QTest::newRow("without scheme, in folder") << hostPort + u"/plain"_s << web << true;
    QTest::newRow("absolute file path") << u"@DIR@/local.html"_s << u"@FILEDIR@/local.html"_s << false;
    QTest::newRow("relative file path") << u"local.html"_s << u"@FILEDIR@/local.html"_s << true;
    // The engine starts about: loads without asking acceptNavigationRequest.
    QTest::newRow("about page") << u"about:blank"_s << u"about:blank"_s << false;
}

void tst_WebEngineBrowser::addressForms()
{
    QFETCH(QString, typed);
    QFETCH(QString, expected);
    QFETCH(bool, inFolder);

    QTemporaryDir temp;
    QVERIFY(temp.isValid());
    QFile file(temp.filePath(u"local.html"_s));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(page("Local"));
    file.close();
    for (QString *text : {&typed, &expected}) {
        text->replace(u"@FILEDIR@"_s, QUrl::fromLocalFile(temp.path()).toString());
        text->replace(u"@DIR@"_s, temp.path());
    }

    const QString previousFolder = QDir::currentPath();
    const auto restore = qScopeGuard([&] { QDir::setCurrent(previousFolder); });
    if (inFolder)
        QVERIFY(QDir::setCurrent(temp.path()));

    navigateAndWait(typed);
    QCOMPARE(core(), loadEvents(expected, expected));
    QCOMPARE(m_browser->LocationURL(), expected);
}

void tst_WebEngineBrowser::locationAsksForTheSameRequest_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("request");
    // Not a trailing %20: Qt WebEngine 6.4 hands an address to its core decoded, which
    // trims the space, so "/a%20" asks for "/a" whatever the address box holds.
    QTest::newRow("%20") << u"/a%20b"_s << u"/a%20b"_s;
    QTest::newRow("space typed") << u"/a b"_s << u"/a%20b"_s;
    QTest::newRow("non-ASCII, query, fragment") << u"/%C3%A4%2F?q=a%20b#x%20y"_s << u"/%C3%A4%2F?q=a%20b"_s;
}

void tst_WebEngineBrowser::locationAsksForTheSameRequest()
{
    QFETCH(QString, typed);
    QFETCH(QString, request);
    navigateAndWait(url(typed));
    QCOMPARE(m_server.requests(), QStringList{request});
    // The location as the address box lists it, picked again.
    const QString location = m_browser->LocationURL();
    navigateAndWait(location);
    QCOMPARE(m_server.requests(), (QStringList{request, request}));
    QCOMPARE(m_browser->LocationURL(), location);
}

void tst_WebEngineBrowser::lookAlikeHostsShowInAsciiForm_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("name");
    // The engine's own name for an untitled page is its address, with these in
    // Cyrillic letters (it allows them under a Cyrillic country's domain).
    QTest::newRow("Cyrillic look-alike, .ru")
        << u"xn--80ak6aa92e.ru"_s << u"http://xn--80ak6aa92e.ru/"_s << u"xn--80ak6aa92e.ru"_s;
    QTest::newRow("Cyrillic look-alike, .рф") << u"xn--80ak6aa92e.xn--p1ai"_s << u"http://xn--80ak6aa92e.xn--p1ai/"_s
                                              << u"xn--80ak6aa92e.xn--p1ai"_s;
    QTest::newRow("German") << u"xn--bcher-kva.de"_s << u"http://bücher.de/x"_s << u"bücher.de/x"_s;
}

// A page without a title of its own, on a host that reads as another name: the
// location and the caption show it in xn-- form.
void tst_WebEngineBrowser::lookAlikeHostsShowInAsciiForm()
{
    QFETCH(QString, host);
    QFETCH(QString, location);
    QFETCH(QString, name);
    const QUrl base(u"http://"_s + host + QUrl(location).path());
    m_browser->view()->page()->setHtml(u"<html><body>no title</body></html>"_s, base);
    QVERIFY2(waitForCompletes(1), qPrintable(m_log.join(u" | "_s)));
    QCOMPARE(m_browser->LocationURL(), location);
    QCOMPARE(m_browser->LocationName(), name);
    const QStringList titles = m_log.filter(QRegularExpression(u"^Title:"_s));
    QVERIFY(!titles.isEmpty());
    QCOMPARE(titles.last(), u"Title:"_s + name);
}

void tst_WebEngineBrowser::blankOrInvalidAddressDoesNothing_data()
{
    QTest::addColumn<QString>("typed");
    QTest::newRow("empty") << QString();
    QTest::newRow("blank") << u"   "_s;
    QTest::newRow("white space") << u"\t\r\n"_s;
    QTest::newRow("broken host") << u"http://[::1"_s;
    QTest::newRow("no host") << u"http:///plain"_s;
    QTest::newRow("script") << u"javascript:document.title='x'"_s;
}

void tst_WebEngineBrowser::blankOrInvalidAddressDoesNothing()
{
    QFETCH(QString, typed);
    m_browser->Navigate(typed);
    QVERIFY(!m_browser->Busy());
    QVERIFY(m_log.isEmpty());

    // Anything the bad text set off would show among the next navigation's events.
    const QString next = url(u"/one"_s);
    navigateAndWait(next);
    QCOMPARE(core(), loadEvents(next, next));
    QCOMPARE(m_log.first(), u"Before:"_s + next);
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
    const QString path = u"/redirect%1"_s.arg(status);

    navigateAndWait(url(path));
    QCOMPARE(core(), loadEvents(url(path), url(u"/target"_s)));
    QCOMPARE(m_browser->LocationURL(), url(u"/target"_s));
    QCOMPARE(m_browser->LocationName(), u"Target"_s);
    QCOMPARE(m_server.requests(), QStringList({path, u"/target"_s}));
}

void tst_WebEngineBrowser::unreachableHost()
{
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString address = u"http://127.0.0.1:%1/nothing"_s.arg(closed.serverPort());
    closed.close();

    navigateAndWait(address);
    QCOMPARE(core(), loadEvents(address, address));
    QCOMPARE(m_browser->LocationURL(), address);
    QVERIFY(!m_browser->LocationName().isEmpty());
}

void tst_WebEngineBrowser::busyWhileResponseHeld()
{
    bool busyAtComplete = true;
    const auto watch = connect(m_browser, &WebBrowser::DownloadComplete, this,
                               [&] { busyAtComplete = m_browser->Busy(); });
    const auto unwatch = qScopeGuard([&] { disconnect(watch); });

    m_browser->Navigate(url(u"/held"_s));
    QVERIFY(m_browser->Busy()); // at once, before the engine has done anything
    QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 1, LoadTimeoutMs);
    QVERIFY(m_browser->Busy());
    QCOMPARE(core(), QStringList({u"Before:"_s + url(u"/held"_s), u"Begin"_s}));
    QVERIFY(m_browser->LocationURL().isEmpty()); // nothing has committed yet

    m_server.releaseHeld();
    QVERIFY(waitForCompletes(1));
    QVERIFY(!m_browser->Busy());
    QVERIFY(!busyAtComplete);
    QCOMPARE(m_browser->LocationURL(), url(u"/held"_s));
    QCOMPARE(m_browser->LocationName(), u"Held"_s);
}

void tst_WebEngineBrowser::stopBeforeResponseCancels()
{
    const QString shown = url(u"/plain"_s);
    m_browser->Stop(); // nothing loaded yet: nothing happens
    navigateAndWait(shown);
    m_log.clear();
    m_browser->Stop(); // nothing loading: nothing happens
    QCOMPARE(m_browser->LocationURL(), shown);

    const QString held = url(u"/held"_s);
    m_browser->Navigate(held);
    QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 1, LoadTimeoutMs);
    m_browser->Stop();
    QVERIFY(waitForCompletes(1));

    const QString canceled = u"about:NavigationCanceled"_s;
    QCOMPARE(core(), loadEvents(held, canceled));
    QVERIFY(m_log.contains(u"Title:Navigation Canceled"_s));
    QCOMPARE(m_browser->LocationURL(), canceled);
    QCOMPARE(m_browser->LocationName(), u"Navigation Canceled"_s);
    QVERIFY(!m_browser->Busy());
    // The engine dropped its request; the server lets the connection go.
    QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 0, LoadTimeoutMs);

    // The next committed navigation replaces the canceled location, even when it is
    // the address of the page still on screen (the engine reports no address change).
    m_log.clear();
    navigateAndWait(shown);
    QCOMPARE(core(), loadEvents(shown, shown));
    QCOMPARE(m_browser->LocationURL(), shown);
    QCOMPARE(m_browser->LocationName(), u"Plain"_s);
}

void tst_WebEngineBrowser::stopAfterPageArrivedKeepsLocation_data()
{
    QTest::addColumn<QString>("first");
    QTest::newRow("new address") << u"/held"_s;
    // The engine reports no address change here; the commit must still be seen.
    QTest::newRow("same address") << u"/withimage"_s;
}

void tst_WebEngineBrowser::stopAfterPageArrivedKeepsLocation()
{
    QFETCH(QString, first);
    loadHeldPage(first);

    const QString address = url(u"/withimage"_s);
    m_browser->Navigate(address);
    QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 1, LoadTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(m_log.contains(u"Nav:"_s + address), LoadTimeoutMs);
    QVERIFY(m_browser->Busy());
    QCOMPARE(m_browser->LocationURL(), address);

    m_browser->Stop();
    QVERIFY(waitForCompletes(1));
    QCOMPARE(core(), loadEvents(address, address));
    QCOMPARE(m_browser->LocationURL(), address);
    QCOMPARE(m_browser->LocationName(), u"With image"_s);
}

void tst_WebEngineBrowser::loadsEndingWithoutPageKeepLocation_data()
{
    QTest::addColumn<bool>("reloadAndStop");
    // The engine drops a navigation answered with 204 (ends it as stopped, no page).
    QTest::newRow("no content") << false;
    // Stopping a reload before the answer leaves the page where it was.
    QTest::newRow("stopped reload") << true;
}

void tst_WebEngineBrowser::loadsEndingWithoutPageKeepLocation()
{
    QFETCH(bool, reloadAndStop);
    loadHeldPage(u"/held"_s);

    if (reloadAndStop) {
        m_browser->Refresh();
        QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 1, LoadTimeoutMs);
        m_browser->Stop();
        QVERIFY(waitForCompletes(1));
        QCOMPARE(core(), QStringList({u"Begin"_s, u"Complete"_s}));
    } else {
        navigateAndWait(url(u"/nocontent"_s));
        QCOMPARE(core(), QStringList({u"Before:"_s + url(u"/nocontent"_s), u"Begin"_s, u"Complete"_s}));
    }
    QCOMPARE(m_browser->LocationURL(), url(u"/held"_s));
    QCOMPARE(m_browser->LocationName(), u"Held"_s);
}

void tst_WebEngineBrowser::navigationReplacingPendingOne()
{
    const QString held = url(u"/held"_s);
    const QString next = url(u"/one"_s);
    m_browser->Navigate(held);
    QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 1, LoadTimeoutMs);
    navigateAndWait(next);

    QCOMPARE(core(), QStringList({u"Before:"_s + held, u"Begin"_s, u"Before:"_s + next,
                                  u"Nav:"_s + next, u"Complete"_s}));
    QCOMPARE(m_browser->LocationURL(), next);
    QCOMPARE(m_browser->LocationName(), u"One"_s);
    QVERIFY(!m_browser->Busy());
}

void tst_WebEngineBrowser::backAndForward()
{
    QVERIFY(!m_browser->GoBack());
    QVERIFY(!m_browser->GoForward());
    QVERIFY(!m_browser->Busy());
    QVERIFY(m_log.isEmpty());

    const QString one = url(u"/one"_s);
    const QString two = url(u"/two"_s);
    navigateAndWait(one);
    navigateAndWait(two);
    QVERIFY(!m_browser->GoForward());
    QVERIFY(!m_browser->Busy());

    m_log.clear();
    QVERIFY(m_browser->GoBack());
    QVERIFY(m_browser->Busy());
    QVERIFY(waitForCompletes(1));
    QCOMPARE(core(), loadEvents(one, one));
    QCOMPARE(m_browser->LocationName(), u"One"_s);
    QVERIFY(!m_browser->GoBack());

    m_log.clear();
    QVERIFY(m_browser->GoForward());
    QVERIFY(waitForCompletes(1));
    QCOMPARE(core(), loadEvents(two, two));
    QCOMPARE(m_browser->LocationName(), u"Two"_s);
    QVERIFY(!m_browser->GoForward());
}

void tst_WebEngineBrowser::fragmentMoveRaisesNoBefore()
{
    const QString address = url(u"/long"_s);
    navigateAndWait(address);
    m_log.clear();

    // Typed: the same page with a fragment.
    const QString part = address + u"#part"_s;
    m_browser->Navigate(part);
    QTRY_VERIFY_WITH_TIMEOUT(m_log.contains(u"Nav:"_s + part), LoadTimeoutMs);
    QVERIFY(!m_browser->Busy());
    QCOMPARE(m_browser->LocationURL(), part);

    // Clicked: a link to a fragment of the page.
    const QString top = address + u"#top"_s;
    m_browser->view()->page()->runJavaScript(u"document.getElementById('top').click()"_s);
    QTRY_VERIFY_WITH_TIMEOUT(m_log.contains(u"Nav:"_s + top), LoadTimeoutMs);
    QCOMPARE(m_browser->LocationURL(), top);

    QCOMPARE(core(), QStringList({u"Nav:"_s + part, u"Nav:"_s + top}));
    QCOMPARE(m_server.requests(), QStringList(u"/long"_s));
}

void tst_WebEngineBrowser::refreshReloads()
{
    m_browser->Refresh(); // nothing to reload yet
    QVERIFY(!m_browser->Busy());

    navigateAndWait(url(u"/plain"_s));
    m_log.clear();
    m_browser->Refresh();
    QVERIFY(m_browser->Busy());
    QVERIFY(waitForCompletes(1));
    QCOMPARE(core(), QStringList({u"Begin"_s, u"Complete"_s}));
    QCOMPARE(m_server.requests(), QStringList({u"/plain"_s, u"/plain"_s}));
    QCOMPARE(m_browser->LocationURL(), url(u"/plain"_s));
}

void tst_WebEngineBrowser::hoveredLinkShowsInStatus()
{
    navigateAndWait(url(u"/links"_s));
    m_log.clear();
    // The engine takes mouse input on the view's focus widget.
    QWidget *input = m_browser->view()->focusProxy();
    QVERIFY(input);

    const QString link = u"Status:"_s + url(u"/one"_s);
    QTest::mouseMove(input, QPoint(100, 100));
    QTRY_VERIFY_WITH_TIMEOUT(m_log.contains(link), LoadTimeoutMs);
    QTest::mouseMove(input, QPoint(100, 400));
    QTRY_COMPARE_WITH_TIMEOUT(m_log.last(), u"Status:"_s, LoadTimeoutMs);
    QVERIFY(core().isEmpty());

    // Following the link: the loading text is not wiped by the link going away.
    QTest::mouseMove(input, QPoint(100, 100));
    QTRY_COMPARE_WITH_TIMEOUT(m_log.last(), link, LoadTimeoutMs);
    m_log.clear();
    QTest::mouseClick(input, Qt::LeftButton, {}, QPoint(100, 100));
    QVERIFY(waitForCompletes(1));
    QCOMPARE(core().first(), u"Before:"_s + url(u"/one"_s));
    QCOMPARE(statusTexts(),
             QStringList({u"Status:Opening %1..."_s.arg(url(u"/one"_s)), u"Status:Done"_s}));
}

// A document window over a page that reloads itself at once, for ever: the user types
// another address meanwhile, a key between reloads, and Enter visits what was typed.
void tst_WebEngineBrowser::selfReloadingPageLeavesTheTypedAddress()
{
    m_server.setPage(u"/reloading"_s, "<html><head><title>Again</title><meta http-equiv='refresh' content='0'>"
                                      "</head><body>again</body></html>");
    EngineDocument doc;
    QMdiArea &area = doc.area;
    area.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&area));
    frmBrowser *w = doc.window;
    const QString page = url(u"/reloading"_s);
    QSignalSpy moves(w->brwWebBrowser, &WebBrowser::NavigateComplete2);
    w->brwWebBrowser->Navigate(page);
    QTRY_VERIFY_WITH_TIMEOUT(!moves.isEmpty(), LoadTimeoutMs);
    w->focusAddress();

    const QString typed = url(u"/plain"_s);
    for (const QChar c : typed) {
        const qsizetype before = moves.size();
        QTest::keyClick(area.windowHandle(), c.toLatin1());
        QTRY_VERIFY_WITH_TIMEOUT(moves.size() > before, LoadTimeoutMs);
    }
    QCOMPARE(w->cboAddress->currentText(), typed);
    QCOMPARE(w->cboAddress->itemText(0), page);
    // The window's line in the file is the page's address, never the text being typed.
    HistoryWriter::waitForAll();
    QCOMPARE(historyfile::read(doc.env.historyPath()).entries, QStringList{page});

    QTest::keyClick(area.windowHandle(), Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(w->brwWebBrowser->LocationURL(), typed, LoadTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(w->cboAddress->currentText(), typed, LoadTimeoutMs);
    HistoryWriter::waitForAll();
    QCOMPARE(historyfile::read(doc.env.historyPath()).entries, QStringList{typed});
}

// A link whose address is 1.9 MB, hovered in a document window: the status line gets
// its start and its end, cut short.
void tst_WebEngineBrowser::hugeLinkReachesTheStatusBounded()
{
    const QByteArray tail = "/end.html";
    const QByteArray href = "/far/" + QByteArray(1'900'000, 'x') + tail;
    m_server.setPage(u"/huge"_s, page("Huge", "<a href='" + href + "' style='display:block;position:absolute;"
                                              "left:0;top:0;width:300px;height:200px'>far</a>"));
    // The pointer goes where the screen shows it; this test's own browser is not in the way.
    m_browser->hide();
    EngineDocument doc;
    WebEngineBrowser *browser = doc.browser();
    QSignalSpy completes(browser, &WebBrowser::DownloadComplete);
    browser->Navigate(url(u"/huge"_s));
    QVERIFY(completes.wait(LoadTimeoutMs));

    QTest::mouseMove(browser->view()->focusProxy(), QPoint(100, 100));
    QTRY_VERIFY2_WITH_TIMEOUT(doc.host->status.endsWith(QLatin1String(tail)), qPrintable(doc.host->status.left(100)),
                              LoadTimeoutMs);
    QVERIFY(doc.host->status.startsWith(url(u"/far/xxx"_s)));
    QVERIFY2(doc.host->status.size() <= statustext::MaxLength, qPrintable(QString::number(doc.host->status.size())));
    HistoryWriter::waitForAll();
}

// Pages a document window loads are kept as visits with the titles they give, and the
// History window lists them, newest first.
void tst_WebEngineBrowser::realLoadsListedInHistory()
{
    QTemporaryDir data;
    VisitHistory visits(data.path(), true, 90);
    TestPlatform env;
    env.platform.makeBrowser = [](QWidget *parent) { return new WebEngineBrowser(parent); };
    env.platform.visits = &visits;
    QMdiArea area;
    area.resize(1000, 800);
    area.show();
    TestHost host(&area);
    auto *window = new frmBrowser(&area, env.platform, host);
    for (const QString &path : {u"/one"_s, u"/two"_s}) {
        QSignalSpy done(window->brwWebBrowser, &WebBrowser::DownloadComplete);
        window->brwWebBrowser->Navigate(url(path));
        QVERIFY(done.wait(LoadTimeoutMs));
    }
    const QStringList expected{url(u"/two"_s), u"Two"_s, url(u"/one"_s), u"One"_s};
    const auto kept = [&] {
        visits.flush();
        QStringList found;
        for (const Visit &v : visits.search({}).next(10).visits)
            found << v.address << v.title;
        return found;
    };
    QTRY_COMPARE_WITH_TIMEOUT(kept(), expected, LoadTimeoutMs);

    frmHistory history(visits);
    history.show();
    QTRY_VERIFY(history.list()->complete());
    QStringList listed;
    for (int row = 0; row < history.list()->rowCount(); ++row) {
        const QModelIndex title = history.list()->index(row, 1);
        const QModelIndex address = history.list()->index(row, 2);
        if (!history.list()->isDay(row))
            listed << address.data().toString() << title.data().toString();
    }
    QCOMPARE(listed, expected);
    // The address history file's writes land before its temporary folder goes.
    HistoryWriter::waitForAll();
}

void tst_WebEngineBrowser::serverStreamsLargeBodiesAndSurvivesLeavingClients()
{
    QByteArray big(10 * 1024 * 1024, '\0');
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char('a' + i % 26);
    m_server.setPage(u"/big"_s, big, "application/octet-stream");

    // A client that sends half a request and leaves, and one that abandons a held
    // request, must not disturb the next.
    QTcpSocket quitter;
    quitter.connectToHost(QHostAddress::LocalHost, m_server.port());
    QVERIFY(quitter.waitForConnected(LoadTimeoutMs));
    quitter.write("GET /big HT");
    QVERIFY(quitter.waitForBytesWritten(LoadTimeoutMs));
    quitter.abort();

    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy::NoProxy);
    QNetworkReply *abandoned = network.get(QNetworkRequest(m_server.url(u"/held"_s)));
    QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 1, LoadTimeoutMs);
    abandoned->abort();
    QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 0, LoadTimeoutMs);
    abandoned->deleteLater();

    const auto fetch = [&](const QString &path, int *status) {
        QNetworkReply *reply = network.get(QNetworkRequest(m_server.url(path)));
        QSignalSpy finished(reply, &QNetworkReply::finished);
        *status = finished.wait(LoadTimeoutMs)
                      ? reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() : 0;
        const QByteArray body = reply->readAll();
        reply->deleteLater();
        return body;
    };
    int status = 0;
    QVERIFY(fetch(u"/big"_s, &status) == big);
    QCOMPARE(status, 200);
    fetch(u"/missing"_s, &status);
    QCOMPARE(status, 404);
    fetch(u"/favicon.ico"_s, &status);
    QCOMPARE(status, 404);
    QCOMPARE(m_server.requests(), QStringList({u"/held"_s, u"/big"_s, u"/missing"_s}));
}

QTEST_MAIN(tst_WebEngineBrowser)
#include "tst_webenginebrowser.moc"

// On "apple Apple / APPLE pear": what is typed, Enter presses (negative: Shift+Enter),
// the count after, and the page's selection once Esc has ended the search.
void tst_WebEngineBrowser::findMovesTheSelection_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("matchCase");
    QTest::addColumn<int>("enters");
    QTest::addColumn<QString>("count");
    QTest::addColumn<QString>("selection");
    QTest::newRow("first") << u"apple"_s << false << 0 << u"1 of 3"_s << u"apple"_s;
    QTest::newRow("Enter: next") << u"apple"_s << false << 1 << u"2 of 3"_s << u"Apple"_s;
    QTest::newRow("Shift+Enter: back round to the last") << u"apple"_s << false << -1 << u"3 of 3"_s
                                                         << u"APPLE"_s;
    QTest::newRow("Enter past the last: first") << u"apple"_s << false << 3 << u"1 of 3"_s << u"apple"_s;
    QTest::newRow("match case") << u"APPLE"_s << true << 0 << u"1 of 1"_s << u"APPLE"_s;
    QTest::newRow("none") << u"kiwi"_s << false << 0 << u"No matches"_s << QString();
}

void tst_WebEngineBrowser::findMovesTheSelection()
{
    QFETCH(QString, typed);
    QFETCH(bool, matchCase);
    QFETCH(int, enters);
    QFETCH(QString, count);
    QFETCH(QString, selection);
    navigateAndWait(url(u"/find"_s));
    FindStrip strip(m_browser, nullptr);
    strip.matchCase->setChecked(matchCase);
    strip.open();
    QTest::keyClicks(strip.field, typed);
    const QString first = typed == u"kiwi"_s ? u"No matches"_s : matchCase ? u"1 of 1"_s : u"1 of 3"_s;
    QTRY_COMPARE_WITH_TIMEOUT(strip.count->text(), first, LoadTimeoutMs);
    // Each press waits for its answer: the next starts from the match it selected.
    int at = 1;
    for (int i = 0; i < qAbs(enters); ++i) {
        at = enters > 0 ? at % 3 + 1 : (at + 1) % 3 + 1;
        QTest::keyClick(strip.field, Qt::Key_Return, enters < 0 ? Qt::ShiftModifier : Qt::NoModifier);
        QTRY_COMPARE_WITH_TIMEOUT(strip.count->text(), u"%1 of 3"_s.arg(at), LoadTimeoutMs);
    }
    QTRY_COMPARE_WITH_TIMEOUT(strip.count->text(), count, LoadTimeoutMs);

    // Esc ends the search, its highlight gone and the match it got to selected.
    QTest::keyClick(strip.field, Qt::Key_Escape);
    QVERIFY(strip.isHidden());
    QCOMPARE(strip.count->text(), QString());
    QCOMPARE(evaluate(u"window.getSelection().toString()"_s).toString(), selection);
    // Back in the strip, the text is searched for again.
    strip.open();
    QTRY_VERIFY_WITH_TIMEOUT(!strip.count->text().isEmpty(), LoadTimeoutMs);
}

void tst_WebEngineBrowser::zoomScalesThePage_data()
{
    QTest::addColumn<int>("percent");
    QTest::newRow("25 %") << 25;
    QTest::newRow("67 %") << 67;
    QTest::newRow("150 %") << 150;
    QTest::newRow("500 %") << 500;
}

void tst_WebEngineBrowser::zoomScalesThePage()
{
    QFETCH(int, percent);
    navigateAndWait(url(u"/plain"_s));
    const double normal = evaluate(u"window.devicePixelRatio"_s).toDouble();
    QVERIFY(normal > 0);
    m_browser->SetZoomPercent(percent);
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(evaluate(u"window.devicePixelRatio"_s).toDouble() - normal * percent / 100.0) < 0.01,
                             LoadTimeoutMs);
    // The level holds across the page's loads.
    navigateAndWait(url(u"/one"_s));
    QVERIFY(qAbs(evaluate(u"window.devicePixelRatio"_s).toDouble() - normal * percent / 100.0) < 0.01);
    m_browser->SetZoomPercent(100);
    QTRY_VERIFY_WITH_TIMEOUT(qAbs(evaluate(u"window.devicePixelRatio"_s).toDouble() - normal) < 0.01, LoadTimeoutMs);
}

// Wheel turns over the page (in eighths of a degree) and the zoom steps asked for.
void tst_WebEngineBrowser::ctrlWheelAsksForZoom_data()
{
    QTest::addColumn<QList<int>>("deltas");
    QTest::addColumn<bool>("ctrl");
    QTest::addColumn<QList<int>>("steps");
    QTest::newRow("one notch up") << QList<int>{120} << true << QList<int>{1};
    QTest::newRow("two notches down at once") << QList<int>{-240} << true << QList<int>{-2};
    QTest::newRow("half notches add up") << QList<int>{60, 60} << true << QList<int>{1};
    QTest::newRow("without Ctrl: a scroll") << QList<int>{120} << false << QList<int>{};
}

void tst_WebEngineBrowser::ctrlWheelAsksForZoom()
{
    QFETCH(QList<int>, deltas);
    QFETCH(bool, ctrl);
    QFETCH(QList<int>, steps);
    navigateAndWait(url(u"/plain"_s));
    QSignalSpy spy(m_browser, &WebBrowser::ZoomWheel);
    QWidget *page = m_browser->view()->focusProxy();
    QVERIFY(page);
    const QPointF at(20, 20);
    for (int delta : std::as_const(deltas)) {
        QWheelEvent wheel(at, page->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton,
                          ctrl ? Qt::ControlModifier : Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(page, &wheel);
    }
    QList<int> asked;
    for (const QList<QVariant> &signal : std::as_const(spy))
        asked << signal.at(0).toInt();
    QCOMPARE(asked, steps);
}

// Keys pressed in the page, then "a" to know they have all arrived: what the host's
// Esc shortcut saw and what the page's own listener got.
void tst_WebEngineBrowser::keysInThePage_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("stops");
    QTest::addColumn<QStringList>("pageKeys");
    QTest::newRow("Esc on a loaded page is the page's") << u"/keys"_s << int(Qt::Key_Escape) << 0
                                                        << QStringList{u"Escape"_s, u"a"_s};
    QTest::newRow("Esc while loading stops") << u"/keysloading"_s << int(Qt::Key_Escape) << 1
                                             << QStringList{u"a"_s};
    // The page is the second in its history: Backspace must not go back to the first.
    QTest::newRow("Backspace is the page's, no Back") << u"/keys"_s << int(Qt::Key_Backspace) << 0
                                                      << QStringList{u"Backspace"_s, u"a"_s};
}

void tst_WebEngineBrowser::keysInThePage()
{
    QFETCH(QString, path);
    QFETCH(int, key);
    QFETCH(int, stops);
    QFETCH(QStringList, pageKeys);
    navigateAndWait(url(u"/one"_s));
    if (path == u"/keysloading"_s) {
        m_browser->Navigate(url(path));
        QTRY_COMPARE_WITH_TIMEOUT(m_server.heldCount(), 1, LoadTimeoutMs);
        QTRY_COMPARE_WITH_TIMEOUT(evaluate(u"typeof keys"_s).toString(), u"object"_s, LoadTimeoutMs);
        QVERIFY(m_browser->Busy());
    } else {
        navigateAndWait(url(path));
    }
    QShortcut stop(QKeySequence(Qt::Key_Escape), m_browser);
    QSignalSpy stopped(&stop, &QShortcut::activated);
    m_browser->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_browser));
    QWidget *page = m_browser->view()->focusProxy();
    page->setFocus();
    QTest::keyClick(page, Qt::Key(key));
    QTest::keyClick(page, Qt::Key_A);
    QTRY_VERIFY_WITH_TIMEOUT(evaluate(u"keys.includes('a')"_s).toBool(), LoadTimeoutMs);
    QCOMPARE(evaluate(u"keys"_s).toStringList(), pageKeys);
    QCOMPARE(stopped.count(), stops);
    QCOMPARE(m_browser->LocationURL(), url(path));
}

void tst_WebEngineBrowser::pageFullScreenShowsItAlone_data()
{
    QTest::addColumn<QString>("leave");
    QTest::newRow("Esc") << u"Esc"_s;
    QTest::newRow("F11") << u"F11"_s;
    QTest::newRow("the page leaves") << u"page"_s;
}

// A document window over the engine: the page's button asks for the full screen, and
// the page comes back to its place in the window, still working.
void tst_WebEngineBrowser::pageFullScreenShowsItAlone()
{
    QFETCH(QString, leave);
    EngineDocument doc;
    frmBrowser *w = doc.window;
    WebEngineBrowser *browser = doc.browser();
    const QRect place = browser->geometry();
    QSignalSpy completes(browser, &WebBrowser::DownloadComplete);
    browser->Navigate(url(u"/fullscreen"_s));
    QVERIFY(completes.wait(LoadTimeoutMs));
    auto fullScreen = [&] { return evaluate(u"document.fullscreenElement !== null"_s, browser).toBool(); };

    QTest::mouseClick(browser->view()->focusProxy(), Qt::LeftButton, {}, QPoint(50, 50));
    QTRY_VERIFY_WITH_TIMEOUT(w->fullScreenPage(), LoadTimeoutMs);
    QVERIFY(w->fullScreenPage()->isFullScreen());
    QCOMPARE(browser->window(), w->fullScreenPage());
    QTRY_VERIFY_WITH_TIMEOUT(fullScreen(), LoadTimeoutMs);
    const QSize screen = w->fullScreenPage()->screen()->size();
    QTRY_COMPARE_WITH_TIMEOUT(evaluate(u"innerWidth"_s, browser).toInt(), screen.width(), LoadTimeoutMs);

    QWidget *page = browser->view()->focusProxy();
    if (leave == u"Esc"_s)
        QTest::keyClick(page, Qt::Key_Escape);
    else if (leave == u"F11"_s)
        QTest::keyClick(page, Qt::Key_F11);
    else
        evaluate(u"document.exitFullscreen()"_s, browser);
    QTRY_VERIFY_WITH_TIMEOUT(!w->fullScreenPage(), LoadTimeoutMs);
    QCOMPARE(browser->parentWidget(), w);
    QCOMPARE(browser->geometry(), place);
    QVERIFY(browser->isVisible());
    QTRY_VERIFY_WITH_TIMEOUT(!fullScreen(), LoadTimeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(evaluate(u"innerWidth"_s, browser).toInt(), place.width(), LoadTimeoutMs);
    HistoryWriter::waitForAll();
}
