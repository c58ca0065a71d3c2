#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

// A count of milliseconds that may be unset: unset prints as empty text, adding to it
// starts from zero, and a reset sets it to 0 (not back to unset).
class TickCounter
{
public:
    QString text() const { return m_value ? QString::number(*m_value) : QString(); }
    qint64 value() const { return m_value.value_or(0); }

    // Adds ms; true when this addition reached or passed threshold from below it.
    bool add(qint64 ms, qint64 threshold)
    {
        const qint64 before = value();
        m_value = before + ms;
        return before < threshold && *m_value >= threshold;
    }
    void reset() { m_value = 0; }

private:
    std::optional<qint64> m_value;
};

// What the document windows measure and the tools panel shows: one copy for the whole
// program, shared by every window, outliving the tools panel.
struct Measurements
{
    bool LinkPingEnabled = false;
    TickCounter PingTicks;
    TickCounter LoadTicks;
};
