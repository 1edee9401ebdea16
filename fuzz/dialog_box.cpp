// A dialog template through the dialog manager, as the About command shows dialog 103: the
// dialog is built, laid out and painted, then keys and taps reach it until it ends. The
// input's first byte picks the screen; the rest is the template.
#include "device_harness.h"

namespace {

INT_PTR CALLBACK dialogProc(HWND dialog, UINT message, WPARAM first, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(first) == IDOK || LOWORD(first) == IDCANCEL) {
                EndDialog(dialog, LOWORD(first));
                return TRUE;
            }
            break;
    }
    return FALSE;
}

LRESULT CALLBACK ownerProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcW(window, message, first, second);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    fixture::ResBuilder res;
    res.add(5, 103, data + 1, size - 1);
    kfuzz::FuzzDevice d(kfuzz::geometryFor(data[0]), res.bytes());

    const kdev::Screen& screen = d.device->screen();
    auto& input = d.frontEnd;
    input.key(kdev::Key::Tab);
    input.key(kdev::Key::Space);
    for (int y = 1; y < screen.height(); y += 53)
        for (int x = 1; x < screen.width(); x += 47) input.tap(x, y);
    input.key(kdev::Key::Escape);
    input.key(kdev::Key::Return);

    WNDCLASSW wc{};
    wc.lpfnWndProc = ownerProc;
    wc.hInstance = d.instance;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    wc.lpszClassName = u"Owner";
    RegisterClassW(&wc);
    HWND owner = CreateWindowExW(0, u"Owner", u"Owner", WS_VISIBLE, 0, 0, screen.width(),
                                 screen.height(), nullptr, nullptr, d.instance, nullptr);
    if (!owner) __builtin_trap();

    HRSRC found = FindResourceW(d.instance, MAKEINTRESOURCE(103), RT_DIALOG);
    const auto* tpl = static_cast<LPCDLGTEMPLATEW>(LockResource(LoadResource(d.instance, found)));
    if (tpl) (void)DialogBoxIndirectParamW(d.instance, tpl, owner, dialogProc, 0);
    DestroyWindow(owner);
    kfuzz::runMessageLoop();
    return 0;
}
