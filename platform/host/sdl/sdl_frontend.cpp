// The SDL2 front end: the device's screen in a window on the desktop, the left mouse button as
// the stylus and the keyboard as the device keys.
#include "sdl/sdl_frontend.h"

#include <SDL.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <memory>
#include <optional>
#include <vector>

#include "core/pacer.h"
#include "core/trace.h"
#include "gfx/canvas.h"
#include "options.h"
#include "sdl/slow_keys.h"
#include "settings.h"
#include "rgba.h"
#include "signals.h"
#include "snapshot.h"
#include "wake_watcher.h"
#include "sdl/placement.h"
#include "sdl/sdl_input.h"
#include "sdl/x11_watch.h"

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

// The displays the environment names, for a message that says which could not be reached:
// "the X display :5", "the Wayland display wayland-0", or both.
std::string namedDisplays() {
    const char* x = SDL_getenv("DISPLAY");
    const char* wayland = SDL_getenv("WAYLAND_DISPLAY");
    std::string names;
    if (x && *x) names = "the X display " + std::string(x);
    if (wayland && *wayland)
        names += (names.empty() ? "" : " nor ") + std::string("the Wayland display ") + wayland;
    return names.empty() ? "no display" : names;
}

// Plain ASCII: SDL's X11 title is only right in every locale when it is.
std::string windowTitle(const kdev::Geometry& g) { return "Kestrova - " + geometryName(g); }

constexpr auto kNoticeTime = std::chrono::seconds(2);
// The texture holds B, G, R and an unused byte in memory: the X server's own 32-bit pixels,
// without alpha, so the renderer copies and scales it on every present without converting or
// blending each pixel (an RGBA32 texture costs both).
constexpr Uint32 kTextureFormat =
    SDL_BYTEORDER == SDL_LIL_ENDIAN ? SDL_PIXELFORMAT_RGB888 : SDL_PIXELFORMAT_BGRX8888;

// How long xdg-user-dir may take to name the pictures folder. It is asked as the window opens,
// on a thread of its own, so an F12 normally finds the answer there already.
constexpr auto kPicturesAskLimit = std::chrono::milliseconds(2000);

// The part of display `index` that windows may use (without panels and docks); the whole
// display when the desktop does not say.
Area usableBounds(int index) {
    SDL_Rect r{0, 0, 0, 0};
    if (SDL_GetDisplayUsableBounds(index, &r) != 0 || r.w <= 0 || r.h <= 0) {
        if (SDL_GetDisplayBounds(index, &r) != 0 || r.w <= 0 || r.h <= 0) r = {0, 0, 1024, 768};
    }
    return {r.x, r.y, r.w, r.h};
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

// An SDL event of type `type`, pushed from the wake watcher's thread.
std::function<void()> pushEvent(Uint32 type) {
    return [type] {
        SDL_Event e{};
        e.type = type;
        SDL_PushEvent(&e);
    };
}

class SdlFrontEnd final : public kdev::FrontEnd {
public:
    SdlFrontEnd(const kdev::Screen& screen, const SdlOptions& options)
        : screen_(&screen),
          width_(screen.width()),
          height_(screen.height()),
          options_(options),
          title_(windowTitle(screen.geometry()) + slowTitle(options.slow)),
          fromTerminal_(startedFromTerminal()) {
        if (options_.screenshotDir.empty() && !fromTerminal_)
            asker_ =
                std::thread([this] { picturesFolder_ = askPicturesFolder(kPicturesAskLimit); });
    }
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
    void fitPicture();
    bool translate(const SDL_Event& e, kdev::InputEvent& out);
    bool translateMouse(const SDL_Event& e, kdev::InputEvent& out);
    bool translateKey(const SDL_KeyboardEvent& e, kdev::InputEvent& out);
    void toggleFullscreen();
    void saveScreenshot();
    std::filesystem::path screenshotFolder();
    bool filterEvent(const SDL_Event& e);

    // Placement and zoom.
    void chooseFirstPlace();
    void placeFirst();
    Spot firstPosition() const;
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
    std::unique_ptr<RgbaRows> rows_;      // the screen's pixel values as the texture's
    std::vector<std::uint32_t> staging_;  // the logical screen in RGBA, for the texture

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

    Area usable_;  // the usable area of the window's display
    Frame frame_ = kFrameGuess;
    int zoom_ = 1;
    int wantedZoom_ = kDefaultMaxZoom;       // --zoom, else the remembered zoom, else the default
    std::optional<WindowPlace> remembered_;  // from the settings file
    std::optional<WindowPlace> place_;       // the window's last place while windowed
    Area placeDesktop_;                      // the usable area of place_'s display
    bool cropped_ = false;  // the window is smaller than the screen: shown from its corner

    StylusTracker stylus_;

    // F12's folder: the start from a terminal or not, and xdg-user-dir's answer once asked.
    const bool fromTerminal_;
    std::optional<std::string> picturesFolder_;  // set by asker_, read once it has been joined
    std::thread asker_;
};

SdlFrontEnd::~SdlFrontEnd() {
    if (asker_.joinable()) asker_.join();
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
        *error = "cannot reach " + namedDisplays() + " to open a window (" + sdlError() + ")";
        return false;
    }
    const int w = width_, h = height_;
    chooseFirstPlace();
    // Window managers put the frame's corner where a new window asks to be.
    const Spot at = firstPosition();
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

    // See fitPicture.
    SDL_RenderSetLogicalSize(renderer_.get(), w, h);
    SDL_RenderSetIntegerScale(renderer_.get(), SDL_TRUE);
    if (!createTexture(error)) return false;
    rows_ = std::make_unique<RgbaRows>(*screen_, RgbaRows::Order::bgra);

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
        stopWatcher_ = std::make_unique<WakeWatcher>(stopDescriptor(), pushEvent(stopEventType_));
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
// close is not kept waiting. False drops the event. Runs as each event arrives.
bool SdlFrontEnd::filterEvent(const SDL_Event& e) {
    // A new size changes how the picture is shown before the mouse events that come after it
    // are turned into device pixels: SDL does that as each event arrives, not as it is read.
    if (e.type == SDL_WINDOWEVENT && e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED && renderer_)
        fitPicture();
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
// remembered place where it still fits the desktop, else centred on the first display. A place
// is remembered for a display size on a desktop of a size: the first display whose usable area
// has that size and holds the place is the one. Until the window manager has said what frame it
// puts around the window, a guess of it is used.
void SdlFrontEnd::chooseFirstPlace() {
    usable_ = usableBounds(0);
    if (!options_.settingsFolder.empty()) {
        std::string warning;
        for (int i = 0; i < std::max(SDL_GetNumVideoDisplays(), 1); ++i) {
            const Area usable = usableBounds(i);
            std::optional<WindowPlace> place = loadWindowPlace(
                options_.settingsFolder, {width_, height_, usable.w, usable.h}, &warning);
            if (place && displayAt(place->x, place->y) == i) {
                remembered_ = place;
                usable_ = usable;
                break;
            }
        }
        if (!warning.empty())
            std::fprintf(stderr, "kestrova: %s\n", kdev::printable(warning).c_str());
    }
    wantedZoom_ = options_.zoom > 0 ? options_.zoom
                  : remembered_     ? remembered_->zoom
                                    : kDefaultMaxZoom;
    zoom_ = largestZoom(wantedZoom_);
}

// The client area's place at zoom_: the remembered one if the window had that zoom there and
// fits there, else centred.
Spot SdlFrontEnd::firstPosition() const {
    std::optional<RememberedPlace> remembered;
    if (remembered_)
        remembered = RememberedPlace{Spot{remembered_->x, remembered_->y}, remembered_->zoom};
    return khost::firstPosition(usable_, remembered, zoom_, width_ * zoom_, height_ * zoom_,
                                frame_);
}

// Before the window is shown: with the frame the window manager will put around it, the
// largest zoom up to the one wanted at which it fits (a --zoom that has to be lowered is said
// so, on one line), and the place where all of it, title bar first, is on the desktop.
void SdlFrontEnd::placeFirst() {
    if (std::optional<Frame> frame = xWatch_.askFrame(window_.get())) frame_ = *frame;
    zoom_ = largestZoom(wantedZoom_);
    const std::string tooLarge = tooLargeNotice(usable_, width_, height_, frame_);
    if (!tooLarge.empty())
        std::fprintf(stderr, "kestrova: %s\n", tooLarge.c_str());
    else if (options_.zoom > zoom_)
        std::fprintf(stderr,
                     "kestrova: --zoom %d does not fit the desktop (%dx%d usable); using zoom %d\n",
                     options_.zoom, usable_.w, usable_.h, zoom_);
    // The position last: SDL moves the window again for the minimum size, and reads an
    // unmapped window's position back as its frame's.
    keepMinimumSize();
    SDL_SetWindowSize(window_.get(), width_ * zoom_, height_ * zoom_);
    const Spot at = firstPosition();
    SDL_SetWindowPosition(window_.get(), at.x, at.y);
}

int SdlFrontEnd::largestZoom(int most) const {
    return khost::largestZoom(usable_, width_, height_, frame_, most);
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
    const Spot least = minimumSize(usable_, width_, height_, frame_);
    int oldW = 0, oldH = 0;
    SDL_GetWindowMinimumSize(window_.get(), &oldW, &oldH);
    if (oldW != least.x || oldH != least.y)
        SDL_SetWindowMinimumSize(window_.get(), least.x, least.y);
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
    const Spot kept = keepInside(usable_, x, y, w, h, frame_);
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
    const int display = SDL_GetWindowDisplayIndex(window_.get());
    placeDesktop_ = usableBounds(display >= 0 ? display : 0);
}

void SdlFrontEnd::savePlace() const {
    if (!place_ || options_.settingsFolder.empty()) return;
    std::string error;
    const PlaceKey key{width_, height_, placeDesktop_.w, placeDesktop_.h};
    if (!saveWindowPlace(options_.settingsFolder, key, *place_, &error))
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
    texture_.reset(SDL_CreateTexture(renderer_.get(), kTextureFormat, SDL_TEXTUREACCESS_STREAMING,
                                     screen_->width(), screen_->height()));
    if (!texture_) {
        *error = "cannot create a " + std::to_string(screen_->width()) + "x" +
                 std::to_string(screen_->height()) + " texture (" + sdlError() + ")";
        return false;
    }
    SDL_SetTextureScaleMode(texture_.get(), SDL_ScaleModeNearest);
    SDL_SetTextureBlendMode(texture_.get(), SDL_BLENDMODE_NONE);
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
    for (int y = 0; y < h; ++y) rows_->row(s, y, staging_.data() + static_cast<std::size_t>(y) * w);
    SDL_UpdateTexture(texture_.get(), nullptr, staging_.data(), w * 4);
}

// The picture keeps its shape and its pixels square: letterboxed at the largest whole scale
// that fits, and mouse positions reported in device pixels. A window smaller than the screen
// (a display larger than the desktop) shows it at 1:1 from its top-left corner, so that the
// command bar is in view, where SDL would centre it and cut the bar off; a window point is then
// a device pixel.
void SdlFrontEnd::fitPicture() {
    int w = 0, h = 0;
    SDL_GetWindowSize(window_.get(), &w, &h);
    const bool cropped = w < width_ || h < height_;
    if (cropped == cropped_) return;
    cropped_ = cropped;
    if (cropped) {
        SDL_RenderSetLogicalSize(renderer_.get(), 0, 0);
        SDL_RenderSetViewport(renderer_.get(), nullptr);
        SDL_RenderSetScale(renderer_.get(), 1.0f, 1.0f);
    } else {
        SDL_RenderSetLogicalSize(renderer_.get(), width_, height_);
    }
}

void SdlFrontEnd::draw() {
    show();
    if (!visible()) {
        pending_ = true;
        return;
    }
    upload();
    SDL_Renderer* r = renderer_.get();
    fitPicture();
    SDL_SetRenderDrawColor(r, 0x20, 0x20, 0x20, 0xFF);  // the letterbox around the picture
    SDL_RenderClear(r);
    const SDL_Rect corner{0, 0, width_, height_};
    SDL_RenderCopy(r, texture_.get(), nullptr, cropped_ ? &corner : nullptr);
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
    watcher_ = std::make_unique<WakeWatcher>(fd, pushEvent(wakeEventType_));
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
        SDL_CreateRGBSurfaceWithFormat(0, icon.width, icon.height, 32, SDL_PIXELFORMAT_RGBA32);
    if (!surface) return;
    for (int y = 0; y < icon.height; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(static_cast<std::uint8_t*>(surface->pixels) +
                                                     y * surface->pitch);
        for (int x = 0; x < icon.width; ++x) {
            const std::size_t i = static_cast<std::size_t>(y) * icon.width + x;
            row[x] = rgbaOf(icon.pixels[i], icon.opaque[i] ? 0xFF : 0);
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
    const std::optional<kdev::InputEvent> key = deviceKeyEvent(e);
    if (!key) return false;
    out = *key;
    return true;
}

bool SdlFrontEnd::translateMouse(const SDL_Event& e, kdev::InputEvent& out) {
    const std::optional<kdev::InputEvent> stylus =
        stylus_.translate(e, screen_->width(), screen_->height());
    if (!stylus) return false;
    out = *stylus;
    return true;
}

void SdlFrontEnd::toggleFullscreen() {
    const bool full = SDL_GetWindowFlags(window_.get()) & SDL_WINDOW_FULLSCREEN;
    if (SDL_SetWindowFullscreen(window_.get(), full ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP) != 0)
        std::fprintf(stderr, "kestrova: cannot switch fullscreen (%s)\n", sdlError().c_str());
    draw();
}

std::filesystem::path SdlFrontEnd::screenshotFolder() {
    if (asker_.joinable()) asker_.join();  // at most kPicturesAskLimit after the start
    ScreenshotFolderRule rule;
    rule.option = options_.screenshotDir;
    rule.fromTerminal = fromTerminal_;
    rule.pictures = picturesFolder_;
    const char* home = std::getenv("HOME");
    rule.home = home ? home : "";
    return khost::screenshotFolder(rule);
}

// F12: the whole path said on stderr, and for a moment in the title bar, where the user is
// looking.
void SdlFrontEnd::saveScreenshot() {
    const std::filesystem::path folder = screenshotFolder();
    std::string error;
    if (!folder.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);  // no error when it is already there
        if (ec) error = "cannot make the folder " + folder.string() + ": " + ec.message();
    }
    const std::filesystem::path path = screenshotPath(folder);
    if (error.empty() && writePng(path.string(), *screen_, &error)) {
        // The folder's name may hold anything, escape sequences included.
        const std::string shown = kdev::printable(path.string());
        std::fprintf(stderr, "kestrova: screenshot saved to %s\n", shown.c_str());
        notice("saved " + shown);
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
