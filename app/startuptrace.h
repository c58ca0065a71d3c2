#pragma once

#include <QLoggingCategory>

// Start-up steps stamped with the monotonic clock (milliseconds), so that whoever started
// the program can set them against its own reading of that clock. Silent unless asked
// for: QT_LOGGING_RULES="halvane.startup.info=true".
Q_DECLARE_LOGGING_CATEGORY(lcStartup)

// One line: "<step> at <ms> ms".
void traceStartup(const char *step);
