// A menu template in the command bar, as the program's main window builds it from menu 102:
// the bar lays out its buttons, and the menus open, move and close by keys and taps. The
// input's first byte picks the screen; the rest is the menu template.
#include <commctrl.h>

#include "device_harness.h"

namespace {

HINSTANCE g_instance;

LRESULT CALLBACK barOwnerProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    switch (message) {
        case WM_CREATE: {
            HWND bar = CommandBar_Create(g_instance, window, 1);
            CommandBar_InsertMenubar(bar, g_instance, 102, 0);
            CommandBar_AddAdornments(bar, 0, 0);
            CommandBar_Show(bar, TRUE);
            (void)CommandBar_Height(bar);
            return 0;
        }
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcW(window, message, first, second);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    fixture::ResBuilder res;
    res.add(4, 102, data + 1, size - 1);
    kfuzz::FuzzDevice d(kfuzz::geometryFor(data[0]), res.bytes());
    g_instance = d.instance;

    const kdev::Screen& screen = d.device->screen();
    auto& input = d.frontEnd;
    input.key(kdev::Key::F10);
    for (int i = 0; i < 3; ++i) input.key(kdev::Key::Down);
    input.key(kdev::Key::Right);
    input.key(kdev::Key::Up);
    input.key(kdev::Key::Left);
    input.key(kdev::Key::Escape);
    for (int x = 2; x < screen.width(); x += 37) {
        input.tap(x, 10);           // a button of the bar
        input.tap(x, 40 + x % 90);  // an item of its menu, perhaps
        input.key(kdev::Key::Escape);
    }
    input.key(kdev::Key::F10);
    input.key(kdev::Key::Return);

    WNDCLASSW wc{};
    wc.lpfnWndProc = barOwnerProc;
    wc.hInstance = d.instance;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = u"BarOwner";
    RegisterClassW(&wc);
    HWND window = CreateWindowExW(0, u"BarOwner", u"Bar", WS_VISIBLE, 0, 0, screen.width(),
                                  screen.height(), nullptr, nullptr, d.instance, nullptr);
    if (!window) __builtin_trap();
    kfuzz::runMessageLoop();
    return 0;
}
