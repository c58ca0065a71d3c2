#include "browser/frmBrowser.h"
#include "browser/linkping.h"
#include "support/documentfixture.h"
#include "system/pingsocket.h"
#include "windows/frmtool2.h"

#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <unistd.h>

// The link ping of a document window: the host taken from the address, the connect to
// port 80, and what the tools panel shows.
class tst_LinkPing : public QObject, protected DocumentFixture
{
    Q_OBJECT

private:
    frmtool2 *panel() { return host->tools.get(); }

    static bool listenOn80(QTcpServer &server, const QString &address);

private Q_SLOTS:
    void init();
    void cleanup();

    void hostFromTheAddress_data();
    void hostFromTheAddress();
    void offStartsNothing();
    void addressesThatCannotBePinged_data();
    void addressesThatCannotBePinged();
    void pingShowsTheAddressAndTheTime();
    void pingThatNeverConnectsTimesOut_data();
    void pingThatNeverConnectsTimesOut();
};

// A listener on port 80 of a loopback address of its own; port 80 needs root.
bool tst_LinkPing::listenOn80(QTcpServer &server, const QString &address)
{
    return server.listen(QHostAddress(address), 80);
}

void tst_LinkPing::init()
{
    setUp();
}

void tst_LinkPing::cleanup()
{
    tearDown();
}

void tst_LinkPing::hostFromTheAddress_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("remainder");
    QTest::addColumn<int>("slash");
    QTest::addColumn<QString>("host");
    QTest::newRow("bare host") << QStringLiteral("http://127.0.0.1/") << QStringLiteral("127.0.0.1/") << 10
                               << QStringLiteral("127.0.0.1");
    QTest::newRow("path glued on") << QStringLiteral("http://www.a.test/help/x") << QStringLiteral("www.a.test/help/x")
                                   << 11 << QStringLiteral("www.a.testhelpx");
    QTest::newRow("other scheme kept") << QStringLiteral("https://a.test/") << QStringLiteral("https://a.test/")
                                       << 7 << QStringLiteral("https:a.test");
    QTest::newRow("port kept") << QStringLiteral("http://a.test:8080/") << QStringLiteral("a.test:8080/") << 12
                               << QStringLiteral("a.test:8080");
    QTest::newRow("no slash") << QStringLiteral("http://a.test") << QStringLiteral("a.test") << 0
                              << QStringLiteral("a.test");
    QTest::newRow("every prefix removed") << QStringLiteral("http://x.test/http://y.test/")
                                          << QStringLiteral("x.test/y.test/") << 7 << QStringLiteral("x.testy.test");
    QTest::newRow("prefix is case-sensitive") << QStringLiteral("HTTP://a.test/") << QStringLiteral("HTTP://a.test/")
                                              << 6 << QStringLiteral("HTTP:a.test");
    QTest::newRow("empty") << QString() << QString() << 0 << QString();
}

void tst_LinkPing::hostFromTheAddress()
{
    QFETCH(QString, url);
    QFETCH(QString, remainder);
    QFETCH(int, slash);
    QFETCH(QString, host);
    const LinkPing::Target t = LinkPing::parse(url);
    QCOMPARE(t.remainder, remainder);
    QCOMPARE(t.slash, slash);
    QCOMPARE(t.host, host);
}

void tst_LinkPing::offStartsNothing()
{
    frmBrowser *w = newWindow();
    Q_EMIT w->brwWebBrowser->BeforeNavigate2(QStringLiteral("http://127.0.0.1/"));
    QVERIFY(!w->Timer1->isActive());
    // The panel was not even touched, let alone loaded.
    QCOMPARE(host->tools.loaded(), nullptr);
}

void tst_LinkPing::addressesThatCannotBePinged_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("shownFirst");
    QTest::newRow("no slash") << QStringLiteral("http://127.0.0.1") << QString();
    QTest::newRow("explicit port") << QStringLiteral("http://127.0.0.1:8080/") << QString();
    QTest::newRow("other scheme") << QStringLiteral("https://127.0.0.1/") << QString();
    QTest::newRow("a path: a name that does not resolve") << QStringLiteral("http://127.0.0.1/help")
                                                          << QStringLiteral("127.0.0.1help");
    QTest::newRow("bracketed IPv6 literal") << QStringLiteral("http://[::1]/") << QString();
    QTest::newRow("internationalized name that does not resolve")
        << QStringLiteral("http://b\u00FCcher.example/") << QStringLiteral("b\u00FCcher.example");
    QTest::newRow("a very long host") << QStringLiteral("http://") + QString(10000, QLatin1Char('a')) + QLatin1Char('/')
                                      << QString();
}

void tst_LinkPing::addressesThatCannotBePinged()
{
    QFETCH(QString, url);
    QFETCH(QString, shownFirst);
    host->shared.LinkPingEnabled = true;
    frmBrowser *w = newWindow();
    Q_EMIT w->brwWebBrowser->BeforeNavigate2(url);
    if (!shownFirst.isEmpty()) {
        // Well formed: shown and tried, failing when its lookup does.
        QCOMPARE(panel()->Text1->text(), shownFirst);
        QVERIFY(w->Timer1->isActive());
    }
    QTRY_COMPARE(panel()->Text1->text(), LinkPing::failureMessage());
    QCOMPARE(panel()->Text1->toolTip(), LinkPing::failureMessage());
    QVERIFY(LinkPing::failureMessage().startsWith(QLatin1String("Only domains may be pinged (i.e ")));
}

void tst_LinkPing::pingShowsTheAddressAndTheTime()
{
    if (geteuid() != 0)
        QSKIP("listening on port 80 needs root");
    QTcpServer server;
    QVERIFY2(listenOn80(server, QStringLiteral("127.0.0.7")), qPrintable(server.errorString()));
    host->shared.LinkPingEnabled = true;
    frmBrowser *w = newWindow();
    Q_EMIT w->brwWebBrowser->BeforeNavigate2(QStringLiteral("http://127.0.0.7/"));
    QCOMPARE(panel()->Text1->text(), QStringLiteral("127.0.0.7"));
    QCOMPARE(panel()->Text1->selectedText(), QStringLiteral("127.0.0.7"));
    QVERIFY(w->Timer1->isActive());
    QTRY_COMPARE(panel()->Label1->text(), QStringLiteral("127.0.0.7"));
    QCOMPARE(panel()->Label1->toolTip(), QStringLiteral("127.0.0.7"));
    QVERIFY2(panel()->Label2->text().endsWith(QLatin1String("/ms")), qPrintable(panel()->Label2->text()));
    QVERIFY(!w->Timer1->isActive());
    QCOMPARE(host->shared.PingTicks.text(), QStringLiteral("0"));
    // The connection is closed straight away, nothing sent.
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket *peer = server.nextPendingConnection();
    QTRY_VERIFY(peer->state() != QAbstractSocket::ConnectedState || peer->waitForDisconnected(100));
    QCOMPARE(peer->bytesAvailable(), 0);
    QVERIFY(!w->Socket1->isConnected());
}

void tst_LinkPing::pingThatNeverConnectsTimesOut_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("listening");
    QTest::newRow("never answered") << QStringLiteral("127.0.0.8") << true;
    // Nothing listens there: the connect is refused at once, and the window still
    // waits out its time-out, showing nothing.
    QTest::newRow("refused") << QStringLiteral("127.0.0.98") << false;
}

void tst_LinkPing::pingThatNeverConnectsTimesOut()
{
    QFETCH(QString, address);
    QFETCH(bool, listening);
    QTcpServer server;
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    if (listening) {
        if (geteuid() != 0)
            QSKIP("listening on port 80 needs root");
        // A listener that accepts nobody, its backlog full: further connects hang.
        server.setListenBacklogSize(0);
        QVERIFY2(listenOn80(server, address), qPrintable(server.errorString()));
        server.pauseAccepting();
        for (int i = 0; i < 4; ++i) {
            fillers.push_back(std::make_unique<QTcpSocket>());
            fillers.back()->connectToHost(QHostAddress(address), 80);
        }
        QTest::qWait(100);
    } else {
        // Make sure it is refused: nothing may be listening there.
        QTcpSocket probe;
        probe.connectToHost(QHostAddress(address), 80);
        QVERIFY(!probe.waitForConnected(1000));
        QCOMPARE(probe.error(), QAbstractSocket::ConnectionRefusedError);
    }

    host->shared.LinkPingEnabled = true;
    frmBrowser *w = newWindow();
    panel()->Label2->setText(QStringLiteral("earlier/ms"));
    QElapsedTimer clock;
    clock.start();
    Q_EMIT w->brwWebBrowser->BeforeNavigate2(QStringLiteral("http://") + address + QLatin1Char('/'));
    QVERIFY(w->Timer1->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(!w->Timer1->isActive(), 5000);
    QVERIFY(clock.elapsed() >= 1000);
    QVERIFY(clock.elapsed() < 3000);
    QCOMPARE(host->shared.PingTicks.text(), QStringLiteral("0"));
    QCOMPARE(panel()->Label2->text(), QStringLiteral("earlier/ms"));
    // No failure message either: the address was a host, it just did not answer.
    QCOMPARE(panel()->Text1->text(), address);
}

QTEST_MAIN(tst_LinkPing)
#include "tst_linkping.moc"
