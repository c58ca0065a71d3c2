#include "browser/linkping.h"

namespace linkping {

Target parse(const QString &url)
{
    Target t;
    t.remainder = url;
    t.remainder.remove(QStringLiteral("http://"), Qt::CaseSensitive);
    t.slash = int(t.remainder.indexOf(QLatin1Char('/'))) + 1;
    t.host = t.remainder;
    t.host.remove(QLatin1Char('/'));
    return t;
}

QString failureMessage()
{
    const QString example = QStringLiteral("www.marrowdyne.com");
    return QStringLiteral("Only domains may be pinged (i.e ") + example + QStringLiteral(" - NOT ") + example
        + QStringLiteral("/help)");
}

} // namespace linkping
