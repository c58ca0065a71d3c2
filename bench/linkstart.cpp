#include "linkstart.h"

#include "benchfigures.h"
#include "contenders.h"
#include "docpage.h"
#include "support/loopbackhttpserver.h"
#include "support/processtree.h"
#include "virtualdisplay.h"

#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QSize>
#include <QStandardPaths>
#include <QTimer>
#include <QUrlQuery>
#include <cstdio>
#include <optional>

using namespace benchfigures;
using contenders::Contender;

namespace linkstart {

namespace {

constexpr int Runs = 7;
constexpr int RunTimeoutMs = 30000;
constexpr int WatchAfterWarmUpMs = 5000;
constexpr double GoalRatio = 1.2;
const QSize Screen(1280, 1024);

qint64 nowMs()
{
    QElapsedTimer now;
    now.start();
    return now.msecsSinceReference();
}

// A session bus for the browsers (GTK and Qt programs look for one), and for whatever it
// starts for them, which goes with it.
class SessionBus
{
public:
    ~SessionBus()
    {
        if (m_daemon.state() != QProcess::NotRunning) {
            processtree::killTree(pid_t(m_daemon.processId()));
            m_daemon.waitForFinished(5000);
        }
    }
    bool start()
    {
        processtree::endWithParent(m_daemon);
        m_daemon.start(QStringLiteral("dbus-daemon"),
                       {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
        if (!m_daemon.waitForStarted(5000))
            return false;
        waitFor([this] { return m_daemon.canReadLine() || m_daemon.state() != QProcess::Running; }, 5000);
        address = QString::fromLocal8Bit(m_daemon.readLine()).trimmed();
        return !address.isEmpty();
    }
    QString address;

private:
    QProcess m_daemon;
};

struct Setup
{
    QString display;
    QString bus;
    QString home;
    QString programFolder;
    QString mesaCache;
    QString address;
};

struct Run
{
    double loadedMs = 0;
    QSize view;
    // The program's own start-up steps, in ms from the start.
    QMap<QString, double> steps;
};

// The environment of one run: the measured one, on the display and bus, the
// contender's own over it.
QProcessEnvironment environmentFor(const Contender &c, const Setup &setup)
{
    QProcessEnvironment env = processtree::measuredEnvironment(setup.home);
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.insert(QStringLiteral("DISPLAY"), setup.display);
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), setup.bus);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QDir(setup.home).filePath(QStringLiteral("runtime")));
    // Compiled shaders are kept between runs, as on any machine a browser has run on.
    env.insert(QStringLiteral("MESA_SHADER_CACHE_DIR"), setup.mesaCache);
    for (const auto &[name, value] : c.environment) {
        if (value.isEmpty())
            env.remove(name);
        else
            env.insert(name, value);
    }
    return env;
}

void freshHome(const Setup &setup)
{
    QDir(setup.home).removeRecursively();
    QDir().mkpath(QDir(setup.home).filePath(QStringLiteral("runtime")));
    QFile::setPermissions(QDir(setup.home).filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::remove(QDir(setup.programFolder).filePath(QStringLiteral("address.lst")));
}

// One start, killed with everything under it once the page has loaded (or watchMs
// later); nothing when the page did not load.
std::optional<Run> startOnce(const Contender &c, LoopbackHttpServer &server, const Setup &setup, int watchMs)
{
    freshHome(setup);
    c.prepare(setup.home);
    QProcess p;
    p.setProcessEnvironment(environmentFor(c, setup));
    p.setProcessChannelMode(QProcess::MergedChannels);
    processtree::endWithParent(p);

    Run run;
    bool loaded = false;
    QElapsedTimer clock;
    qint64 startMs = 0;
    QEventLoop loop;
    QObject::connect(&server, &LoopbackHttpServer::requestReceived, &loop, [&](const QString &target) {
        if (loaded || !target.startsWith(docpage::Loaded + QLatin1Char('?')))
            return;
        run.loadedMs = double(clock.nsecsElapsed()) / 1e6;
        const QUrlQuery query(QUrl(target).query());
        run.view = QSize(query.queryItemValue(QStringLiteral("w")).toInt(),
                         query.queryItemValue(QStringLiteral("h")).toInt());
        loaded = true;
        QTimer::singleShot(watchMs, &loop, &QEventLoop::quit);
    });
    QByteArray output;
    QObject::connect(&p, &QProcess::readyReadStandardOutput, &loop, [&] {
        output += p.readAllStandardOutput();
        static const QRegularExpression step(QStringLiteral("^halvane\\.startup: (.+) at (\\d+) ms$"),
                                             QRegularExpression::MultilineOption);
        for (auto it = step.globalMatch(QString::fromUtf8(output)); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            run.steps.insert(m.captured(1), double(m.captured(2).toLongLong() - startMs));
        }
    });
    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&p, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(RunTimeoutMs, &loop, &QEventLoop::quit);

    server.clearRequests();
    const QStringList arguments = c.arguments(setup.home) << setup.address;
    startMs = nowMs();
    clock.start();
    p.start(c.program, arguments);
    loop.exec();
    if (p.state() != QProcess::NotRunning) {
        processtree::killTree(pid_t(p.processId()));
        p.waitForFinished(10000);
    }
    if (!loaded) {
        std::fprintf(stderr, "%s: the page did not load; its last output:\n%s\n", qPrintable(c.name),
                     output.right(2000).constData());
        return std::nullopt;
    }
    return run;
}

struct Column
{
    const Contender *contender = nullptr;
    QList<double> ms;
    QSize view;
    QMap<QString, QList<double>> steps;
    QStringList unexpected;
    int failed = 0;
};

void add(Column &column, const std::optional<Run> &run, const QStringList &requests)
{
    for (const QString &target : requests) {
        if (!docpage::isPagesOwn(target) && !column.unexpected.contains(target))
            column.unexpected << target;
    }
    if (!run) {
        ++column.failed;
        return;
    }
    column.ms << run->loadedMs;
    column.view = run->view;
    for (auto it = run->steps.cbegin(); it != run->steps.cend(); ++it)
        column.steps[it.key()] << it.value();
}

void notMeasured(const QString &why)
{
    std::printf("Start from a link: not measured: %s\n", qPrintable(why));
    std::printf("FIGURE\tStart with an address to a documentation page from loopback, loaded\t-\t-\t-\t"
                "≤ %.1f × fastest peer\tnot measured\n",
                GoalRatio);
}

// The contenders whose programs are here; the missing ones are named.
QList<Contender> present(const QList<Contender> &all)
{
    QList<Contender> here;
    QStringList missing;
    for (const Contender &c : all) {
        if (c.isHalvane || !QStandardPaths::findExecutable(c.program).isEmpty())
            here << c;
        else if (!missing.contains(c.program))
            missing << c.program;
    }
    if (!missing.isEmpty())
        std::printf("not installed, left out: %s (scripts/bench.sh installs them)\n", qPrintable(missing.join(u", ")));
    return here;
}

void report(const QList<Column> &columns)
{
    std::printf("%-40s %4s %7s %7s %7s  %s\n", "ms from just before the start to the load event", "runs", "median",
                "min", "max", "view");
    for (const Column &c : columns) {
        const auto [lo, hi] = std::minmax_element(c.ms.cbegin(), c.ms.cend());
        std::printf("%-40s %4lld %7.0f %7.0f %7.0f  %dx%d%s\n", qPrintable(c.contender->name),
                    static_cast<long long>(c.ms.size()), median(c.ms), c.ms.isEmpty() ? 0.0 : *lo,
                    c.ms.isEmpty() ? 0.0 : *hi, c.view.width(), c.view.height(),
                    c.failed ? qPrintable(QStringLiteral(" (%1 runs did not load)").arg(c.failed)) : "");
        for (auto it = c.steps.cbegin(); it != c.steps.cend(); ++it)
            std::printf("    %s: median %.0f ms\n", qPrintable(it.key()), median(it.value()));
    }
    std::printf("requested of the server beyond the page's own (its proxy included):");
    bool any = false;
    for (const Column &c : columns) {
        if (!c.unexpected.isEmpty()) {
            std::printf("\n  %s: %s", qPrintable(c.contender->name), qPrintable(c.unexpected.join(u", ")));
            any = true;
        }
    }
    std::printf("%s\n", any ? "" : " nothing");
}

void figures(const QList<Column> &columns)
{
    const Column &mine = columns.first();
    const Column *fastest = nullptr;
    for (const Column &c : columns.mid(1)) {
        if (c.ms.size() == Runs && (!fastest || median(c.ms) < median(fastest->ms)))
            fastest = &c;
    }
    const bool complete = mine.ms.size() == Runs && fastest;
    for (const Column &c : columns.mid(1)) {
        const bool headline = &c == fastest;
        const double ratio = median(mine.ms) / median(c.ms);
        std::printf("FIGURE\tStart with an address to a documentation page from loopback, loaded: against %s%s\t"
                    "%.0f ms\t%.0f ms\t%.3f\t%s\t%s\n",
                    qPrintable(c.contender->name), headline ? " (the fastest peer)" : "", median(mine.ms),
                    median(c.ms), ratio,
                    headline ? qPrintable(QStringLiteral("≤ %1 × fastest peer").arg(GoalRatio, 0, 'f', 1)) : "-",
                    !headline ? "-" : complete && ratio <= GoalRatio ? "met" : "missed");
    }
    if (!fastest)
        std::printf("FIGURE\tStart with an address to a documentation page from loopback, loaded\t%.0f ms\t-\t-\t"
                    "≤ %.1f × fastest peer\tnot measured (no peer loaded the page in every run)\n",
                    median(mine.ms), GoalRatio);
}

} // namespace

void measure(bool ownNetwork, const QString &program, const QString &programFolder, const QString &scratch)
{
    std::printf("\nStart from a link (load average now: %s)\n", qPrintable(loadAverage()));
    if (!ownNetwork)
        return notMeasured(QStringLiteral("the browsers run only in a network namespace of the benchmark's own "
                                          "(root), where nothing they ask for can leave the machine"));
    LoopbackHttpServer server;
    const qint64 bytes = docpage::serve(server);
    if (bytes == 0)
        return notMeasured(QStringLiteral("the page is valgrind's manual, not installed (Debian: valgrind)"));
    VirtualDisplay x;
    SessionBus bus;
    if (!server.start())
        return notMeasured(QStringLiteral("no loopback server"));
    if (!x.start(QStringLiteral("%1x%2x24").arg(Screen.width()).arg(Screen.height())) || !bus.start())
        return notMeasured(QStringLiteral("no Xvfb or no dbus-daemon"));

    const Setup setup{x.name,
                      bus.address,
                      QDir(scratch).filePath(QStringLiteral("link-home")),
                      programFolder,
                      QDir(scratch).filePath(QStringLiteral("mesa-shader-cache")),
                      server.url(docpage::Path).toString()};
    std::printf("page: %s, %lld bytes with its stylesheet and pictures (%s)\n", qPrintable(setup.address),
                static_cast<long long>(bytes), qPrintable(docpage::Folder));
    const QList<Contender> list = present(contenders::all(program, server.port(), Screen));
    QList<Column> columns;
    for (const Contender &c : list) {
        columns.append(Column());
        columns.last().contender = &c;
    }
    std::fflush(stdout);

    auto take = [&](Column &c, int watchMs) {
        const std::optional<Run> run = startOnce(*c.contender, server, setup, watchMs);
        add(c, run, server.requests());
    };
    for (Column &c : columns) {
        take(c, WatchAfterWarmUpMs);
        c.ms.clear();
        c.steps.clear();
        c.failed = 0;
    }
    for (int i = 0; i < Runs; ++i) {
        for (qsizetype k = 0; k < columns.size(); ++k)
            take(columns[(i + k) % columns.size()], 0);
    }
    std::printf("\n%d runs of each, taken in turns (load average now: %s)\n", Runs, qPrintable(loadAverage()));
    report(columns);
    figures(columns);
}

} // namespace linkstart
