#include "app/sessionfile.h"
#include "app/sessionkeeper.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <sys/stat.h>

using namespace Qt::StringLiterals;
using sessionfile::Session;
using sessionfile::Window;

Q_DECLARE_METATYPE(Session)

namespace {

Session threeWindows()
{
    Session s;
    s.windows = {{u"http://127.0.0.1:8080/a?x=1#top"_s, QRect(0, 0, 400, 300), Window::State::Normal},
                 {u"file:///tmp/Ünïcode \"quoted\".html"_s, QRect(-20, 35, 1, 1), Window::State::Minimized},
                 {QString(), QRect(120, 80, 640, 480), Window::State::Maximized}};
    s.active = 1;
    return s;
}

QByteArray bytesOf(const Session &s)
{
    return sessionfile::toBytes(s);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

// The session file: what is written reads back the same, what the program would never
// write is refused as a whole and set aside, and the keeper writes at most once a second.
class tst_SessionFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writtenReadsBack_data();
    void writtenReadsBack();
    void damaged_data();
    void damaged();
    void loadSetsDamagedAside_data();
    void loadSetsDamagedAside();
    void keeperWritesAtMostOnceASecond();
};

// What toBytes is given, and what reads back: the same, or what it keeps of it.
void tst_SessionFile::writtenReadsBack_data()
{
    QTest::addColumn<Session>("given");
    QTest::addColumn<Session>("readBack");
    QTest::addColumn<bool>("firstOnly"); // only the first windows of readBack come back
    Session none;
    none.endedCleanly = true;
    QTest::newRow("no windows, ended cleanly") << none << none << false;
    QTest::newRow("three windows, states, the second active") << threeWindows() << threeWindows() << false;

    Session smuggled = threeWindows();
    smuggled.windows[0].address = u"  JavaScript:alert(1)"_s;
    smuggled.windows[1].address = u"data:text/html,<p>x</p>"_s;
    smuggled.windows[2].address = u"http://a.test/"_s + QString(70 * 1024, u'x');
    Session emptied = smuggled;
    for (Window &w : emptied.windows)
        w.address.clear();
    QTest::newRow("addresses that are no page to reopen are kept empty") << smuggled << emptied << false;

    Session many;
    for (int i = 0; i < sessionfile::MaxWindows + 20; ++i)
        many.windows << Window{u"http://127.0.0.1/%1"_s.arg(i), QRect(i, i, 100, 100), Window::State::Normal};
    many.active = sessionfile::MaxWindows + 5;
    Session first = many;
    first.windows.resize(sessionfile::MaxWindows);
    first.active = -1;
    QTest::newRow("past the most windows kept, left out with the active one") << many << first << false;

    Session huge;
    huge.windows << Window{u"http://a.test/"_s, QRect(-5'000'000, 5'000'000, 0, 90'000'000), Window::State::Normal};
    Session bounded = huge;
    bounded.windows[0].place = QRect(-1'000'000, 1'000'000, 1, 1'000'000);
    QTest::newRow("a place out of range is brought within it") << huge << bounded << false;

    // 200 addresses of 60 000 characters that each take six bytes escaped: about 72 MB
    // in all, of which the first windows that fit stay.
    Session heavy;
    for (int i = 0; i < 200; ++i)
        heavy.windows << Window{u"http://a.test/"_s + QString(60'000, QChar(0x01)), QRect(0, 0, 10, 10),
                                Window::State::Normal};
    QTest::newRow("the file stays within its size") << heavy << heavy << true;
}

void tst_SessionFile::writtenReadsBack()
{
    QFETCH(Session, given);
    QFETCH(Session, readBack);
    QFETCH(bool, firstOnly);
    const QByteArray bytes = sessionfile::toBytes(given);
    QVERIFY(bytes.size() <= sessionfile::MaxBytes);
    const sessionfile::Reading r = sessionfile::fromBytes(bytes);
    QVERIFY2(r.session, qPrintable(r.problem));
    QCOMPARE(r.problem, QString());
    if (firstOnly) {
        QVERIFY(!r.session->windows.isEmpty());
        QVERIFY(r.session->windows.size() < readBack.windows.size());
        readBack.windows.resize(r.session->windows.size());
    }
    QCOMPARE(r.session->windows.size(), readBack.windows.size());
    QCOMPARE(*r.session, readBack);
}

void tst_SessionFile::damaged_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("problem");
    const QByteArray good = bytesOf(threeWindows());
    auto with = [&good](const char *from, const char *to) {
        QByteArray b = good;
        Q_ASSERT(b.contains(from));
        return b.replace(from, to);
    };
    QTest::newRow("empty") << QByteArray() << u"illegal value at byte 0"_s;
    QTest::newRow("garbage") << QByteArray("\x00\xff\xfe garbage {", 14) << u"at byte"_s;
    QTest::newRow("cut in half") << good.left(good.size() / 2) << u"at byte"_s;
    QTest::newRow("a list, not an object") << QByteArray("[1, 2]") << u"it is no Halvane session"_s;
    QTest::newRow("another program's") << with("Halvane session", "Other session") << u"it is no Halvane session"_s;
    QTest::newRow("a later version") << with("\"version\": 1", "\"version\": 2")
                                     << u"written by a later Halvane (version 2 of the format)"_s;
    QTest::newRow("version as text") << with("\"version\": 1", "\"version\": \"1\"") << u"no version number"_s;
    QTest::newRow("version 0.5") << with("\"version\": 1", "\"version\": 0.5") << u"no version number"_s;
    QTest::newRow("how it ended as a number") << with("\"endedCleanly\": false", "\"endedCleanly\": 0")
                                              << u"does not say how the session ended"_s;
    QTest::newRow("windows not a list") << with("\"windows\": [", "\"windows\": 7, \"x\": [")
                                        << u"no list of windows"_s;
    QTest::newRow("a window not an object") << with("\"windows\": [", "\"windows\": [3, ")
                                            << u"a window without an address"_s;
    QTest::newRow("an address as a number") << with("\"address\": \"\"", "\"address\": 12")
                                            << u"a window without an address"_s;
    QTest::newRow("a javascript: address") << with("\"address\": \"\"", "\"address\": \"javascript:alert(1)\"")
                                           << u"an address that is no page to reopen"_s;
    QTest::newRow("a data: address") << with("\"address\": \"\"", "\"address\": \" DATA:text/html,x\"")
                                     << u"an address that is no page to reopen"_s;
    QTest::newRow("an address over 64 KiB")
        << with("\"address\": \"\"", "\"address\": \"http://a.test/" + QByteArray(65 * 1024, 'a') + "\"")
        << u"an address that is no page to reopen"_s;
    QTest::newRow("a width of 0") << with("\"width\": 640", "\"width\": 0") << u"whose width is no number"_s;
    QTest::newRow("an absurd height") << with("\"height\": 480", "\"height\": 1e300") << u"whose height is no number"_s;
    QTest::newRow("a fraction") << with("\"left\": 120", "\"left\": 1.5") << u"whose left is no number"_s;
    QTest::newRow("a place as text") << with("\"top\": 80", "\"top\": \"80\"") << u"whose top is no number"_s;
    QTest::newRow("a place missing") << with("\"top\": 80,", "") << u"whose top is no number"_s;
    QTest::newRow("no known state") << with("\"maximized\"", "\"huge\"") << u"a window of no known state"_s;
    QTest::newRow("active past the windows") << with("\"active\": 1", "\"active\": 3")
                                             << u"its active window is none of its windows"_s;
    QTest::newRow("active below none") << with("\"active\": 1", "\"active\": -2")
                                       << u"its active window is none of its windows"_s;
    QByteArray thousands = "{\"format\": \"Halvane session\", \"version\": 1, \"endedCleanly\": true, "
                           "\"active\": -1, \"windows\": [";
    for (int i = 0; i < 3000; ++i)
        thousands += QByteArray(i ? "," : "")
                     + "{\"address\": \"\", \"left\": 0, \"top\": 0, \"width\": 9, \"height\": 9, \"state\": \"normal\"}";
    QTest::newRow("thousands of windows") << thousands + "]}" << u"it lists more than 500 windows"_s;
    QTest::newRow("over 8 MiB") << QByteArray(sessionfile::MaxBytes + 1, ' ') << u"larger than 8 MiB"_s;
    QTest::newRow("nested deeper than the reader goes") << QByteArray(100'000, '[') << u"at byte"_s;
}

void tst_SessionFile::damaged()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, problem);
    const sessionfile::Reading r = sessionfile::fromBytes(bytes);
    QVERIFY(!r.session);
    QVERIFY2(r.problem.contains(problem), qPrintable(r.problem));
}

// A damaged file is renamed beside itself, never deleted, and the notice says so; a file
// that reads is left as it is; no file is nothing to say.
void tst_SessionFile::loadSetsDamagedAside_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("read");
    QTest::addColumn<QString>("asideAs"); // empty: nothing set aside
    QTest::newRow("no file") << u"missing"_s << false << QString();
    QTest::newRow("a good file") << u"good"_s << true << QString();
    QTest::newRow("garbage") << u"garbage"_s << false << u"session.json.damaged"_s;
    QTest::newRow("garbage, one set aside before") << u"garbage again"_s << false << u"session.json.damaged-2"_s;
    QTest::newRow("a folder in its place") << u"folder"_s << false << u"session.json.damaged"_s;
    QTest::newRow("a pipe in its place") << u"fifo"_s << false << u"session.json.damaged"_s;
}

void tst_SessionFile::loadSetsDamagedAside()
{
    QFETCH(QString, kind);
    QFETCH(bool, read);
    QFETCH(QString, asideAs);
    QTemporaryDir dir;
    const QString path = dir.filePath(sessionfile::fileName());
    const QByteArray garbage("{\"format\": \"Halvane session\", \"windows\": [{\"addr");
    if (kind == u"good"_s)
        QVERIFY(writeFile(path, bytesOf(threeWindows())));
    if (kind.startsWith(u"garbage"_s))
        QVERIFY(writeFile(path, garbage));
    if (kind == u"garbage again"_s)
        QVERIFY(writeFile(path + u".damaged"_s, "earlier"));
    if (kind == u"folder"_s)
        QVERIFY(QDir().mkpath(QDir(path).filePath(u"inside"_s)));
    if (kind == u"fifo"_s)
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);

    const sessionfile::Loaded loaded = sessionfile::load(path);
    QCOMPARE(bool(loaded.session), read);
    if (read)
        QCOMPARE(*loaded.session, threeWindows());
    if (asideAs.isEmpty()) {
        QCOMPARE(loaded.notice, QString());
        QCOMPARE(QFileInfo::exists(path), kind != u"missing"_s);
        return;
    }
    const QString aside = dir.filePath(asideAs);
    QVERIFY(!QFileInfo::exists(path));
    QVERIFY(QFileInfo::exists(aside));
    QVERIFY2(loaded.notice.startsWith(u"The windows from last time cannot be reopened: "_s + path + u" is damaged ("_s),
             qPrintable(loaded.notice));
    QVERIFY2(loaded.notice.endsWith(u"It was set aside as "_s + aside + u'.'), qPrintable(loaded.notice));
    if (kind.startsWith(u"garbage"_s))
        QCOMPARE(readFile(aside), garbage);
    if (kind == u"garbage again"_s)
        QCOMPARE(readFile(path + u".damaged"_s), QByteArray("earlier"));
    if (kind == u"folder"_s)
        QVERIFY(QFileInfo(QDir(aside).filePath(u"inside"_s)).isDir());
}

// Changes every few milliseconds for a while: written at once, then at most once a
// second, each time the session as it then stood; finish() writes at once, marked as an
// orderly end, and nothing comes after it. The file and the folder made for it are the
// user's alone.
void tst_SessionFile::keeperWritesAtMostOnceASecond()
{
    QTemporaryDir dir;
    const QString path = QDir(dir.filePath(u"made"_s)).filePath(sessionfile::fileName());
    QList<qint64> snapshots;
    QElapsedTimer clock;
    clock.start();
    SessionKeeper keeper(path, [&] {
        snapshots << clock.elapsed();
        Session s;
        s.windows << Window{u"http://127.0.0.1/%1"_s.arg(snapshots.size()), QRect(0, 0, 10, 10), Window::State::Normal};
        return s;
    });
    QTimer changes;
    connect(&changes, &QTimer::timeout, &keeper, &SessionKeeper::changed);
    changes.start(5);
    keeper.changed();
    QTRY_VERIFY_WITH_TIMEOUT(snapshots.size() >= 3, 10000);
    changes.stop();
    QVERIFY2(snapshots.first() < 500, qPrintable(QString::number(snapshots.first())));
    for (qsizetype i = 1; i < snapshots.size(); ++i)
        QVERIFY2(snapshots[i] - snapshots[i - 1] >= SessionKeeper::SpacingMs,
                 qPrintable(u"%1 ms between writes"_s.arg(snapshots[i] - snapshots[i - 1])));
    QTRY_COMPARE(sessionfile::load(path).session->windows.first().address,
                 u"http://127.0.0.1/%1"_s.arg(snapshots.size()));

    keeper.finish();
    const qsizetype written = snapshots.size();
    const Session last = *sessionfile::load(path).session;
    QVERIFY(last.endedCleanly);
    QCOMPARE(last.windows.first().address, u"http://127.0.0.1/%1"_s.arg(written));
    keeper.changed();
    keeper.finish();
    QCOMPARE(snapshots.size(), written);

    QCOMPARE(QFileInfo(path).permissions() & ~(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser),
             QFileDevice::Permissions());
    QCOMPARE(QFileInfo(QFileInfo(path).path()).permissions() & (QFile::ReadGroup | QFile::ReadOther),
             QFileDevice::Permissions());
}

QTEST_GUILESS_MAIN(tst_SessionFile)
#include "tst_sessionfile.moc"
