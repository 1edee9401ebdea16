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

#include <algorithm>
#include <cstdint>
#include <optional>

#include "desktop_io.h"
#include "placement.h"
#include "snapshot.h"
#include "window_place.h"

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

// Alt+Enter: the window fills its monitor, without a frame, the picture in the middle.
bool g_fullscreen = false;
RECT g_monitor{};       // the monitor it fills
POINT g_origin{0, 0};   // the picture's top-left in the client area
RECT g_windowedRect{};  // what it goes back to
LONG_PTR g_windowedStyle = 0;
int g_windowedZoom = 1;

std::wstring g_settings;                   // where the window's place is remembered
std::optional<kwin::WindowPlace> g_place;  // its last place while windowed and shown

// The dialog manager's window class, the predefined atom #32770: the About dialog and message
// boxes, never the main window.
bool isDialogClass(LPCWSTR className) {
    return IS_INTRESOURCE(className) && LOWORD(reinterpret_cast<ULONG_PTR>(className)) == 0x8002;
}

// The main window's size: a client area of the display's size times the zoom, the frame on top;
// filling the monitor, the monitor's.
POINT windowSize(HWND window) {
    if (g_fullscreen) return {g_monitor.right - g_monitor.left, g_monitor.bottom - g_monitor.top};
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

// The command bar, a child at the picture's top, at the zoom.
void placeCommandBar(HWND window) {
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        SetWindowPos(child, nullptr, g_origin.x, g_origin.y, g_geometry.width * g_zoom,
                     kwin::kCommandBarHeight * g_zoom, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Alt+Enter: the window fills its monitor, without caption or frame, the picture at the largest
// whole zoom that fits it, in the middle, black around; again, back to its place and zoom.
void toggleFullscreen(HWND window) {
    const int w = g_geometry.width, h = g_geometry.height;
    if (!g_fullscreen) {
        MONITORINFO info{};
        info.cbSize = sizeof info;
        if (!GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &info) ||
            !GetWindowRect(window, &g_windowedRect))
            return;
        g_monitor = info.rcMonitor;
        const int mw = g_monitor.right - g_monitor.left, mh = g_monitor.bottom - g_monitor.top;
        g_windowedStyle = GetWindowLongPtrW(window, GWL_STYLE);
        g_windowedZoom = g_zoom;
        g_fullscreen = true;
        g_zoom = std::max(1, std::min(mw / w, mh / h));
        g_origin = {(mw - w * g_zoom) / 2, (mh - h * g_zoom) / 2};
        SetWindowLongPtrW(
            window, GWL_STYLE,
            (g_windowedStyle & ~static_cast<LONG_PTR>(WS_OVERLAPPEDWINDOW)) | WS_POPUP);
        SetWindowPos(window, HWND_TOP, g_monitor.left, g_monitor.top, mw, mh,
                     SWP_FRAMECHANGED | SWP_NOOWNERZORDER);
    } else {
        g_fullscreen = false;
        g_zoom = g_windowedZoom;
        g_origin = {0, 0};
        SetWindowLongPtrW(window, GWL_STYLE, g_windowedStyle);
        const RECT& r = g_windowedRect;
        SetWindowPos(window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_FRAMECHANGED | SWP_NOZORDER | SWP_NOOWNERZORDER);
    }
    placeCommandBar(window);
    InvalidateRect(window, nullptr, TRUE);
}

// The command bar as it shows, into the picture's top rows: painted at the zoom into a bitmap
// of its own (it is a real window, not in the screen memory), one desktop pixel of each device
// pixel taken.
void drawCommandBar(HWND window, kwin::Picture* picture) {
    HWND bar = GetWindow(window, GW_CHILD);
    RECT r{};
    if (!bar || !IsWindowVisible(bar) || !GetWindowRect(bar, &r)) return;
    const int w = r.right - r.left, h = r.bottom - r.top;
    if (w <= 0 || h <= 0) return;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = w;
    info.bmiHeader.biHeight = -h;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = dc ? CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0) : nullptr;
    if (bitmap) {
        HGDIOBJ previous = SelectObject(dc, bitmap);
        SendMessageW(bar, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc), PRF_CLIENT);
        GdiFlush();
        const auto* pixels = static_cast<const std::uint8_t*>(bits);  // blue, green, red, 0
        const int rows = std::min(h / g_zoom, picture->height);
        const int columns = std::min(w / g_zoom, picture->width);
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < columns; ++x)
                std::copy_n(pixels + (static_cast<std::size_t>(y) * g_zoom * w +
                                      static_cast<std::size_t>(x) * g_zoom) *
                                         4,
                            3,
                            picture->bgr.data() + (static_cast<std::size_t>(y) * picture->width +
                                                   static_cast<std::size_t>(x)) *
                                                      3);
        SelectObject(dc, previous);
        DeleteObject(bitmap);
    }
    if (dc) DeleteDC(dc);
}

// F12: the device's screen, one pixel per device pixel, into Pictures\Kestrova; the path on
// stderr, and for a moment in the title.
void saveScreenshot(HWND window) {
    kwin::Picture picture;
    std::string error = "the display is not open";
    std::wstring path;
    if (kwin::screenPicture(&picture)) {
        drawCommandBar(window, &picture);
        const std::wstring folder = kwin::picturesFolder(&error);
        if (!folder.empty()) path = kwin::savePicture(picture, folder, &error);
    }
    if (!path.empty()) {
        kwin::writeToConsole(STD_ERROR_HANDLE,
                             "kestrova: screenshot saved to " + kwin::utf8(path) + "\n");
        notice(window, L"saved " + path.substr(path.find_last_of(L'\\') + 1));
    } else {
        kwin::writeToConsole(STD_ERROR_HANDLE,
                             "kestrova: cannot save a screenshot: " + error + "\n");
        notice(window, L"screenshot not saved");
    }
}

// Ctrl+1 to Ctrl+8, Ctrl+0 (0: the largest that fits): the client area's top-left stays where
// it is unless the window would leave the work area. Filling the monitor, the window first
// goes back to its place.
void changeZoom(HWND window, int wanted) {
    if (g_fullscreen) toggleFullscreen(window);
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
    placeCommandBar(window);
    InvalidateRect(window, nullptr, TRUE);
}

// The desktop's own keys, before the program sees them: Ctrl+digit for the zoom, F12 and
// Alt+Enter (held down, they act once). True when the key was one of them.
bool desktopKey(HWND window, UINT message, WPARAM key, LPARAM flags) {
    const bool repeated = flags & (1 << 30);
    if (message == WM_SYSKEYDOWN && key == VK_RETURN && (flags & (1 << 29))) {
        if (!repeated) toggleFullscreen(window);
        // The default processing sees the key too, so that letting go of Alt afterwards does
        // not open the menu as Alt alone does.
        DefWindowProcW(window, message, key, flags);
        return true;
    }
    if (message == WM_SYSCHAR && key == L'\r') return true;  // Alt+Enter's, no menu's beep
    if (message == WM_KEYDOWN && key == VK_F12) {
        if (!repeated) saveScreenshot(window);
        return true;
    }
    if (message != WM_KEYDOWN || !(GetKeyState(VK_CONTROL) & 0x8000) ||
        (GetKeyState(VK_MENU) & 0x8000))
        return false;
    if (key < '0' || key > '0' + kwin::kMaxZoom) return false;
    changeZoom(window, static_cast<int>(key - '0'));
    return true;
}

// The desktop's size, all monitors together: the window's place is remembered for each.
POINT desktopSize() {
    return {GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
}

// The main window's first size and place, decided as it is created (WM_NCCREATE, its style
// final) and taken once it is (WM_CREATE): the largest zoom up to the one wanted (--zoom, else
// the one remembered for this desktop and display, else 2) that fits the work area, frame
// included, of the monitor the remembered place is on (else the primary one); at that place
// if all of the window fits there, else centred. A --zoom lowered is said on stderr, and in
// the title once the window is there.
void placeMainWindow(HWND window, CREATESTRUCTW* create) {
    const kwin::Frame frame = frameOf(window);
    const int w = g_geometry.width, h = g_geometry.height;
    std::optional<kwin::WindowPlace> remembered;
    g_settings = kwin::settingsFolder();
    if (!g_settings.empty()) {
        std::string warning;
        const POINT desktop = desktopSize();
        remembered = kwin::loadWindowPlace(g_settings, desktop.x, desktop.y, w, h, &warning);
        if (!warning.empty()) kwin::writeToConsole(STD_ERROR_HANDLE, "kestrova: " + warning + "\n");
    }
    const kwin::Box usable = workArea(
        remembered ? MonitorFromPoint({remembered->x, remembered->y}, MONITOR_DEFAULTTOPRIMARY)
                   : MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY));
    const int wanted = g_wantedZoom != 0 ? g_wantedZoom
                       : remembered      ? remembered->zoom
                                         : kwin::kDefaultMaxZoom;
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
    kwin::Box box = kwin::placeWindow(w * g_zoom, h * g_zoom, frame, usable, nullptr);
    if (remembered) {
        const kwin::Point at{remembered->x, remembered->y};
        const kwin::Box there = kwin::placeWindow(w * g_zoom, h * g_zoom, frame, usable, &at);
        if (there.x == at.x - frame.left && there.y == at.y - frame.top) box = there;
    }
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
    static const HANDLE small =
        LoadImageW(g_program, L"KESTROVA", IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                   GetSystemMetrics(SM_CYSMICON), 0);
    static const HANDLE big =
        LoadImageW(g_program, L"KESTROVA", IMAGE_ICON, GetSystemMetrics(SM_CXICON),
                   GetSystemMetrics(SM_CYICON), 0);
    if (small) SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    if (big) SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
}

// Where the window is while it is windowed and shown, with its zoom: what is remembered.
void notePlace(HWND window) {
    if (g_fullscreen || !IsWindowVisible(window) || IsIconic(window)) return;
    POINT at{0, 0};
    if (ClientToScreen(window, &at)) g_place = kwin::WindowPlace{g_zoom, at.x, at.y};
}

// The window's last place, for the next start on this desktop with this display.
void savePlace() {
    if (!g_place || g_settings.empty()) return;
    std::string error;
    const POINT desktop = desktopSize();
    if (!kwin::saveWindowPlace(g_settings, desktop.x, desktop.y, g_geometry.width,
                               g_geometry.height, *g_place, &error))
        kwin::writeToConsole(STD_ERROR_HANDLE, "kestrova: " + error + "\n");
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
    if (desktopKey(window, message, first, second)) return 0;
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
        case WM_WINDOWPOSCHANGED:
            notePlace(window);
            break;
        case WM_DESTROY:
            savePlace();
            break;
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
            setWindowIcons(window);  // in place of the desktop's default
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

POINT kwin::pictureOrigin() { return g_origin; }

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
    if (ok && window && window == g_mainWindow && g_fullscreen) {
        *rect = {0, 0, g_geometry.width, g_geometry.height};
    } else if (ok && window && window == g_mainWindow && g_zoom > 1) {
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
