#pragma once

// A network namespace of the benchmark's own, which everything it starts inherits: only
// loopback works there, so nothing a measured program asks for can leave the machine.
// Needs root.

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <cstring>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ownnetwork {

// The namespace, with loopback up. Call first thing in main: it holds only for the
// thread that calls it and what that thread starts afterwards.
inline bool isolate()
{
    if (::unshare(CLONE_NEWNET) != 0)
        return false;
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (s < 0)
        return false;
    ifreq req{};
    std::strncpy(req.ifr_name, "lo", IFNAMSIZ - 1);
    bool up = ::ioctl(s, SIOCGIFFLAGS, &req) == 0;
    req.ifr_flags |= IFF_UP | IFF_RUNNING;
    up = up && ::ioctl(s, SIOCSIFFLAGS, &req) == 0;
    ::close(s);
    return up;
}

// A link up with no address or route (a veth pair): with loopback alone the engines count
// themselves offline.
inline bool addDeadLink()
{
    const QString ip = QStandardPaths::findExecutable(QStringLiteral("ip"), {QStringLiteral("/usr/sbin"),
                                                                             QStringLiteral("/sbin")});
    const QList<QStringList> steps = {
        {QStringLiteral("link"), QStringLiteral("add"), QStringLiteral("bench0"), QStringLiteral("type"),
         QStringLiteral("veth"), QStringLiteral("peer"), QStringLiteral("name"), QStringLiteral("bench1")},
        {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("bench0"), QStringLiteral("up")},
        {QStringLiteral("link"), QStringLiteral("set"), QStringLiteral("bench1"), QStringLiteral("up")}};
    for (const QStringList &step : steps) {
        if (ip.isEmpty() || QProcess::execute(ip, step) != 0)
            return false;
    }
    return true;
}

} // namespace ownnetwork
