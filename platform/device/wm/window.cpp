// Windows: creating one, the tree of parents and children, showing, finding, enabling, and
// destroying (each window is told once, whoever finishes its destruction).
#include <algorithm>

#include "core/device.h"
#include "core/trace.h"
#include "resources/resources.h"
#include "wm/window_manager.h"

namespace kdev {

WindowManager::WindowManager(Device& device)
    : device_(device), publisher_(device.instances(), device.frontEnd()) {}

// Windows still alive at the end get no messages: their procedures may belong to a program
// that has already returned. The publisher withdraws them from other instances.
WindowManager::~WindowManager() = default;

Window* WindowManager::get(HWND hwnd) { return get(toHandle(hwnd)); }

Window* WindowManager::get(std::uint32_t handle) {
    auto it = windows_.find(handle);
    return it == windows_.end() ? nullptr : it->second.get();
}

HWND WindowManager::create(DWORD exStyle, std::u16string_view className, std::u16string_view title,
                           DWORD style, int x, int y, int width, int height, HWND parentHwnd,
                           int id, LPVOID param) {
    const WindowClass* cls = findClass(className);
    if (!cls) return nullptr;
    Window* parent = parentHwnd ? get(parentHwnd) : nullptr;
    if ((style & WS_CHILD) && !parent) return nullptr;
    if (parentHwnd && !parent) return nullptr;
    width = std::max(0, width);
    height = std::max(0, height);

    auto w = std::make_unique<Window>();
    w->handle = nextHandle_;
    nextHandle_ += 2;
    w->cls = *cls;
    w->title = std::u16string(title);
    w->style = style & ~WS_VISIBLE;
    w->exStyle = exStyle;
    w->id = id;
    if (style & WS_CHILD) {
        Rect pc = clientRect(*parent);
        w->rect = Rect{x, y, x + width, y + height}.offset(pc.left, pc.top);
        w->parent = parent->handle;
        parent->children.push_back(w->handle);
    } else {
        w->rect = {x, y, x + width, y + height};
        if (parent) w->owner = topLevelOf(parent->handle);
        zOrder_.push_back(w->handle);
    }
    const std::uint32_t handle = w->handle;
    const bool topLevel = !(style & WS_CHILD);
    windows_.emplace(handle, std::move(w));
    HWND hwnd = toHwnd(handle);
    TraceEvent(device_.trace(), "window_created")
        .field("class", cls->name)
        .field("title", title)
        .field("hwnd", static_cast<std::int64_t>(handle));
    if (topLevel && !cls->system) publishWindows();

    if (send(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(param)) == -1) {
        destroy(hwnd);
        return nullptr;
    }
    if (!get(handle)) return nullptr;  // destroyed while being created
    if (style & WS_VISIBLE) show(hwnd, true);
    return hwnd;
}

std::uint32_t WindowManager::topLevelOf(std::uint32_t handle) const {
    for (;;) {
        auto it = windows_.find(handle);
        if (it == windows_.end()) return 0;
        if (!it->second->parent) return handle;
        handle = it->second->parent;
    }
}

bool WindowManager::destroy(HWND hwnd) {
    Window* w = get(hwnd);
    if (!w || w->destroying) return false;
    w->destroying = true;
    const std::uint32_t handle = w->handle;

    // Owned windows go first, then the window itself, then its children.
    std::vector<std::uint32_t> owned;
    for (std::uint32_t h : zOrder_)
        if (Window* o = get(h); o && o->owner == handle) owned.push_back(h);
    for (auto it = owned.rbegin(); it != owned.rend(); ++it) destroy(toHwnd(*it));

    const bool wasVisible = w->visible;
    const Rect area = w->rect;
    beginDestroy(*w);
    destroyChildren(handle);

    // Gone already when its parent went meanwhile (a procedure told WM_DESTROY destroyed it):
    // the parent's destruction finished this one's and repainted what they both uncovered.
    if (!get(handle)) return true;
    if (wasVisible) invalidateBelow(handle, area);
    const Window& dead = *get(handle);
    const bool program = !dead.parent && !dead.cls.system;
    forget(handle);
    if (program) publishWindows();
    return true;
}

void WindowManager::beginDestroy(Window& w) {
    w.destroying = true;
    if (capture_ == w.handle) capture_ = 0;
    send(toHwnd(w.handle), WM_DESTROY, 0, 0);
}

// Children are destroyed after their parent has seen WM_DESTROY, deepest first; a child whose
// own destruction is already under way is not told twice.
void WindowManager::destroyChildren(std::uint32_t handle) {
    Window* w = get(handle);
    if (!w) return;
    std::vector<std::uint32_t> children = w->children;
    for (std::uint32_t c : children) {
        Window* child = get(c);
        if (!child) continue;
        if (!child->destroying) beginDestroy(*child);
        destroyChildren(c);
        if (get(c)) forget(c);
    }
    if (Window* self = get(handle)) self->children.clear();
}

void WindowManager::forget(std::uint32_t handle) {
    const Window& dead = *windows_.at(handle);
    if (dead.parent)
        if (Window* p = get(dead.parent)) std::erase(p->children, handle);
    TraceEvent(device_.trace(), "window_destroyed")
        .field("class", dead.cls.name)
        .field("title", dead.title)
        .field("hwnd", static_cast<std::int64_t>(handle));
    std::erase(zOrder_, handle);
    std::erase_if(queue_, [handle](const MSG& m) { return toHandle(m.hwnd) == handle; });
    windows_.erase(handle);
}

bool WindowManager::show(HWND hwnd, bool visible) {
    Window* w = get(hwnd);
    if (!w) return false;
    const bool was = w->visible;
    if (was == visible) return was;
    w->visible = visible;
    if (visible && hwnd == mainWindow()) showIcon(*w);
    if (visible) {
        invalidate(*w, w->rect, true);
        for (std::uint32_t c : w->children)
            if (Window* child = get(c); child && child->visible)
                invalidate(*child, child->rect, true);
    } else {
        invalidateBelow(w->handle, w->rect);
    }
    return was;
}

// The front end shows the main window's class icon as its own, once: the class stays.
void WindowManager::showIcon(const Window& w) {
    if (iconShown_ || !w.cls.icon) return;
    if (const Image* icon = device_.resources().icon(w.cls.icon)) {
        iconShown_ = true;
        device_.frontEnd().setIcon(*icon);
    }
}

Rect WindowManager::clientRect(const Window& w) const {
    Rect r = w.rect;
    if (w.hasCaption()) r.top = std::min(r.bottom, r.top + kCaptionHeight);
    if (w.style & WS_BORDER || w.hasCaption()) {
        r.left = std::min(r.right, r.left + 1);
        r.right = std::max(r.left, r.right - 1);
        r.bottom = std::max(r.top, r.bottom - 1);
    }
    return r;
}

HWND WindowManager::find(std::u16string_view className, std::u16string_view title, bool anyClass,
                         bool anyTitle) const {
    const WindowClass* cls = anyClass ? nullptr : findClass(className);
    if (!anyClass && !cls) return nullptr;
    for (auto it = zOrder_.rbegin(); it != zOrder_.rend(); ++it) {
        const Window& w = *windows_.at(*it);
        if (w.destroying) continue;
        if (!anyClass && w.cls.name != cls->name) continue;
        if (!anyTitle && w.title != title) continue;
        return toHwnd(w.handle);
    }
    return nullptr;
}

HWND WindowManager::mainWindow() const {
    for (std::uint32_t h : zOrder_) {
        const Window& w = *windows_.at(h);
        if (!w.cls.system && !w.owner && !w.destroying) return toHwnd(h);
    }
    return nullptr;
}

bool WindowManager::enable(HWND hwnd, bool enabled) {
    Window* w = get(hwnd);
    if (!w) return false;
    const bool wasDisabled = !w->enabled;
    w->enabled = enabled;
    if (!enabled && capture_ && topLevelOf(capture_) == topLevelOf(w->handle)) capture_ = 0;
    return wasDisabled;
}

}  // namespace kdev
