#include "app/frmMain.h"
#include "app/panelstatusbar.h"
#include "browser/frmBrowser.h"
#include "engine/desktopnotifications.h"
#include "engine/webenginebrowser.h"
#include "support/enginetesting.h"
#include "support/loopbackhttpserver.h"
#include "support/scriptedenginedialogs.h"
#include "support/testplatform.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusContext>
#include <QDBusMessage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QWebEngineProfile>
#include <QWebEngineView>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace enginetesting;

namespace {

const QString Service = u"org.freedesktop.Notifications"_s;
const QString ObjectPath = u"/org/freedesktop/Notifications"_s;

// A bus of the test's own: no service on it but those the test registers, none started
// on demand.
const char BusConfig[] = "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                         "<busconfig>\n"
                         "  <type>session</type>\n"
                         "  <listen>unix:dir=%1</listen>\n"
                         "  <auth>EXTERNAL</auth>\n"
                         "  <policy context=\"default\">\n"
                         "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
                         "    <allow eavesdrop=\"true\"/>\n"
                         "    <allow own=\"*\"/>\n"
                         "  </policy>\n"
                         "</busconfig>\n";

// What a page would hear of its notification.
struct PageLog
{
    QStringList heard;

    PageNotification notification(const QString &title, const QString &message, const QUrl &origin,
                                  const QString &tag = {})
    {
        return {title,
                message,
                origin,
                tag,
                [this] { heard << u"show"_s; },
                [this] { heard << u"click"_s; },
                [this] { heard << u"close"_s; }};
    }
};

class RecordingTarget : public NotificationTarget
{
public:
    void showNotificationText(const QString &text) override { texts << text; }
    void bringForward(const QUrl &origin) override { forward << origin; }
    QStringList texts;
    QList<QUrl> forward;
};

} // namespace

// The desktop's notification service as the test plays it: records what it is asked,
// answers or refuses, and raises the service's signals when told.
class FakeNotificationService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")
public:
    struct Call
    {
        QString appName;
        uint replaces = 0;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
        uint id = 0;
    };
    QList<Call> calls;
    QList<uint> closed;
    QStringList capabilities{u"actions"_s, u"body"_s};
    bool refuse = false;
    // Notify is answered only by answerHeld().
    bool hold = false;

    void answerHeld()
    {
        for (const auto &[message, id] : std::exchange(m_heldReplies, {}))
            m_bus.send(message.createReply(id));
    }
    void setBus(const QDBusConnection &bus) { m_bus = bus; }

public Q_SLOTS:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString &appName, uint replacesId, const QString &, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int)
    {
        if (refuse) {
            sendErrorReply(QDBusError::Failed, u"refused"_s);
            return 0;
        }
        const uint id = replacesId ? replacesId : ++m_lastId;
        calls << Call{appName, replacesId, summary, body, actions, hints, id};
        if (hold) {
            setDelayedReply(true);
            m_heldReplies << std::pair{message(), id};
        }
        return id;
    }
    void CloseNotification(uint id) { closed << id; }

Q_SIGNALS:
    void ActionInvoked(uint id, const QString &actionKey);
    void NotificationClosed(uint id, uint reason);

private:
    QDBusConnection m_bus{QString()};
    QList<std::pair<QDBusMessage, uint>> m_heldReplies;
    uint m_lastId = 0;
};

class tst_Notifications : public QObject
{
    Q_OBJECT
public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void textsArrivePlain_data();
    void textsArrivePlain();
    void clickBringsItsWindowForward_data();
    void clickBringsItsWindowForward();
    void withoutServiceTheStatusBarSaysIt_data();
    void withoutServiceTheStatusBarSaysIt();
    void closing_data();
    void closing();
    void pageNotificationReachesTheDesktop();

private:
    // The notification's number in the fake service, once it arrived there.
    uint arrived(int count = 1);

    QTemporaryDir m_busFolder;
    QProcess m_daemon;
    QString m_address;
    QDBusConnection m_serviceBus{QString()};
    QDBusConnection m_clientBus{QString()};
    std::unique_ptr<FakeNotificationService> m_service;
    QWebEngineProfile *m_profile = nullptr;
};

void tst_Notifications::initTestCase()
{
    QVERIFY(m_busFolder.isValid());
    QFile config(m_busFolder.filePath(u"bus.conf"_s));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(QString::fromLatin1(BusConfig).arg(m_busFolder.path()).toUtf8());
    config.close();
    m_daemon.start(u"dbus-daemon"_s, {u"--config-file="_s + config.fileName(), u"--print-address"_s, u"--nofork"_s});
    QVERIFY2(m_daemon.waitForStarted(), qPrintable(m_daemon.errorString()));
    QTRY_VERIFY(m_daemon.canReadLine());
    m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
    m_serviceBus = QDBusConnection::connectToBus(m_address, u"service"_s);
    m_clientBus = QDBusConnection::connectToBus(m_address, u"client"_s);
    QVERIFY(m_serviceBus.isConnected());
    QVERIFY(m_clientBus.isConnected());
    m_profile = new QWebEngineProfile(this);
}

void tst_Notifications::cleanupTestCase()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    delete m_profile;
    QDBusConnection::disconnectFromBus(u"service"_s);
    QDBusConnection::disconnectFromBus(u"client"_s);
    m_daemon.terminate();
    m_daemon.waitForFinished();
}

void tst_Notifications::init()
{
    m_service = std::make_unique<FakeNotificationService>();
    m_service->setBus(m_serviceBus);
    QVERIFY(m_serviceBus.registerObject(ObjectPath, m_service.get(),
                                        QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals));
    QVERIFY(m_serviceBus.registerService(Service));
}

void tst_Notifications::cleanup()
{
    m_serviceBus.unregisterService(Service);
    m_serviceBus.unregisterObject(ObjectPath);
    m_service.reset();
}

uint tst_Notifications::arrived(int count)
{
    if (!waitUntil([&] { return m_service->calls.size() >= count; }))
        return 0;
    return m_service->calls.at(count - 1).id;
}

void tst_Notifications::textsArrivePlain_data()
{
    QTest::addColumn<QStringList>("capabilities");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("body");

    const QStringList plain{u"actions"_s, u"body"_s};
    const QStringList markup{u"actions"_s, u"body"_s, u"body-markup"_s};
    QTest::newRow("service shows text as it is") << plain << u"<i>Hi</i>"_s << u"<b>x</b> & y"_s
                                                 << u"<i>Hi</i>"_s << u"news.example\n<b>x</b> & y"_s;
    QTest::newRow("service reads markup: escaped") << markup << u"<i>Hi</i>"_s << u"<b>x</b> & y"_s
                                                   << u"<i>Hi</i>"_s
                                                   << u"news.example\n&lt;b&gt;x&lt;/b&gt; &amp; y"_s;
    QTest::newRow("control characters") << plain << u"a\0b\tc"_s << u"one\ntwo\a"_s << u"a b c"_s
                                        << u"news.example\none\ntwo "_s;
    QTest::newRow("long texts bounded")
        << plain << QString(100000, u'T') << QString(1000000, u'm')
        << QString(DesktopNotifications::TitleBound - 1, u'T') + QChar(0x2026)
        << u"news.example\n"_s + QString(DesktopNotifications::MessageBound - 1, u'm') + QChar(0x2026);
}

void tst_Notifications::textsArrivePlain()
{
    QFETCH(QStringList, capabilities);
    QFETCH(QString, title);
    QFETCH(QString, message);
    QFETCH(QString, summary);
    QFETCH(QString, body);

    m_service->capabilities = capabilities;
    DesktopNotifications notifications(m_clientBus);
    RecordingTarget target;
    notifications.setTarget(&target);
    PageLog page;
    notifications.show(page.notification(title, message, QUrl(u"https://news.example:8443"_s)));
    QVERIFY(arrived());
    const FakeNotificationService::Call call = m_service->calls.first();
    QCOMPARE(call.appName, u"Halvane"_s);
    QCOMPARE(call.summary, summary);
    QCOMPARE(call.body, body);
    QCOMPARE(call.actions, (QStringList{u"default"_s, u"Open"_s}));
    QCOMPARE(call.hints.value(u"desktop-entry"_s).toString(), u"halvane"_s);
    QTRY_COMPARE(page.heard, QStringList{u"show"_s});
    QCOMPARE(target.texts, QStringList());
}

void tst_Notifications::clickBringsItsWindowForward_data()
{
    QTest::addColumn<QString>("origin");
    QTest::addColumn<QString>("active"); // the child active after the click

    QTest::newRow("its site's window") << u"https://news.example:8443"_s << u"Document 1"_s;
    QTest::newRow("usual port written out") << u"http://other.example:80"_s << u"Document 2"_s;
    QTest::newRow("site shown nowhere now") << u"https://gone.example"_s << u"panel"_s;
}

void tst_Notifications::clickBringsItsWindowForward()
{
    QFETCH(QString, origin);
    QFETCH(QString, active);

    TestPlatform env;
    frmMain main(env.platform);
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    QVERIFY(main.LoadNewDoc());
    QMdiSubWindow *panel = nullptr;
    for (QMdiSubWindow *sub : main.mdiArea->subWindowList()) {
        if (auto *doc = qobject_cast<frmBrowser *>(sub->widget())) {
            static_cast<ScriptedBrowser *>(doc->brwWebBrowser)->locationURL =
                doc->windowTitle() == u"Document 1"_s ? u"https://news.example:8443/today"_s
                                                      : u"http://other.example/"_s;
        } else {
            panel = sub;
        }
    }
    QVERIFY(panel);
    main.mdiArea->setActiveSubWindow(panel);
    // Another window of the desktop has the user meanwhile.
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    QTRY_VERIFY(elsewhere.isActiveWindow());
    QVERIFY(!main.isActiveWindow());

    DesktopNotifications notifications(m_clientBus);
    notifications.setTarget(&main);
    PageLog page;
    notifications.show(page.notification(u"Hi"_s, u"there"_s, QUrl(origin)));
    const uint id = arrived();
    QVERIFY(id);
    QTRY_COMPARE(page.heard, QStringList{u"show"_s});
    Q_EMIT m_service->ActionInvoked(id, u"default"_s);
    QTRY_VERIFY(main.isActiveWindow());
    QMdiSubWindow *current = main.mdiArea->currentSubWindow();
    QVERIFY(current);
    QCOMPARE(current == panel ? u"panel"_s : current->widget()->windowTitle(), active);
    QCOMPARE(page.heard, (QStringList{u"show"_s, u"click"_s}));
}

void tst_Notifications::withoutServiceTheStatusBarSaysIt_data()
{
    QTest::addColumn<QString>("without");
    QTest::newRow("no service on the bus") << u"service"_s;
    QTest::newRow("service refuses") << u"answer"_s;
    QTest::newRow("no bus") << u"bus"_s;
}

void tst_Notifications::withoutServiceTheStatusBarSaysIt()
{
    QFETCH(QString, without);

    if (without == u"service"_s)
        m_serviceBus.unregisterService(Service);
    m_service->refuse = without == u"answer"_s;
    TestPlatform env;
    frmMain main(env.platform);
    main.show();
    DesktopNotifications notifications(without == u"bus"_s ? QDBusConnection(u"no bus"_s) : m_clientBus);
    notifications.setTarget(&main);
    PageLog page;
    notifications.show(page.notification(u"<b>Hi</b>"_s, u"there\nand here"_s, QUrl(u"https://news.example"_s)));
    QTRY_COMPARE(main.sbStatusBar->currentMessage(), u"news.example: <b>Hi</b> \u2014 there and here"_s);
    QCOMPARE(page.heard, QStringList{u"show"_s});
    QVERIFY(m_service->calls.isEmpty());
}

void tst_Notifications::closing_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QStringList>("heard");
    QTest::addColumn<QList<uint>>("closedOnDesktop");

    QTest::newRow("on the desktop") << u"desktop"_s << QStringList{u"show"_s, u"close"_s} << QList<uint>{};
    QTest::newRow("by the page") << u"page"_s << QStringList{u"show"_s} << QList<uint>{1};
    QTest::newRow("by the page before the desktop answered") << u"page early"_s << QStringList{}
                                                             << QList<uint>{1};
    QTest::newRow("replaced by one with its tag") << u"tag"_s << QStringList{u"show"_s} << QList<uint>{};
    QTest::newRow("too many at once: the oldest goes") << u"many"_s << QStringList{u"show"_s, u"close"_s}
                                                       << QList<uint>{1};
}

void tst_Notifications::closing()
{
    QFETCH(QString, how);
    QFETCH(QStringList, heard);
    QFETCH(QList<uint>, closedOnDesktop);

    DesktopNotifications notifications(m_clientBus);
    PageLog page, others;
    const QUrl origin(u"https://news.example"_s);
    m_service->hold = how == u"page early"_s;
    const quint32 number = notifications.show(page.notification(u"Hi"_s, u"there"_s, origin, u"t"_s));
    const uint id = arrived();
    QVERIFY(id);
    if (how == u"page early"_s) {
        notifications.withdraw(number);
        m_service->answerHeld();
    } else {
        QTRY_COMPARE(page.heard, QStringList{u"show"_s});
    }
    if (how == u"desktop"_s) {
        Q_EMIT m_service->NotificationClosed(id, 2);
        QTRY_COMPARE(page.heard.size(), 2);
    } else if (how == u"page"_s) {
        notifications.withdraw(number);
    } else if (how == u"tag"_s) {
        notifications.show(others.notification(u"Hi again"_s, u"there"_s, origin, u"t"_s));
        QVERIFY(arrived(2));
        QCOMPARE(m_service->calls.at(1).replaces, id);
    } else if (how == u"many"_s) {
        for (std::size_t i = 0; i < DesktopNotifications::ShownBound; ++i)
            notifications.show(others.notification(u"Hi"_s, QString::number(i), origin));
        QVERIFY(arrived(int(DesktopNotifications::ShownBound) + 1));
    }
    QTRY_COMPARE(m_service->closed, closedOnDesktop);
    QCOMPARE(page.heard, heard);
}

void tst_Notifications::pageNotificationReachesTheDesktop()
{
    LoopbackHttpServer server;
    QVERIFY(server.start());
    server.setPage(u"/notify"_s, "<html><head><title>loading</title></head><body><script>"
                                 "Notification.requestPermission().then(r => {"
                                 "  if (r !== 'granted') { document.title = r; return; }"
                                 "  window.note = new Notification('Hi', {body: 'there'});"
                                 "  note.onshow = () => document.title = 'shown';"
                                 "  note.onclick = () => document.title = 'clicked';"
                                 "});</script></body></html>");
    DesktopNotifications notifications(m_clientBus);
    notifications.presentFor(m_profile);
    RecordingTarget target;
    notifications.setTarget(&target);
    ScriptedEngineDialogs dialogs;
    dialogs.grant = true;
    WebEngineBrowser browser(nullptr, &dialogs, m_profile);
    browser.resize(400, 300);
    browser.show();
    browser.Navigate(server.url(u"/notify"_s).toString());

    const uint id = arrived();
    QVERIFY2(id, qPrintable(browser.LocationName()));
    QCOMPARE(dialogs.asked, QStringList{u"permission|127.0.0.1|notifications"_s});
    QCOMPARE(m_service->calls.first().summary, u"Hi"_s);
    QCOMPARE(m_service->calls.first().body, u"127.0.0.1\nthere"_s);
    QTRY_COMPARE_WITH_TIMEOUT(browser.LocationName(), u"shown"_s, LoadTimeoutMs);

    Q_EMIT m_service->ActionInvoked(id, u"default"_s);
    QTRY_COMPARE_WITH_TIMEOUT(browser.LocationName(), u"clicked"_s, LoadTimeoutMs);
    QCOMPARE(target.forward.size(), 1);
    QVERIFY(DesktopNotifications::sameOrigin(server.url(u"/notify"_s), target.forward.first()));

    // The page's own close takes it from the desktop.
    browser.view()->page()->runJavaScript(u"note.close()"_s);
    QTRY_COMPARE_WITH_TIMEOUT(m_service->closed, QList<uint>{id}, LoadTimeoutMs);
}

QTEST_MAIN(tst_Notifications)
#include "tst_notifications.moc"
