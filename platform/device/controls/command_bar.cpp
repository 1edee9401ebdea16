#include "controls/command_bar.h"

#include <algorithm>
#include <optional>

#include "controls/button.h"
#include "controls/control.h"
#include "controls/look.h"
#include "controls/menu.h"
#include "controls/press.h"
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
    int openMenu = -1;               // the button whose menu is being tracked
    MenuTracker* tracker = nullptr;  // ...and its tracker
    PressTracker close;              // the close box
};

// The menu being tracked on this device, if any: the bar that opened it holds its tracker.
MenuTracker* openTracker(WindowManager& manager) {
    std::vector<std::uint32_t> windows = manager.topLevels();
    while (!windows.empty()) {
        Window* w = manager.get(windows.back());
        windows.pop_back();
        if (!w) continue;
        if (CommandBarData* data = dataOf<CommandBarData>(w); data && data->tracker)
            return data->tracker;
        windows.insert(windows.end(), w->children.begin(), w->children.end());
    }
    return nullptr;
}

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
    CommandBarData& data = *dataOf<CommandBarData>(&bar);
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
        canvas.fillRect(c, data.close.pressed() ? colors::kShadow : colors::kFace);
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

// Paints the bar now, outside WM_PAINT: its pressed and open states show at once.
void repaint(WindowManager& manager, Window& bar) {
    Canvas canvas = manager.windowCanvas(bar);
    paintCommandBar(bar, canvas);
}

// Opens the menu of button `index` and tracks it; the chosen command goes to the bar's owner.
void openMenu(HWND barHwnd, int index, bool fromKeyboard) {
    Device& device = Device::current();
    WindowManager& manager = device.windows();
    Window* bar = manager.get(barHwnd);
    if (!bar || openTracker(manager)) return;  // one menu at a time
    CommandBarData* data = dataOf<CommandBarData>(bar);
    if (!data || index < 0 || index >= static_cast<int>(data->menus.size())) return;
    const MenuItem& menu = data->menus[static_cast<std::size_t>(index)];
    if (menu.children.empty()) return;
    const std::uint32_t owner = bar->parent;
    MenuTracker tracker(device, buttonRects(*bar, *data)[static_cast<std::size_t>(index)],
                        bar->rect.bottom, menu.text, menu.children, fromKeyboard);

    data->openMenu = index;
    repaint(manager, *bar);
    data->tracker = &tracker;
    const std::optional<std::uint16_t> chosen = tracker.run();
    if (Window* again = manager.get(barHwnd)) {
        if (CommandBarData* d = dataOf<CommandBarData>(again)) {
            d->openMenu = -1;
            d->tracker = nullptr;
        }
        repaint(manager, *again);
    }
    if (chosen && manager.get(owner))
        manager.post(WindowManager::toHwnd(owner), WM_COMMAND, *chosen, 0);
}

LRESULT barOnCreate(Window& bar) {
    bar.control = std::make_unique<CommandBarData>();
    return 0;
}

LRESULT barOnPaint(WindowManager& manager, Window& bar) {
    if (dataOf<CommandBarData>(&bar)) {
        Canvas canvas = manager.paintCanvas(bar);
        paintCommandBar(bar, canvas);
    }
    bar.update = Region();
    return 0;
}

// Down on a button opens its menu; down on the close box presses it.
LRESULT barOnStylusDown(WindowManager& manager, HWND hwnd, Window& bar, Point p) {
    CommandBarData* data = dataOf<CommandBarData>(&bar);
    if (!data) return 0;
    const std::vector<Rect> buttons = buttonRects(bar, *data);
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (buttons[i].contains(p)) {
            openMenu(hwnd, static_cast<int>(i), false);
            return 0;
        }
    if (data->adornments) data->close.down(closeRect(bar), p, [&] { repaint(manager, bar); });
    return 0;
}

// The close box is a push button: a lift on it closes the bar's window.
LRESULT barOnStylusMove(WindowManager& manager, Window& bar, Point p) {
    if (CommandBarData* data = dataOf<CommandBarData>(&bar))
        data->close.move(closeRect(bar), p, [&] { repaint(manager, bar); });
    return 0;
}

LRESULT barOnStylusUp(WindowManager& manager, Window& bar, Point p) {
    CommandBarData* data = dataOf<CommandBarData>(&bar);
    if (data && data->close.up(closeRect(bar), p, [&] { repaint(manager, bar); }))
        manager.post(WindowManager::toHwnd(bar.parent), WM_CLOSE, 0, 0);
    return 0;
}

// F10 opens the first menu from the keyboard.
LRESULT barOnKeyDown(HWND hwnd, Window& bar, WPARAM key) {
    CommandBarData* data = dataOf<CommandBarData>(&bar);
    if (key == VK_F10 && data && !data->menus.empty()) openMenu(hwnd, 0, true);
    return 0;
}

// The centre of the bar's button (or close box, "Close") with this text.
std::optional<Point> locateButton(const Window& bar, const CommandBarData& data,
                                  std::u16string_view text) {
    const std::vector<Rect> buttons = buttonRects(bar, data);
    for (std::size_t i = 0; i < buttons.size(); ++i)
        if (data.menus[i].text == text)
            return Point{buttons[i].left + buttons[i].width() / 2,
                         buttons[i].top + buttons[i].height() / 2};
    if (text == u"Close" && data.adornments) {
        const Rect c = closeRect(bar);
        return Point{c.left + c.width() / 2, c.top + c.height() / 2};
    }
    return std::nullopt;
}

}  // namespace

LRESULT CALLBACK commandBarProc(HWND hwnd, UINT message, WPARAM first, LPARAM second) {
    WindowManager& manager = wm();
    Window* bar = manager.get(hwnd);
    if (!bar) return 0;
    switch (message) {
        case WM_CREATE:
            return barOnCreate(*bar);
        case WM_PAINT:
            return barOnPaint(manager, *bar);
        case WM_LBUTTONDOWN:
            return barOnStylusDown(manager, hwnd, *bar, manager.messagePos());
        case WM_MOUSEMOVE:
            return barOnStylusMove(manager, *bar, manager.messagePos());
        case WM_LBUTTONUP:
            return barOnStylusUp(manager, *bar, manager.messagePos());
        case WM_KEYDOWN:
            return barOnKeyDown(hwnd, *bar, first);
        default:
            return manager.defaultProc(hwnd, message, first, second);
    }
}

HWND createCommandBar(HINSTANCE instance, HWND parent, int barId) {
    WindowManager& manager = wm();
    Window* p = manager.get(parent);
    if (!p) return nullptr;
    const int width = manager.clientRect(*p).width();
    HWND bar = manager.create(0, kCommandBarClass, u"", WS_CHILD, 0, 0, width, COMMANDBAR_HEIGHT,
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
    const ResourceEntry* entry =
        image->find(ResId::fromPointer(RT_MENU), ResId::fromOrdinal(menuId));
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

MenuTracker* openMenuTracker(WindowManager& manager) { return openTracker(manager); }

std::optional<Point> commandBarTarget(const Window& bar, std::u16string_view text) {
    const CommandBarData* data = dataOf<CommandBarData>(&bar);
    return data ? locateButton(bar, *data, text) : std::nullopt;
}

}  // namespace kdev
