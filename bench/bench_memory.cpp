// Memory: the program against the bare reference program with 1 and with 10 windows on a
// small page served from loopback by this process.
// What is measured: the proportional set size (Pss in /proc/<pid>/smaps_rollup; Rss where
// a process has no Pss) summed over the measured process and every process under it,
// found through the parent ids in /proc/<pid>/stat: the engine's zygote, renderers, GPU
// and utility processes. Pss splits each shared page among the processes mapping it, so
// the tree's pages are counted once; pages shared with processes outside the tree count
// for their share only, so the sums drop while other programs on the engine are running
// (the turns keep the ratio fair). Taken when every page has loaded and the sum has settled: four
// samples 500 ms apart within 0.5 % of each other (at most 30 s; a run that never settles
// is reported with its last sample and marked). 1 MB = 1024 kB.
// - Halvane: this program re-run as a child ("--child halvane"): the real main window
//   (frmMain) on the real engine, with temporary program and settings folders, Document 1
//   sent to the page at once (before its home page comes) and the other document windows
//   opened on it as the main window opens them, so the tools panel and everything the
//   main window holds are counted.
// - bare: this program re-run as a child ("--child bare"): the windows of bare_browser
//   (barebrowser.h), each a QMainWindow with one QWebEngineView of the size of a document
//   window's view. Both modes are the same executable, so neither pays for libraries the
//   other does not load.
// Runs are taken in turns, each first every other time, after one unreported warm-up run
// of each. Every other address goes to a proxy at 127.0.0.1:9 that answers nothing.
// Prints figures; never fails on its figures.
#include "barebrowser.h"
#include "benchfigures.h"
#include "support/processtree.h"

#include "app/frmMain.h"
#include "browser/frmBrowser.h"
#include "engine/browsingprofile.h"
#include "engine/qtenginedialogs.h"
#include "engine/webbrowser.h"
#include "engine/webenginebrowser.h"
#include "support/loopbackhttpserver.h"
#include "system/localaddress.h"
#include "system/qtdialogs.h"
#include "system/settingsstore.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unistd.h>

using namespace benchfigures;

namespace {

constexpr int Runs = 5;
constexpr int LoadTimeoutMs = 120000;
constexpr int SampleEveryMs = 500;
constexpr int StableSamples = 4;
constexpr double StableFraction = 0.005;
constexpr int SettleTimeoutMs = 30000;
constexpr double GoalRatio = 1.05;
const char PageTitle[] = "Loopback page";

QByteArray page()
{
    return QByteArray("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>") + PageTitle
           + "</title>\n<style>body { font-family: sans-serif; margin: 2em; } h1 { color: #345; }</style>\n"
             "</head><body>\n<h1>A small page</h1>\n"
             "<p>Served from loopback, so that every window holds the same page.</p>\n"
             "<p>The quick brown fox jumps over the lazy dog, and the lazy dog lets it.</p>\n"
             "<ul><li>one</li><li>two</li><li>three</li></ul>\n</body></html>\n";
}

// The child's one line when every window has loaded.
void reportLoaded(int well, int windows, QSize view)
{
    std::printf("loaded %d of %d, view %dx%d\n", well, windows, view.width(), view.height());
    std::fflush(stdout);
}

// The program's main window with windows document windows on url.
int runHalvane(QApplication &app, const QUrl &url, int windows)
{
    // Under the home the driver made for this run: the child is killed, never cleans up,
    // and the driver removes that home with everything in it.
    QTemporaryDir folder(QDir::home().filePath(QStringLiteral("program-XXXXXX")));
    QTemporaryDir settingsFolder(QDir::home().filePath(QStringLiteral("settings-XXXXXX")));
    SettingsStore settings(settingsFolder.path());
    QtDialogs dialogs;
    QtEngineDialogs engineDialogs;
    QtProgramLauncher launcher;
    // The pages in a profile kept on disk, as the program keeps them; it outlives the windows.
    BrowsingProfile profile(true, {QDir(folder.path()).filePath(QStringLiteral("data")),
                                   QDir(folder.path()).filePath(QStringLiteral("cache"))});
    Platform platform{settings,
                      ProgramFolder(folder.path()),
                      dialogs,
                      launcher,
                      [&](QWidget *parent) { return new WebEngineBrowser(parent, &engineDialogs, profile.profile()); },
                      &localMachineAddress};
    platform.browsingData = &profile;
    frmMain window(platform);
    window.show();
    auto documents = [&window] {
        QList<frmBrowser *> found;
        for (QMdiSubWindow *sub : window.mdiArea->subWindowList()) {
            if (auto *doc = qobject_cast<frmBrowser *>(sub->widget()))
                found << doc;
        }
        return found;
    };
    frmBrowser *first = documents().value(0);
    if (!first) {
        std::fprintf(stderr, "bench_memory: no Document 1\n");
        return 1;
    }
    // Sent on before its home page has come: here that would be the engine's error page
    // (the proxy answers nothing), which the bare windows never load.
    const QString address = url.toString();
    first->brwWebBrowser->Navigate(address);
    // A window made for a page's request is left empty for it; here it loads the address.
    for (int i = 1; i < windows; ++i) {
        if (WebBrowser *more = window.openInNewWindow(address, false))
            more->Navigate(address);
    }

    const QList<frmBrowser *> opened = documents();
    if (opened.size() != windows) {
        std::fprintf(stderr, "bench_memory: %lld document windows instead of %d\n",
                     static_cast<long long>(opened.size()), windows);
        return 1;
    }
    bool reported = false;
    auto check = [&] {
        int well = 0;
        for (frmBrowser *doc : opened) {
            const WebBrowser *b = doc->brwWebBrowser;
            if (b->Busy() || b->LocationURL() != address)
                return;
            well += b->LocationName() == QLatin1String(PageTitle) ? 1 : 0;
        }
        if (!std::exchange(reported, true))
            reportLoaded(well, windows, static_cast<WebEngineBrowser *>(first->brwWebBrowser)->view()->size());
    };
    for (frmBrowser *doc : opened)
        QObject::connect(doc->brwWebBrowser, &WebBrowser::DownloadComplete, &window, check);
    QTimer::singleShot(LoadTimeoutMs, &app, [&] {
        if (!reported)
            QCoreApplication::exit(1);
    });
    return app.exec();
}

// The bare windows, as bare_browser opens them.
int runBare(QApplication &app, const QUrl &url, int windows, QSize viewSize)
{
    barebrowser::Browser browser(url, windows, viewSize, nullptr,
                                 [windows, viewSize](int well) { reportLoaded(well, windows, viewSize); });
    QTimer::singleShot(LoadTimeoutMs, &app, [] { QCoreApplication::exit(1); });
    return app.exec();
}

int runChild(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    // --child <halvane|bare> <url> <windows> [<w>x<h>]
    const QString mode = args.value(2);
    const QUrl url(args.value(3));
    const int windows = args.value(4).toInt();
    const QStringList size = args.value(5).split(QLatin1Char('x'));
    if (mode == QLatin1String("halvane"))
        return runHalvane(app, url, windows);
    return runBare(app, url, windows, QSize(size.value(0).toInt(), size.value(1).toInt()));
}

struct Sample
{
    double mb = 0;
    int processes = 0;
    int rssOnly = 0;
    bool settled = false;
    QString view;
    int well = 0;
};

// One run: start the child, wait for its pages, wait for the sum to settle, kill it all.
std::optional<Sample> measureRun(const QProcessEnvironment &env, const QString &mode, const QUrl &url, int windows,
                                 const QString &viewSize)
{
    QProcess p;
    p.setProgram(QCoreApplication::applicationFilePath());
    QStringList args{QStringLiteral("--child"), mode, url.toString(), QString::number(windows)};
    if (!viewSize.isEmpty())
        args << viewSize;
    p.setArguments(args);
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    processtree::endWithParent(p);

    Sample sample;
    bool loaded = false;
    QByteArray out;
    QEventLoop loop;
    static const QRegularExpression loadedLine(QStringLiteral("^loaded (\\d+) of \\d+, view (\\d+x\\d+)$"));
    QObject::connect(&p, &QProcess::readyReadStandardOutput, &loop, [&] {
        out += p.readAllStandardOutput();
        for (const QByteArray &line : out.split('\n')) {
            const QRegularExpressionMatch m = loadedLine.match(QString::fromUtf8(line));
            if (m.hasMatch() && !loaded) {
                loaded = true;
                sample.well = m.captured(1).toInt();
                sample.view = m.captured(2);
                loop.quit();
            }
        }
    });
    QObject::connect(&p, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&p, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
    QTimer::singleShot(LoadTimeoutMs + 10000, &loop, &QEventLoop::quit);
    p.start();
    loop.exec();

    if (loaded && p.state() == QProcess::Running) {
        // Sampled from the event loop, so the server goes on answering meanwhile.
        const pid_t pid = pid_t(p.processId());
        QList<processtree::Memory> samples;
        QElapsedTimer clock;
        clock.start();
        QTimer timer;
        timer.setInterval(SampleEveryMs);
        QObject::connect(&timer, &QTimer::timeout, &loop, [&] {
            samples << processtree::measure(pid);
            if (samples.size() >= StableSamples) {
                qint64 lo = samples.last().kb;
                qint64 hi = lo;
                for (qsizetype i = samples.size() - StableSamples; i < samples.size(); ++i) {
                    lo = qMin(lo, samples.at(i).kb);
                    hi = qMax(hi, samples.at(i).kb);
                }
                sample.settled = double(hi - lo) <= StableFraction * double(hi);
            }
            if (sample.settled || clock.elapsed() > SettleTimeoutMs || p.state() != QProcess::Running)
                loop.quit();
        });
        timer.start();
        loop.exec();
        if (!samples.isEmpty() && p.state() == QProcess::Running) {
            sample.mb = double(samples.last().kb) / 1024.0;
            sample.processes = samples.last().processes;
            sample.rssOnly = samples.last().rssOnly;
        } else {
            loaded = false;
        }
    }
    if (p.state() != QProcess::NotRunning) {
        processtree::killTree(pid_t(p.processId()));
        p.waitForFinished(10000);
    }
    if (!loaded) {
        std::fprintf(stderr, "bench_memory: %s with %d windows did not load; its output: %s\n", qPrintable(mode),
                     windows, out.constData());
        return std::nullopt;
    }
    return sample;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0)
        return runChild(argc, argv);

    QCoreApplication app(argc, argv);
    processtree::adoptOrphans();
    LoopbackHttpServer server;
    server.setPage(QStringLiteral("/page.html"), page());
    if (!server.start()) {
        std::fprintf(stderr, "bench_memory: cannot start the loopback server\n");
        return 1;
    }
    const QUrl url = server.url(QStringLiteral("/page.html"));

    QTemporaryDir home;
    QProcessEnvironment env = processtree::measuredEnvironment(home.path());

    std::printf("Memory (load average at start: %s)\npage: %s\n", qPrintable(loadAverage()), qPrintable(url.toString()));
    std::fflush(stdout);

    // The warm-up run also tells the size of a document window's view, which the bare
    // windows then take.
    const std::optional<Sample> warm = measureRun(env, QStringLiteral("halvane"), url, 1, {});
    if (!warm || !measureRun(env, QStringLiteral("bare"), url, 1, warm->view)) {
        std::fprintf(stderr, "bench_memory: the warm-up runs did not load\n");
        return 1;
    }
    const QString viewSize = warm->view;
    std::printf("view %s in every window; %d runs of each, taken in turns\n\n", qPrintable(viewSize), Runs);
    std::printf("%7s %-8s %4s %10s %8s %8s %9s %8s %9s\n", "windows", "program", "runs", "median MB", "min MB",
                "max MB", "processes", "settled", "pages ok");

    struct Result
    {
        int windows;
        double halvane;
        double bare;
        bool complete;
    };
    QList<Result> results;
    for (int windows : {1, 10}) {
        QList<Sample> mine;
        QList<Sample> theirs;
        int failed = 0;
        for (int i = 0; i < Runs; ++i) {
            for (int k = 0; k < 2; ++k) {
                const bool halvane = (i + k) % 2 == 0;
                const auto s = measureRun(env, halvane ? QStringLiteral("halvane") : QStringLiteral("bare"), url,
                                          windows, viewSize);
                if (s)
                    (halvane ? mine : theirs) << *s;
                else
                    ++failed;
            }
        }
        auto row = [windows](const char *name, const QList<Sample> &samples) {
            QList<double> mb;
            int settled = 0;
            int ok = 0;
            int processes = 0;
            int rssOnly = 0;
            for (const Sample &s : samples) {
                mb << s.mb;
                settled += s.settled ? 1 : 0;
                ok += s.well == windows ? 1 : 0;
                processes = qMax(processes, s.processes);
                rssOnly += s.rssOnly;
            }
            std::sort(mb.begin(), mb.end());
            std::printf("%7d %-8s %4lld %10.1f %8.1f %8.1f %9d %5d/%-2lld %6d/%-2lld\n", windows, name,
                        static_cast<long long>(mb.size()), median(mb), mb.isEmpty() ? 0.0 : mb.first(),
                        mb.isEmpty() ? 0.0 : mb.last(), processes, settled, static_cast<long long>(samples.size()),
                        ok, static_cast<long long>(samples.size()));
            if (rssOnly)
                std::printf("        (%d processes counted by Rss, having no Pss)\n", rssOnly);
            std::fflush(stdout);
            return median(mb);
        };
        const double h = row("Halvane", mine);
        const double b = row("bare", theirs);
        if (failed)
            std::printf("        (%d runs did not load and are left out)\n", failed);
        results << Result{windows, h, b, failed == 0 && !mine.isEmpty() && !theirs.isEmpty()};
    }

    std::printf("\n(processes: the most in one run's tree; settled: runs whose sum settled; pages ok: runs "
                "where every window showed the page)\n");
    for (const Result &r : results)
        std::printf("ratio Halvane/bare, %d window%s: %.3f (goal <= %.2f)\n", r.windows, r.windows == 1 ? "" : "s",
                    r.halvane / r.bare, GoalRatio);
    for (const Result &r : results) {
        const double ratio = r.halvane / r.bare;
        std::printf("FIGURE\tMemory with %d document window%s (process tree Pss)\t%.0f MB\t%.0f MB\t%.3f\t≤ %.2f × bare\t%s\n",
                    r.windows, r.windows == 1 ? "" : "s", r.halvane, r.bare, ratio, GoalRatio,
                    r.complete && ratio <= GoalRatio ? "met" : "missed");
    }
    return 0;
}
