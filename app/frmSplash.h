#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QTimer;

// The start-up window: a borderless picture, centred, that hands over to the main
// window after three seconds.
class frmSplash : public QWidget
{
    Q_OBJECT
public:
    // showMain creates and shows the main window (its load step runs to completion).
    explicit frmSplash(std::function<void()> showMain);

    void Timer1_Timer();
    // Hands over now instead of at the end of the three seconds (once only).
    void handOverNow();

    QTimer *const Timer1;
    QLabel *const Image1;

Q_SIGNALS:
    // The splash is on screen: its first paint is done.
    void shown();

protected:
    // The first paint is the splash appearing.
    void paintEvent(QPaintEvent *event) override;

private:
    std::function<void()> m_showMain;
    bool m_painted = false;
};
