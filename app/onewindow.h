#pragma once

#include "system/windowactivation.h"

#include <QPointer>

// A modeless window of which there is one at a time: made when first asked for, gone when
// closed, and brought forward (un-minimized, raised, active) each time it is asked for.
template<typename Window, typename Make>
Window *showOneWindow(QPointer<Window> &window, Make make)
{
    if (!window) {
        window = make();
        window->setAttribute(Qt::WA_DeleteOnClose);
    }
    window->show();
    windowactivation::bringForward(window);
    return window;
}
