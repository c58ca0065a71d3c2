#include "system/quietlog.h"

#include <QMutex>
#include <QSet>

Q_LOGGING_CATEGORY(lcSettings, "halvane.settings", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPing, "halvane.ping", QtWarningMsg)
Q_LOGGING_CATEGORY(lcDownloads, "halvane.downloads", QtWarningMsg)

namespace quietlog {

void warnOnce(const QLoggingCategory &category, const QString &text)
{
    if (!category.isWarningEnabled())
        return;
    // History writes report from their own thread.
    static QMutex mutex;
    static QSet<QString> told;
    {
        const QMutexLocker lock(&mutex);
        const QString key = QLatin1String(category.categoryName()) + QLatin1Char('|') + text;
        if (told.contains(key))
            return;
        told.insert(key);
    }
    qCWarning(category).noquote() << text;
}

void quietEngineReports()
{
    // Rules set here come before QT_LOGGING_RULES, which can turn them back on.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false\n"
                                                    "js.debug=false\n"
                                                    "js.info=false\n"
                                                    "js.warning=false\n"
                                                    "js.critical=false"));
}

} // namespace quietlog
