// One Halvane per user and profile, between real processes of the program: a later start
// hands its addresses to the running one and ends; one whose first is hung gives up and
// runs by itself; a killed first leaves nothing that stops the next. Under a display, the
// desktop's own way in: xdg-open with Halvane set as the default browser.
#include "support/loopbackhttpserver.h"
#include "support/processtree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

using namespace Qt::StringLiterals;

namespace {

QString run(const QString &program, const QStringList &args, const QProcessEnvironment &env, int *status = nullptr)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    p.waitForFinished(20000);
    if (status)
        *status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

} // namespace

// The home, data, settings and runtime folders of one user, thrown away afterwards; every
// program started in it says where it listens and each window it opens for another start.
class Home
{
public:
    QTemporaryDir folder;
    QProcessEnvironment env;

    Home()
    {
        env = processtree::measuredEnvironment(folder.path());
        const QString runtime = folder.filePath(u"runtime"_s);
        QDir().mkdir(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert(u"XDG_RUNTIME_DIR"_s, runtime);
        env.insert(u"QT_LOGGING_RULES"_s, u"halvane.handover.info=true;halvane.startup.info=true"_s);
        env.remove(u"XDG_ACTIVATION_TOKEN"_s);
        env.remove(u"DESKTOP_STARTUP_ID"_s);
    }
};

// One process of the program, its standard error kept.
class Program : public QObject
{
    Q_OBJECT
public:
    QProcess process;
    QString errors;

    explicit Program(const QProcessEnvironment &env)
    {
        process.setProcessEnvironment(env);
        connect(&process, &QProcess::readyReadStandardError, this,
                [this] { errors += QString::fromLocal8Bit(process.readAllStandardError()); });
        processtree::endWithParent(process);
    }
    ~Program() override { end(); }

    bool start(const QStringList &arguments = {})
    {
        process.start(QStringLiteral(HALVANE_EXE), arguments);
        return process.waitForStarted(10000);
    }
    // Listening: later starts reach it from now on, even while its splash shows.
    bool listening() { return errors.contains(u"halvane.handover: listening at"_s); }
    bool finished() { return process.state() == QProcess::NotRunning; }
    // The program and the engine's processes under it.
    void end()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        processtree::killTree(pid_t(process.processId()));
        process.waitForFinished(10000);
    }
    // Where each line appears in what it said; -1 when it did not.
    qsizetype said(const QString &line) const { return errors.indexOf(line); }
};

class tst_SingleInstance : public QObject
{
    Q_OBJECT
public:
    static void initMain() { processtree::adoptOrphans(); }

private Q_SLOTS:
    void addressesArriveInOrder();
    void aKilledFirstStopsNoNextStart();
    void aHungFirstIsGivenUpOn();
    void xdgOpenReachesTheRunningOne();
};

// The first start is in its splash when the second hands over: the addresses open once
// the main window is there, in order, each in the next numbered window; a start with no
// address opens one on the home page. Neither later start shows a splash.
void tst_SingleInstance::addressesArriveInOrder()
{
    LoopbackHttpServer server;
    QVERIFY(server.start());
    server.setPage(u"/one"_s, "<html><body>one</body></html>");
    server.setPage(u"/two"_s, "<html><body>two</body></html>");
    const QString one = server.url(u"/one"_s).toString();
    const QString two = server.url(u"/two"_s).toString();
    Home home;
    Program first(home.env);
    QVERIFY(first.start());
    QTRY_VERIFY_WITH_TIMEOUT(first.listening(), 20000);

    QProcessEnvironment withToken = home.env;
    withToken.insert(u"XDG_ACTIVATION_TOKEN"_s, u"launcher-7_TIME1234"_s);
    Program second(withToken);
    QVERIFY(second.start({one, u"javascript:alert(1)"_s, two}));
    QVERIFY(second.process.waitForFinished(10000));
    QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process.exitCode(), 0);
    QCOMPARE(second.said(u"splash shown"_s), -1);
    // Taken while the first's splash shows (three seconds), kept for its main window.
    QCOMPARE(first.said(u"main window shown"_s), -1);
    QCOMPARE(first.said(u"Document 2"_s), -1);

    QTRY_VERIFY_WITH_TIMEOUT(first.said(u"Document 3: "_s + two) >= 0, 30000);
    QVERIFY(first.said(u"Document 2: "_s + one) >= 0);
    QVERIFY(first.said(u"Document 2: "_s + one) < first.said(u"Document 3: "_s + two));
    QVERIFY(first.said(u"activation token \"launcher-7_TIME1234\""_s) > first.said(u"Document 3: "_s));
    QCOMPARE(first.said(u"javascript"_s), -1);
    QTRY_VERIFY_WITH_TIMEOUT(server.requests().contains(u"/one"_s) && server.requests().contains(u"/two"_s), 30000);

    Program third(home.env);
    QVERIFY(third.start());
    QVERIFY(third.process.waitForFinished(10000));
    QCOMPARE(third.process.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(first.said(u"Document 4: http://www.marrowdyne.com/"_s) >= 0, 10000);

    // More than the running one takes: refused whole, said, and nothing opened.
    QStringList many;
    for (int i = 0; i < 101; ++i)
        many << server.url(u"/many/%1"_s.arg(i)).toString();
    Program fourth(home.env);
    QVERIFY(fourth.start(many));
    QVERIFY(fourth.process.waitForFinished(10000));
    QCOMPARE(fourth.process.exitCode(), 1);
    QVERIFY(fourth.said(u"did not open the addresses: more than 100 addresses"_s) >= 0);
    QCOMPARE(first.said(u"Document 5"_s), -1);
    QVERIFY(!first.finished());
}

// A first start killed outright leaves its socket and lock behind; the next start takes
// both over as the first, and a later one reaches it.
void tst_SingleInstance::aKilledFirstStopsNoNextStart()
{
    Home home;
    Program killed(home.env);
    QVERIFY(killed.start());
    QTRY_VERIFY_WITH_TIMEOUT(killed.listening(), 20000);
    const QString socket = killed.errors.section(u"listening at "_s, 1).section(u'\n', 0, 0).trimmed();
    QVERIFY(QFile::exists(socket));
    killed.end();
    QVERIFY(QFile::exists(socket));

    Program next(home.env);
    QVERIFY(next.start({u"http://127.0.0.1:9/next"_s}));
    QTRY_VERIFY_WITH_TIMEOUT(next.listening(), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(next.said(u"main window shown"_s) >= 0, 30000);
    QCOMPARE(next.said(u"not kept"_s), -1);
    Program later(home.env);
    QVERIFY(later.start({u"http://127.0.0.1:9/later"_s}));
    QVERIFY(later.process.waitForFinished(10000));
    QCOMPARE(later.process.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(next.said(u"Document 2: http://127.0.0.1:9/later"_s) >= 0, 10000);
}

// A first that takes the connection but never answers (stopped): the second waits its two
// seconds, then runs by itself, off the record, as when the profile is held.
void tst_SingleInstance::aHungFirstIsGivenUpOn()
{
    Home home;
    Program hung(home.env);
    QVERIFY(hung.start());
    QTRY_VERIFY_WITH_TIMEOUT(hung.listening(), 20000);
    // Past the engine's start: the profile is held.
    QTRY_VERIFY_WITH_TIMEOUT(hung.said(u"main window shown"_s) >= 0, 30000);
    QCOMPARE(::kill(pid_t(hung.process.processId()), SIGSTOP), 0);

    Program second(home.env);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(second.start({u"http://127.0.0.1:9/alone"_s}));
    QTRY_VERIFY_WITH_TIMEOUT(second.said(u"did not answer within 2000 ms"_s) >= 0, 15000);
    QVERIFY2(clock.elapsed() >= 2000, qPrintable(QString::number(clock.elapsed())));
    QTRY_VERIFY_WITH_TIMEOUT(second.said(u"not kept this session: another Halvane is using it"_s) >= 0, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(second.said(u"main window shown"_s) >= 0, 30000);
    QVERIFY(!second.finished());
    ::kill(pid_t(hung.process.processId()), SIGCONT);
}

// The desktop's way: the entry installed for the user, Halvane made the default browser
// with xdg-settings (no desktop environment named: xdg-utils' generic way, through
// xdg-mime), then xdg-open of an address reaches the running Halvane as a new window. The
// window's class under X11 is the entry's StartupWMClass.
void tst_SingleInstance::xdgOpenReachesTheRunningOne()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") || qgetenv("QT_QPA_PLATFORM") != "xcb")
        QSKIP("needs a display; CTest runs this under xvfb-run as singleinstance_desktop");
    for (const char *tool : {"xdg-open", "xdg-settings", "xdotool", "xprop"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty())
            QSKIP(qPrintable(u"needs "_s + QLatin1String(tool)));
    }
    LoopbackHttpServer server;
    QVERIFY(server.start());
    server.setPage(u"/page"_s, "<html><head><title>Opened</title></head><body>opened</body></html>");
    Home home;
    QProcessEnvironment env = home.env;
    env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    for (const char *name : {"XDG_CURRENT_DESKTOP", "XDG_SESSION_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                             "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID", "BROWSER", "WAYLAND_DISPLAY"})
        env.remove(QLatin1String(name));
    const QString program = QStringLiteral(HALVANE_EXE);
    env.insert(u"PATH"_s, QFileInfo(program).absolutePath() + u':' + env.value(u"PATH"_s));
    const QString applications = QDir(env.value(u"XDG_DATA_HOME"_s)).filePath(u"applications"_s);
    QVERIFY(QDir().mkpath(applications));
    QVERIFY(QFile::copy(QStringLiteral(HALVANE_DESKTOP_ENTRY), QDir(applications).filePath(u"halvane.desktop"_s)));

    int status = -1;
    run(u"xdg-settings"_s, {u"set"_s, u"default-web-browser"_s, u"halvane.desktop"_s}, env, &status);
    QCOMPARE(status, 0);
    QCOMPARE(run(u"xdg-settings"_s, {u"get"_s, u"default-web-browser"_s}, env), u"halvane.desktop"_s);

    Program first(env);
    QVERIFY(first.start());
    QTRY_VERIFY_WITH_TIMEOUT(first.said(u"main window shown"_s) >= 0, 20000);
    const QString window =
        run(u"xdotool"_s, {u"search"_s, u"--onlyvisible"_s, u"--name"_s, u"^Halvane$"_s}, env).section(u'\n', 0, 0);
    QVERIFY(!window.isEmpty());
    const QString wmClass = run(u"xprop"_s, {u"-id"_s, window, u"WM_CLASS"_s}, env);
    QFile entry(QStringLiteral(HALVANE_DESKTOP_ENTRY));
    QVERIFY(entry.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString startupClass =
        QString::fromUtf8(entry.readAll()).section(u"\nStartupWMClass="_s, 1).section(u'\n', 0, 0);
    QVERIFY(!startupClass.isEmpty());
    QVERIFY2(wmClass.endsWith(u", \""_s + startupClass + u'"'), qPrintable(wmClass));

    const QString page = server.url(u"/page"_s).toString();
    run(u"xdg-open"_s, {page}, env, &status);
    QCOMPARE(status, 0);
    QTRY_VERIFY_WITH_TIMEOUT(first.said(u"Document 2: "_s + page) >= 0, 10000);
    QTRY_VERIFY_WITH_TIMEOUT(server.requests().contains(u"/page"_s), 15000);
}

QTEST_GUILESS_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
