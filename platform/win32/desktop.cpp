// The program's main window on the desktop. The program creates it at the display's size and
// draws through the display library; here it is found as it is created, given a client area of
// the display's size times the zoom, and shown the screen memory after every message.
//
// Three platform functions keep the handheld's meaning (the executable links these in place of
// the desktop's, with ld's --wrap):
//   - GetClientRect of the main window counts device pixels, so the program draws for the
//     display's geometry whatever the zoom, as the desktop itself does for programs that do not
//     know the screen's density;
//   - FindWindowW finds the main window by the program's title, which its caption extends;
//   - SetForegroundWindow takes the handheld's flag in the handle's lowest bit: bring the
//     windows the window owns forward too.
#include "desktop.h"

#include <cstdint>

#include "placement.h"

namespace {

constexpr UINT_PTR kNoticeTimer = 0x4B57;  // the title's notice ends when it fires
constexpr UINT kNoticeMs = 2000;

kdev::Geometry g_geometry;
int g_zoom = 1;
int g_wantedZoom = 0;  // --zoom, 0 when not given
std::wstring g_title;  // "Kestrova - 240x320 5-6-5 normal"
kwin::Box g_opening;   // where the main window opens, frame included
HINSTANCE g_program = nullptr;
HHOOK g_watch = nullptr;
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

// What the desktop puts around the window's client area, for its style as it is.
kwin::Frame frameOf(HWND window) {
    RECT r{0, 0, 0, 0};
    AdjustWindowRectEx(&r, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)));
    return {-r.left, -r.top, r.right, r.bottom};
}

kwin::Box workArea(HMONITOR monitor) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info)) {
        RECT r{};
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
        info.rcWork = r;
    }
    const RECT& r = info.rcWork;
    return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// What the title says of a zoom asked for: "zoom 3", or "zoom 8 does not fit, zoom 2".
std::wstring zoomNotice(int wanted, int fitting) {
    return wanted > fitting ? L"zoom " + std::to_wstring(wanted) + L" does not fit, zoom " +
                                  std::to_wstring(fitting)
                            : L"zoom " + std::to_wstring(fitting);
}

// A moment's notice in the title bar, where the user is looking; the title comes back after
// two seconds.
void notice(HWND window, const std::wstring& text) {
    SetWindowTextW(window, (g_title + L" - " + text).c_str());
    SetTimer(window, kNoticeTimer, kNoticeMs, nullptr);
}

// Ctrl+1 to Ctrl+8, Ctrl+0 (0: the largest that fits): the client area's top-left stays where
// it is unless the window would leave the work area.
void changeZoom(HWND window, int wanted) {
    const kwin::Frame frame = frameOf(window);
    const kwin::Box usable = workArea(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST));
    const int w = g_geometry.width, h = g_geometry.height;
    const int fitting =
        kwin::largestZoom(wanted == 0 ? kwin::kMaxZoom : wanted, w, h, frame, usable);
    notice(window, zoomNotice(wanted, fitting));
    if (fitting == g_zoom) return;
    g_zoom = fitting;
    POINT at{0, 0};
    ClientToScreen(window, &at);
    const kwin::Point client{static_cast<int>(at.x), static_cast<int>(at.y)};
    const kwin::Box box = kwin::placeWindow(w * g_zoom, h * g_zoom, frame, usable, &client);
    SetWindowPos(window, nullptr, box.x, box.y, box.width, box.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    // The command bar, a child at the top, is drawn at the zoom.
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        SetWindowPos(child, nullptr, 0, 0, w * g_zoom, COMMANDBAR_HEIGHT * g_zoom,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    InvalidateRect(window, nullptr, TRUE);
}

// The desktop's own keys, before the program sees them: Ctrl+digit for the zoom. True when
// the key was one of them.
bool desktopKey(HWND window, UINT message, WPARAM key) {
    if (message != WM_KEYDOWN || !(GetKeyState(VK_CONTROL) & 0x8000) ||
        (GetKeyState(VK_MENU) & 0x8000))
        return false;
    if (key < '0' || key > '0' + kwin::kMaxZoom) return false;
    changeZoom(window, static_cast<int>(key - '0'));
    return true;
}

// The main window's first size and place, decided as it is created (WM_NCCREATE, its style
// final) and taken once it is (WM_CREATE): the largest zoom up to
// the one wanted that fits the primary monitor's work area, frame included, centred there. A
// --zoom lowered is said on stderr, and in the title once the window is there.
void placeMainWindow(HWND window, CREATESTRUCTW* create) {
    const kwin::Frame frame = frameOf(window);
    const kwin::Box usable = workArea(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY));
    const int w = g_geometry.width, h = g_geometry.height;
    const int wanted = g_wantedZoom != 0 ? g_wantedZoom : kwin::kDefaultMaxZoom;
    g_zoom = kwin::largestZoom(wanted, w, h, frame, usable);
    static std::wstring title;
    title = g_title;
    if (g_wantedZoom > g_zoom) {
        title += L" - " + zoomNotice(g_wantedZoom, g_zoom);
        SetTimer(window, kNoticeTimer, kNoticeMs, nullptr);
        kwin::writeToConsole(STD_ERROR_HANDLE,
                             "kestrova: --zoom " + std::to_string(g_wantedZoom) +
                                 " does not fit the desktop (" + std::to_string(usable.width) +
                                 "x" + std::to_string(usable.height) + " usable); using zoom " +
                                 std::to_string(g_zoom) + "\n");
    }
    const kwin::Box box = kwin::placeWindow(w * g_zoom, h * g_zoom, frame, usable, nullptr);
    g_opening = box;
    create->x = box.x;
    create->y = box.y;
    create->cx = box.width;
    create->cy = box.height;
    create->lpszName = title.c_str();
}

// The executable's own icon (every size, 32-bit colour) on the main window's caption and in
// the taskbar, in place of the class's 16-colour one.
void setWindowIcons(HWND window) {
    const struct {
        WPARAM which;
        int size;
    } icons[] = {{ICON_SMALL, GetSystemMetrics(SM_CXSMICON)},
                 {ICON_BIG, GetSystemMetrics(SM_CXICON)}};
    for (const auto& icon : icons)
        if (HANDLE image = LoadImageW(g_program, L"KESTROVA", IMAGE_ICON, icon.size, icon.size, 0))
            SendMessageW(window, WM_SETICON, icon.which, reinterpret_cast<LPARAM>(image));
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
    if (desktopKey(window, message, first)) return 0;
    if (message == WM_NCCREATE) placeMainWindow(window, reinterpret_cast<CREATESTRUCTW*>(second));
    if (message == WM_TIMER && first == kNoticeTimer) {
        KillTimer(window, kNoticeTimer);
        SetWindowTextW(window, g_title.c_str());
        return 0;
    }
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
        case WM_CREATE:
            if (result != -1) setWindowIcons(window);
            if (result != -1)
                SetWindowPos(window, nullptr, g_opening.x, g_opening.y, g_opening.width,
                             g_opening.height, SWP_NOZORDER | SWP_NOACTIVATE);
            break;
        case WM_NCDESTROY:
            g_mainWindow = nullptr;
            return result;
    }
    if (g_depth == 0 || message == WM_PAINT) kwin::presentDisplay();
    return result;
}

// A dialog or message box of the main window's (About) comes up over it, not in the middle of
// the screen where DS_CENTER puts it; still inside the work area.
void placeOverMainWindow(HWND dialog) {
    RECT main{}, own{};
    if (!GetWindowRect(g_mainWindow, &main) || !GetWindowRect(dialog, &own)) return;
    const int w = own.right - own.left, h = own.bottom - own.top;
    const kwin::Point at{(main.left + main.right - w) / 2, (main.top + main.bottom - h) / 2};
    const kwin::Box box = kwin::placeWindow(
        w, h, {}, workArea(MonitorFromWindow(g_mainWindow, MONITOR_DEFAULTTONEAREST)), &at);
    SetWindowPos(dialog, nullptr, box.x, box.y, 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
}

// Takes over the program's main window as it is created, before its first message; then
// places the dialogs it owns as they first become active.
LRESULT CALLBACK watchCreation(int code, WPARAM first, LPARAM second) {
    if (code == HCBT_ACTIVATE && g_mainWindow) {
        HWND window = reinterpret_cast<HWND>(first);
        wchar_t className[8] = {};
        static HWND placed = nullptr;  // the last one placed: the user may move it afterwards
        if (window != placed && GetWindow(window, GW_OWNER) == g_mainWindow &&
            GetClassNameW(window, className, 8) && lstrcmpW(className, L"#32770") == 0) {
            placed = window;
            placeOverMainWindow(window);
        }
    }
    if (code == HCBT_CREATEWND && !g_mainWindow) {
        HWND window = reinterpret_cast<HWND>(first);
        CREATESTRUCTW* create = reinterpret_cast<CBT_CREATEWNDW*>(second)->lpcs;
        if (!(create->style & WS_CHILD) && !create->hwndParent && create->hInstance == g_program &&
            !isDialogClass(create->lpszClass)) {
            g_mainWindow = window;
            // The desktop's own caption buttons: close (the same as the bar's) and minimise.
            const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)) |
                                WS_SYSMENU | WS_MINIMIZEBOX;
            SetWindowLongPtrW(window, GWL_STYLE, style);
            g_programProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
                window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(mainWindowProc)));
        }
    }
    return CallNextHookEx(nullptr, code, first, second);
}

}  // namespace

void kwin::setDisplay(const kdev::Geometry& geometry, int wantedZoom, const std::wstring& title) {
    g_geometry = geometry;
    g_wantedZoom = wantedZoom;
    g_zoom = wantedZoom != 0 ? wantedZoom : kDefaultMaxZoom;
    g_title = title;
}

const kdev::Geometry& kwin::displayGeometry() { return g_geometry; }

int kwin::zoom() { return g_zoom; }

HWND kwin::mainWindow() { return g_mainWindow; }

bool kwin::watchForMainWindow(HINSTANCE program) {
    g_program = program;
    g_watch = SetWindowsHookExW(WH_CBT, watchCreation, nullptr, GetCurrentThreadId());
    return g_watch != nullptr;
}

extern "C" {

// The desktop's own functions, as the import library binds them.
extern HWND(WINAPI* __real___imp_FindWindowW)(LPCWSTR, LPCWSTR);
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

// The main window's caption adds the display's geometry to the title the program gave it
// ("Kestrova - 240x320 5-6-5 normal"): a window looked for by the program's title is also
// found by that caption, as another copy of the program looks for the running one.
static HWND WINAPI deviceFindWindowW(LPCWSTR className, LPCWSTR title) {
    HWND found = __real___imp_FindWindowW(className, title);
    if (found || !title) return found;
    const std::wstring caption = std::wstring(title) + L" - ";
    for (HWND w = __real___imp_FindWindowW(className, nullptr); w;
         w = FindWindowExW(nullptr, w, className, nullptr)) {
        wchar_t text[256] = {};
        GetWindowTextW(w, text, 256);
        if (std::wstring(text).rfind(caption, 0) == 0) return w;
    }
    return nullptr;
}

HWND(WINAPI* __wrap___imp_FindWindowW)(LPCWSTR, LPCWSTR) = deviceFindWindowW;
BOOL(WINAPI* __wrap___imp_GetClientRect)(HWND, LPRECT) = deviceGetClientRect;
BOOL(WINAPI* __wrap___imp_SetForegroundWindow)(HWND) = deviceSetForegroundWindow;

}  // extern "C"
