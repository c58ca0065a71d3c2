#pragma once

#include <QApplication>
#include <QFont>
#include <QRect>
#include <QWidget>
#include <cmath>

// Window designs are written in twips; 15 twips make one logical pixel.
namespace twips {

constexpr int perPixel = 15;

constexpr int toPixels(int tw)
{
    // Round half away from zero, so 7 twips is 0 px and 8 twips is 1 px either side of 0.
    return tw >= 0 ? (tw + perPixel / 2) / perPixel : -((-tw + perPixel / 2) / perPixel);
}

constexpr int fromPixels(int px) { return px * perPixel; }

inline QRect rect(int left, int top, int width, int height)
{
    return {toPixels(left), toPixels(top), toPixels(width), toPixels(height)};
}

inline void place(QWidget *w, int left, int top, int width, int height)
{
    w->setGeometry(rect(left, top, width, height));
}

// Designs in twips were laid out for a narrow 8-point dialog font; their captions fit only
// at that size and width. A sans serif with Arial's widths comes closest where installed.
inline QFont designFont()
{
    QFont f = QApplication::font();
    f.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"), f.family()});
    f.setPointSizeF(8);
    return f;
}

} // namespace twips
