// Painting: update regions, the order paint messages come in, what a window may paint (its
// visible region), and showing the screen only when it changed.
#include <algorithm>
#include <functional>

#include "core/device.h"
#include "wm/window_manager.h"

namespace kdev {

void WindowManager::update(HWND hwnd) {
    Window* w = get(hwnd);
    if (!w) return;
    const std::uint32_t handle = w->handle;
    if (w->visible && !w->update.empty()) send(hwnd, WM_PAINT, 0, 0);
    if (Window* again = get(handle)) {
        std::vector<std::uint32_t> children = again->children;
        for (std::uint32_t c : children) update(toHwnd(c));
    }
}

bool WindowManager::nextPaint(MSG& msg) {
    // Top-level windows from the bottom up, each before its children, so a parent's
    // background never covers a child that painted earlier.
    std::vector<std::uint32_t> order;
    std::function<void(std::uint32_t)> walk = [&](std::uint32_t h) {
        order.push_back(h);
        for (std::uint32_t c : windows_.at(h)->children) walk(c);
    };
    for (std::uint32_t h : zOrder_) walk(h);
    for (std::uint32_t h : order) {
        Window& w = *windows_.at(h);
        if (!w.visible) {
            w.update = Region();
            continue;
        }
        if (!w.update.empty()) {
            msg = MSG{};
            msg.hwnd = toHwnd(h);
            msg.message = WM_PAINT;
            return true;
        }
    }
    return false;
}

void WindowManager::presentIfChanged() {
    const std::uint64_t generation = device_.screen().generation();
    if (presented_ == generation) return;
    presented_ = generation;
    device_.frontEnd().present(device_.screen());
}

void WindowManager::invalidate(Window& w, const Rect& r, bool erase) {
    Rect i = r.intersect(w.rect);
    if (i.empty()) return;
    w.update.unite(i);
    w.erase = w.erase || erase;
}

void WindowManager::invalidateBelow(std::uint32_t handle, const Rect& r) {
    std::function<void(std::uint32_t)> walk = [&](std::uint32_t h) {
        if (h == handle) return;
        Window& w = *windows_.at(h);
        if (!w.visible) return;
        invalidate(w, r, true);
        for (std::uint32_t c : w.children) walk(c);
    };
    Window* gone = get(handle);
    if (gone && gone->parent) {
        walk(gone->parent);
        return;
    }
    for (std::uint32_t h : zOrder_) {
        if (h == handle) break;
        walk(h);
    }
}

Region WindowManager::visibleRegion(const Window& w) const {
    Region region(w.rect);
    // Clipped by every ancestor's client area.
    for (std::uint32_t p = w.parent; p;) {
        const Window& parent = *windows_.at(p);
        region.intersect(clientRect(parent));
        p = parent.parent;
    }
    // Not over the top-level windows above this one.
    const std::uint32_t top = topLevelOf(w.handle);
    auto it = std::find(zOrder_.begin(), zOrder_.end(), top);
    if (it != zOrder_.end())
        for (++it; it != zOrder_.end(); ++it) {
            const Window& above = *windows_.at(*it);
            if (above.visible) region.subtract(above.rect);
        }
    // Nor over its own children.
    for (std::uint32_t c : w.children) {
        const Window& child = *windows_.at(c);
        if (child.visible) region.subtract(child.rect);
    }
    return region;
}

Canvas WindowManager::windowCanvas(const Window& w) const {
    return Canvas(device_.screen(), visibleRegion(w));
}

Canvas WindowManager::paintCanvas(const Window& w) const {
    Region clip = visibleRegion(w);
    Region out;
    for (const Rect& u : w.update.rects())
        for (const Rect& v : clip.rects()) out.unite(u.intersect(v));
    return Canvas(device_.screen(), out);
}

}  // namespace kdev
