#include "controls/button.h"

#include <memory>

#include "controls/controls.h"
#include "controls/look.h"

namespace kdev {

namespace {

constexpr DWORD kButtonTypeMask = 0x0F;

void setButtonPressed(WindowManager& manager, Window& w, ButtonData& data, bool pressed) {
    if (data.pressed == pressed) return;
    data.pressed = pressed;
    manager.invalidate(w, w.rect, false);
}

}  // namespace

LRESULT CALLBACK buttonProc(HWND hwnd, UINT message, WPARAM first, LPARAM second) {
    WindowManager& manager = wm();
    Window* w = manager.get(hwnd);
    if (!w) return 0;
    ButtonData* data = dataOf<ButtonData>(w);
    switch (message) {
        case WM_CREATE:
            w->control = std::make_unique<ButtonData>();
            data = dataOf<ButtonData>(w);
            data->isDefault = (w->style & kButtonTypeMask) == BS_DEFPUSHBUTTON;
            return 0;
        case WM_PAINT:
            if (data) {
                Canvas canvas = manager.paintCanvas(*w);
                drawPushButton(canvas, w->rect, w->title, data->pressed, data->isDefault,
                               data->font->pixelSize());
            }
            w->update = Region();
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_LBUTTONDOWN:
            if (data) {
                data->held = true;
                setButtonPressed(manager, *w, *data, true);
            }
            return 0;
        case WM_MOUSEMOVE:
            if (data && data->held)
                setButtonPressed(manager, *w, *data,
                                 w->rect.contains(screenPoint(manager, *w, second)));
            return 0;
        case WM_LBUTTONUP: {
            if (!data || !data->held) return 0;
            data->held = false;
            setButtonPressed(manager, *w, *data, false);
            if (w->rect.contains(screenPoint(manager, *w, second)) && w->parent)
                manager.send(WindowManager::toHwnd(w->parent), WM_COMMAND,
                             commandParam(w->id, kButtonClicked), reinterpret_cast<LPARAM>(hwnd));
            return 0;
        }
        default:
            return manager.defaultProc(hwnd, message, first, second);
    }
}

}  // namespace kdev
