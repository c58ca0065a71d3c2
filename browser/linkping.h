#pragma once

#include <QString>

// How a link ping finds the host in the address about to be visited.
namespace linkping {

struct Target
{
    QString remainder; // the address with every "http://" taken out
    int slash = 0;     // 1-based position of the first "/" in remainder, 0 when none
    QString host;      // remainder with every "/" taken out
};

// Only a bare host followed by one slash comes out as a host name; a path, a port or
// another scheme stays glued to it, and the socket refuses or fails to resolve it.
Target parse(const QString &url);

// Shown in the tools panel when an address cannot be pinged.
QString failureMessage();

} // namespace linkping
