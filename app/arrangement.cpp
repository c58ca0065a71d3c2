#include "app/arrangement.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <algorithm>

namespace arrangement {

namespace {

// Splits length into count parts that differ by at most one pixel, the larger first.
QList<std::pair<int, int>> share(int start, int length, int count)
{
    QList<std::pair<int, int>> parts;
    if (count <= 0)
        return parts;
    const int base = length / count;
    const int spare = length % count;
    int at = start;
    for (int i = 0; i < count; ++i) {
        const int size = base + (i < spare ? 1 : 0);
        parts.append({at, size});
        at += size;
    }
    return parts;
}

} // namespace

QList<QRect> tileHorizontal(int count, const QRect &area)
{
    QList<QRect> out;
    for (const auto &[top, height] : share(area.top(), area.height(), count))
        out.append(QRect(area.left(), top, area.width(), height));
    return out;
}

QList<QRect> tileVertical(int count, const QRect &area)
{
    QList<QRect> out;
    for (const auto &[left, width] : share(area.left(), area.width(), count))
        out.append(QRect(left, area.top(), width, area.height()));
    return out;
}

QList<QRect> arrangeIcons(const QList<QSize> &iconSizes, const QRect &area)
{
    QList<QRect> out;
    int x = area.left();
    int rowBottom = area.bottom() + 1;
    int rowHeight = 0;
    for (const QSize &size : iconSizes) {
        if (x > area.left() && x + size.width() > area.right() + 1) {
            rowBottom -= rowHeight;
            x = area.left();
            rowHeight = 0;
        }
        out.append(QRect(QPoint(x, rowBottom - size.height()), size));
        x += size.width();
        rowHeight = std::max(rowHeight, size.height());
    }
    return out;
}

void tileChildren(QMdiArea *area, QList<QRect> (*tiling)(int count, const QRect &bounds))
{
    QList<QMdiSubWindow *> windows;
    const auto children = area->subWindowList(QMdiArea::CreationOrder);
    for (QMdiSubWindow *s : children) {
        if (s->isVisible() && !s->isMinimized())
            windows << s;
    }
    const QList<QRect> rects = tiling(int(windows.size()), area->viewport()->rect());
    for (qsizetype i = 0; i < windows.size() && i < rects.size(); ++i) {
        if (windows[i]->isMaximized())
            windows[i]->showNormal();
        windows[i]->setGeometry(rects[i]);
    }
}

void arrangeChildIcons(QMdiArea *area)
{
    QList<QMdiSubWindow *> icons;
    QList<QSize> sizes;
    const auto children = area->subWindowList(QMdiArea::CreationOrder);
    for (QMdiSubWindow *s : children) {
        if (s->isVisible() && s->isMinimized()) {
            icons << s;
            sizes << s->size();
        }
    }
    const QList<QRect> rects = arrangeIcons(sizes, area->viewport()->rect());
    for (qsizetype i = 0; i < icons.size(); ++i)
        icons[i]->move(rects[i].topLeft());
}

} // namespace arrangement
