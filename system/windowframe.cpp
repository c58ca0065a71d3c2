#include "system/windowframe.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QThread>
#include <QWindow>

#if defined(HALVANE_HAVE_XCB) && QT_CONFIG(xcb)
#define HALVANE_ASK_X11
#include <xcb/xcb.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#endif

namespace windowframe {

#ifdef HALVANE_ASK_X11
namespace {

struct FreeReply
{
    void operator()(void *p) const { std::free(p); }
};
template<typename T>
using Reply = std::unique_ptr<T, FreeReply>;

xcb_atom_t atom(xcb_connection_t *c, const char *name)
{
    Reply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr));
    return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
}

// Whether the running window manager lists `wanted` among what it supports.
bool managerSupports(xcb_connection_t *c, xcb_window_t root, xcb_atom_t wanted)
{
    const xcb_atom_t supported = atom(c, "_NET_SUPPORTED");
    Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, supported, XCB_ATOM_ATOM, 0, 4096), nullptr));
    if (!r || r->format != 32)
        return false;
    const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(r.get()));
    const int n = xcb_get_property_value_length(r.get()) / int(sizeof(xcb_atom_t));
    return std::find(atoms, atoms + n, wanted) != atoms + n;
}

std::optional<QMargins> extents(xcb_connection_t *c, xcb_window_t window, xcb_atom_t frameExtents)
{
    Reply<xcb_get_property_reply_t> r(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, frameExtents, XCB_ATOM_CARDINAL, 0, 4), nullptr));
    if (!r || r->format != 32 || r->value_len != 4)
        return std::nullopt;
    // Left, right, top, bottom.
    const auto *v = static_cast<const uint32_t *>(xcb_get_property_value(r.get()));
    return QMargins(int(v[0]), int(v[2]), int(v[1]), int(v[3]));
}

std::optional<QMargins> askX11Manager(xcb_connection_t *c, xcb_window_t window)
{
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t request = atom(c, "_NET_REQUEST_FRAME_EXTENTS");
    const xcb_atom_t frameExtents = atom(c, "_NET_FRAME_EXTENTS");
    if (!request || !frameExtents || !managerSupports(c, root, request))
        return std::nullopt;
    xcb_client_message_event_t ev{};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = window;
    ev.type = request;
    xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT,
                   reinterpret_cast<const char *>(&ev));
    xcb_flush(c);
    // The answer is a property on the window. Its change notice belongs to Qt's event
    // loop, so the property is read until it appears; a manager that claims support but
    // stays silent costs a fifth of a second once.
    QElapsedTimer waited;
    waited.start();
    while (waited.elapsed() < 200) {
        if (const auto m = extents(c, window, frameExtents))
            return m;
        QThread::msleep(2);
    }
    return std::nullopt;
}

} // namespace
#endif

std::optional<QMargins> beforeShown(QWindow *window)
{
    if (!window)
        return std::nullopt;
#ifdef HALVANE_ASK_X11
    // Other platforms (offscreen among them) may offer the X11 interface without a
    // connection of their own.
    auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (QGuiApplication::platformName() == QLatin1String("xcb") && x11 && x11->connection())
        return askX11Manager(x11->connection(), xcb_window_t(window->winId()));
#endif
    return window->frameMargins();
}

} // namespace windowframe
