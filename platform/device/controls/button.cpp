#include "controls/button.h"

#include <functional>
#include <memory>

#include "controls/control.h"
#include "controls/dialog.h"
#include "controls/look.h"

namespace kdev {

namespace {

constexpr DWORD kButtonTypeMask = 0x0F;

// The face repaints when its pressed look changes.
std::function<void()> repaintFace(WindowManager& manager, Window& w) {
    return [&manager, &w] { manager.invalidate(w, w.rect, false); };
}

LRESULT buttonOnCreate(Window& w) {
    auto data = std::make_unique<ButtonData>();
    data->isDefault = (w.style & kButtonTypeMask) == BS_DEFPUSHBUTTON;
    w.control = std::move(data);
    return 0;
}

LRESULT buttonOnPaint(WindowManager& manager, Window& w) {
    if (ButtonData* data = dataOf<ButtonData>(&w)) {
        Canvas canvas = manager.paintCanvas(w);
        drawPushButton(canvas, w.rect, w.title, data->press.pressed(), data->isDefault,
                       data->focused, data->font->pixelSize());
    }
    w.update = Region();
    return 0;
}

void sendClicked(WindowManager& manager, HWND hwnd, const Window& w) {
    if (w.parent)
        manager.send(WindowManager::toHwnd(w.parent), WM_COMMAND,
                     commandParam(w.id, kButtonClicked), reinterpret_cast<LPARAM>(hwnd));
}

LRESULT buttonOnFocus(WindowManager& manager, Window& w, bool focused) {
    ButtonData* data = dataOf<ButtonData>(&w);
    if (data && data->focused != focused) {
        data->focused = focused;
        manager.invalidate(w, w.rect, false);
    }
    return 0;
}

// The stylus down on the button holds it: pressed while over it, until it comes up. In a
// dialog it also takes the focus.
LRESULT buttonOnStylusDown(WindowManager& manager, HWND hwnd, Window& w, Point p) {
    ButtonData* data = dataOf<ButtonData>(&w);
    if (!data) return 0;
    data->press.down(w.rect, p, repaintFace(manager, w));
    focusDialogControl(hwnd);
    return 0;
}

LRESULT buttonOnStylusMove(WindowManager& manager, Window& w, Point p) {
    if (ButtonData* data = dataOf<ButtonData>(&w))
        data->press.move(w.rect, p, repaintFace(manager, w));
    return 0;
}

LRESULT buttonOnStylusUp(WindowManager& manager, HWND hwnd, Window& w, Point p) {
    ButtonData* data = dataOf<ButtonData>(&w);
    if (data && data->press.up(w.rect, p, repaintFace(manager, w))) sendClicked(manager, hwnd, w);
    return 0;
}

// Space clicks the button that has the focus; its dialog hands the key on.
LRESULT buttonOnKeyDown(WindowManager& manager, HWND hwnd, Window& w, WPARAM key) {
    const ButtonData* data = dataOf<ButtonData>(&w);
    if (data && data->focused && key == VK_SPACE) sendClicked(manager, hwnd, w);
    return 0;
}

}  // namespace

LRESULT CALLBACK buttonProc(HWND hwnd, UINT message, WPARAM first, LPARAM second) {
    WindowManager& manager = wm();
    Window* w = manager.get(hwnd);
    if (!w) return 0;
    switch (message) {
        case WM_CREATE:
            return buttonOnCreate(*w);
        case WM_PAINT:
            return buttonOnPaint(manager, *w);
        case WM_ERASEBKGND:
            return 1;  // WM_PAINT covers the whole face
        case WM_SETFOCUS:
            return buttonOnFocus(manager, *w, true);
        case WM_KILLFOCUS:
            return buttonOnFocus(manager, *w, false);
        case WM_KEYDOWN:
            return buttonOnKeyDown(manager, hwnd, *w, first);
        case WM_LBUTTONDOWN:
            return buttonOnStylusDown(manager, hwnd, *w, manager.messagePos());
        case WM_MOUSEMOVE:
            return buttonOnStylusMove(manager, *w, manager.messagePos());
        case WM_LBUTTONUP:
            return buttonOnStylusUp(manager, hwnd, *w, manager.messagePos());
        default:
            return manager.defaultProc(hwnd, message, first, second);
    }
}

}  // namespace kdev
