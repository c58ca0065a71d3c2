#include "engine/desktopnotifications.h"

#include "system/hostdisplay.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>
#include <QVariantMap>
#include <QWebEngineNotification>
#include <QWebEngineProfile>

Q_LOGGING_CATEGORY(lcNotifications, "halvane.notifications", QtWarningMsg)

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
const QString DefaultAction = QStringLiteral("default");

// Page text as one plain, bounded text: control characters (a NUL would cut the text
// short on the bus) become spaces, line breaks too unless kept.
QString cleaned(const QString &text, qsizetype bound, bool keepLines)
{
    QString out = text.left(bound + 1);
    for (QChar &c : out) {
        if (c.category() == QChar::Other_Control && !(keepLines && c == QLatin1Char('\n')))
            c = QLatin1Char(' ');
    }
    if (out.size() > bound) {
        out.truncate(bound - 1);
        if (out.back().isHighSurrogate())
            out.chop(1);
        out += QChar(0x2026);
    }
    return out;
}

QString siteOf(const QUrl &origin)
{
    return origin.host().isEmpty() ? cleaned(origin.toString(), DesktopNotifications::TitleBound, false)
                                   : hostdisplay::shown(origin.host(QUrl::EncodeUnicode));
}

} // namespace

DesktopNotifications::DesktopNotifications(const QDBusConnection &bus, QObject *parent)
    : QObject(parent)
    , m_bus(bus)
{
    if (!m_bus.isConnected())
        return;
    // Only the service's own signals: the bus matches them on its current owner.
    m_bus.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this,
                  SLOT(onActionInvoked(uint, QString)));
    m_bus.connect(Service, Path, Interface, QStringLiteral("NotificationClosed"), this,
                  SLOT(onNotificationClosed(uint, uint)));
}

DesktopNotifications::~DesktopNotifications()
{
    withdrawAll();
}

void DesktopNotifications::presentFor(QWebEngineProfile *profile)
{
    profile->setNotificationPresenter(
        [this](std::unique_ptr<QWebEngineNotification> notification) { present(std::move(notification)); });
}

void DesktopNotifications::present(std::unique_ptr<QWebEngineNotification> notification)
{
    // Shared by the callbacks, which go with the notification's entry; deleted later,
    // as the entry may go while the notification is emitting closed().
    std::shared_ptr<QWebEngineNotification> page(notification.release(),
                                                 [](QWebEngineNotification *n) { n->deleteLater(); });
    PageNotification shown{page->title(),
                           page->message(),
                           page->origin(),
                           page->tag(),
                           [page] { page->show(); },
                           [page] { page->click(); },
                           [page] { page->close(); }};
    const quint32 number = show(std::move(shown));
    connect(page.get(), &QWebEngineNotification::closed, this, [this, number] { withdraw(number); });
}

quint32 DesktopNotifications::show(PageNotification notification)
{
    const quint32 number = ++m_lastNumber;
    notification.title = cleaned(notification.title, TitleBound, false);
    notification.message = cleaned(notification.message, MessageBound, true);
    // One with the same tag from the same site takes the earlier one's place, silently.
    uint replaces = 0;
    if (!notification.tag.isEmpty()) {
        for (auto it = m_shown.begin(); it != m_shown.end(); ++it) {
            if (it->second.page.tag == notification.tag && it->second.page.origin == notification.origin) {
                replaces = it->second.desktopId;
                m_waiting.erase(it->first);
                m_shown.erase(it);
                break;
            }
        }
    }
    while (m_shown.size() >= ShownBound) {
        auto oldest = m_shown.extract(m_shown.begin());
        m_waiting.erase(oldest.key());
        closeOnDesktop(oldest.mapped().desktopId);
        if (oldest.mapped().page.closed)
            oldest.mapped().page.closed();
    }
    m_shown.emplace(number, Shown{std::move(notification), 0});

    if (!m_bus.isConnected()) {
        showInWindow(number);
    } else if (m_markup == Markup::Plain || m_markup == Markup::Marked) {
        notify(number, replaces);
    } else {
        m_waiting.emplace(number, replaces);
        askCapabilities();
    }
    return number;
}

void DesktopNotifications::askCapabilities()
{
    if (m_markup == Markup::Asking)
        return;
    m_markup = Markup::Asking;
    const QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface,
                                                             QStringLiteral("GetCapabilities"));
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, CallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> reply = *w;
        const std::map<quint32, uint> waiting = std::exchange(m_waiting, {});
        if (reply.isError()) {
            // No service: asked again with the next notification, as one may come.
            qCInfo(lcNotifications) << "no notification service:" << reply.error().message();
            m_markup = Markup::Unknown;
            for (const auto &[number, replaces] : waiting)
                showInWindow(number);
            return;
        }
        // Where the service reads markup in the body, the page's text is escaped.
        m_markup = reply.value().contains(QStringLiteral("body-markup")) ? Markup::Marked : Markup::Plain;
        for (const auto &[number, replaces] : waiting)
            notify(number, replaces);
    });
}

QString DesktopNotifications::desktopBody(const Shown &shown) const
{
    const QString body = siteOf(shown.page.origin) + QLatin1Char('\n') + shown.page.message;
    return m_markup == Markup::Marked ? body.toHtmlEscaped() : body;
}

void DesktopNotifications::notify(quint32 number, uint replaces)
{
    const auto it = m_shown.find(number);
    if (it == m_shown.end())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("halvane")}};
    call << QStringLiteral("Halvane") << replaces << QString() << it->second.page.title << desktopBody(it->second)
         << QStringList{DefaultAction, QStringLiteral("Open")} << hints << qint32(-1);
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, CallTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, number](QDBusPendingCallWatcher *w) {
        w->deleteLater();
        const QDBusPendingReply<uint> reply = *w;
        const auto shown = m_shown.find(number);
        if (reply.isError()) {
            qCInfo(lcNotifications) << "notification not shown on the desktop:" << reply.error().message();
            m_markup = Markup::Unknown; // the service may have gone, or another come
            if (shown != m_shown.end())
                showInWindow(number);
            return;
        }
        if (shown == m_shown.end()) {
            // The page closed it meanwhile.
            closeOnDesktop(reply.value());
            return;
        }
        shown->second.desktopId = reply.value();
        if (shown->second.page.shown)
            shown->second.page.shown();
    });
}

void DesktopNotifications::showInWindow(quint32 number)
{
    auto entry = m_shown.extract(number);
    if (entry.empty())
        return;
    const PageNotification &page = entry.mapped().page;
    QString text = siteOf(page.origin) + QStringLiteral(": ") + page.title;
    if (!page.message.isEmpty())
        text += QStringLiteral(" \u2014 ") + page.message;
    if (m_target)
        m_target->showNotificationText(text.simplified());
    if (page.shown)
        page.shown();
}

void DesktopNotifications::withdraw(quint32 number)
{
    m_waiting.erase(number);
    auto entry = m_shown.extract(number);
    if (!entry.empty())
        closeOnDesktop(entry.mapped().desktopId);
    // Not yet answered: closed when the answer comes.
}

void DesktopNotifications::withdrawAll()
{
    m_waiting.clear();
    const std::map<quint32, Shown> shown = std::exchange(m_shown, {});
    for (const auto &[number, entry] : shown)
        closeOnDesktop(entry.desktopId);
}

void DesktopNotifications::closeOnDesktop(uint desktopId)
{
    if (desktopId == 0 || !m_bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface,
                                                       QStringLiteral("CloseNotification"));
    call << desktopId;
    call.setAutoStartService(false);
    m_bus.send(call);
}

std::map<quint32, DesktopNotifications::Shown>::iterator DesktopNotifications::findDesktop(uint desktopId)
{
    for (auto it = m_shown.begin(); it != m_shown.end(); ++it) {
        if (desktopId != 0 && it->second.desktopId == desktopId)
            return it;
    }
    return m_shown.end();
}

void DesktopNotifications::onActionInvoked(uint id, const QString &action)
{
    const auto it = findDesktop(id);
    if (it == m_shown.end() || action != DefaultAction)
        return;
    const QUrl origin = it->second.page.origin;
    // The page's click handler may close it, and so the entry.
    if (const auto clicked = it->second.page.clicked)
        clicked();
    if (m_target)
        m_target->bringForward(origin);
}

void DesktopNotifications::onNotificationClosed(uint id, uint)
{
    const auto it = findDesktop(id);
    if (it == m_shown.end())
        return;
    const PageNotification page = std::move(m_shown.extract(it).mapped().page);
    if (page.closed)
        page.closed();
}

bool DesktopNotifications::sameOrigin(const QUrl &address, const QUrl &origin)
{
    // An address names its scheme's usual port or none at all.
    const auto port = [](const QUrl &url) {
        const QString scheme = url.scheme();
        return url.port(scheme == QLatin1String("https") ? 443 : scheme == QLatin1String("http") ? 80 : -1);
    };
    return !address.host().isEmpty() && address.scheme() == origin.scheme() && address.host() == origin.host()
           && port(address) == port(origin);
}
