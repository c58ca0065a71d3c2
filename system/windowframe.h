#pragma once

#include <QMargins>
#include <optional>

class QWindow;

namespace windowframe {

// The frame the window manager will put around `window` (created, not yet shown), so a
// placement that includes the frame can be applied before the window is first mapped.
// Under X11 the manager is asked for it ahead of mapping; elsewhere it is what the
// platform already knows. Empty when no answer came: the frame is then known only once
// the window is on screen.
std::optional<QMargins> beforeShown(QWindow *window);

} // namespace windowframe
