#include "engine/pageinput.h"

#include <QChildEvent>
#include <QKeyEvent>
#include <QWheelEvent>
#include <QWidget>

PageInput::PageInput(QWidget *view, std::function<bool()> hostTakesEscape, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_hostTakesEscape(std::move(hostTakesEscape))
{
    // The page's wheel events go to the widget the view draws the page in, which the
    // view replaces as it likes: each one is watched as it comes.
    m_view->installEventFilter(this);
    for (QObject *child : m_view->children())
        child->installEventFilter(this);
}

bool PageInput::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view) {
        if (event->type() == QEvent::ChildAdded)
            static_cast<QChildEvent *>(event)->child()->installEventFilter(this);
        return false;
    }
    switch (event->type()) {
    case QEvent::Wheel:
        return takeZoomWheel(static_cast<QWheelEvent *>(event));
    case QEvent::ShortcutOverride:
        // Claimed for the page, it reaches the page rather than any shortcut.
        if (escapeIsThePages(static_cast<QKeyEvent *>(event))) {
            event->accept();
            return true;
        }
        break;
    default:
        break;
    }
    return false;
}

bool PageInput::escapeIsThePages(const QKeyEvent *key) const
{
    // Web applications close their overlays with Esc; it stops only a load, and ends
    // only a full screen.
    return key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier && !m_hostTakesEscape();
}

bool PageInput::takeZoomWheel(const QWheelEvent *wheel)
{
    if (!(wheel->modifiers() & Qt::ControlModifier))
        return false;
    // Taken whole: the page neither scrolls nor zooms by itself.
    m_zoomWheelRest += wheel->angleDelta().y();
    const int steps = m_zoomWheelRest / QWheelEvent::DefaultDeltasPerStep;
    m_zoomWheelRest %= QWheelEvent::DefaultDeltasPerStep;
    if (steps != 0)
        Q_EMIT zoomWheel(steps);
    return true;
}
