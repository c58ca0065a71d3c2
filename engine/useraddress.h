#pragma once

#include <QString>
#include <QUrl>

// The address a user's text stands for: an existing local path (absolute or relative
// to the current folder) as a file URL, a web address with or without its scheme; an
// empty URL for blank, malformed or script text.
QUrl urlFromUserText(const QString &text);
