#include "browser/frmBrowser.h"
#include "support/documentfixture.h"
#include "system/pingsocket.h"
#include "windows/frmtool2.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QList>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int PingCount = 1000;
constexpr int PingTimeoutMs = 5000;
const QString PingHost = u"127.0.0.11"_s;

struct Descriptors {
    qsizetype all = 0;
    qsizetype sockets = 0;
};

// What this process holds open: every descriptor, and those that are sockets.
Descriptors openDescriptors()
{
    Descriptors d;
    const QStringList entries = QDir(u"/proc/self/fd"_s).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        const QByteArray link = QFile::encodeName(u"/proc/self/fd/"_s + entry);
        char target[256];
        const ssize_t length = ::readlink(link.constData(), target, sizeof target - 1);
        // The descriptor the listing itself held is closed by now.
        if (length < 0)
            continue;
        ++d.all;
        if (QByteArray(target, length).startsWith("socket:"))
            ++d.sockets;
    }
    return d;
}

// Port 80 of a loopback address of its own, taking every connection and closing its end
// as soon as the ping has closed its own.
class PortEightyListener : public QObject
{
public:
    PortEightyListener()
    {
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *peer = server.nextPendingConnection()) {
                ++accepted;
                peers << peer;
                connect(peer, &QTcpSocket::disconnected, peer, &QObject::deleteLater);
                if (peer->state() != QAbstractSocket::ConnectedState)
                    peer->deleteLater();
            }
        });
    }
    bool listen() { return server.listen(QHostAddress(PingHost), 80); }
    qsizetype stillOpen() const
    {
        qsizetype open = 0;
        for (const QPointer<QTcpSocket> &peer : peers)
            open += peer.isNull() ? 0 : 1;
        return open;
    }

    QTcpServer server;
    QList<QPointer<QTcpSocket>> peers;
    int accepted = 0;
};

} // namespace

// A thousand link pings from one window: every one connects and shows its time, and
// nothing of them stays open afterwards.
class tst_StressPings : public QObject, protected DocumentFixture
{
    Q_OBJECT

private:
    bool ping(frmBrowser *w, QSignalSpy &connects, int number);

private Q_SLOTS:
    void init();
    void cleanup();

    void thousandPingsLeaveNothingOpen();
};

// One navigation's ping, waited for until it has connected and shown its time.
bool tst_StressPings::ping(frmBrowser *w, QSignalSpy &connects, int number)
{
    frmtool2 *panel = host->tools.get();
    panel->Label2->setText(u"waiting"_s);
    Q_EMIT w->brwWebBrowser->BeforeNavigate2(u"http://"_s + PingHost + u'/');
    while (connects.count() < number) {
        if (!connects.wait(PingTimeoutMs))
            return false;
    }
    return connects.count() == number && panel->Label2->text() != u"waiting"_s
           && panel->Label2->text().endsWith(u"/ms"_s) && panel->Label1->text() == PingHost;
}

void tst_StressPings::init()
{
    setUp();
}

void tst_StressPings::cleanup()
{
    tearDown();
}

void tst_StressPings::thousandPingsLeaveNothingOpen()
{
    if (geteuid() != 0)
        QSKIP("listening on port 80 needs root");
    PortEightyListener listener;
    QVERIFY2(listener.listen(), qPrintable(listener.server.errorString()));
    host->shared.LinkPingEnabled = true;
    frmBrowser *w = newWindow();
    QSignalSpy connects(w->Socket1, &PingSocket::connected);

    // One ping first, so what is made once (the panel, the event loop's notifiers) is
    // already in the count that everything must come back to.
    QVERIFY(ping(w, connects, 1));
    QTRY_COMPARE(listener.accepted, 1);
    QTRY_COMPARE(listener.stillOpen(), 0);
    QTest::qWait(200);
    const Descriptors start = openDescriptors();
    qInfo("at the start: %lld descriptors, %lld of them sockets", qint64(start.all),
          qint64(start.sockets));

    QElapsedTimer clock;
    clock.start();
    Descriptors peak = start;
    for (int i = 2; i <= PingCount + 1; ++i) {
        QVERIFY2(ping(w, connects, i), qPrintable(u"ping %1 did not connect or show its time; "
                                                   "Label2 \"%2\""_s.arg(i - 1).arg(host->tools.get()->Label2->text())));
        if (i % 100 == 0) {
            const Descriptors now = openDescriptors();
            peak.all = qMax(peak.all, now.all);
            peak.sockets = qMax(peak.sockets, now.sockets);
        }
    }
    qInfo("%d pings in %lld ms; at most %lld descriptors, %lld sockets on the way", PingCount,
          qint64(clock.elapsed()), qint64(peak.all), qint64(peak.sockets));

    QTRY_COMPARE(listener.accepted, PingCount + 1);
    QTRY_COMPARE(listener.stillOpen(), 0);
    QVERIFY(!w->Socket1->isConnected());
    QVERIFY(!w->Timer1->isActive());
    QTRY_COMPARE_WITH_TIMEOUT(openDescriptors().sockets, start.sockets, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(openDescriptors().all, start.all, 5000);
    const Descriptors end = openDescriptors();
    qInfo("at the end: %lld descriptors, %lld of them sockets", qint64(end.all), qint64(end.sockets));
}

QTEST_MAIN(tst_StressPings)
#include "tst_stresspings.moc"
