#include "browser/historyfile.h"
#include "browser/historywriter.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <cstring>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

QStringList readInPieces(const QByteArray &bytes, const QList<qsizetype> &sizes)
{
    historyfile::FieldReader reader;
    qsizetype at = 0;
    for (qsizetype i = 0; at < bytes.size(); ++i) {
        const qsizetype n = qMin(sizes.at(i % sizes.size()), bytes.size() - at);
        reader.feed(bytes.constData() + at, n);
        at += n;
    }
    reader.finish();
    return reader.takeEntries();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Hands out its bytes, then fails.
class FailingDevice : public QIODevice
{
public:
    explicit FailingDevice(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (m_bytes.isEmpty())
            return -1;
        const qint64 n = qMin(maxSize, qint64(m_bytes.size()));
        std::memcpy(data, m_bytes.constData(), size_t(n));
        m_bytes.remove(0, n);
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
};

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Everything under dir with the bytes of its files, to tell that nothing changed.
QMap<QString, QByteArray> snapshot(const QString &dir)
{
    QMap<QString, QByteArray> found;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        const QString name = QDir(dir).relativeFilePath(info.filePath());
        // Never read a named pipe: that would block.
        found.insert(name, info.isDir()    ? QByteArray("<folder>")
                           : info.isFile() ? fileBytes(info.filePath())
                                           : QByteArray("<other>"));
    }
    return found;
}

// All of a literal's bytes, NULs included.
template<qsizetype N>
QByteArray withNul(const char (&literal)[N])
{
    return QByteArray(literal, N - 1);
}

#ifdef Q_OS_UNIX
// Bytes a file may grow to while a FileSizeLimit is in force.
constexpr qint64 DiskRoom = 64 * 1024;

// Lets no file grow past limit bytes (none when negative) while it lives: writes past it
// fail as they would on a full disk, instead of raising a signal.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 limit)
    {
        if (limit < 0 || ::getrlimit(RLIMIT_FSIZE, &m_old) != 0)
            return;
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit lower = m_old;
        lower.rlim_cur = rlim_t(limit);
        m_set = ::setrlimit(RLIMIT_FSIZE, &lower) == 0;
    }
    ~FileSizeLimit()
    {
        if (m_set)
            ::setrlimit(RLIMIT_FSIZE, &m_old);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_old{};
    bool m_set = false;
};
#endif

struct Write
{
    QString previousOwn;
    QString address;
};

} // namespace

class tst_HistoryFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fields_data();
    void fields();
    void takeEntriesForgets();
    void readPath_data();
    void readPath();
    void readDevice();
    void readLargeFile_data();
    void readLargeFile();
    void longAddresses_data();
    void longAddresses();

    void compose_data();
    void compose();
    void composeKeepsWhatWasRead();
    void appendAddress_data();
    void appendAddress();
    void appendFailure_data();
    void appendFailure();
    void brokenLock_data();
    void brokenLock();
    void writesCoalesced();
    void writeRetried_data();
    void writeRetried();
    void droppedWriteToldOnce();
    void concurrentProcesses_data();
    void concurrentProcesses();
};

void tst_HistoryFile::fields_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("empty first line") << QByteArray("\r\nA\r\nB\r\n") << QStringList{u"A"_s, u"B"_s};
    QTest::newRow("comma splits") << QByteArray("http://a/?x=1,2\r\n")
                                  << QStringList{u"http://a/?x=1"_s, u"2"_s};
    QTest::newRow("quoted keeps commas") << QByteArray("\r\n\"http://a/?x=1,2,3\"\r\nb\r\n")
                                         << QStringList{u"http://a/?x=1,2,3"_s, u"b"_s};
    QTest::newRow("leading spaces skipped") << QByteArray("   A\r\n  B C  ,  \" q \"\r\n")
                                            << QStringList{u"A"_s, u"B C  "_s, u" q "_s};
    QTest::newRow("after closing quote dropped")
        << QByteArray("\"a\"junk,b\r\n\"c\" tail \"x,y\"\r\n\"d\",\"e\"")
        << QStringList{u"a"_s, u"b"_s, u"c"_s, u"y\""_s, u"d"_s, u"e"_s};
    QTest::newRow("quote inside a field kept") << QByteArray("ab\"c,d\"e\r\n")
                                               << QStringList{u"ab\"c"_s, u"d\"e"_s};
    QTest::newRow("only empty lines") << QByteArray("\r\n\r\n\n\r  \r\n,, ,\r\n\"\"\r\n") << QStringList{};
    QTest::newRow("no bytes") << QByteArray() << QStringList{};
    QTest::newRow("LF only") << QByteArray("\nA\nB\n") << QStringList{u"A"_s, u"B"_s};
    QTest::newRow("CR only") << QByteArray("\rA\rB\r") << QStringList{u"A"_s, u"B"_s};
    QTest::newRow("mixed line ends") << QByteArray("A\r\n\nB\rC\n\rD")
                                     << QStringList{u"A"_s, u"B"_s, u"C"_s, u"D"_s};
    QTest::newRow("unterminated quote ends at line end")
        << QByteArray("\"a,b\r\nc\r\n\"d, e\"\r\n") << QStringList{u"a,b"_s, u"c"_s, u"d, e"_s};
    QTest::newRow("unterminated quote at the end") << QByteArray("x\r\n\"open, still")
                                                   << QStringList{u"x"_s, u"open, still"_s};
    QTest::newRow("NUL bytes") << QByteArray("a\0b\r\n\0\r\n\"\0\"", 11)
                               << QStringList{u"a\0b"_s, QString(QChar(0)), QString(QChar(0))};
    QTest::newRow("invalid UTF-8")
        << QByteArray("\xff" "abc\r\n\xc3\r\nok\xc3(,z")
        << QStringList{u"\uFFFDabc"_s, u"\uFFFD"_s, u"ok\uFFFD("_s, u"z"_s};
    QTest::newRow("non-ASCII UTF-8")
        << QByteArray("\r\nhttps://\xe4\xbe\x8b\xe3\x81\x88.jp/\xc3\xa4?q=\xf0\x9f\x98\x80\r\n")
        << QStringList{u"https://例え.jp/ä?q=😀"_s};
    // Found by fuzz_historyreader. A file saved by an editor may start with a byte order
    // mark: it is no part of the first field, and must not become an empty entry.
    QTest::newRow("byte order mark at the start") << QByteArray("\xef\xbb\xbf\nx\"\n")
                                                  << QStringList{u"x\""_s};
    QTest::newRow("byte order mark only") << QByteArray("\xef\xbb\xbf") << QStringList{};
    // Longer than any address: passed over, however the pieces fall.
    const QByteArray longest(historyfile::MaxAddressBytes, 'l');
    const QByteArray over(historyfile::MaxAddressBytes + 1, 'o');
    QTest::newRow("fields over the limit skipped")
        << QByteArray("a\r\n" + longest + "," + over + ",c\r\n\"" + over + ",\"e,f\r\n" + over)
        << QStringList{u"a"_s, QString::fromLatin1(longest), u"c"_s, u"f"_s};
    // Elsewhere it is a character like any other: dropped, it would not read back the same
    // once written.
    QTest::newRow("byte order mark inside fields")
        << QByteArray("a\r\n\xef\xbb\xbf\xef\xbb\xbf" "b,\xef\xbb\xbf\r\n")
        << QStringList{u"a"_s, u"\uFEFF\uFEFFb"_s, u"\uFEFF"_s};
}

void tst_HistoryFile::fields()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, entries);

    QCOMPARE(readInPieces(bytes, {bytes.size() + 1}), entries);
    QCOMPARE(readInPieces(bytes, {1}), entries);
    // Fixed seeds so a failure can be repeated.
    for (quint32 seed = 1; seed <= 20; ++seed) {
        QRandomGenerator random(seed);
        QList<qsizetype> sizes;
        for (int i = 0; i < 16; ++i)
            sizes.append(random.bounded(1, 6));
        QCOMPARE(readInPieces(bytes, sizes), entries);
    }

    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    const historyfile::ReadResult result = historyfile::read(buffer);
    QVERIFY(result.ok);
    QCOMPARE(result.entries, entries);
}

void tst_HistoryFile::takeEntriesForgets()
{
    historyfile::FieldReader reader;
    reader.feed(QByteArray("A\r\nB"));
    QCOMPARE(reader.takeEntries(), QStringList{u"A"_s});
    QCOMPARE(reader.takeEntries(), QStringList{});
    // The open field goes on in the next piece.
    reader.feed(QByteArray("C,\"D"));
    QCOMPARE(reader.takeEntries(), QStringList{u"BC"_s});
    reader.finish();
    QCOMPARE(reader.takeEntries(), QStringList{u"D"_s});
    reader.finish();
    QCOMPARE(reader.takeEntries(), QStringList{});
}

enum class PathKind { Missing, Folder, File, Unreadable, Fifo };

void tst_HistoryFile::readPath_data()
{
    QTest::addColumn<PathKind>("kind");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("missing") << PathKind::Missing << QByteArray() << false << QStringList{};
    QTest::newRow("folder") << PathKind::Folder << QByteArray() << false << QStringList{};
    QTest::newRow("empty file") << PathKind::File << QByteArray() << true << QStringList{};
    QTest::newRow("written by the program") << PathKind::File << QByteArray("\r\nhttp://a/\r\nhttp://b/\r\n")
                                            << true << QStringList{u"http://a/"_s, u"http://b/"_s};
    QTest::newRow("no trailing line end") << PathKind::File << QByteArray("\r\nhttp://a/\r\nhttp://b/")
                                          << true << QStringList{u"http://a/"_s, u"http://b/"_s};
    QTest::newRow("unreadable") << PathKind::Unreadable << QByteArray("\r\nA\r\n") << false << QStringList{};
    QTest::newRow("named pipe") << PathKind::Fifo << QByteArray() << false << QStringList{};
}

void tst_HistoryFile::readPath()
{
    QFETCH(PathKind, kind);
    QFETCH(QByteArray, bytes);
    QFETCH(bool, ok);
    QFETCH(QStringList, entries);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"address.lst"_s);
    switch (kind) {
    case PathKind::Missing:
        break;
    case PathKind::Folder:
        QVERIFY(QDir(dir.path()).mkdir(u"address.lst"_s));
        break;
    case PathKind::File:
        QVERIFY(writeFile(path, bytes));
        break;
    case PathKind::Unreadable:
        QVERIFY(writeFile(path, bytes));
        QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
#ifdef Q_OS_UNIX
        if (::geteuid() == 0)
            QSKIP("root reads any file");
#endif
        break;
    case PathKind::Fifo:
#ifdef Q_OS_UNIX
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#else
        QSKIP("no named pipes here");
#endif
        break;
    }

    const historyfile::ReadResult result = historyfile::read(path);
    QCOMPARE(result.ok, ok);
    QCOMPARE(result.entries, entries);
}

void tst_HistoryFile::readDevice()
{
    FailingDevice failing(QByteArray("\r\nA\r\nB\r\nhalf-rea"));
    QVERIFY(failing.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    historyfile::ReadResult result = historyfile::read(failing);
    QVERIFY(!result.ok);
    QCOMPARE(result.entries, (QStringList{u"A"_s, u"B"_s}));

    QBuffer closed;
    closed.setData("A\r\n");
    result = historyfile::read(closed);
    QVERIFY(!result.ok);
    QVERIFY(result.entries.isEmpty());

    QBuffer writeOnly;
    QVERIFY(writeOnly.open(QIODevice::WriteOnly));
    QVERIFY(!historyfile::read(writeOnly).ok);
}

void tst_HistoryFile::readLargeFile_data()
{
    QTest::addColumn<int>("minimumCount");
    QTest::addColumn<qint64>("minimumSize");
    QTest::addColumn<int>("kept");    // the last ones asked for; -1 for all
    QTest::addColumn<int>("padding"); // letters added to every address
    const qint64 mb50 = qint64(50) * 1000 * 1000;
    QTest::newRow("100,000 addresses") << 100'000 << qint64(0) << -1 << 0;
    QTest::newRow("50 MB") << 0 << mb50 << -1 << 0;
    // Read from a line near the end, a stretch or several further back.
    QTest::newRow("50 MB, the last 1,000") << 0 << mb50 << 1000 << 0;
    QTest::newRow("50 MB, the last 500,000") << 0 << mb50 << 500'000 << 0;
    QTest::newRow("long lines, the last 20,000") << 40'000 << qint64(0) << 20'000 << 200;
    QTest::newRow("all of them asked for exactly") << 100'000 << qint64(0) << 100'000 << 0;
    QTest::newRow("more asked for than there are") << 1000 << qint64(0) << 5000 << 0;
    QTest::newRow("none") << 1000 << qint64(0) << 0 << 0;
}

void tst_HistoryFile::readLargeFile()
{
    QFETCH(int, minimumCount);
    QFETCH(qint64, minimumSize);
    QFETCH(int, kept);
    QFETCH(int, padding);

    // Lines of varied length, so field ends fall anywhere against the read pieces;
    // every hundredth is quoted with a comma and every seventh is non-ASCII.
    const QString pad(padding, u'p');
    const auto address = [&pad](int i) {
        if (i % 100 == 0)
            return u"http://host%1.example/a,b?%2"_s.arg(i % 977).arg(i) + pad;
        if (i % 7 == 0)
            return u"https://ü%1.example/päge/%2"_s.arg(i % 13).arg(i) + pad;
        return u"http://www.example.com/%1/page?id=%2"_s.arg(i % 31).arg(i) + pad;
    };
    QByteArray bytes("\r\n");
    bytes.reserve(minimumSize + 100);
    int count = 0;
    while (count < minimumCount || bytes.size() < minimumSize) {
        const QByteArray line = address(count).toUtf8();
        bytes += count % 100 == 0 ? '"' + line + "\"\r\n" : line + "\r\n";
        ++count;
    }
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"address.lst"_s);
    QVERIFY(writeFile(path, bytes));
    bytes.clear();

    QElapsedTimer timer;
    timer.start();
    const historyfile::ReadResult result
        = kept < 0 ? historyfile::read(path) : historyfile::readLast(path, kept);
    const qint64 elapsed = timer.elapsed();
    qDebug("%d addresses, %lld bytes, read in %lld ms", count, qint64(QFileInfo(path).size()), elapsed);

    QVERIFY(result.ok);
    const int first = kept < 0 ? 0 : qMax(0, count - kept);
    QCOMPARE(result.entries.size(), count - first);
    for (int i = 0; i < result.entries.size(); ++i) {
        if (result.entries.at(i) != address(first + i))
            QFAIL(qPrintable(u"entry %1 is %2"_s.arg(first + i).arg(result.entries.at(i))));
    }
}

void tst_HistoryFile::longAddresses_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("entries"); // read whole, and kept by a rewrite
    QTest::addColumn<QStringList>("last");    // read from the end
    QTest::addColumn<int>("holeAt");          // a hole (stored as nothing, read as zeros)
    QTest::addColumn<int>("holeSize");        // stands there before the rest of bytes

    const QByteArray longest(historyfile::MaxAddressBytes, 'l');
    const QByteArray over(historyfile::MaxAddressBytes + 1, 'o');
    const QString l = QString::fromLatin1(longest);
    const QByteArray twoMegabytes(2 << 20, 'x');
    const QStringList ab{u"A"_s, u"B"_s};
    QTest::newRow("the longest kept") << QByteArray("\r\n" + longest + "\r\nB\r\n") << QStringList{l, u"B"_s}
                                      << QStringList{l, u"B"_s} << 0 << 0;
    QTest::newRow("one byte over") << QByteArray("\r\nA\r\n" + over + "\r\nB\r\n") << ab << ab << 0 << 0;
    QTest::newRow("quoted, over") << QByteArray("\r\nA\r\n\"" + over + ",x\"\r\nB") << ab << ab << 0 << 0;
    QTest::newRow("over, then more on its line") << QByteArray(over + ",C\r\n") << QStringList{u"C"_s}
                                                 << QStringList{u"C"_s} << 0 << 0;
    QTest::newRow("over, at the end") << QByteArray("\r\nA\r\n" + over) << QStringList{u"A"_s}
                                      << QStringList{u"A"_s} << 0 << 0;
    // What stands before a line of any length is listed too.
    QTest::newRow("a line of two megabytes") << QByteArray("\r\nA\r\n" + twoMegabytes + "\r\nB\r\n") << ab << ab
                                             << 0 << 0;
    QTest::newRow("a line of two megabytes at the end")
        << QByteArray("\r\nA\r\n" + twoMegabytes) << QStringList{u"A"_s} << QStringList{u"A"_s} << 0 << 0;
    QTest::newRow("addresses on a line of two megabytes")
        << QByteArray("\r\nA\r\n" + over + ",C," + twoMegabytes + ",D\r\nB")
        << QStringList{u"A"_s, u"C"_s, u"D"_s, u"B"_s} << QStringList{u"A"_s, u"C"_s, u"D"_s, u"B"_s} << 0 << 0;
    QTest::newRow("an address after two megabytes of spaces")
        << QByteArray("\r\nA\r\n" + QByteArray(2 << 20, ' ') + "C\r\nB\r\n") << QStringList{u"A"_s, u"C"_s, u"B"_s}
        << QStringList{u"A"_s, u"C"_s, u"B"_s} << 0 << 0;
    QTest::newRow("LF alone, around two megabytes")
        << QByteArray("\nA\n" + twoMegabytes + "\nB\n") << ab << ab << 0 << 0;
    // Holes are taken without reading them, as the zeros they read as.
    QTest::newRow("a line of three megabytes of hole") << QByteArray("\r\nA\r\n\r\nB\r\n") << ab << ab << 5 << (3 << 20);
    QTest::newRow("a hole inside an address")
        << QByteArray("\r\nAB\r\nC") << QStringList{u"A"_s + QString(8192, QChar(0)) + u"B"_s, u"C"_s}
        << QStringList{u"A"_s + QString(8192, QChar(0)) + u"B"_s, u"C"_s} << 3 << 8192;
    QTest::newRow("a hole making an address too long")
        << QByteArray("\r\nA\r\n\"C,D\",E\r\nB") << QStringList{u"A"_s, u"E"_s, u"B"_s}
        << QStringList{u"A"_s, u"E"_s, u"B"_s} << 8 << (1 << 20);
}

void tst_HistoryFile::longAddresses()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, entries);
    QFETCH(QStringList, last);
    QFETCH(int, holeAt);
    QFETCH(int, holeSize);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"address.lst"_s);
    QVERIFY(writeFile(path, bytes.first(holeAt)));
    if (holeSize > 0) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::Append));
        QVERIFY(file.resize(holeAt + holeSize));
        QVERIFY(file.seek(holeAt + holeSize));
        QCOMPARE(file.write(bytes.sliced(holeAt)), bytes.size() - holeAt);
    } else {
        QVERIFY(writeFile(path, bytes));
    }
    QCOMPARE(historyfile::read(path).entries, entries);
    const historyfile::ReadResult fromEnd = historyfile::readLast(path, 100);
    QVERIFY(fromEnd.ok);
    QCOMPARE(fromEnd.entries, last);

    // Never written back.
    QCOMPARE(historyfile::appendAddress(path, {}, u"X"_s), historyfile::WriteResult::Written);
    QCOMPARE(fileBytes(path), historyfile::compose(entries + QStringList{u"X"_s}));
}

void tst_HistoryFile::compose_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("readBack");

    QTest::newRow("plain") << QStringList{u"http://a/"_s, u"http://b/"_s}
                           << QByteArray("\r\nhttp://a/\r\nhttp://b/\r\n")
                           << QStringList{u"http://a/"_s, u"http://b/"_s};
    QTest::newRow("comma quoted") << QStringList{u"http://a/?x=1,2"_s, u"b"_s}
                                  << QByteArray("\r\n\"http://a/?x=1,2\"\r\nb\r\n")
                                  << QStringList{u"http://a/?x=1,2"_s, u"b"_s};
    QTest::newRow("quote escaped") << QStringList{u"http://a/?q=\"x\""_s, u"\"a,b\""_s}
                                   << QByteArray("\r\nhttp://a/?q=%22x%22\r\n\"%22a,b%22\"\r\n")
                                   << QStringList{u"http://a/?q=%22x%22"_s, u"%22a,b%22"_s};
    QTest::newRow("line ends escaped") << QStringList{u"a\r\nb"_s, u"c\rd\ne,f"_s}
                                       << QByteArray("\r\na%0D%0Ab\r\n\"c%0Dd%0Ae,f\"\r\n")
                                       << QStringList{u"a%0D%0Ab"_s, u"c%0Dd%0Ae,f"_s};
    QTest::newRow("leading space quoted") << QStringList{u" a"_s, u"b "_s}
                                          << QByteArray("\r\n\" a\"\r\nb \r\n")
                                          << QStringList{u" a"_s, u"b "_s};
    QTest::newRow("non-ASCII UTF-8")
        << QStringList{u"https://例え.jp/ä?q=😀"_s}
        << QByteArray("\r\nhttps://\xe4\xbe\x8b\xe3\x81\x88.jp/\xc3\xa4?q=\xf0\x9f\x98\x80\r\n")
        << QStringList{u"https://例え.jp/ä?q=😀"_s};
    // A leading U+FEFF read back as nothing, which fuzz_historyreader's round trip catches.
    QTest::newRow("byte order mark kept") << QStringList{u"\uFEFFa"_s, u"\uFEFF"_s}
                                          << QByteArray("\r\n\xef\xbb\xbf" "a\r\n\xef\xbb\xbf\r\n")
                                          << QStringList{u"\uFEFFa"_s, u"\uFEFF"_s};
    QTest::newRow("empty list") << QStringList{} << QByteArray("\r\n") << QStringList{};
    QTest::newRow("empty entries left out") << QStringList{QString(), u"a"_s, QString()}
                                            << QByteArray("\r\na\r\n") << QStringList{u"a"_s};
}

void tst_HistoryFile::compose()
{
    QFETCH(QStringList, entries);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, readBack);

    QByteArray composed = historyfile::compose(entries);
    QCOMPARE(composed, bytes);
    QBuffer buffer(&composed);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QCOMPARE(historyfile::read(buffer).entries, readBack);
}

void tst_HistoryFile::composeKeepsWhatWasRead()
{
    // Whatever the reader makes of any bytes, written back it reads the same, but for
    // '"' turned into %22: a rewrite never splits, merges or loses other writers' lines.
    static const char alphabet[] = {'"', ',', ' ', ' ', '\r', '\n', 'a', 'b', '\xc3', '\xa4', '\xff', '\0'};
    for (quint32 seed = 1; seed <= 300; ++seed) {
        QRandomGenerator random(seed);
        QByteArray bytes;
        for (int i = random.bounded(1, 60); i > 0; --i)
            bytes += alphabet[random.bounded(int(sizeof alphabet))];
        QBuffer original(&bytes);
        QVERIFY(original.open(QIODevice::ReadOnly));
        const QStringList entries = historyfile::read(original).entries;

        QStringList expected = entries;
        expected.replaceInStrings(u"\""_s, u"%22"_s);
        QByteArray rewritten = historyfile::compose(entries);
        QBuffer buffer(&rewritten);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        QVERIFY2(historyfile::read(buffer).entries == expected,
                 qPrintable(u"seed %1: %2"_s.arg(seed).arg(QString::fromLatin1(bytes.toPercentEncoding()))));
    }
}

void tst_HistoryFile::appendAddress_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<QByteArray>("initial");
    QTest::addColumn<QList<Write>>("writes");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("first write into a missing file")
        << false << QByteArray() << QList<Write>{{{}, u"A"_s}} << QByteArray("\r\nA\r\n");
    QTest::newRow("empty file") << true << QByteArray() << QList<Write>{{{}, u"X"_s}} << QByteArray("\r\nX\r\n");
    QTest::newRow("after the others") << true << QByteArray("\r\nA\r\nB\r\n") << QList<Write>{{{}, u"X"_s}}
                                      << QByteArray("\r\nA\r\nB\r\nX\r\n");
    QTest::newRow("no line end at the end") << true << QByteArray("\r\nA") << QList<Write>{{{}, u"X"_s}}
                                            << QByteArray("\r\nA\r\nX\r\n");
    QTest::newRow("own last line replaced, an earlier equal one kept")
        << true << QByteArray("\r\nP\r\nQ\r\n") << QList<Write>{{{}, u"P"_s}, {u"P"_s, u"R"_s}}
        << QByteArray("\r\nP\r\nQ\r\nR\r\n");
    QTest::newRow("windows in turn lose nothing")
        << false << QByteArray()
        << QList<Write>{{{}, u"A1"_s}, {{}, u"B1"_s}, {u"A1"_s, u"A2"_s}, {u"B1"_s, u"B2"_s}, {u"A2"_s, u"A3"_s}}
        << QByteArray("\r\nB2\r\nA3\r\n");
    QTest::newRow("own line gone already") << true << QByteArray("\r\nA\r\n") << QList<Write>{{u"Z"_s, u"B"_s}}
                                           << QByteArray("\r\nA\r\nB\r\n");
    QTest::newRow("same address again") << true << QByteArray("\r\nA\r\n") << QList<Write>{{u"A"_s, u"A"_s}}
                                        << QByteArray("\r\nA\r\n");
    QTest::newRow("comma round-trips")
        << false << QByteArray()
        << QList<Write>{{{}, u"http://a/?x=1,2"_s}, {{}, u"b"_s}, {u"http://a/?x=1,2"_s, u"http://c/,d"_s}}
        << QByteArray("\r\nb\r\n\"http://c/,d\"\r\n");
    QTest::newRow("quote in an address") << false << QByteArray()
                                         << QList<Write>{{{}, u"a\"b"_s}, {u"a\"b"_s, u"c\"d"_s}}
                                         << QByteArray("\r\nc%22d\r\n");
    // Read field by field and kept, garbage and all: it may be another writer's. Bytes
    // that are not UTF-8 stay as they were, never turned into U+FFFD.
    QTest::newRow("garbage kept")
        << true << withNul("\xfe\xff,\"a,b\"tail\r\n  x\"y\rz\0z") << QList<Write>{{{}, u"X"_s}}
        << withNul("\r\n\xfe\xff\r\n\"a,b\"\r\nx%22y\r\nz\0z\r\nX\r\n");
    QTest::newRow("Latin-1 kept") << true << QByteArray("\r\nhttp://h/caf\xe9\r\n\"\xe4,\xf6\"\r\n")
                                  << QList<Write>{{{}, u"X"_s}}
                                  << QByteArray("\r\nhttp://h/caf\xe9\r\n\"\xe4,\xf6\"\r\nX\r\n");
    QTest::newRow("broken sequences kept")
        << true
        << QByteArray("\r\ncut\xc3\r\n\xe4\xbe\r\nlone\x80\xbf\r\noverlong\xc0\xaf\xe0\x80\xaf\r\n"
                      "surrogate\xed\xa0\x80\r\n\xf4\x90\x80\x80\r\n")
        << QList<Write>{{{}, u"X"_s}}
        << QByteArray("\r\ncut\xc3\r\n\xe4\xbe\r\nlone\x80\xbf\r\noverlong\xc0\xaf\xe0\x80\xaf\r\n"
                      "surrogate\xed\xa0\x80\r\n\xf4\x90\x80\x80\r\nX\r\n");
    // Its own line is found by its bytes: an entry that only decodes the same is
    // another writer's.
    QTest::newRow("own line found by its bytes")
        << true << QByteArray("\r\nP\xef\xbf\xbd\r\nP\xff\r\n") << QList<Write>{{u"P\uFFFD"_s, u"Q"_s}}
        << QByteArray("\r\nP\xff\r\nQ\r\n");
}

void tst_HistoryFile::appendAddress()
{
    QFETCH(bool, exists);
    QFETCH(QByteArray, initial);
    QFETCH(QList<Write>, writes);
    QFETCH(QByteArray, expected);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"address.lst"_s);
#ifdef Q_OS_UNIX
    // The usual umask, under which a new file would be readable by everyone.
    const mode_t oldUmask = ::umask(022);
    const auto restoreUmask = qScopeGuard([oldUmask] { ::umask(oldUmask); });
#endif
    if (exists) {
        QVERIFY(writeFile(path, initial));
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                                | QFileDevice::ReadOther));
    }
    for (const Write &write : writes)
        QCOMPARE(historyfile::appendAddress(path, write.previousOwn, write.address), historyfile::WriteResult::Written);
    QCOMPARE(fileBytes(path), expected);
#ifdef Q_OS_UNIX
    // Readable by its owner only, however it was before.
    struct stat status{};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, mode_t(0600));
#endif
    // No lock or half-written copy left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
             QStringList{u"address.lst"_s});
}

enum class WriteFailure {
    LockHeld,
    ParentIsFile,
    ParentMissing,
    PathIsFolder,
    NamedPipe,
    EmptyAddress,
    TooLong,
    DiskFull
};

void tst_HistoryFile::appendFailure_data()
{
    QTest::addColumn<WriteFailure>("failure");
    QTest::newRow("lock held by someone else") << WriteFailure::LockHeld;
    QTest::newRow("parent folder is a file") << WriteFailure::ParentIsFile;
    QTest::newRow("parent folder missing") << WriteFailure::ParentMissing;
    QTest::newRow("path is a folder") << WriteFailure::PathIsFolder;
    QTest::newRow("path is a named pipe") << WriteFailure::NamedPipe;
    QTest::newRow("empty address") << WriteFailure::EmptyAddress;
    QTest::newRow("address too long to read back") << WriteFailure::TooLong;
    QTest::newRow("disk full") << WriteFailure::DiskFull;
}

void tst_HistoryFile::appendFailure()
{
    QFETCH(WriteFailure, failure);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString path = dir.filePath(u"address.lst"_s);
    QString address = u"X"_s;
    QLockFile other(path + u".lock"_s);
    switch (failure) {
    case WriteFailure::LockHeld:
        QVERIFY(writeFile(path, "\r\nA\r\n"));
        QVERIFY(other.tryLock(0));
        break;
    case WriteFailure::ParentIsFile:
        QVERIFY(writeFile(dir.filePath(u"folder"_s), "not a folder"));
        path = dir.filePath(u"folder/address.lst"_s);
        break;
    case WriteFailure::ParentMissing:
        path = dir.filePath(u"folder/address.lst"_s);
        break;
    case WriteFailure::PathIsFolder:
        QVERIFY(QDir(dir.path()).mkdir(u"address.lst"_s));
        QVERIFY(writeFile(dir.filePath(u"address.lst/inside"_s), "\r\nA\r\n"));
        break;
    case WriteFailure::NamedPipe:
#ifdef Q_OS_UNIX
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#else
        QSKIP("no named pipes here");
#endif
        break;
    case WriteFailure::EmptyAddress:
        QVERIFY(writeFile(path, "\r\nA\r\n"));
        address.clear();
        break;
    case WriteFailure::TooLong:
        QVERIFY(writeFile(path, "\r\nA\r\n"));
        // A quote is written as %22: three bytes.
        address = QString(historyfile::MaxAddressBytes - 2, u'x') + u"\""_s;
        QVERIFY(!historyfile::fits(address));
        break;
    case WriteFailure::DiskFull: {
        // The new copy outgrows what may be written: the write fails part way, as on
        // a full disk (mounting a small one needs rights a test may not have).
        QByteArray bytes("\r\nA\r\n");
        for (int i = 0; bytes.size() < 3 * DiskRoom; ++i)
            bytes += "http://host" + QByteArray::number(i) + ".test/\r\n";
        QVERIFY(writeFile(path, bytes));
        break;
    }
    }
    const QMap<QString, QByteArray> before = snapshot(dir.path());

    QElapsedTimer timer;
    timer.start();
    {
        const FileSizeLimit limit(failure == WriteFailure::DiskFull ? DiskRoom : -1);
        // Only a held lock is worth trying again.
        QCOMPARE(historyfile::appendAddress(path, u"A"_s, address),
                 failure == WriteFailure::LockHeld ? historyfile::WriteResult::LockBusy
                                                   : historyfile::WriteResult::Failed);
    }
    const qint64 elapsed = timer.elapsed();
    QCOMPARE(snapshot(dir.path()), before);
    if (failure == WriteFailure::LockHeld) {
        // Gives up after about half a second, and only the lock stopped it.
        QVERIFY2(elapsed >= 400 && elapsed < 2000, qPrintable(QString::number(elapsed)));
        other.unlock();
        QCOMPARE(historyfile::appendAddress(path, u"A"_s, address), historyfile::WriteResult::Written);
        QCOMPARE(fileBytes(path), QByteArray("\r\nX\r\n"));
    } else {
        // Nothing to wait for.
        QVERIFY2(elapsed < 400, qPrintable(QString::number(elapsed)));
    }
}

void tst_HistoryFile::brokenLock_data()
{
    QTest::addColumn<bool>("killWriter");
    QTest::addColumn<int>("ageSeconds");
    QTest::addColumn<bool>("written");

    QTest::newRow("writer killed holding it") << true << 0 << true;
    // Seen from here, a lock file nobody holds open is a writer on another machine.
    QTest::newRow("left 10 s ago") << false << 10 << true;
    QTest::newRow("left just now") << false << 0 << false;
}

void tst_HistoryFile::brokenLock()
{
    QFETCH(bool, killWriter);
    QFETCH(int, ageSeconds);
    QFETCH(bool, written);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"address.lst"_s);
    const QString lockPath = path + u".lock"_s;
    QVERIFY(writeFile(path, "\r\nA\r\n"));
    if (killWriter) {
        QProcess writer;
        writer.start(QStringLiteral(HISTORY_WRITER_EXE), {path, u"hold"_s});
        QVERIFY(writer.waitForReadyRead(10000));
        QCOMPARE(writer.readAllStandardOutput(), QByteArray("locked\n"));
        writer.kill();
        QVERIFY(writer.waitForFinished(10000));
    } else {
        QFile lockFile(lockPath);
        QVERIFY(lockFile.open(QIODevice::WriteOnly));
        QVERIFY(lockFile.write("12345\nhalvane\nsomewhere-else\n") > 0);
        QVERIFY(lockFile.flush()); // or closing it would touch it again
        QVERIFY(lockFile.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                                     QFileDevice::FileModificationTime));
    }
    QVERIFY(QFileInfo::exists(lockPath));

    QElapsedTimer timer;
    timer.start();
    QCOMPARE(historyfile::appendAddress(path, {}, u"X"_s),
             written ? historyfile::WriteResult::Written : historyfile::WriteResult::LockBusy);
    QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(fileBytes(path), written ? QByteArray("\r\nA\r\nX\r\n") : QByteArray("\r\nA\r\n"));
    QCOMPARE(QFileInfo::exists(lockPath), !written);
}

void tst_HistoryFile::writesCoalesced()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"address.lst"_s);
    std::atomic<int> writes = 0;
    HistoryWriter window(path, [&writes](const QString &at, const QString &previousOwn, const QString &address) {
        ++writes;
        return historyfile::appendAddress(at, previousOwn, address);
    });
    const auto address = [](int i) { return u"http://a.test/#%1"_s.arg(i); };

    // A page moving its address every 10 ms for two seconds.
    QElapsedTimer clock;
    clock.start();
    window.append(address(0));
    // The first write goes at once.
    QTRY_COMPARE_WITH_TIMEOUT(historyfile::read(path).entries, QStringList{address(0)}, 500);
    for (int i = 1; i < 200; ++i) {
        QThread::msleep(10);
        window.append(address(i));
    }
    // The newest is written at the end of its second, unasked.
    QTRY_COMPARE_WITH_TIMEOUT(historyfile::read(path).entries, QStringList{address(199)}, 3000);
    const qint64 elapsed = clock.elapsed();
    qDebug("200 addresses in %lld ms, %d writes", elapsed, writes.load());
    QVERIFY2(writes <= elapsed / HistoryWriter::SpacingMs + 2, qPrintable(QString::number(writes)));

    // A write waiting for its second is made at once when the program ends.
    window.append(address(200));
    window.append(address(201));
    HistoryWriter::waitForAll();
    QCOMPARE(historyfile::read(path).entries, QStringList{address(201)});
}

void tst_HistoryFile::writeRetried_data()
{
    QTest::addColumn<bool>("pathIsFolder");
    QTest::addColumn<int>("lockHeldMs");
    QTest::addColumn<bool>("written");
    // Longer than a write waits for the lock.
    QTest::newRow("lock held for 1.5 s") << false << 1500 << true;
    QTest::newRow("path is a folder") << true << 0 << false;
}

void tst_HistoryFile::writeRetried()
{
    QFETCH(bool, pathIsFolder);
    QFETCH(int, lockHeldMs);
    QFETCH(bool, written);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"address.lst"_s);
    if (pathIsFolder)
        QVERIFY(QDir(dir.path()).mkdir(u"address.lst"_s));
    else
        QVERIFY(writeFile(path, "\r\nA\r\n"));
    QLockFile other(path + u".lock"_s);
    if (lockHeldMs > 0) {
        QVERIFY(other.tryLock(0));
        QTimer::singleShot(lockHeldMs, this, [&other] { other.unlock(); });
    }
    std::atomic<int> writes = 0;
    HistoryWriter window(path, [&writes](const QString &at, const QString &previousOwn, const QString &address) {
        ++writes;
        return historyfile::appendAddress(at, previousOwn, address);
    });
    QElapsedTimer clock;
    clock.start();
    window.append(u"X"_s);
    if (written) {
        QTRY_COMPARE_WITH_TIMEOUT(fileBytes(path), QByteArray("\r\nA\r\nX\r\n"), 10000);
        QVERIFY(clock.elapsed() >= lockHeldMs);
    } else {
        // Tried once, silently given up: the program's end does not wait for it.
        HistoryWriter::waitForAll();
        QCOMPARE(writes.load(), 1);
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(QFileInfo(path).isDir());
    }
}

// Nothing tells the user of an address that could not be kept; the log says why, once.
void tst_HistoryFile::droppedWriteToldOnce()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"address.lst"_s);
    QVERIFY(QDir(dir.path()).mkdir(u"address.lst"_s));
    const QRegularExpression told(u"^An address was not kept in .*address\\.lst: .+\\.$"_s);
    QTest::ignoreMessage(QtWarningMsg, told);
    QTest::failOnWarning(told);
    HistoryWriter window(path);
    window.append(u"http://a/"_s);
    HistoryWriter::waitForAll();
    window.append(u"http://b/"_s);
    HistoryWriter::waitForAll();
}

void tst_HistoryFile::concurrentProcesses_data()
{
    QTest::addColumn<QString>("firstMode");
    QTest::addColumn<QStringList>("firstKept");
    QTest::addColumn<bool>("onDisk");

    QStringList all;
    for (int i = 0; i < 200; ++i)
        all << u"http://a/%1"_s.arg(i);
    // In memory the writes are quick; on a disk busy with other work one writer's sync
    // can outlast the other's wait for the lock, which must then try again.
    for (const bool onDisk : {false, true}) {
        const char *const place = onDisk ? "on disk" : "in memory";
        QTest::addRow("two copies, 200 windows each, %s", place) << u"windows"_s << all << onDisk;
        QTest::addRow("one window against 200, %s", place) << u"window"_s << QStringList{u"http://a/199"_s} << onDisk;
    }
}

void tst_HistoryFile::concurrentProcesses()
{
    QFETCH(QString, firstMode);
    QFETCH(QStringList, firstKept);
    QFETCH(bool, onDisk);

    // Beside the test program, which is on a disk; /dev/shm is in memory.
    const QString base = onDisk ? QCoreApplication::applicationDirPath()
                         : QFileInfo(u"/dev/shm"_s).isDir() ? u"/dev/shm"_s
                                                            : QDir::tempPath();
    QTemporaryDir dir(base + u"/tst_historyfile-XXXXXX"_s);
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(u"address.lst"_s);
    QProcess first;
    QProcess second;
    QElapsedTimer timer;
    timer.start();
    first.start(QStringLiteral(HISTORY_WRITER_EXE), {path, u"http://a/"_s, u"200"_s, firstMode});
    second.start(QStringLiteral(HISTORY_WRITER_EXE), {path, u"http://b/"_s, u"200"_s, u"windows"_s});
    // Meanwhile a window opening reads the file without the lock: it must always find
    // a whole file, the old one or the new one.
    int reads = 0;
    while ((first.state() != QProcess::NotRunning || second.state() != QProcess::NotRunning)
           && timer.elapsed() < 60000) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) { // missing until the first write
            const QByteArray seen = file.readAll();
            QBuffer buffer;
            buffer.setData(seen);
            QVERIFY(buffer.open(QIODevice::ReadOnly));
            QVERIFY2(seen.startsWith("\r\n") && seen.endsWith("\r\n")
                         && historyfile::compose(historyfile::read(buffer).entries) == seen,
                     seen.right(200).constData());
            ++reads;
        }
        QTest::qWait(1);
    }
    // Both finish before either is judged, so neither is killed half way.
    QVERIFY(first.state() == QProcess::NotRunning && second.state() == QProcess::NotRunning);
    for (QProcess *process : {&first, &second}) {
        QVERIFY2(process->exitStatus() == QProcess::NormalExit && process->exitCode() == 0,
                 process->readAllStandardError().constData());
    }
    const qint64 elapsed = timer.elapsed();

    const QByteArray bytes = fileBytes(path);
    const historyfile::ReadResult result = historyfile::read(path);
    QVERIFY(result.ok);
    QStringList expected = firstKept;
    for (int i = 0; i < 200; ++i)
        expected << u"http://b/%1"_s.arg(i);
    QStringList entries = result.entries;
    entries.sort();
    expected.sort();
    QCOMPARE(entries, expected); // each exactly once
    // Whole: every line one entry, the empty first line, the last line ended.
    QVERIFY(bytes.startsWith("\r\n"));
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(bytes, historyfile::compose(result.entries));
    QVERIFY(!QFileInfo::exists(path + u".lock"_s));

    int turns = 0; // how often the writer changes along the file: did they really overlap?
    for (qsizetype i = 1; i < result.entries.size(); ++i)
        turns += result.entries.at(i).at(7) != result.entries.at(i - 1).at(7);
    qDebug("%lld entries, writers took turns %d times, %lld ms, %d reads meanwhile; %s, %s",
           qint64(result.entries.size()), turns, elapsed, reads, first.readAllStandardOutput().trimmed().constData(),
           second.readAllStandardOutput().trimmed().constData());
}

QTEST_GUILESS_MAIN(tst_HistoryFile)
#include "tst_historyfile.moc"
