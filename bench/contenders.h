#pragma once

// The program and the browsers a user would pick instead (Debian's falkon, qutebrowser
// and epiphany-browser), each as a link clicked elsewhere starts it: the address as its
// one argument. Each runs in a fresh home of its own (settings, profile, caches), with
// its first-run pages, tips, block-list and safe-browsing downloads and update checks off
// by its own switches, and every address but loopback sent to proxy (a loopback server
// that notes what it is asked and answers nothing useful).
//
// The peers come twice: as they come (their engines draw with OpenGL, on this display
// Mesa's, on the CPU), and drawn without OpenGL as the program is on this display:
// - Qt WebEngine ones with the program's engine flags (scripts/engine-flags) and Qt
//   Quick's software renderer, which the program picks itself where OpenGL is drawn on
//   the CPU;
// - epiphany (WebKitGTK) with accelerated compositing off and Skia painting on the CPU.
// The program itself runs with the engine flags every benchmark gives it.

#include "support/processtree.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <QPair>
#include <QSettings>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <unistd.h>

namespace contenders {

struct Contender
{
    Contender(const QString &name, const QString &program, bool isHalvane = false)
        : name(name)
        , program(program)
        , isHalvane(isHalvane)
    {
    }

    QString name;
    QString program;
    bool isHalvane;
    // The arguments before the address, given the run's home folder.
    std::function<QStringList(const QString &home)> arguments = [](const QString &) { return QStringList(); };
    // Set over the measured environment; an empty value takes the variable away.
    QList<QPair<QString, QString>> environment;
    // What goes into the fresh home before the start.
    std::function<void(const QString &home)> prepare = [](const QString &) {};
};

// The program's window as a window manager would give it: maximized, which without one
// (as here, for every browser alike) only its placement can say.
inline void placeHalvane(const QString &home, QSize screen)
{
    QSettings s(QDir(home).filePath(QStringLiteral(".config/Halvane/Halvane.conf")), QSettings::IniFormat);
    s.setValue(QStringLiteral("Settings/MainLeft"), QStringLiteral("0"));
    s.setValue(QStringLiteral("Settings/MainTop"), QStringLiteral("0"));
    s.setValue(QStringLiteral("Settings/MainWidth"), QString::number(screen.width() * 15));
    s.setValue(QStringLiteral("Settings/MainHeight"), QString::number(screen.height() * 15));
}

// epiphany's settings, read from the home with GSETTINGS_BACKEND=keyfile: its block
// lists and safe-browsing lists are fetched from the internet at its start otherwise.
inline void quietEpiphany(const QString &home)
{
    const QDir folder(QDir(home).filePath(QStringLiteral(".config/glib-2.0/settings")));
    folder.mkpath(QStringLiteral("."));
    QFile keyfile(folder.filePath(QStringLiteral("keyfile")));
    if (keyfile.open(QIODevice::WriteOnly))
        keyfile.write("[org/gnome/epiphany/web]\nenable-adblock=false\nenable-safe-browsing=false\n");
}

inline QList<Contender> all(const QString &halvane, quint16 proxyPort, QSize screen)
{
    const QString proxy = QStringLiteral("127.0.0.1:%1").arg(proxyPort);
    const QString proxyUrl = QStringLiteral("http://%1/").arg(proxy);
    const QString engineFlags = processtree::engineFlags(proxyPort);
    const QPair<QString, QString> quickSoftware{QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software")};
    const QPair<QString, QString> noEngineFlags{QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), QString()};
    const QString asTheyCome = QStringLiteral(", as it comes");
    const QString withoutGl = QStringLiteral(", drawn without OpenGL");

    QList<Contender> list;
    Contender h(QStringLiteral("Halvane"), halvane, true);
    h.environment = {{QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"), engineFlags},
                     {QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("halvane.startup.info=true")},
                     {QStringLiteral("QT_MESSAGE_PATTERN"), QStringLiteral("%{category}: %{message}")}};
    h.prepare = [screen](const QString &home) { placeHalvane(home, screen); };
    list << h;

    // falkon: --no-extensions keeps its ad-block plug-in from fetching its lists.
    for (bool gl : {true, false}) {
        Contender f(QStringLiteral("falkon") + (gl ? asTheyCome : withoutGl), QStringLiteral("falkon"));
        f.arguments = [](const QString &) { return QStringList{QStringLiteral("--no-extensions")}; };
        f.environment = {{QStringLiteral("QTWEBENGINE_CHROMIUM_FLAGS"),
                          gl ? QStringLiteral("--proxy-server=") + proxy : engineFlags}};
        if (!gl)
            f.environment << quickSoftware;
        list << f;
    }
    // qutebrowser: a base folder of its own leaves out its quick-start page; the engine's
    // switches go through its own --qt-flag, and its proxy setting is the one it obeys.
    for (bool gl : {true, false}) {
        Contender q(QStringLiteral("qutebrowser") + (gl ? asTheyCome : withoutGl), QStringLiteral("qutebrowser"));
        q.arguments = [proxyUrl, gl](const QString &home) {
            QStringList args{QStringLiteral("--basedir"), QDir(home).filePath(QStringLiteral("qutebrowser")),
                             QStringLiteral("-s"), QStringLiteral("content.proxy"), proxyUrl};
            if (!gl) {
                for (const QString &flag : processtree::engineFlags(0).split(u' ', Qt::SkipEmptyParts))
                    args << QStringLiteral("--qt-flag") << flag.mid(2);
            }
            return args;
        };
        q.environment = {noEngineFlags};
        if (!gl)
            q.environment << quickSoftware;
        list << q;
    }
    // epiphany: WebKitGTK's sandbox cannot run as root.
    for (bool gl : {true, false}) {
        Contender e(QStringLiteral("epiphany") + (gl ? asTheyCome : withoutGl), QStringLiteral("epiphany"));
        e.environment = {noEngineFlags,
                         {QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("keyfile")},
                         {QStringLiteral("http_proxy"), proxyUrl},
                         {QStringLiteral("https_proxy"), proxyUrl},
                         {QStringLiteral("no_proxy"), QStringLiteral("127.0.0.1,localhost")}};
        if (::geteuid() == 0)
            e.environment << qMakePair(QStringLiteral("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS"), QStringLiteral("1"));
        if (!gl)
            e.environment << qMakePair(QStringLiteral("WEBKIT_DISABLE_COMPOSITING_MODE"), QStringLiteral("1"))
                          << qMakePair(QStringLiteral("WEBKIT_SKIA_ENABLE_CPU_RENDERING"), QStringLiteral("1"));
        e.prepare = quietEpiphany;
        list << e;
    }
    return list;
}

} // namespace contenders
