#include "controls/controls.h"

#include <commctrl.h>

#include <algorithm>
#include <optional>

#include "core/device.h"
#include "resources/resources.h"
#include "gfx/text.h"
#include "core/trace.h"

namespace kdev {

namespace {

WindowManager& wm() { return Device::current().windows(); }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Shared look

Rect captionOkRect(const Window& w) {
    const int size = kCaptionHeight - 4;
    return {w.rect.right - 2 - size - 6, w.rect.top + 2, w.rect.right - 2, w.rect.top + 2 + size};
}

void drawCaption(Canvas& canvas, const Window& w, bool okButton, bool okPressed) {
    const Rect bar{w.rect.left, w.rect.top, w.rect.right, w.rect.top + kCaptionHeight};
    canvas.fillRect(bar, colors::kCaption);
    const Font& font = Font::ui();
    const int textTop = bar.top + (kCaptionHeight - font.lineHeight()) / 2;
    Region r = canvas.clip();
    r.intersect(
        {bar.left + 4, bar.top, okButton ? captionOkRect(w).left - 2 : bar.right - 2, bar.bottom});
    Canvas clipped(canvas.screen(), r);
    font.draw(clipped, bar.left + 5, textTop, w.title, colors::kWhite);
    if (okButton) {
        const Rect ok = captionOkRect(w);
        canvas.fillRect(ok, okPressed ? colors::kWhite : colors::kFace);
        canvas.frameRect(ok, colors::kBlack);
        const std::u16string_view label = u"OK";
        const int tw = font.measure(label);
        Region lr = canvas.clip();
        lr.intersect(ok.inflate(-1));
        Canvas labelCanvas(canvas.screen(), lr);
        font.draw(labelCanvas, ok.left + (ok.width() - tw) / 2,
                  ok.top + (ok.height() - font.lineHeight()) / 2, label, colors::kBlack);
    }
}

void drawPushButton(Canvas& canvas, const Rect& r, std::u16string_view text, bool pressed,
                    bool isDefault, int fontPixels) {
    canvas.fillRect(r, pressed ? colors::kShadow : colors::kFace);
    canvas.frameRect(r, colors::kBlack, isDefault ? 2 : 1);
    const Font& font = Font::atPixels(fontPixels);
    Region clip = canvas.clip();
    clip.intersect(r.inflate(-2));
    Canvas inner(canvas.screen(), clip);
    const int tw = font.measure(text);
    font.draw(inner, r.left + (r.width() - tw) / 2, r.top + (r.height() - font.lineHeight()) / 2,
              text, pressed ? colors::kWhite : colors::kBlack);
}

ModalDisable::ModalDisable(WindowManager& manager, std::uint32_t owner, std::uint32_t except)
    : wm(manager) {
    std::vector<std::uint32_t> targets;
    if (owner)
        targets.push_back(owner);
    else
        targets = wm.topLevels();
    for (std::uint32_t h : targets) {
        Window* w = wm.get(h);
        if (!w || h == except || !w->enabled) continue;
        wm.enable(WindowManager::toHwnd(h), false);
        disabled.push_back(h);
    }
}

ModalDisable::~ModalDisable() {
    for (std::uint32_t h : disabled) wm.enable(WindowManager::toHwnd(h), true);
}

// ---------------------------------------------------------------------------------------------
// Command bar and its pop-up menus

namespace {

constexpr int kMenuItemHeight = 20;
constexpr int kMenuSeparatorHeight = 7;
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

struct PopupLayout {
    Rect frame;
    std::vector<Rect> items;  // one per item, separators included
};

PopupLayout layoutPopup(const Screen& screen, const Rect& button,
                        const std::vector<MenuItem>& items) {
    const Font& font = Font::ui();
    int width = button.width();
    int height = 4;
    for (const MenuItem& item : items) {
        width = std::max(width, font.measure(item.text) + 32);
        height += item.separator ? kMenuSeparatorHeight : kMenuItemHeight;
    }
    width = std::min(width, screen.width());
    int x = std::min(button.left, screen.width() - width);
    int y = button.bottom + 3;
    if (y + height > screen.height()) y = std::max(0, screen.height() - height);
    x = std::max(0, x);
    PopupLayout layout;
    layout.frame = {x, y, x + width, y + height};
    int top = y + 2;
    for (const MenuItem& item : items) {
        const int h = item.separator ? kMenuSeparatorHeight : kMenuItemHeight;
        layout.items.push_back({x + 2, top, x + width - 2, top + h});
        top += h;
    }
    return layout;
}

void paintPopup(Canvas& canvas, const PopupLayout& layout, const std::vector<MenuItem>& items,
                int highlight) {
    const Font& font = Font::ui();
    canvas.fillRect(layout.frame, colors::kWhite);
    canvas.frameRect(layout.frame, colors::kBlack);
    for (std::size_t i = 0; i < items.size(); ++i) {
        const Rect& r = layout.items[i];
        if (items[i].separator) {
            canvas.hline(r.left + 2, r.right - 2, r.top + r.height() / 2, colors::kShadow);
            continue;
        }
        const bool hot = static_cast<int>(i) == highlight;
        if (hot) canvas.fillRect(r, colors::kHighlight);
        Region clip = canvas.clip();
        clip.intersect(r);
        Canvas itemCanvas(canvas.screen(), clip);
        font.draw(itemCanvas, r.left + 14, r.top + (r.height() - font.lineHeight()) / 2,
                  items[i].text, hot ? colors::kWhite : colors::kBlack);
    }
}

int itemAt(const PopupLayout& layout, const std::vector<MenuItem>& items, Point p) {
    for (std::size_t i = 0; i < items.size(); ++i)
        if (!items[i].separator && layout.items[i].contains(p)) return static_cast<int>(i);
    return -1;
}

int stepSelectable(const std::vector<MenuItem>& items, int from, int direction) {
    const int n = static_cast<int>(items.size());
    for (int k = 1; k <= n; ++k) {
        int i = ((from < 0 ? (direction > 0 ? -1 : 0) : from) + direction * k) % n;
        if (i < 0) i += n;
        if (!items[static_cast<std::size_t>(i)].separator) return i;
    }
    return -1;
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

// ---------------------------------------------------------------------------------------------
// Message boxes

struct MessageBoxData : ControlData {
    std::u16string text;
    bool pressed = false;
    bool ended = false;
};

constexpr int kBoxButtonWidth = 56;
constexpr int kBoxButtonHeight = 22;
constexpr int kBoxMargin = 10;

Rect boxTextRect(const Window& w) {
    return {w.rect.left + kBoxMargin, w.rect.top + kCaptionHeight + kBoxMargin,
            w.rect.right - kBoxMargin, w.rect.bottom - kBoxMargin - kBoxButtonHeight - kBoxMargin};
}

Rect boxButtonRect(const Window& w) {
    const int cx = (w.rect.left + w.rect.right) / 2;
    return {cx - kBoxButtonWidth / 2, w.rect.bottom - kBoxMargin - kBoxButtonHeight,
            cx + kBoxButtonWidth / 2, w.rect.bottom - kBoxMargin};
}

LRESULT CALLBACK messageBoxProc(HWND hwnd, UINT message, WPARAM first, LPARAM second) {
    WindowManager& manager = wm();
    Window* box = manager.get(hwnd);
    if (!box) return 0;
    auto* data = dynamic_cast<MessageBoxData*>(box->control.get());
    const Rect client = manager.clientRect(*box);
    const Point p{client.left + static_cast<short>(LOWORD(second)),
                  client.top + static_cast<short>(HIWORD(second))};
    switch (message) {
        case WM_PAINT: {
            if (data) {
                Canvas canvas = manager.paintCanvas(*box);
                canvas.fillRect(box->rect, colors::kFace);
                canvas.frameRect(box->rect, colors::kBlack);
                drawCaption(canvas, *box, false, false);
                Region clip = canvas.clip();
                clip.intersect(boxTextRect(*box));
                Canvas textCanvas(canvas.screen(), clip);
                Font::ui().drawWrapped(textCanvas, boxTextRect(*box), data->text, TextAlign::Center,
                                       colors::kBlack);
                drawPushButton(canvas, boxButtonRect(*box), u"OK", data->pressed, true,
                               Font::ui().pixelSize());
            }
            box->update = Region();
            return 0;
        }
        case WM_LBUTTONDOWN:
            if (data && boxButtonRect(*box).contains(p)) {
                data->pressed = true;
                manager.invalidate(*box, boxButtonRect(*box), false);
            }
            return 0;
        case WM_LBUTTONUP:
            if (data && data->pressed) {
                data->pressed = false;
                manager.invalidate(*box, boxButtonRect(*box), false);
                if (boxButtonRect(*box).contains(p)) data->ended = true;
            }
            return 0;
        case WM_KEYDOWN:
            if (data && (first == VK_RETURN || first == VK_ESCAPE || first == VK_SPACE))
                data->ended = true;
            return 0;
        case WM_CLOSE:
            if (data) data->ended = true;
            return 0;
        default:
            return manager.defaultProc(hwnd, message, first, second);
    }
}

// Size of a message box for its text: as narrow as the text allows, within the screen.
Rect messageBoxRect(const Screen& screen, std::u16string_view caption, std::u16string_view text) {
    const Font& font = Font::ui();
    int widest = font.measure(caption) + 16;
    int lines = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(u'\n', start);
        if (end == std::u16string_view::npos) end = text.size();
        widest = std::max(widest, font.measure(text.substr(start, end - start)));
        ++lines;
        start = end + 1;
    }
    const int maxWidth = std::max(1, screen.width() - 8);
    const int width = std::clamp(widest + 2 * kBoxMargin + 2, std::min(140, maxWidth), maxWidth);
    const int textWidth = width - 2 * kBoxMargin;
    // Wrapping may add lines when the text is wider than the box.
    const int wrapped =
        std::max(lines, (widest + textWidth - 1) / std::max(1, textWidth) + lines - 1);
    const int height =
        std::min(screen.height(), kCaptionHeight + kBoxMargin + wrapped * font.lineHeight() +
                                      kBoxMargin + kBoxButtonHeight + kBoxMargin + 1);
    const int x = (screen.width() - width) / 2, y = (screen.height() - height) / 2;
    return {x, y, x + width, y + height};
}

}  // namespace

void registerSystemClasses(WindowManager& manager) {
    WindowClass bar;
    bar.name = u"CommandBar";
    bar.proc = commandBarProc;
    bar.system = true;
    manager.registerClass(bar);

    WindowClass box;
    box.name = u"MessageBox";
    box.proc = messageBoxProc;
    box.system = true;
    manager.registerClass(box);

    registerDialogClasses(manager);
}

}  // namespace kdev

using kdev::Device;
using kdev::WindowManager;

extern "C" {

HWND WINAPI CommandBar_Create(HINSTANCE instance, HWND parent, int barId) {
    WindowManager& manager = Device::current().windows();
    kdev::Window* p = manager.get(parent);
    if (!p) return nullptr;
    const int width = manager.clientRect(*p).width();
    HWND bar = manager.create(0, u"CommandBar", u"", WS_CHILD, 0, 0, width, kdev::kCommandBarHeight,
                              parent, barId, nullptr);
    if (kdev::Window* w = manager.get(bar))
        if (auto* data = dynamic_cast<kdev::CommandBarData*>(w->control.get()))
            data->instance = instance;
    return bar;
}

BOOL WINAPI CommandBar_InsertMenubar(HWND barHwnd, HINSTANCE instance, WORD menuId, WORD button) {
    Device& device = Device::current();
    kdev::Window* bar = device.windows().get(barHwnd);
    auto* data = bar ? dynamic_cast<kdev::CommandBarData*>(bar->control.get()) : nullptr;
    const kdev::ResourceImage* image = device.resources().module(instance);
    if (!data || !image) return FALSE;
    const kdev::ResourceEntry* entry =
        image->find(kdev::ResId::fromOrdinal(4), kdev::ResId::fromOrdinal(menuId));
    if (!entry) return FALSE;
    std::optional<std::vector<kdev::MenuItem>> menu = kdev::parseMenu(entry->data);
    if (!menu) return FALSE;
    const std::size_t at = std::min<std::size_t>(button, data->menus.size());
    data->menus.insert(data->menus.begin() + static_cast<std::ptrdiff_t>(at), menu->begin(),
                       menu->end());
    device.windows().invalidate(*bar, bar->rect, true);
    return TRUE;
}

BOOL WINAPI CommandBar_AddAdornments(HWND barHwnd, DWORD, DWORD) {
    WindowManager& manager = Device::current().windows();
    kdev::Window* bar = manager.get(barHwnd);
    auto* data = bar ? dynamic_cast<kdev::CommandBarData*>(bar->control.get()) : nullptr;
    if (!data) return FALSE;
    data->adornments = true;
    manager.invalidate(*bar, bar->rect, true);
    return TRUE;
}

BOOL WINAPI CommandBar_Show(HWND bar, BOOL show) {
    WindowManager& manager = Device::current().windows();
    if (!manager.get(bar)) return FALSE;
    manager.show(bar, show != FALSE);
    return TRUE;
}

int WINAPI CommandBar_Height(HWND barHwnd) {
    kdev::Window* bar = Device::current().windows().get(barHwnd);
    return bar ? bar->rect.height() : 0;
}

int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT) {
    Device& device = Device::current();
    WindowManager& manager = device.windows();
    const std::u16string_view body = text ? std::u16string_view(text) : std::u16string_view();
    const std::u16string_view title =
        caption ? std::u16string_view(caption) : std::u16string_view();
    kdev::TraceEvent(device.trace(), "message_box").field("text", body).field("caption", title);

    const kdev::Rect r = kdev::messageBoxRect(device.screen(), title, body);
    HWND box =
        manager.create(0, u"MessageBox", title, WS_POPUP | WS_CAPTION, r.left, r.top, r.width(),
                       r.height(), manager.get(owner) ? owner : nullptr, 0, nullptr);
    kdev::Window* w = manager.get(box);
    if (!w) return 0;
    auto data = std::make_unique<kdev::MessageBoxData>();
    data->text = std::u16string(body);
    kdev::MessageBoxData* state = data.get();
    w->control = std::move(data);
    const std::uint32_t handle = WindowManager::toHandle(box);
    {
        kdev::ModalDisable modal(manager, manager.get(owner) ? WindowManager::toHandle(owner) : 0,
                                 handle);
        manager.show(box, true);
        manager.setForeground(box);
        manager.modalLoop([&] { return !manager.get(handle) || state->ended; });
    }
    manager.destroy(box);
    kdev::TraceEvent(device.trace(), "message_box_closed").field("text", body);
    return IDOK;
}

}  // extern "C"
