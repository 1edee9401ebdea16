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
#include <ctime>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "options.h"
#include "signals.h"
#include "snapshot.h"

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

std::string windowTitle(const kdev::Geometry& g) {
    // Plain ASCII: SDL's X11 title is only right in every locale when it is.
    return "Kestrova - " + geometryName(g);
}

// Both device formats keep blue in the top field and red in the bottom one, which is what SDL
// calls BGR.
Uint32 textureFormat(kdev::PixelFormat format) {
    return format == kdev::PixelFormat::Rgb565 ? SDL_PIXELFORMAT_BGR565 : SDL_PIXELFORMAT_BGR555;
}

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
    SdlVideo() { ok = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0; }
    ~SdlVideo() {
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
        : screen_(&screen), options_(options) {}
    ~SdlFrontEnd() override = default;

    bool open(std::string* error);

    bool waitEvent(kdev::InputEvent& event) override;
    void present(const kdev::Screen& screen) override;
    void raise() override;
    void setWakeDescriptor(int fd) override;

private:
    bool createTexture(std::string* error);
    bool visible() const {
        return !(SDL_GetWindowFlags(window_.get()) & (SDL_WINDOW_HIDDEN | SDL_WINDOW_MINIMIZED));
    }
    void show();
    void draw();
    void upload();
    bool translate(const SDL_Event& e, kdev::InputEvent& out);
    bool translateMouse(const SDL_Event& e, kdev::InputEvent& out);
    void toggleFullscreen();
    void saveScreenshot() const;

    const kdev::Screen* screen_;
    SdlOptions options_;
    SdlVideo video_;
    std::unique_ptr<SDL_Window, WindowDeleter> window_;
    std::unique_ptr<SDL_Renderer, RendererDeleter> renderer_;
    std::unique_ptr<SDL_Texture, TextureDeleter> texture_;
    std::vector<std::uint16_t>
        staging_;  // the logical screen, for layouts SDL cannot read directly

    Uint32 wakeEventType_ = 0;
    Uint32 stopEventType_ = 0;
    std::unique_ptr<WakeWatcher> watcher_;      // after the SDL members: stopped before SDL goes
    std::unique_ptr<WakeWatcher> stopWatcher_;  // a stop signal (signals.h) as an SDL event
    bool wakeOutstanding_ = false;

    bool shown_ = false;
    bool pending_ = false;  // the screen changed since it was last put on the window
    Clock::time_point lastDraw_{};
    Clock::duration frame_ = std::chrono::microseconds(16667);

    bool stylus_ = false;  // a stylus stroke began inside the picture and is not over
    kdev::Point lastStylus_{};
};

bool SdlFrontEnd::open(std::string* error) {
    if (!video_.ok) {
        *error = "no display available to open a window (" + sdlError() + ")";
        return false;
    }
    const int w = screen_->width(), h = screen_->height();
    window_.reset(
        SDL_CreateWindow(windowTitle(screen_->geometry()).c_str(), SDL_WINDOWPOS_CENTERED,
                         SDL_WINDOWPOS_CENTERED, w * options_.zoom, h * options_.zoom,
                         SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE | SDL_WINDOW_ALLOW_HIGHDPI));
    if (!window_) {
        *error = "cannot open a window (" + sdlError() + ")";
        return false;
    }
    SDL_SetWindowMinimumSize(window_.get(), w, h);

    renderer_.reset(SDL_CreateRenderer(window_.get(), -1, SDL_RENDERER_PRESENTVSYNC));
    if (!renderer_) renderer_.reset(SDL_CreateRenderer(window_.get(), -1, SDL_RENDERER_SOFTWARE));
    if (!renderer_) {
        *error = "cannot draw in a window (" + sdlError() + ")";
        return false;
    }
    // The picture keeps its shape and its pixels square: letterboxed at the largest whole
    // scale that fits, and mouse positions reported in device pixels.
    SDL_RenderSetLogicalSize(renderer_.get(), w, h);
    SDL_RenderSetIntegerScale(renderer_.get(), SDL_TRUE);
    if (!createTexture(error)) return false;

    SDL_DisplayMode mode{};
    const int display = SDL_GetWindowDisplayIndex(window_.get());
    if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0)
        frame_ = std::chrono::microseconds(1000000 / mode.refresh_rate);

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
    return true;
}

bool SdlFrontEnd::createTexture(std::string* error) {
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");
    texture_.reset(SDL_CreateTexture(renderer_.get(), textureFormat(screen_->format()),
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
    if (shown_) return;
    shown_ = true;
    SDL_ShowWindow(window_.get());
}

// Screen memory to the texture, read through the pitches. SDL reads rows of consecutive pixels
// at any positive row pitch; other layouts are first gathered in logical order.
void SdlFrontEnd::upload() {
    const kdev::Screen& s = *screen_;
    if (s.xPitch() == 2 && s.yPitch() > 0) {
        SDL_UpdateTexture(texture_.get(), nullptr, s.base(), s.yPitch());
        return;
    }
    const int w = s.width(), h = s.height();
    staging_.resize(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    const std::ptrdiff_t step = s.xPitch() / 2;
    std::uint16_t* out = staging_.data();
    for (int y = 0; y < h; ++y) {
        const std::uint16_t* in = s.at(0, y);
        for (int x = 0; x < w; ++x, in += step) *out++ = *in;
    }
    SDL_UpdateTexture(texture_.get(), nullptr, staging_.data(), w * 2);
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
    screen_ = &screen;
    pending_ = true;
    if (!shown_ || Clock::now() - lastDraw_ >= frame_) draw();
}

void SdlFrontEnd::raise() {
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

bool SdlFrontEnd::waitEvent(kdev::InputEvent& event) {
    if (wakeOutstanding_ && watcher_) {
        // The device has served the requests of the last Wake.
        wakeOutstanding_ = false;
        watcher_->rearm();
    }
    for (;;) {
        SDL_Event e;
        if (pending_ && visible()) {
            const auto left = frame_ - (Clock::now() - lastDraw_);
            if (left <= Clock::duration::zero()) {
                draw();
                continue;
            }
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
            if (!SDL_WaitEventTimeout(&e, static_cast<int>(ms))) continue;
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
        case SDL_KEYDOWN: {
            const SDL_Keysym& k = e.key.keysym;
            if ((k.sym == SDLK_RETURN || k.sym == SDLK_KP_ENTER) && (k.mod & KMOD_ALT)) {
                if (!e.key.repeat) toggleFullscreen();
                return false;
            }
            if (k.sym == SDLK_F12) {
                if (!e.key.repeat) saveScreenshot();
                return false;
            }
            const std::optional<kdev::Key> key = deviceKey(k.sym);
            if (!key) return false;
            // Held arrows move on; a held Return or Escape must not choose or cancel twice.
            const bool arrow = *key == kdev::Key::Left || *key == kdev::Key::Right ||
                               *key == kdev::Key::Up || *key == kdev::Key::Down;
            if (e.key.repeat && !arrow) return false;
            out.kind = Kind::KeyDown;
            out.key = *key;
            out.shift = (k.mod & KMOD_SHIFT) != 0;
            return true;
        }
        default:
            return false;
    }
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

void SdlFrontEnd::saveScreenshot() const {
    const std::filesystem::path path = screenshotPath();
    std::string error;
    if (writePng(path.string(), *screen_, &error))
        std::fprintf(stderr, "kestrova: screenshot saved to %s\n", path.c_str());
    else
        std::fprintf(stderr, "kestrova: cannot save a screenshot: %s\n", error.c_str());
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

}  // namespace khost
