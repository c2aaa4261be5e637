// Xlib and DAMAGE: the screens' drawing, window capture and keys sent as events.
#include "tessarecord/x_display.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tessarecord/processes.h"
#include "tessarecord/record_errors.h"

namespace tessarecord {

namespace {

// The code of the last X error, 0 for none: Xlib's error handler has no context of its own.
// 0 at start; written by recordXError(), cleared before each request whose failure is checked.
int g_lastXError = 0;

int recordXError(Display*, XErrorEvent* event) {
    g_lastXError = event->error_code;
    return 0;
}

// Xlib ends the process after this returns: end the programs started first.
int onXConnectionLost(Display*) {
    killChildrenNow();
    std::fprintf(stderr, "tessarecord: lost the connection to the virtual X server\n");
    std::fflush(stderr);
    ::_exit(1);
}

}  // namespace

struct XDisplay::Connection {
    struct Screen {
        Window root = 0;
        Damage damage = 0;  // on the root, so it covers every window in it
        bool damaged = false;
        Window window = 0;  // the window found, 0 for none
        int width = 0;
        int height = 0;
    };
    Display* dpy = nullptr;
    int damageEvent = 0;
    std::vector<Screen> screens;
};

XDisplay::XDisplay() : x_(std::make_unique<Connection>()) {}

XDisplay::~XDisplay() {
    close();
}

void XDisplay::open(const std::string& name, int screens) {
    XSetErrorHandler(recordXError);
    XSetIOErrorHandler(onXConnectionLost);
    x_->dpy = XOpenDisplay(name.c_str());
    if (x_->dpy == nullptr) {
        throw failure("cannot connect to the virtual X server on " + name);
    }
    int error = 0;
    if (!XDamageQueryExtension(x_->dpy, &x_->damageEvent, &error)) {
        throw failure("the virtual X server has no DAMAGE extension");
    }
    if (ScreenCount(x_->dpy) < screens) {
        throw failure("the virtual X server started with fewer than " + std::to_string(screens) +
                      " screens");
    }
    x_->screens.assign(static_cast<size_t>(screens), Connection::Screen{});
    for (int i = 0; i < screens; ++i) {
        // Damage on a root covers every window in it: the viewer's drawing is seen from its
        // first frame on, however soon it comes.
        Connection::Screen& screen = x_->screens[static_cast<size_t>(i)];
        screen.root = RootWindow(x_->dpy, i);
        screen.damage = XDamageCreate(x_->dpy, screen.root, XDamageReportNonEmpty);
    }
    XSync(x_->dpy, False);
}

void XDisplay::close() {
    if (x_->dpy != nullptr) {
        XCloseDisplay(x_->dpy);
        x_->dpy = nullptr;
    }
    x_->screens.clear();
}

int XDisplay::fd() const {
    return ConnectionNumber(x_->dpy);
}

void XDisplay::handleEvents() {
    for (int pending = XPending(x_->dpy); pending > 0; --pending) {
        XEvent event;
        XNextEvent(x_->dpy, &event);
        if (event.type != x_->damageEvent + XDamageNotify) {
            continue;
        }
        const auto& damage = reinterpret_cast<const XDamageNotifyEvent&>(event);
        for (Connection::Screen& screen : x_->screens) {
            if (damage.damage == screen.damage) {
                screen.damaged = true;
            }
        }
    }
}

bool XDisplay::damaged(int screen) const {
    return x_->screens.at(static_cast<size_t>(screen)).damaged;
}

void XDisplay::clearDamage(int screen) {
    Connection::Screen& s = x_->screens.at(static_cast<size_t>(screen));
    XDamageSubtract(x_->dpy, s.damage, None, None);
    XSync(x_->dpy, False);
    handleEvents();
    s.damaged = false;
}

bool XDisplay::findWindow(int screen, const char* titleStart) {
    Connection::Screen& s = x_->screens.at(static_cast<size_t>(screen));
    if (s.window != 0) {
        return true;
    }
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(x_->dpy, s.root, &root, &parent, &children, &count)) {
        for (unsigned int i = count; i-- > 0 && s.window == 0;) {
            char* name = nullptr;
            if (XFetchName(x_->dpy, children[i], &name) && name != nullptr) {
                XWindowAttributes attributes;
                if (std::strncmp(name, titleStart, std::strlen(titleStart)) == 0 &&
                    XGetWindowAttributes(x_->dpy, children[i], &attributes) &&
                    attributes.map_state == IsViewable) {
                    s.window = children[i];
                    s.width = attributes.width;
                    s.height = attributes.height;
                }
                XFree(name);
            }
        }
        XFree(children);
    }
    return s.window != 0;
}

bool XDisplay::windowExists(int screen) {
    const Connection::Screen& s = x_->screens.at(static_cast<size_t>(screen));
    if (s.window == 0) {
        return false;
    }
    g_lastXError = 0;
    XWindowAttributes attributes;
    const Status ok = XGetWindowAttributes(x_->dpy, s.window, &attributes);
    return ok != 0 && g_lastXError == 0;
}

void XDisplay::forgetWindow(int screen) {
    x_->screens.at(static_cast<size_t>(screen)).window = 0;
}

RgbImage XDisplay::capture(int screen) {
    const Connection::Screen& s = x_->screens.at(static_cast<size_t>(screen));
    const int width = s.width, height = s.height;
    g_lastXError = 0;
    XImage* image = XGetImage(x_->dpy, s.window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image == nullptr) {
        throw failure("cannot read the viewer's window (X error " + std::to_string(g_lastXError) +
                      ")");
    }
    RgbImage out;
    out.width = width;
    out.height = height;
    out.rgb.resize(static_cast<size_t>(width) * height * 3);
    const bool plain = image->bits_per_pixel == 32 && image->byte_order == LSBFirst &&
                       image->red_mask == 0xff0000 && image->green_mask == 0xff00 &&
                       image->blue_mask == 0xff;
    std::uint8_t* dst = out.rgb.data();
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint8_t*>(image->data) +
                          static_cast<size_t>(y) * image->bytes_per_line;
        for (int x = 0; x < width; ++x, dst += 3) {
            if (plain) {
                dst[0] = row[x * 4 + 2];
                dst[1] = row[x * 4 + 1];
                dst[2] = row[x * 4];
            } else {
                const unsigned long p = XGetPixel(image, x, y);
                dst[0] = static_cast<std::uint8_t>((p & image->red_mask) >>
                                                   __builtin_ctzl(image->red_mask));
                dst[1] = static_cast<std::uint8_t>((p & image->green_mask) >>
                                                   __builtin_ctzl(image->green_mask));
                dst[2] = static_cast<std::uint8_t>((p & image->blue_mask) >>
                                                   __builtin_ctzl(image->blue_mask));
            }
        }
    }
    XDestroyImage(image);
    return out;
}

void XDisplay::sendKey(int screen, char c) {
    const Connection::Screen& s = x_->screens.at(static_cast<size_t>(screen));
    // Printable ASCII characters are their own keysyms.
    const KeySym sym = static_cast<unsigned char>(c);
    const KeyCode code = XKeysymToKeycode(x_->dpy, sym);
    unsigned int state = 0;
    if (code == 0) {
        throw failure(std::string("the virtual keyboard has no key for '") + c + "'");
    }
    if (XkbKeycodeToKeysym(x_->dpy, code, 0, 0) != sym) {
        state = ShiftMask;
    }
    // Sent to the window itself, it arrives wherever the pointer is (XTEST's would not).
    XEvent event{};
    XKeyEvent& key = event.xkey;
    key.display = x_->dpy;
    key.window = s.window;
    key.root = s.root;
    key.subwindow = None;
    key.time = CurrentTime;
    key.x = key.y = 1;
    key.x_root = key.y_root = 1;
    key.state = state;
    key.keycode = code;
    key.same_screen = True;
    for (int type : {KeyPress, KeyRelease}) {
        key.type = type;
        XSendEvent(x_->dpy, s.window, True, type == KeyPress ? KeyPressMask : KeyReleaseMask,
                   &event);
    }
    XFlush(x_->dpy);
}

}  // namespace tessarecord
