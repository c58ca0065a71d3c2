#include "engine/downloadname.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringView>

namespace {

// What one name may take on the usual Linux file systems.
constexpr qsizetype MaxNameBytes = 255;
// A suffix longer than this is no file type worth keeping when the name is cut.
constexpr qsizetype MaxKeptSuffix = 16;

bool dropped(QChar ch)
{
    // C0, DEL and C1 controls (NUL, CR, LF ...), and formatting characters such as
    // the direction overrides that make "evil<RLO>txt.sh" read as "evilhs.txt".
    return ch.category() == QChar::Other_Control || ch.category() == QChar::Other_Format;
}

// The longest start of text that takes at most maxBytes in UTF-8, never splitting a
// surrogate pair.
QString utf8Prefix(const QString &text, qsizetype maxBytes)
{
    qsizetype bytes = 0;
    qsizetype kept = 0;
    while (kept < text.size()) {
        const bool pair = text.at(kept).isHighSurrogate() && kept + 1 < text.size()
                          && text.at(kept + 1).isLowSurrogate();
        const qsizetype length = pair ? 2 : 1;
        const qsizetype charBytes = QStringView(text).mid(kept, length).toUtf8().size();
        if (bytes + charBytes > maxBytes)
            break;
        bytes += charBytes;
        kept += length;
    }
    return text.left(kept);
}

} // namespace

QString cleanDownloadName(const QString &serverName)
{
    // Both separators: a name made on another system is cut the same way.
    const qsizetype cut = qMax(serverName.lastIndexOf(QLatin1Char('/')),
                               serverName.lastIndexOf(QLatin1Char('\\')));
    QString name = serverName.mid(cut + 1);
    name.removeIf(dropped);

    // No hidden file, and nothing that names the folder itself or the one above.
    qsizetype start = 0;
    while (start < name.size() && (name.at(start) == QLatin1Char('.') || name.at(start).isSpace()))
        ++start;
    name = name.mid(start).trimmed();

    if (name.toUtf8().size() > MaxNameBytes) {
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        const QString suffix =
            dot > 0 && name.size() - dot <= MaxKeptSuffix ? name.mid(dot) : QString();
        name = utf8Prefix(name.left(name.size() - suffix.size()),
                          MaxNameBytes - suffix.toUtf8().size())
               + suffix;
    }
    return name.isEmpty() ? QStringLiteral("download") : name;
}

QString downloadFolder()
{
    const QString wanted = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    if (wanted.isEmpty() || QDir::isRelativePath(wanted))
        return QDir::homePath();
    if (QFileInfo(wanted).isDir())
        return wanted;
    // The folders above it as the desktop would make them; the download folder itself
    // is made owner-only from the start, never opened up for a moment.
    const QFileInfo info(wanted);
    if (!QDir().mkpath(info.absolutePath()))
        return QDir::homePath();
    if (!QDir().mkdir(wanted, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
        && !QFileInfo(wanted).isDir())
        return QDir::homePath();
    return wanted;
}
