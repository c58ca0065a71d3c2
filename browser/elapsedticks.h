#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

// The whole milliseconds that passed between a timer's ticks. A 1 ms timer's ticks
// come late and irregularly; counting the clock instead of the ticks keeps a tick count
// a true count of milliseconds, and carrying the remainder keeps it from drifting.
class ElapsedTicks
{
public:
    void start()
    {
        m_clock.start();
        m_takenNs = 0;
    }
    // Milliseconds since the previous take (or the start).
    qint64 take()
    {
        if (!m_clock.isValid())
            return 0;
        const qint64 ms = (m_clock.nsecsElapsed() - m_takenNs) / 1000000;
        m_takenNs += ms * 1000000;
        return ms;
    }

private:
    QElapsedTimer m_clock;
    qint64 m_takenNs = 0;
};
