#include "system/pingsocket.h"
#include "system/proxychoice.h"
#include "system/settingsstore.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QPointer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QString machineAddress = u"192.0.2.7"_s;

// Answers a moment later, as a real lookup would, and never asks a name server: numeric
// addresses stand for themselves, "localhost" and names under it are 127.0.0.1, and
// every other name is not found.
struct LoopbackResolver
{
    QStringList asked;

    PingSocket::Resolver hook()
    {
        return [this](const QString &host, QObject *context,
                      std::function<void(const QList<QHostAddress> &)> done) {
            asked << host;
            QList<QHostAddress> found;
            QHostAddress literal;
            if (literal.setAddress(host))
                found << literal;
            else if (host == "localhost"_L1 || host.endsWith(".localhost"_L1))
                found << QHostAddress(QHostAddress::LocalHost);
            QTimer::singleShot(0, context, [done = std::move(done), found] { done(found); });
        };
    }
};

// The setup a document window makes at its load, in its order.
std::unique_ptr<PingSocket> windowSocket(LoopbackResolver &resolver)
{
    auto socket = std::make_unique<PingSocket>([] { return machineAddress; }, nullptr,
                                               resolver.hook());
    socket->setBufferSize(1024);
    return socket;
}

// Nothing left under way or open: no lookup, no socket, not even one still closing.
bool settled(const PingSocket &socket)
{
    return socket.children().isEmpty();
}

QList<QTcpSocket *> socketsOf(const PingSocket &socket)
{
    return socket.findChildren<QTcpSocket *>();
}

// A host name of exactly length characters, in labels the DNS allows.
QString longName(int length)
{
    QString name(length, u'a');
    for (int i = 50; i < length - 1; i += 51)
        name[i] = u'.';
    return name;
}

} // namespace

class tst_PingSocket : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void isHostName_data();
    void isHostName();
    void connects_data();
    void connects();
    void readDropsWhatArrives();
    void refusedConnectionRaisesNothing();
    void unknownNameFails();
    void refusedTarget_data();
    void refusedTarget();
    void unknownActionsRefused_data();
    void unknownActionsRefused();
    void secondConnectReplacesPendingOne();
    void staleLookupAnswersIgnored();
    void localAddressFallsBack();
    void pingsPort80();
    void followsTheChosenProxy_data();
    void followsTheChosenProxy();
};

void tst_PingSocket::isHostName_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("empty") << QString() << false;
    QTest::newRow("one letter") << u"a"_s << true;
    QTest::newRow("dotted name") << u"www.example.com"_s << true;
    QTest::newRow("underscore and dash") << u"my_host-1.example"_s << true;
    QTest::newRow("trailing root dot") << u"example.com."_s << true;
    QTest::newRow("IPv4 literal") << u"127.0.0.1"_s << true;
    QTest::newRow("with port") << u"host:8080"_s << false;
    QTest::newRow("colon alone") << u":"_s << false;
    QTest::newRow("space") << u"a b"_s << false;
    QTest::newRow("scheme") << u"https:host"_s << false;
    QTest::newRow("bracketed IPv6") << u"[::1]"_s << false;
    QTest::newRow("bare IPv6") << u"::1"_s << false;
    QTest::newRow("user") << u"user@host"_s << false;
    QTest::newRow("path") << u"host/path"_s << false;
    QTest::newRow("253 characters") << longName(253) << true;
    QTest::newRow("254 characters") << longName(254) << false;
    QTest::newRow("10,000 characters") << QString(10000, u'a') << false;
    QTest::newRow("64-character label") << QString(64, u'a') + u".example"_s << false;
    QTest::newRow("empty label") << u"a..b"_s << false;
    QTest::newRow("leading dot") << u".example"_s << false;
    QTest::newRow("dot alone") << u"."_s << false;
    QTest::newRow("internationalized") << u"bücher.example"_s << true;
    QTest::newRow("non-BMP letter") << u"\U00020000.example"_s << true;
    QTest::newRow("non-ASCII symbol") << u"a\u2603b.example"_s << false;
    QTest::newRow("lone surrogate") << u"a\xD800.example"_s << false;
    // Short in Unicode, too long once converted to the form that is looked up.
    QTest::newRow("long once converted") << QString(60, u'ü') + u".example"_s << false;
    QTest::newRow("tab") << u"a\tb.example"_s << false;
    QTest::newRow("NUL") << QString(u"a\0b.example"_s) << false;
    QTest::newRow("newline at end") << u"example.com\n"_s << false;
}

void tst_PingSocket::isHostName()
{
    QFETCH(QString, host);
    QFETCH(bool, accepted);
    QCOMPARE(PingSocket::isHostName(host), accepted);
}

void tst_PingSocket::connects_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("lookedUp");
    QTest::addColumn<QString>("listenOn");

    QTest::newRow("127.0.0.1") << u"127.0.0.1"_s << u"127.0.0.1"_s << u"127.0.0.1"_s;
    QTest::newRow("127.0.0.5") << u"127.0.0.5"_s << u"127.0.0.5"_s << u"127.0.0.5"_s;
    QTest::newRow("name") << u"localhost"_s << u"localhost"_s << u"127.0.0.1"_s;
    QTest::newRow("internationalized name")
        << u"bücher.localhost"_s << u"xn--bcher-kva.localhost"_s << u"127.0.0.1"_s;
}

void tst_PingSocket::connects()
{
    QFETCH(QString, host);
    QFETCH(QString, lookedUp);
    QFETCH(QString, listenOn);

    QTcpServer server;
    if (!server.listen(QHostAddress(listenOn)))
        QSKIP(qPrintable(u"cannot listen on "_s + listenOn + u": "_s + server.errorString()));

    LoopbackResolver resolver;
    auto socket = windowSocket(resolver);
    QSignalSpy connected(socket.get(), &PingSocket::connected);
    QSignalSpy failed(socket.get(), &PingSocket::lookupFailed);
    QCOMPARE(socket->localAddress(), machineAddress);

    QVERIFY(socket->setHostName(host));
    QCOMPARE(socket->hostName(), host);
    socket->setRemotePort(server.serverPort());
    QVERIFY(socket->setAction(PingSocket::ActionConnect));
    // It returned before connecting.
    QCOMPARE(connected.size(), 0);
    QVERIFY(!socket->isConnected());

    QVERIFY(connected.wait());
    QCOMPARE(resolver.asked, QStringList{lookedUp});
    QVERIFY(socket->isConnected());
    QCOMPARE(socket->remoteAddress(), listenOn);
    QVERIFY2(QHostAddress(socket->localAddress()).isLoopback(), qPrintable(socket->localAddress()));

    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket *peer = server.nextPendingConnection();
    QSignalSpy peerGone(peer, &QTcpSocket::disconnected);
    QVERIFY(socket->setAction(PingSocket::ActionClose));
    QVERIFY(!socket->isConnected());
    QCOMPARE(socket->remoteAddress(), QString());
    QCOMPARE(socket->localAddress(), machineAddress);
    QVERIFY(peerGone.wait());
    QTRY_VERIFY(settled(*socket));
    QCOMPARE(connected.size(), 1);
    QCOMPARE(failed.size(), 0);
}

void tst_PingSocket::readDropsWhatArrives()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    LoopbackResolver resolver;
    auto socket = windowSocket(resolver);
    QSignalSpy connected(socket.get(), &PingSocket::connected);
    QSignalSpy read(socket.get(), &PingSocket::dataArrived);
    // Answers as the window does.
    connect(socket.get(), &PingSocket::dataArrived, socket.get(),
            [s = socket.get()](int length, bool) { s->setReceiveLength(length); });

    QVERIFY(socket->setHostName(u"127.0.0.1"_s));
    socket->setRemotePort(server.serverPort());
    QVERIFY(socket->setAction(PingSocket::ActionConnect));
    QVERIFY(connected.wait());
    QTRY_VERIFY(server.hasPendingConnections());
    QTcpSocket *peer = server.nextPendingConnection();

    peer->write("hello");
    QVERIFY(read.wait());
    QCOMPARE(read.first().at(0).toInt(), 5);
    QCOMPARE(read.first().at(1).toBool(), false);
    QCOMPARE(socket->receiveLength(), 5);

    // More than the buffer holds: all of it is reported, in pieces, none kept.
    read.clear();
    const int total = 3000;
    peer->write(QByteArray(total, 'x'));
    const auto reported = [&read] {
        int sum = 0;
        for (const QList<QVariant> &args : std::as_const(read))
            sum += args.at(0).toInt();
        return sum;
    };
    QTRY_COMPARE(reported(), total);
    QVERIFY(socketsOf(*socket).size() == 1);
    QCOMPARE(socketsOf(*socket).first()->bytesAvailable(), 0);

    // The far end closing leaves nothing open here.
    peer->disconnectFromHost();
    QTRY_VERIFY(!socket->isConnected());
    QTRY_VERIFY(settled(*socket));
}

void tst_PingSocket::refusedConnectionRaisesNothing()
{
    quint16 closedPort = 0;
    {
        QTcpServer gone;
        QVERIFY(gone.listen(QHostAddress::LocalHost));
        closedPort = gone.serverPort();
    }
    LoopbackResolver resolver;
    auto socket = windowSocket(resolver);
    QSignalSpy connected(socket.get(), &PingSocket::connected);
    QSignalSpy failed(socket.get(), &PingSocket::lookupFailed);

    QVERIFY(socket->setHostName(u"127.0.0.1"_s));
    socket->setRemotePort(closedPort);
    for (int attempt = 0; attempt < 3; ++attempt) {
        QVERIFY(socket->setAction(PingSocket::ActionConnect));
        QVERIFY(!settled(*socket));
        // Refused: the socket closes and goes, and the window hears nothing.
        QTRY_VERIFY(settled(*socket));
        QVERIFY(!socket->isConnected());
    }
    QCOMPARE(connected.size(), 0);
    QCOMPARE(failed.size(), 0);

    // Still good for the next ping.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    socket->setRemotePort(server.serverPort());
    QVERIFY(socket->setAction(PingSocket::ActionConnect));
    QVERIFY(connected.wait());
    QVERIFY(socket->isConnected());
    QCOMPARE(failed.size(), 0);
}

void tst_PingSocket::unknownNameFails()
{
    LoopbackResolver resolver;
    auto socket = windowSocket(resolver);
    QSignalSpy connected(socket.get(), &PingSocket::connected);
    QSignalSpy failed(socket.get(), &PingSocket::lookupFailed);

    QVERIFY(socket->setHostName(u"nowhere.invalid"_s));
    socket->setRemotePort(80);
    QVERIFY(socket->setAction(PingSocket::ActionConnect));
    QCOMPARE(failed.size(), 0);
    QVERIFY(failed.wait());
    QCOMPARE(failed.size(), 1);
    QCOMPARE(connected.size(), 0);
    QCOMPARE(resolver.asked, QStringList{u"nowhere.invalid"_s});
    QVERIFY(!socket->isConnected());
    QTRY_VERIFY(settled(*socket));
}

void tst_PingSocket::refusedTarget_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");

    QTest::newRow("empty host") << QString() << 80;
    QTest::newRow("colon") << u":"_s << 80;
    QTest::newRow("host with port") << u"127.0.0.1:80"_s << 80;
    QTest::newRow("spaces") << u"  127.0.0.1 "_s << 80;
    QTest::newRow("bracketed IPv6") << u"[::1]"_s << 80;
    QTest::newRow("10,000 characters") << QString(10000, u'a') << 80;
    QTest::newRow("10,000 characters with a colon") << QString(9999, u'a') + u':' << 80;
    QTest::newRow("control character") << u"127.0.0.1\x01"_s << 80;
    QTest::newRow("port 0") << u"127.0.0.1"_s << 0;
    QTest::newRow("negative port") << u"127.0.0.1"_s << -1;
    QTest::newRow("port 65536") << u"127.0.0.1"_s << 65536;
}

void tst_PingSocket::refusedTarget()
{
    QFETCH(QString, host);
    QFETCH(int, port);

    LoopbackResolver resolver;
    auto socket = windowSocket(resolver);
    QSignalSpy connected(socket.get(), &PingSocket::connected);
    QSignalSpy failed(socket.get(), &PingSocket::lookupFailed);
    // A good name held from before must not be the one pinged.
    QVERIFY(socket->setHostName(u"127.0.0.2"_s));

    QElapsedTimer clock;
    clock.start();
    const bool hostAccepted = socket->setHostName(host);
    socket->setRemotePort(port);
    QVERIFY(!socket->setAction(PingSocket::ActionConnect));
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));

    QCOMPARE(hostAccepted, PingSocket::isHostName(host));
    QCOMPARE(socket->hostName(), hostAccepted ? host : QString());
    // Nothing was started: no lookup, no socket, nothing still to come.
    QVERIFY(resolver.asked.isEmpty());
    QVERIFY(settled(*socket));
    QCOMPARE(connected.size(), 0);
    QCOMPARE(failed.size(), 0);
}

void tst_PingSocket::unknownActionsRefused_data()
{
    QTest::addColumn<int>("action");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("0") << 0 << false;
    QTest::newRow("1") << 1 << false;
    QTest::newRow("3") << 3 << false;
    QTest::newRow("6") << 6 << false;
    QTest::newRow("8") << 8 << false;
    QTest::newRow("-2") << -2 << false;
    QTest::newRow("close with nothing open") << 7 << true;
}

void tst_PingSocket::unknownActionsRefused()
{
    QFETCH(int, action);
    QFETCH(bool, accepted);

    LoopbackResolver resolver;
    auto socket = windowSocket(resolver);
    QVERIFY(socket->setHostName(u"127.0.0.1"_s));
    socket->setRemotePort(80);
    QCOMPARE(socket->setAction(PingSocket::Action(action)), accepted);
    QVERIFY(resolver.asked.isEmpty());
    QVERIFY(settled(*socket));
    QVERIFY(!socket->isConnected());
}

void tst_PingSocket::secondConnectReplacesPendingOne()
{
    // A listener that never accepts and whose queue is full: a further connect waits in
    // SYN_SENT, as one to an unanswering host would.
    QTcpServer stalled;
    stalled.setListenBacklogSize(0);
    stalled.setMaxPendingConnections(1);
    QVERIFY(stalled.listen(QHostAddress::LocalHost));
    stalled.pauseAccepting();
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    bool full = false;
    while (!full && fillers.size() < 16) {
        fillers.push_back(std::make_unique<QTcpSocket>());
        QTcpSocket *filler = fillers.back().get();
        QSignalSpy up(filler, &QTcpSocket::connected);
        filler->connectToHost(QHostAddress::LocalHost, stalled.serverPort());
        full = !up.wait(500) && filler->state() == QAbstractSocket::ConnectingState;
    }
    QVERIFY2(full, "could not fill the listener's queue");

    QTcpServer live;
    QVERIFY(live.listen(QHostAddress::LocalHost));

    LoopbackResolver resolver;
    auto socket = windowSocket(resolver);
    QSignalSpy connected(socket.get(), &PingSocket::connected);
    QSignalSpy failed(socket.get(), &PingSocket::lookupFailed);
    QVERIFY(socket->setHostName(u"127.0.0.1"_s));
    socket->setRemotePort(stalled.serverPort());
    QVERIFY(socket->setAction(PingSocket::ActionConnect));
    QTRY_COMPARE(socketsOf(*socket).size(), 1);
    QPointer<QTcpSocket> first = socketsOf(*socket).first();
    QVERIFY(!connected.wait(200));
    QCOMPARE(first->state(), QAbstractSocket::ConnectingState);

    // Again at the same stalled host: the first attempt goes, one new one waits.
    QVERIFY(socket->setAction(PingSocket::ActionConnect));
    QTRY_VERIFY(!first);
    QTRY_COMPARE(socketsOf(*socket).size(), 1);
    QPointer<QTcpSocket> second = socketsOf(*socket).first();
    QCOMPARE(second->state(), QAbstractSocket::ConnectingState);

    // And at a live one: that connection is the only one reported.
    socket->setRemotePort(live.serverPort());
    QVERIFY(socket->setAction(PingSocket::ActionConnect));
    QVERIFY(connected.wait());
    QTRY_VERIFY(!second);
    QCOMPARE(socketsOf(*socket).size(), 1);
    QVERIFY(socket->isConnected());
    QCOMPARE(socket->remoteAddress(), u"127.0.0.1"_s);
    QTRY_VERIFY(live.hasPendingConnections());
    QCOMPARE(connected.size(), 1);
    QCOMPARE(failed.size(), 0);

    QVERIFY(socket->setAction(PingSocket::ActionClose));
    QTRY_VERIFY(settled(*socket));
}

void tst_PingSocket::staleLookupAnswersIgnored()
{
    // A resolver that answers only when told, even after its context is gone.
    std::vector<std::function<void(const QList<QHostAddress> &)>> pending;
    auto socket = std::make_unique<PingSocket>(
        [] { return machineAddress; }, nullptr,
        [&pending](const QString &, QObject *, std::function<void(const QList<QHostAddress> &)> done) {
            pending.push_back(std::move(done));
        });
    QSignalSpy connected(socket.get(), &PingSocket::connected);
    QSignalSpy failed(socket.get(), &PingSocket::lookupFailed);
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    QVERIFY(socket->setHostName(u"first.example"_s));
    socket->setRemotePort(server.serverPort());
    QVERIFY(socket->setAction(PingSocket::ActionConnect));
    QVERIFY(socket->setHostName(u"second.example"_s));
    QVERIFY(socket->setAction(PingSocket::ActionConnect));
    QCOMPARE(pending.size(), size_t(2));

    // The abandoned lookup's answer would connect; it must go unheard.
    pending[0]({QHostAddress(QHostAddress::LocalHost)});
    QVERIFY(socketsOf(*socket).isEmpty());
    pending[1]({});
    QCOMPARE(failed.size(), 1);
    QCOMPARE(connected.size(), 0);

    // A lookup outliving the socket: its answer arrives to nobody.
    QVERIFY(socket->setAction(PingSocket::ActionConnect));
    QCOMPARE(pending.size(), size_t(3));
    socket.reset();
    pending[2]({QHostAddress(QHostAddress::LocalHost)});
    QVERIFY(!server.waitForNewConnection(0));
}

void tst_PingSocket::localAddressFallsBack()
{
    LoopbackResolver resolver;
    PingSocket given([] { return u"10.1.2.3"_s; }, nullptr, resolver.hook());
    QCOMPARE(given.localAddress(), u"10.1.2.3"_s);
    QCOMPARE(given.remoteAddress(), QString());
    PingSocket none({}, nullptr, resolver.hook());
    QCOMPARE(none.localAddress(), QString());
}

void tst_PingSocket::pingsPort80()
{
    // The program always pings port 80; binding it needs privilege.
    QTcpServer server;
    QString listenOn;
    for (int last = 80; last < 90 && listenOn.isEmpty(); ++last) {
        const QString candidate = u"127.0.0."_s + QString::number(last);
        if (server.listen(QHostAddress(candidate), 80))
            listenOn = candidate;
        else if (server.serverError() == QAbstractSocket::SocketAccessError)
            QSKIP("binding port 80 needs root (or net.ipv4.ip_unprivileged_port_start <= 80)");
    }
    QVERIFY2(!listenOn.isEmpty(), qPrintable(server.errorString()));

    LoopbackResolver resolver;
    auto socket = windowSocket(resolver);
    QSignalSpy connected(socket.get(), &PingSocket::connected);
    QVERIFY(socket->setHostName(listenOn));
    socket->setRemotePort(80);
    QVERIFY(socket->setAction(PingSocket::ActionConnect));
    QVERIFY(connected.wait());
    QCOMPARE(socket->remoteAddress(), listenOn);
    QTRY_VERIFY(server.hasPendingConnections());
}

void tst_PingSocket::followsTheChosenProxy_data()
{
    QTest::addColumn<QString>("stored");      // ProxyMode as stored; empty: nothing stored
    QTest::addColumn<QString>("proxyType");   // ProxyType of a manual proxy
    QTest::addColumn<bool>("environment");    // http_proxy names the loopback proxy
    QTest::addColumn<QString>("route");       // "straight", "http" or "socks"
    QTest::newRow("nothing stored, no proxy in the environment") << QString() << QString() << false << u"straight"_s;
    QTest::newRow("nothing stored, http_proxy") << QString() << QString() << true << u"http"_s;
    QTest::newRow("system's settings, http_proxy") << u"system"_s << QString() << true << u"http"_s;
    QTest::newRow("no proxy, whatever the environment") << u"none"_s << QString() << true << u"straight"_s;
    QTest::newRow("HTTP proxy") << u"manual"_s << u"http"_s << false << u"http"_s;
    QTest::newRow("SOCKS proxy") << u"manual"_s << u"socks"_s << true << u"socks"_s;
}

// The ping reaches a host the way the pages do: through the proxy the user chose, or
// with the system's settings (the default) the one they name for the host, which then
// finds the host itself, so the ping asks no lookup of its own.
void tst_PingSocket::followsTheChosenProxy()
{
    QFETCH(QString, stored);
    QFETCH(QString, proxyType);
    QFETCH(bool, environment);
    QFETCH(QString, route);
    QTcpServer proxy;
    QVERIFY(proxy.listen(QHostAddress::LocalHost));
    const QByteArray httpProxyBefore = qgetenv("http_proxy");
    const QByteArray allProxyBefore = qgetenv("all_proxy");
    qunsetenv("all_proxy");
    if (environment)
        qputenv("http_proxy", "http://127.0.0.1:" + QByteArray::number(proxy.serverPort()));
    else
        qunsetenv("http_proxy");
    auto restore = qScopeGuard([&] {
        ProxyChoice straight;
        straight.mode = ProxyChoice::Mode::None;
        straight.apply();
        const auto put = [](const char *name, const QByteArray &value) {
            if (value.isEmpty())
                qunsetenv(name);
            else
                qputenv(name, value);
        };
        put("http_proxy", httpProxyBefore);
        put("all_proxy", allProxyBefore);
    });
    QTemporaryDir folder;
    SettingsStore settings(folder.path());
    if (!stored.isEmpty()) {
        settings.save(u"Halvane"_s, u"Options"_s, u"ProxyMode"_s, stored);
        settings.save(u"Halvane"_s, u"Options"_s, u"ProxyType"_s, proxyType);
        settings.save(u"Halvane"_s, u"Options"_s, u"ProxyHost"_s, u"127.0.0.1"_s);
        settings.save(u"Halvane"_s, u"Options"_s, u"ProxyPort"_s, QString::number(proxy.serverPort()));
    }
    // As the program starts: from a straight choice, the stored one.
    ProxyChoice straight;
    straight.mode = ProxyChoice::Mode::None;
    straight.apply();
    ProxyChoice::read(settings, u"Halvane"_s).apply();

    LoopbackResolver resolver;
    auto socket = windowSocket(resolver);
    QSignalSpy failed(socket.get(), &PingSocket::lookupFailed);
    QVERIFY(socket->setHostName(u"ping.test"_s));
    socket->setRemotePort(80);
    QVERIFY(socket->setAction(PingSocket::ActionConnect));
    if (route == u"straight"_s) {
        // Straight out: our lookup is asked (and, in this test, finds nothing).
        QVERIFY(failed.wait());
        QCOMPARE(resolver.asked, QStringList{u"ping.test"_s});
        QVERIFY(!proxy.hasPendingConnections());
        return;
    }
    QVERIFY(proxy.waitForNewConnection(5000));
    QTcpSocket *peer = proxy.nextPendingConnection();
    QTRY_VERIFY(peer->bytesAvailable() > 0);
    const QByteArray greeting = peer->readAll();
    if (route == u"http"_s)
        QVERIFY2(greeting.startsWith("CONNECT ping.test:80 HTTP/1.1"), greeting.constData());
    else
        QCOMPARE(greeting.at(0), char(5)); // SOCKS 5
    QCOMPARE(resolver.asked, QStringList{});
    QCOMPARE(failed.size(), 0);
}

QTEST_GUILESS_MAIN(tst_PingSocket)
#include "tst_pingsocket.moc"
