// SPDX-License-Identifier: GPL-3.0-or-later
// send_close_request WINDOW_ID
//
// Asks an X11 top-level window to close, exactly as a window manager's close
// button does: a ClientMessage WM_PROTOCOLS carrying WM_DELETE_WINDOW. Unlike
// `xdotool windowclose` (which destroys the window under the program's feet)
// or killing the process, the program gets its ordinary close event and shuts
// down on its own. Works without a window manager. Exits 0 when the message
// was sent, 1 when the window does not take part in the WM_DELETE_WINDOW
// protocol or cannot be reached, 2 on bad usage.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>

namespace {

bool supportsDeleteWindow(Display* display, Window window, Atom deleteWindow) {
    Atom* protocols = nullptr;
    int count = 0;
    if (XGetWMProtocols(display, window, &protocols, &count) == 0) {
        return false;
    }
    bool found = false;
    for (int i = 0; i < count; ++i) {
        found = found || protocols[i] == deleteWindow;
    }
    XFree(protocols);
    return found;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s WINDOW_ID\n", argv[0]);
        return 2;
    }
    char* end = nullptr;
    const unsigned long id = std::strtoul(argv[1], &end, 0);
    if (end == argv[1] || *end != '\0' || id == 0) {
        std::fprintf(stderr, "%s: not a window id: %s\n", argv[0], argv[1]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "%s: cannot open the display\n", argv[0]);
        return 1;
    }
    const Window window = static_cast<Window>(id);
    const Atom protocols = XInternAtom(display, "WM_PROTOCOLS", False);
    const Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    if (!supportsDeleteWindow(display, window, deleteWindow)) {
        std::fprintf(stderr, "%s: window 0x%lx does not accept WM_DELETE_WINDOW\n", argv[0], id);
        XCloseDisplay(display);
        return 1;
    }

    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = protocols;
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(deleteWindow);
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    XCloseDisplay(display);
    return sent != 0 ? 0 : 1;
}
