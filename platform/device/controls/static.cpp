#include "controls/static.h"

#include <memory>

#include "controls/control.h"
#include "controls/look.h"

namespace kdev {

namespace {

TextAlign staticAlign(DWORD style) {
    switch (style & kStaticTypeMask) {
        case SS_CENTER:
            return TextAlign::Center;
        case SS_RIGHT:
            return TextAlign::Right;
        default:
            return TextAlign::Left;
    }
}

LRESULT staticOnCreate(Window& w) {
    w.control = std::make_unique<StaticData>();
    return 0;
}

LRESULT staticOnPaint(WindowManager& manager, Window& w) {
    if (StaticData* data = dataOf<StaticData>(&w)) {
        Canvas canvas = manager.paintCanvas(w);
        canvas.fillRect(w.rect, colors::kFace);
        if ((w.style & kStaticTypeMask) == SS_ICON) {
            if (data->icon) canvas.drawImage(*data->icon, w.rect.left, w.rect.top);
        } else {
            data->font->drawWrapped(canvas, w.rect, w.title, staticAlign(w.style),
                                    w.enabled ? colors::kBlack : colors::kShadow);
        }
    }
    w.update = Region();
    return 0;
}

}  // namespace

LRESULT CALLBACK staticProc(HWND hwnd, UINT message, WPARAM first, LPARAM second) {
    WindowManager& manager = wm();
    Window* w = manager.get(hwnd);
    if (!w) return 0;
    switch (message) {
        case WM_CREATE:
            return staticOnCreate(*w);
        case WM_PAINT:
            return staticOnPaint(manager, *w);
        case WM_ERASEBKGND:
            return 1;  // WM_PAINT covers the whole face
        default:
            return manager.defaultProc(hwnd, message, first, second);
    }
}

}  // namespace kdev
