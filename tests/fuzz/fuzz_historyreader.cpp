// libFuzzer entry for the address history reader. Besides no crash and no sanitizer
// report, for any bytes:
//  - read in pieces (sizes drawn from the first byte) and read whole give the same entries;
//  - no entry is empty;
//  - the entries written back with compose read back the same, but for '"', CR and LF,
//    which compose writes as %22, %0D and %0A; and that file, read and written again,
//    is the same bytes: a rewrite never splits, merges or loses another writer's lines.
#include "browser/historyfile.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace {

QStringList readWhole(QByteArray bytes)
{
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        __builtin_trap();
    const historyfile::ReadResult result = historyfile::read(buffer);
    if (!result.ok)
        __builtin_trap(); // a buffer never fails to read
    return result.entries;
}

// Piece sizes from 1 to 16 bytes (or 1 to 256, for seeds with the top bit set), varying
// along the input, so field ends fall at every place against the piece bounds.
QStringList readInPieces(const char *data, qsizetype size)
{
    const unsigned seed = size > 0 ? static_cast<unsigned char>(data[0]) : 0;
    const unsigned mask = seed & 0x80 ? 0xff : 0x0f;
    unsigned state = seed * 2654435761u + 1;
    historyfile::FieldReader reader;
    QStringList entries;
    for (qsizetype at = 0; at < size;) {
        state = state * 1103515245u + 12345u;
        const qsizetype n = qMin<qsizetype>(((state >> 16) & mask) + 1, size - at);
        reader.feed(data + at, n);
        at += n;
        // Taking the entries part way must lose none and repeat none.
        if (state & 0x100)
            entries += reader.takeEntries();
    }
    reader.finish();
    entries += reader.takeEntries();
    return entries;
}

// What compose writes for an entry, and so what it reads back as.
QString escaped(QString entry)
{
    entry.replace(u'"', QStringLiteral("%22"));
    entry.replace(u'\r', QStringLiteral("%0D"));
    entry.replace(u'\n', QStringLiteral("%0A"));
    return entry;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const char *bytes = reinterpret_cast<const char *>(data);
    const QStringList entries = readWhole(QByteArray(bytes, qsizetype(size)));
    if (readInPieces(bytes, qsizetype(size)) != entries)
        __builtin_trap();

    QStringList expected;
    for (const QString &entry : entries) {
        if (entry.isEmpty())
            __builtin_trap();
        expected += escaped(entry);
    }

    const QByteArray composed = historyfile::compose(entries);
    if (readWhole(composed) != expected)
        __builtin_trap();
    if (historyfile::compose(expected) != composed)
        __builtin_trap();
    return 0;
}
