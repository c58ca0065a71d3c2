#pragma once

#include <QList>
#include <QMargins>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QString>

// The main window's saved placement, in twips, as the settings store keeps it.
namespace placement {

inline constexpr float defaultLeft = 1000;
inline constexpr float defaultTop = 1000;
inline constexpr float defaultWidth = 6500;
inline constexpr float defaultHeight = 6500;

// The decimal text of a single-precision number ("1000", "987.5").
QString toText(float value);

// Reads one stored value. Text that is not a finite number, or that lies outside
// [minimum, maximum], gives the default.
float fromText(const QString &text, float defaultValue, float minimum, float maximum);

// The placement from the four stored texts. Positions are taken as read (not kept on
// a screen); a width or height below the window's minimum gives that key's default.
QRectF fromTexts(const QString &left, const QString &top, const QString &width,
                 const QString &height, QSize minimumPixels);

// Where the window itself goes (pixels) for its frame to cover `outer`; never smaller
// than one pixel either way.
QRect insideFrame(const QRect &outer, const QMargins &frame);

// How much of a window's top a title bar is taken to be where the window manager has
// not told its frame.
inline constexpr int assumedTitleBar = 24;

// Where a restored window goes (outer bounds, pixels) so that its whole title bar (its
// top titleBar pixels) lies on the screens whose available areas are given: unchanged
// where it does; otherwise moved onto the nearest screen, and shrunk to fit it where
// larger. With no screen given, unchanged.
QRect onScreens(const QRect &outer, const QList<QRect> &screens, int titleBar);

} // namespace placement
