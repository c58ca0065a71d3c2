#pragma once

// The documentation page a start from a link loads: a chapter of valgrind's manual as
// Debian installs it (/usr/share/doc/valgrind/html/manual-core.html, 173 KB, its
// stylesheet and its five pictures, 88 KB of them one screenshot), served whole from a
// loopback server. Its body reports its load event itself, with the size of the view
// it was laid out in: /loaded?w=..&h=.. . Every other request it makes (the list-item
// picture its stylesheet names, which Debian does not ship) is a path under /doc/.

#include "support/loopbackhttpserver.h"

#include <QDir>
#include <QFile>
#include <QString>

namespace docpage {

inline const QString Folder = QStringLiteral("/usr/share/doc/valgrind/html");
inline const QString Path = QStringLiteral("/doc/manual-core.html");
inline const QString Loaded = QStringLiteral("/loaded");

// Routes the page and what it loads; its size in bytes, or 0 when the manual is missing.
inline qint64 serve(LoopbackHttpServer &server)
{
    const QDir folder(Folder);
    QFile page(folder.filePath(QStringLiteral("manual-core.html")));
    if (!page.open(QIODevice::ReadOnly))
        return 0;
    QByteArray html = page.readAll();
    const qsizetype body = html.indexOf("<body");
    if (body < 0)
        return 0;
    html.insert(body + 5, " onload=\"new Image().src='" + Loaded.toUtf8()
                              + "?w=' + innerWidth + '&amp;h=' + innerHeight\"");
    server.setPage(Path, html);
    qint64 bytes = html.size();

    QFile style(folder.filePath(QStringLiteral("vg_basic.css")));
    if (!style.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray css = style.readAll();
    server.setPage(QStringLiteral("/doc/vg_basic.css"), css, "text/css");
    bytes += css.size();
    for (const QString &name : {QStringLiteral("home.png"), QStringLiteral("up.png"), QStringLiteral("prev.png"),
                                QStringLiteral("next.png"), QStringLiteral("kcachegrind_xtree.png")}) {
        QFile picture(folder.filePath(QStringLiteral("images/") + name));
        if (!picture.open(QIODevice::ReadOnly))
            return 0;
        const QByteArray png = picture.readAll();
        server.setPage(QStringLiteral("/doc/images/") + name, png, "image/png");
        bytes += png.size();
    }
    server.setPage(Loaded, "", "image/gif");
    return bytes;
}

// Whether a request the server saw is one the page makes.
inline bool isPagesOwn(const QString &target)
{
    return target.startsWith(QLatin1String("/doc/")) || target.startsWith(Loaded + QLatin1Char('?'));
}

} // namespace docpage
