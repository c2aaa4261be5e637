// A stand-in viewer for tessarecord's tests: a window with the viewer's title that claims a
// frame on its console and then repaints itself black for ever, so that no frame is ever
// finished on screen. Needs DISPLAY.
#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>

#include "tessaview_version.h"

int main() {
    Display* dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) {
        std::fprintf(stderr, "stand-in: no display\n");
        return 1;
    }
    const int screen = DefaultScreen(dpy);
    const unsigned long black = BlackPixel(dpy, screen);
    const Window window =
        XCreateSimpleWindow(dpy, RootWindow(dpy, screen), 100, 150, 800, 600, 0, black, black);
    XStoreName(dpy, window, TESSAVIEW_WINDOW_TITLE);
    XMapWindow(dpy, window);
    const GC gc = XCreateGC(dpy, window, 0, nullptr);
    XSetForeground(dpy, gc, black);
    XSync(dpy, False);
    std::printf("==============================\n");
    std::fflush(stdout);
    for (;;) {
        XFillRectangle(dpy, window, gc, 0, 0, 800, 600);
        XSync(dpy, False);
        usleep(20000);
    }
}
