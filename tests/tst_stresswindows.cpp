#include "browser/frmBrowser.h"
#include "engine/webenginebrowser.h"
#include "support/documentfixture.h"
#include "support/loopbackhttpserver.h"
#include "support/processtree.h"

#include <QElapsedTimer>
#include <QMdiSubWindow>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int WindowCount = 100;
constexpr int BaselineAfter = 10;
constexpr int LoadTimeoutMs = 15000;
// Growth allowed between the window counts above, in percent of the first figure.
constexpr double AllowedGrowthPercent = 10.0;

// VmRSS of a process in KiB, or -1 when it cannot be read (the process is gone).
qint64 residentKiB(pid_t pid)
{
    return processtree::fieldKb(u"/proc/"_s + QString::number(pid) + u"/status"_s, "VmRSS");
}

struct Footprint {
    qint64 ownKiB = 0;
    qint64 helpersKiB = 0;
    qsizetype helperCount = 0;
};

Footprint footprint()
{
    Footprint f;
    const QList<pid_t> tree = processtree::tree(getpid());
    f.ownKiB = residentKiB(tree.first());
    // Everything below ours: the engine's helpers hang from a zygote that is our child,
    // so its renderers are our grandchildren.
    for (pid_t pid : tree.mid(1)) {
        const qint64 kib = residentKiB(pid);
        if (kib >= 0) {
            f.helpersKiB += kib;
            ++f.helperCount;
        }
    }
    return f;
}

double growthPercent(qint64 from, qint64 to)
{
    return from > 0 ? 100.0 * double(to - from) / double(from) : 0.0;
}

} // namespace

// Many document windows over the real engine, opened and closed one after another:
// nothing may crash, and what the program holds must not grow with the count.
class tst_StressWindows : public QObject, protected DocumentFixture
{
    Q_OBJECT
public:
    static void initMain() { QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts); }

private Q_SLOTS:
    void init();
    void cleanup();

    void hundredWindowsOpenedAndClosed();
};

void tst_StressWindows::init()
{
    setUp();
    env->platform.makeBrowser = [](QWidget *parent) { return new WebEngineBrowser(parent); };
}

void tst_StressWindows::cleanup()
{
    tearDown();
}

void tst_StressWindows::hundredWindowsOpenedAndClosed()
{
    LoopbackHttpServer server;
    QVERIFY(server.start());
    QByteArray body = "<html><head><title>Stress</title></head><body>";
    for (int i = 0; i < 200; ++i)
        body += "<p>Line " + QByteArray::number(i) + " of a page with some text in it.</p>";
    body += "</body></html>";
    server.setPage(u"/page"_s, body);
    const QString address = server.url(u"/page"_s).toString();

    QElapsedTimer clock;
    clock.start();
    Footprint baseline;
    for (int i = 1; i <= WindowCount; ++i) {
        QPointer<frmBrowser> window = newWindow();
        QPointer<QMdiSubWindow> sub = window->subWindow();
        QSignalSpy completes(window->brwWebBrowser, &WebBrowser::DownloadComplete);
        window->brwWebBrowser->Navigate(address);
        QVERIFY2(completes.count() > 0 || completes.wait(LoadTimeoutMs),
                 qPrintable(u"window %1 never completed its load"_s.arg(i)));
        QCOMPARE(window->brwWebBrowser->LocationURL(), address);
        QCOMPARE(window->windowTitle(), u"Stress"_s);
        QCOMPARE(server.requests().count(u"/page"_s), i);

        if (i == BaselineAfter || i == WindowCount) {
            // With the page up, its renderer among the helpers; for the figures only,
            // a renderer's size swings with its collector.
            const Footprint open = footprint();
            qInfo("window %d open: own VmRSS %lld KiB; %lld helper processes, VmRSS together %lld KiB",
                  i, open.ownKiB, qint64(open.helperCount), open.helpersKiB);
        }

        sub->close();
        QTRY_VERIFY_WITH_TIMEOUT(sub.isNull() && window.isNull(), 5000);

        if (i == BaselineAfter || i == WindowCount) {
            // The engine lets its renderers go a moment after their pages.
            QTest::qWait(1000);
            const Footprint now = footprint();
            qInfo("after %d windows (%lld ms): own VmRSS %lld KiB; %lld helper processes, "
                  "VmRSS together %lld KiB",
                  i, qint64(clock.elapsed()), now.ownKiB, qint64(now.helperCount), now.helpersKiB);
            if (i == BaselineAfter) {
                baseline = now;
            } else {
                const double own = growthPercent(baseline.ownKiB, now.ownKiB);
                const double helpers = growthPercent(baseline.helpersKiB, now.helpersKiB);
                qInfo("growth from %d to %d windows: own %+.1f %%, helpers %+.1f %%",
                      BaselineAfter, WindowCount, own, helpers);
                QVERIFY(baseline.ownKiB > 0 && now.ownKiB > 0);
                QVERIFY2(own <= AllowedGrowthPercent,
                         qPrintable(u"own memory grew by %1 %"_s.arg(own, 0, 'f', 1)));
                QVERIFY2(now.helperCount <= baseline.helperCount,
                         qPrintable(u"helper processes went from %1 to %2"_s
                                        .arg(baseline.helperCount).arg(now.helperCount)));
            }
        }
    }
    QVERIFY(area->findChildren<frmBrowser *>().isEmpty());
}

QTEST_MAIN(tst_StressWindows)
#include "tst_stresswindows.moc"
