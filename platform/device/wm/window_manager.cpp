#include "wm/window_manager.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "core/device.h"
#include "instances/instances.h"
#include "resources/resources.h"
#include "core/trace.h"

namespace kdev {

WindowManager::WindowManager(Device& device)
    : device_(device), publisher_(device.instances(), device.frontEnd()) {}

// Windows still alive at the end get no messages: their procedures may belong to a program
// that has already returned. The publisher withdraws them from other instances.
WindowManager::~WindowManager() = default;

// ---------------------------------------------------------------------------------------------
// Classes

bool WindowManager::registerClass(const WindowClass& cls) {
    if (cls.name.empty() || !cls.proc) return false;
    auto [it, inserted] = classes_.emplace(cls.name, cls);
    return inserted;
}

const WindowClass* WindowManager::findClass(std::u16string_view name) const {
    for (const auto& [key, cls] : classes_) {
        if (key.size() != name.size()) continue;
        bool same = true;
        for (std::size_t i = 0; i < key.size() && same; ++i) {
            char16_t a = key[i], b = name[i];
            if (a >= u'a' && a <= u'z') a = static_cast<char16_t>(a - 32);
            if (b >= u'a' && b <= u'z') b = static_cast<char16_t>(b - 32);
            same = a == b;
        }
        if (same) return &cls;
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Windows

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

    if (wasVisible) invalidateBelow(handle, area);
    if (const Window* dead = get(handle)) {
        const bool program = !dead->parent && !dead->cls.system;
        forget(handle);
        if (program) publishWindows();
    }
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

bool WindowManager::enable(HWND hwnd, bool enabled) {
    Window* w = get(hwnd);
    if (!w) return false;
    const bool wasDisabled = !w->enabled;
    w->enabled = enabled;
    if (!enabled && capture_ && topLevelOf(capture_) == topLevelOf(w->handle)) capture_ = 0;
    return wasDisabled;
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

// ---------------------------------------------------------------------------------------------
// Messages

LRESULT WindowManager::send(HWND hwnd, UINT message, WPARAM first, LPARAM second) {
    Window* w = get(hwnd);
    if (!w || !w->cls.proc) return 0;
    const bool program = !w->cls.system;
    const LRESULT r = w->cls.proc(hwnd, message, first, second);
    // The program writes straight into the screen memory, unseen: whatever one of its
    // procedures did counts as a change.
    if (program) device_.screen().touch();
    return r;
}

bool WindowManager::post(HWND hwnd, UINT message, WPARAM first, LPARAM second) {
    if (hwnd && !get(hwnd)) return false;
    MSG m{};
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = first;
    m.lParam = second;
    queue_.push_back(m);
    return true;
}

void WindowManager::postQuit(int code) {
    quitPending_ = true;
    quitCode_ = code;
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

std::optional<bool> WindowManager::takeMessage(MSG& msg) {
    if (!queue_.empty()) {
        msg = queue_.front();
        queue_.pop_front();
        return true;
    }
    if (quitPending_) {
        quitPending_ = false;
        msg = MSG{};
        msg.message = WM_QUIT;
        msg.wParam = static_cast<WPARAM>(quitCode_);
        return false;
    }
    if (nextPaint(msg)) return true;
    return std::nullopt;
}

bool WindowManager::getMessage(MSG& msg) {
    std::optional<bool> taken;
    pump([&] { return (taken = takeMessage(msg)).has_value(); });
    return *taken;
}

void WindowManager::pump(const std::function<bool()>& until) {
    using K = InputEvent::Kind;
    while (!until()) {
        presentIfChanged();
        const InputEvent ev = nextInput();
        if (!inputOwner_ || ev.kind == K::Wake) {
            routeInput(ev);
        } else if (ev.kind == K::Close || ev.kind == K::Command) {
            // Ends the hold and is left for the message loop, which routes it next.
            pendingInput_.push_front(ev);
            inputOwner_->dismiss();
        } else {
            inputOwner_->onInput(ev);
        }
    }
}

InputOwner* WindowManager::holdInput(InputOwner* owner) {
    InputOwner* previous = inputOwner_;
    inputOwner_ = owner;
    return previous;
}

LRESULT WindowManager::dispatch(const MSG& msg) {
    if (!msg.hwnd) return 0;
    const std::uint32_t handle = toHandle(msg.hwnd);
    if (msg.message == WM_COMMAND)
        TraceEvent(device_.trace(), "command")
            .field("id", static_cast<int>(LOWORD(msg.wParam)))
            .field("hwnd", static_cast<std::int64_t>(handle));
    LRESULT r = send(msg.hwnd, msg.message, msg.wParam, msg.lParam);
    // A window procedure that does not paint must not be asked again and again.
    if (msg.message == WM_PAINT)
        if (Window* w = get(handle)) {
            w->update = Region();
            w->erase = false;
        }
    presentIfChanged();
    return r;
}

void WindowManager::presentIfChanged() {
    const std::uint64_t generation = device_.screen().generation();
    if (presented_ == generation) return;
    presented_ = generation;
    device_.frontEnd().present(device_.screen());
}

void WindowManager::modalLoop(std::uint32_t window, const std::function<bool()>& done) {
    struct Running {
        std::vector<std::uint32_t>& loops;
        explicit Running(std::vector<std::uint32_t>& l, std::uint32_t w) : loops(l) {
            loops.push_back(w);
        }
        ~Running() { loops.pop_back(); }
    } running(modal_, window);
    MSG msg;
    while (!done()) {
        if (!getMessage(msg)) {
            postQuit(static_cast<int>(msg.wParam));
            return;
        }
        dispatch(msg);
    }
}

InputEvent WindowManager::nextInput() {
    if (!pendingInput_.empty()) {
        InputEvent ev = pendingInput_.front();
        pendingInput_.pop_front();
        return ev;
    }
    InputEvent ev;
    if (!inputEnded_ && device_.frontEnd().waitEvent(ev)) return ev;
    inputEnded_ = true;
    if (++closesAfterInput_ > kMaxClosesAfterInput)
        throw std::runtime_error("the program did not end though asked to close " +
                                 std::to_string(kMaxClosesAfterInput) +
                                 " times after its input ended; stopped");
    ev = InputEvent{};
    ev.kind = InputEvent::Kind::Close;
    return ev;
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
        if (w.visible && w.enabled && !w.destroying) return *it;
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

LRESULT WindowManager::defaultProc(HWND hwnd, UINT message, WPARAM first, LPARAM second) {
    Window* w = get(hwnd);
    if (!w) return 0;
    switch (message) {
        case WM_CLOSE:
            destroy(hwnd);
            return 0;
        case WM_PAINT:
            return defaultPaint(*w);
        case WM_ERASEBKGND:
            return defaultErase(*w);
        case WM_SYSKEYDOWN:
            return defaultSysKeyDown(*w, first, second);
        default:
            return 0;
    }
}

// Erases the background first when the update region asks for it.
LRESULT WindowManager::defaultPaint(Window& w) {
    const HWND hwnd = toHwnd(w.handle);
    if (w.erase) {
        w.erase = false;
        send(hwnd, WM_ERASEBKGND, 0, 0);
    }
    if (Window* again = get(hwnd)) again->update = Region();
    return 0;
}

// Fills the update region with the class brush; 0 for a class without one.
LRESULT WindowManager::defaultErase(Window& w) {
    std::optional<COLORREF> color = device_.resources().brushColor(w.cls.background);
    if (!color) return 0;
    Canvas canvas = paintCanvas(w);
    canvas.fillRect(w.rect, *color);
    return 1;
}

// F10, the system key, goes to the window's first child of a menu bar class, which opens its
// menu.
LRESULT WindowManager::defaultSysKeyDown(Window& w, WPARAM key, LPARAM second) {
    if (key == VK_F10)
        for (std::uint32_t c : w.children)
            if (Window* child = get(c); child && child->cls.menuBar)
                return send(toHwnd(c), WM_KEYDOWN, key, second);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Painting

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
