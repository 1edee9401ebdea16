// Z-order and the foreground: raising a top-level window with the windows it owns, within this
// device and, through the instance publisher, for and from other running instances.
#include <algorithm>

#include "core/device.h"
#include "core/trace.h"
#include "instances/instances.h"
#include "wm/window_manager.h"

namespace kdev {

// Moves a top-level window (and the windows it owns, which always stay above it) to the top.
void WindowManager::raiseTop(std::uint32_t handle, bool withOwned) {
    std::vector<std::uint32_t> moving{handle};
    if (withOwned)
        for (std::uint32_t h : zOrder_)
            if (Window* o = get(h); o && o->owner == handle) moving.push_back(h);
    const std::vector<std::uint32_t> before = zOrder_;
    for (std::uint32_t h : moving) {
        auto it = std::find(zOrder_.begin(), zOrder_.end(), h);
        if (it == zOrder_.end()) continue;
        zOrder_.erase(it);
        zOrder_.push_back(h);
    }
    // Windows already on top in this order uncover nothing: repainting them would only erase
    // what the program drew.
    if (zOrder_ != before)
        for (std::uint32_t h : moving)
            if (Window* w = get(h); w && w->visible) invalidate(*w, w->rect, true);
}

bool WindowManager::setForeground(HWND hwnd) {
    const std::uint32_t raw = toHandle(hwnd);
    const bool withOwned = raw & 1;
    const std::uint32_t handle = raw & ~1u;
    if (auto it = foreign_.find(handle); it != foreign_.end()) {
        Instances* inst = device_.instances();
        bool ok = inst && inst->requestForeground({it->second.first, it->second.second},
                                                  it->second.second | (withOwned ? 1u : 0u));
        TraceEvent(device_.trace(), "foreground_sent")
            .field("pid", it->second.first)
            .field("hwnd", static_cast<std::int64_t>(it->second.second))
            .field("owned", withOwned)
            .field("ok", ok);
        return ok;
    }
    const std::uint32_t top = topLevelOf(handle);
    if (!top) return false;
    // Owned windows always stay above their owner, so raising an owner raises them too.
    raiseTop(top, true);
    (void)withOwned;
    return true;
}

HWND WindowManager::foreignWindow(int pid, std::uint32_t remoteHandle) {
    for (const auto& [handle, target] : foreign_)
        if (target.first == pid && target.second == remoteHandle) return toHwnd(handle);
    const std::uint32_t handle = nextForeign_;
    nextForeign_ += 2;
    foreign_[handle] = {pid, remoteHandle};
    return toHwnd(handle);
}

// What other instances may find: the program's top-level windows that are not going.
void WindowManager::publishWindows() {
    if (!device_.instances()) return;
    std::vector<Instances::Published> list;
    for (std::uint32_t h : zOrder_) {
        const Window& w = *windows_.at(h);
        if (!w.cls.system && !w.destroying) list.push_back({h, w.cls.name, w.title});
    }
    publisher_.publish(list);
}

void WindowManager::serveRequests() {
    for (std::uint32_t request : publisher_.takeRequests()) {
        const std::uint32_t handle = request & ~1u;
        const bool withOwned = request & 1;
        Window* w = get(handle);
        TraceEvent(device_.trace(), "foreground_request")
            .field("hwnd", static_cast<std::int64_t>(handle))
            .field("owned", withOwned)
            .field("known", w != nullptr);
        if (!w) continue;
        raiseTop(topLevelOf(handle), withOwned);
        device_.frontEnd().raise();
    }
}

}  // namespace kdev
