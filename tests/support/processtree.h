#pragma once

// A measured program and every process under it (the web engine's zygote, renderers, GPU
// and utility processes), found through the parent ids in /proc/<pid>/stat.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <QElapsedTimer>
#include <csignal>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace processtree {

// Whether orphans under this process come to it (adoptOrphans).
inline bool s_adopting = false;

// The parent of every process readable now.
inline QMap<pid_t, pid_t> parents()
{
    QMap<pid_t, pid_t> parentOf;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool numeric = false;
        const pid_t pid = pid_t(entry.toInt(&numeric));
        if (!numeric)
            continue;
        QFile stat(QStringLiteral("/proc/") + entry + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue; // gone meanwhile
        const QByteArray line = stat.readAll();
        // "pid (name) state ppid ...": the name may hold spaces and parentheses.
        const qsizetype close = line.lastIndexOf(')');
        if (close < 0)
            continue;
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (fields.size() > 1)
            parentOf.insert(pid, pid_t(fields.at(1).toInt()));
    }
    return parentOf;
}

// The root and all its descendants, root first.
inline QList<pid_t> tree(pid_t root)
{
    const QMap<pid_t, pid_t> parentOf = parents();
    QList<pid_t> found{root};
    for (qsizetype i = 0; i < found.size(); ++i) {
        for (auto it = parentOf.cbegin(); it != parentOf.cend(); ++it) {
            if (it.value() == found.at(i) && !found.contains(it.key()))
                found << it.key();
        }
    }
    return found;
}

// One "Name:   <n> kB" field of a /proc file, in kB; -1 when it is not there.
inline qint64 fieldKb(const QString &path, const QByteArray &name)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith(name + ':')) {
            const QList<QByteArray> parts = line.mid(name.size() + 1).simplified().split(' ');
            return parts.value(0).toLongLong();
        }
    }
    return -1;
}

struct Memory
{
    qint64 kb = 0;      // Pss summed (Rss for a process without Pss)
    int processes = 0;
    int rssOnly = 0;    // processes counted by Rss
};

// Proportional set size of the whole tree: each shared page is split among the
// processes mapping it, so the tree's pages are counted once, not once per process.
inline Memory measure(pid_t root)
{
    Memory m;
    for (pid_t pid : tree(root)) {
        const QString base = QStringLiteral("/proc/") + QString::number(pid);
        qint64 kb = fieldKb(base + QStringLiteral("/smaps_rollup"), "Pss");
        if (kb < 0) {
            kb = fieldKb(base + QStringLiteral("/status"), "VmRSS");
            if (kb < 0)
                continue; // gone meanwhile
            ++m.rssOnly;
        }
        m.kb += kb;
        ++m.processes;
    }
    return m;
}

// Running, or at least not yet dead: a zombie has let go of its memory.
inline bool alive(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/") + QString::number(pid) + QStringLiteral("/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close >= 0 && line.size() > close + 2 && line.at(close + 2) != 'Z';
}

// Kills the root and everything under it, and waits (up to timeoutMs) until the
// descendants are gone; the root is its starter's to reap. The tree is stopped first,
// so that nothing in it can start another process between the look and the kill.
inline void killTree(pid_t root, int timeoutMs = 10000)
{
    QList<pid_t> pids;
    for (;;) {
        const QList<pid_t> now = tree(root);
        bool grown = false;
        for (pid_t pid : now) {
            if (!pids.contains(pid)) {
                ::kill(pid, SIGSTOP);
                pids << pid;
                grown = true;
            }
        }
        if (!grown)
            break;
    }
    for (pid_t pid : pids)
        ::kill(pid, SIGKILL);
    // Each comes to us as its parent dies (see adoptOrphans) and is reaped here; without
    // that, its dying is all there is to wait for.
    QElapsedTimer clock;
    clock.start();
    for (pid_t pid : pids.mid(1)) {
        while (clock.elapsed() < timeoutMs && ::waitpid(pid, nullptr, WNOHANG) != pid
               && QFile::exists(QStringLiteral("/proc/") + QString::number(pid))
               && (s_adopting || alive(pid)))
            QThread::msleep(5);
    }
}

// Makes the caller the parent of any orphan under it, so that killTree can reap what it
// killed: not every system's first process reaps the orphans it is given.
inline void adoptOrphans()
{
    s_adopting = ::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0;
}

// A measured program goes when its measurer does, even killed: one left running would
// share its pages with the next runs and lower their figures.
inline void endWithParent(QProcess &process)
{
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

// The engine switches every test runs with (scripts/engine-flags), for a program whose
// proxy is set here: their proxy switch goes to 127.0.0.1:proxyPort, or goes (0) for a
// run whose proxy comes from elsewhere.
inline QString engineFlags(quint16 proxyPort)
{
    QStringList flags = QStringLiteral(HALVANE_ENGINE_FLAGS).split(u' ', Qt::SkipEmptyParts);
    flags.removeIf([](const QString &flag) { return flag.startsWith(QLatin1String("--proxy-server=")); });
    if (proxyPort != 0)
        flags << QStringLiteral("--proxy-server=127.0.0.1:%1").arg(proxyPort);
    return flags.join(u' ');
}

// The environment a measured program runs in: offscreen unless told otherwise, nothing
// leaving loopback, the engine's sandbox off as root (it will not start otherwise), and
// its settings, caches and data under home, so every run starts as the first one did.
inline QProcessEnvironment measuredEnvironment(const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    auto setDefault = [&env](const QString &name, const QString &value) {
        if (!env.contains(name))
            env.insert(name, value);
    };
    setDefault(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    setDefault(QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QStringLiteral(HALVANE_ENGINE_FLAGS));
    if (geteuid() == 0)
        setDefault(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QDir(home).filePath(QStringLiteral(".config")));
    env.insert(QStringLiteral("XDG_CACHE_HOME"), QDir(home).filePath(QStringLiteral(".cache")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), QDir(home).filePath(QStringLiteral(".local/share")));
    return env;
}

} // namespace processtree
