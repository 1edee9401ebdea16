// The window system's platform functions: thin wrappers over the active device.
#include <windows.h>

#include "core/device.h"
#include "api/device_api.h"
#include "instances/instances.h"
#include "wm/window_manager.h"

using kdev::Device;
using kdev::WindowManager;

namespace {

WindowManager& wm() { return Device::current().windows(); }

std::u16string_view text(LPCWSTR s) { return s ? std::u16string_view(s) : std::u16string_view(); }

}  // namespace

extern "C" {

BOOL WINAPI RegisterClassW(const WNDCLASSW* wc) {
    if (!wc || !wc->lpszClassName || IS_INTRESOURCE(wc->lpszClassName)) return FALSE;
    kdev::WindowClass cls;
    cls.name = wc->lpszClassName;
    cls.style = wc->style;
    cls.proc = wc->lpfnWndProc;
    cls.instance = wc->hInstance;
    cls.icon = wc->hIcon;
    cls.background = wc->hbrBackground;
    return wm().registerClass(cls) ? TRUE : FALSE;
}

HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu, HINSTANCE,
                            LPVOID param) {
    if (!className || IS_INTRESOURCE(className)) return nullptr;
    const int id =
        (style & WS_CHILD) ? static_cast<int>(reinterpret_cast<std::uintptr_t>(menu)) : 0;
    return wm().create(exStyle, className, text(title), style, x, y, width, height, parent, id,
                       param);
}

BOOL WINAPI DestroyWindow(HWND window) { return wm().destroy(window) ? TRUE : FALSE; }

BOOL WINAPI ShowWindow(HWND window, int showMode) {
    return wm().show(window, showMode != SW_HIDE) ? TRUE : FALSE;
}

BOOL WINAPI UpdateWindow(HWND window) {
    if (!wm().get(window)) return FALSE;
    wm().update(window);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND window) { return wm().get(window) ? TRUE : FALSE; }

BOOL WINAPI EnableWindow(HWND window, BOOL enable) {
    return wm().enable(window, enable != FALSE) ? TRUE : FALSE;
}

HWND WINAPI FindWindowW(LPCWSTR className, LPCWSTR title) {
    if (className && IS_INTRESOURCE(className)) return nullptr;
    if (HWND local =
            wm().find(text(className), text(title), className == nullptr, title == nullptr))
        return local;
    Device& device = Device::current();
    kdev::Instances* instances = device.instances();
    if (!instances || !className || !title) return nullptr;
    std::optional<kdev::RemoteWindow> remote = instances->find(className, title);
    if (!remote) return nullptr;
    return wm().foreignWindow(remote->pid, remote->handle);
}

BOOL WINAPI SetForegroundWindow(HWND window) { return wm().setForeground(window) ? TRUE : FALSE; }

BOOL WINAPI GetClientRect(HWND window, LPRECT rect) {
    kdev::Window* w = wm().get(window);
    if (!w || !rect) return FALSE;
    const kdev::Rect c = wm().clientRect(*w);
    rect->left = 0;
    rect->top = 0;
    rect->right = c.width();
    rect->bottom = c.height();
    return TRUE;
}

BOOL WINAPI GetMessageW(LPMSG msg, HWND, UINT, UINT) {
    if (!msg) return FALSE;
    return wm().getMessage(*msg) ? TRUE : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG*) { return FALSE; }

LRESULT WINAPI DispatchMessageW(const MSG* msg) { return msg ? wm().dispatch(*msg) : 0; }

LRESULT WINAPI SendMessageW(HWND window, UINT message, WPARAM first, LPARAM second) {
    return wm().send(window, message, first, second);
}

BOOL WINAPI PostMessageW(HWND window, UINT message, WPARAM first, LPARAM second) {
    return wm().post(window, message, first, second) ? TRUE : FALSE;
}

void WINAPI PostQuitMessage(int exitCode) { wm().postQuit(exitCode); }

LRESULT WINAPI DefWindowProcW(HWND window, UINT message, WPARAM first, LPARAM second) {
    return wm().defaultProc(window, message, first, second);
}

}  // extern "C"
