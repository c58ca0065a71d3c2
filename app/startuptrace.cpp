#include "app/startuptrace.h"

#include <QElapsedTimer>

Q_LOGGING_CATEGORY(lcStartup, "halvane.startup", QtWarningMsg)

void traceStartup(const char *step)
{
    if (!lcStartup().isInfoEnabled())
        return;
    QElapsedTimer now;
    now.start();
    qCInfo(lcStartup, "%s at %lld ms", step, static_cast<long long>(now.msecsSinceReference()));
}
