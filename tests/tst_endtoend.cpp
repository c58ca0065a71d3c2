// The real program under a virtual display, driven by keystrokes: start, type an address
// into a document window, press Enter, exit; then look at what it left behind.
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

class TestEndToEnd : public QObject
{
    Q_OBJECT

private:
    static QString xdotool(const QStringList &args)
    {
        QProcess p;
        p.start(QStringLiteral("xdotool"), args);
        p.waitForFinished(10000);
        return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    }
    // Keys go through the X test extension to the focused window; events sent to a
    // window directly are marked synthetic and Qt ignores them.
    static void keys(const QStringList &sequence)
    {
        for (const QString &k : sequence)
            xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), k});
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            QSKIP("needs a display; CTest runs this under xvfb-run");
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            QSKIP("needs xdotool");
    }

    void typeAnAddressAndExit()
    {
        LoopbackHttpServer server;
        QVERIFY(server.start());
        server.setPage(QStringLiteral("/typed"),
                       "<html><head><title>Typed page</title></head><body>typed</body></html>");

        // The program folder: a copy of the program, so what it writes beside itself
        // lands in a temporary folder.
        QTemporaryDir programFolder;
        QTemporaryDir home;
        const QString exe = QDir(programFolder.path()).filePath(QStringLiteral("halvane"));
        QVERIFY(QFile::copy(QStringLiteral(HALVANE_EXE), exe));

        // Placement covering the virtual screen: with no window manager nothing maximizes.
        const QString conf = QDir(home.path()).filePath(QStringLiteral("Halvane/Halvane.conf"));
        {
            QSettings s(conf, QSettings::IniFormat);
            s.setValue(QStringLiteral("Settings/MainLeft"), QStringLiteral("0"));
            s.setValue(QStringLiteral("Settings/MainTop"), QStringLiteral("0"));
            s.setValue(QStringLiteral("Settings/MainWidth"), QStringLiteral("15000"));
            s.setValue(QStringLiteral("Settings/MainHeight"), QStringLiteral("11250"));
        }

        // Every address off loopback goes to this proxy, which answers nothing but counts
        // the requests for the home page: the program's only outward sign of a new window.
        QTcpServer proxy;
        QVERIFY(proxy.listen(QHostAddress::LocalHost));
        int homePageRequests = 0;
        connect(&proxy, &QTcpServer::newConnection, &proxy, [&] {
            while (QTcpSocket *c = proxy.nextPendingConnection()) {
                connect(c, &QTcpSocket::readyRead, c, [&homePageRequests, c] {
                    if (c->readAll().contains("marrowdyne"))
                        ++homePageRequests;
                    c->close();
                });
                connect(c, &QTcpSocket::disconnected, c, &QObject::deleteLater);
            }
        });

        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
                   QStringLiteral("--disable-gpu --proxy-server=127.0.0.1:") + QString::number(proxy.serverPort()));
        program.setProcessEnvironment(env);
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        program.start(exe, {});
        QVERIFY(program.waitForStarted());

        QString window;
        QTRY_VERIFY_WITH_TIMEOUT(!(window = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                                                     QStringLiteral("^Halvane$")}))
                                      .isEmpty(),
                                 30000);
        window = window.section(QLatin1Char('\n'), 0, 0);

        // Document 1 is loading: the window is up. A new document window takes the focus
        // (once its page has started, nothing takes it away again); Alt+A reaches its box.
        QTRY_VERIFY_WITH_TIMEOUT(homePageRequests >= 1, 30000);
        // The splash has gone by now, and the input focus with it.
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QStringLiteral("200"),
                 QStringLiteral("5")});
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
        const int beforeNew = homePageRequests;
        keys({QStringLiteral("ctrl+n")});
        QTRY_VERIFY_WITH_TIMEOUT(homePageRequests > beforeNew, 30000);
        keys({QStringLiteral("alt+a"), QStringLiteral("ctrl+a")});
        xdotool({QStringLiteral("type"), QStringLiteral("--delay"),
                 QStringLiteral("10"), server.url(QStringLiteral("/typed")).toString()});
        keys({QStringLiteral("Return")});
        QTRY_VERIFY_WITH_TIMEOUT(server.requests().contains(QStringLiteral("/typed")), 30000);

        keys({QStringLiteral("alt+f"), QStringLiteral("x")});
        QVERIFY(program.waitForFinished(30000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);

        QSettings s(conf, QSettings::IniFormat);
        QCOMPARE(s.value(QStringLiteral("Settings/MainLeft")).toString(), QStringLiteral("0"));
        QCOMPARE(s.value(QStringLiteral("Settings/MainTop")).toString(), QStringLiteral("0"));
        QCOMPARE(s.value(QStringLiteral("Settings/MainWidth")).toString(), QStringLiteral("15000"));
        QCOMPARE(s.value(QStringLiteral("Settings/MainHeight")).toString(), QStringLiteral("11250"));
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
