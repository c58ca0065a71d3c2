#include "app/sessionfile.h"

#include "system/ownpageaddress.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

Q_LOGGING_CATEGORY(lcSession, "halvane.session", QtWarningMsg)

namespace sessionfile {

namespace {

const QString formatName = QStringLiteral("Halvane session");
const std::array<QString, 3> stateNames{QStringLiteral("normal"), QStringLiteral("minimized"),
                                        QStringLiteral("maximized")};
const std::array<const char *, 4> placeKeys{"left", "top", "width", "height"};

// A whole number within [minimum, maximum], or nothing.
std::optional<int> whole(const QJsonValue &value, int minimum, int maximum)
{
    if (!value.isDouble())
        return std::nullopt;
    const double d = value.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < minimum || d > maximum)
        return std::nullopt;
    return int(d);
}

QJsonObject windowObject(const Window &window)
{
    const QRect &p = window.place;
    const int values[] = {p.x(), p.y(), p.width(), p.height()};
    QJsonObject o{{QStringLiteral("address"), keepable(window.address) ? window.address : QString()},
                  {QStringLiteral("state"), stateNames.at(std::size_t(window.state))}};
    for (std::size_t i = 0; i < placeKeys.size(); ++i)
        o.insert(QLatin1String(placeKeys[i]), qBound(i < 2 ? -MaxCoordinate : 1, values[i], MaxCoordinate));
    return o;
}

// One window of the file, or why it is none.
std::optional<Window> readWindow(const QJsonValue &value, QString *problem)
{
    const QJsonObject o = value.toObject();
    const QJsonValue address = o.value(QStringLiteral("address"));
    if (!value.isObject() || !address.isString()) {
        *problem = QStringLiteral("it has a window without an address");
        return std::nullopt;
    }
    Window window;
    window.address = address.toString();
    if (!keepable(window.address)) {
        *problem = QStringLiteral("it has an address that is no page to reopen");
        return std::nullopt;
    }
    int values[4];
    for (std::size_t i = 0; i < placeKeys.size(); ++i) {
        const std::optional<int> v = whole(o.value(QLatin1String(placeKeys[i])), i < 2 ? -MaxCoordinate : 1,
                                           MaxCoordinate);
        if (!v) {
            *problem = QStringLiteral("it has a window whose %1 is no number from %2 to %3")
                           .arg(QLatin1String(placeKeys[i]))
                           .arg(i < 2 ? -MaxCoordinate : 1)
                           .arg(MaxCoordinate);
            return std::nullopt;
        }
        values[i] = *v;
    }
    window.place = QRect(values[0], values[1], values[2], values[3]);
    const auto state = std::find(stateNames.cbegin(), stateNames.cend(), o.value(QStringLiteral("state")).toString());
    if (state == stateNames.cend()) {
        *problem = QStringLiteral("it has a window of no known state");
        return std::nullopt;
    }
    window.state = Window::State(state - stateNames.cbegin());
    return window;
}

// The object's fields besides the windows, into session; false with why when damaged.
bool readHeader(const QJsonObject &o, Session &session, QString *problem)
{
    if (o.value(QStringLiteral("format")).toString() != formatName) {
        *problem = QStringLiteral("it is no Halvane session");
        return false;
    }
    const std::optional<int> version = whole(o.value(QStringLiteral("version")), 1, std::numeric_limits<int>::max());
    if (!version) {
        *problem = QStringLiteral("it has no version number");
        return false;
    }
    if (*version > Version) {
        *problem = QStringLiteral("it was written by a later Halvane (version %1 of the format)").arg(*version);
        return false;
    }
    const QJsonValue clean = o.value(QStringLiteral("endedCleanly"));
    if (!clean.isBool()) {
        *problem = QStringLiteral("it does not say how the session ended");
        return false;
    }
    session.endedCleanly = clean.toBool();
    return true;
}

// A new name beside path for a damaged file; empty when none could be given.
QString setAside(const QString &path)
{
    for (int n = 1; n <= 100; ++n) {
        const QString aside = path + QStringLiteral(".damaged") + (n == 1 ? QString() : QStringLiteral("-%1").arg(n));
        if (!QFileInfo::exists(aside) && QDir().rename(path, aside))
            return aside;
    }
    return {};
}

} // namespace

bool keepable(const QString &address)
{
    return !runsItsOwnPage(address) && address.size() <= MaxAddressBytes && address.toUtf8().size() <= MaxAddressBytes;
}

QByteArray toBytes(const Session &session)
{
    QJsonArray windows;
    // Each character may take six bytes escaped; the rest of a window takes far less
    // than the allowance.
    qint64 room = MaxBytes - 1024;
    for (const Window &window : session.windows) {
        room -= 6 * qint64(window.address.size()) + 256;
        if (windows.size() == MaxWindows || room < 0)
            break;
        windows.append(windowObject(window));
    }
    const QJsonObject o{{QStringLiteral("format"), formatName},
                        {QStringLiteral("version"), Version},
                        {QStringLiteral("endedCleanly"), session.endedCleanly},
                        {QStringLiteral("active"), session.active < windows.size() ? session.active : -1},
                        {QStringLiteral("windows"), windows}};
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

Reading fromBytes(const QByteArray &bytes)
{
    Reading r;
    if (bytes.size() > MaxBytes) {
        r.problem = QStringLiteral("it is larger than %1 MiB").arg(MaxBytes / (1024 * 1024));
        return r;
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        r.problem = error.error != QJsonParseError::NoError
                        ? QStringLiteral("%1 at byte %2").arg(error.errorString()).arg(error.offset)
                        : QStringLiteral("it is no Halvane session");
        return r;
    }
    const QJsonObject o = document.object();
    Session session;
    if (!readHeader(o, session, &r.problem))
        return r;
    const QJsonValue windows = o.value(QStringLiteral("windows"));
    if (!windows.isArray() || windows.toArray().size() > MaxWindows) {
        r.problem = windows.isArray() ? QStringLiteral("it lists more than %1 windows").arg(MaxWindows)
                                      : QStringLiteral("it has no list of windows");
        return r;
    }
    for (const QJsonValue &value : windows.toArray()) {
        std::optional<Window> window = readWindow(value, &r.problem);
        if (!window)
            return r;
        session.windows << *window;
    }
    const std::optional<int> active = whole(o.value(QStringLiteral("active")), -1, int(session.windows.size()) - 1);
    if (!active) {
        r.problem = QStringLiteral("its active window is none of its windows");
        return r;
    }
    session.active = *active;
    r.session = session;
    return r;
}

Loaded load(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return {};
    Reading r;
    QFile file(path);
    // Not a FIFO or a device, whose reading could block or never end.
    if (!info.isFile())
        r.problem = QStringLiteral("it is not a file");
    else if (!file.open(QIODevice::ReadOnly))
        r.problem = QStringLiteral("it cannot be read: ") + file.errorString();
    else
        r = fromBytes(file.read(MaxBytes + 1));
    file.close();
    if (r.session)
        return {r.session, {}};
    const QString aside = setAside(path);
    const QString notice
        = aside.isEmpty()
              ? QStringLiteral("The windows from last time cannot be reopened: %1 is damaged (%2) and could not "
                               "be set aside.")
                    .arg(QDir::toNativeSeparators(path), r.problem)
              : QStringLiteral("The windows from last time cannot be reopened: %1 is damaged (%2). It was set aside "
                               "as %3.")
                    .arg(QDir::toNativeSeparators(path), r.problem, QDir::toNativeSeparators(aside));
    qCWarning(lcSession).noquote() << notice;
    return {std::nullopt, notice};
}

} // namespace sessionfile
