#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <map>
#include <memory>

class QWebEngineNotification;
class QWebEngineProfile;

// Where a page's notification leads in the windows.
class NotificationTarget
{
public:
    virtual ~NotificationTarget() = default;
    // Said for a few seconds in the main window, where the desktop shows no notification.
    virtual void showNotificationText(const QString &text) = 0;
    // The user clicked the notification: the window with a page of origin to the front.
    virtual void bringForward(const QUrl &origin) = 0;
};

// A page's notification, and what the page hears of it.
struct PageNotification
{
    QString title;
    QString message;
    QUrl origin;
    // A later notification with the same tag and origin takes this one's place.
    QString tag;
    std::function<void()> shown;
    std::function<void()> clicked;
    // Closed on the desktop, by the user or the notification service.
    std::function<void()> closed;
};

// Shows pages' notifications through the desktop's notification service on the bus
// given (org.freedesktop.Notifications), with the site's host as the body's first line,
// all of it plain text; where no service answers, as a text in the main window. Every
// call to the service is asynchronous: a service that hangs never holds the windows.
class DesktopNotifications : public QObject
{
    Q_OBJECT
public:
    explicit DesktopNotifications(const QDBusConnection &bus, QObject *parent = nullptr);
    ~DesktopNotifications() override;

    // Where texts and clicks go; nullptr: nowhere (the windows are gone).
    void setTarget(NotificationTarget *target) { m_target = target; }
    // The profile's notifications are shown here from now on.
    void presentFor(QWebEngineProfile *profile);
    void present(std::unique_ptr<QWebEngineNotification> notification);

    // Shows it; its number, for withdraw().
    quint32 show(PageNotification notification);
    // The page closed it: gone from the desktop.
    void withdraw(quint32 number);
    // Everything shown goes from the desktop; the pages hear nothing more.
    void withdrawAll();

    // Whether the page at address is of origin: the same scheme, host and port.
    static bool sameOrigin(const QUrl &address, const QUrl &origin);

    static constexpr qsizetype TitleBound = 200;
    static constexpr qsizetype MessageBound = 1000;
    // More at once from pages are too many: the oldest goes.
    static constexpr std::size_t ShownBound = 20;
    static constexpr int CallTimeoutMs = 5000;

private Q_SLOTS:
    void onActionInvoked(uint id, const QString &action);
    void onNotificationClosed(uint id, uint reason);

private:
    struct Shown
    {
        PageNotification page;
        uint desktopId = 0; // 0 until the service answered
    };
    enum class Markup { Unknown, Asking, Plain, Marked };

    void askCapabilities();
    void notify(quint32 number, uint replaces);
    void showInWindow(quint32 number);
    void closeOnDesktop(uint desktopId);
    std::map<quint32, Shown>::iterator findDesktop(uint desktopId);
    QString desktopBody(const Shown &shown) const;

    QDBusConnection m_bus;
    NotificationTarget *m_target = nullptr;
    // By number: oldest first.
    std::map<quint32, Shown> m_shown;
    quint32 m_lastNumber = 0;
    Markup m_markup = Markup::Unknown;
    // Notifications waiting for the service's capabilities, with the desktop id each replaces.
    std::map<quint32, uint> m_waiting;
};
