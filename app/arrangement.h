#pragma once

#include <QList>
#include <QRect>
#include <QSize>

class QMdiArea;

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

// The document area's children moved there. A tiling (tileHorizontal, tileVertical)
// takes the shown, not minimized ones in the order they were made, a maximized one
// restored first; the icons are the minimized ones.
void tileChildren(QMdiArea *area, QList<QRect> (*tiling)(int count, const QRect &bounds));
void arrangeChildIcons(QMdiArea *area);

} // namespace arrangement
