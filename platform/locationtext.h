#pragma once

#include <QString>
#include <QUrl>

// The text an address is shown, listed and kept as. Hosts and paths in their own
// letters, everything else as the request has it; spaces stay %20, as decoded they
// would read back as another address (or, at the end, be trimmed away). Read back
// (urlFromUserText) it is the same request.
inline QString locationText(const QUrl &url)
{
    return url.toString(QUrl::EncodeSpaces);
}
