#pragma once

#include <QNetworkProxy>
#include <QString>

class SettingsStore;

// How the pages and the link ping reach the network: straight, through the system's
// proxy settings, or through a proxy the user named. Kept in the settings file's
// "Options" section; a value that makes no sense there reads as its default.
struct ProxyChoice
{
    enum class Mode { None, System, Manual };
    enum class Kind { Http, Socks };

    Mode mode = Mode::None;
    Kind kind = Kind::Http;
    QString host;
    int port = 8080;

    static ProxyChoice read(const SettingsStore &settings, const QString &application);
    void save(SettingsStore &settings, const QString &application) const;

    // The proxy this choice means for a connection; the system's is asked per query.
    QNetworkProxy manualProxy() const;
    // Makes this the choice of every connection the process opens from now on: the
    // engine's (it follows the application proxy) and the link ping's.
    void apply() const;

    bool operator==(const ProxyChoice &) const = default;

    // The settings file's section for what Internet Options chooses, this among it.
    static QString settingsSection() { return QStringLiteral("Options"); }
};
