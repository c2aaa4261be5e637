// A stand-in viewer for tessarecord's tests: a window with the viewer's title. Needs DISPLAY.
// Without arguments it claims a frame on its console and then repaints itself black for ever,
// so that no frame is ever finished on screen. With "twice" it draws its grey start-up picture
// twice, 150 ms apart, and looks at its events only 100 ms later (as a viewer does whose window
// system events come in two batches), then answers each key with a picture of its own.
#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "tessaview_version.h"

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 600;

// Fills the window with colour (0xRRGGBB on a 24-bit screen), waits until the server has drawn
// it, and claims the frame on the console.
void drawFrame(Display* dpy, Window window, GC gc, unsigned long colour) {
    XSetForeground(dpy, gc, colour);
    XFillRectangle(dpy, window, gc, 0, 0, kWidth, kHeight);
    XSync(dpy, False);
    std::printf("==============================\n");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    const bool twice = argc > 1 && std::strcmp(argv[1], "twice") == 0;
    Display* dpy = XOpenDisplay(nullptr);
    if (dpy == nullptr) {
        std::fprintf(stderr, "stand-in: no display\n");
        return 1;
    }
    const int screen = DefaultScreen(dpy);
    const unsigned long black = BlackPixel(dpy, screen);
    const Window window = XCreateSimpleWindow(dpy, RootWindow(dpy, screen), 100, 150, kWidth,
                                              kHeight, 0, black, black);
    XStoreName(dpy, window, TESSAVIEW_WINDOW_TITLE);
    if (twice) {
        XSelectInput(dpy, window, StructureNotifyMask | KeyPressMask);
    }
    XMapWindow(dpy, window);
    const GC gc = XCreateGC(dpy, window, 0, nullptr);
    if (!twice) {
        XSync(dpy, False);
        std::printf("==============================\n");
        std::fflush(stdout);
        for (;;) {
            XSetForeground(dpy, gc, black);
            XFillRectangle(dpy, window, gc, 0, 0, kWidth, kHeight);
            XSync(dpy, False);
            usleep(20000);
        }
    }
    XEvent event{};
    while (event.type != MapNotify) {
        XNextEvent(dpy, &event);
    }
    drawFrame(dpy, window, gc, 0x808080);
    usleep(150000);
    drawFrame(dpy, window, gc, 0x808080);
    usleep(100000);  // a key that came meanwhile waits, as it does while a viewer draws
    for (unsigned long keys = 1;; XNextEvent(dpy, &event)) {
        if (event.type == KeyPress) {
            drawFrame(dpy, window, gc, (0x204080 + 0x201000 * keys++) & 0xffffff);
        }
    }
}
