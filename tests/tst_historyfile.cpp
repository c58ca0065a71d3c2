#include "browser/historyfile.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>

#ifdef Q_OS_UNIX
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

} // namespace

class tst_HistoryFile : public QObject
{
    Q_OBJECT

private slots:
    void fields_data();
    void fields();
    void takeEntriesForgets();
    void readPath_data();
    void readPath();
    void readDevice();
    void readLargeFile_data();
    void readLargeFile();
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
    QTest::newRow("100,000 addresses") << 100'000 << qint64(0);
    QTest::newRow("50 MB") << 0 << qint64(50) * 1000 * 1000;
}

void tst_HistoryFile::readLargeFile()
{
    QFETCH(int, minimumCount);
    QFETCH(qint64, minimumSize);

    // Lines of varied length, so field ends fall anywhere against the read pieces;
    // every hundredth is quoted with a comma and every seventh is non-ASCII.
    const auto address = [](int i) {
        if (i % 100 == 0)
            return u"http://host%1.example/a,b?%2"_s.arg(i % 977).arg(i);
        if (i % 7 == 0)
            return u"https://ü%1.example/päge/%2"_s.arg(i % 13).arg(i);
        return u"http://www.example.com/%1/page?id=%2"_s.arg(i % 31).arg(i);
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
    const historyfile::ReadResult result = historyfile::read(path);
    const qint64 elapsed = timer.elapsed();
    qDebug("%d addresses, %lld bytes, read in %lld ms", count, qint64(QFileInfo(path).size()), elapsed);

    QVERIFY(result.ok);
    QCOMPARE(result.entries.size(), count);
    QCOMPARE(result.entries.first(), address(0));
    QCOMPARE(result.entries.last(), address(count - 1));
    for (int i = 0; i < count; ++i) {
        if (result.entries.at(i) != address(i))
            QFAIL(qPrintable(u"entry %1 is %2"_s.arg(i).arg(result.entries.at(i))));
    }
}

QTEST_GUILESS_MAIN(tst_HistoryFile)
#include "tst_historyfile.moc"
