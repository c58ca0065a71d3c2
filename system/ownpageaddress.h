#pragma once

#include <QString>

// Addresses that run or carry a page of their own (javascript:, data:) are what a link
// elsewhere could smuggle in; nobody types them, so nothing from outside opens them.
inline bool runsItsOwnPage(const QString &address)
{
    qsizetype start = 0;
    while (start < address.size() && address.at(start).isSpace())
        ++start;
    const QStringView rest = QStringView(address).mid(start);
    return rest.startsWith(QLatin1String("javascript:"), Qt::CaseInsensitive)
        || rest.startsWith(QLatin1String("data:"), Qt::CaseInsensitive);
}
