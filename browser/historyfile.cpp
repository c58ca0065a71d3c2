#include "browser/historyfile.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QIODevice>
#include <QLockFile>
#include <QSaveFile>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>
#include <utility>

Q_LOGGING_CATEGORY(lcHistory, "halvane.history", QtWarningMsg)

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

// The same for a field being passed over: it is long, so its end is as a rule far off,
// and the library's search is many times faster there than a loop.
inline const char *findStopFar(const char *p, const char *end, char stop)
{
    for (const char c : {stop, '\n', '\r'}) {
        if (const void *hit = std::memchr(p, c, size_t(end - p)))
            end = static_cast<const char *>(hit);
    }
    return end;
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
            const char *stop = m_skipping ? findStopFar(p, end, stopAt) : findStop(p, end, stopAt);
            if (stop == end) {
                // The field goes on in the next piece.
                keep(p, end - p);
                p = end;
                break;
            }
            if (m_skipping)
                m_skipping = false;
            else
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
    if ((m_state == State::Unquoted || m_state == State::Quoted) && !m_skipping)
        endField();
    m_field.clear();
    m_skipping = false;
    m_state = State::BeforeField;
}

QStringList FieldReader::takeEntries()
{
    return std::exchange(m_entries, {});
}

QByteArrayList FieldReader::takeFields()
{
    return std::exchange(m_fields, {});
}

void FieldReader::keep(const char *data, qsizetype size)
{
    if (m_skipping)
        return;
    if (m_field.size() + size > MaxAddressBytes) {
        m_skipping = true;
        m_field = QByteArray(); // its memory too
        return;
    }
    m_field.append(data, size);
}

void FieldReader::endField()
{
    endField(nullptr, 0);
}

void FieldReader::endField(const char *tail, qsizetype size)
{
    if (m_field.size() + size > MaxAddressBytes) {
        m_field.clear();
        return;
    }
    // Most fields lie inside one piece: decode them in place instead of copying.
    const QByteArrayView field = m_field.isEmpty() ? QByteArrayView(tail, size)
                                                   : QByteArrayView(m_field.append(tail, size));
    if (!field.isEmpty()) {
        if (m_keep == Keep::Text)
            m_entries.append(m_decoder(field));
        else
            m_fields.append(field.toByteArray());
    }
    m_field.clear();
}

namespace {

// A file may hold holes: stretches the file system stores as nothing and reads back as
// zero bytes. A hostile file of gigabytes costs nothing to make that way, and reading its
// zeros would take minutes; these find them without reading.

// The descriptor to ask about holes: a file read without a buffer of Qt's, which the
// asking would leave behind the descriptor's position; -1 for any other device.
int descriptorForHoles(QIODevice &device)
{
    auto *file = qobject_cast<QFile *>(&device);
    return file && file->openMode().testFlag(QIODevice::Unbuffered) ? file->handle() : -1;
}

// Where the data at or after pos ends (the next hole starts), or end when the file system
// cannot tell. Moves the file's position: the caller seeks afterwards.
qint64 dataEnd(QIODevice &device, qint64 pos, qint64 end)
{
    const int fd = descriptorForHoles(device);
    if (fd < 0)
        return end;
    const off_t hole = ::lseek(fd, off_t(pos), SEEK_HOLE);
    return hole < 0 ? end : qBound<qint64>(pos, qint64(hole), end);
}

// How many of the bytes from pos to end lie in a hole, 0 where pos is data or the file
// system cannot tell. Moves the file's position as dataEnd does.
qint64 holeAhead(QIODevice &device, qint64 pos, qint64 end)
{
    const int fd = descriptorForHoles(device);
    if (fd < 0 || pos >= end)
        return 0;
    const off_t data = ::lseek(fd, off_t(pos), SEEK_DATA);
    // ENXIO: no data from pos on, up to the file's end.
    if (data < 0)
        return errno == ENXIO ? qBound<qint64>(0, device.size() - pos, end - pos) : 0;
    return qBound<qint64>(pos, qint64(data), end) - pos;
}

// Zero bytes enough to make any field over-long: the reader ends the same after these
// as after any more of them (an over-long field passes zeros over, and so does the rest
// after a closing quote), so a hole of any size is read as this many.
QByteArrayView holeBytes(qint64 hole)
{
    static const QByteArray zeros(MaxAddressBytes + 1, '\0');
    return QByteArrayView(zeros).first(qMin<qint64>(hole, zeros.size()));
}

// Reads device through a FieldReader, handing each piece's entries (Text) or fields
// (Bytes) to take, which says whether to go on. Reads at most limit bytes (negative:
// to the end), starting at a line start (atFileStart: the start, where a byte order
// mark may stand). False when reading failed; the entries of a field the failure cut
// off are not handed on (the ones before it are).
template<FieldReader::Keep keep, typename Take>
bool readFields(QIODevice &device, Take &&take, qint64 limit = -1, bool atFileStart = true)
{
    if (!device.isOpen() || !device.isReadable())
        return false;
    FieldReader reader(keep);
    const auto hand = [&] {
        if constexpr (keep == FieldReader::Keep::Text)
            return take(reader.takeEntries());
        else
            return take(reader.takeFields());
    };
    // A small file needs no large buffer: every window reads this file as it opens.
    qint64 left = limit < 0 ? std::numeric_limits<qint64>::max() : limit;
    if (!device.isSequential())
        left = qMin(left, device.size() - device.pos());
    QByteArray buffer(qMin(left, ChunkSize - 1) + 1, Qt::Uninitialized);
    if (!atFileStart)
        reader.startMidway();
    while (left > 0) {
        qint64 piece = qMin<qint64>(left, buffer.size());
        if (!device.isSequential()) {
            // A hole is taken as the zeros it reads as, without reading it; data is read
            // up to the next hole.
            const qint64 pos = device.pos();
            const qint64 hole = holeAhead(device, pos, pos + left);
            if (hole == 0)
                piece = qMax<qint64>(1, dataEnd(device, pos, pos + piece) - pos);
            if (!device.seek(pos + hole)) {
                hand();
                return false;
            }
            if (hole > 0) {
                const QByteArrayView zeros = holeBytes(hole);
                reader.feed(zeros.data(), zeros.size());
                left -= hole;
                if (!hand())
                    return true;
                continue;
            }
        }
        const qint64 n = device.read(buffer.data(), piece);
        if (n < 0) {
            hand();
            return false;
        }
        if (n == 0)
            break;
        left -= n;
        reader.feed(buffer.constData(), n);
        if (!hand())
            return true;
    }
    reader.finish();
    hand();
    return true;
}

// Only a regular file: opening a folder can succeed here, and a pipe or a device could
// block or never end. Plain reads, never a mapping: another writer may cut the file
// short meanwhile.
bool openForReading(QFile &file)
{
    return QFileInfo(file.fileName()).isFile() && file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

// The last CR or LF among the first size bytes, -1 for none. Searched for by the
// library, which is many times faster than a loop over a long line; a CR is looked for
// only after the last LF, so a file of LF alone is not searched through for CRs at
// each of its lines.
qint64 lastLineEnd(const char *bytes, qint64 size)
{
    const void *lf = ::memrchr(bytes, '\n', size_t(size));
    const qint64 afterLf = lf ? static_cast<const char *>(lf) - bytes + 1 : 0;
    if (const void *cr = ::memrchr(bytes + afterLf, '\r', size_t(size - afterLf)))
        return static_cast<const char *>(cr) - bytes;
    return afterLf - 1;
}

// Going back from end (a line start) over about lines lines: where the earliest of them
// starts, 0 at the file's start; -1 when reading failed. A line of any length is gone
// through to its start (a hole in the file, which holds no line end, without reading
// it), in memory of one piece.
// Every line end (CR, LF or both) ends a field and an open quote, so reading may start
// at any line start and reads each line as reading the whole file would.
qint64 lineStartBefore(QFile &file, qint64 end, qsizetype lines)
{
    QByteArray buffer(qBound<qint64>(1, end, ChunkSize), Qt::Uninitialized);
    qsizetype found = 0;
    char after = 0; // the byte after the piece looked at
    for (qint64 pieceEnd = end; pieceEnd > 0;) {
        const qint64 pieceStart = qMax<qint64>(0, pieceEnd - buffer.size());
        const qint64 size = pieceEnd - pieceStart;
        if (holeAhead(file, pieceStart, pieceEnd) == size) {
            after = 0;
            pieceEnd = pieceStart;
            continue;
        }
        if (!file.seek(pieceStart) || file.read(buffer.data(), size) != size)
            return -1;
        const char *const bytes = buffer.constData();
        for (qint64 i = lastLineEnd(bytes, size); i >= 0; i = lastLineEnd(bytes, i)) {
            // CR LF is one line end.
            const char next = i + 1 < size ? bytes[i + 1] : after;
            if (bytes[i] == '\r' && next == '\n')
                continue;
            // The line end at end - 1 belongs to the last line; lines + 1 ends go back
            // to the start of the earliest one.
            if (++found > lines)
                return pieceStart + i + 1;
        }
        after = bytes[0];
        pieceEnd = pieceStart;
    }
    return 0;
}

} // namespace

ReadResult read(QIODevice &device)
{
    ReadResult result;
    result.ok = readFields<FieldReader::Keep::Text>(device, [&](QStringList &&entries) {
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
    // Stretches of lines from the end, newest first, each read forward from a line
    // start; as a rule a line holds one entry, so one or two stretches are enough.
    QList<QStringList> stretches;
    qsizetype count = 0;
    bool ok = true;
    for (qint64 end = file.size(); end > 0 && count < maxEntries;) {
        const qint64 start = lineStartBefore(file, end, maxEntries - count);
        if (start < 0 || !file.seek(start)) {
            ok = false;
            break;
        }
        QStringList stretch;
        const qsizetype wanted = maxEntries - count;
        ok = readFields<FieldReader::Keep::Text>(
            file,
            [&](QStringList &&entries) {
                stretch += std::move(entries);
                // Lines of many fields: trimmed now and then, not at every piece.
                if (stretch.size() > 2 * wanted)
                    stretch.remove(0, stretch.size() - wanted);
                return true;
            },
            end - start, start == 0);
        count += stretch.size();
        stretches.append(std::move(stretch));
        if (!ok)
            break;
        end = start;
    }
    ReadResult result;
    result.ok = ok;
    result.entries.reserve(qMin(count, maxEntries));
    for (auto it = stretches.crbegin(); it != stretches.crend(); ++it)
        result.entries += *it;
    if (result.entries.size() > maxEntries)
        result.entries.remove(0, result.entries.size() - maxEntries);
    return result;
}

namespace {

// Long enough to outlast another window's write, short enough not to stall a window.
constexpr int LockTimeoutMs = 500;
// A write takes milliseconds; a lock this old was left by a writer that died.
constexpr int StaleLockMs = 5000;
// QLockFile's own wait sleeps 100 ms and then longer between tries, and so misses the
// short gaps between another writer's writes; frequent tries of our own catch them.
constexpr int LockPollMs = 2;

// Why the lock could not be taken; nothing when it was.
std::optional<WriteResult> takeLock(QLockFile &lock)
{
    const QDeadlineTimer deadline(LockTimeoutMs);
    for (;;) {
        if (lock.tryLock(0))
            return std::nullopt;
        // A folder that is missing or not writable will not get better by waiting.
        if (lock.error() != QLockFile::LockFailedError)
            return WriteResult::Failed;
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return WriteResult::LockBusy;
        QThread::msleep(static_cast<unsigned long>(qMin<qint64>(LockPollMs, left)));
    }
}

// A field's bytes as its line holds them, quotes aside (see compose): the format has
// no escape inside quotes, and a line end would end the field.
QByteArray escaped(QByteArray field)
{
    if (!field.contains('"') && !field.contains('\r') && !field.contains('\n'))
        return field;
    field.replace('"', "%22");
    field.replace('\r', "%0D");
    field.replace('\n', "%0A");
    return field;
}

// The same 8-bit encoding the reader decodes with.
QByteArray storedField(const QString &entry)
{
    return escaped(entry.toLocal8Bit());
}

// Adds field's line (see compose) to bytes; an empty field adds nothing.
void appendLine(QByteArray &bytes, const QByteArray &field)
{
    if (field.isEmpty())
        return;
    const QByteArray stored = escaped(field);
    if (stored.contains(',') || stored.startsWith(' ')) {
        bytes += '"';
        bytes += stored;
        bytes += '"';
    } else {
        bytes += stored;
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
        appendLine(bytes, entry.toLocal8Bit());
    return bytes;
}

bool fits(const QString &address)
{
    // Quick for the usual short address: no character takes more than three bytes, and
    // an escape three for one.
    if (address.size() * 3 <= MaxAddressBytes)
        return !address.isEmpty();
    return storedField(address).size() <= MaxAddressBytes;
}

namespace {

// The index of the last field of in equal to stored, -1 when there is none; nothing when
// reading failed. tick runs after each piece.
template<typename Tick>
std::optional<qsizetype> lastFieldIndex(QFile &in, const QByteArray &stored, Tick &&tick)
{
    qsizetype found = -1;
    qsizetype index = 0;
    const bool read = readFields<FieldReader::Keep::Bytes>(in, [&](QByteArrayList &&fields) {
        for (const QByteArray &field : std::as_const(fields)) {
            if (field == stored)
                found = index;
            ++index;
        }
        tick();
        return true;
    });
    if (!read)
        return std::nullopt;
    return found;
}

// Copies every field of in but the one at skip, a line each, through bytes and flush
// (which writes bytes out once they hold at least the size it is given, and says whether
// that worked). Fields are copied as bytes, so bytes that are not UTF-8 stay as they are.
template<typename Flush, typename Tick>
bool copyFieldsExcept(QFile &in, qsizetype skip, QByteArray &bytes, Flush &&flush, Tick &&tick,
                      bool *written)
{
    qsizetype index = 0;
    *written = true;
    return readFields<FieldReader::Keep::Bytes>(in, [&](QByteArrayList &&fields) {
        for (const QByteArray &field : std::as_const(fields)) {
            if (index++ != skip)
                appendLine(bytes, field);
        }
        *written = flush(ChunkSize);
        tick();
        return *written;
    });
}

} // namespace

WriteResult appendAddress(const QString &path, const QString &previousOwn, const QString &address,
                          QString *why)
{
    auto failed = [why](const QString &reason) {
        if (why)
            *why = reason;
        return WriteResult::Failed;
    };
    if (path.isEmpty())
        return failed(QStringLiteral("no file"));
    if (!fits(address))
        return failed(QStringLiteral("the address is too long to keep"));
    const QString lockPath = path + QStringLiteral(".lock");
    QLockFile lock(lockPath);
    lock.setStaleLockTime(StaleLockMs);
    if (const std::optional<WriteResult> refused = takeLock(lock)) {
        if (*refused == WriteResult::Failed)
            return failed(QStringLiteral("its lock file %1 cannot be made").arg(lockPath));
        return *refused;
    }
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
        return failed(out.errorString());
    // Owner only, also where an older file was readable by everyone: addresses tell
    // where the user has been. (A file system without modes refuses; that is no reason
    // not to write.)
    ::fchmod(out.handle(), S_IRUSR | S_IWUSR);
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
            return failed(QStringLiteral("the file is there but cannot be read"));
        // The last line equal to this window's previous address goes (an earlier equal
        // one may be another window's). Finding it takes a pass of its own; the lock
        // keeps other windows from changing the file between the passes.
        std::optional<qsizetype> own = -1;
        if (!previousOwn.isEmpty())
            own = lastFieldIndex(in, storedField(previousOwn), keepLock);
        if (!own || !in.seek(0))
            return failed(in.errorString());
        bool written = true;
        const bool read = copyFieldsExcept(in, *own, bytes, flush, keepLock, &written);
        if (!read || !written) // the unfinished copy is discarded with out
            return failed(read ? out.errorString() : in.errorString());
    }
    appendLine(bytes, address.toLocal8Bit());

    // Written beside the file and renamed over it: a failure leaves the old file whole,
    // and windows reading it without the lock see the old or the new file, never half.
    if (!flush(0) || !out.commit())
        return failed(out.errorString());
    return WriteResult::Written;
}

WriteResult clear(const QString &path, QString *why)
{
    auto failed = [why](const QString &reason) {
        if (why)
            *why = reason;
        return WriteResult::Failed;
    };
    QLockFile lock(path + QStringLiteral(".lock"));
    lock.setStaleLockTime(StaleLockMs);
    if (const std::optional<WriteResult> refused = takeLock(lock))
        return *refused == WriteResult::Failed ? failed(QStringLiteral("its lock file cannot be made")) : *refused;
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return WriteResult::Written;
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return failed(out.errorString());
    ::fchmod(out.handle(), S_IRUSR | S_IWUSR);
    if (out.write("\r\n") != 2 || !out.commit())
        return failed(out.errorString());
    return WriteResult::Written;
}

} // namespace historyfile
