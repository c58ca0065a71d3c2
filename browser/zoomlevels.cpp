#include "browser/zoomlevels.h"

#include <QUrl>
#include <algorithm>

int ZoomLevels::stepFrom(int percent, int steps)
{
    // A level between steps goes to the neighbouring step in the direction asked.
    for (; steps > 0; --steps) {
        const auto up = std::upper_bound(Steps.begin(), Steps.end(), percent);
        percent = up == Steps.end() ? Steps.back() : *up;
    }
    for (; steps < 0; ++steps) {
        const auto down = std::lower_bound(Steps.begin(), Steps.end(), percent);
        percent = down == Steps.begin() ? Steps.front() : *(down - 1);
    }
    return percent;
}

QString ZoomLevels::keyOf(const QString &location)
{
    const QUrl url(location);
    const QString host = url.host().toLower();
    return host.isEmpty() ? url.scheme().toLower() + QLatin1Char(':') : host;
}

void ZoomLevels::setLevel(const QString &key, int percent)
{
    if (percent == Normal)
        m_levels.remove(key);
    else
        m_levels.insert(key, percent);
}
