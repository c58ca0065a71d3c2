#include "system/visitdatabase.h"
#include "system/visithistory.h"
#include "system/visitwriter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QMap>
#include <QRegularExpression>
#include <functional>
#include <map>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 HourMs = 60 * 60 * 1000;

// Noon of the day so many days from today, local time.
qint64 noon(int days)
{
    return QDate::currentDate().addDays(days).startOfDay().toMSecsSinceEpoch() + 12 * HourMs;
}

// Every visit a search finds, newest first.
QList<Visit> found(const VisitHistory &history, const QString &text)
{
    VisitSearch search = history.search(text);
    QList<Visit> visits;
    for (VisitSearch::Step step; !step.done;) {
        step = search.next(200);
        visits << step.visits;
    }
    return visits;
}

QStringList foundAddresses(const VisitHistory &history, const QString &text)
{
    QStringList addresses;
    for (const Visit &v : found(history, text))
        addresses << v.address;
    return addresses;
}

// A number the database file answers, read through a connection of the test's own.
qint64 ask(const QString &path, const QString &statement)
{
    qint64 value = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"test"_s);
        db.setDatabaseName(path);
        QSqlQuery q(db);
        if (db.open() && q.exec(statement) && q.next())
            value = q.value(0).toLongLong();
    }
    QSqlDatabase::removeDatabase(u"test"_s);
    return value;
}

bool change(const QString &path, const QStringList &statements)
{
    bool done = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"test"_s);
        db.setDatabaseName(path);
        done = db.open();
        for (const QString &statement : statements)
            done = done && QSqlQuery(db).exec(statement);
    }
    QSqlDatabase::removeDatabase(u"test"_s);
    return done;
}

// The trigram index agrees with the pages it indexes.
bool indexIntact(const QString &path)
{
    return change(path, {u"INSERT INTO pages_text(pages_text, rank) VALUES ('integrity-check', 1)"_s});
}

QByteArray bytesOf(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

} // namespace

// The store of visited pages against real SQLite files in a temporary folder.
class tst_VisitHistory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void recordsInOneBatch();
    void titles_data();
    void titles();
    void search_data();
    void search();
    void manyVisitsReadInSteps();
    void deletes_data();
    void deletes();
    void prunesAtStart_data();
    void prunesAtStart();
    void offTheRecordMakesNoFile();
    void damagedFileSetAside_data();
    void damagedFileSetAside();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString path() const { return m_dir->filePath(visitdatabase::fileName()); }
};

void tst_VisitHistory::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void tst_VisitHistory::recordsInOneBatch()
{
    VisitHistory history(m_dir->path(), true, 90);
    QVERIFY(history.kept());
    QVERIFY(history.notice().isEmpty());
    QSignalSpy added(&history, &VisitHistory::added);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < 3; ++i)
        history.record(u"https://example.test/%1"_s.arg(i), now + i);
    // Written within the batch's time, all three at once.
    QTRY_COMPARE_WITH_TIMEOUT(added.size(), 1, 5 * VisitWriter::BatchMs);
    QCOMPARE(foundAddresses(history, {}), (QStringList{u"https://example.test/2"_s, u"https://example.test/1"_s,
                                                       u"https://example.test/0"_s}));
    QCOMPARE(added.size(), 1);
    // The file and its log are the user's alone.
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                                      | QFile::WriteOther | QFile::ExeOther;
    for (const QString &file : {path(), path() + u"-wal"_s}) {
        QVERIFY(QFile::exists(file));
        QCOMPARE(QFile::permissions(file) & others, QFile::Permissions());
    }
}

void tst_VisitHistory::titles_data()
{
    // Steps: "visit" (of the one address), "title:<text>", "flush"; then every visit's
    // title as found, newest first.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("titles");
    QTest::newRow("in the visit's batch") << QStringList{u"visit"_s, u"title:Tide tables"_s}
                                          << QStringList{u"Tide tables"_s};
    QTest::newRow("after the visit was written")
        << QStringList{u"visit"_s, u"flush"_s, u"title:Tide tables"_s} << QStringList{u"Tide tables"_s};
    QTest::newRow("a newer one is the page's")
        << QStringList{u"visit"_s, u"title:Old"_s, u"flush"_s, u"visit"_s, u"title:New"_s}
        << QStringList{u"New"_s, u"New"_s};
    QTest::newRow("an empty one keeps the page's")
        << QStringList{u"visit"_s, u"title:Kept"_s, u"flush"_s, u"visit"_s, u"title:"_s}
        << QStringList{u"Kept"_s, u"Kept"_s};
    QTest::newRow("the address is no title") << QStringList{u"visit"_s, u"title:https://harbour.test/"_s}
                                             << QStringList{u""_s};
    QTest::newRow("a long one is cut") << QStringList{u"visit"_s, u"title:"_s + QString(5000, u'x')}
                                       << QStringList{QString(VisitHistory::MaxTitle, u'x')};
}

void tst_VisitHistory::titles()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, titles);
    const QString address = u"https://harbour.test/"_s;
    VisitHistory history(m_dir->path(), true, 90);
    qint64 when = QDateTime::currentMSecsSinceEpoch();
    for (const QString &step : steps) {
        if (step == u"visit"_s)
            history.record(address, ++when);
        else if (step == u"flush"_s)
            history.flush();
        else
            history.setTitle(address, step.mid(6));
    }
    history.flush();
    QStringList now;
    for (const Visit &v : found(history, {}))
        now << v.title;
    QCOMPARE(now, titles);
    QVERIFY(indexIntact(path()));
}

void tst_VisitHistory::search_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("addresses");
    const QString tides = u"https://harbour.test/tides"_s;
    const QString ferries = u"https://harbour.test/ferries"_s;
    const QString percent = u"http://127.0.0.1/100%25"_s;
    const QString street = u"https://example.test/stra%C3%9Fe"_s;
    const QString news = u"https://news.test/story?id=7"_s;
    QTest::newRow("everything, newest first") << QString() << QStringList{tides, news, street, percent, ferries, tides};
    QTest::newRow("in a title, either case") << u"FERRY"_s << QStringList{ferries};
    QTest::newRow("in an address") << u"news.te"_s << QStringList{news};
    QTest::newRow("a word of two titles") << u"tables"_s << QStringList{tides, tides};
    QTest::newRow("too short for the index") << u"ti"_s << QStringList{tides, ferries, tides};
    QTest::newRow("one letter") << u"%"_s << QStringList{street, percent};
    QTest::newRow("wildcards are letters") << u"ha_b"_s << QStringList{};
    QTest::newRow("an underscore") << u"t_sign"_s << QStringList{percent};
    QTest::newRow("quotes") << u"\"hi\""_s << QStringList{street};
    QTest::newRow("beyond ASCII") << u"straße"_s << QStringList{street};
    QTest::newRow("nothing matches") << u"zzqx"_s << QStringList{};
}

void tst_VisitHistory::search()
{
    QFETCH(QString, text);
    QFETCH(QStringList, addresses);
    VisitHistory history(m_dir->path(), true, 90);
    const QList<std::pair<QString, QString>> visits{
        {u"https://harbour.test/tides"_s, u"Tide tables"_s},
        {u"https://harbour.test/ferries"_s, u"Ferry times"_s},
        {u"http://127.0.0.1/100%25"_s, u"Percent_sign page"_s},
        {u"https://example.test/stra%C3%9Fe"_s, u"Straße: say \"hi\" to it"_s},
        {u"https://news.test/story?id=7"_s, u"Kalomi wins"_s},
        {u"https://harbour.test/tides"_s, u"Tide tables"_s},
    };
    qint64 when = noon(-1);
    for (const auto &[address, title] : visits) {
        history.record(address, when += HourMs);
        history.setTitle(address, title);
    }
    history.flush();
    QCOMPARE(foundAddresses(history, text), addresses);
}

// More visits than a step looks through, and than the index leads to: every visit is
// given once, in order, and a rare match behind them all is still found.
void tst_VisitHistory::manyVisitsReadInSteps()
{
    VisitHistory history(m_dir->path(), true, 90);
    const qint64 start = noon(-10);
    history.record(u"https://rare.test/zq"_s, start);
    const int count = VisitSearch::WalkVisits * 2 + 100;
    for (int i = 1; i <= count; ++i)
        history.record(u"https://site.test/page-%1"_s.arg(i), start + i * 1000);
    history.flush();

    const QList<Visit> all = found(history, {});
    QCOMPARE(all.size(), count + 1);
    for (qsizetype i = 1; i < all.size(); ++i)
        QVERIFY(all.at(i).visited < all.at(i - 1).visited);
    QCOMPARE(all.constLast().address, u"https://rare.test/zq"_s);

    // Two letters, too short for the index: a step through the newest visits finds
    // nothing, and one through the pages finds it.
    VisitSearch rare = history.search(u"zq"_s);
    int steps = 0;
    QList<Visit> rareFound;
    for (VisitSearch::Step step; !step.done; ++steps) {
        step = rare.next(200);
        rareFound << step.visits;
    }
    QCOMPARE(rareFound.size(), 1);
    QCOMPARE(steps, 2);
    // Matched by more pages than the index leads to: the newest first, at once.
    VisitSearch common = history.search(u"page-"_s);
    const VisitSearch::Step first = common.next(200);
    QCOMPARE(first.visits.size(), 200);
    QCOMPARE(first.visits.constFirst().address, u"https://site.test/page-%1"_s.arg(count));
    QCOMPARE(found(history, u"page-"_s).size(), count);
    QCOMPARE(foundAddresses(history, u"rare.t"_s), QStringList{u"https://rare.test/zq"_s});
}

void tst_VisitHistory::deletes_data()
{
    // Visits (by label): a today 10:00 and yesterday at noon of one page, b today 11:00,
    // d two days ago. What is deleted; the visits left, newest first; the pages left.
    QTest::addColumn<QString>("what");
    QTest::addColumn<QStringList>("left");
    QTest::addColumn<int>("pages");
    QTest::newRow("a visit of a page visited again") << u"visit:a-1"_s << QStringList{u"b"_s, u"a"_s, u"d"_s} << 3;
    QTest::newRow("a page's last visit takes the page") << u"visit:d"_s << QStringList{u"b"_s, u"a"_s, u"a-1"_s} << 2;
    QTest::newRow("yesterday") << u"day:-1"_s << QStringList{u"b"_s, u"a"_s, u"d"_s} << 3;
    QTest::newRow("today") << u"day:0"_s << QStringList{u"a-1"_s, u"d"_s} << 2;
    QTest::newRow("a day without visits") << u"day:-5"_s << QStringList{u"b"_s, u"a"_s, u"a-1"_s, u"d"_s} << 3;
    QTest::newRow("everything") << u"all"_s << QStringList{} << 0;
}

void tst_VisitHistory::deletes()
{
    QFETCH(QString, what);
    QFETCH(QStringList, left);
    QFETCH(int, pages);
    VisitHistory history(m_dir->path(), true, 90);
    const qint64 today = QDate::currentDate().startOfDay().toMSecsSinceEpoch();
    const QMap<qint64, QString> labels{{noon(-2), u"d"_s}, {noon(-1), u"a-1"_s}, {today + 10 * HourMs, u"a"_s},
                                       {today + 11 * HourMs, u"b"_s}};
    for (auto it = labels.cbegin(); it != labels.cend(); ++it)
        history.record(u"https://%1.test/"_s.arg(it.value().left(1)), it.key());
    history.flush();
    QSignalSpy removed(&history, &VisitHistory::removed);

    bool done = false;
    if (what.startsWith(u"visit:"_s)) {
        const QList<Visit> all = found(history, {});
        const auto it = std::find_if(all.cbegin(), all.cend(),
                                     [&](const Visit &v) { return labels.value(v.visited) == what.mid(6); });
        QVERIFY(it != all.cend());
        done = history.removeVisit(it->id);
    } else if (what.startsWith(u"day:"_s)) {
        done = history.removeDay(QDate::currentDate().addDays(what.mid(4).toInt()));
    } else {
        done = history.removeAll();
    }
    QVERIFY(done);
    QCOMPARE(removed.size(), 1);
    QStringList now;
    for (const Visit &v : found(history, {}))
        now << labels.value(v.visited);
    QCOMPARE(now, left);
    QCOMPARE(ask(path(), u"SELECT count(*) FROM pages"_s), pages);
    QVERIFY(indexIntact(path()));
    // A page that went is found by its address no more.
    if (!left.contains(u"d"_s))
        QCOMPARE(foundAddresses(history, u"d.test"_s), QStringList{});
    // And the store goes on.
    history.record(u"https://later.test/"_s, QDateTime::currentMSecsSinceEpoch());
    history.flush();
    QCOMPARE(foundAddresses(history, u"later"_s), QStringList{u"https://later.test/"_s});
}

void tst_VisitHistory::prunesAtStart_data()
{
    QTest::addColumn<int>("keepDays");
    QTest::addColumn<QList<int>>("left"); // days ago
    QTest::newRow("90 days") << 90 << QList<int>{0, 10, 89};
    QTest::newRow("a week") << 7 << QList<int>{0};
    QTest::newRow("a century") << 36500 << QList<int>{0, 10, 89, 91, 100};
}

void tst_VisitHistory::prunesAtStart()
{
    QFETCH(int, keepDays);
    QFETCH(QList<int>, left);
    {
        VisitHistory earlier(m_dir->path(), true, 36500);
        for (int daysAgo : {100, 91, 89, 10, 0})
            earlier.record(u"https://example.test/%1"_s.arg(daysAgo), noon(-daysAgo));
    }
    VisitHistory history(m_dir->path(), true, keepDays);
    history.flush(); // after the pruning, which the start queued first
    QList<int> now;
    for (const Visit &v : found(history, {}))
        now << v.address.section(u'/', -1).toInt();
    QCOMPARE(now, left);
    QCOMPARE(ask(path(), u"SELECT count(*) FROM pages"_s), left.size());
    QVERIFY(indexIntact(path()));
}

void tst_VisitHistory::offTheRecordMakesNoFile()
{
    {
        VisitHistory history(m_dir->path(), false, 90);
        QVERIFY(!history.kept());
        history.record(u"https://example.test/"_s, QDateTime::currentMSecsSinceEpoch());
        history.setTitle(u"https://example.test/"_s, u"Example"_s);
        history.flush();
        QCOMPARE(foundAddresses(history, {}), QStringList{});
        QVERIFY(history.removeAll());
    }
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{});
}

void tst_VisitHistory::damagedFileSetAside_data()
{
    // How the file is damaged; what the notice says of it.
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("reason");
    QTest::newRow("garbage bytes") << u"garbage"_s << u"it is not a database"_s;
    QTest::newRow("zero-length file") << u"empty"_s << u"it is empty"_s;
    QTest::newRow("another program's database") << u"foreign"_s << u"it belongs to another program"_s;
    QTest::newRow("a newer Halvane's") << u"newer"_s << u"a newer Halvane made it"_s;
    QTest::newRow("ours without its tables") << u"tableless"_s << u"its tables are not as expected"_s;
    QTest::newRow("a folder in its place") << u"folder"_s << u"it cannot be opened"_s;
}

void tst_VisitHistory::damagedFileSetAside()
{
    QFETCH(QString, damage);
    QFETCH(QString, reason);
    const std::map<QString, std::function<bool()>> damages{
        {u"garbage"_s, [&] { QFile f(path()); return f.open(QIODevice::WriteOnly) && f.write(QByteArray(5000, '\x9c')) > 0; }},
        {u"empty"_s, [&] { QFile f(path()); return f.open(QIODevice::WriteOnly); }},
        {u"foreign"_s, [&] { return change(path(), {u"CREATE TABLE notes(text)"_s}); }},
        {u"newer"_s, [&] { return change(path(), {u"PRAGMA user_version = %1"_s.arg(visitdatabase::SchemaVersion + 1)}); }},
        {u"tableless"_s, [&] { return change(path(), {u"DROP TABLE visits"_s}); }},
        {u"folder"_s, [&] { return QDir().mkpath(path()); }},
    };
    if (damage == u"newer"_s || damage == u"tableless"_s) {
        VisitHistory earlier(m_dir->path(), true, 90);
        earlier.record(u"https://earlier.test/"_s, QDateTime::currentMSecsSinceEpoch());
    }
    QVERIFY(damages.at(damage)());
    QFile neighbour(m_dir->filePath(u"profile-data"_s));
    QVERIFY(neighbour.open(QIODevice::WriteOnly) && neighbour.write("kept") == 4);
    neighbour.close();
    const QByteArray before = QFileInfo(path()).isDir() ? QByteArray() : bytesOf(path());

    // The log says it too.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(reason)));
    VisitHistory history(m_dir->path(), true, 90);
    QVERIFY2(history.notice().contains(reason), qPrintable(history.notice()));
    const QStringList aside = QDir(m_dir->path()).entryList({u"visits.sqlite.damaged-*"_s});
    QCOMPARE(aside.size(), 1);
    QVERIFY2(history.notice().contains(aside.constFirst()), qPrintable(history.notice()));
    if (!before.isNull())
        QCOMPARE(bytesOf(m_dir->filePath(aside.constFirst())), before);
    QCOMPARE(bytesOf(neighbour.fileName()), QByteArray("kept"));
    // A fresh database in its place, which the next start takes as it is.
    QVERIFY(history.kept());
    history.record(u"https://fresh.test/"_s, QDateTime::currentMSecsSinceEpoch());
    history.flush();
    QCOMPARE(foundAddresses(history, {}), QStringList{u"https://fresh.test/"_s});
}

QTEST_GUILESS_MAIN(tst_VisitHistory)
#include "tst_visithistory.moc"
