#include "app/placement.h"

#include "platform/twips.h"

#include <QWidget>
#include <cmath>

namespace placement {

namespace {
// Qt's own bound on window coordinates and sizes; beyond it a value cannot be applied.
constexpr float largest = float(QWIDGETSIZE_MAX) * twips::perPixel;
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
    return {fromText(left, defaultLeft, -largest, largest),
            fromText(top, defaultTop, -largest, largest),
            fromText(width, defaultWidth, minW, largest),
            fromText(height, defaultHeight, minH, largest)};
}

} // namespace placement
