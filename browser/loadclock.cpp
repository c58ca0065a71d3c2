#include "browser/loadclock.h"

#include "browser/browserhost.h"
#include "shared/measurements.h"
#include "shared/toolspaneldisplay.h"

namespace {

constexpr qint64 slowPageMs = 500;

} // namespace

LoadClock::LoadClock(QTimer &alarm, BrowserHost &host)
    : m_alarm(alarm)
    , m_host(host)
{
}

void LoadClock::begin()
{
    TickCounter &ticks = m_host.measurements().LoadTicks;
    if (!ticks.isRunning(&m_alarm))
        ticks.run(&m_alarm, slowPageMs);
}

void LoadClock::alarm()
{
    TickCounter &ticks = m_host.measurements().LoadTicks;
    if (ticks.isRunning(&m_alarm) && ticks.reached())
        m_host.loadedToolsPanel().showSlowLoad();
}

void LoadClock::end()
{
    TickCounter &ticks = m_host.measurements().LoadTicks;
    ticks.stop(&m_alarm);
    m_host.loadedToolsPanel().showLoadTime(ticks.text());
    ticks.reset();
}
