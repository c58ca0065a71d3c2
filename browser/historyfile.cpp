#include "browser/historyfile.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QLockFile>
#include <QSaveFile>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <utility>

namespace historyfile {

namespace {

// Big enough that a large file costs few reads, small enough never to hold a huge
// file in memory twice.
constexpr qint64 ChunkSize = 1024 * 1024;

// The first of stop, CR or LF in [p, end), or end.
inline const char *findStop(const char *p, const char *end, char stop)
{
    for (; p != end; ++p) {
        const char c = *p;
        if (c == stop || c == '\r' || c == '\n')
            break;
    }
    return p;
}

} // namespace

namespace {
constexpr char ByteOrderMark[] = "\xEF\xBB\xBF";
constexpr int ByteOrderMarkSize = 3;
} // namespace

void FieldReader::feed(const char *data, qsizetype size)
{
    if (!data || size <= 0)
        return;
    while (m_markSeen >= 0 && size > 0) {
        if (*data == ByteOrderMark[m_markSeen]) {
            ++data;
            --size;
            if (++m_markSeen == ByteOrderMarkSize)
                m_markSeen = -1;
            continue;
        }
        // Not a mark after all: what looked like its start is text.
        const int seen = std::exchange(m_markSeen, -1);
        parse(ByteOrderMark, seen);
    }
    parse(data, size);
}

void FieldReader::parse(const char *data, qsizetype size)
{
    if (size <= 0)
        return;
    const char *p = data;
    const char *const end = data + size;
    while (p != end) {
        switch (m_state) {
        case State::BeforeField: {
            const char c = *p;
            if (c == '"') {
                m_state = State::Quoted;
                ++p;
            } else if (c == ' ' || c == ',' || c == '\r' || c == '\n') {
                // A leading space, or the end of an empty field: nothing to keep.
                ++p;
            } else {
                m_state = State::Unquoted; // this byte is the field's first
            }
            break;
        }
        case State::Unquoted:
        case State::Quoted: {
            const char stopAt = m_state == State::Quoted ? '"' : ',';
            const char *stop = findStop(p, end, stopAt);
            if (stop == end) {
                // The field goes on in the next piece.
                m_field.append(p, end - p);
                p = end;
                break;
            }
            endField(p, stop - p);
            // A closing quote leaves the rest of the field to drop; a comma or line
            // end (which also ends a quote left open) starts the next one.
            m_state = *stop == '"' ? State::AfterQuote : State::BeforeField;
            p = stop + 1;
            break;
        }
        case State::AfterQuote: {
            const char *stop = findStop(p, end, ',');
            if (stop == end) {
                p = end;
            } else {
                m_state = State::BeforeField;
                p = stop + 1;
            }
            break;
        }
        }
    }
}

void FieldReader::finish()
{
    if (m_markSeen > 0)
        parse(ByteOrderMark, std::exchange(m_markSeen, -1));
    if (m_state == State::Unquoted || m_state == State::Quoted)
        endField();
    m_field.clear();
    m_state = State::BeforeField;
}

QStringList FieldReader::takeEntries()
{
    return std::exchange(m_entries, {});
}

void FieldReader::endField()
{
    endField(nullptr, 0);
}

void FieldReader::endField(const char *tail, qsizetype size)
{
    // Most fields lie inside one piece: decode them in place instead of copying.
    if (m_field.isEmpty()) {
        if (size > 0)
            m_entries.append(m_decoder(QByteArrayView(tail, size)));
        return;
    }
    m_field.append(tail, size);
    m_entries.append(m_decoder(m_field));
    m_field.clear();
}

namespace {

// Reads device through a FieldReader, handing each piece's entries to take, which says
// whether to go on. False when reading failed; the entries of a field the failure cut
// off are not handed on (the ones before it are).
template<typename Take>
bool readEntries(QIODevice &device, Take &&take, bool atFileStart = true)
{
    if (!device.isOpen() || !device.isReadable())
        return false;
    // A small file needs no large buffer: every window reads this file as it opens.
    qint64 bufferSize = ChunkSize;
    if (!device.isSequential())
        bufferSize = qBound<qint64>(1, device.size() - device.pos() + 1, ChunkSize);
    FieldReader reader;
    if (!atFileStart)
        reader.startMidway();
    QByteArray buffer(bufferSize, Qt::Uninitialized);
    for (;;) {
        const qint64 n = device.read(buffer.data(), buffer.size());
        if (n < 0) {
            take(reader.takeEntries());
            return false;
        }
        if (n == 0)
            break;
        reader.feed(buffer.constData(), n);
        if (!take(reader.takeEntries()))
            return true;
    }
    reader.finish();
    take(reader.takeEntries());
    return true;
}

// Only a regular file: opening a folder can succeed here, and a pipe or a device could
// block or never end. Plain reads, never a mapping: another writer may cut the file
// short meanwhile.
bool openForReading(QFile &file)
{
    return QFileInfo(file.fileName()).isFile() && file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

// Where the line after the one holding byte at starts: just past the first line end at
// or after at; the file's size when none comes; -1 when reading fails.
qint64 nextLineStart(QFile &file, qint64 at)
{
    if (!file.seek(at))
        return -1;
    QByteArray buffer(64 * 1024, Qt::Uninitialized);
    for (;;) {
        const qint64 n = file.read(buffer.data(), buffer.size());
        if (n < 0)
            return -1;
        if (n == 0)
            return at;
        for (qint64 i = 0; i < n; ++i) {
            if (buffer.at(i) == '\r' || buffer.at(i) == '\n')
                return at + i + 1;
        }
        at += n;
    }
}

} // namespace

ReadResult read(QIODevice &device)
{
    ReadResult result;
    result.ok = readEntries(device, [&](QStringList &&entries) {
        result.entries += std::move(entries);
        return true;
    });
    return result;
}

ReadResult read(const QString &path)
{
    if (path.isEmpty())
        return {};
    QFile file(path);
    if (!openForReading(file))
        return {};
    return read(file);
}

ReadResult readLast(const QString &path, qsizetype maxEntries)
{
    if (path.isEmpty())
        return {};
    QFile file(path);
    if (!openForReading(file))
        return {};
    if (maxEntries <= 0)
        return {{}, true};
    const qint64 size = file.size();
    // A quote ends at its line end, so every line reads the same wherever reading
    // starts: read from a line start near the end, further back each time until enough
    // entries come or the whole file has been read.
    for (qint64 span = qMax<qint64>(ChunkSize, 64 * qMin<qint64>(maxEntries, size + 1));; span *= 4) {
        qint64 from = qMax<qint64>(0, size - span);
        if (from > 0)
            from = nextLineStart(file, from - 1);
        if (from < 0 || !file.seek(from))
            return {};
        ReadResult result;
        result.ok = readEntries(
            file,
            [&](QStringList &&entries) {
                result.entries += std::move(entries);
                // Trimmed now and then, not at every piece: the list is long.
                if (result.entries.size() > 2 * maxEntries)
                    result.entries.remove(0, result.entries.size() - maxEntries);
                return true;
            },
            from == 0);
        if (from == 0 || result.entries.size() >= maxEntries || !result.ok) {
            if (result.entries.size() > maxEntries)
                result.entries.remove(0, result.entries.size() - maxEntries);
            return result;
        }
    }
}

namespace {

// Long enough to outlast another window's write, short enough not to stall a window.
constexpr int LockTimeoutMs = 500;
// A write takes milliseconds; a lock this old was left by a writer that died.
constexpr int StaleLockMs = 5000;
// QLockFile's own wait sleeps 100 ms and then longer between tries, and so misses the
// short gaps between another writer's writes; frequent tries of our own catch them.
constexpr int LockPollMs = 2;

bool takeLock(QLockFile &lock)
{
    const QDeadlineTimer deadline(LockTimeoutMs);
    for (;;) {
        if (lock.tryLock(0))
            return true;
        // A folder that is missing or not writable will not get better by waiting.
        if (lock.error() != QLockFile::LockFailedError)
            return false;
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return false;
        QThread::msleep(static_cast<unsigned long>(qMin<qint64>(LockPollMs, left)));
    }
}

// What an entry reads back as once written (see compose).
QString storedForm(const QString &entry)
{
    if (!entry.contains(u'"') && !entry.contains(u'\r') && !entry.contains(u'\n'))
        return entry;
    QString stored = entry;
    stored.replace(u'"', QStringLiteral("%22"));
    stored.replace(u'\r', QStringLiteral("%0D"));
    stored.replace(u'\n', QStringLiteral("%0A"));
    return stored;
}

} // namespace

namespace {

// Adds entry's line (see compose) to bytes; an empty entry adds nothing.
void appendLine(QByteArray &bytes, const QString &entry)
{
    if (entry.isEmpty())
        return;
    // The same 8-bit encoding the reader decodes with.
    const QByteArray field = storedForm(entry).toLocal8Bit();
    if (field.contains(',') || field.startsWith(' ')) {
        bytes += '"';
        bytes += field;
        bytes += '"';
    } else {
        bytes += field;
    }
    bytes += "\r\n";
}

} // namespace

QByteArray compose(const QStringList &entries)
{
    qsizetype size = 2;
    for (const QString &entry : entries)
        size += entry.size() + 4;
    QByteArray bytes;
    bytes.reserve(size);
    bytes += "\r\n";
    for (const QString &entry : entries)
        appendLine(bytes, entry);
    return bytes;
}

bool appendAddress(const QString &path, const QString &previousOwn, const QString &address)
{
    if (path.isEmpty() || address.isEmpty())
        return false;
    const QString lockPath = path + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    lock.setStaleLockTime(StaleLockMs);
    if (!takeLock(lock))
        return false;
    // A lock older than StaleLockMs counts as left behind, so a write of a huge file
    // keeps its lock fresh as it goes.
    QElapsedTimer sinceTouched;
    sinceTouched.start();
    auto keepLock = [&] {
        if (sinceTouched.elapsed() < StaleLockMs / 5)
            return;
        ::utimensat(AT_FDCWD, QFile::encodeName(lockPath).constData(), nullptr, 0);
        sinceTouched.restart();
    };

    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    QByteArray bytes("\r\n");
    // Written in pieces: the file may be far larger than is wise to hold at once.
    auto flush = [&](qsizetype atLeast) {
        if (bytes.size() < atLeast)
            return true;
        const bool written = out.write(bytes) == bytes.size();
        bytes.clear();
        return written;
    };

    // Only a file that is truly missing counts as empty: rewriting one we could not
    // read would lose every other writer's addresses.
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) {
        QFile in(path);
        if (!openForReading(in))
            return false;
        // The last line equal to this window's previous address goes (an earlier equal
        // one may be another window's). Finding it takes a pass of its own; the lock
        // keeps other windows from changing the file between the passes.
        qsizetype own = -1;
        if (!previousOwn.isEmpty()) {
            const QString stored = storedForm(previousOwn);
            qsizetype index = 0;
            const bool read = readEntries(in, [&](QStringList &&entries) {
                for (const QString &entry : std::as_const(entries)) {
                    if (entry == stored)
                        own = index;
                    ++index;
                }
                keepLock();
                return true;
            });
            if (!read || !in.seek(0))
                return false;
        }
        qsizetype index = 0;
        bool written = true;
        const bool read = readEntries(in, [&](QStringList &&entries) {
            for (const QString &entry : std::as_const(entries)) {
                if (index++ != own)
                    appendLine(bytes, entry);
            }
            written = flush(ChunkSize);
            keepLock();
            return written;
        });
        if (!read || !written)
            return false; // the unfinished copy is discarded with out
    }
    appendLine(bytes, address);

    // Written beside the file and renamed over it: a failure leaves the old file whole,
    // and windows reading it without the lock see the old or the new file, never half.
    return flush(0) && out.commit();
}

} // namespace historyfile
