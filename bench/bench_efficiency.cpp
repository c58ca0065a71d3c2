// Efficiency: the program (the built executable) against bare_browser (a QMainWindow with
// a QMdiArea whose subwindows are one QWebEngineView each, of the size of a document
// window's view), both on a virtual X display (Xvfb, started here: 1600x1200x24, no window
// manager) and offscreen, one after the other in each, never both at once. With
// --loads-only, only the loads under Xvfb: a quick look at a change.
// - CPU per load: utime+stime of the program's process (/proc/<pid>/stat) and of its main
//   (UI) thread (/proc/<pid>/task/<pid>/stat) from the request of a 10 MB loopback page to
//   its load event + 0.5 s. One process per program and display, one unreported warm-up
//   load, then 3 loads; medians. utime+stime count in ticks of 10 ms.
// - Wake-ups: voluntary+nonvoluntary context switches of the main thread over the 10 s
//   that follow each of those loads, per second; median of 3.
// - Memory: process tree Pss (processtree.h) with 1 and with 10 windows on a small page,
//   the main window 1500x1100, a fresh process per run, 3 runs of each taken in turns;
//   medians. Ten windows only on the X display: the program opens more windows only from
//   the keyboard (Ctrl+N, sent with xdotool) or a click, never from a page's script.
// How a load is asked for and its end seen is the same in both programs: the program's
// home address (fixed) and bare_browser's --url are that address, answered by this
// process as the engine's proxy (the program's proxy option, bare_browser's engine flag); every page's onload reports to this server
// (/ready or /loaded?run=N, each with its viewport: &w=..&h=..) and then asks it for /go, which
// is held until this process wants the next load and then answers with its address. The
// 10 MB page itself is on 127.0.0.1, which the engine never sends to a proxy.
// The whole run is in a network namespace of its own with loopback and a veth pair with
// no address or route (the engine counts itself offline with loopback alone), so the
// link ping's name look-up of the home address fails at once instead of leaving the
// machine; without that (not root) nothing is measured.
// CPU times are robust to other work on the machine; the load's wall-clock time, printed
// beside them, is not. Prints figures; never fails on its figures.
#include "benchfigures.h"
#include "ownnetwork.h"
#include "support/loopbackhttpserver.h"
#include "support/processtree.h"
#include "virtualdisplay.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSize>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>
#include <cstdio>
#include <optional>
#include <unistd.h>

using namespace benchfigures;

namespace {

constexpr int Runs = 3;
constexpr int TimeoutMs = 90000;
constexpr int AfterLoadMs = 500;
constexpr int IdleMs = 10000;
constexpr qsizetype BigPageBytes = 10 * 1024 * 1024;
const QSize MainSize(1500, 1100);
const QString HomeAddress = QStringLiteral("http://www.marrowdyne.com/");

// The script every page runs on its load event: report, then wait for the next address.
QByteArray script(const QByteArray &report)
{
    return "<script>addEventListener('load', () => { fetch(" + report
           + ").then(() => fetch('/go')).then(r => r.text()).then(u => { if (u) location.href = u; }); });</script>\n";
}

QByteArray smallPage()
{
    return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Loopback page</title>\n"
           "<style>body { font-family: sans-serif; margin: 2em; } h1 { color: #345; }</style>\n"
           + script("'/ready?w=' + innerWidth + '&h=' + innerHeight")
           + "</head><body>\n<h1>A small page</h1>\n"
             "<p>Served from loopback, so that every window holds the same page.</p>\n"
             "<ul><li>one</li><li>two</li><li>three</li></ul>\n</body></html>\n";
}

// utime+stime in ms of a /proc .../stat file; -1 when it cannot be read.
double cpuMs(const QString &statPath)
{
    QFile f(statPath);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = f.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    // Fields 14 and 15 of the line; here counted from field 3.
    return double(fields.at(11).toLongLong() + fields.at(12).toLongLong()) * 1000.0 / double(::sysconf(_SC_CLK_TCK));
}

qint64 contextSwitches(pid_t pid)
{
    const QString status = QStringLiteral("/proc/%1/task/%1/status").arg(pid);
    return processtree::fieldKb(status, "voluntary_ctxt_switches")
           + processtree::fieldKb(status, "nonvoluntary_ctxt_switches");
}

enum class Program { Halvane, Bare };

// What the server has seen of the program running now.
struct Seen
{
    int ready = 0;
    QSize viewport;
    int loaded = -1; // the run number of the last /loaded
};

class Bench
{
public:
    Bench(LoopbackHttpServer &server, const QString &display)
        : m_server(server)
        , m_display(display)
    {
        QObject::connect(&server, &LoopbackHttpServer::requestReceived, &server, [this](const QString &target) {
            const QUrl u(target);
            const QString path = u.path();
            const QUrlQuery q(u);
            const bool ready = path.endsWith(QLatin1String("/ready"));
            const bool loaded = path.endsWith(QLatin1String("/loaded"));
            if (!ready && !loaded)
                return;
            if (ready)
                ++m_seen.ready;
            else
                m_seen.loaded = q.queryItemValue(QStringLiteral("run")).toInt();
            m_seen.viewport = QSize(q.queryItemValue(QStringLiteral("w")).toInt(),
                                    q.queryItemValue(QStringLiteral("h")).toInt());
        });
        m_programFolder = m_scratch.filePath(QStringLiteral("program"));
        QDir().mkpath(m_programFolder);
        QFile::copy(QStringLiteral(HALVANE_EXE), QDir(m_programFolder).filePath(QStringLiteral("halvane")));
    }

    QString platform() const { return m_display.isEmpty() ? QStringLiteral("offscreen") : QStringLiteral("xcb"); }

    // Starts the program with one window on the small page; false when it did not come.
    bool start(Program program, int windows = 1)
    {
        m_seen = {};
        const QString home = m_scratch.filePath(QStringLiteral("home"));
        QDir(home).removeRecursively();
        QFile::remove(QDir(m_programFolder).filePath(QStringLiteral("address.lst")));
        QDir().mkpath(home);
        QProcessEnvironment env = processtree::measuredEnvironment(home);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform());
        if (!m_display.isEmpty())
            env.insert(QStringLiteral("DISPLAY"), m_display);
        env.insert(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), processtree::engineFlags(m_server.port()));
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.webenginecontext.info=false"));
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        processtree::endWithParent(m_process);
        m_process.setStandardOutputFile(QProcess::nullDevice());
        if (program == Program::Halvane) {
            // The main window at the top left, 1500 x 1100 (placement is kept in twips).
            QSettings s(QDir(home).filePath(QStringLiteral(".config/Halvane/Halvane.conf")), QSettings::IniFormat);
            s.setValue(QStringLiteral("Settings/MainLeft"), QStringLiteral("0"));
            s.setValue(QStringLiteral("Settings/MainTop"), QStringLiteral("0"));
            s.setValue(QStringLiteral("Settings/MainWidth"), QString::number(MainSize.width() * 15));
            s.setValue(QStringLiteral("Settings/MainHeight"), QString::number(MainSize.height() * 15));
            // The program sets the engine's proxy from its options, over the engine's flag.
            s.setValue(QStringLiteral("Options/ProxyMode"), QStringLiteral("manual"));
            s.setValue(QStringLiteral("Options/ProxyType"), QStringLiteral("http"));
            s.setValue(QStringLiteral("Options/ProxyHost"), QStringLiteral("127.0.0.1"));
            s.setValue(QStringLiteral("Options/ProxyPort"), QString::number(m_server.port()));
            s.sync();
            m_process.start(QDir(m_programFolder).filePath(QStringLiteral("halvane")), {});
        } else {
            const QSize view = viewSize.isValid() ? viewSize : QSize(796, 723);
            m_process.start(QStringLiteral(BARE_BROWSER_EXE),
                            {QStringLiteral("--windows"), QString::number(windows), QStringLiteral("--url"),
                             HomeAddress, QStringLiteral("--size"),
                             QStringLiteral("%1x%2").arg(view.width()).arg(view.height()), QStringLiteral("--mdi"),
                             QStringLiteral("%1x%2").arg(MainSize.width()).arg(MainSize.height())});
        }
        if (!m_process.waitForStarted(10000))
            return false;
        waitFor([this] { return m_seen.ready >= 1 || m_process.state() != QProcess::Running; }, TimeoutMs);
        if (m_seen.ready < 1)
            return false;
        if (program == Program::Halvane && windows > 1 && !moreWindows(windows))
            return false;
        waitFor([&] { return m_seen.ready >= windows || m_process.state() != QProcess::Running; }, TimeoutMs);
        return m_seen.ready >= windows;
    }

    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            processtree::killTree(pid_t(m_process.processId()));
            m_process.waitForFinished(10000);
        }
    }

    pid_t pid() const { return pid_t(m_process.processId()); }
    QSize viewport() const { return m_seen.viewport; }

    struct Load
    {
        double processCpuMs = 0;
        double uiCpuMs = 0;
        double wallMs = 0;
        double wakeUpsPerSecond = 0;
    };

    // One load of the big page, then the idle time after it.
    std::optional<Load> load(int run)
    {
        const QString process = QStringLiteral("/proc/%1/stat").arg(pid());
        const QString ui = QStringLiteral("/proc/%1/task/%1/stat").arg(pid());
        // The page's /go is waiting; the answer is the request.
        waitFor([this] { return m_server.heldCount() > 0; }, TimeoutMs);
        const QString url = m_server.url(QStringLiteral("/big?run=%1").arg(run)).toString();
        m_server.setPage(QStringLiteral("/go"), url.toUtf8(), "text/plain");
        m_server.setPage(HomeAddress + QStringLiteral("go"), url.toUtf8(), "text/plain");
        const double p0 = cpuMs(process);
        const double u0 = cpuMs(ui);
        QElapsedTimer clock;
        clock.start();
        m_server.releaseHeld();
        waitFor([&] { return m_seen.loaded == run || m_process.state() != QProcess::Running; }, TimeoutMs);
        if (m_seen.loaded != run)
            return std::nullopt;
        Load l;
        l.wallMs = double(clock.nsecsElapsed()) / 1e6;
        settle(AfterLoadMs);
        l.processCpuMs = cpuMs(process) - p0;
        l.uiCpuMs = cpuMs(ui) - u0;
        const qint64 c0 = contextSwitches(pid());
        settle(IdleMs);
        l.wakeUpsPerSecond = double(contextSwitches(pid()) - c0) * 1000.0 / IdleMs;
        if (m_process.state() != QProcess::Running)
            return std::nullopt;
        return l;
    }

    // The size of a document window's view, which bare_browser's views then take.
    QSize viewSize;

private:
    // Ctrl+N into the main window until it holds that many document windows.
    bool moreWindows(int windows)
    {
        auto xdotool = [this](const QStringList &args) {
            QProcess p;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("DISPLAY"), m_display);
            p.setProcessEnvironment(env);
            p.start(QStringLiteral("xdotool"), args);
            p.waitForFinished(10000);
            return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
        };
        const QString window = xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                        QStringLiteral("--name"), QStringLiteral("^Halvane$")})
                                   .section(QLatin1Char('\n'), 0, 0);
        if (window.isEmpty())
            return false;
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
        for (int i = m_seen.ready; i < windows; ++i) {
            const int before = m_seen.ready;
            xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QStringLiteral("ctrl+n")});
            waitFor([&] { return m_seen.ready > before || m_process.state() != QProcess::Running; }, TimeoutMs);
            if (m_seen.ready <= before)
                return false;
        }
        return true;
    }

    LoopbackHttpServer &m_server;
    QString m_display;
    QTemporaryDir m_scratchDir;
    QDir m_scratch{m_scratchDir.path()};
    QString m_programFolder;
    QProcess m_process;
    Seen m_seen;
};

const char *name(Program p)
{
    return p == Program::Halvane ? "Halvane" : "bare";
}

struct Figures
{
    QList<double> processCpu, uiCpu, wall, wakeUps;
};

// The warm-up load and Runs measured ones in one process; nothing when it did not start.
std::optional<Figures> measureLoads(Bench &bench, Program program, int &run)
{
    if (!bench.start(program)) {
        std::fprintf(stderr, "bench_efficiency: %s did not start on %s\n", name(program), qPrintable(bench.platform()));
        bench.stop();
        return std::nullopt;
    }
    Figures f;
    for (int i = 0; i <= Runs; ++i) {
        const std::optional<Bench::Load> l = bench.load(++run);
        if (!l) {
            std::fprintf(stderr, "bench_efficiency: %s, load %d did not finish\n", name(program), i);
            break;
        }
        // The view's size once the window has settled; the first page may load before
        // the window is laid out.
        if (program == Program::Halvane)
            bench.viewSize = bench.viewport();
        if (i == 0)
            continue;
        f.processCpu << l->processCpuMs;
        f.uiCpu << l->uiCpuMs;
        f.wall << l->wallMs;
        f.wakeUps << l->wakeUpsPerSecond;
        std::printf("  %-8s load %d: process CPU %5.0f ms, UI thread CPU %5.0f ms, wall %6.0f ms, idle wake-ups %5.1f/s\n",
                    name(program), i, l->processCpuMs, l->uiCpuMs, l->wallMs, l->wakeUpsPerSecond);
        std::fflush(stdout);
    }
    bench.stop();
    return f;
}

double memoryMb(Bench &bench, Program program, int windows)
{
    if (!bench.start(program, windows)) {
        std::fprintf(stderr, "bench_efficiency: %s with %d windows did not load on %s\n", name(program), windows,
                     qPrintable(bench.platform()));
        bench.stop();
        return std::nan("");
    }
    // Settled: four samples 500 ms apart within 0.5 % of each other (at most 30 s).
    QList<qint64> kb;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        settle(500);
        kb << processtree::measure(bench.pid()).kb;
        if (kb.size() >= 4) {
            const auto last = kb.mid(kb.size() - 4);
            const qint64 hi = *std::max_element(last.cbegin(), last.cend());
            const qint64 lo = *std::min_element(last.cbegin(), last.cend());
            if (double(hi - lo) <= 0.005 * double(hi) || clock.elapsed() > 30000)
                break;
        }
    }
    bench.stop();
    return double(kb.last()) / 1024.0;
}

void figure(const QString &name, double mine, double bare, const char *unit, bool met, const QString &goal,
            double ratio)
{
    const bool known = !std::isnan(mine) && !std::isnan(bare);
    std::printf("FIGURE\t%s\t%.*f %s\t%.*f %s\t%s\t%s\t%s\n", qPrintable(name), unit[0] == '/' ? 1 : 0, mine, unit,
                unit[0] == '/' ? 1 : 0, bare, unit, known ? qPrintable(QString::number(ratio, 'f', 3)) : "-",
                qPrintable(goal), known && met ? "met" : "missed");
}

// Memory with 1 and 10 windows, each program in turn; 10 windows need xdotool's key
// presses, which only reach a window on a display.
void measureMemory(Bench &bench, const QString &display, const QString &suffix, bool haveXdotool)
{
    const QList<int> windowCounts = display.isEmpty() || !haveXdotool ? QList<int>{1} : QList<int>{1, 10};
    for (int windows : {1, 10}) {
        if (!windowCounts.contains(windows)) {
            std::printf("FIGURE\tMemory, process tree Pss, %d windows, main window 1500 × 1100%s\t-\t-\t-\t"
                        "≤ 1.05 × bare\tnot measured (%s)\n",
                        windows, qPrintable(suffix),
                        display.isEmpty() ? "offscreen the program opens no more windows without a key or click"
                                          : "xdotool missing");
            continue;
        }
        QList<double> m[2];
        for (int i = 0; i < Runs; ++i) {
            for (int k = 0; k < 2; ++k) {
                const Program p = (i + k) % 2 == 0 ? Program::Halvane : Program::Bare;
                const double v = memoryMb(bench, p, windows);
                if (!std::isnan(v))
                    m[p == Program::Halvane ? 0 : 1] << v;
                std::printf("  memory, %2d window%s, %-8s %6.1f MB\n", windows, windows == 1 ? " " : "s", name(p), v);
                std::fflush(stdout);
            }
        }
        const double mine = m[0].size() == Runs ? median(m[0]) : std::nan("");
        const double bare = m[1].size() == Runs ? median(m[1]) : std::nan("");
        figure(QStringLiteral("Memory, process tree Pss, %1 window%2, main window 1500 × 1100")
                       .arg(windows)
                       .arg(windows == 1 ? QString() : QStringLiteral("s"))
                   + suffix,
               mine, bare, "MB", mine <= 1.05 * bare, QStringLiteral("≤ 1.05 × bare"), mine / bare);
    }
}

void measurePlatform(LoopbackHttpServer &server, const QString &display, int &run, bool haveXdotool, bool loadsOnly)
{
    Bench bench(server, display);
    const QString label = display.isEmpty() ? QStringLiteral("offscreen") : QStringLiteral("Xvfb");
    std::printf("\n== %s (load average now: %s)\n", qPrintable(label), qPrintable(loadAverage()));
    std::fflush(stdout);

    // Halvane first: its view size is what the bare views take.
    const std::optional<Figures> mine = measureLoads(bench, Program::Halvane, run);
    std::printf("  view %dx%d in both programs' windows\n", bench.viewSize.width(), bench.viewSize.height());
    const std::optional<Figures> theirs = measureLoads(bench, Program::Bare, run);

    const QString suffix = QStringLiteral(", %1, medians of %2").arg(label).arg(Runs);
    const double nan = std::nan("");
    auto med = [&](const std::optional<Figures> &f, QList<double> Figures::*field) {
        return f && ((*f).*field).size() == Runs ? median((*f).*field) : nan;
    };
    if (mine && theirs) {
        std::printf("  wall time of a load (request to load event; not robust to other work): %.0f vs %.0f ms\n",
                    med(mine, &Figures::wall), med(theirs, &Figures::wall));
    }
    const double pc = med(mine, &Figures::processCpu), bpc = med(theirs, &Figures::processCpu);
    figure(QStringLiteral("CPU of the browser process, 10 MB loopback page, request to load + 0.5 s") + suffix, pc,
           bpc, "ms", pc <= 1.10 * bpc, QStringLiteral("≤ 1.10 × bare"), pc / bpc);
    const double uc = med(mine, &Figures::uiCpu), buc = med(theirs, &Figures::uiCpu);
    figure(QStringLiteral("CPU of the UI thread, same load") + suffix, uc, buc, "ms",
           uc <= std::max(1.25 * buc, buc + 30), QStringLiteral("≤ 1.25 × bare or bare + 30 ms"), uc / buc);
    const double wk = med(mine, &Figures::wakeUps), bwk = med(theirs, &Figures::wakeUps);
    figure(QStringLiteral("UI-thread wake-ups, idle 10 s after the load") + suffix, wk, bwk, "/s", wk <= bwk + 3,
           QStringLiteral("≤ bare + 3 /s"), wk / bwk);
    std::fflush(stdout);
    if (!loadsOnly)
        measureMemory(bench, display, suffix, haveXdotool);
}

} // namespace

int main(int argc, char *argv[])
{
    if (!ownnetwork::isolate()) {
        std::printf("bench_efficiency: not measured: it needs a network namespace of its own (root), so that the "
                    "home address's name look-up stays on this machine\n");
        return 0;
    }
    QCoreApplication app(argc, argv);
    processtree::adoptOrphans();
    if (!ownnetwork::addDeadLink()) {
        std::printf("bench_efficiency: not measured: cannot make the engine a link in its own namespace (ip link)\n");
        return 0;
    }

    LoopbackHttpServer server;
    server.setPage(HomeAddress, smallPage());
    server.setPage(QStringLiteral("/big"), paragraphsPage(BigPageBytes, script("'/loaded' + location.search + '&w=' + innerWidth + '&h=' + innerHeight")));
    server.setHold(QStringLiteral("/go"));
    server.setHold(HomeAddress + QStringLiteral("go"));
    for (const QString &marker : {QStringLiteral("/loaded"), HomeAddress + QStringLiteral("ready")})
        server.setPage(marker, "ok", "text/plain");
    if (!server.start()) {
        std::fprintf(stderr, "bench_efficiency: cannot start the loopback server\n");
        return 1;
    }
    std::printf("Efficiency (load average at start: %s)\n", qPrintable(loadAverage()));
    std::printf("CPU: utime+stime from /proc (10 ms ticks), robust to other work; wall-clock figures are not\n");
    std::fflush(stdout);

    const bool loadsOnly = app.arguments().contains(QStringLiteral("--loads-only"));
    const bool haveXdotool = !QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty();
    int run = 0;
    {
        VirtualDisplay x;
        if (x.start(QStringLiteral("1600x1200x24")))
            measurePlatform(server, x.name, run, haveXdotool, loadsOnly);
        else
            std::fprintf(stderr, "bench_efficiency: cannot start Xvfb; only offscreen figures\n");
    }
    if (!loadsOnly)
        measurePlatform(server, QString(), run, haveXdotool, false);
    return 0;
}
