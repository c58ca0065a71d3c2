// Time from creating a document window to it being shown with its address list filled,
// and the memory the window then holds, for history files of growing size. Prints
// figures; never fails on time.
#include "support/processtree.h"

#include "browser/frmBrowser.h"
#include "support/testplatform.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <QLocale>
#include <algorithm>
#include <cstdio>
#include <malloc.h>

namespace {

constexpr int Runs = 5;

// This process's resident memory in MB.
double residentMb()
{
    return double(processtree::fieldKb(QStringLiteral("/proc/self/status"), "VmRSS")) / 1024.0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMdiArea area;
    area.resize(1000, 800);
    area.show();
    TestHost host(&area);
    if (!QTest::qWaitForWindowExposed(&area))
        return 1;

    std::printf("%-12s %10s %10s %12s %10s\n", "addresses", "file MB", "median ms", "max ms", "window MB");
    for (int count : {1000, 100000, 1000000}) {
        TestPlatform env;
        QByteArray file("\r\n");
        for (int i = 0; i < count; ++i)
            file += "http://host" + QByteArray::number(i) + ".example.test/page/" + QByteArray::number(i % 97) + "\r\n";
        env.writeHistory(file);

        QList<double> runs;
        QList<double> memory;
        for (int run = 0; run < Runs; ++run) {
            ::malloc_trim(0);
            const double before = residentMb();
            QElapsedTimer clock;
            clock.start();
            auto *w = new frmBrowser(&area, env.platform, host);
            QCoreApplication::processEvents();
            runs << double(clock.nsecsElapsed()) / 1e6;
            memory << residentMb() - before;
            if (w->cboAddress->count() != count)
                std::fprintf(stderr, "wrong count %d\n", w->cboAddress->count());
            w->subWindow()->close();
            QCoreApplication::processEvents();
        }
        std::sort(runs.begin(), runs.end());
        std::sort(memory.begin(), memory.end());
        const double shownMs = runs.at(Runs / 2);
        const double windowMb = memory.at(Runs / 2);
        std::printf("%-12d %10.1f %10.1f %12.1f %10.1f\n", count, double(file.size()) / 1e6, shownMs,
                    runs.last(), windowMb);

        // The summary lines scripts/bench.sh gathers into its table.
        const QByteArray name = QLocale(QLocale::English).toString(count).toUtf8() + " addresses";
        const char *goal = count == 100000 ? "< 300 ms" : count == 1000000 ? "no freeze over 2 s" : "-";
        const char *met = count == 100000 ? (shownMs < 300 ? "met" : "missed")
                          : count == 1000000 ? (shownMs < 2000 ? "met" : "missed")
                                             : "-";
        std::printf("FIGURE\tHistory, %s: window shown\t%.0f ms\t-\t-\t%s\t%s\n", name.constData(), shownMs, goal, met);
        std::printf("FIGURE\tHistory, %s: window memory\t%.1f MB\t-\t-\t-\t-\n", name.constData(), windowMb);
    }
    return 0;
}
