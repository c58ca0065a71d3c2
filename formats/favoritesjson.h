#pragma once

#include "formats/bookmarks.h"

#include <QByteArray>

// The favorites file, JSON in UTF-8:
//   {"version": 1,
//    "favorites": [
//      {"name": "News", "added": 1700000000, "children": [ ... ]},
//      {"name": "Example", "address": "https://example.org/", "added": 1700000000}]}
// A folder has "children", a favorite "address"; "added" (seconds since 1970, UTC) may
// be missing. Other keys are passed over, so a later version may add some.
namespace favoritesjson {

constexpr int Version = 1;

struct ReadResult
{
    QList<Bookmark> tree;
    // Empty when the file was read whole; else what was wrong with it, for the user.
    QString damage;
    // Entries left out (wrong types, addresses not kept, too deep, too many); the rest
    // are in tree. A file that is not whole JSON, not version 1 or has no list gives none.
    qsizetype leftOut = 0;
};

ReadResult read(const QByteArray &bytes);

QByteArray write(const QList<Bookmark> &tree);

} // namespace favoritesjson
