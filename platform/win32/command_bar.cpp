// The handheld's command bar on desktop Windows: a child window along the top of its parent,
// drawn like the device's bar (at the zoom), with a button for each pop-up of a menu resource
// that opens the real menu with TrackPopupMenuEx, and the close box. A chosen command and the
// close box reach the parent as posted WM_COMMAND and WM_CLOSE messages, as on the device.
#include <commctrl.h>

#include <algorithm>
#include <string>

#include "desktop.h"

namespace {

constexpr wchar_t kClassName[] = L"CommandBar";
constexpr int kCloseBoxWidth = 24;  // device pixels, like every size below
constexpr int kFontPixels = 12;

// The device's colours, 0x00BBGGRR.
constexpr COLORREF kBlack = 0x000000;
constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kFace = 0xC8D0D4;
constexpr COLORREF kShadow = 0x808080;
constexpr COLORREF kHighlight = 0x6A2408;

struct Bar {
    HMENU menu = nullptr;  // the loaded menu resource; each pop-up is a button
    HFONT font = nullptr;
    bool adornments = false;
    int openMenu = -1;  // the button whose menu is being tracked
    bool closeHeld = false;
    bool closePressed = false;
};

Bar* barOf(HWND window) { return reinterpret_cast<Bar*>(GetWindowLongPtrW(window, GWLP_USERDATA)); }

int scaled(int devicePixels) { return devicePixels * kwin::zoom(); }

RECT clientOf(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    return r;
}

std::wstring buttonText(const Bar& bar, int index) {
    wchar_t text[64] = {};
    GetMenuStringW(bar.menu, static_cast<UINT>(index), text, 64, MF_BYPOSITION);
    return text;
}

int buttonCount(const Bar& bar) { return bar.menu ? std::max(GetMenuItemCount(bar.menu), 0) : 0; }

// Button rectangles in the bar's client coordinates, left to right: the text's width and 8
// device pixels each side.
RECT buttonRect(HWND window, const Bar& bar, int index) {
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, bar.font);
    const RECT client = clientOf(window);
    int x = scaled(2);
    RECT r{};
    for (int i = 0; i <= index; ++i) {
        const std::wstring text = buttonText(bar, i);
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        r = {x, scaled(2), x + size.cx + scaled(16), client.bottom - scaled(3)};
        x = r.right + scaled(2);
    }
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return r;
}

RECT closeRect(HWND window) {
    const RECT client = clientOf(window);
    return {client.right - scaled(kCloseBoxWidth + 2), scaled(2), client.right - scaled(2),
            client.bottom - scaled(3)};
}

void fill(HDC dc, const RECT& r, COLORREF color) {
    SetBkColor(dc, color);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

void frame(HDC dc, const RECT& r, COLORREF color, int width) {
    fill(dc, {r.left, r.top, r.right, r.top + width}, color);
    fill(dc, {r.left, r.bottom - width, r.right, r.bottom}, color);
    fill(dc, {r.left, r.top, r.left + width, r.bottom}, color);
    fill(dc, {r.right - width, r.top, r.right, r.bottom}, color);
}

void paint(HWND window, HDC dc) {
    const Bar& bar = *barOf(window);
    const RECT client = clientOf(window);
    const int z = kwin::zoom();
    fill(dc, client, kFace);
    fill(dc, {client.left, client.bottom - z, client.right, client.bottom}, kShadow);
    HGDIOBJ old = SelectObject(dc, bar.font);
    SetBkMode(dc, TRANSPARENT);
    for (int i = 0; i < buttonCount(bar); ++i) {
        RECT r = buttonRect(window, bar, i);
        const bool open = i == bar.openMenu;
        if (open) fill(dc, r, kHighlight);
        SetTextColor(dc, open ? kWhite : kBlack);
        r.left += scaled(8);
        const std::wstring text = buttonText(bar, i);
        DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    SelectObject(dc, old);
    if (bar.adornments) {
        const RECT c = closeRect(window);
        fill(dc, c, bar.closePressed ? kShadow : kFace);
        frame(dc, c, kBlack, z);
        // A cross, one device pixel wide, drawn as its two diagonals.
        const int size = std::min(c.right - c.left, c.bottom - c.top) / z - 10;
        const int x0 = c.left + ((c.right - c.left) / z - size) / 2 * z;
        const int y0 = c.top + ((c.bottom - c.top) / z - size) / 2 * z;
        for (int k = 0; k < size; ++k) {
            fill(dc, {x0 + k * z, y0 + k * z, x0 + (k + 2) * z, y0 + (k + 1) * z}, kBlack);
            fill(dc, {x0 + (size - 2 - k) * z, y0 + k * z, x0 + (size - k) * z, y0 + (k + 1) * z},
                 kBlack);
        }
    }
}

void repaint(HWND window) {
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
}

// Opens button index's pop-up below it and posts the chosen command to the bar's parent.
void trackMenu(HWND window, int index, bool fromKeyboard) {
    Bar* bar = barOf(window);
    if (!bar || bar->openMenu >= 0 || index < 0 || index >= buttonCount(*bar)) return;
    HMENU popup = GetSubMenu(bar->menu, index);
    if (!popup) return;
    RECT button = buttonRect(window, *bar, index);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&button), 2);
    RECT barRect{};
    GetWindowRect(window, &barRect);
    bar->openMenu = index;
    repaint(window);
    // The menu of the desktop's own: from the keyboard, its first item is highlighted.
    if (fromKeyboard) PostMessageW(window, WM_KEYDOWN, VK_DOWN, 0);
    TPMPARAMS keepVisible{sizeof(TPMPARAMS), button};
    const UINT command = static_cast<UINT>(TrackPopupMenuEx(
        popup, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD | TPM_VERTICAL,
        button.left, barRect.bottom, window, &keepVisible));
    if ((bar = barOf(window))) {
        bar->openMenu = -1;
        repaint(window);
    }
    if (command != 0) PostMessageW(GetParent(window), WM_COMMAND, command, 0);
}

// The bar's face at the zoom.
HFONT makeFont() {
    return CreateFontW(-scaled(kFontPixels), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, L"Tahoma");
}

// The character height a font was made with, in pixels (0: none).
int fontPixels(HFONT font) {
    LOGFONTW f{};
    return font && GetObjectW(font, sizeof f, &f) ? -f.lfHeight : 0;
}

LRESULT CALLBACK commandBarProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    Bar* bar = barOf(window);
    const POINT p{static_cast<short>(LOWORD(second)), static_cast<short>(HIWORD(second))};
    switch (message) {
        case WM_NCCREATE: {
            auto* created = new Bar;
            created->font = makeFont();
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
            break;
        }
        case WM_NCDESTROY:
            if (bar) {
                if (bar->menu) DestroyMenu(bar->menu);
                if (bar->font) DeleteObject(bar->font);
                delete bar;
                SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            }
            break;
        case WM_ERASEBKGND:
            return 1;         // WM_PAINT covers the whole bar
        case WM_PRINTCLIENT:  // the bar's picture, for F12's
            if (bar) paint(window, reinterpret_cast<HDC>(first));
            return 0;
        case WM_SIZE:
            // A new zoom: the text at its size.
            if (bar && fontPixels(bar->font) != scaled(kFontPixels)) {
                if (HFONT font = makeFont()) {
                    DeleteObject(bar->font);
                    bar->font = font;
                }
            }
            break;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            if (bar) paint(window, dc);
            EndPaint(window, &ps);
            return 0;
        }
        case WM_LBUTTONDOWN: {
            if (!bar) return 0;
            for (int i = 0; i < buttonCount(*bar); ++i) {
                const RECT r = buttonRect(window, *bar, i);
                if (PtInRect(&r, p)) {
                    trackMenu(window, i, false);
                    return 0;
                }
            }
            const RECT c = closeRect(window);
            if (bar->adornments && PtInRect(&c, p)) {
                bar->closeHeld = bar->closePressed = true;
                SetCapture(window);
                repaint(window);
            }
            return 0;
        }
        case WM_MOUSEMOVE: {
            const RECT c = closeRect(window);
            if (bar && bar->closeHeld && bar->closePressed != (PtInRect(&c, p) != FALSE)) {
                bar->closePressed = !bar->closePressed;
                repaint(window);
            }
            return 0;
        }
        case WM_LBUTTONUP: {
            if (!bar || !bar->closeHeld) return 0;
            const bool chosen = bar->closePressed;
            bar->closeHeld = bar->closePressed = false;
            ReleaseCapture();
            repaint(window);
            if (chosen) PostMessageW(GetParent(window), WM_CLOSE, 0, 0);
            return 0;
        }
        case WM_CAPTURECHANGED:
            if (bar && bar->closeHeld && reinterpret_cast<HWND>(second) != window) {
                bar->closeHeld = bar->closePressed = false;
                repaint(window);
            }
            return 0;
    }
    return DefWindowProcW(window, message, first, second);
}

bool registerBarClass(HINSTANCE instance) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = commandBarProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    return RegisterClassW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

Bar* barWindow(HWND window) {
    wchar_t name[32] = {};
    if (!GetClassNameW(window, name, 32) || std::wstring(name) != kClassName) return nullptr;
    return barOf(window);
}

}  // namespace

bool kwin::openCommandBarMenu(HWND window) {
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (Bar* bar = barWindow(child); bar && IsWindowVisible(child) && buttonCount(*bar) > 0) {
            trackMenu(child, 0, true);
            return true;
        }
    return false;
}

extern "C" {

HWND WINAPI CommandBar_Create(HINSTANCE instance, HWND parent, int barId) {
    if (!IsWindow(parent) || !registerBarClass(instance)) return nullptr;
    RECT client{};
    GetClientRect(parent, &client);
    return CreateWindowExW(0, kClassName, L"", WS_CHILD | WS_CLIPSIBLINGS, 0, 0,
                           scaled(client.right), scaled(kwin::kCommandBarHeight), parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(barId)), instance, nullptr);
}

BOOL WINAPI CommandBar_InsertMenubar(HWND window, HINSTANCE instance, WORD menuId, WORD) {
    Bar* bar = barWindow(window);
    if (!bar || bar->menu) return FALSE;  // one menu per bar
    bar->menu = LoadMenuW(instance, MAKEINTRESOURCEW(menuId));
    if (!bar->menu) return FALSE;
    InvalidateRect(window, nullptr, FALSE);
    return TRUE;
}

BOOL WINAPI CommandBar_AddAdornments(HWND window, DWORD, DWORD) {
    Bar* bar = barWindow(window);
    if (!bar) return FALSE;
    bar->adornments = true;
    InvalidateRect(window, nullptr, FALSE);
    return TRUE;
}

BOOL WINAPI CommandBar_Show(HWND window, BOOL show) {
    if (!barWindow(window)) return FALSE;
    ShowWindow(window, show ? SW_SHOW : SW_HIDE);
    return TRUE;
}

int WINAPI CommandBar_Height(HWND window) {
    if (!barWindow(window)) return 0;
    RECT r{};
    GetWindowRect(window, &r);
    return (r.bottom - r.top) / kwin::zoom();
}

}  // extern "C"
