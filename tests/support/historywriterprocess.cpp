// Writes addresses into a history file the way document windows do, so tests can run
// several writers as separate processes.
//
//   historywriterprocess <path> <prefix> <count> windows   count fresh windows, one write each
//   historywriterprocess <path> <prefix> <count> window    one window navigating count times
//   historywriterprocess <path> hold                       takes <path>.lock, prints "locked",
//                                                          and holds it until killed
//
// The addresses are prefix0, prefix1, ... Prints the longest a write took (waiting for
// the lock included) on stdout. Exits 0 when every write succeeded, 1 when any failed
// (listed on stderr), 2 on bad arguments.

#include "browser/historyfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLockFile>
#include <QThread>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();

    if (args.size() == 3 && args.at(2) == QStringLiteral("hold")) {
        QLockFile lock(args.at(1) + QStringLiteral(".lock"));
        if (!lock.tryLock(0))
            return 1;
        std::fputs("locked\n", stdout);
        std::fflush(stdout);
        for (;;)
            QThread::sleep(1);
    }

    bool countOk = false;
    const int count = args.size() == 5 ? args.at(3).toInt(&countOk) : 0;
    const QString mode = args.size() == 5 ? args.at(4) : QString();
    if (!countOk || count < 0 || (mode != QStringLiteral("windows") && mode != QStringLiteral("window"))) {
        std::fputs("usage: historywriterprocess <path> <prefix> <count> windows|window\n", stderr);
        return 2;
    }
    const QString &path = args.at(1);
    const QString &prefix = args.at(2);
    const bool oneWindow = mode == QStringLiteral("window");

    int failed = 0;
    qint64 slowest = 0;
    QString previous;
    QElapsedTimer timer;
    for (int i = 0; i < count; ++i) {
        const QString address = prefix + QString::number(i);
        timer.start();
        const bool written = historyfile::appendAddress(path, oneWindow ? previous : QString(), address);
        slowest = qMax(slowest, timer.elapsed());
        if (!written) {
            std::fprintf(stderr, "write %d failed\n", i);
            ++failed;
        } else {
            previous = address;
        }
        // A window writes once per completed navigation, never twice within a few
        // milliseconds. Writing with no pause at all, this process would take the lock
        // again the moment it let go; a lock file keeps no queue, so the other writer
        // could then be shut out past its timeout, which no window can do.
        QThread::msleep(5);
    }
    std::printf("slowest write %lld ms\n", static_cast<long long>(slowest));
    return failed == 0 ? 0 : 1;
}
