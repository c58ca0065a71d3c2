#include "system/downloadlist.h"
#include "system/downloadlistfile.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace Qt::StringLiterals;

using State = DownloadRecord::State;

namespace {

QString shownAt(const DownloadList &list, int row, int column)
{
    return list.data(list.index(row, column)).toString();
}

DownloadRecord record(const QString &path, State state, const QString &address = u"http://127.0.0.1/f"_s)
{
    DownloadRecord r;
    r.path = path;
    r.address = address;
    r.state = state;
    r.size = 2000;
    r.received = state == State::Finished ? 2000 : 700;
    r.reason = state == State::Failed ? u"Network error"_s : QString();
    r.started = QDateTime(QDate(2024, 5, 1), QTime(9, 30, 15, 250), Qt::UTC);
    r.ended = state == State::Running ? QDateTime() : r.started.addSecs(42);
    return r;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool write(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray fileWith(const QByteArray &downloads, const QByteArray &version = "1")
{
    return R"({"format": "halvane-downloads", "version": )" + version + R"(, "downloads": [)" + downloads + "]}";
}

const QByteArray GoodDownload = R"({"file": "/home/u/Downloads/good.bin", "state": "finished"})";

} // namespace

// The downloads list: what it shows of each download, its bound, its file and what
// becomes of a damaged one.
class tst_DownloadList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void shown_data();
    void shown();
    void keepsTheNewest_data();
    void keepsTheNewest();
    void fileRoundTrip();
    void damagedFile_data();
    void damagedFile();
    void unreadableFileIsLeftAlone();

private:
    QString filePath() const { return m_dir->filePath(u"downloads.json"_s); }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void tst_DownloadList::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_DownloadList::shown_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("address");
    QTest::addColumn<qint64>("received");
    QTest::addColumn<qint64>("size"); // -1: the server did not say
    QTest::addColumn<int>("end");     // -1: still running, else a State
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("sizeText");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("canRetry");
    const QString from = u"http://127.0.0.1/f"_s;
    const int running = -1;
    QTest::newRow("running") << u"/d/a.bin"_s << from << 512000LL << 1024000LL << running << QString()
                             << u"a.bin"_s << u"1.0 MB"_s << u"50% of 1.0 MB"_s << false;
    QTest::newRow("running, size not told") << u"/d/a.bin"_s << from << 2048LL << -1LL << running << QString()
                                            << u"a.bin"_s << u"2.0 kB"_s << u"2.0 kB so far"_s << false;
    QTest::newRow("finished, size not told") << u"/d/a.bin"_s << from << 2048LL << -1LL << int(State::Finished)
                                             << QString() << u"a.bin"_s << u"2.0 kB"_s << u"Finished"_s << false;
    QTest::newRow("failed") << u"/d/a.bin"_s << from << 100LL << 2000LL << int(State::Failed) << u"Network error"_s
                            << u"a.bin"_s << u"2.0 kB"_s << u"Failed: Network error"_s << true;
    QTest::newRow("cancelled") << u"/d/a.bin"_s << from << 100LL << 2000LL << int(State::Cancelled) << QString()
                               << u"a.bin"_s << u"2.0 kB"_s << u"Cancelled"_s << true;
    QTest::newRow("a reason for a download that did not fail")
        << u"/d/a.bin"_s << from << 2000LL << 2000LL << int(State::Finished) << u"ignored"_s << u"a.bin"_s
        << u"2.0 kB"_s << u"Finished"_s << false;
    QTest::newRow("a reason far too long, cut")
        << u"/d/a.bin"_s << from << 0LL << -1LL << int(State::Failed) << QString(5000, u'x') << u"a.bin"_s << QString()
        << u"Failed: "_s + QString(DownloadRecord::MaxReasonChars, u'x') << true;
    QTest::newRow("an address too long to keep: no retry")
        << u"/d/a.bin"_s << u"http://127.0.0.1/"_s + QString(DownloadRecord::MaxAddressChars, u'a') << 0LL << -1LL
        << int(State::Failed) << u"Network error"_s << u"a.bin"_s << QString() << u"Failed: Network error"_s << false;
    QTest::newRow("a name that would read backwards, a line break, markup")
        << u"/d/evil\u202Etxt.sh\n<b>x"_s << from << 0LL << -1LL << int(State::Cancelled) << QString()
        << u"evil\uFFFDtxt.sh\uFFFD<b>x"_s << QString() << u"Cancelled"_s << true;
    QTest::newRow("a reason with a line break") << u"/d/a.bin"_s << from << 0LL << -1LL << int(State::Failed)
                                                << u"one\ntwo"_s << u"a.bin"_s << QString()
                                                << u"Failed: one\uFFFDtwo"_s << true;
}

void tst_DownloadList::shown()
{
    QFETCH(QString, path);
    QFETCH(QString, address);
    QFETCH(qint64, received);
    QFETCH(qint64, size);
    QFETCH(int, end);
    QFETCH(QString, reason);
    QFETCH(QString, name);
    QFETCH(QString, sizeText);
    QFETCH(QString, status);
    QFETCH(bool, canRetry);

    DownloadList list;
    list.add(u"http://127.0.0.1/older"_s, u"/d/older.bin"_s);
    const quint64 id = list.add(address, path);
    QCOMPARE(list.rowOf(id), 0);
    list.setProgress(id, received, size);
    if (end >= 0)
        list.end(id, State(end), reason);
    QCOMPARE(shownAt(list, 0, DownloadList::Name), name);
    QCOMPARE(shownAt(list, 0, DownloadList::Size), sizeText);
    QCOMPARE(shownAt(list, 0, DownloadList::Status), status);
    QCOMPARE(DownloadList::canRetry(list.at(0)), canRetry);
    // The whole path in the tip, as text, whatever it holds.
    const QString tip = list.data(list.index(0, DownloadList::Name), Qt::ToolTipRole).toString();
    QVERIFY2(tip.contains(DownloadList::shown(path).toHtmlEscaped()), qPrintable(tip));
    // Progress after the end changes nothing.
    list.setProgress(id, received + 1, size);
    if (end >= 0)
        QCOMPARE(shownAt(list, 0, DownloadList::Status), status);
}

void tst_DownloadList::keepsTheNewest_data()
{
    QTest::addColumn<int>("inFile");   // downloads in the file at the start
    QTest::addColumn<int>("added");    // then added
    QTest::addColumn<QString>("first"); // the name on top, after a reload
    QTest::addColumn<QString>("last");  // the name at the bottom
    QTest::newRow("added past the bound") << 0 << 1005 << u"1004"_s << u"5"_s;
    QTest::newRow("a file past the bound") << 1200 << 0 << u"f0"_s << u"f999"_s;
    QTest::newRow("a full file, one more") << 1000 << 1 << u"0"_s << u"f998"_s;
}

void tst_DownloadList::keepsTheNewest()
{
    QFETCH(int, inFile);
    QFETCH(int, added);
    QFETCH(QString, first);
    QFETCH(QString, last);
    QList<DownloadRecord> records;
    for (int i = 0; i < inFile; ++i)
        records << record(u"/d/f%1"_s.arg(i), State::Finished);
    if (inFile > 0)
        QVERIFY(write(filePath(), DownloadListFile::encode(records)));
    {
        DownloadList list(filePath());
        QVERIFY2(list.notice().isEmpty(), qPrintable(list.notice()));
        for (int i = 0; i < added; ++i)
            list.end(list.add(u"http://127.0.0.1/%1"_s.arg(i), u"/d/%1"_s.arg(i)), State::Finished);
        QCOMPARE(list.count(), qMin(inFile + added, DownloadList::MaxRecords));
    }
    const DownloadList reread(filePath());
    QCOMPARE(reread.count(), DownloadList::MaxRecords);
    QCOMPARE(shownAt(reread, 0, DownloadList::Name), first);
    QCOMPARE(shownAt(reread, DownloadList::MaxRecords - 1, DownloadList::Name), last);
}

// Every state and field comes back as written; one still running when the program
// ended comes back failed.
void tst_DownloadList::fileRoundTrip()
{
    QList<DownloadRecord> records{record(u"/d/r\u00e9sum\u00e9 \u2014 \U0001F600.pdf"_s, State::Running),
                                  record(u"/d/done.bin"_s, State::Finished),
                                  record(u"/d/failed.bin"_s, State::Failed, QString()),
                                  record(u"/d/cancelled.bin"_s, State::Cancelled)};
    records[1].size = -1;
    QVERIFY(write(filePath(), DownloadListFile::encode(records)));
    QList<DownloadRecord> written;
    {
        DownloadList list(filePath());
        QVERIFY2(list.notice().isEmpty(), qPrintable(list.notice()));
        written = list.records();
        records[0].state = State::Failed;
        records[0].reason = u"Halvane ended before it finished"_s;
        QCOMPARE(written, records);
        // A change writes the file again, through the list.
        list.remove(3);
        written.removeAt(3);
    }
    QCOMPARE(DownloadList(filePath()).records(), written);
    QCOMPARE(QFile::permissions(filePath()) & ~(QFile::ReadUser | QFile::WriteUser | QFile::ReadOwner | QFile::WriteOwner),
             QFile::Permissions());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList{u"downloads.json"_s});
}

void tst_DownloadList::damagedFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("kept");      // downloads read from it
    QTest::addColumn<QString>("reason"); // in the notice; empty: the file is whole
    QTest::newRow("whole") << fileWith(GoodDownload + ',' + GoodDownload) << 2 << QString();
    QTest::newRow("members it does not know") << fileWith(R"({"file": "/a", "state": "failed", "colour": 3})") << 1
                                              << QString();
    QTest::newRow("empty") << QByteArray() << 0 << u"not JSON"_s;
    QTest::newRow("cut short") << fileWith(GoodDownload).chopped(3) << 0 << u"not JSON"_s;
    QTest::newRow("binary") << QByteArray("\x00\xff\xfe{", 4) << 0 << u"not JSON"_s;
    QTest::newRow("a list, not an object") << QByteArray("[" + GoodDownload + "]") << 0 << u"not a downloads list"_s;
    QTest::newRow("another format") << QByteArray(R"({"format": "bookmarks", "version": 1})") << 0
                                    << u"not a downloads list"_s;
    QTest::newRow("a later version") << fileWith(GoodDownload, "2") << 0 << u"version 2"_s;
    QTest::newRow("no version") << fileWith(GoodDownload, "\"one\"") << 0 << u"no version"_s;
    QTest::newRow("downloads not a list") << QByteArray(R"({"format": "halvane-downloads", "version": 1, "downloads": 5})")
                                          << 0 << u"no list of downloads"_s;
    const QString broken = u"1 of its 3 downloads could not be read"_s;
    const auto amid = [](const QByteArray &bad) { return fileWith(GoodDownload + ',' + bad + ',' + GoodDownload); };
    QTest::newRow("a download not an object") << amid("7") << 2 << broken;
    QTest::newRow("a state it does not know") << amid(R"({"file": "/a", "state": "paused"})") << 2 << broken;
    QTest::newRow("no file") << amid(R"({"state": "finished"})") << 2 << broken;
    QTest::newRow("a relative path") << amid(R"({"file": "../a", "state": "finished"})") << 2 << broken;
    QTest::newRow("a size that is text") << amid(R"({"file": "/a", "state": "finished", "size": "9"})") << 2 << broken;
    QTest::newRow("a size below -1") << amid(R"({"file": "/a", "state": "finished", "size": -2})") << 2 << broken;
    QTest::newRow("a fraction of a byte") << amid(R"({"file": "/a", "state": "finished", "received": 1.5})") << 2
                                          << broken;
    QTest::newRow("a time that is none") << amid(R"({"file": "/a", "state": "finished", "ended": "yesterday"})") << 2
                                         << broken;
    QTest::newRow("an address too long")
        << amid(R"({"file": "/a", "state": "failed", "address": ")" + QByteArray(DownloadRecord::MaxAddressChars + 1, 'a')
                + "\"}")
        << 2 << broken;
    QTest::newRow("a path too long")
        << amid(R"({"file": "/)" + QByteArray(DownloadRecord::MaxPathChars, 'a') + R"(", "state": "finished"})") << 2
        << broken;
    QByteArray huge = fileWith(GoodDownload);
    huge.insert(huge.size() - 1, QByteArray(DownloadListFile::MaxBytes, ' '));
    QTest::newRow("over 16 MiB") << huge << 0 << u"larger than 16 MiB"_s;
}

// A damaged file is set aside as it was, the user is told, the list goes on with what
// could be read, and the next write makes a whole file of that.
void tst_DownloadList::damagedFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, kept);
    QFETCH(QString, reason);
    QVERIFY(write(filePath(), bytes));
    {
        DownloadList list(filePath());
        QCOMPARE(list.count(), kept);
        QVERIFY(list.kept());
        QVERIFY2(reason.isEmpty() ? list.notice().isEmpty() : list.notice().contains(reason), qPrintable(list.notice()));
    }
    const QStringList aside = QDir(m_dir->path()).entryList({u"downloads.damaged-*.json"_s}, QDir::Files);
    if (reason.isEmpty()) {
        QVERIFY(aside.isEmpty());
        QCOMPARE(readAll(filePath()), bytes);
        return;
    }
    QCOMPARE(aside.size(), 1);
    QCOMPARE(readAll(m_dir->filePath(aside.first())), bytes);
    const DownloadList next(filePath());
    QVERIFY2(next.notice().isEmpty(), qPrintable(next.notice()));
    QCOMPARE(next.count(), kept);
}

// A file that cannot be read is never written over: the list lasts for the session.
void tst_DownloadList::unreadableFileIsLeftAlone()
{
    QVERIFY(QDir().mkdir(filePath()));
    {
        DownloadList list(filePath());
        QVERIFY(list.notice().contains(u"cannot be read"_s));
        QVERIFY(!list.kept());
        list.end(list.add(u"http://127.0.0.1/a"_s, u"/d/a"_s), State::Finished);
        QCOMPARE(list.count(), 1);
    }
    QVERIFY(QFileInfo(filePath()).isDir());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{u"downloads.json"_s});
}

QTEST_GUILESS_MAIN(tst_DownloadList)
#include "tst_downloadlist.moc"
