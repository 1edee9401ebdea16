// Input: the stylus goes to the window under it (or the one that captured it), keys to the
// topmost enabled window, closes to the innermost modal loop or the main window, commands to
// the main window. A disabled window, or one inside a disabled window, takes no input.
#include "wm/window_manager.h"

namespace kdev {

std::uint32_t WindowManager::hitChild(std::uint32_t handle, Point p) const {
    const Window& w = *windows_.at(handle);
    for (auto it = w.children.rbegin(); it != w.children.rend(); ++it) {
        const Window& c = *windows_.at(*it);
        if (c.visible && c.rect.contains(p) && clientRect(w).contains(p)) return hitChild(*it, p);
    }
    return handle;
}

std::uint32_t WindowManager::hitTest(Point p) const {
    for (auto it = zOrder_.rbegin(); it != zOrder_.rend(); ++it) {
        const Window& w = *windows_.at(*it);
        if (w.visible && w.rect.contains(p)) return hitChild(*it, p);
    }
    return 0;
}

bool WindowManager::inputEnabled(std::uint32_t handle) const {
    for (;;) {
        auto it = windows_.find(handle);
        if (it == windows_.end()) return false;
        if (!it->second->enabled) return false;
        if (!it->second->parent) return true;
        handle = it->second->parent;
    }
}

// Keys go to the topmost enabled top-level window, or to a child of it that asked for them.
std::uint32_t WindowManager::focusWindow() const {
    for (auto it = zOrder_.rbegin(); it != zOrder_.rend(); ++it) {
        const Window& w = *windows_.at(*it);
        if (w.visible && !w.destroying && inputEnabled(*it)) return *it;
    }
    return 0;
}

void WindowManager::routeInput(const InputEvent& ev) {
    using K = InputEvent::Kind;
    switch (ev.kind) {
        case K::StylusDown:
        case K::StylusMove:
        case K::StylusUp: {
            const Point p{ev.x, ev.y};
            stylus_ = p;
            std::uint32_t target = capture_;
            if (ev.kind == K::StylusDown || !target) target = hitTest(p);
            if (ev.kind == K::StylusUp) capture_ = 0;
            if (!target || !inputEnabled(target)) return;
            if (ev.kind == K::StylusDown) {
                capture_ = target;
                const std::uint32_t top = topLevelOf(target);
                if (!zOrder_.empty() && zOrder_.back() != top) raiseTop(top, true);
            }
            Window& w = *windows_.at(target);
            const Rect c = clientRect(w);
            const LPARAM pos =
                static_cast<LPARAM>(((ev.y - c.top) & 0xFFFF) << 16 | ((ev.x - c.left) & 0xFFFF));
            const UINT msg = ev.kind == K::StylusDown ? WM_LBUTTONDOWN
                             : ev.kind == K::StylusUp ? WM_LBUTTONUP
                                                      : WM_MOUSEMOVE;
            post(toHwnd(target), msg, ev.kind == K::StylusUp ? 0 : 1, pos);
            return;
        }
        case K::KeyDown: {
            // F10 is a system key: it comes as WM_SYSKEYDOWN, as on the platform.
            std::uint32_t target = focusWindow();
            // Each key is dispatched before the next input is taken, so the state holds for it.
            shiftHeld_ = ev.shift;
            if (target)
                post(toHwnd(target), ev.key == Key::F10 ? WM_SYSKEYDOWN : WM_KEYDOWN,
                     static_cast<WPARAM>(ev.key), 0);
            return;
        }
        case K::Close: {
            // The innermost modal loop ends first. A box or dialog that nothing owns is closed
            // itself; one with an owner goes with the main window, which takes it along.
            for (auto it = modal_.rbegin(); it != modal_.rend(); ++it) {
                const Window* w = get(*it);
                if (!w || w->destroying) continue;
                if (!w->owner) {
                    post(toHwnd(*it), WM_CLOSE, 0, 0);
                    return;
                }
                break;
            }
            if (HWND main = mainWindow()) {
                post(main, WM_CLOSE, 0, 0);
            } else if (inputEnded_) {
                // Nothing is left that could ever end the program's loop.
                postQuit(0);
            }
            return;
        }
        case K::Command:
            if (takesCommands()) post(mainWindow(), WM_COMMAND, ev.command, 0);
            return;
        case K::Wake:
            serveRequests();
            return;
    }
}

// Like a tap, a command does not reach a window a dialog has disabled.
bool WindowManager::takesCommands() const {
    const HWND main = mainWindow();
    return main && inputEnabled(toHandle(main));
}

}  // namespace kdev
