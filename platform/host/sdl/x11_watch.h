// Watches the SDL window's X11 window for the life of the front end: another X client may
// destroy it, and the window manager tells what frame it puts around it. Xlib stays inside
// x11_watch.cpp: its macros (None, Bool, Status...) must not meet other headers.
#pragma once

#include <SDL.h>

#include <optional>
#include <string>
#include <string_view>

#include "sdl/placement.h"

namespace khost {

// Once another client has destroyed the window, every request about it fails, and Xlib's own
// error handler would end the process. While a window is watched, errors about it never end
// the process: the front end reports its destruction as a close of the program's main window.
// Declared before the SDL members that use the window, so it outlasts them: their teardown of
// a destroyed window is still covered.
class XWindowWatch {
public:
    XWindowWatch() = default;
    ~XWindowWatch();
    XWindowWatch(const XWindowWatch&) = delete;
    XWindowWatch& operator=(const XWindowWatch&) = delete;

    // Starts watching the window (nothing on a desktop other than X11).
    void watch(SDL_Window* window);
    // Whether another X client has destroyed the watched window.
    bool gone() const;
    // The frame the window manager will put around the window, asked for before the window
    // is shown (_NET_REQUEST_FRAME_EXTENTS), once SDL knows it too, so that SDL places the
    // client area where it is asked to. nullopt when no window manager answers.
    std::optional<Frame> askFrame(SDL_Window* window) const;
    // Whether `e` says that our window has been destroyed.
    bool destroyedBy(const SDL_Event& e) const;

private:
    void stop();

    bool installed_ = false;
};

// ":0", "unix:0", ":0.0" and "unix/:0" name one X desktop; "host:0" another.
std::string x11DesktopKey(std::string_view display);

}  // namespace khost
