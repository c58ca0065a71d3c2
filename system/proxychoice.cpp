#include "system/proxychoice.h"

#include "system/quietlog.h"
#include "system/settingsstore.h"

#include <QNetworkProxyFactory>

namespace {

struct Named
{
    const char *name;
    int value;
};

// The first of each is the default.
constexpr Named Modes[] = {{"system", int(ProxyChoice::Mode::System)},
                           {"none", int(ProxyChoice::Mode::None)},
                           {"manual", int(ProxyChoice::Mode::Manual)}};
constexpr Named Kinds[] = {{"http", int(ProxyChoice::Kind::Http)}, {"socks", int(ProxyChoice::Kind::Socks)}};

template<size_t N>
int valueOf(const Named (&names)[N], const QString &text, const QString &key)
{
    for (const Named &n : names) {
        if (text == QLatin1String(n.name))
            return n.value;
    }
    quietlog::warnOnce(lcSettings(), QStringLiteral("Options/%1 \"%2\" is not a known value; using \"%3\"")
                                         .arg(key, text.left(100), QLatin1String(names[0].name)));
    return names[0].value;
}

template<size_t N>
QString nameOf(const Named (&names)[N], int value)
{
    for (const Named &n : names) {
        if (n.value == value)
            return QLatin1String(n.name);
    }
    return QLatin1String(names[0].name);
}

} // namespace

ProxyChoice ProxyChoice::read(const SettingsStore &settings, const QString &application)
{
    auto get = [&](const char *key, const char *fallback) {
        return settings.get(application, ProxyChoice::settingsSection(), QLatin1String(key), QLatin1String(fallback)).trimmed();
    };
    ProxyChoice c;
    c.mode = Mode(valueOf(Modes, get("ProxyMode", "system"), QStringLiteral("ProxyMode")));
    c.kind = Kind(valueOf(Kinds, get("ProxyType", "http"), QStringLiteral("ProxyType")));
    c.host = get("ProxyHost", "").left(253);
    bool ok = false;
    const int port = get("ProxyPort", "8080").toInt(&ok);
    c.port = ok && port >= 1 && port <= 65535 ? port : 8080;
    // A manual proxy without a host cannot be used: the default instead.
    if (c.mode == Mode::Manual && c.host.isEmpty())
        c.mode = Mode::System;
    return c;
}

void ProxyChoice::save(SettingsStore &settings, const QString &application) const
{
    const QString section = settingsSection();
    settings.save(application, section, QStringLiteral("ProxyMode"), nameOf(Modes, int(mode)));
    settings.save(application, section, QStringLiteral("ProxyType"), nameOf(Kinds, int(kind)));
    settings.save(application, section, QStringLiteral("ProxyHost"), host);
    settings.save(application, section, QStringLiteral("ProxyPort"), QString::number(port));
}

QNetworkProxy ProxyChoice::manualProxy() const
{
    return QNetworkProxy(kind == Kind::Socks ? QNetworkProxy::Socks5Proxy : QNetworkProxy::HttpProxy, host,
                         quint16(port));
}

void ProxyChoice::apply() const
{
    if (mode == Mode::System) {
        // Qt starts with the system's settings, and the engine then takes its own way to
        // them, its switches included; any application proxy would override that. Once
        // another choice was applied, this brings the start's state back.
        if (!QNetworkProxyFactory::usesSystemConfiguration())
            QNetworkProxyFactory::setUseSystemConfiguration(true);
        return;
    }
    // Setting the application proxy turns the system's settings off.
    QNetworkProxy::setApplicationProxy(mode == Mode::Manual ? manualProxy() : QNetworkProxy(QNetworkProxy::NoProxy));
}
