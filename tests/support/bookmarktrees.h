#pragma once

#include "formats/bookmarks.h"

#include <QStringList>

// Bookmark trees for tests: made briefly, and shown one entry a line so a failing
// comparison says where the trees part.
namespace bookmarktrees {

inline Bookmark favorite(const QString &name, const QString &address, qint64 added = 0)
{
    return {name, address, bookmarks::fromSeconds(added), false, {}};
}

inline Bookmark folder(const QString &name, const QList<Bookmark> &children, qint64 added = 0)
{
    return {name, {}, bookmarks::fromSeconds(added), true, children};
}

inline void describe(const QList<Bookmark> &tree, int depth, QStringList &lines)
{
    for (const Bookmark &b : tree) {
        const QString added = b.added.isValid() ? QString::number(b.added.toSecsSinceEpoch()) : QStringLiteral("-");
        lines << QString(depth * 2, QLatin1Char(' ')) + (b.folder ? QStringLiteral("[") + b.name + QStringLiteral("]")
                                                                  : b.name + QStringLiteral(" -> ") + b.address)
                     + QStringLiteral(" @") + added;
        describe(b.children, depth + 1, lines);
    }
}

inline QString describe(const QList<Bookmark> &tree)
{
    QStringList lines;
    describe(tree, 0, lines);
    return lines.join(QLatin1Char('\n'));
}

} // namespace bookmarktrees
