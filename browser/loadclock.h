#pragma once

class BrowserHost;
class QTimer;

// The page-load clock of a document window: it runs from a load's begin to its end and
// shows the time in the tools panel, and says so there when a page is slow. It works the
// window's alarm (Timer2) on the load counter all windows share; the window's handlers
// call it.
class LoadClock
{
public:
    LoadClock(QTimer &alarm, BrowserHost &host);

    void begin();
    // The alarm went off: the load has taken long enough to be called slow.
    void alarm();
    void end();

private:
    QTimer &m_alarm;
    BrowserHost &m_host;
};
