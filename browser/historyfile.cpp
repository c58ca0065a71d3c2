#include "browser/historyfile.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QLockFile>
#include <QSaveFile>
#include <QThread>

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

ReadResult read(QIODevice &device)
{
    ReadResult result;
    if (!device.isOpen() || !device.isReadable())
        return result;

    // A small file needs no large buffer: every window reads this file as it opens.
    qint64 bufferSize = ChunkSize;
    if (!device.isSequential())
        bufferSize = qBound<qint64>(1, device.size() - device.pos() + 1, ChunkSize);
    FieldReader reader;
    QByteArray buffer(bufferSize, Qt::Uninitialized);
    for (;;) {
        const qint64 n = device.read(buffer.data(), buffer.size());
        if (n < 0) {
            // A field cut off by the error is not trusted; the ones before it are.
            result.entries = reader.takeEntries();
            return result;
        }
        if (n == 0)
            break;
        reader.feed(buffer.constData(), n);
    }
    reader.finish();
    result.entries = reader.takeEntries();
    result.ok = true;
    return result;
}

ReadResult read(const QString &path)
{
    // Only a regular file: opening a folder can succeed here, and a pipe or a device
    // could block or never end.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return {};
    // Plain reads, never a mapping: another writer may cut the file short meanwhile.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return {};
    return read(file);
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

QByteArray compose(const QStringList &entries)
{
    qsizetype size = 2;
    for (const QString &entry : entries)
        size += entry.size() + 4;
    QByteArray bytes;
    bytes.reserve(size);
    bytes += "\r\n";
    for (const QString &entry : entries) {
        if (entry.isEmpty())
            continue;
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
    return bytes;
}

bool appendAddress(const QString &path, const QString &previousOwn, const QString &address)
{
    if (path.isEmpty() || address.isEmpty())
        return false;
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(StaleLockMs);
    if (!takeLock(lock))
        return false;

    // Only a file that is truly missing counts as empty: rewriting one we could not
    // read would lose every other writer's addresses.
    QStringList entries;
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) {
        ReadResult current = read(path);
        if (!current.ok)
            return false;
        entries = std::move(current.entries);
    }
    if (!previousOwn.isEmpty()) {
        // The last one: an earlier equal line may be another window's.
        const qsizetype own = entries.lastIndexOf(storedForm(previousOwn));
        if (own >= 0)
            entries.removeAt(own);
    }
    entries.append(address);

    // Written beside the file and renamed over it: a failure leaves the old file whole,
    // and windows reading it without the lock see the old or the new file, never half.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = compose(entries);
    if (file.write(bytes) != bytes.size())
        return false; // the unfinished copy is discarded with file
    return file.commit();
}

} // namespace historyfile
