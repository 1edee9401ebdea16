// The X11 watch: an error trap for the window another client may destroy, the frame extents a
// window manager puts around it, and the news of its destruction.
#include "sdl/x11_watch.h"

#include <algorithm>
#include <chrono>
#include <vector>

// Last: Xlib's macros (None, Bool, Status...) must not meet the headers above.
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace khost {

namespace {

// The host window's X id while it is ours, and whether another X client has destroyed it.
::Window g_xWindow = 0;
bool g_xWindowGone = false;
XErrorHandler g_previousXErrorHandler = nullptr;

// Once another client has destroyed the window, every request about it fails, and Xlib's own
// handler would end the process with a report of several lines. Errors about our window never
// end it: a BadWindow or BadDrawable means the window is gone, which the front end then reports
// as a close of the program's main window. Errors about anything else go to the handler that
// was there before.
int onXError(Display* display, XErrorEvent* e) {
    if (g_xWindow && (g_xWindowGone || e->resourceid == g_xWindow)) {
        if (e->error_code == BadWindow || e->error_code == BadDrawable) g_xWindowGone = true;
        return 0;
    }
    return g_previousXErrorHandler ? g_previousXErrorHandler(display, e) : 0;
}

// A window property of 32-bit items; empty when it is not there.
std::vector<long> property(Display* display, ::Window window, Atom name, Atom type) {
    Atom actualType = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<long> items;
    if (XGetWindowProperty(display, window, name, 0, 4096, False, type, &actualType, &format,
                           &count, &after, &data) == Success &&
        data && format == 32 && actualType == type) {
        const long* values = reinterpret_cast<const long*>(data);
        items.assign(values, values + count);
    }
    if (data) XFree(data);
    return items;
}

}  // namespace

XWindowWatch::~XWindowWatch() { stop(); }

void XWindowWatch::watch(SDL_Window* window) {
    stop();
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    g_xWindow = info.info.x11.window;
    g_xWindowGone = false;
    g_previousXErrorHandler = XSetErrorHandler(onXError);
    installed_ = true;
    // Every X event also comes as an SDL_SYSWMEVENT, DestroyNotify among them.
    SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

bool XWindowWatch::gone() const { return installed_ && g_xWindowGone; }

std::optional<Frame> XWindowWatch::askFrame(SDL_Window* window) const {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!installed_ || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
        return std::nullopt;
    Display* display = info.info.x11.display;
    const ::Window root = DefaultRootWindow(display);
    const Atom request = XInternAtom(display, "_NET_REQUEST_FRAME_EXTENTS", False);
    const Atom extents = XInternAtom(display, "_NET_FRAME_EXTENTS", False);
    const std::vector<long> supported =
        property(display, root, XInternAtom(display, "_NET_SUPPORTED", False), XA_ATOM);
    if (std::find(supported.begin(), supported.end(), static_cast<long>(request)) ==
        supported.end())
        return std::nullopt;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = g_xWindow;
    e.xclient.message_type = request;
    e.xclient.format = 32;
    XSendEvent(display, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XFlush(display);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    do {
        SDL_PumpEvents();
        const std::vector<long> v = property(display, g_xWindow, extents, XA_CARDINAL);
        Frame sdl;
        if (v.size() == 4 &&
            SDL_GetWindowBordersSize(window, &sdl.top, &sdl.left, &sdl.bottom, &sdl.right) == 0 &&
            sdl.left == v[0] && sdl.right == v[1] && sdl.top == v[2] && sdl.bottom == v[3])
            return sdl;
        SDL_Delay(5);
    } while (std::chrono::steady_clock::now() < deadline);
    return std::nullopt;
}

bool XWindowWatch::destroyedBy(const SDL_Event& e) const {
    if (!installed_ || e.type != SDL_SYSWMEVENT || !e.syswm.msg ||
        e.syswm.msg->subsystem != SDL_SYSWM_X11)
        return false;
    const XEvent& x = e.syswm.msg->msg.x11.event;
    if (x.type == DestroyNotify && x.xdestroywindow.window == g_xWindow) g_xWindowGone = true;
    return g_xWindowGone;
}

void XWindowWatch::stop() {
    if (!installed_) return;
    XSetErrorHandler(g_previousXErrorHandler);
    g_xWindow = 0;
    g_xWindowGone = false;
    installed_ = false;
}

// ":0", "unix:0", ":0.0" and "unix/:0" name one X desktop; "host:0" another.
std::string x11DesktopKey(std::string_view display) {
    if (const std::size_t slash = display.find('/');
        slash != std::string_view::npos && slash < display.rfind(':'))
        display.remove_prefix(slash + 1);
    const std::size_t colon = display.rfind(':');
    if (colon == std::string_view::npos) return "x11-" + std::string(display);
    std::string host(display.substr(0, colon));
    std::string number(display.substr(colon + 1));
    if (host == "unix") host.clear();
    if (number.find('.') == std::string::npos) number += ".0";
    return "x11-" + host + ":" + number;
}

}  // namespace khost
