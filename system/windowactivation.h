#pragma once

#include <QByteArray>

class QWidget;

// Bringing a window forward when another start of the program asked for it: the desktop
// hands that start a token for the click that started it, and the window manager lets a
// window take the focus from whatever the user is in only with that token.
namespace windowactivation {

// The token the desktop gave this process (XDG_ACTIVATION_TOKEN, else DESKTOP_STARTUP_ID);
// empty when there is none or it is not plain text. Read it before the application object
// is made: the display's plugin takes it from the environment for the program's own first
// window.
QByteArray tokenFromEnvironment();

// Un-minimizes, raises and activates the top-level window, with the token of the start
// that asked for it (under X11 as the startup id and its launch time, under Wayland as the
// activation token); without one, the window manager decides.
void bringForward(QWidget *window, const QByteArray &token = {});

} // namespace windowactivation
