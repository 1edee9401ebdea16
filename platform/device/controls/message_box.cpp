#include "controls/message_box.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

#include "controls/control.h"
#include "controls/look.h"
#include "controls/press.h"
#include "core/device.h"
#include "core/trace.h"
#include "gfx/text.h"

namespace kdev {

namespace {

struct MessageBoxData : ControlData {
    std::u16string text;
    PressTracker ok;
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

LRESULT boxOnPaint(WindowManager& manager, Window& box) {
    if (MessageBoxData* data = dataOf<MessageBoxData>(&box)) {
        Canvas canvas = manager.paintCanvas(box);
        canvas.fillRect(box.rect, colors::kFace);
        canvas.frameRect(box.rect, colors::kBlack);
        drawCaption(canvas, box, false, false);
        Region clip = canvas.clip();
        clip.intersect(boxTextRect(box));
        Canvas textCanvas(canvas.screen(), clip);
        Font::ui().drawWrapped(textCanvas, boxTextRect(box), data->text, TextAlign::Center,
                               colors::kBlack);
        drawPushButton(canvas, boxButtonRect(box), u"OK", data->ok.pressed(), true, false,
                       Font::ui().pixelSize());
    }
    box.update = Region();
    return 0;
}

std::function<void()> repaintBoxOk(WindowManager& manager, Window& box) {
    return [&manager, &box] { manager.invalidate(box, boxButtonRect(box), false); };
}

// The OK button is a push button: a lift on it answers the box.
LRESULT boxOnStylusDown(WindowManager& manager, Window& box, Point p) {
    if (MessageBoxData* data = dataOf<MessageBoxData>(&box))
        data->ok.down(boxButtonRect(box), p, repaintBoxOk(manager, box));
    return 0;
}

LRESULT boxOnStylusMove(WindowManager& manager, Window& box, Point p) {
    if (MessageBoxData* data = dataOf<MessageBoxData>(&box))
        data->ok.move(boxButtonRect(box), p, repaintBoxOk(manager, box));
    return 0;
}

LRESULT boxOnStylusUp(WindowManager& manager, Window& box, Point p) {
    MessageBoxData* data = dataOf<MessageBoxData>(&box);
    if (data && data->ok.up(boxButtonRect(box), p, repaintBoxOk(manager, box))) data->ended = true;
    return 0;
}

// Return, Escape and Space answer the box, as its one button would.
LRESULT boxOnKeyDown(Window& box, WPARAM key) {
    MessageBoxData* data = dataOf<MessageBoxData>(&box);
    if (data && (key == VK_RETURN || key == VK_ESCAPE || key == VK_SPACE)) data->ended = true;
    return 0;
}

LRESULT boxOnClose(Window& box) {
    if (MessageBoxData* data = dataOf<MessageBoxData>(&box)) data->ended = true;
    return 0;
}

}  // namespace

LRESULT CALLBACK messageBoxProc(HWND hwnd, UINT message, WPARAM first, LPARAM second) {
    WindowManager& manager = wm();
    Window* box = manager.get(hwnd);
    if (!box) return 0;
    switch (message) {
        case WM_PAINT:
            return boxOnPaint(manager, *box);
        case WM_LBUTTONDOWN:
            return boxOnStylusDown(manager, *box, manager.messagePos());
        case WM_MOUSEMOVE:
            return boxOnStylusMove(manager, *box, manager.messagePos());
        case WM_LBUTTONUP:
            return boxOnStylusUp(manager, *box, manager.messagePos());
        case WM_KEYDOWN:
            return boxOnKeyDown(*box, first);
        case WM_CLOSE:
            return boxOnClose(*box);
        default:
            return manager.defaultProc(hwnd, message, first, second);
    }
}

namespace {

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

int messageBox(HWND owner, std::u16string_view text, std::u16string_view caption) {
    Device& device = Device::current();
    WindowManager& manager = device.windows();
    TraceEvent(device.trace(), "message_box").field("text", text).field("caption", caption);

    const Rect r = messageBoxRect(device.screen(), caption, text);
    HWND box =
        manager.create(0, kMessageBoxClass, caption, WS_POPUP | WS_CAPTION, r.left, r.top,
                       r.width(), r.height(), manager.get(owner) ? owner : nullptr, 0, nullptr);
    Window* w = manager.get(box);
    if (!w) return 0;
    auto data = std::make_unique<MessageBoxData>();
    data->text = std::u16string(text);
    MessageBoxData* state = data.get();
    w->control = std::move(data);
    const std::uint32_t handle = WindowManager::toHandle(box);
    runModal(manager, manager.get(owner) ? WindowManager::toHandle(owner) : 0, handle,
             [&] { return !manager.get(handle) || state->ended; });
    manager.destroy(box);
    TraceEvent(device.trace(), "message_box_closed").field("text", text);
    return IDOK;
}

}  // namespace kdev
