// Input translation: SDL's mouse and keyboard events as the device's stylus and keys. The
// window's own keys (zoom, fullscreen, F12) are the window's (sdl_frontend.cpp).
#pragma once

#include <SDL.h>

#include <optional>

#include "core/frontend.h"

namespace khost {

// The device key an SDL key stands for, if any.
std::optional<kdev::Key> deviceKey(SDL_Keycode key);

// A key press as a device key press. Held arrows repeat; a held Return or Escape must not
// choose or cancel twice, so their repeats give nothing.
std::optional<kdev::InputEvent> deviceKeyEvent(const SDL_KeyboardEvent& e);

// The left mouse button as the stylus. The renderer's logical size has already turned window
// positions into device pixels; the letterbox lies outside 0..width-1, 0..height-1. A stroke
// starts only inside the picture and, once started, is followed to its end, held to the
// picture's edge; moves within one device pixel give nothing.
class StylusTracker {
public:
    std::optional<kdev::InputEvent> translate(const SDL_Event& e, int width, int height);

private:
    bool down_ = false;  // a stroke began inside the picture and is not over
    int lastX_ = 0;
    int lastY_ = 0;
};

}  // namespace khost
