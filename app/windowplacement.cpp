#include "app/windowplacement.h"

#include "app/placement.h"
#include "system/settingsstore.h"
#include "system/twips.h"
#include "system/windowframe.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>

namespace {

// The settings keys of the four values, in the order of a rectangle's.
const char *const keys[] = {"MainLeft", "MainTop", "MainWidth", "MainHeight"};

} // namespace

WindowPlacement::WindowPlacement(QWidget &window, SettingsStore &settings, const QString &appName,
                                 const QString &section)
    : m_window(window)
    , m_settings(settings)
    , m_appName(appName)
    , m_section(section)
{
}

void WindowPlacement::apply()
{
    const float defaults[] = {placement::defaultLeft, placement::defaultTop, placement::defaultWidth,
                              placement::defaultHeight};
    QString texts[4];
    for (int i = 0; i < 4; ++i)
        texts[i] = m_settings.get(m_appName, m_section, QLatin1String(keys[i]), placement::toText(defaults[i]));
    const QRectF placed = placement::fromTexts(texts[0], texts[1], texts[2], texts[3], m_window.minimumSizeHint());
    // The stored placement is the outer one. X11 moves and sizes the window inside its
    // frame, and the manager tells the frame only once asked or once the window is on
    // screen: ask before showing; failing an answer, correct once the frame is known.
    const QRect stored(twips::toPixels(qRound(placed.left())), twips::toPixels(qRound(placed.top())),
                       twips::toPixels(qRound(placed.width())), twips::toPixels(qRound(placed.height())));
    const std::optional<QMargins> frame = windowframe::beforeShown(m_window.windowHandle());
    // Restored, the window must be reachable: its title bar on a screen as they are now.
    QList<QRect> screens;
    for (const QScreen *screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    const QRect outer = placement::onScreens(
        stored, screens, frame && frame->top() > 0 ? frame->top() : placement::assumedTitleBar);
    m_window.setGeometry(placement::insideFrame(outer, frame.value_or(QMargins())));
    if (!frame) {
        m_outerAwaitingFrame = outer;
        m_frameCorrections = 3;
    }
}

void WindowPlacement::correct()
{
    // A maximized window keeps the placement for when it is restored.
    QWindow *handle = m_window.windowHandle();
    if (!m_outerAwaitingFrame || !m_window.isVisible() || !handle
        || (m_window.windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    const QMargins frame = handle->frameMargins();
    if (frame.isNull())
        return; // not told yet, or no frame at all: either way the placement holds
    const QRect wanted = placement::insideFrame(*m_outerAwaitingFrame, frame);
    // The manager may report a frame in steps; each correction is checked by the move
    // it causes, and a manager that will not have it ends the attempts.
    if (m_window.geometry() == wanted || m_frameCorrections-- <= 0) {
        m_outerAwaitingFrame.reset();
        return;
    }
    m_window.setGeometry(wanted);
}

void WindowPlacement::toggleFullScreen()
{
    if (!m_window.isFullScreen() && m_window.windowHandle())
        m_frameBeforeFullScreen = m_window.windowHandle()->frameMargins();
    m_window.setWindowState(m_window.windowState() ^ Qt::WindowFullScreen);
}

void WindowPlacement::store() const
{
    if (m_window.isMinimized())
        return;
    // A maximized window stores its maximized bounds, as it reports them. One whose frame
    // was never told still stands at the placement it was given. A full screen is no
    // placement: the window stores where it goes back to when restored.
    QRect r = m_outerAwaitingFrame && !m_window.isMaximized() ? *m_outerAwaitingFrame : m_window.frameGeometry();
    if (m_window.isFullScreen())
        r = m_window.normalGeometry().marginsAdded(m_frameBeforeFullScreen);
    const int values[] = {r.x(), r.y(), r.width(), r.height()};
    for (int i = 0; i < 4; ++i)
        m_settings.save(m_appName, m_section, QLatin1String(keys[i]),
                        placement::toText(float(twips::fromPixels(values[i]))));
}
