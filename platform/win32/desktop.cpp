// The program's main window on the desktop. The program creates it at the display's size and
// draws through the display library; here it is found as it is created, given a client area of
// the display's size times the zoom, and shown the screen memory after every message.
//
// Two platform functions keep the handheld's meaning (the executable links these in place of
// the desktop's, with ld's --wrap):
//   - GetClientRect of the main window counts device pixels, so the program draws for the
//     display's geometry whatever the zoom, as the desktop itself does for programs that do not
//     know the screen's density;
//   - SetForegroundWindow takes the handheld's flag in the handle's lowest bit: bring the
//     windows the window owns forward too.
#include "desktop.h"

#include <cstdint>

namespace {

kdev::Geometry g_geometry;
int g_zoom = 1;
HINSTANCE g_program = nullptr;
HHOOK g_creationHook = nullptr;
HWND g_mainWindow = nullptr;
WNDPROC g_programProc = nullptr;  // the main window's own procedure, the program's
int g_depth = 0;                  // nesting of calls into the main window's procedure

// The dialog manager's window class, the predefined atom #32770: the About dialog and message
// boxes, never the main window.
bool isDialogClass(LPCWSTR className) {
    return IS_INTRESOURCE(className) && LOWORD(reinterpret_cast<ULONG_PTR>(className)) == 0x8002;
}

// The main window's size: a client area of the display's size times the zoom, the frame on top.
POINT windowSize(HWND window) {
    RECT frame{0, 0, g_geometry.width * g_zoom, g_geometry.height * g_zoom};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
    return {frame.right - frame.left, frame.bottom - frame.top};
}

// Forwards every message to the program's procedure, then shows what it may have drawn: after
// each message it was given from outside (not those it sent itself meanwhile), except the
// pointer's queries, and after every paint, which the window system's default processing
// does in the class's black. The window's size is held by its tracking limits, which the
// window system also applies to the size the program asks for at creation. Over the client
// area the pointer is the desktop's arrow (the program's class has no cursor). The keyboard's
// menu key (F10, Alt) opens the command bar's menu, as the device's default processing does;
// the desktop would look for a menu bar the window does not have.
LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    if (message == WM_SYSCOMMAND && (first & 0xFFF0) == SC_KEYMENU && second == 0 &&
        kwin::openCommandBarMenu(window))
        return 0;
    ++g_depth;
    LRESULT result = CallWindowProcW(g_programProc, window, message, first, second);
    --g_depth;
    switch (message) {
        case WM_GETMINMAXINFO: {
            auto* limits = reinterpret_cast<MINMAXINFO*>(second);
            limits->ptMinTrackSize = limits->ptMaxTrackSize = windowSize(window);
            break;
        }
        case WM_SETCURSOR:
            if (!result && LOWORD(second) == HTCLIENT) {
                SetCursor(LoadCursorW(nullptr, IDC_ARROW));
                result = TRUE;
            }
            return result;
        case WM_NCHITTEST:
            return result;
        case WM_NCDESTROY:
            g_mainWindow = nullptr;
            return result;
    }
    if (g_depth == 0 || message == WM_PAINT) kwin::presentDisplay();
    return result;
}

// Takes over the program's main window as it is created, before its first message.
LRESULT CALLBACK watchCreation(int code, WPARAM first, LPARAM second) {
    if (code == HCBT_CREATEWND && !g_mainWindow) {
        HWND window = reinterpret_cast<HWND>(first);
        CREATESTRUCTW* create = reinterpret_cast<CBT_CREATEWNDW*>(second)->lpcs;
        if (!(create->style & WS_CHILD) && !create->hwndParent && create->hInstance == g_program &&
            !isDialogClass(create->lpszClass)) {
            g_mainWindow = window;
            // The desktop's own caption buttons: close (the same as the bar's) and minimise.
            SetWindowLongPtrW(window, GWL_STYLE,
                              GetWindowLongPtrW(window, GWL_STYLE) | WS_SYSMENU | WS_MINIMIZEBOX);
            g_programProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
                window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(mainWindowProc)));
            UnhookWindowsHookEx(g_creationHook);
            g_creationHook = nullptr;
        }
    }
    return CallNextHookEx(nullptr, code, first, second);
}

}  // namespace

void kwin::setDisplay(const kdev::Geometry& geometry, int zoom) {
    g_geometry = geometry;
    g_zoom = zoom;
}

const kdev::Geometry& kwin::displayGeometry() { return g_geometry; }

int kwin::zoom() { return g_zoom; }

HWND kwin::mainWindow() { return g_mainWindow; }

bool kwin::watchForMainWindow(HINSTANCE program) {
    g_program = program;
    g_creationHook = SetWindowsHookExW(WH_CBT, watchCreation, nullptr, GetCurrentThreadId());
    return g_creationHook != nullptr;
}

extern "C" {

// The desktop's own functions, as the import library binds them.
extern BOOL(WINAPI* __real___imp_GetClientRect)(HWND, LPRECT);
extern BOOL(WINAPI* __real___imp_SetForegroundWindow)(HWND);

static BOOL WINAPI deviceGetClientRect(HWND window, LPRECT rect) {
    const BOOL ok = __real___imp_GetClientRect(window, rect);
    if (ok && window && window == g_mainWindow && g_zoom > 1) {
        rect->right /= g_zoom;
        rect->bottom /= g_zoom;
    }
    return ok;
}

// The window comes to the top before it takes the focus (Windows raises a window it activates,
// Wine does not always). With the flag, the window it owns that the user last worked in (an
// open About dialog rather than the main window it disables) goes on top, the owner right
// beneath it, and takes the focus.
static BOOL WINAPI deviceSetForegroundWindow(HWND window) {
    const ULONG_PTR raw = reinterpret_cast<ULONG_PTR>(window);
    HWND target = reinterpret_cast<HWND>(raw & ~static_cast<ULONG_PTR>(1));
    const UINT keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
    HWND popup = (raw & 1) ? GetLastActivePopup(target) : nullptr;
    if (popup && popup != target && IsWindowVisible(popup)) {
        SetWindowPos(popup, HWND_TOP, 0, 0, 0, 0, keep);
        SetWindowPos(target, popup, 0, 0, 0, 0, keep);
        target = popup;
    } else {
        SetWindowPos(target, HWND_TOP, 0, 0, 0, 0, keep);
    }
    return __real___imp_SetForegroundWindow(target);
}

BOOL(WINAPI* __wrap___imp_GetClientRect)(HWND, LPRECT) = deviceGetClientRect;
BOOL(WINAPI* __wrap___imp_SetForegroundWindow)(HWND) = deviceSetForegroundWindow;

}  // extern "C"
