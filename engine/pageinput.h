#pragma once

#include <QObject>

#include <functional>

class QKeyEvent;
class QWheelEvent;
class QWidget;

// The keys and the wheel over a page, taken before the page sees them: Ctrl+wheel
// zooms by whole notches, and Esc is the page's own key unless the host needs it (to
// stop a load or end a full screen). Every other key is left to the window.
class PageInput : public QObject
{
    Q_OBJECT
public:
    // hostTakesEscape: whether Esc is the host's now; asked at each key.
    PageInput(QWidget *view, std::function<bool()> hostTakesEscape, QObject *parent);

Q_SIGNALS:
    // Whole notches, up positive.
    void zoomWheel(int steps);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    bool takeZoomWheel(const QWheelEvent *wheel);
    bool escapeIsThePages(const QKeyEvent *key) const;

    QWidget *m_view;
    std::function<bool()> m_hostTakesEscape;
    // Part of a wheel notch turned with Ctrl held (touchpads send small steps).
    int m_zoomWheelRest = 0;
};
