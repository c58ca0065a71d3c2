#pragma once

#include "formats/bookmarks.h"

#include <QByteArray>

// The bookmarks HTML file every browser reads and writes (NETSCAPE-Bookmark-file-1):
//   <DL><p>
//     <DT><H3 ADD_DATE="...">folder</H3>
//     <DL><p> ... </DL><p>
//     <DT><A HREF="..." ADD_DATE="...">name</A>
//   </DL><p>
// Read as the loose HTML it is, and as a file from anywhere: nothing in it is markup to
// us. A name is the text up to its closing tag (or the next <DT>, <DL>, </DL>, <DD>,
// <A> or <H3>, when that is missing), with entities decoded and any other tag in it kept
// as the text it is; then made plain (bookmarks::plainName). Only addresses
// bookmarks::keptAddress takes are kept; a link with any other is left out and counted.
// Folders deeper than bookmarks::MaxDepth and entries past bookmarks::MaxEntries are
// left out and counted too. Every step goes forward through the text once.
namespace bookmarkshtml {

struct ReadResult
{
    QList<Bookmark> tree;
    bool recognized = false;  // a <DL> list was there: it is such a file
    qsizetype refused = 0;    // links whose address is not kept
    qsizetype leftOut = 0;    // too deep, or past the most entries
};

// Reads the file's bytes (UTF-8, as the file says of itself).
ReadResult read(const QByteArray &html);

// The file for tree, in UTF-8, which read gives back as it was.
QByteArray write(const QList<Bookmark> &tree);

} // namespace bookmarkshtml
