// Writes addresses into a history file the way document windows do, so tests can run
// several writers as separate processes.
//
//   historywriterprocess <path> <prefix> <count> windows   count fresh windows, one write each
//   historywriterprocess <path> <prefix> <count> window    one window navigating count times
//   historywriterprocess <path> hold                       takes <path>.lock, prints "locked",
//                                                          and holds it until killed
//
// The addresses are prefix0, prefix1, ... Writes go through the windows' own writer, so a
// write shut out by the other process's lock is tried again as a window's would be.
// Prints how long the writes took on stdout. Exits 0 when done, 2 on bad arguments.

#include "browser/historywriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLockFile>
#include <QThread>

#include <cstdio>
#include <list>

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

    QElapsedTimer timer;
    timer.start();
    std::list<HistoryWriter> windows;
    for (int i = 0; i < count; ++i) {
        if (!oneWindow || windows.empty())
            windows.emplace_back(path);
        windows.back().append(prefix + QString::number(i));
        // A window writes once per completed navigation, never twice within a few
        // milliseconds.
        QThread::msleep(5);
    }
    HistoryWriter::waitForAll();
    std::printf("written in %lld ms\n", static_cast<long long>(timer.elapsed()));
    return 0;
}
