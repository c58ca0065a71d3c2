// The real program under a virtual display, driven by keystrokes as a user would: start,
// type an address into a document window, press Enter, exit; then look at what it left
// behind and at what reached the loopback servers. The placement runs add a window
// manager and restart the program in the same home; the session runs restart it after
// File > Exit and after a kill.
#include "app/sessionfile.h"
#include "browser/historyfile.h"
#include "support/loopbackhttpserver.h"
#include "support/processtree.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

namespace {

QString xdotool(const QStringList &args)
{
    QProcess p;
    p.start(QStringLiteral("xdotool"), args);
    p.waitForFinished(10000);
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

// Keys go through the X test extension to the focused window; events sent to a window
// directly are marked synthetic and Qt ignores them.
void keys(const QStringList &sequence)
{
    for (const QString &k : sequence)
        xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), k});
}

void type(const QString &text)
{
    xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("10"), text});
}

QString output(const QString &program, const QStringList &args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(10000);
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

// The window's outer rectangle on screen, frame included, as the X server and the
// manager's own frame report tell it: not what the program believes.
QRect outerOnScreen(const QString &window)
{
    const QString info = output(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window});
    auto field = [&info](const char *name) {
        const QRegularExpression re(QLatin1String(name) + QStringLiteral(":\\s*(-?\\d+)"));
        return re.match(info).captured(1).toInt();
    };
    const QStringList extents = output(QStringLiteral("xprop"), {QStringLiteral("-id"), window,
                                                                 QStringLiteral("_NET_FRAME_EXTENTS")})
                                    .section(QLatin1Char('='), 1)
                                    .split(QLatin1Char(','));
    if (extents.size() != 4)
        return {};
    const int left = extents[0].toInt(), right = extents[1].toInt();
    const int top = extents[2].toInt(), bottom = extents[3].toInt();
    return {field("Absolute upper-left X") - left, field("Absolute upper-left Y") - top,
            field("Width") + left + right, field("Height") + top + bottom};
}

bool maximizedOnScreen(const QString &window)
{
    const QString state = output(QStringLiteral("xprop"), {QStringLiteral("-id"), window,
                                                           QStringLiteral("_NET_WM_STATE")});
    return state.contains(QLatin1String("_NET_WM_STATE_MAXIMIZED_VERT"))
        && state.contains(QLatin1String("_NET_WM_STATE_MAXIMIZED_HORZ"));
}

// A double click on the title bar, as a user restores or maximizes a window.
void doubleClickTitle(const QString &window)
{
    const QRect outer = outerOnScreen(window);
    xdotool({QStringLiteral("mousemove"), QString::number(outer.center().x()), QString::number(outer.top() + 8)});
    xdotool({QStringLiteral("click"), QStringLiteral("--repeat"), QStringLiteral("2"), QStringLiteral("1")});
}

// A window manager on the virtual display for as long as it lives.
class WindowManager
{
public:
    QProcess process;
    bool start()
    {
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        // The last test's manager may still be letting go of the display: take over from it.
        process.start(QStringLiteral("openbox"), {QStringLiteral("--replace")});
        if (!process.waitForStarted())
            return false;
        // The manager is up once it has announced itself on the root window.
        QDeadlineTimer deadline(20000);
        while (!deadline.hasExpired() && process.state() == QProcess::Running) {
            if (output(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                    .contains(QLatin1String("window id")))
                return true;
            QTest::qWait(50);
        }
        return false;
    }
    ~WindowManager()
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(5000);
    }
};

} // namespace

// One run of the program in a folder of its own, with its own settings, and every address
// off loopback sent to a proxy that answers nothing. A document window's home page is
// committed (as an error page) when its line appears in the history file: until then the
// window would put the home address back into its box over anything typed there.
class ProgramRun : public QObject
{
    Q_OBJECT
public:
    QTemporaryDir programFolder;
    QTemporaryDir home;
    QTcpServer proxy;
    QProcess program;
    QString window;
    qsizetype homePagesBefore = 0;
    // Where the program is told of the proxy: the engine's own switch, Internet Options,
    // or the environment's http_proxy. Only there: nothing else names one.
    enum class ProxyGiven { EngineSwitch, Options, Environment };
    ProxyGiven proxyGiven = ProxyGiven::EngineSwitch;
    // The first line of each request the proxy was sent.
    QStringList proxied;
    // What the program is started with.
    QStringList arguments;

    // A run that failed half-way leaves no program behind.
    ~ProgramRun() override
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(5000);
        }
    }

    QString settingsFile() const { return QDir(home.path()).filePath(QStringLiteral("Halvane/Halvane.conf")); }
    QString historyFile() const { return QDir(programFolder.path()).filePath(QStringLiteral("address.lst")); }
    QString sessionFile() const { return QDir(home.path()).filePath(QStringLiteral("data/Halvane/session.json")); }
    // The session kept now; none while there is no file, or none that reads.
    std::optional<sessionfile::Session> keptSession() const
    {
        QFile f(sessionFile());
        return f.open(QIODevice::ReadOnly) ? sessionfile::fromBytes(f.readAll()).session : std::nullopt;
    }

    // Starts the program; again after it has ended, it starts in the same folder and home.
    bool start()
    {
        const QString exe = QDir(programFolder.path()).filePath(QStringLiteral("halvane"));
        if (!proxy.isListening()) {
            if (!QFile::copy(QStringLiteral(HALVANE_EXE), exe) || !proxy.listen(QHostAddress::LocalHost))
                return false;
            connect(&proxy, &QTcpServer::newConnection, this, [this] {
                while (QTcpSocket *c = proxy.nextPendingConnection()) {
                    connect(c, &QTcpSocket::readyRead, c, [this, c] {
                        proxied << QString::fromLatin1(c->readLine().trimmed());
                        c->close();
                    });
                    connect(c, &QTcpSocket::disconnected, c, &QObject::deleteLater);
                }
            });
        }
        window.clear();
        homePagesBefore = homePagesShown();
        // Placement covering the virtual screen: with no window manager nothing maximizes.
        if (!QSettings(settingsFile(), QSettings::IniFormat).contains(QStringLiteral("Settings/MainLeft"))) {
            QSettings s(settingsFile(), QSettings::IniFormat);
            s.setValue(QStringLiteral("Settings/MainLeft"), QStringLiteral("0"));
            s.setValue(QStringLiteral("Settings/MainTop"), QStringLiteral("0"));
            s.setValue(QStringLiteral("Settings/MainWidth"), QStringLiteral("15000"));
            s.setValue(QStringLiteral("Settings/MainHeight"), QStringLiteral("11250"));
        }
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        // The browsing data too stays in the run's folder, never the user's.
        env.insert(QStringLiteral("XDG_DATA_HOME"), QDir(home.path()).filePath(QStringLiteral("data")));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), QDir(home.path()).filePath(QStringLiteral("cache")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        for (const char *name : {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "HTTP_PROXY", "HTTPS_PROXY",
                                 "ALL_PROXY", "NO_PROXY"})
            env.remove(QLatin1String(name));
        const QString port = QString::number(proxy.serverPort());
        if (proxyGiven == ProxyGiven::Options) {
            QSettings s(settingsFile(), QSettings::IniFormat);
            s.setValue(QStringLiteral("Options/ProxyMode"), QStringLiteral("manual"));
            s.setValue(QStringLiteral("Options/ProxyHost"), QStringLiteral("127.0.0.1"));
            s.setValue(QStringLiteral("Options/ProxyPort"), port);
        }
        if (proxyGiven == ProxyGiven::Environment)
            env.insert(QStringLiteral("http_proxy"), QStringLiteral("http://127.0.0.1:") + port);
        env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
                   processtree::engineFlags(proxyGiven == ProxyGiven::EngineSwitch ? proxy.serverPort() : 0));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(exe, arguments);
        return program.waitForStarted();
    }

    qsizetype homePagesShown() const
    {
        return historyfile::read(historyFile()).entries.count(QStringLiteral("http://www.marrowdyne.com/"));
    }

    // Waits for the main window and Document 1's home page (unless the run opens addresses
    // instead), then gives the window the input focus (the splash has gone by then, and the
    // focus with it).
    bool waitForMainWindow(bool homePage = true)
    {
        // A program that has ended will show nothing more: say so at once.
        QDeadlineTimer deadline(30000);
        auto waiting = [&] { return !deadline.hasExpired() && program.state() != QProcess::NotRunning; };
        while (window.isEmpty() && waiting()) {
            window = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                              QStringLiteral("^Halvane$")})
                         .section(QLatin1Char('\n'), 0, 0);
            QTest::qWait(100);
        }
        while (homePage && homePagesShown() <= homePagesBefore && waiting())
            QTest::qWait(50);
        if (window.isEmpty() || (homePage && homePagesShown() <= homePagesBefore))
            return false;
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QStringLiteral("200"),
                 QStringLiteral("5")});
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
        return true;
    }

    // Ctrl+N: a new document window, active, its home page shown.
    bool newDocumentWindow()
    {
        const qsizetype before = homePagesShown();
        keys({QStringLiteral("ctrl+n")});
        QDeadlineTimer deadline(30000);
        while (homePagesShown() == before && !deadline.hasExpired())
            QTest::qWait(50);
        return homePagesShown() > before;
    }

    QRect storedPlacement() const
    {
        QSettings s(settingsFile(), QSettings::IniFormat);
        auto value = [&s](const char *key) { return s.value(QLatin1String("Settings/") + QLatin1String(key)).toInt(); };
        return {value("MainLeft"), value("MainTop"), value("MainWidth"), value("MainHeight")};
    }

    bool exitByMenu()
    {
        keys({QStringLiteral("alt+f"), QStringLiteral("x")});
        return program.waitForFinished(30000) && program.exitStatus() == QProcess::NormalExit
            && program.exitCode() == 0;
    }
};

class tst_EndToEnd : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void typeAnAddressAndExit();
    void addressesOnTheCommandLine();
    void linkPingAndHistory();
    void pagesTakeTheChosenProxy_data();
    void pagesTakeTheChosenProxy();
    void signInLastsAcrossRestarts_data();
    void signInLastsAcrossRestarts();
    void placementAcrossRestarts_data();
    void placementAcrossRestarts();
    void windowsFromLastTime_data();
    void windowsFromLastTime();
};

void tst_EndToEnd::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs a display; CTest runs this under xvfb-run");
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QSKIP("needs xdotool");
}

void tst_EndToEnd::typeAnAddressAndExit()
{
    LoopbackHttpServer server;
    QVERIFY(server.start());
    server.setPage(QStringLiteral("/typed"),
                   "<html><head><title>Typed page</title></head><body>typed</body></html>");
    ProgramRun run;
    QVERIFY(run.start());
    QVERIFY(run.waitForMainWindow());
    QVERIFY(run.newDocumentWindow());
    keys({QStringLiteral("alt+a"), QStringLiteral("ctrl+a")});
    type(server.url(QStringLiteral("/typed")).toString());
    keys({QStringLiteral("Return")});
    QTRY_VERIFY_WITH_TIMEOUT(server.requests().contains(QStringLiteral("/typed")), 30000);
    QVERIFY(run.exitByMenu());

    QSettings s(run.settingsFile(), QSettings::IniFormat);
    QCOMPARE(s.value(QStringLiteral("Settings/MainLeft")).toString(), QStringLiteral("0"));
    QCOMPARE(s.value(QStringLiteral("Settings/MainTop")).toString(), QStringLiteral("0"));
    QCOMPARE(s.value(QStringLiteral("Settings/MainWidth")).toString(), QStringLiteral("15000"));
    QCOMPARE(s.value(QStringLiteral("Settings/MainHeight")).toString(), QStringLiteral("11250"));
}

void tst_EndToEnd::addressesOnTheCommandLine()
{
    LoopbackHttpServer server;
    QVERIFY(server.start());
    // Each page reports how long its window's history is: 1 in a window of its own that
    // went nowhere first (not the home page, not the other page).
    for (const char *name : {"one", "two"})
        server.setPage(QLatin1String("/") + QLatin1String(name),
                       QByteArray("<html><body><script>new Image().src = '/report?page=") + name
                           + "&length=' + history.length;</script></body></html>");
    ProgramRun run;
    run.arguments = {server.url(QStringLiteral("/one")).toString(), QStringLiteral("javascript:alert(1)"),
                     server.url(QStringLiteral("/two")).toString()};
    QVERIFY(run.start());
    QTRY_VERIFY_WITH_TIMEOUT(server.requests().contains(QStringLiteral("/report?page=one&length=1"))
                                 && server.requests().contains(QStringLiteral("/report?page=two&length=1")),
                             30000);
    QCOMPARE(server.requests().count(QStringLiteral("/one")), 1);
    QCOMPARE(server.requests().count(QStringLiteral("/two")), 1);
    QVERIFY(run.waitForMainWindow(false));
    QVERIFY(run.exitByMenu());
    // Neither window went to the home page on the way.
    QCOMPARE(run.homePagesShown(), 0);
}

void tst_EndToEnd::linkPingAndHistory()
{
    if (geteuid() != 0)
        QSKIP("the link ping goes to port 80, which needs root to listen on");
    LoopbackHttpServer server;
    QVERIFY(server.start(QHostAddress(QStringLiteral("127.0.0.9")), 80));
    server.setPage(QStringLiteral("/"), "<html><head><title>Pinged page</title></head><body>hi</body></html>");
    ProgramRun run;
    QVERIFY(run.start());
    QVERIFY(run.waitForMainWindow());
    // The tools panel is the active child at start: Tab to its switch, Space turns
    // link ping on.
    keys({QStringLiteral("Tab"), QStringLiteral("space")});
    QVERIFY(run.newDocumentWindow());
    keys({QStringLiteral("alt+a"), QStringLiteral("ctrl+a")});
    type(QStringLiteral("http://127.0.0.9/"));
    keys({QStringLiteral("Return")});
    QTRY_VERIFY_WITH_TIMEOUT(server.requests().contains(QStringLiteral("/")), 30000);
    // The ping: a connection to port 80 that says nothing and closes.
    QTRY_VERIFY_WITH_TIMEOUT(server.silentConnections() >= 1, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(historyfile::read(run.historyFile()).entries.contains(QStringLiteral("http://127.0.0.9/")),
                             10000);
    QVERIFY(run.exitByMenu());
    QFile f(run.historyFile());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    QVERIFY(bytes.startsWith("\r\n"));
    QVERIFY2(bytes.endsWith("http://127.0.0.9/\r\n"), bytes.constData());
}

// The pages go through the proxy the user chose in Internet Options, or with nothing
// stored there, through the one the system's settings name: the environment's
// http_proxy, or the engine's own switch. The home page's host is made up: only the
// proxy can answer for it.
void tst_EndToEnd::pagesTakeTheChosenProxy_data()
{
    QTest::addColumn<int>("given");
    QTest::newRow("manual proxy in Internet Options") << int(ProgramRun::ProxyGiven::Options);
    QTest::newRow("nothing stored, http_proxy") << int(ProgramRun::ProxyGiven::Environment);
    QTest::newRow("nothing stored, the engine's --proxy-server") << int(ProgramRun::ProxyGiven::EngineSwitch);
}

void tst_EndToEnd::pagesTakeTheChosenProxy()
{
    QFETCH(int, given);
    ProgramRun run;
    run.proxyGiven = ProgramRun::ProxyGiven(given);
    QVERIFY(run.start());
    QVERIFY(run.waitForMainWindow());
    QTRY_VERIFY_WITH_TIMEOUT(run.proxied.contains(QStringLiteral("GET http://www.marrowdyne.com/ HTTP/1.1")), 10000);
    QVERIFY(run.exitByMenu());
}

void tst_EndToEnd::signInLastsAcrossRestarts_data()
{
    QTest::addColumn<QString>("keep"); // Options/KeepBrowsingData; empty: never set
    QTest::addColumn<QString>("seen"); // what the second session's page finds
    QTest::newRow("kept") << QString() << QStringLiteral("/seen?sid=abc123&v");
    QTest::newRow("nothing kept") << QStringLiteral("0") << QStringLiteral("/seen?&null");
}

// A site's lasting cookie (a sign-in) and its stored value, set in one session, are
// there in the next, unless the user keeps nothing.
void tst_EndToEnd::signInLastsAcrossRestarts()
{
    QFETCH(QString, keep);
    QFETCH(QString, seen);
    LoopbackHttpServer server;
    QVERIFY(server.start());
    server.setPage(QStringLiteral("/signin"), "<html><head><title>Signed in</title></head><body><script>"
                                              "localStorage.setItem('k', 'v'); fetch('/stored')"
                                              "</script></body></html>");
    server.setPage(QStringLiteral("/stored"), "ok", "text/plain");
    server.addHeader(QStringLiteral("/signin"), "Set-Cookie: sid=abc123; Max-Age=86400; Path=/");
    server.setPage(QStringLiteral("/check"), "<html><body><script>"
                                             "fetch('/seen?' + document.cookie + '&' + localStorage.getItem('k'))"
                                             "</script></body></html>");
    server.setPage(QStringLiteral("/seen"), "ok", "text/plain");
    ProgramRun run;
    if (!keep.isEmpty())
        QSettings(run.settingsFile(), QSettings::IniFormat).setValue(QStringLiteral("Options/KeepBrowsingData"), keep);
    for (const char *path : {"/signin", "/check"}) {
        QVERIFY(run.start());
        QVERIFY(run.waitForMainWindow());
        QVERIFY(run.newDocumentWindow());
        keys({QStringLiteral("alt+a"), QStringLiteral("ctrl+a")});
        type(server.url(QLatin1String(path)).toString());
        keys({QStringLiteral("Return")});
        QTRY_VERIFY_WITH_TIMEOUT(server.requests().contains(QLatin1String(path)), 30000);
        // The page's script has run: the value is stored, the check's answer sent.
        const QString after = QByteArray(path) == "/check" ? QStringLiteral("/seen") : QStringLiteral("/stored");
        QTRY_VERIFY_WITH_TIMEOUT(!server.requests().filter(after).isEmpty(), 30000);
        QVERIFY(run.exitByMenu());
    }
    QCOMPARE(server.requests().filter(QStringLiteral("/seen")), QStringList{seen});
    QCOMPARE(QFile::exists(QDir(run.home.path()).filePath(QStringLiteral("data/Halvane/Cookies"))), keep != u"0");
}

void tst_EndToEnd::placementAcrossRestarts_data()
{
    QTest::addColumn<bool>("endMaximized");
    QTest::newRow("placed by hand") << false;
    QTest::newRow("ended maximized") << true;
}

// Under a manager that frames the window, the outer placement stored at exit is the one
// the next start comes back to, however often; the window opens maximized every time.
void tst_EndToEnd::placementAcrossRestarts()
{
    QFETCH(bool, endMaximized);
    for (const char *tool : {"openbox", "xwininfo", "xprop"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("needs %1").arg(QLatin1String(tool))));
    }
    WindowManager manager;
    QVERIFY(manager.start());
    ProgramRun run;
    QVERIFY(run.start());
    QVERIFY(run.waitForMainWindow());
    QTRY_VERIFY(maximizedOnScreen(run.window));
    if (!endMaximized) {
        doubleClickTitle(run.window);
        QTRY_VERIFY(!maximizedOnScreen(run.window));
        xdotool({QStringLiteral("windowsize"), QStringLiteral("--sync"), run.window, QStringLiteral("700"),
                 QStringLiteral("500")});
        xdotool({QStringLiteral("windowmove"), QStringLiteral("--sync"), run.window, QStringLiteral("150"),
                 QStringLiteral("120")});
        QTest::qWait(300);
    }
    const QRect outer = outerOnScreen(run.window);
    QVERIFY(outer.isValid());
    QVERIFY(run.exitByMenu());
    const QRect stored = run.storedPlacement();
    QCOMPARE(stored, QRect(outer.topLeft() * 15, outer.size() * 15));

    for (int restart = 1; restart <= 3; ++restart) {
        QVERIFY(run.start());
        QVERIFY(run.waitForMainWindow());
        QTRY_VERIFY(maximizedOnScreen(run.window));
        const bool lastRun = restart == 3;
        if (!endMaximized || lastRun) {
            doubleClickTitle(run.window);
            QTRY_VERIFY(!maximizedOnScreen(run.window));
            QTRY_COMPARE(outerOnScreen(run.window), outer);
        }
        QVERIFY(run.exitByMenu());
        QCOMPARE(run.storedPlacement(), stored);
    }
}

void tst_EndToEnd::windowsFromLastTime_data()
{
    QTest::addColumn<bool>("killed");
    QTest::newRow("after File > Exit") << false;
    QTest::newRow("after kill -9") << true;
}

// Three windows opened from the command line, tiled, the second made active; the program
// ends by File > Exit, or is killed outright a second and a half after that last change.
// The next start (the windows from last time chosen) opens the same windows: each page
// asked for again, and the session it keeps is the one left behind, places and the active
// one included.
void tst_EndToEnd::windowsFromLastTime()
{
    QFETCH(bool, killed);
    LoopbackHttpServer server;
    QVERIFY(server.start());
    QStringList pages;
    for (const char *name : {"one", "two", "three"}) {
        const QString path = QLatin1String("/") + QLatin1String(name);
        server.setPage(path, QByteArray("<html><head><title>") + name + "</title></head><body>" + name + "</body></html>");
        pages << server.url(path).toString();
    }
    ProgramRun run;
    QSettings(run.settingsFile(), QSettings::IniFormat).setValue(QStringLiteral("Options/StartWith"),
                                                                 QStringLiteral("lastwindows"));
    run.arguments = pages;
    QVERIFY(run.start());
    QVERIFY(run.waitForMainWindow(false));
    const auto allAsked = [&server](qsizetype times) {
        for (const char *path : {"/one", "/two", "/three"}) {
            if (server.requests().count(QLatin1String(path)) < times)
                return false;
        }
        return true;
    };
    QTRY_VERIFY_WITH_TIMEOUT(allAsked(1), 30000);
    const auto addresses = [](const sessionfile::Session &s) {
        QStringList out;
        for (const sessionfile::Window &w : s.windows)
            out << w.address;
        return out;
    };
    QTRY_VERIFY_WITH_TIMEOUT(run.keptSession() && addresses(*run.keptSession()) == pages, 10000);
    const sessionfile::Session opened = *run.keptSession();

    keys({QStringLiteral("alt+w"), QStringLiteral("v")});
    keys({QStringLiteral("alt+w"), QStringLiteral("2")});
    if (killed) {
        // No more than the last second is lost: this is well past it.
        QTest::qWait(1500);
        processtree::killTree(pid_t(run.program.processId()));
        QVERIFY(run.program.waitForFinished(10000));
    } else {
        QVERIFY(run.exitByMenu());
    }
    const std::optional<sessionfile::Session> left = run.keptSession();
    QVERIFY(left);
    QCOMPARE(left->endedCleanly, !killed);
    QCOMPARE(addresses(*left), pages);
    QCOMPARE(left->active, 1);
    for (qsizetype i = 0; i < pages.size(); ++i)
        QVERIFY2(left->windows[i].place != opened.windows[i].place, "tiled");

    const QDateTime restarted = QDateTime::currentDateTime();
    run.arguments.clear();
    QVERIFY(run.start());
    QVERIFY(run.waitForMainWindow(false));
    QTRY_VERIFY_WITH_TIMEOUT(allAsked(2), 30000);
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(run.sessionFile()).lastModified() > restarted, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(run.keptSession()->windows, left->windows, 10000);
    QCOMPARE(run.keptSession()->active, 1);
    QCOMPARE(run.keptSession()->endedCleanly, false);
    QVERIFY(run.exitByMenu());
    QCOMPARE(run.keptSession()->windows, left->windows);
}

QTEST_GUILESS_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
