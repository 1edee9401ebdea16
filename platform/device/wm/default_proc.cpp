// Default processing (DefWindowProc), message by message.
#include "core/device.h"
#include "resources/resources.h"
#include "wm/window_manager.h"

namespace kdev {

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

}  // namespace kdev
