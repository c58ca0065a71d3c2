#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QtGlobal>
#include <limits>
#include <optional>
#include <utility>

// A count of milliseconds that may be unset: unset prints as empty text, adding to it
// starts from zero, and a reset sets it to 0 (not back to unset).
//
// Windows run it, each adding the clock's milliseconds while it runs, so two windows
// running at once count twice as fast. The running time is read from the clock when the
// count is read, not counted tick by tick: ticks of a 1 ms timer would wake the program
// a thousand times a second to change nothing anyone sees. Instead each running
// window's alarm is set, single-shot, for the moment the count reaches its threshold,
// and set again whenever that moment moves (a window starts or stops, a reset).
class TickCounter
{
public:
    TickCounter() { m_clock.start(); }
    TickCounter(const TickCounter &) = delete;
    TickCounter &operator=(const TickCounter &) = delete;

    QString text() const
    {
        const std::optional<qint64> v = current();
        return v ? QString::number(*v) : QString();
    }
    qint64 value() const { return current().value_or(0); }

    // Adds ms; true when this addition reached or passed threshold from below it.
    bool add(qint64 ms, qint64 threshold)
    {
        fold();
        const qint64 before = m_value.value_or(0);
        m_value = before + ms;
        noteReached();
        arm();
        return before < threshold && *m_value >= threshold;
    }
    void reset()
    {
        fold();
        m_value = 0;
        m_restNs = 0;
        m_reached = false;
        arm();
    }

    // Counts the clock for the window of alarm from now until stop(alarm) or the
    // alarm's destruction; the alarm goes off when the count reaches threshold.
    void run(QTimer *alarm, qint64 threshold)
    {
        if (isRunning(alarm))
            return;
        fold();
        m_threshold = threshold;
        alarm->setSingleShot(true);
        m_alarms.append(alarm);
        // A window closed while it counts stops counting then, leaving the count as it was.
        QObject::connect(alarm, &QObject::destroyed, &m_guard, [this](QObject *gone) { forget(gone); });
        arm();
    }
    // Counts the window's milliseconds up to now and stops counting them.
    void stop(QTimer *alarm)
    {
        fold();
        if (m_alarms.removeOne(alarm)) {
            QObject::disconnect(alarm, &QObject::destroyed, &m_guard, nullptr);
            alarm->stop();
        }
        arm();
    }
    bool isRunning(const QTimer *alarm) const { return m_alarms.contains(alarm); }

    // For a window whose alarm went off: true once each time the count reaches the
    // threshold from below it. An alarm that came early is set again.
    bool reached()
    {
        fold();
        const bool now = !m_reached && m_value.value_or(0) >= m_threshold;
        m_reached = m_reached || now;
        arm();
        return now;
    }

private:
    static constexpr qint64 nsPerMs = 1'000'000;

    // The whole milliseconds counted since the last fold, and the nanoseconds left over.
    struct Pending {
        qint64 ms;
        qint64 restNs;
        qint64 atNs;
    };
    Pending pending() const
    {
        const qint64 now = m_clock.nsecsElapsed();
        const qint64 ns = m_restNs + qint64(m_alarms.size()) * (now - m_atNs);
        return {ns / nsPerMs, ns % nsPerMs, now};
    }
    std::optional<qint64> current() const
    {
        const qint64 ms = pending().ms;
        if (!m_value && ms == 0)
            return std::nullopt;
        return m_value.value_or(0) + ms;
    }
    void fold()
    {
        const Pending p = pending();
        if (p.ms > 0)
            m_value = m_value.value_or(0) + p.ms;
        m_restNs = p.restNs;
        m_atNs = p.atNs;
    }
    // Passed by an addition rather than by running: no alarm tells of it.
    void noteReached()
    {
        if (m_value.value_or(0) >= m_threshold)
            m_reached = true;
    }
    void arm()
    {
        if (m_alarms.isEmpty())
            return;
        const qint64 runners = m_alarms.size();
        const qint64 leftNs = m_threshold * nsPerMs - (m_value.value_or(0) * nsPerMs + m_restNs);
        for (QTimer *alarm : std::as_const(m_alarms)) {
            if (m_reached) {
                alarm->stop();
                continue;
            }
            // Rounded up: an alarm that wakes before the count is there only sets itself again.
            const qint64 ms = leftNs <= 0 ? 0 : (leftNs + runners * nsPerMs - 1) / (runners * nsPerMs);
            alarm->start(int(qMin<qint64>(ms, std::numeric_limits<int>::max())));
        }
    }
    void forget(QObject *gone)
    {
        fold();
        m_alarms.removeIf([gone](QTimer *alarm) { return static_cast<QObject *>(alarm) == gone; });
        arm();
    }

    std::optional<qint64> m_value;
    qint64 m_restNs = 0;
    qint64 m_atNs = 0;
    qint64 m_threshold = std::numeric_limits<qint64>::max();
    bool m_reached = false;
    QList<QTimer *> m_alarms;
    QElapsedTimer m_clock;
    QObject m_guard; // the alarms' connections end with the counter
};

// What the document windows measure and the tools panel shows: one copy for the whole
// program, shared by every window, outliving the tools panel.
struct Measurements
{
    bool LinkPingEnabled = false;
    TickCounter PingTicks;
    TickCounter LoadTicks;
};
