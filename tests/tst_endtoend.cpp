// The real program under a virtual display, driven by keystrokes as a user would: start,
// type an address into a document window, press Enter, exit; then look at what it left
// behind and at what reached the loopback servers.
#include "browser/historyfile.h"
#include "support/loopbackhttpserver.h"

#include <QDir>
#include <QFile>
#include <QProcess>
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

    QString settingsFile() const { return QDir(home.path()).filePath(QStringLiteral("Halvane/Halvane.conf")); }
    QString historyFile() const { return QDir(programFolder.path()).filePath(QStringLiteral("address.lst")); }

    bool start()
    {
        const QString exe = QDir(programFolder.path()).filePath(QStringLiteral("halvane"));
        if (!QFile::copy(QStringLiteral(HALVANE_EXE), exe) || !proxy.listen(QHostAddress::LocalHost))
            return false;
        connect(&proxy, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *c = proxy.nextPendingConnection()) {
                connect(c, &QTcpSocket::readyRead, c, [c] { c->close(); });
                connect(c, &QTcpSocket::disconnected, c, &QObject::deleteLater);
            }
        });
        // Placement covering the virtual screen: with no window manager nothing maximizes.
        {
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
        env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
                   QStringLiteral("--disable-gpu --proxy-server=127.0.0.1:") + QString::number(proxy.serverPort()));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(exe, {});
        return program.waitForStarted();
    }

    qsizetype homePagesShown() const
    {
        return historyfile::read(historyFile()).entries.count(QStringLiteral("http://www.marrowdyne.com/"));
    }

    // Waits for the main window and Document 1's home page, then gives the window the
    // input focus (the splash has gone by then, and the focus with it).
    bool waitForMainWindow()
    {
        QDeadlineTimer deadline(30000);
        while (window.isEmpty() && !deadline.hasExpired()) {
            window = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                              QStringLiteral("^Halvane$")})
                         .section(QLatin1Char('\n'), 0, 0);
            QTest::qWait(100);
        }
        while (homePagesShown() < 1 && !deadline.hasExpired())
            QTest::qWait(50);
        if (window.isEmpty() || homePagesShown() < 1)
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
    void linkPingAndHistory();
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

QTEST_GUILESS_MAIN(tst_EndToEnd)
#include "tst_endtoend.moc"
