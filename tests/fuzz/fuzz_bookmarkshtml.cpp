// libFuzzer entry for the bookmarks HTML reader, which reads files from anywhere. Besides
// no crash, no hang and no sanitizer report, for any bytes:
//  - what is kept keeps to the rules: plain names within their length, addresses that
//    may be kept, folders no deeper than the deepest, no more entries than the most;
//  - the tree written as a bookmarks file and read again is the same tree.
#include "formats/bookmarkshtml.h"

#include <cstddef>
#include <cstdint>

namespace {

void check(const QList<Bookmark> &tree, int depth)
{
    if (depth > bookmarks::MaxDepth)
        __builtin_trap();
    for (const Bookmark &b : tree) {
        if (b.name.isEmpty() || b.name.size() > bookmarks::MaxNameChars || bookmarks::plainName(b.name) != b.name)
            __builtin_trap();
        if (b.folder ? !b.address.isEmpty() : !bookmarks::keptAddress(b.address))
            __builtin_trap();
        if (!b.folder && !b.children.isEmpty())
            __builtin_trap();
        check(b.children, depth + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const bookmarkshtml::ReadResult read = bookmarkshtml::read(bytes);
    check(read.tree, 0);
    if (bookmarks::count(read.tree) > bookmarks::MaxEntries || read.refused < 0 || read.leftOut < 0)
        __builtin_trap();
    const bookmarkshtml::ReadResult again = bookmarkshtml::read(bookmarkshtml::write(read.tree));
    if (!(again.tree == read.tree) || again.refused != 0 || again.leftOut != 0)
        __builtin_trap();
    return 0;
}
