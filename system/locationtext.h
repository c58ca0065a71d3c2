#pragma once

#include "system/hostdisplay.h"

#include <QString>
#include <QUrl>

// The text an address is shown, listed and kept as. Paths in their own letters, hosts
// in theirs where they cannot pass for another name (else in xn-- form, see
// hostdisplay), everything else as the request has it; spaces stay %20, as decoded they
// would read back as another address (or, at the end, be trimmed away). Read back
// (urlFromUserText) it is the same request.
using hostdisplay::locationText;
