// The connection to the private X server: which screens were drawn on, the viewer's window in
// a screen, its picture, and keys typed into it.
#pragma once

#include <memory>
#include <string>

#include "tessarecord/image_files.h"

namespace tessarecord {

// Screens are numbered from 0. Every call but open() needs an open connection.
class XDisplay {
public:
    XDisplay();
    XDisplay(const XDisplay&) = delete;
    XDisplay& operator=(const XDisplay&) = delete;
    ~XDisplay();

    // Connects to the server name (such as ":5"), which must offer DAMAGE and at least screens
    // screens, and watches each screen from then on for drawing. Throws a failure. Should the
    // connection be lost later, the programs started are killed and the recorder exits with 1.
    void open(const std::string& name, int screens);

    // Closes the connection; nothing when none is open.
    void close();

    // The connection's descriptor, for poll().
    int fd() const;

    // Handles the events received so far, and only those: a window that repaints faster than
    // its events are handled must not keep the caller from its deadline.
    void handleEvents();

    // True when the screen was drawn on since its damage was last cleared.
    bool damaged(int screen) const;

    // Forgets the screen's damage so far: the next damage is new drawing.
    void clearDamage(int screen);

    // Finds the screen's topmost viewable window whose title starts with titleStart (once
    // found, it is kept until forgetWindow()); false when there is none.
    bool findWindow(int screen, const char* titleStart);

    // True while the window found in the screen still exists; false when none was found.
    bool windowExists(int screen);

    void forgetWindow(int screen);

    // The picture of the window found in the screen, 8-bit RGB, rows top-down. Throws
    // a failure when the server cannot give it.
    RgbImage capture(int screen);

    // Presses and releases the key that types the printable ASCII character c in the window
    // found in the screen, with Shift where the keyboard needs it. Throws a failure when the
    // keyboard has no key for c.
    void sendKey(int screen, char c);

private:
    struct Connection;
    std::unique_ptr<Connection> x_;
};

}  // namespace tessarecord
