#pragma once

#include <QLoggingCategory>

// What goes wrong without a word to the user (a history write dropped, a settings value
// refused, a help file refused, a ping that failed) is told here, with the reason, so
// that whoever looks can find out why. Warnings show by default, the rest when asked:
// QT_LOGGING_RULES="halvane.*.info=true".
// Each layer declares its own categories; these are the system seams'.
Q_DECLARE_LOGGING_CATEGORY(lcSettings) // halvane.settings
Q_DECLARE_LOGGING_CATEGORY(lcPing)     // halvane.ping
Q_DECLARE_LOGGING_CATEGORY(lcDownloads) // halvane.downloads

namespace quietlog {

// A warning in category, once a run for each distinct text: a failure that repeats at
// every navigation is told once.
void warnOnce(const QLoggingCategory &category, const QString &text);

// The engine's own start-up report and the pages' console go to the terminal only when
// QT_LOGGING_RULES asks for them; Qt's and our own warnings still show.
void quietEngineReports();

} // namespace quietlog
