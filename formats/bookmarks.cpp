#include "formats/bookmarks.h"

#include <QUrl>

bool operator==(const Bookmark &a, const Bookmark &b)
{
    return a.name == b.name && a.address == b.address && a.added == b.added && a.folder == b.folder
           && a.children == b.children;
}

namespace bookmarks {

bool keptAddress(const QString &address)
{
    if (address.isEmpty() || address.size() > MaxAddressChars)
        return false;
    const QUrl url(address);
    if (!url.isValid() || url.isRelative())
        return false;
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("file"))
        return true;
    return (scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("ftp"))
           && !url.host().isEmpty();
}

namespace {

// Characters that reorder the text around them: a name could show its letters in
// another order than they are stored in.
bool reordersText(char16_t c)
{
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) || c == 0x200E || c == 0x200F;
}

} // namespace

QString plainName(QStringView text)
{
    QString name;
    name.reserve(std::min(text.size(), MaxNameChars));
    bool space = false;
    for (const QChar c : text) {
        if (c.isSpace()) {
            space = !name.isEmpty();
            continue;
        }
        if (c.category() == QChar::Other_Control || reordersText(c.unicode()))
            continue;
        if (space)
            name += QLatin1Char(' ');
        space = false;
        name += c;
        if (name.size() >= MaxNameChars)
            break;
    }
    // A pair cut in half would show as a stray half.
    if (!name.isEmpty() && name.back().isHighSurrogate())
        name.chop(1);
    return name;
}

QDateTime fromSeconds(qint64 seconds)
{
    // Up to the year 9999.
    if (seconds <= 0 || seconds > 253'402'300'799)
        return {};
    return QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
}

qsizetype count(const QList<Bookmark> &tree)
{
    qsizetype n = tree.size();
    for (const Bookmark &b : tree)
        n += count(b.children);
    return n;
}

} // namespace bookmarks
