#include "system/windowactivation.h"

#include "system/handover.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <qpa/qplatformnativeinterface.h>

namespace windowactivation {

namespace {

// The X server time of the click, as launchers end a startup id: "..._TIME<ms>"; 0 if none.
quint32 launchTime(const QByteArray &startupId)
{
    const qsizetype at = startupId.lastIndexOf("_TIME");
    bool number = false;
    const quint32 time = at < 0 ? 0 : startupId.mid(at + 5).toUInt(&number);
    return number ? time : 0;
}

template<typename Function, typename Resolved>
Function as(Resolved resolved)
{
    // Through the generic function type, which any function pointer may be cast to and back.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(resolved));
}

// Under X11 the window manager compares the time of an activation with the user's last
// action; Qt's request carries the time of the last event this process saw, older than the
// click in the other program. The startup id carries that click's time: Qt takes it as its
// own, and the id itself (set on the program's group leader, ended when Qt next maps a window).
void spendStartupId(QWidget *window, const QByteArray &startupId)
{
    QPlatformNativeInterface *native = QGuiApplication::platformNativeInterface();
    if (!native)
        return;
    QScreen *screen = window->screen();
    const quint32 clicked = launchTime(startupId);
    const auto now = quint32(reinterpret_cast<quintptr>(native->nativeResourceForScreen("apptime", screen)));
    // X times wrap around: later is a positive difference.
    if (clicked != 0 && qint32(clicked - now) > 0) {
        for (const char *name : {"setapptime", "setappusertime"}) {
            if (auto set = as<void (*)(QScreen *, quint32)>(native->nativeResourceFunctionForScreen(name)))
                set(screen, clicked);
        }
    }
    if (auto set = as<void (*)(const char *)>(native->nativeResourceFunctionForIntegration("setstartupid")))
        set(startupId.constData());
}

} // namespace

QByteArray tokenFromEnvironment()
{
    for (const char *name : {"XDG_ACTIVATION_TOKEN", "DESKTOP_STARTUP_ID"}) {
        const QByteArray token = qgetenv(name);
        if (!token.isEmpty())
            return handover::isPlainToken(token) ? token : QByteArray();
    }
    return {};
}

void bringForward(QWidget *window, const QByteArray &token)
{
    if (!token.isEmpty() && handover::isPlainToken(token)) {
        if (QGuiApplication::platformName() == QLatin1String("xcb"))
            spendStartupId(window, token);
        else if (QGuiApplication::platformName().startsWith(QLatin1String("wayland")))
            // Qt's Wayland shell presents it with the window's next activation, and drops it.
            qputenv("XDG_ACTIVATION_TOKEN", token);
    }
    if (window->isMinimized())
        window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->raise();
    window->activateWindow();
}

} // namespace windowactivation
