// Start-up: the program against the bare reference program (bare_browser), started in
// turns, each first every other time, after one unreported warm-up start of each.
// The clock is CLOCK_MONOTONIC in milliseconds, read here just before QProcess::start and
// by the programs themselves in the lines they print:
// - the program, with QT_LOGGING_RULES="halvane.startup.info=true", logs its splash's
//   first paint ("splash shown") and the main window's first paint, Document 1 made
//   ("main window shown");
// - bare_browser prints the first paint in its first window ("first view shown").
// Figures (medians):
// - start -> splash shown;
// - start -> main window shown, less the splash's fixed 3000 ms, against the bare
//   program's start -> first view shown.
// Each run is killed (with everything under it) as soon as its last line is in. The
// program runs as a copy in a temporary folder, with HOME and the XDG folders there too,
// and starts each run without history or settings. Every address goes to a proxy at
// 127.0.0.1:9 that answers nothing (the home page included).
// Then the start from a link against the browsers a user would pick instead (linkstart.h).
// As root everything runs in a network namespace of the benchmark's own, where only
// loopback reaches anywhere. Prints figures; never fails on time.
#include "benchfigures.h"
#include "linkstart.h"
#include "ownnetwork.h"
#include "support/processtree.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <optional>
#include <unistd.h>

using namespace benchfigures;

namespace {

constexpr int Runs = 7;
constexpr int SplashWaitMs = 3000;
constexpr int RunTimeoutMs = 60000;
constexpr double SplashGoalMs = 150;
constexpr double MainGoalRatio = 1.10;

// The monotonic clock in milliseconds, as the programs stamp their lines.
qint64 nowMs()
{
    QElapsedTimer now;
    now.start();
    return now.msecsSinceReference();
}

const QString SplashShown = QStringLiteral("splash shown");
const QString MainShown = QStringLiteral("main window shown");
const QString FirstViewShown = QStringLiteral("first view shown");

// The steps wanted, in ms from just before the start; nothing when a step did not come.
std::optional<QMap<QString, double>> timeRun(const QString &program, const QProcessEnvironment &env,
                                             const QStringList &wanted)
{
    QProcess p;
    p.setProgram(program);
    p.setProcessEnvironment(env);
    QMap<QString, double> seen;
    qint64 startMs = 0;
    QEventLoop loop;
    // "[halvane.startup: ]<step> at <ms> ms", on either channel.
    static const QRegularExpression stepLine(QStringLiteral("^(?:halvane\\.startup: )?(.+) at (\\d+) ms"));
    auto feed = [&](QByteArray &pending, const QByteArray &data) {
        pending += data;
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(end));
            pending.remove(0, end + 1);
            const QRegularExpressionMatch m = stepLine.match(line);
            if (m.hasMatch() && wanted.contains(m.captured(1)) && !seen.contains(m.captured(1)))
                seen.insert(m.captured(1), double(m.captured(2).toLongLong() - startMs));
        }
        if (seen.size() == wanted.size())
            loop.quit();
    };
    QByteArray out;
    QByteArray err;
    QObject::connect(&p, &QProcess::readyReadStandardOutput, &loop,
                     [&] { feed(out, p.readAllStandardOutput()); });
    QObject::connect(&p, &QProcess::readyReadStandardError, &loop, [&] { feed(err, p.readAllStandardError()); });
    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&p, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(RunTimeoutMs, &loop, &QEventLoop::quit);

    startMs = nowMs();
    p.start();
    loop.exec();
    if (p.state() != QProcess::NotRunning) {
        processtree::killTree(pid_t(p.processId()));
        p.waitForFinished(10000);
    }
    if (seen.size() != wanted.size()) {
        std::fprintf(stderr, "%s: only %lld of %lld steps seen; its last output:\n%s\n", qPrintable(program),
                     static_cast<long long>(seen.size()), static_cast<long long>(wanted.size()),
                     (out + err).right(2000).constData());
        return std::nullopt;
    }
    return seen;
}

struct Column
{
    QList<double> ms;
    void add(double v) { ms << v; }
    double med() const { return median(ms); }
    double min() const { return ms.isEmpty() ? 0.0 : *std::min_element(ms.cbegin(), ms.cend()); }
    double max() const { return ms.isEmpty() ? 0.0 : *std::max_element(ms.cbegin(), ms.cend()); }
};

} // namespace

int main(int argc, char *argv[])
{
    // Before any thread is started: the namespace holds for this thread and its children.
    const bool isolated = ownnetwork::isolate();
    QCoreApplication app(argc, argv);
    processtree::adoptOrphans();
    const bool ownNetwork = isolated && ownnetwork::addDeadLink();

    // The program's folder (it keeps its history beside itself) and its settings, caches
    // and home, all thrown away afterwards.
    QTemporaryDir scratch;
    const QDir root(scratch.path());
    const QString programFolder = root.filePath(QStringLiteral("program"));
    const QString home = root.filePath(QStringLiteral("home"));
    const QString program = QDir(programFolder).filePath(QStringLiteral("halvane"));
    if (!scratch.isValid() || !root.mkpath(programFolder) || !QFile::copy(QStringLiteral(HALVANE_EXE), program)) {
        std::fprintf(stderr, "bench_startup: cannot copy %s into a temporary folder\n", HALVANE_EXE);
        return 1;
    }
    const QString bare = QStringLiteral(BARE_BROWSER_EXE);

    QProcessEnvironment env = processtree::measuredEnvironment(home);
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("halvane.startup.info=true"));
    env.insert(QStringLiteral("QT_MESSAGE_PATTERN"), QStringLiteral("%{category}: %{message}"));

    // Every run starts as the first one did: no history, no settings.
    auto freshStart = [&] {
        QFile::remove(QDir(programFolder).filePath(QStringLiteral("address.lst")));
        QDir(home).removeRecursively();
        root.mkpath(home);
    };
    auto runHalvane = [&] {
        freshStart();
        return timeRun(program, env, {SplashShown, MainShown});
    };
    auto runBare = [&] {
        freshStart();
        return timeRun(bare, env, {FirstViewShown});
    };

    std::printf("Start-up (load average at start: %s)\n", qPrintable(loadAverage()));
    std::printf("program: a copy of %s; reference: %s\n", HALVANE_EXE, qPrintable(bare));
    std::fflush(stdout);

    if (!runHalvane() || !runBare()) {
        std::fprintf(stderr, "bench_startup: the warm-up runs did not show their windows\n");
        return 1;
    }

    Column splash;
    Column mainShown;
    Column splashToMain;
    Column mainLessSplash;
    Column bareShown;
    int failed = 0;
    for (int i = 0; i < Runs; ++i) {
        for (int k = 0; k < 2; ++k) {
            if ((i + k) % 2 == 0) {
                if (const auto steps = runHalvane()) {
                    splash.add(steps->value(SplashShown));
                    mainShown.add(steps->value(MainShown));
                    splashToMain.add(steps->value(MainShown) - steps->value(SplashShown));
                    mainLessSplash.add(steps->value(MainShown) - SplashWaitMs);
                } else {
                    ++failed;
                }
            } else if (const auto steps = runBare()) {
                bareShown.add(steps->value(FirstViewShown));
            } else {
                ++failed;
            }
        }
    }

    std::printf("\n%d runs of each, taken in turns (load average now: %s)\n", Runs, qPrintable(loadAverage()));
    std::printf("%-52s %4s %9s %7s %7s\n", "ms from just before the process start", "runs", "median", "min", "max");
    auto row = [](const char *name, const Column &c) {
        std::printf("%-52s %4lld %9.0f %7.0f %7.0f\n", name, static_cast<long long>(c.ms.size()), c.med(), c.min(),
                    c.max());
    };
    row("Halvane: splash shown", splash);
    row("Halvane: main window shown, Document 1 made", mainShown);
    row("Halvane: splash shown -> main window shown", splashToMain);
    row("Halvane: main window shown less the 3000 ms splash", mainLessSplash);
    row("bare: first view shown", bareShown);
    if (failed)
        std::printf("(%d runs did not show their windows and are left out)\n", failed);

    const double ratio = mainLessSplash.med() / bareShown.med();
    std::printf("ratio Halvane/bare, main window less splash against first view: %.3f (goal <= %.2f)\n", ratio,
                MainGoalRatio);

    const bool complete = failed == 0 && !splash.ms.isEmpty() && !bareShown.ms.isEmpty();
    std::printf("FIGURE\tStart to splash visible\t%.0f ms\t-\t-\t≤ %.0f ms\t%s\n", splash.med(), SplashGoalMs,
                complete && splash.med() <= SplashGoalMs ? "met" : "missed");
    std::printf("FIGURE\tStart to main window with Document 1, less the 3000 ms splash\t%.0f ms\t%.0f ms\t%.3f\t≤ %.2f × bare\t%s\n",
                mainLessSplash.med(), bareShown.med(), ratio, MainGoalRatio,
                complete && ratio <= MainGoalRatio ? "met" : "missed");
    std::fflush(stdout);

    linkstart::measure(ownNetwork, program, programFolder, root.path());
    return 0;
}
