#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// A favorite, or a folder of them, as both the favorites file and the bookmarks HTML
// file that browsers exchange hold them.
struct Bookmark
{
    QString name;
    QString address; // a favorite's; empty for a folder
    QDateTime added; // to the second; invalid when not known
    bool folder = false;
    QList<Bookmark> children; // a folder's, in order

    // Not defaulted: QList's own == asks whether Bookmark has one while Bookmark is
    // still being defined.
    friend bool operator==(const Bookmark &a, const Bookmark &b);
};

// What both files keep of a bookmark, and the bounds on what is read from them.
namespace bookmarks {

// Folders inside folders, below the top.
constexpr int MaxDepth = 32;
constexpr qsizetype MaxNameChars = 1024;
// As the address history keeps.
constexpr qsizetype MaxAddressChars = 64 * 1024;
// Favorites and folders in one file; anything past them is left out.
constexpr qsizetype MaxEntries = 200'000;
// The largest file read at all (a bookmarks file with pictures in it is large).
constexpr qsizetype MaxFileBytes = 64 * 1024 * 1024;

// Whether an address may be kept, and so followed from the menu: an http, https or ftp
// address with a host, or a file address; at most MaxAddressChars. Nothing that runs
// (javascript:), carries its own content (data:) or hands over to another program.
bool keptAddress(const QString &address);

// A name as favorites show it: plain text on one line. Control characters and the
// direction overrides that would make it read as something else go, runs of white space
// become one space, and at most MaxNameChars are kept.
QString plainName(QStringView text);

// A moment as the files give it, seconds since 1970 (UTC); invalid when out of range.
QDateTime fromSeconds(qint64 seconds);

// How many favorites and folders the tree holds, at every depth.
qsizetype count(const QList<Bookmark> &tree);

} // namespace bookmarks
