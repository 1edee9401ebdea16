#include "controls/command_bar.h"

#include <algorithm>
#include <optional>

#include "controls/controls.h"
#include "controls/look.h"
#include "controls/menu.h"
#include "core/device.h"
#include "core/trace.h"
#include "gfx/text.h"
#include "resources/resources.h"

namespace kdev {

namespace {

constexpr int kCloseBoxWidth = 24;

struct CommandBarData : ControlData {
    HINSTANCE instance = nullptr;
    std::vector<MenuItem> menus;  // the bar's top-level items, each opening a pop-up
    bool adornments = false;
    int openMenu = -1;  // the button whose menu is being tracked
    bool closePressed = false;
};

CommandBarData* barData(Window& w) { return dynamic_cast<CommandBarData*>(w.control.get()); }

// Button rectangles in screen coordinates, left to right.
std::vector<Rect> buttonRects(const Window& bar, const CommandBarData& data) {
    std::vector<Rect> rects;
    int x = bar.rect.left + 2;
    for (const MenuItem& m : data.menus) {
        const int w = Font::ui().measure(m.text) + 16;
        rects.push_back({x, bar.rect.top + 2, x + w, bar.rect.bottom - 3});
        x += w + 2;
    }
    return rects;
}

Rect closeRect(const Window& bar) {
    return {bar.rect.right - kCloseBoxWidth - 2, bar.rect.top + 2, bar.rect.right - 2,
            bar.rect.bottom - 3};
}

void paintCommandBar(Window& bar, Canvas& canvas) {
    CommandBarData& data = *barData(bar);
    canvas.fillRect(bar.rect, colors::kFace);
    canvas.hline(bar.rect.left, bar.rect.right, bar.rect.bottom - 1, colors::kShadow);
    const Font& font = Font::ui();
    const std::vector<Rect> buttons = buttonRects(bar, data);
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const bool open = static_cast<int>(i) == data.openMenu;
        const Rect& r = buttons[i];
        if (open) canvas.fillRect(r, colors::kHighlight);
        font.draw(canvas, r.left + 8, r.top + (r.height() - font.lineHeight()) / 2,
                  data.menus[i].text, open ? colors::kWhite : colors::kBlack);
    }
    if (data.adornments) {
        const Rect c = closeRect(bar);
        canvas.fillRect(c, data.closePressed ? colors::kShadow : colors::kFace);
        canvas.frameRect(c, colors::kBlack);
        // A cross, one pixel wide, drawn as its two diagonals.
        const int size = std::min(c.width(), c.height()) - 10;
        const int x0 = c.left + (c.width() - size) / 2, y0 = c.top + (c.height() - size) / 2;
        for (int k = 0; k < size; ++k) {
            canvas.fillRect({x0 + k, y0 + k, x0 + k + 2, y0 + k + 1}, colors::kBlack);
            canvas.fillRect({x0 + size - 1 - k - 1, y0 + k, x0 + size - k, y0 + k + 1},
                            colors::kBlack);
        }
    }
}

// Modal tracking of one pop-up: draws it over the screen, follows stylus and keys, puts back
// what was under it, and posts the chosen command to the bar's owner.
void trackMenu(HWND barHwnd, int index, bool fromKeyboard) {
    WindowManager& manager = wm();
    Device& device = Device::current();
    Window* bar = manager.get(barHwnd);
    if (!bar || manager.tracking) return;
    CommandBarData* data = barData(*bar);
    if (!data || index < 0 || index >= static_cast<int>(data->menus.size())) return;
    const std::vector<MenuItem> items = data->menus[static_cast<std::size_t>(index)].children;
    if (items.empty()) return;
    const Rect button = buttonRects(*bar, *data)[static_cast<std::size_t>(index)];
    const std::uint32_t owner = bar->parent;

    data->openMenu = index;
    {
        Canvas canvas = manager.windowCanvas(*bar);
        paintCommandBar(*bar, canvas);
    }
    Canvas screenCanvas(device.screen());
    const PopupLayout layout = layoutPopup(device.screen(), button, items);
    const SavedPixels under = screenCanvas.save(layout.frame);
    int highlight = fromKeyboard ? stepSelectable(items, -1, 1) : -1;
    paintPopup(screenCanvas, layout, items, highlight);
    TraceEvent(device.trace(), "menu_opened")
        .field("menu", data->menus[static_cast<std::size_t>(index)].text);

    WindowManager::MenuTracking tracking;
    tracking.locate = [&](std::u16string_view text) -> std::optional<Point> {
        for (std::size_t i = 0; i < items.size(); ++i)
            if (!items[i].separator && items[i].text == text) {
                const Rect& r = layout.items[i];
                return Point{r.left + r.width() / 2, r.top + r.height() / 2};
            }
        return std::nullopt;
    };
    manager.tracking = &tracking;

    int chosen = -1;
    bool done = false;
    // A release chooses only after the stylus went down or moved in the menu, so the release
    // of the tap that opened it never picks the item that happens to lie under the button.
    bool armed = false;
    Point lastStylus{button.left + button.width() / 2, button.top + button.height() / 2};
    while (!done) {
        manager.presentIfChanged();
        const InputEvent ev = manager.nextInput();
        const Point p{ev.x, ev.y};
        const Point last = lastStylus;
        if (ev.kind == InputEvent::Kind::StylusDown || ev.kind == InputEvent::Kind::StylusMove)
            lastStylus = p;
        int newHighlight = highlight;
        switch (ev.kind) {
            case InputEvent::Kind::StylusDown:
                if (!layout.frame.contains(p)) {
                    done = true;  // a tap outside closes the menu and is used up
                    break;
                }
                armed = true;
                newHighlight = itemAt(layout, items, p);
                break;
            case InputEvent::Kind::StylusMove:
                if (layout.frame.contains(p) && !layout.frame.contains(last)) armed = true;
                if (layout.frame.contains(p)) newHighlight = itemAt(layout, items, p);
                break;
            case InputEvent::Kind::StylusUp: {
                const int i = armed && layout.frame.contains(p) ? itemAt(layout, items, p) : -1;
                if (i >= 0) {
                    chosen = i;
                    done = true;
                }
                break;
            }
            case InputEvent::Kind::KeyDown:
                switch (ev.key) {
                    case Key::Up:
                        newHighlight = stepSelectable(items, highlight, -1);
                        break;
                    case Key::Down:
                        newHighlight = stepSelectable(items, highlight, 1);
                        break;
                    case Key::Return:
                        if (highlight >= 0) {
                            chosen = highlight;
                            done = true;
                        }
                        break;
                    case Key::Escape:
                    case Key::F10:
                        done = true;
                        break;
                    default:
                        break;
                }
                break;
            case InputEvent::Kind::Wake:
                manager.serveRequests();
                break;
            case InputEvent::Kind::Close:
            case InputEvent::Kind::Command:
                manager.putBackInput(ev);
                done = true;
                break;
        }
        if (!done && newHighlight != highlight) {
            highlight = newHighlight;
            paintPopup(screenCanvas, layout, items, highlight);
        }
    }

    manager.tracking = nullptr;
    screenCanvas.restore(under);
    if (Window* again = manager.get(barHwnd)) {
        if (CommandBarData* d = barData(*again)) d->openMenu = -1;
        Canvas canvas = manager.windowCanvas(*again);
        paintCommandBar(*again, canvas);
    }
    TraceEvent(device.trace(), "menu_closed")
        .field("chosen",
               chosen >= 0 ? static_cast<int>(items[static_cast<std::size_t>(chosen)].id) : 0);
    if (chosen >= 0 && manager.get(owner))
        manager.post(WindowManager::toHwnd(owner), WM_COMMAND,
                     items[static_cast<std::size_t>(chosen)].id, 0);
}

}  // namespace

LRESULT CALLBACK commandBarProc(HWND hwnd, UINT message, WPARAM first, LPARAM second) {
    WindowManager& manager = wm();
    Window* bar = manager.get(hwnd);
    if (!bar) return 0;
    CommandBarData* data = barData(*bar);
    const Point p{bar->rect.left + static_cast<short>(LOWORD(second)),
                  bar->rect.top + static_cast<short>(HIWORD(second))};
    switch (message) {
        case WM_CREATE:
            bar->control = std::make_unique<CommandBarData>();
            return 0;
        case WM_PAINT: {
            if (data) {
                Canvas canvas = manager.paintCanvas(*bar);
                paintCommandBar(*bar, canvas);
            }
            bar->update = Region();
            return 0;
        }
        case WM_LBUTTONDOWN: {
            if (!data) return 0;
            const std::vector<Rect> buttons = buttonRects(*bar, *data);
            for (std::size_t i = 0; i < buttons.size(); ++i)
                if (buttons[i].contains(p)) {
                    trackMenu(hwnd, static_cast<int>(i), false);
                    return 0;
                }
            if (data->adornments && closeRect(*bar).contains(p)) {
                data->closePressed = true;
                Canvas canvas = manager.windowCanvas(*bar);
                paintCommandBar(*bar, canvas);
            }
            return 0;
        }
        case WM_LBUTTONUP: {
            if (!data || !data->closePressed) return 0;
            data->closePressed = false;
            Canvas canvas = manager.windowCanvas(*bar);
            paintCommandBar(*bar, canvas);
            if (closeRect(*bar).contains(p))
                manager.post(WindowManager::toHwnd(bar->parent), WM_CLOSE, 0, 0);
            return 0;
        }
        case WM_KEYDOWN:
            if (first == VK_F10 && data && !data->menus.empty()) trackMenu(hwnd, 0, true);
            return 0;
        case kQueryButtonMessage: {
            if (!data) return 0;
            const auto* text = reinterpret_cast<const std::u16string_view*>(first);
            auto* out = reinterpret_cast<Point*>(second);
            const std::vector<Rect> buttons = buttonRects(*bar, *data);
            for (std::size_t i = 0; i < buttons.size(); ++i)
                if (data->menus[i].text == *text) {
                    *out = {buttons[i].left + buttons[i].width() / 2,
                            buttons[i].top + buttons[i].height() / 2};
                    return 1;
                }
            if (*text == u"Close" && data->adornments) {
                const Rect c = closeRect(*bar);
                *out = {c.left + c.width() / 2, c.top + c.height() / 2};
                return 1;
            }
            return 0;
        }
        default:
            return manager.defaultProc(hwnd, message, first, second);
    }
}

HWND createCommandBar(HINSTANCE instance, HWND parent, int barId) {
    WindowManager& manager = wm();
    Window* p = manager.get(parent);
    if (!p) return nullptr;
    const int width = manager.clientRect(*p).width();
    HWND bar = manager.create(0, kCommandBarClass, u"", WS_CHILD, 0, 0, width, kCommandBarHeight,
                              parent, barId, nullptr);
    if (CommandBarData* data = dataOf<CommandBarData>(manager.get(bar))) data->instance = instance;
    return bar;
}

bool insertMenubar(HWND barHwnd, HINSTANCE instance, WORD menuId, WORD button) {
    Device& device = Device::current();
    Window* bar = device.windows().get(barHwnd);
    CommandBarData* data = dataOf<CommandBarData>(bar);
    const ResourceImage* image = device.resources().module(instance);
    if (!data || !image) return false;
    const ResourceEntry* entry = image->find(ResId::fromOrdinal(4), ResId::fromOrdinal(menuId));
    if (!entry) return false;
    std::optional<std::vector<MenuItem>> menu = parseMenu(entry->data);
    if (!menu) return false;
    const std::size_t at = std::min<std::size_t>(button, data->menus.size());
    data->menus.insert(data->menus.begin() + static_cast<std::ptrdiff_t>(at), menu->begin(),
                       menu->end());
    device.windows().invalidate(*bar, bar->rect, true);
    return true;
}

bool addAdornments(HWND barHwnd) {
    WindowManager& manager = wm();
    Window* bar = manager.get(barHwnd);
    CommandBarData* data = dataOf<CommandBarData>(bar);
    if (!data) return false;
    data->adornments = true;
    manager.invalidate(*bar, bar->rect, true);
    return true;
}

}  // namespace kdev
