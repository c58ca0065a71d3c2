#pragma once

#include <QStatusBar>
#include <array>

class QLabel;
class QLocale;
class QTime;
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

    // A panel of its own between the text panel and the date, for a state that lasts
    // the session; why is its tip and what a screen reader says.
    void addMark(const QString &objectName, const QString &text, const QString &why);

    // Shows the date and time as of now; the bar does this itself whenever what it
    // shows changes.
    void refreshClock();

    // What the time panel shows for time: hours and minutes as the locale writes them.
    static QString timeText(QTime time, const QLocale &locale);

Q_SIGNALS:
    // The text panel was clicked with the left button; text is what it showed.
    void textPanelClicked(const QString &text);

private:
    std::array<QLabel *, 3> m_panels{};
    QTimer *m_clock;
};
