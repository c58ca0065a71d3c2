#pragma once

#include <QNetworkProxy>
#include <QString>

class SettingsStore;

// How the pages and the link ping reach the network: straight, through the system's
// proxy settings, or through a proxy the user named. Kept in the settings file's
// "Options" section; nothing stored, or a value that makes no sense there, reads as
// the default: the system's settings, which the engine follows by itself (the
// environment's http_proxy, https_proxy and no_proxy, the desktop's settings, and its
// own --proxy-server switch).
struct ProxyChoice
{
    enum class Mode { None, System, Manual };
    enum class Kind { Http, Socks };

    Mode mode = Mode::System;
    Kind kind = Kind::Http;
    QString host;
    int port = 8080;

    static ProxyChoice read(const SettingsStore &settings, const QString &application);
    void save(SettingsStore &settings, const QString &application) const;

    // The proxy this choice means for a connection; the system's is asked per query.
    QNetworkProxy manualProxy() const;
    // Makes this the choice of every connection the process opens from now on: the
    // engine's (it follows the application proxy, or with the system's settings its
    // own) and the link ping's (it asks Qt's proxy query, which follows the same).
    // The system's choice where nothing was changed before touches nothing.
    void apply() const;

    bool operator==(const ProxyChoice &) const = default;

    // The settings file's section for what Internet Options chooses, this among it.
    static QString settingsSection() { return QStringLiteral("Options"); }
};
