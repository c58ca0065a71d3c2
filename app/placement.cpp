#include "app/placement.h"

#include "shared/childplacement.h"
#include "system/quietlog.h"
#include "system/twips.h"

#include <QRegion>

#include <cmath>
#include <limits>

namespace placement {

namespace {
// Qt's own bound on window coordinates and sizes; beyond it a value cannot be applied.
constexpr float largest = float(QWIDGETSIZE_MAX) * twips::perPixel;

// fromText, telling why a stored value was not used.
float stored(const char *key, const QString &text, float defaultValue, float minimum, float maximum)
{
    const float v = fromText(text, std::numeric_limits<float>::quiet_NaN(), minimum, maximum);
    if (!std::isnan(v))
        return v;
    quietlog::warnOnce(lcSettings(),
                       QStringLiteral("The stored %1 \"%2\" was not used: it is no number from %3 to %4.")
                           .arg(QLatin1String(key), text.left(100), toText(minimum), toText(maximum)));
    return defaultValue;
}
} // namespace

QString toText(float value)
{
    // Seven significant digits hold every single-precision value a window reports.
    return QString::number(double(value), 'g', 7);
}

float fromText(const QString &text, float defaultValue, float minimum, float maximum)
{
    bool ok = false;
    const float v = text.trimmed().toFloat(&ok);
    if (!ok || !std::isfinite(v) || v < minimum || v > maximum)
        return defaultValue;
    return v;
}

QRectF fromTexts(const QString &left, const QString &top, const QString &width,
                 const QString &height, QSize minimumPixels)
{
    const float minW = float(twips::fromPixels(qMax(1, minimumPixels.width())));
    const float minH = float(twips::fromPixels(qMax(1, minimumPixels.height())));
    return {stored("MainLeft", left, defaultLeft, -largest, largest),
            stored("MainTop", top, defaultTop, -largest, largest),
            stored("MainWidth", width, defaultWidth, minW, largest),
            stored("MainHeight", height, defaultHeight, minH, largest)};
}

QRect insideFrame(const QRect &outer, const QMargins &frame)
{
    const QRect inner = outer.marginsRemoved(frame);
    return {inner.topLeft(), QSize(qMax(1, inner.width()), qMax(1, inner.height()))};
}

namespace {
// The squared distance between two rectangles; 0 where they meet.
qint64 distance(const QRect &a, const QRect &b)
{
    const qint64 dx = qMax<qint64>(0, qMax(qint64(b.left()) - a.right(), qint64(a.left()) - b.right()));
    const qint64 dy = qMax<qint64>(0, qMax(qint64(b.top()) - a.bottom(), qint64(a.top()) - b.bottom()));
    return dx * dx + dy * dy;
}
} // namespace

QRect onScreens(const QRect &outer, const QList<QRect> &screens, int titleBar)
{
    const QRect bar(outer.topLeft(), QSize(outer.width(), qBound(1, titleBar, qMax(1, outer.height()))));
    QRegion covered;
    const QRect *nearest = nullptr;
    for (const QRect &screen : screens) {
        if (screen.isEmpty())
            continue;
        covered += screen;
        if (!nearest || distance(bar, screen) < distance(bar, *nearest))
            nearest = &screen;
    }
    // A title bar across two screens side by side is whole on them too.
    if (!nearest || QRegion(bar).subtracted(covered).isEmpty())
        return outer;
    // Shrunk to fit, it moves into the screen as a child moves into the document area.
    return childplacement::inView(QRect(outer.topLeft(), outer.size().boundedTo(nearest->size())), *nearest);
}

} // namespace placement
