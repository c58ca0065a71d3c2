#include "engine/useraddress.h"

#include <QDir>
#include <QFileInfo>

QUrl urlFromUserText(const QString &text)
{
    const QString input = text.trimmed();
    if (input.isEmpty())
        return {};

    const QString folder = QDir::currentPath();
    QUrl url;
    if (QDir::isAbsolutePath(input) || input.startsWith(QLatin1String("./"))
        || input.startsWith(QLatin1String("../")) || QFileInfo::exists(QDir(folder).filePath(input))) {
        url = QUrl::fromUserInput(input, folder, QUrl::AssumeLocalFile);
    } else if (input.contains(QLatin1String("://"))) {
        // A scheme was typed: take the text as written. fromUserInput would put
        // another "http://" in front of a malformed one. Tolerant, so that a space
        // (typed, or in an entry an older version listed decoded) stands for %20;
        // what locationText makes reads back the same either way.
        url = QUrl(input, QUrl::TolerantMode);
    } else {
        // Without AssumeLocalFile, so that "127.0.0.1:8080/x" is a web address and
        // not a file of that name in the current folder.
        url = QUrl::fromUserInput(input, folder);
    }

    if (!url.isValid() || url.isEmpty() || url.scheme().isEmpty())
        return {};
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("javascript"))
        return {};
    if ((scheme == QLatin1String("http") || scheme == QLatin1String("https")
         || scheme == QLatin1String("ftp"))
        && url.host().isEmpty())
        return {};
    return url;
}
