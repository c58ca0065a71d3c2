// Time from creating a document window to it being shown with its address list filled,
// for history files of growing size. Prints figures; never fails on time.
#include "browser/frmBrowser.h"
#include "support/testplatform.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>
#include <algorithm>
#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMdiArea area;
    area.resize(1000, 800);
    area.show();
    TestHost host(&area);
    if (!QTest::qWaitForWindowExposed(&area))
        return 1;

    std::printf("%-12s %10s %10s\n", "addresses", "median ms", "max ms");
    for (int count : {1000, 100000, 1000000}) {
        TestPlatform env;
        QByteArray file("\r\n");
        for (int i = 0; i < count; ++i)
            file += "http://host" + QByteArray::number(i) + ".example.test/page/" + QByteArray::number(i % 97) + "\r\n";
        env.writeHistory(file);

        QList<double> runs;
        for (int run = 0; run < 5; ++run) {
            QElapsedTimer clock;
            clock.start();
            auto *w = new frmBrowser(&area, env.platform, host);
            QCoreApplication::processEvents();
            runs << double(clock.nsecsElapsed()) / 1e6;
            if (w->cboAddress->count() != count)
                std::fprintf(stderr, "wrong count %d\n", w->cboAddress->count());
            w->subWindow()->close();
            QCoreApplication::processEvents();
        }
        std::sort(runs.begin(), runs.end());
        std::printf("%-12d %10.1f %10.1f\n", count, runs[runs.size() / 2], runs.last());
    }
    return 0;
}
