#pragma once

#include <QByteArray>
#include <QList>
#include <QLoggingCategory>
#include <QRect>
#include <QString>
#include <optional>

// halvane.session: a session file set aside, or one that could not be written.
Q_DECLARE_LOGGING_CATEGORY(lcSession)

// The numbered document windows of a session, as kept in "session.json" in the profile's
// data folder. Version 1 of the format, UTF-8 JSON, one object:
//
//   {
//     "format": "Halvane session",      always this text
//     "version": 1,                      a later version is not read
//     "endedCleanly": false,             true only when the main window closed in order
//     "active": 0,                       index of the active window; -1 when none
//     "windows": [                       in the order of their numbers, at most MaxWindows
//       { "address": "https://example.org/",   at most MaxAddressBytes of UTF-8; empty
//                                                for a window that showed no address
//         "left": 0, "top": 0, "width": 600, "height": 400,
//                                               its restored place in the document area,
//                                               logical pixels, within MaxCoordinate
//         "state": "normal" }                   "normal", "minimized" or "maximized"
//     ]
//   }
//
// Keys not listed here are passed over, so a later version may add some. Anything else
// (not JSON, a missing key, a value of the wrong type or out of its range, an address
// that runs a page of its own, a file over MaxBytes) makes the file damaged as a whole:
// a half-trusted session is not reopened.
namespace sessionfile {

inline constexpr int Version = 1;
inline constexpr int MaxWindows = 500;
inline constexpr qsizetype MaxAddressBytes = 64 * 1024;
inline constexpr int MaxCoordinate = 1'000'000;
inline constexpr qint64 MaxBytes = 8 * 1024 * 1024;

// The file's name in the profile's data folder.
inline QString fileName() { return QStringLiteral("session.json"); }

struct Window
{
    enum class State { Normal, Minimized, Maximized };
    QString address;
    QRect place;
    State state = State::Normal;
    friend bool operator==(const Window &, const Window &) = default;
};

struct Session
{
    QList<Window> windows;
    int active = -1;
    bool endedCleanly = false;
    friend bool operator==(const Session &, const Session &) = default;
};

// Whether an address may be kept and reopened: not one that runs a page of its own, and
// not longer than the file keeps.
bool keepable(const QString &address);

// The file's bytes. Windows past MaxWindows are left out, and so are those past what
// keeps the file within MaxBytes; an address that is not keepable is kept empty.
QByteArray toBytes(const Session &session);

// The session in bytes, or why they are none (a sentence without its full stop).
struct Reading
{
    std::optional<Session> session;
    QString problem;
};
Reading fromBytes(const QByteArray &bytes);

// The session in the file at path, read in bounded memory. No file: no session, and
// nothing said. A damaged one is set aside beside it (renamed, never deleted), and
// notice says so in a sentence for the status bar.
struct Loaded
{
    std::optional<Session> session;
    QString notice;
};
Loaded load(const QString &path);

} // namespace sessionfile
