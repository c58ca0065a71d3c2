#pragma once

#include <QList>
#include <QRect>
#include <QSize>

// Where the document area's children go for the Window menu's arrangements.
namespace arrangement {

// Stacked top to bottom, each the full width; heights shared out, the first rows
// taking the spare pixels.
QList<QRect> tileHorizontal(int count, const QRect &area);

// Side by side, each the full height; widths shared out the same way.
QList<QRect> tileVertical(int count, const QRect &area);

// Minimized windows lined up along the bottom from the left, a new row above when one
// is full.
QList<QRect> arrangeIcons(const QList<QSize> &iconSizes, const QRect &area);

} // namespace arrangement
