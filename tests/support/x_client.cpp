// RequestWindowClose: an X client of the test's own. Kept apart from xvfb.cpp
// because Xlib's headers define macros (None, Status, True ...).
#include <X11/Xlib.h>

#include <string>

#include "support/xvfb.h"

namespace korva::test {

bool RequestWindowClose(const std::string& window, std::string* error) {
    Display* x = XOpenDisplay(nullptr);
    if (!x) {
        if (error) *error = "cannot open the display";
        return false;
    }
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = static_cast<Window>(std::stoul(window));
    event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(x, event.xclient.window, False, NoEventMask, &event) != 0;
    XSync(x, False);
    XCloseDisplay(x);
    if (!sent && error) *error = "XSendEvent failed";
    return sent;
}

}  // namespace korva::test
