#pragma once

#include <QRect>

// Where a child window of the document area starts.
namespace childplacement {

// A child wanted at `wanted` in a document area showing `visible`: where it was wanted
// when it fits there; otherwise moved into view as little as it takes, and where it is
// larger than the view, its top left corner (its caption) in view.
inline QRect inView(const QRect &wanted, const QRect &visible)
{
    if (visible.isEmpty())
        return wanted;
    auto along = [](int at, int length, int start, int room) {
        return qMax(start, qMin(at, start + room - length));
    };
    return {QPoint(along(wanted.left(), wanted.width(), visible.left(), visible.width()),
                   along(wanted.top(), wanted.height(), visible.top(), visible.height())),
            wanted.size()};
}

} // namespace childplacement
