// What the pieces that talk to the X server share: the program's own
// connection and replies that free themselves.
#pragma once

#include <QGuiApplication>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

struct CXcbFree {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
using XcbReply = std::unique_ptr<T, CXcbFree>;

// The window system's connection; null without X11 (Wayland, offscreen).
inline xcb_connection_t* X11Connection() {
    if (!qGuiApp) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}
