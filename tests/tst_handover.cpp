#include "system/handover.h"
#include "system/singleinstance.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace Qt::StringLiterals;

// What a later start hands to the running Halvane: the message read in bounded memory and
// refused whole when it is anything but a message of ours; the folder its socket lives in;
// and the running side, which answers, drops a peer that floods or dawdles, and hands on
// what it took in order.
class tst_Handover : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readMessage_data();
    void readMessage();
    void runtimeFolder_data();
    void runtimeFolder();
    void runningSideAnswers_data();
    void runningSideAnswers();
};

namespace {

QByteArray fields(const QList<QByteArray> &list)
{
    QByteArray bytes;
    for (const QByteArray &field : list)
        bytes += field + '\0';
    return bytes;
}

QStringList numbered(int count)
{
    QStringList addresses;
    for (int i = 1; i <= count; ++i)
        addresses << u"http://127.0.0.1/%1"_s.arg(i);
    return addresses;
}

using State = handover::Reader::State;

} // namespace

void tst_Handover::readMessage_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("piece"); // fed this many bytes at a time; 0: all at once
    QTest::addColumn<int>("state");
    QTest::addColumn<QStringList>("addresses");
    QTest::addColumn<QByteArray>("token");
    QTest::addColumn<int>("skipped");

    const QStringList two{u"http://127.0.0.1:8080/a"_s, u"file:///tmp/b%20c.html"_s};
    const QByteArray token = "host-123_TIME4567";
    const QStringList none;
    QTest::newRow("two addresses and a token") << handover::encode({token, two}) << 0 << int(State::Complete) << two
                                               << token << 0;
    QTest::newRow("a byte at a time") << handover::encode({token, two}) << 1 << int(State::Complete) << two << token
                                      << 0;
    QTest::newRow("no address: a new window") << handover::encode({{}, {}}) << 0 << int(State::Complete) << none
                                              << QByteArray() << 0;
    QTest::newRow("letters of any script") << handover::encode({{}, {u"http://bücher.de/ü?q=例え"_s}}) << 7
                                           << int(State::Complete) << QStringList{u"http://bücher.de/ü?q=例え"_s}
                                           << QByteArray() << 0;
    QTest::newRow("100 addresses") << handover::encode({{}, numbered(100)}) << 4096 << int(State::Complete)
                                   << numbered(100) << QByteArray() << 0;
    QTest::newRow("101 addresses: refused whole") << handover::encode({{}, numbered(101)}) << 0
                                                  << int(State::Refused) << none << QByteArray() << 0;
    const QString longest = u"http://127.0.0.1/"_s + QString(64 * 1024 - 17, u'a');
    QTest::newRow("an address of 64 KiB") << handover::encode({{}, {longest}}) << 1000 << int(State::Complete)
                                          << QStringList{longest} << QByteArray() << 0;
    QTest::newRow("an address over 64 KiB: refused whole")
        << handover::encode({{}, {u"http://127.0.0.1/"_s, longest + u'a'}}) << 0 << int(State::Refused) << none
        << QByteArray() << 0;
    QTest::newRow("a field that never ends: refused before its end")
        << fields({"halvane-open 1", "", "1"}) + QByteArray(70 * 1024, 'a') << 8192 << int(State::Refused) << none
        << QByteArray() << 0;
    QTest::newRow("cut off in an address: still waiting")
        << handover::encode({token, two}).chopped(5) << 0 << int(State::Incomplete) << two.first(1) << token << 0;
    QTest::newRow("cut off before the count: still waiting") << QByteArray("halvane-open 1\0tok", 18) << 0
                                                             << int(State::Incomplete) << none << QByteArray() << 0;
    QTest::newRow("another greeting") << fields({"halvane-open 2", "", "0"}) << 0 << int(State::Refused) << none
                                      << QByteArray() << 0;
    QTest::newRow("garbage") << QByteArray("GET / HTTP/1.1\r\n\r\n\0\0\0", 21) << 0 << int(State::Refused) << none
                             << QByteArray() << 0;
    QTest::newRow("a count that is no number") << fields({"halvane-open 1", "", "two", "a", "b"}) << 0
                                               << int(State::Refused) << none << QByteArray() << 0;
    QTest::newRow("a signed count") << fields({"halvane-open 1", "", "+1", "a"}) << 0 << int(State::Refused) << none
                                    << QByteArray() << 0;
    QTest::newRow("an address that is not UTF-8") << fields({"halvane-open 1", "", "1", "http://h/\xff\xfe"}) << 0
                                                  << int(State::Refused) << none << QByteArray() << 0;
    QTest::newRow("a token with a line break") << fields({"halvane-open 1", "a\nb", "0"}) << 0 << int(State::Refused)
                                               << none << QByteArray() << 0;
    QTest::newRow("bytes after the message") << handover::encode({{}, two}) + "x" << 0 << int(State::Refused) << none
                                             << QByteArray() << 0;
    QTest::newRow("script and data addresses are not opened, the rest are")
        << handover::encode({{}, {u" javascript:alert(1)"_s, u"http://127.0.0.1/ok"_s, u"DATA:text/html,x"_s}}) << 0
        << int(State::Complete) << QStringList{u"http://127.0.0.1/ok"_s} << QByteArray() << 2;
}

void tst_Handover::readMessage()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, piece);
    QFETCH(int, state);
    QFETCH(QStringList, addresses);
    QFETCH(QByteArray, token);
    QFETCH(int, skipped);

    handover::Reader reader;
    const qsizetype step = piece ? piece : bytes.size();
    for (qsizetype at = 0; at < bytes.size() && reader.state() == State::Incomplete; at += step)
        reader.feed(bytes.mid(at, step));
    QCOMPARE(int(reader.state()), state);
    QCOMPARE(reader.message().addresses, addresses);
    QCOMPARE(reader.message().activationToken, token);
    QCOMPARE(reader.skipped().size(), skipped);
    QCOMPARE(reader.refusal().isEmpty(), state != int(State::Refused));
}

void tst_Handover::runtimeFolder_data()
{
    QTest::addColumn<QString>("given"); // "": XDG_RUNTIME_DIR unset
    QTest::addColumn<bool>("taken");
    QTest::newRow("the user's own, 0700") << u"own"_s << true;
    QTest::newRow("open to the group") << u"group"_s << false;
    QTest::newRow("open to everyone") << u"everyone"_s << false;
    QTest::newRow("a link to a folder of the user's own") << u"link"_s << false;
    QTest::newRow("a file") << u"file"_s << false;
    QTest::newRow("another user's") << u"other"_s << false;
    QTest::newRow("unset: a folder of the user's own under the temporary folder") << QString() << true;
}

void tst_Handover::runtimeFolder()
{
    QFETCH(QString, given);
    QFETCH(bool, taken);
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    const QString own = scratch.filePath(u"own"_s);
    QVERIFY(QDir().mkdir(own, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString folder = scratch.filePath(given);
    if (given == u"group" || given == u"everyone" || given == u"other") {
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(QFile::setPermissions(folder, given == u"group" ? QFile::Permissions(0x7770) : QFile::Permissions(0x7777)));
    }
    if (given == u"other") {
        if (geteuid() != 0)
            QSKIP("giving a folder to another user needs root");
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QCOMPARE(chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
    }
    if (given == u"link")
        QVERIFY(QFile::link(own, folder));
    if (given == u"file") {
        QFile f(folder);
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    const QByteArray before = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray tmpBefore = qgetenv("TMPDIR");
    if (given.isEmpty()) {
        qunsetenv("XDG_RUNTIME_DIR");
        qputenv("TMPDIR", QFile::encodeName(scratch.path()));
    } else {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder));
    }
    const QString found = SingleInstance::runtimeFolder();
    const QString socket = SingleInstance::socketPath(u"/home/someone/.local/share/Halvane"_s);
    const QString otherProfile = SingleInstance::socketPath(u"/home/someone/elsewhere/Halvane"_s);
    qputenv("XDG_RUNTIME_DIR", before);
    qputenv("TMPDIR", tmpBefore);

    QCOMPARE(!found.isEmpty(), taken);
    QCOMPARE(!socket.isEmpty(), taken);
    if (!taken)
        return;
    QVERIFY(socket.startsWith(found + u'/'));
    QVERIFY(otherProfile != socket);
    const QString expected = given.isEmpty() ? scratch.filePath(u"halvane-%1"_s.arg(geteuid())) : own;
    QCOMPARE(found, expected);
    QCOMPARE(QFileInfo(found).permissions() & 0x0077, QFile::Permissions());
}

void tst_Handover::runningSideAnswers_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("answer"); // empty: dropped without one
    QTest::addColumn<QStringList>("opened");

    const QStringList two{u"http://127.0.0.1/1"_s, u"http://127.0.0.1/2"_s};
    QTest::newRow("a message") << handover::encode({"tok", two}) << QByteArray("ok\n") << two;
    QTest::newRow("no address") << handover::encode({{}, {}}) << QByteArray("ok\n") << QStringList();
    QTest::newRow("too many addresses") << handover::encode({{}, numbered(101)})
                                        << QByteArray("refused: more than 100 addresses\n") << QStringList();
    QTest::newRow("a flood with no end") << QByteArray("halvane-open 1\0\0" "1\0", 18) + QByteArray(1 << 20, 'x')
                                         << QByteArray("refused: a field longer than 64 KiB\n") << QStringList();
    QTest::newRow("garbage") << QByteArray("hello\0", 6) << QByteArray("refused: not a Halvane message\n")
                             << QStringList();
    QTest::newRow("half a message, then silence") << handover::encode({{}, two}).chopped(3) << QByteArray()
                                                  << QStringList();
}

// A peer's bytes go to the running side as they come, in the program's event loop: the
// loop goes on (the test's QTRY waits in it) whatever the peer sends or does not.
void tst_Handover::runningSideAnswers()
{
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, opened);
    QTemporaryDir runtime;
    QVERIFY(runtime.isValid());
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray before = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    SingleInstance running(runtime.filePath(u"data"_s));
    const QString path = SingleInstance::socketPath(runtime.filePath(u"data"_s));
    qputenv("XDG_RUNTIME_DIR", before);
    QCOMPARE(running.start({}), SingleInstance::Start::First);
    // The socket is the user's alone.
    QCOMPARE(QFileInfo(path).permissions() & 0x0077, QFile::Permissions());

    QList<handover::Message> taken;
    running.deliverTo([&taken](const handover::Message &m) { taken << m; });
    QLocalSocket peer;
    QByteArray received;
    connect(&peer, &QLocalSocket::readyRead, this, [&] { received += peer.readAll(); });
    peer.connectToServer(path);
    QVERIFY(peer.waitForConnected(5000));
    peer.write(sent);
    QTRY_COMPARE_WITH_TIMEOUT(peer.state(), QLocalSocket::UnconnectedState, SingleInstance::PeerWaitMs + 5000);
    QCOMPARE(received, answer);
    if (answer == "ok\n") {
        QTRY_COMPARE(taken.size(), 1);
        QCOMPARE(taken.first().addresses, opened);
    }
    QTest::qWait(0);
    QCOMPARE(taken.isEmpty(), answer != "ok\n");
}

QTEST_GUILESS_MAIN(tst_Handover)
#include "tst_handover.moc"
