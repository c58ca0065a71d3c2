#pragma once

#include <QStatusBar>
#include <array>

class QLabel;
class QTimer;

// A status bar of three sunken panels: a text panel that takes the spare width, then
// today's date and the current time, both kept up to date.
class PanelStatusBar : public QStatusBar
{
    Q_OBJECT
public:
    explicit PanelStatusBar(QWidget *parent = nullptr);

    // Panels are numbered from 1.
    QLabel *panel(int number) const { return m_panels.at(number - 1); }

    // Shows the date and time as of now; the bar does this itself every second.
    void refreshClock();

private:
    std::array<QLabel *, 3> m_panels{};
    QTimer *m_clock;
};
