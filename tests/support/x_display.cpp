#include "x_display.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <type_traits>

#include "run_program.h"

// Last: Xlib's macros (None, Bool, Status...) must not meet the headers above.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

using namespace std::chrono_literals;

std::optional<std::string> findProgram(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
}

pid_t spawnWith(const std::vector<std::string>& args, const SpawnOptions& options) {
    std::vector<std::string> env(options.env);
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        const bool replaced =
            std::any_of(options.env.begin(), options.env.end(), [&](const std::string& x) {
                return v.compare(0, x.find('=') + 1, x, 0, x.find('=') + 1) == 0;
            });
        if (!replaced) env.push_back(v);
    }
    std::vector<char*> envp;
    for (std::string& v : env) envp.push_back(v.data());
    envp.push_back(nullptr);
    std::vector<std::string> argv(args);
    std::vector<char*> argp;
    for (std::string& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);

    auto output = [](const std::string& file) { return file.empty() ? "/dev/null" : file.c_str(); };
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output(options.outFile),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (options.closeError)
        posix_spawn_file_actions_addclose(&actions, 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, output(options.errFile),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (options.fd3 >= 0) posix_spawn_file_actions_adddup2(&actions, options.fd3, 3);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

void stopChild(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    if (!waitKestrovaFor(pid, 3000)) {
        kill(pid, SIGKILL);
        waitKestrova(pid);
    }
}

std::unique_ptr<VirtualDisplay> VirtualDisplay::start(const std::string& xvfb, std::string* error,
                                                      const std::string& size) {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) {
        *error = "pipe failed";
        return nullptr;
    }
    auto d = std::unique_ptr<VirtualDisplay>(new VirtualDisplay);
    SpawnOptions options;
    options.fd3 = ready[1];
    d->pid_ = spawnWith(
        {xvfb, "-displayfd", "3", "-screen", "0", size + "x24", "-nolisten", "tcp", "-noreset"},
        options);
    close(ready[1]);
    std::string number;
    pollfd p{ready[0], POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + 15s;
    while (d->pid_ > 0 && number.find('\n') == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
        if (poll(&p, 1, 100) <= 0) continue;
        char buffer[16];
        const ssize_t n = read(ready[0], buffer, sizeof buffer);
        if (n <= 0) break;
        number.append(buffer, static_cast<std::size_t>(n));
    }
    close(ready[0]);
    if (number.find('\n') == std::string::npos) {
        *error = "Xvfb did not start";
        return nullptr;
    }
    d->name_ = ":" + number.substr(0, number.find('\n'));
    return d;
}

VirtualDisplay::~VirtualDisplay() { stopChild(pid_); }

struct XClient::Impl {
    void* x11 = nullptr;
    void* xtst = nullptr;
    Display* display = nullptr;
    decltype(&XOpenDisplay) openDisplay = nullptr;
    decltype(&XCloseDisplay) closeDisplay = nullptr;
    decltype(&XInternAtom) internAtom = nullptr;
    decltype(&XQueryTree) queryTree = nullptr;
    decltype(&XFree) free = nullptr;
    decltype(&XGetWindowProperty) getWindowProperty = nullptr;
    decltype(&XGetWindowAttributes) getWindowAttributes = nullptr;
    decltype(&XTranslateCoordinates) translateCoordinates = nullptr;
    decltype(&XGetImage) getImage = nullptr;
    decltype(&XSendEvent) sendEvent = nullptr;
    decltype(&XSync) sync = nullptr;
    decltype(&XMoveResizeWindow) moveResizeWindow = nullptr;
    decltype(&XCreateSimpleWindow) createSimpleWindow = nullptr;
    decltype(&XMapRaised) mapRaised = nullptr;
    decltype(&XDestroyWindow) destroyWindow = nullptr;
    decltype(&XKeysymToKeycode) keysymToKeycode = nullptr;
    decltype(&XStringToKeysym) stringToKeysym = nullptr;
    decltype(&XGetWMNormalHints) getWMNormalHints = nullptr;
    decltype(&XAllocSizeHints) allocSizeHints = nullptr;
    decltype(&XGetInputFocus) getInputFocus = nullptr;
    // XTest, declared here so the tests need no XTest headers.
    int (*fakeMotion)(Display*, int, int, int, unsigned long) = nullptr;
    int (*fakeButton)(Display*, unsigned, Bool, unsigned long) = nullptr;
    int (*fakeKey)(Display*, unsigned, Bool, unsigned long) = nullptr;

    Window root() const { return DefaultRootWindow(display); }

    // A text property of a window (WM_NAME and the like); empty when it has none.
    std::string property(Window w, Atom name) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::string text;
        if (getWindowProperty(display, w, name, 0, 256, False, AnyPropertyType, &type, &format,
                              &count, &after, &data) == Success &&
            data) {
            if (format == 8) text.assign(reinterpret_cast<char*>(data), count);
            free(data);
        }
        return text;
    }

    // A property of 32-bit items of this type (CARDINAL, WINDOW...); empty when it has none.
    std::vector<unsigned long> items(Window w, const char* name, Atom type) {
        Atom actual = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        std::vector<unsigned long> list;
        if (getWindowProperty(display, w, internAtom(display, name, False), 0, 1 << 20, False, type,
                              &actual, &format, &count, &after, &data) == Success &&
            data) {
            if (format == 32) {
                const auto* values = reinterpret_cast<const unsigned long*>(data);
                list.assign(values, values + count);
            }
            free(data);
        }
        return list;
    }

    bool viewable(Window w) {
        XWindowAttributes a{};
        return getWindowAttributes(display, w, &a) && a.map_state == IsViewable;
    }
};

XClient::XClient() : impl_(std::make_unique<Impl>()) {}

std::unique_ptr<XClient> XClient::connect(const std::string& display, std::string* error) {
    auto c = std::unique_ptr<XClient>(new XClient);
    Impl& x = *c->impl_;
    x.x11 = dlopen("libX11.so.6", RTLD_NOW | RTLD_LOCAL);
    if (!x.x11) {
        *error = "cannot load libX11.so.6";
        return nullptr;
    }
    bool ok = true;
    auto sym = [&](void* lib, const char* name, auto& f) {
        f = reinterpret_cast<std::remove_reference_t<decltype(f)>>(dlsym(lib, name));
        ok = ok && f;
    };
    sym(x.x11, "XOpenDisplay", x.openDisplay);
    sym(x.x11, "XCloseDisplay", x.closeDisplay);
    sym(x.x11, "XInternAtom", x.internAtom);
    sym(x.x11, "XQueryTree", x.queryTree);
    sym(x.x11, "XFree", x.free);
    sym(x.x11, "XGetWindowProperty", x.getWindowProperty);
    sym(x.x11, "XGetWindowAttributes", x.getWindowAttributes);
    sym(x.x11, "XTranslateCoordinates", x.translateCoordinates);
    sym(x.x11, "XGetImage", x.getImage);
    sym(x.x11, "XSendEvent", x.sendEvent);
    sym(x.x11, "XSync", x.sync);
    sym(x.x11, "XMoveResizeWindow", x.moveResizeWindow);
    sym(x.x11, "XCreateSimpleWindow", x.createSimpleWindow);
    sym(x.x11, "XMapRaised", x.mapRaised);
    sym(x.x11, "XDestroyWindow", x.destroyWindow);
    sym(x.x11, "XKeysymToKeycode", x.keysymToKeycode);
    sym(x.x11, "XStringToKeysym", x.stringToKeysym);
    sym(x.x11, "XGetWMNormalHints", x.getWMNormalHints);
    sym(x.x11, "XAllocSizeHints", x.allocSizeHints);
    sym(x.x11, "XGetInputFocus", x.getInputFocus);
    decltype(&XSetErrorHandler) setErrorHandler = nullptr;
    sym(x.x11, "XSetErrorHandler", setErrorHandler);
    if (!ok) {
        *error = "libX11.so.6 lacks a function the test needs";
        return nullptr;
    }
    if ((x.xtst = dlopen("libXtst.so.6", RTLD_NOW | RTLD_LOCAL))) {
        sym(x.xtst, "XTestFakeMotionEvent", x.fakeMotion);
        sym(x.xtst, "XTestFakeButtonEvent", x.fakeButton);
        sym(x.xtst, "XTestFakeKeyEvent", x.fakeKey);
    }
    // Windows come and go while we look at them; a request about one that has just gone
    // fails quietly instead of ending the test program.
    setErrorHandler([](Display*, XErrorEvent*) { return 0; });
    x.display = x.openDisplay(display.c_str());
    if (!x.display) {
        *error = "cannot connect to " + display;
        return nullptr;
    }
    return c;
}

XClient::~XClient() {
    if (impl_->display) impl_->closeDisplay(impl_->display);
    if (impl_->xtst) dlclose(impl_->xtst);
    if (impl_->x11) dlclose(impl_->x11);
}

std::optional<XWindow> XClient::windowOf(pid_t pid) {
    Impl& x = *impl_;
    // A window manager's frame is the top-level window; ours is one of its children.
    std::vector<XWindow> candidates;
    for (XWindow top : topLevels()) {
        candidates.push_back(top);
        const std::vector<XWindow> inside = children(top);
        candidates.insert(candidates.end(), inside.begin(), inside.end());
    }
    for (XWindow w : candidates) {
        if (!x.viewable(w)) continue;
        const std::vector<unsigned long> owner = x.items(w, "_NET_WM_PID", XA_CARDINAL);
        if (owner.size() == 1 && owner[0] == static_cast<unsigned long>(pid)) return w;
    }
    return std::nullopt;
}

std::optional<XWindow> XClient::windowNamed(const std::string& name) {
    for (XWindow w : topLevels())
        if (impl_->viewable(w) && title(w) == name) return w;
    return std::nullopt;
}

XWindow XClient::root() { return impl_->root(); }

std::vector<XWindow> XClient::children(XWindow w) {
    Impl& x = *impl_;
    Window rootReturn = 0, parent = 0, *list = nullptr;
    unsigned count = 0;
    std::vector<XWindow> out;
    if (x.queryTree(x.display, w, &rootReturn, &parent, &list, &count)) {
        out.assign(list, list + count);
        if (list) x.free(list);
    }
    return out;
}

std::vector<XWindow> XClient::topLevels() { return children(root()); }

bool XClient::isAbove(XWindow a, XWindow b) {
    const std::vector<XWindow> order = topLevels();
    const auto ia = std::find(order.begin(), order.end(), a),
               ib = std::find(order.begin(), order.end(), b);
    return ia != order.end() && ib != order.end() && ia > ib;
}

std::string XClient::title(XWindow w) { return impl_->property(w, XA_WM_NAME); }

bool XClient::hasFocus(XWindow w) {
    Impl& x = *impl_;
    ::Window focus = 0;
    int revert = 0;
    x.getInputFocus(x.display, &focus, &revert);
    if (focus == 0 || focus == 1 /* PointerRoot */) return false;
    // Whether `inner` is `outer` or lies inside it.
    auto within = [&](::Window inner, ::Window outer) {
        for (::Window f = inner; f != 0;) {
            if (f == outer) return true;
            ::Window rootReturn = 0, parent = 0;
            ::Window* kids = nullptr;
            unsigned count = 0;
            if (!x.queryTree(x.display, f, &rootReturn, &parent, &kids, &count)) return false;
            if (kids) x.free(kids);
            if (f == rootReturn) return false;
            f = parent;
        }
        return false;
    };
    // On the window, a window inside it, or the frame a window manager put around it.
    return within(focus, w) || (focus != root() && within(w, focus));
}

std::vector<unsigned long> XClient::cardinals(XWindow w, const std::string& name) {
    return impl_->items(w, name.c_str(), XA_CARDINAL);
}

std::optional<std::pair<int, int>> XClient::minimumSize(XWindow w) {
    Impl& x = *impl_;
    XSizeHints* hints = x.allocSizeHints();
    long supplied = 0;
    std::optional<std::pair<int, int>> size;
    if (hints && x.getWMNormalHints(x.display, w, hints, &supplied) && (hints->flags & PMinSize))
        size = std::pair{hints->min_width, hints->min_height};
    if (hints) x.free(hints);
    return size;
}

std::vector<unsigned long> XClient::frameExtents(XWindow w) {
    return cardinals(w, "_NET_FRAME_EXTENTS");
}

bool XClient::windowManagerRunning() {
    return !impl_->items(impl_->root(), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW).empty();
}

Geometry XClient::geometry(XWindow w) {
    Impl& x = *impl_;
    Geometry g;
    XWindowAttributes a{};
    Window child = 0;
    if (x.getWindowAttributes(x.display, w, &a) &&
        x.translateCoordinates(x.display, w, x.root(), 0, 0, &g.x, &g.y, &child)) {
        g.width = a.width;
        g.height = a.height;
    }
    return g;
}

Shot XClient::grab(const Geometry& g) {
    Impl& x = *impl_;
    Shot shot;
    XImage* image = x.getImage(x.display, x.root(), g.x, g.y, static_cast<unsigned>(g.width),
                               static_cast<unsigned>(g.height), AllPlanes, ZPixmap);
    if (!image) return shot;
    auto channel = [](unsigned long pixel, unsigned long mask) {
        int shift = 0;
        while (mask && !(mask & 1)) {
            mask >>= 1;
            ++shift;
        }
        return static_cast<std::uint32_t>((pixel >> shift) & 0xFF);
    };
    shot.width = g.width;
    shot.height = g.height;
    shot.pixels.resize(static_cast<std::size_t>(g.width) * g.height);
    for (int y = 0; y < g.height; ++y)
        for (int px = 0; px < g.width; ++px) {
            const unsigned long p = XGetPixel(image, px, y);
            shot.pixels[static_cast<std::size_t>(y) * g.width + px] =
                channel(p, image->red_mask) << 16 | channel(p, image->green_mask) << 8 |
                channel(p, image->blue_mask);
        }
    XDestroyImage(image);
    return shot;
}

void XClient::requestClose(XWindow w) {
    Impl& x = *impl_;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = x.internAtom(x.display, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(x.internAtom(x.display, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    x.sendEvent(x.display, w, False, NoEventMask, &e);
    x.sync(x.display, False);
}

void XClient::moveResize(XWindow w, int px, int py, int width, int height) {
    impl_->moveResizeWindow(impl_->display, w, px, py, static_cast<unsigned>(width),
                            static_cast<unsigned>(height));
    impl_->sync(impl_->display, False);
}

XWindow XClient::createCover(const Geometry& g) {
    Impl& x = *impl_;
    const Window w =
        x.createSimpleWindow(x.display, x.root(), g.x, g.y, static_cast<unsigned>(g.width),
                             static_cast<unsigned>(g.height), 0, 0, 0x808080);
    x.mapRaised(x.display, w);
    x.sync(x.display, False);
    return w;
}

void XClient::destroy(XWindow w) {
    impl_->destroyWindow(impl_->display, w);
    impl_->sync(impl_->display, False);
}

bool XClient::canFakeInput() const {
    return impl_->fakeMotion && impl_->fakeButton && impl_->fakeKey;
}

void XClient::fakeMotion(int px, int py) {
    impl_->fakeMotion(impl_->display, -1, px, py, 0);
    impl_->sync(impl_->display, False);
}

void XClient::fakeButton(bool down) {
    impl_->fakeButton(impl_->display, 1, down ? True : False, 0);
    impl_->sync(impl_->display, False);
}

void XClient::fakeKey(const std::string& keys) {
    Impl& x = *impl_;
    // Pressed in order, released in reverse: the modifiers of a chord hold for the last key.
    std::vector<unsigned> codes;
    std::stringstream parts(keys);
    for (std::string part; std::getline(parts, part, '+');) {
        if (part == "ctrl") part = "Control_L";
        codes.push_back(x.keysymToKeycode(x.display, x.stringToKeysym(part.c_str())));
    }
    for (unsigned code : codes) x.fakeKey(x.display, code, True, 0);
    for (auto it = codes.rbegin(); it != codes.rend(); ++it) x.fakeKey(x.display, *it, False, 0);
    x.sync(x.display, False);
}
