#include "sdl/sdl_input.h"

#include <algorithm>

namespace khost {

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

std::optional<kdev::InputEvent> deviceKeyEvent(const SDL_KeyboardEvent& e) {
    const std::optional<kdev::Key> key = deviceKey(e.keysym.sym);
    if (!key) return std::nullopt;
    const bool arrow = *key == kdev::Key::Left || *key == kdev::Key::Right ||
                       *key == kdev::Key::Up || *key == kdev::Key::Down;
    if (e.repeat && !arrow) return std::nullopt;
    return kdev::InputEvent::keyDown(*key, (e.keysym.mod & KMOD_SHIFT) != 0);
}

std::optional<kdev::InputEvent> StylusTracker::translate(const SDL_Event& e, int width,
                                                         int height) {
    const int x = e.type == SDL_MOUSEMOTION ? e.motion.x : e.button.x;
    const int y = e.type == SDL_MOUSEMOTION ? e.motion.y : e.button.y;
    const int cx = std::clamp(x, 0, width - 1), cy = std::clamp(y, 0, height - 1);
    if (e.type == SDL_MOUSEBUTTONDOWN) {
        if (e.button.button != SDL_BUTTON_LEFT || down_) return std::nullopt;
        if (x < 0 || y < 0 || x >= width || y >= height) return std::nullopt;
        down_ = true;
        lastX_ = x;
        lastY_ = y;
        return kdev::InputEvent::stylusDown(x, y);
    }
    if (e.type == SDL_MOUSEBUTTONUP) {
        if (e.button.button != SDL_BUTTON_LEFT || !down_) return std::nullopt;
        down_ = false;
        lastX_ = cx;
        lastY_ = cy;
        return kdev::InputEvent::stylusUp(cx, cy);
    }
    if (e.type != SDL_MOUSEMOTION || !down_) return std::nullopt;
    if (cx == lastX_ && cy == lastY_) return std::nullopt;
    lastX_ = cx;
    lastY_ = cy;
    return kdev::InputEvent::stylusMove(cx, cy);
}

}  // namespace khost
