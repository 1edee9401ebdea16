// The SDL2 front end: the device's screen in a window on the desktop, the left mouse button as
// the stylus and the keyboard as the device keys.
#include "sdl/sdl_frontend.h"

#include <SDL.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "core/pacer.h"
#include "core/trace.h"
#include "gfx/canvas.h"
#include "options.h"
#include "sdl/slow_keys.h"
#include "settings.h"
#include "signals.h"
#include "snapshot.h"

// Last: Xlib's macros (None, Bool, Status...) must not meet the headers above.
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace khost {

namespace {

using Clock = std::chrono::steady_clock;
using Kind = kdev::InputEvent::Kind;

// SDL's last error as one line.
std::string sdlError() {
    std::string e = SDL_GetError();
    for (char& c : e)
        if (c == '\n' || c == '\r') c = ' ';
    return e.empty() ? "unknown error" : e;
}

// Plain ASCII: SDL's X11 title is only right in every locale when it is.
std::string windowTitle(const kdev::Geometry& g) { return "Kestrova - " + geometryName(g); }

constexpr int kMaxZoom = 8;
constexpr int kDefaultMaxZoom = 2;
constexpr auto kNoticeTime = std::chrono::seconds(2);

// What the window manager puts around the client area (title bar, borders), in points.
struct Frame {
    int top = 0;
    int left = 0;
    int bottom = 0;
    int right = 0;
};

// The frame a window manager usually puts around a window, a title bar and thin borders, for
// as long as none has said what it puts around ours.
constexpr Frame kFrameGuess{32, 4, 4, 4};

bool fitsIn(const SDL_Rect& usable, int w, int h, const Frame& f) {
    return w + f.left + f.right <= usable.w && h + f.top + f.bottom <= usable.h;
}

// The client position nearest (x, y) at which the framed window lies inside `usable`. A window
// larger than that keeps its top-left corner, and so its title bar, on the desktop.
SDL_Point keepInside(const SDL_Rect& usable, int x, int y, int w, int h, const Frame& f) {
    x = std::max(std::min(x, usable.x + usable.w - f.right - w), usable.x + f.left);
    y = std::max(std::min(y, usable.y + usable.h - f.bottom - h), usable.y + f.top);
    return {x, y};
}

SDL_Point centredIn(const SDL_Rect& usable, int w, int h, const Frame& f) {
    return keepInside(usable, usable.x + f.left + (usable.w - f.left - f.right - w) / 2,
                      usable.y + f.top + (usable.h - f.top - f.bottom - h) / 2, w, h, f);
}

// The part of display `index` that windows may use (without panels and docks); the whole
// display when the desktop does not say.
SDL_Rect usableBounds(int index) {
    SDL_Rect r{0, 0, 0, 0};
    if (SDL_GetDisplayUsableBounds(index, &r) != 0 || r.w <= 0 || r.h <= 0) {
        if (SDL_GetDisplayBounds(index, &r) != 0 || r.w <= 0 || r.h <= 0) r = {0, 0, 1024, 768};
    }
    return r;
}

// The display whose area holds (x, y); 0 when none does.
int displayAt(int x, int y) {
    const SDL_Point p{x, y};
    for (int i = 0; i < SDL_GetNumVideoDisplays(); ++i) {
        SDL_Rect r;
        if (SDL_GetDisplayBounds(i, &r) == 0 && SDL_PointInRect(&p, &r)) return i;
    }
    return 0;
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

// Watches one X window for the life of the front end (see onXError). Declared before the SDL
// members, so it outlasts them: their teardown of a destroyed window is still covered.
class XWindowWatch {
public:
    XWindowWatch() = default;
    ~XWindowWatch() { stop(); }
    XWindowWatch(const XWindowWatch&) = delete;
    XWindowWatch& operator=(const XWindowWatch&) = delete;

    void watch(SDL_Window* window) {
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

    bool gone() const { return installed_ && g_xWindowGone; }

    // The frame the window manager will put around the window, asked for before the window
    // is shown (_NET_REQUEST_FRAME_EXTENTS), once SDL knows it too, so that SDL places the
    // client area where it is asked to. nullopt when no window manager answers.
    std::optional<Frame> askFrame(SDL_Window* window) const {
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
        const auto deadline = Clock::now() + std::chrono::milliseconds(500);
        do {
            SDL_PumpEvents();
            const std::vector<long> v = property(display, g_xWindow, extents, XA_CARDINAL);
            Frame sdl;
            if (v.size() == 4 &&
                SDL_GetWindowBordersSize(window, &sdl.top, &sdl.left, &sdl.bottom, &sdl.right) ==
                    0 &&
                sdl.left == v[0] && sdl.right == v[1] && sdl.top == v[2] && sdl.bottom == v[3])
                return sdl;
            SDL_Delay(5);
        } while (Clock::now() < deadline);
        return std::nullopt;
    }

    // Whether `e` says that our window has been destroyed.
    bool destroyedBy(const SDL_Event& e) const {
        if (!installed_ || e.type != SDL_SYSWMEVENT || !e.syswm.msg ||
            e.syswm.msg->subsystem != SDL_SYSWM_X11)
            return false;
        const XEvent& x = e.syswm.msg->msg.x11.event;
        if (x.type == DestroyNotify && x.xdestroywindow.window == g_xWindow) g_xWindowGone = true;
        return g_xWindowGone;
    }

private:
    // A window property of 32-bit items; empty when it is not there.
    static std::vector<long> property(Display* display, ::Window window, Atom name, Atom type) {
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

    void stop() {
        if (!installed_) return;
        XSetErrorHandler(g_previousXErrorHandler);
        g_xWindow = 0;
        g_xWindowGone = false;
        installed_ = false;
    }

    bool installed_ = false;
};

std::optional<kdev::Key> deviceKey(SDL_Keycode key) {
    switch (key) {
        case SDLK_RETURN:
        case SDLK_KP_ENTER:
            return kdev::Key::Return;
        case SDLK_ESCAPE:
            return kdev::Key::Escape;
        case SDLK_TAB:
            return kdev::Key::Tab;
        case SDLK_SPACE:
            return kdev::Key::Space;
        case SDLK_LEFT:
            return kdev::Key::Left;
        case SDLK_UP:
            return kdev::Key::Up;
        case SDLK_RIGHT:
            return kdev::Key::Right;
        case SDLK_DOWN:
            return kdev::Key::Down;
        case SDLK_F10:
            return kdev::Key::F10;
        default:
            return std::nullopt;
    }
}

// kestrova-YYYYMMDD-HHMMSS.png in the current folder, with -2, -3... if that name is taken.
std::filesystem::path screenshotPath() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = std::string("kestrova-") + stamp;
    std::filesystem::path path = base + ".png";
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(path, ec) && n < 1000; ++n)
        path = base + "-" + std::to_string(n) + ".png";
    return std::filesystem::absolute(path, ec);
}

// Owns SDL's video subsystem for the life of the front end.
struct SdlVideo {
    bool ok = false;
    bool abandoned = false;  // left for the end of the process to take down
    SdlVideo() { ok = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0; }
    ~SdlVideo() {
        if (abandoned) return;
        if (ok) SDL_QuitSubSystem(SDL_INIT_VIDEO);
        SDL_Quit();
    }
    SdlVideo(const SdlVideo&) = delete;
    SdlVideo& operator=(const SdlVideo&) = delete;
};

struct WindowDeleter {
    void operator()(SDL_Window* w) const { SDL_DestroyWindow(w); }
};
struct RendererDeleter {
    void operator()(SDL_Renderer* r) const { SDL_DestroyRenderer(r); }
};
struct TextureDeleter {
    void operator()(SDL_Texture* t) const { SDL_DestroyTexture(t); }
};

// Watches the wake descriptor on a thread of its own and turns "readable" into an SDL event.
// It reports once and then waits to be re-armed, after the device has taken its requests, so a
// descriptor that stays readable cannot flood the queue. The thread touches nothing but the
// two descriptors and SDL's thread-safe event queue; closing the control pipe stops it.
class WakeWatcher {
public:
    WakeWatcher(int fd, Uint32 eventType) : fd_(fd), eventType_(eventType) {
        if (pipe2(control_, O_CLOEXEC) != 0) {
            control_[0] = control_[1] = -1;
            return;
        }
        thread_ = std::thread([this] { run(); });
    }

    ~WakeWatcher() {
        if (control_[1] >= 0) close(control_[1]);
        if (thread_.joinable()) thread_.join();
        if (control_[0] >= 0) close(control_[0]);
    }

    WakeWatcher(const WakeWatcher&) = delete;
    WakeWatcher& operator=(const WakeWatcher&) = delete;

    bool running() const { return thread_.joinable(); }

    void rearm() {
        const char c = 'a';
        while (write(control_[1], &c, 1) < 0 && errno == EINTR) {}
    }

private:
    void run() {
        bool armed = true;
        for (;;) {
            pollfd p[2] = {{control_[0], POLLIN, 0}, {armed ? fd_ : -1, POLLIN, 0}};
            if (poll(p, 2, -1) < 0) {
                if (errno == EINTR) continue;
                return;
            }
            if (p[0].revents) {
                char c;
                const ssize_t n = read(control_[0], &c, 1);
                if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) return;
                if (n == 1) armed = true;
            }
            if (p[1].revents & POLLIN) {
                armed = false;
                SDL_Event e{};
                e.type = eventType_;
                SDL_PushEvent(&e);
            } else if (p[1].revents) {
                return;  // the descriptor is broken or gone: nothing more will come through it
            }
        }
    }

    int fd_;
    Uint32 eventType_;
    int control_[2] = {-1, -1};
    std::thread thread_;
};

class SdlFrontEnd final : public kdev::FrontEnd {
public:
    SdlFrontEnd(const kdev::Screen& screen, const SdlOptions& options)
        : screen_(&screen),
          width_(screen.width()),
          height_(screen.height()),
          options_(options),
          title_(windowTitle(screen.geometry()) + slowTitle(options.slow)) {}
    ~SdlFrontEnd() override;

    bool open(std::string* error);

    bool waitEvent(kdev::InputEvent& event) override;
    void present(const kdev::Screen& screen) override;
    void raise() override;
    void setWakeDescriptor(int fd) override;
    void setIcon(const kdev::Image& icon) override;
    void traceNotices(kdev::Trace& trace) { trace_ = &trace; }

private:
    bool createTexture(std::string* error);
    bool visible() const {
        return !xWatch_.gone() &&
               !(SDL_GetWindowFlags(window_.get()) & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED));
    }
    // The window at its usual size and place: not fullscreen, maximized or minimized.
    bool windowed() const {
        return !(SDL_GetWindowFlags(window_.get()) & (SDL_WINDOW_FULLSCREEN | SDL_WINDOW_MAXIMIZED |
                                                      SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN));
    }
    void show();
    void draw();
    void upload();
    bool translate(const SDL_Event& e, kdev::InputEvent& out);
    bool translateMouse(const SDL_Event& e, kdev::InputEvent& out);
    bool translateKey(const SDL_KeyboardEvent& e, kdev::InputEvent& out);
    void toggleFullscreen();
    void saveScreenshot();
    bool filterEvent(const SDL_Event& e);

    // Placement and zoom.
    void chooseFirstPlace();
    void placeFirst();
    SDL_Point firstPosition() const;
    int largestZoom(int most) const;
    void learnFrame();
    void keepMinimumSize();
    void setZoom(int zoom);
    void rememberPlace();
    void savePlace() const;

    // A word in the title bar for a moment.
    void notice(const std::string& text);
    std::optional<std::chrono::milliseconds> untilDue() const;

    const kdev::Screen* screen_;  // the device's; gone before this front end is
    const int width_;             // the screen's size, in device pixels
    const int height_;
    SdlOptions options_;
    std::string title_;
    XWindowWatch xWatch_;  // before the SDL members: see XWindowWatch
    SdlVideo video_;
    std::unique_ptr<SDL_Window, WindowDeleter> window_;
    std::unique_ptr<SDL_Renderer, RendererDeleter> renderer_;
    std::unique_ptr<SDL_Texture, TextureDeleter> texture_;
    std::vector<std::uint32_t> rgb_;      // each 16-bit pixel value as XRGB 8-8-8-8 (expand5/6)
    std::vector<std::uint32_t> staging_;  // the logical screen in XRGB, for the texture

    Uint32 wakeEventType_ = 0;
    Uint32 stopEventType_ = 0;
    std::unique_ptr<WakeWatcher> watcher_;      // after the SDL members: stopped before SDL goes
    std::unique_ptr<WakeWatcher> stopWatcher_;  // a stop signal (signals.h) as an SDL event
    bool wakeOutstanding_ = false;

    bool shown_ = false;
    bool closeSent_ = false;  // the window was destroyed under us and Close has been reported
    bool pending_ = false;    // the screen changed since it was last put on the window
    Clock::time_point lastDraw_{};
    Clock::duration refresh_ = std::chrono::microseconds(16667);
    std::optional<Clock::time_point> noticeEnds_;
    kdev::Trace* trace_ = nullptr;  // the device's, for the notices; it outlives the window

    SDL_Rect usable_{0, 0, 0, 0};  // the usable area of the window's display
    Frame frame_ = kFrameGuess;
    int zoom_ = 1;
    int wantedZoom_ = kDefaultMaxZoom;       // --zoom, else the remembered zoom, else the default
    std::optional<WindowPlace> remembered_;  // from the settings file
    std::optional<WindowPlace> place_;       // the window's last place while windowed

    bool stylus_ = false;  // a stylus stroke began inside the picture and is not over
    kdev::Point lastStylus_{};
};

SdlFrontEnd::~SdlFrontEnd() {
    if (xWatch_.gone()) {
        // SDL would wait for ever to see a window that no longer exists unmapped. The end of
        // the process takes down what is left, the X connection among it.
        watcher_.reset();
        (void)texture_.release();
        (void)renderer_.release();
        (void)window_.release();
        video_.abandoned = true;
        return;
    }
    if (window_ && shown_) {
        rememberPlace();
        savePlace();
    }
}

bool SdlFrontEnd::open(std::string* error) {
    if (!video_.ok) {
        *error = "no display available to open a window (" + sdlError() + ")";
        return false;
    }
    const int w = width_, h = height_;
    chooseFirstPlace();
    // Window managers put the frame's corner where a new window asks to be.
    const SDL_Point at = firstPosition();
    window_.reset(SDL_CreateWindow(
        title_.c_str(), at.x - frame_.left, at.y - frame_.top, w * zoom_, h * zoom_,
        SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI));
    if (!window_) {
        *error = "cannot open a window (" + sdlError() + ")";
        return false;
    }

    renderer_.reset(SDL_CreateRenderer(window_.get(), -1, SDL_RENDERER_PRESENTVSYNC));
    if (!renderer_) renderer_.reset(SDL_CreateRenderer(window_.get(), -1, SDL_RENDERER_SOFTWARE));
    if (!renderer_) {
        *error = "cannot draw in a window (" + sdlError() + ")";
        return false;
    }
    // After the renderer, which may have made the window anew.
    xWatch_.watch(window_.get());
    placeFirst();

    // The picture keeps its shape and its pixels square: letterboxed at the largest whole
    // scale that fits, and mouse positions reported in device pixels.
    SDL_RenderSetLogicalSize(renderer_.get(), w, h);
    SDL_RenderSetIntegerScale(renderer_.get(), SDL_TRUE);
    if (!createTexture(error)) return false;
    rgb_.resize(0x10000);
    for (std::uint32_t p = 0; p < 0x10000; ++p) {
        const std::uint32_t bgr = screen_->unpack(static_cast<std::uint16_t>(p));
        rgb_[p] = (bgr & 0xFF) << 16 | (bgr & 0xFF00) | (bgr >> 16 & 0xFF);
    }

    SDL_DisplayMode mode{};
    const int display = SDL_GetWindowDisplayIndex(window_.get());
    if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0)
        refresh_ = std::chrono::microseconds(1000000 / mode.refresh_rate);

    wakeEventType_ = SDL_RegisterEvents(2);
    if (wakeEventType_ == static_cast<Uint32>(-1)) {
        *error = "cannot register an SDL event (" + sdlError() + ")";
        return false;
    }
    stopEventType_ = wakeEventType_ + 1;
    if (stopDescriptor() >= 0) {
        stopWatcher_ = std::make_unique<WakeWatcher>(stopDescriptor(), stopEventType_);
        if (!stopWatcher_->running()) {
            *error = "cannot watch for signals";
            return false;
        }
    }
    SDL_StopTextInput();
    // Seen as the events arrive, also while a command draws (present() pumps them then).
    SDL_SetEventFilter(
        [](void* self, SDL_Event* e) {
            return static_cast<SdlFrontEnd*>(self)->filterEvent(*e) ? 1 : 0;
        },
        this);
    return true;
}

// Slow motion's keys act at once; a close ends slow motion, so the command finishes and the
// close is not kept waiting. False drops the event.
bool SdlFrontEnd::filterEvent(const SDL_Event& e) {
    kdev::Pacer* pacer = kdev::Pacer::active();
    if (!pacer) return true;
    const bool closing = e.type == SDL_QUIT ||
                         (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_CLOSE);
    const bool key =
        e.type == SDL_KEYDOWN && (e.key.keysym.sym == SDLK_F7 || e.key.keysym.sym == SDLK_F8);
    if (!closing && !key) return true;
    if (key && e.key.repeat) return false;
    pacer->setSlow(closing ? 1 : steppedSlow(pacer->slow(), e.key.keysym.sym == SDLK_F7));
    title_ = windowTitle(screen_->geometry()) + slowTitle(pacer->slow());
    if (!xWatch_.gone()) SDL_SetWindowTitle(window_.get(), title_.c_str());
    return closing;
}

// What the window opens with: --zoom, else the remembered zoom, else the largest up to 2; a
// remembered place where it still fits the desktop, else centred on the first display. Until
// the window manager has said what frame it puts around the window, a guess of it is used.
void SdlFrontEnd::chooseFirstPlace() {
    if (!options_.settingsFolder.empty()) {
        std::string warning;
        remembered_ = loadWindowPlace(options_.settingsFolder, width_, height_, &warning);
        if (!warning.empty())
            std::fprintf(stderr, "kestrova: %s\n", kdev::printable(warning).c_str());
    }
    usable_ = usableBounds(remembered_ ? displayAt(remembered_->x, remembered_->y) : 0);
    wantedZoom_ = options_.zoom > 0 ? options_.zoom
                  : remembered_     ? remembered_->zoom
                                    : kDefaultMaxZoom;
    zoom_ = largestZoom(wantedZoom_);
}

// The client area's place at zoom_: the remembered one if the window fits there, else centred.
SDL_Point SdlFrontEnd::firstPosition() const {
    const int w = width_ * zoom_, h = height_ * zoom_;
    if (remembered_) {
        const SDL_Point kept = keepInside(usable_, remembered_->x, remembered_->y, w, h, frame_);
        if (kept.x == remembered_->x && kept.y == remembered_->y) return kept;
    }
    return centredIn(usable_, w, h, frame_);
}

// Before the window is shown: with the frame the window manager will put around it, the
// largest zoom up to the one wanted at which it fits (a --zoom that has to be lowered is said
// so, on one line), and the place where all of it, title bar first, is on the desktop.
void SdlFrontEnd::placeFirst() {
    if (std::optional<Frame> frame = xWatch_.askFrame(window_.get())) frame_ = *frame;
    zoom_ = largestZoom(wantedZoom_);
    if (options_.zoom > zoom_)
        std::fprintf(stderr,
                     "kestrova: --zoom %d does not fit the desktop (%dx%d usable); using zoom %d\n",
                     options_.zoom, usable_.w, usable_.h, zoom_);
    // The position last: SDL moves the window again for the minimum size, and reads an
    // unmapped window's position back as its frame's.
    keepMinimumSize();
    SDL_SetWindowSize(window_.get(), width_ * zoom_, height_ * zoom_);
    const SDL_Point at = firstPosition();
    SDL_SetWindowPosition(window_.get(), at.x, at.y);
}

int SdlFrontEnd::largestZoom(int most) const {
    int zoom = std::clamp(most, 1, kMaxZoom);
    while (zoom > 1 && !fitsIn(usable_, width_ * zoom, height_ * zoom, frame_)) --zoom;
    return zoom;
}

// The window's frame and display as they are now.
void SdlFrontEnd::learnFrame() {
    int top = 0, left = 0, bottom = 0, right = 0;
    if (SDL_GetWindowBordersSize(window_.get(), &top, &left, &bottom, &right) == 0)
        frame_ = Frame{top, left, bottom, right};
    const int display = SDL_GetWindowDisplayIndex(window_.get());
    usable_ = usableBounds(display >= 0 ? display : 0);
}

// The window cannot be made smaller than the device screen at zoom 1, so that all of it stays
// in view (as far as the desktop allows).
void SdlFrontEnd::keepMinimumSize() {
    const int w = std::clamp(usable_.w - frame_.left - frame_.right, 1, width_);
    const int h = std::clamp(usable_.h - frame_.top - frame_.bottom, 1, height_);
    int oldW = 0, oldH = 0;
    SDL_GetWindowMinimumSize(window_.get(), &oldW, &oldH);
    if (oldW != w || oldH != h) SDL_SetWindowMinimumSize(window_.get(), w, h);
}

// Ctrl+1 to Ctrl+8 (zoom), Ctrl+0 (0: the largest that fits).
void SdlFrontEnd::setZoom(int zoom) {
    const Uint32 flags = SDL_GetWindowFlags(window_.get());
    if (flags & SDL_WINDOW_FULLSCREEN) SDL_SetWindowFullscreen(window_.get(), 0);
    if (flags & (SDL_WINDOW_MAXIMIZED | SDL_WINDOW_MINIMIZED)) SDL_RestoreWindow(window_.get());
    learnFrame();
    const int fitting = largestZoom(zoom == 0 ? kMaxZoom : zoom);
    if (zoom > fitting)
        notice("zoom " + std::to_string(zoom) + " does not fit, zoom " + std::to_string(fitting));
    else
        notice("zoom " + std::to_string(fitting));
    zoom_ = fitting;
    const int w = width_ * zoom_, h = height_ * zoom_;
    SDL_SetWindowSize(window_.get(), w, h);
    int x = 0, y = 0;
    SDL_GetWindowPosition(window_.get(), &x, &y);
    const SDL_Point kept = keepInside(usable_, x, y, w, h, frame_);
    if (kept.x != x || kept.y != y) SDL_SetWindowPosition(window_.get(), kept.x, kept.y);
    rememberPlace();
    draw();
}

// Where the window is while it is windowed, with the zoom its size shows.
void SdlFrontEnd::rememberPlace() {
    if (!shown_ || !windowed()) return;
    int x = 0, y = 0, w = 0, h = 0;
    SDL_GetWindowPosition(window_.get(), &x, &y);
    SDL_GetWindowSize(window_.get(), &w, &h);
    const int zoom = std::clamp(std::min(w / width_, h / height_), 1, kMaxZoom);
    place_ = WindowPlace{zoom, x, y};
}

void SdlFrontEnd::savePlace() const {
    if (!place_ || options_.settingsFolder.empty()) return;
    std::string error;
    if (!saveWindowPlace(options_.settingsFolder, width_, height_, *place_, &error))
        std::fprintf(stderr, "kestrova: %s\n", kdev::printable(error).c_str());
}

void SdlFrontEnd::notice(const std::string& text) {
    if (xWatch_.gone()) return;
    SDL_SetWindowTitle(window_.get(), (title_ + " - " + text).c_str());
    noticeEnds_ = Clock::now() + kNoticeTime;
    if (trace_) kdev::TraceEvent(*trace_, "window_notice").field("text", text);
}

bool SdlFrontEnd::createTexture(std::string* error) {
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    texture_.reset(SDL_CreateTexture(renderer_.get(), SDL_PIXELFORMAT_RGB888,
                                     SDL_TEXTUREACCESS_STREAMING, screen_->width(),
                                     screen_->height()));
    if (!texture_) {
        *error = "cannot create a " + std::to_string(screen_->width()) + "x" +
                 std::to_string(screen_->height()) + " texture (" + sdlError() + ")";
        return false;
    }
    SDL_SetTextureScaleMode(texture_.get(), SDL_ScaleModeNearest);
    return true;
}

// The window stays hidden until there is something to show, so an instance that only hands
// over to another one and exits never flashes an empty window.
void SdlFrontEnd::show() {
    if (shown_ || xWatch_.gone()) return;
    shown_ = true;
    SDL_ShowWindow(window_.get());
}

// Screen memory to the texture, read through the pitches, each pixel widened to 8 bits a
// channel here (expand5/6), not by the renderer, which rounds differently: the window shows
// exactly the colours of a screenshot.
void SdlFrontEnd::upload() {
    const kdev::Screen& s = *screen_;
    const int w = s.width(), h = s.height();
    staging_.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    const std::ptrdiff_t step = s.xPitch() / 2;
    const std::uint32_t* rgb = rgb_.data();
    std::uint32_t* out = staging_.data();
    for (int y = 0; y < h; ++y) {
        const std::uint16_t* in = s.at(0, y);
        if (step == 1) {
            for (int x = 0; x < w; ++x) *out++ = rgb[in[x]];
        } else {
            for (int x = 0; x < w; ++x, in += step) *out++ = rgb[*in];
        }
    }
    SDL_UpdateTexture(texture_.get(), nullptr, staging_.data(), w * 4);
}

void SdlFrontEnd::draw() {
    show();
    if (!visible()) {
        pending_ = true;
        return;
    }
    upload();
    SDL_Renderer* r = renderer_.get();
    SDL_SetRenderDrawColor(r, 0x20, 0x20, 0x20, 0xFF);  // the letterbox around the picture
    SDL_RenderClear(r);
    SDL_RenderCopy(r, texture_.get(), nullptr, nullptr);
    SDL_RenderPresent(r);
    lastDraw_ = Clock::now();
    pending_ = false;
}

// At most one frame per display refresh: a change that comes sooner waits in pending_ until
// the refresh is due (waitEvent draws it if nothing else comes first).
void SdlFrontEnd::present(const kdev::Screen& screen) {
    SDL_PumpEvents();  // slow motion's keys while a command draws (filterEvent)
    screen_ = &screen;
    pending_ = true;
    if (!shown_ || Clock::now() - lastDraw_ >= refresh_) draw();
}

void SdlFrontEnd::raise() {
    if (xWatch_.gone()) return;
    show();
    if (SDL_GetWindowFlags(window_.get()) & SDL_WINDOW_MINIMIZED) SDL_RestoreWindow(window_.get());
    SDL_RaiseWindow(window_.get());
}

void SdlFrontEnd::setWakeDescriptor(int fd) {
    watcher_.reset();
    wakeOutstanding_ = false;
    if (fd < 0) return;
    watcher_ = std::make_unique<WakeWatcher>(fd, wakeEventType_);
    if (!watcher_->running()) {
        std::fprintf(
            stderr,
            "kestrova: cannot watch for other instances; a second start will not raise this one\n");
        watcher_.reset();
    }
}

// The icon as the window's own, for the title bar and the task bar.
void SdlFrontEnd::setIcon(const kdev::Image& icon) {
    const std::size_t count =
        static_cast<std::size_t>(icon.width) * static_cast<std::size_t>(icon.height);
    if (icon.width <= 0 || icon.height <= 0 || icon.pixels.size() != count ||
        icon.opaque.size() != count || xWatch_.gone())
        return;
    SDL_Surface* surface =
        SDL_CreateRGBSurfaceWithFormat(0, icon.width, icon.height, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!surface) return;
    for (int y = 0; y < icon.height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(surface->pixels) +
                                                     y * surface->pitch);
        for (int x = 0; x < icon.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * icon.width + x;
            const std::uint32_t bgr = icon.pixels[i];
            row[x] = (icon.opaque[i] ? 0xFF000000u : 0u) | (bgr & 0xFF) << 16 | (bgr & 0xFF00) |
                     (bgr >> 16 & 0xFF);
        }
    }
    SDL_SetWindowIcon(window_.get(), surface);
    SDL_FreeSurface(surface);
}

// How long waitEvent may sleep before it has something of its own to do: a frame to draw or
// a notice to take down; nullopt: until the next event.
std::optional<std::chrono::milliseconds> SdlFrontEnd::untilDue() const {
    std::optional<Clock::time_point> due;
    if (pending_ && visible()) due = lastDraw_ + refresh_;
    if (noticeEnds_ && (!due || *noticeEnds_ < *due)) due = noticeEnds_;
    if (!due) return std::nullopt;
    return std::max(std::chrono::ceil<std::chrono::milliseconds>(*due - Clock::now()),
                    std::chrono::milliseconds(0));
}

bool SdlFrontEnd::waitEvent(kdev::InputEvent& event) {
    if (wakeOutstanding_ && watcher_) {
        // The device has served the requests of the last Wake.
        wakeOutstanding_ = false;
        watcher_->rearm();
    }
    for (;;) {
        if (xWatch_.gone() && !closeSent_) {
            closeSent_ = true;
            event = kdev::InputEvent{};
            event.kind = Kind::Close;
            return true;
        }
        if (noticeEnds_ && Clock::now() >= *noticeEnds_) {
            noticeEnds_.reset();
            if (!xWatch_.gone()) SDL_SetWindowTitle(window_.get(), title_.c_str());
        }
        if (pending_ && visible() && Clock::now() - lastDraw_ >= refresh_) draw();
        SDL_Event e;
        if (const auto wait = untilDue()) {
            if (!SDL_WaitEventTimeout(&e, static_cast<int>(wait->count()))) continue;
        } else if (!SDL_WaitEvent(&e)) {
            std::fprintf(stderr, "kestrova: lost the window's events (%s)\n", sdlError().c_str());
            return false;
        }
        if (e.type == stopEventType_) return false;  // the input ends: the device closes
        if (translate(e, event)) return true;
    }
}

bool SdlFrontEnd::translate(const SDL_Event& e, kdev::InputEvent& out) {
    out = kdev::InputEvent{};
    if (e.type == wakeEventType_) {
        wakeOutstanding_ = true;
        out.kind = Kind::Wake;
        return true;
    }
    switch (e.type) {
        case SDL_QUIT:
            out.kind = Kind::Close;
            return true;
        case SDL_SYSWMEVENT:
            // Another X client destroyed the window: the same as closing it.
            if (!closeSent_ && xWatch_.destroyedBy(e)) {
                closeSent_ = true;
                out.kind = Kind::Close;
                return true;
            }
            return false;
        case SDL_WINDOWEVENT:
            switch (e.window.event) {
                case SDL_WINDOWEVENT_CLOSE:
                    out.kind = Kind::Close;
                    return true;
                case SDL_WINDOWEVENT_SHOWN:
                case SDL_WINDOWEVENT_EXPOSED:
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                case SDL_WINDOWEVENT_RESTORED:
                    if (shown_) draw();
                    rememberPlace();
                    return false;
                case SDL_WINDOWEVENT_MOVED:
                    rememberPlace();
                    return false;
                default:
                    return false;
            }
        case SDL_RENDER_DEVICE_RESET: {
            std::string error;
            if (!createTexture(&error)) std::fprintf(stderr, "kestrova: %s\n", error.c_str());
            if (texture_) draw();
            return false;
        }
        case SDL_RENDER_TARGETS_RESET:
            draw();
            return false;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
        case SDL_MOUSEMOTION:
            return translateMouse(e, out);
        case SDL_KEYDOWN:
            return translateKey(e.key, out);
        default:
            return false;
    }
}

// The window's own keys (Alt+Enter, F12, Ctrl+digit) first; then the device keys.
bool SdlFrontEnd::translateKey(const SDL_KeyboardEvent& e, kdev::InputEvent& out) {
    const SDL_Keysym& k = e.keysym;
    if ((k.sym == SDLK_RETURN || k.sym == SDLK_KP_ENTER) && (k.mod & KMOD_ALT)) {
        if (!e.repeat) toggleFullscreen();
        return false;
    }
    if (k.sym == SDLK_F12) {
        if (!e.repeat) saveScreenshot();
        return false;
    }
    if ((k.mod & KMOD_CTRL) && !(k.mod & (KMOD_ALT | KMOD_SHIFT | KMOD_GUI))) {
        // By position, so that every keyboard layout has them where the digits are.
        int digit = -1;
        if (k.scancode >= SDL_SCANCODE_1 && k.scancode <= SDL_SCANCODE_9)
            digit = k.scancode - SDL_SCANCODE_1 + 1;
        else if (k.scancode >= SDL_SCANCODE_KP_1 && k.scancode <= SDL_SCANCODE_KP_9)
            digit = k.scancode - SDL_SCANCODE_KP_1 + 1;
        else if (k.scancode == SDL_SCANCODE_0 || k.scancode == SDL_SCANCODE_KP_0)
            digit = 0;
        if (digit >= 0 && digit <= kMaxZoom) {
            if (!e.repeat) setZoom(digit);
            return false;
        }
    }
    const std::optional<kdev::Key> key = deviceKey(k.sym);
    if (!key) return false;
    // Held arrows move on; a held Return or Escape must not choose or cancel twice.
    const bool arrow = *key == kdev::Key::Left || *key == kdev::Key::Right ||
                       *key == kdev::Key::Up || *key == kdev::Key::Down;
    if (e.repeat && !arrow) return false;
    out.kind = Kind::KeyDown;
    out.key = *key;
    out.shift = (k.mod & KMOD_SHIFT) != 0;
    return true;
}

// The renderer's logical size has already turned window positions into device pixels; the
// letterbox lies outside 0..width-1, 0..height-1. A stroke starts only inside the picture and,
// once started, is followed to its end, held to the picture's edge.
bool SdlFrontEnd::translateMouse(const SDL_Event& e, kdev::InputEvent& out) {
    const int w = screen_->width(), h = screen_->height();
    auto clamped = [&](int x, int y) {
        return kdev::Point{std::clamp(x, 0, w - 1), std::clamp(y, 0, h - 1)};
    };
    kdev::Point p;
    if (e.type == SDL_MOUSEBUTTONDOWN) {
        if (e.button.button != SDL_BUTTON_LEFT || stylus_) return false;
        if (e.button.x < 0 || e.button.y < 0 || e.button.x >= w || e.button.y >= h) return false;
        stylus_ = true;
        out.kind = Kind::StylusDown;
        p = {e.button.x, e.button.y};
    } else if (e.type == SDL_MOUSEBUTTONUP) {
        if (e.button.button != SDL_BUTTON_LEFT || !stylus_) return false;
        stylus_ = false;
        out.kind = Kind::StylusUp;
        p = clamped(e.button.x, e.button.y);
    } else {
        if (!stylus_) return false;
        p = clamped(e.motion.x, e.motion.y);
        if (p.x == lastStylus_.x && p.y == lastStylus_.y)
            return false;  // moved within one device pixel
        out.kind = Kind::StylusMove;
    }
    lastStylus_ = p;
    out.x = p.x;
    out.y = p.y;
    return true;
}

void SdlFrontEnd::toggleFullscreen() {
    const bool full = SDL_GetWindowFlags(window_.get()) & SDL_WINDOW_FULLSCREEN;
    if (SDL_SetWindowFullscreen(window_.get(), full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP) != 0)
        std::fprintf(stderr, "kestrova: cannot switch fullscreen (%s)\n", sdlError().c_str());
    draw();
}

// F12: said on stderr, and for a moment in the title bar, where the user is looking.
void SdlFrontEnd::saveScreenshot() {
    const std::filesystem::path path = screenshotPath();
    std::string error;
    if (writePng(path.string(), *screen_, &error)) {
        // The folder's name may hold anything, escape sequences included.
        std::fprintf(stderr, "kestrova: screenshot saved to %s\n",
                     kdev::printable(path.string()).c_str());
        notice("saved " + path.filename().string());
    } else {
        std::fprintf(stderr, "kestrova: cannot save a screenshot: %s\n",
                     kdev::printable(error).c_str());
        notice("screenshot not saved");
    }
}

}  // namespace

std::unique_ptr<kdev::FrontEnd> makeSdlFrontEnd(const kdev::Screen& screen,
                                                const SdlOptions& options, std::string* error) {
    // Only a desktop will do. Left to itself SDL would fall back to an invisible offscreen
    // window; a choice made in SDL_VIDEODRIVER is left alone.
    if (!SDL_getenv("SDL_VIDEODRIVER")) {
        if (!SDL_getenv("DISPLAY") && !SDL_getenv("WAYLAND_DISPLAY")) {
            if (error)
                *error =
                    "no display available to open a window (neither DISPLAY nor WAYLAND_DISPLAY is "
                    "set)";
            return nullptr;
        }
        // Only the systems named in the environment are tried, so none complains of another.
        const char* drivers = !SDL_getenv("WAYLAND_DISPLAY") ? "x11"
                              : !SDL_getenv("DISPLAY")       ? "wayland"
                                                             : "x11,wayland";
        SDL_SetHint(SDL_HINT_VIDEODRIVER, drivers);
    }
    // SIGINT and SIGTERM are the host's (signals.h), with SIGHUP, not a quit of SDL's own.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
#ifdef SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE
    // Closing the window is the device's Close, delivered once, not a quit of SDL's own.
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
#endif
    auto frontEnd = std::make_unique<SdlFrontEnd>(screen, options);
    std::string reason;
    if (!frontEnd->open(&reason)) {
        if (error) *error = reason;
        return nullptr;
    }
    return frontEnd;
}

void traceWindowNotices(kdev::FrontEnd& window, kdev::Trace& trace) {
    if (auto* sdl = dynamic_cast<SdlFrontEnd*>(&window)) sdl->traceNotices(trace);
}

Desktop currentDesktop() {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!driver) return {};
    if (std::strcmp(driver, "x11") == 0) {
        const char* display = SDL_getenv("DISPLAY");
        if (!display || !*display) return {};
        return {x11DesktopKey(display), display};
    }
    if (std::strcmp(driver, "wayland") == 0) {
        const char* socket = SDL_getenv("WAYLAND_DISPLAY");
        const std::string name = socket && *socket ? socket : "wayland-0";
        return {"wayland-" + name, name};
    }
    // Other video drivers (offscreen, dummy) show on no desktop that another process shares.
    return {};
}

}  // namespace khost
