#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QLoggingCategory>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

class QIODevice;

// Where a history write that could not be made is told (halvane.history).
Q_DECLARE_LOGGING_CATEGORY(lcHistory)

// The address history file: one address a line, CR LF, an empty
// first line. It is read field by field, not line by line:
//  - spaces before a field are skipped;
//  - a field that starts with a double quote runs to the next double quote (commas
//    inside belong to it); anything after the closing quote up to the next comma or
//    line end is dropped; a quote left open ends at its line end;
//  - any other field runs to the next comma or line end;
//  - empty fields are skipped, and so are fields over MaxAddressBytes: a file of
//    gigabytes without a line end must not be read into memory.
// Bytes are the system's 8-bit encoding (UTF-8 here); a field that is not valid
// UTF-8 is shown with replacement characters rather than dropped, and a rewrite keeps
// its bytes as they were: it may be another program's.
namespace historyfile {

// The file's name, beside the program or in the user's data folder (ProgramFolder::keptFile).
inline QString fileName() { return QStringLiteral("address.lst"); }

// The longest address the file keeps, in bytes of its line (quotes aside). Far beyond
// any real address; the address box holds no longer one either.
constexpr qsizetype MaxAddressBytes = 64 * 1024;

// Parses a stream of bytes fed in pieces of any size.
class FieldReader
{
public:
    // What the reader hands out: the fields decoded, or their bytes as they stand.
    enum class Keep { Text, Bytes };
    explicit FieldReader(Keep keep = Keep::Text) : m_keep(keep) {}

    void feed(const char *data, qsizetype size);
    void feed(const QByteArray &bytes) { feed(bytes.constData(), bytes.size()); }
    // The input starts at a line inside a file, not at its start: no byte order mark.
    void startMidway() { m_markSeen = -1; }
    // Ends the input: a field still open becomes an entry.
    void finish();
    // The non-empty fields completed so far, in order; the reader forgets them. Text
    // readers hand out entries, Bytes readers fields.
    QStringList takeEntries();
    QByteArrayList takeFields();

private:
    enum class State { BeforeField, Unquoted, Quoted, AfterQuote };
    void parse(const char *data, qsizetype size);
    // Keeps size more bytes of the open field, unless that makes it too long.
    void keep(const char *data, qsizetype size);
    void endField();
    // Ends the field with its last size bytes at tail (not yet in m_field).
    void endField(const char *tail, qsizetype size);

    Keep m_keep;
    State m_state = State::BeforeField;
    QByteArray m_field;
    // The open field is over MaxAddressBytes: the rest of it is passed over, not kept.
    bool m_skipping = false;
    QStringList m_entries;
    QByteArrayList m_fields;
    // A byte order mark is skipped at the very start of the input only (an editor may
    // have put it there); how much of one has been seen so far, -1 once past the start.
    int m_markSeen = 0;
    // Keeps a U+FEFF inside a field instead of dropping it as a byte order mark.
    QStringDecoder m_decoder{QStringDecoder::System,
                             QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom};
};

struct ReadResult
{
    QStringList entries; // what was read, also when reading failed part way
    bool ok = false;     // false when the file is missing, a folder, or could not be read
};

// Reads the whole file at path. Never throws; a failure keeps the entries read before it.
ReadResult read(const QString &path);
// The same from an open device.
ReadResult read(QIODevice &device);
// The file's last maxEntries entries, in order, reading only about as much of its end as
// they take. A line of any length is gone through, in memory of one piece, so what
// stands before it is listed as well; a hole in the file (a stretch stored as nothing,
// however long) is passed over without reading it.
ReadResult readLast(const QString &path, qsizetype maxEntries);

// Writing. Every document window writes the file after each completed navigation, and
// windows of several running copies may write at once. So a write never rewrites the
// file from what the window read earlier: holding <path>.lock it re-reads the file,
// replaces the window's own previous line and saves the whole file atomically. Other
// writers' lines are copied byte for byte (but for the escapes compose makes), and the
// file is readable by its owner only: addresses are private.

// The file's bytes for entries: an empty first line, then one entry a line, each ended
// by CR LF. An entry with a comma, or starting with a space (which the reader skips),
// is quoted so it reads back whole. The format has no escape inside quotes, so a '"'
// is written as %22 and the entry reads back with %22 in its place; CR and LF become
// %0D and %0A so an entry stays on its line. Empty entries would read back as nothing
// and are left out.
QByteArray compose(const QStringList &entries);

// Whether address, written into the file, reads back: not empty and, escapes included,
// at most MaxAddressBytes.
bool fits(const QString &address);

enum class WriteResult {
    Written,  // the file now holds the address
    LockBusy, // another writer held the lock for half a second: worth trying again
    Failed,   // will not get better by trying again
};

// Appends address to the file at path, first dropping the last line equal to
// previousOwn (what this window wrote last time; empty for none). A missing file counts
// as empty. Unless Written (the lock not free within half a second, a file that exists
// but cannot be read, a folder that cannot be written, an address that does not fit)
// nothing on disk has changed. Never throws or reports; on Failed, *why (when given)
// says why.
WriteResult appendAddress(const QString &path, const QString &previousOwn, const QString &address,
                          QString *why = nullptr);

// Empties the file at path (it keeps its empty first line), under the same lock as
// appendAddress; a missing file is left missing. Unless Written nothing has changed.
WriteResult clear(const QString &path, QString *why = nullptr);

} // namespace historyfile
