#include "controls/dialog.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "controls/button.h"
#include "controls/control.h"
#include "controls/look.h"
#include "controls/press.h"
#include "controls/static.h"
#include "core/device.h"
#include "resources/resources.h"
#include "gfx/text.h"
#include "core/trace.h"
#include "wm/window_manager.h"

namespace kdev {

namespace {

constexpr std::uint16_t kNoId = 0xFFFF;

// Outlives the dialog window, so the caller can read the result after the window is gone.
struct ModalState {
    bool ended = false;
    INT_PTR result = 0;
};

struct DialogData : ControlData {
    DLGPROC proc = nullptr;
    ModalState* modal = nullptr;
    int defaultId = IDOK;
    std::uint32_t focus = 0;  // the control with the keyboard focus, or 0
    PressTracker ok;          // the caption's OK button
};

bool hasCaptionOk(const Window& w) { return w.hasCaption() && (w.exStyle & WS_EX_CAPTIONOKBTN); }

// ---------------------------------------------------------------------------------------------
// The dialog window

void paintDialog(WindowManager& manager, Window& w, const DialogData& data) {
    Canvas canvas = manager.paintCanvas(w);
    canvas.fillRect(w.rect, colors::kFace);
    if (w.hasCaption() || (w.style & WS_BORDER)) canvas.frameRect(w.rect, colors::kBlack);
    if (w.hasCaption()) drawCaption(canvas, w, hasCaptionOk(w), data.ok.pressed());
}

// The caption's OK button: a dialog without one has no face to press.
Rect okFace(const Window& w) { return hasCaptionOk(w) ? captionOkRect(w) : Rect{}; }

std::function<void()> repaintCaptionOk(WindowManager& manager, Window& w) {
    return [&manager, &w] { manager.invalidate(w, captionOkRect(w), false); };
}

LRESULT dialogOnPaint(WindowManager& manager, Window& w, const DialogData& data) {
    paintDialog(manager, w, data);
    w.update = Region();
    return 0;
}

// The caption's OK button is a push button: a lift on it is the OK command.
LRESULT dialogOnStylusDown(WindowManager& manager, Window& w, DialogData& data, Point p) {
    data.ok.down(okFace(w), p, repaintCaptionOk(manager, w));
    return 0;
}

LRESULT dialogOnStylusMove(WindowManager& manager, Window& w, DialogData& data, Point p) {
    data.ok.move(okFace(w), p, repaintCaptionOk(manager, w));
    return 0;
}

LRESULT dialogOnStylusUp(WindowManager& manager, HWND hwnd, Window& w, DialogData& data, Point p) {
    if (data.ok.up(okFace(w), p, repaintCaptionOk(manager, w)))
        manager.send(hwnd, WM_COMMAND, commandParam(IDOK, kButtonClicked), 0);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Keyboard focus

// A control Tab stops at: a tab stop that is shown and enabled.
bool isTabStop(WindowManager& manager, std::uint32_t control) {
    const Window* c = manager.get(control);
    return c && (c->style & WS_TABSTOP) && c->visible && c->enabled;
}

// Moves the focus: the control losing it is told first, then the one taking it.
void setFocus(WindowManager& manager, DialogData& data, std::uint32_t control) {
    const std::uint32_t previous = data.focus;
    if (previous == control) return;
    data.focus = control;
    if (manager.get(previous))
        manager.send(WindowManager::toHwnd(previous), WM_KILLFOCUS,
                     reinterpret_cast<WPARAM>(WindowManager::toHwnd(control)), 0);
    if (manager.get(control))
        manager.send(WindowManager::toHwnd(control), WM_SETFOCUS,
                     reinterpret_cast<WPARAM>(WindowManager::toHwnd(previous)), 0);
}

// Tab moves to the next tab stop in the template's order, Shift+Tab to the one before, both
// wrapping around; from no focus they start at the first or the last.
void moveFocus(WindowManager& manager, const Window& w, DialogData& data, bool backwards) {
    const int n = static_cast<int>(w.children.size());
    const auto at = std::find(w.children.begin(), w.children.end(), data.focus);
    int i = at != w.children.end() ? static_cast<int>(at - w.children.begin()) : backwards ? n : -1;
    for (int k = 0; k < n; ++k) {
        i = ((backwards ? i - 1 : i + 1) % n + n) % n;
        const std::uint32_t control = w.children[static_cast<std::size_t>(i)];
        if (isTabStop(manager, control)) return setFocus(manager, data, control);
    }
}

// Tab and Shift+Tab move the focus; Space goes to the focused control (a button clicks);
// Return is the default button's command, as if it had been tapped; Escape is a cancel.
LRESULT dialogOnKeyDown(WindowManager& manager, HWND hwnd, Window& w, DialogData& data,
                        WPARAM key) {
    if (key == VK_TAB) {
        moveFocus(manager, w, data, manager.shiftHeld());
    } else if (key == VK_SPACE) {
        if (manager.get(data.focus))
            manager.send(WindowManager::toHwnd(data.focus), WM_KEYDOWN, key, 0);
    } else if (key == VK_RETURN) {
        HWND button = nullptr;
        for (std::uint32_t c : w.children)
            if (Window* child = manager.get(c); child && child->id == data.defaultId)
                button = WindowManager::toHwnd(c);
        manager.send(hwnd, WM_COMMAND, commandParam(data.defaultId, kButtonClicked),
                     reinterpret_cast<LPARAM>(button));
    } else if (key == VK_ESCAPE) {
        manager.send(hwnd, WM_COMMAND, commandParam(IDCANCEL, kButtonClicked), 0);
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------

// Closing a dialog is a cancel, posted behind what is already queued, as the platform's dialog
// manager does; only the dialog's procedure ends it.
LRESULT dialogOnClose(WindowManager& manager, HWND hwnd) {
    manager.post(hwnd, WM_COMMAND, commandParam(IDCANCEL, kButtonClicked), 0);
    return 0;
}

// What a dialog does with the messages its dialog procedure leaves alone.
LRESULT defaultDialogProc(WindowManager& manager, HWND hwnd, Window& w, UINT message, WPARAM first,
                          LPARAM second) {
    DialogData* data = dataOf<DialogData>(&w);
    if (!data) return manager.defaultProc(hwnd, message, first, second);
    switch (message) {
        case WM_PAINT:
            return dialogOnPaint(manager, w, *data);
        case WM_ERASEBKGND:
            return 1;  // WM_PAINT covers the whole face
        case WM_LBUTTONDOWN:
            return dialogOnStylusDown(manager, w, *data, manager.messagePos());
        case WM_MOUSEMOVE:
            return dialogOnStylusMove(manager, w, *data, manager.messagePos());
        case WM_LBUTTONUP:
            return dialogOnStylusUp(manager, hwnd, w, *data, manager.messagePos());
        case WM_KEYDOWN:
            return dialogOnKeyDown(manager, hwnd, w, *data, first);
        case WM_CLOSE:
            return dialogOnClose(manager, hwnd);
        default:
            return manager.defaultProc(hwnd, message, first, second);
    }
}

}  // namespace

LRESULT CALLBACK dialogWindowProc(HWND hwnd, UINT message, WPARAM first, LPARAM second) {
    WindowManager& manager = wm();
    Window* w = manager.get(hwnd);
    if (!w) return 0;
    if (DialogData* data = dataOf<DialogData>(w); data && data->proc) {
        const INT_PTR handled = data->proc(hwnd, message, first, second);
        // The dialog procedure is the program's: it may have drawn.
        Device::current().screen().touch();
        if (message == WM_COMMAND)
            TraceEvent(Device::current().trace(), "dialog_command")
                .field("id", static_cast<int>(LOWORD(first)))
                .field("handled", handled != FALSE);
        if (handled) return TRUE;
        w = manager.get(hwnd);  // the procedure may have destroyed it
        if (!w) return 0;
    }
    return defaultDialogProc(manager, hwnd, *w, message, first, second);
}

namespace {

// ---------------------------------------------------------------------------------------------
// Building a dialog from its template

// Dialog units to pixels: a horizontal unit is a quarter of the dialog font's average
// character width, a vertical one an eighth of its line height.
struct DialogUnits {
    int baseX;
    int baseY;
    int x(int units) const { return units * baseX / 4; }
    int y(int units) const { return units * baseY / 8; }
};

// The window class a control of the template is made from; empty for a class this device
// does not have.
std::u16string controlClass(const WindowManager& manager, const DialogControl& control) {
    switch (predefinedClass(control.className)) {
        case 0x80:
            return std::u16string(kButtonClass);
        case 0x82:
            return std::u16string(kStaticClass);
        case 0:
            break;
        default:
            return {};
    }
    if (control.className.isOrdinal || !manager.findClass(control.className.name)) return {};
    return control.className.name;
}

void traceRect(TraceEvent& event, const Rect& r) {
    event.field("left", r.left)
        .field("top", r.top)
        .field("right", r.right)
        .field("bottom", r.bottom);
}

// A dialog cut off by a small screen keeps its default button reachable: moved, at its size,
// into the client area's visible part where it lay outside it, and above its siblings there.
void keepInside(Device& device, Window& dialog, Window& button) {
    const Rect client = device.windows().clientRect(dialog);
    const Rect r = button.rect;
    const int x = std::max(client.left, std::min(r.left, client.right - r.width()));
    const int y = std::max(client.top, std::min(r.top, client.bottom - r.height()));
    if (x == r.left && y == r.top) return;
    button.rect = {x, y, x + r.width(), y + r.height()};
    std::erase(dialog.children, button.handle);
    dialog.children.push_back(button.handle);
    TraceEvent event(device.trace(), "dialog_control_moved");
    event.field("id", static_cast<int>(button.id));
    traceRect(event, button.rect);
}

// Creates the template's controls inside the dialog (their classes are checked beforehand),
// gives them the dialog's font and their icons, and marks the default button. False when a
// control cannot be made.
bool createControls(Device& device, HWND dialog, HINSTANCE instance, const DialogTemplate& tpl,
                    const Font& font, const DialogUnits& units) {
    WindowManager& manager = device.windows();
    const std::uint32_t dialogHandle = WindowManager::toHandle(dialog);
    std::uint32_t defaultButton = 0, okButton = 0;
    for (const DialogControl& control : tpl.controls) {
        const std::u16string cls = controlClass(manager, control);
        const std::u16string title = control.text.isOrdinal ? std::u16string() : control.text.name;
        void* creation = control.creationData.empty()
                             ? nullptr
                             : const_cast<std::uint8_t*>(control.creationData.data());
        HWND child =
            manager.create(control.exStyle, cls, title, (control.style | WS_CHILD) & ~WS_POPUP,
                           units.x(control.x), units.y(control.y), units.x(control.cx),
                           units.y(control.cy), dialog, control.id, creation);
        if (!manager.get(dialogHandle))
            return false;  // a control's creation took the dialog with it
        Window* w = manager.get(child);
        if (!w) {
            TraceEvent(device.trace(), "dialog_failed")
                .field("reason", "a control could not be created");
            return false;
        }
        w->enabled = !(control.style & WS_DISABLED);

        if (StaticData* s = dataOf<StaticData>(w)) {
            s->font = &font;
            if ((control.style & kStaticTypeMask) == SS_ICON) {
                // The icon named by the control's text, at its own size, from the dialog's module.
                if (const ResourceImage* module = device.resources().module(instance))
                    s->icon = loadIcon(*module, control.text, 32);
                if (s->icon) {
                    w->rect.right = w->rect.left + s->icon->width;
                    w->rect.bottom = w->rect.top + s->icon->height;
                }
            }
        } else if (ButtonData* b = dataOf<ButtonData>(w)) {
            b->font = &font;
            if (b->isDefault && !defaultButton) defaultButton = w->handle;
            if (control.id == IDOK && !okButton) okButton = w->handle;
        }
        TraceEvent event(device.trace(), "dialog_control");
        event.field("class", cls)
            .field("id", control.id == kNoId ? -1 : static_cast<int>(control.id));
        traceRect(event, w->rect);
    }

    // One default button: the first marked so, else the OK button.
    if (!defaultButton) defaultButton = okButton;
    DialogData* data = dataOf<DialogData>(manager.get(dialogHandle));
    for (std::uint32_t c : manager.get(dialogHandle)->children)
        if (ButtonData* b = dataOf<ButtonData>(manager.get(c))) b->isDefault = c == defaultButton;
    if (Window* def = manager.get(defaultButton)) {
        data->defaultId = def->id;
        keepInside(device, *manager.get(dialogHandle), *def);
    }
    return true;
}

// The dialog window's size: the template's size is that of its client area.
Point dialogSize(const WindowManager& manager, const DialogTemplate& tpl, DWORD style,
                 const DialogUnits& units) {
    Window probe;
    probe.style = style;
    probe.rect = {0, 0, 10000, 10000};
    const Rect client = manager.clientRect(probe);
    return {units.x(tpl.cx) + probe.rect.width() - client.width(),
            units.y(tpl.cy) + probe.rect.height() - client.height()};
}

DialogUnits unitsOf(const Font& font) { return {font.averageCharWidth(), font.lineHeight()}; }

// The template's font, or a smaller size of it when the dialog would not fit on the screen
// otherwise: a template laid out for a narrower face than the device's still shows whole.
const Font& dialogFont(const WindowManager& manager, const Screen& screen,
                       const DialogTemplate& tpl, DWORD style) {
    constexpr int kSmallestPixels = 8;
    const Font& asked = Font::dialog(tpl.hasFont ? tpl.pointSize : 8);
    auto fits = [&](const Font& font) {
        const Point size = dialogSize(manager, tpl, style, unitsOf(font));
        return size.x <= screen.width() && size.y <= screen.height();
    };
    if (asked.pixelSize() <= kSmallestPixels || fits(asked)) return asked;
    // The largest smaller size that fits. A dialog grows about in step with its font, so start
    // from the size that proportion gives and walk from there, rather than down a pixel at a
    // time from the size asked for: a damaged template asking for a huge font would otherwise
    // lay out the face at every size in between.
    const Point size = dialogSize(manager, tpl, style, unitsOf(asked));
    const double scale = std::min(static_cast<double>(screen.width()) / std::max(size.x, 1),
                                  static_cast<double>(screen.height()) / std::max(size.y, 1));
    int pixels = std::clamp(static_cast<int>(asked.pixelSize() * scale), kSmallestPixels,
                            asked.pixelSize() - 1);
    if (fits(Font::atPixels(pixels))) {
        while (pixels + 1 < asked.pixelSize() && fits(Font::atPixels(pixels + 1))) ++pixels;
    } else {
        while (pixels > kSmallestPixels && !fits(Font::atPixels(pixels))) --pixels;
    }
    return Font::atPixels(pixels);
}

// The dialog window's rectangle: centred on the screen with DS_CENTER, else placed from the
// owner's client area's top-left; kept on the screen.
Rect dialogRect(Device& device, const DialogTemplate& tpl, DWORD style, const Window* owner,
                const DialogUnits& units) {
    WindowManager& manager = device.windows();
    const Screen& screen = device.screen();
    // No larger than the screen, so its caption, with its OK button, shows whole.
    Point size = dialogSize(manager, tpl, style, units);
    size = {std::min(size.x, screen.width()), std::min(size.y, screen.height())};
    int x, y;
    if (tpl.style & DS_CENTER) {
        x = (screen.width() - size.x) / 2;
        y = (screen.height() - size.y) / 2;
    } else {
        const Rect origin = owner ? manager.clientRect(*owner) : Rect{};
        x = origin.left + units.x(tpl.x);
        y = origin.top + units.y(tpl.y);
    }
    x = std::max(0, std::min(x, screen.width() - size.x));
    y = std::max(0, std::min(y, screen.height() - size.y));
    return {x, y, x + size.x, y + size.y};
}

}  // namespace

INT_PTR runDialog(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND ownerHwnd, DLGPROC proc,
                  LPARAM param) {
    Device& device = Device::current();
    WindowManager& manager = device.windows();

    // The template is read only as far as the loaded resource holding it goes.
    std::string error = "the template is not inside a loaded resource";
    std::optional<DialogTemplate> tpl;
    if (std::optional<Bytes> bytes = device.resources().bytesFrom(dialogTemplate))
        tpl = parseDialogTemplate(*bytes, &error);
    if (!tpl) {
        TraceEvent(device.trace(), "dialog_failed").field("reason", error);
        return -1;
    }

    // A control of a class this device lacks fails the dialog, as the platform does, before
    // anything is made.
    for (const DialogControl& control : tpl->controls)
        if (controlClass(manager, control).empty()) {
            TraceEvent(device.trace(), "dialog_failed")
                .field("reason", "a control's class is not available");
            return -1;
        }

    const DWORD style = (tpl->style & ~(WS_CHILD | WS_VISIBLE)) | WS_POPUP;
    const Font& font = dialogFont(manager, device.screen(), *tpl, style);
    const DialogUnits units = unitsOf(font);
    // A dialog is owned by the top-level window of the one it is given.
    Window* owner = manager.get(ownerHwnd);
    while (owner && owner->parent) owner = manager.get(owner->parent);
    const Rect r = dialogRect(device, *tpl, style, owner, units);

    HWND dialog = manager.create(
        tpl->exStyle, kDialogClass, tpl->title, style, r.left, r.top, r.width(), r.height(),
        owner ? WindowManager::toHwnd(owner->handle) : nullptr, 0, nullptr);
    Window* w = manager.get(dialog);
    if (!w) return -1;
    const std::uint32_t handle = w->handle;
    ModalState state;
    {
        auto data = std::make_unique<DialogData>();
        data->proc = proc;
        data->modal = &state;
        w->control = std::move(data);
    }
    if (!createControls(device, dialog, instance, *tpl, font, units)) {
        manager.destroy(dialog);
        return -1;
    }

    // The procedure is offered the first tab stop for the focus; it takes it by returning TRUE.
    w = manager.get(handle);
    std::uint32_t firstStop = 0;
    if (w)
        for (auto c = w->children.rbegin(); c != w->children.rend(); ++c)
            if (isTabStop(manager, *c)) firstStop = *c;
    const LRESULT takeFocus = manager.send(
        dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(WindowManager::toHwnd(firstStop)), param);
    if (DialogData* data = dataOf<DialogData>(manager.get(handle)); data && takeFocus)
        setFocus(manager, *data, firstStop);

    if (manager.get(handle) && !state.ended) {
        auto traceOpened = [&] {
            Window* shown = manager.get(handle);
            if (!shown) return;
            TraceEvent event(device.trace(), "dialog_opened");
            event.field("title", shown->title);
            traceRect(event, shown->rect);
            if (hasCaptionOk(*shown)) {
                const Rect ok = captionOkRect(*shown);
                event.field("ok_left", ok.left)
                    .field("ok_top", ok.top)
                    .field("ok_right", ok.right)
                    .field("ok_bottom", ok.bottom);
            }
        };
        // Ends when the procedure ends the dialog, when the dialog goes (its owner closing takes
        // it along), or on the quit message, which is left for the program's own loop.
        runModal(
            manager, manager.get(handle)->owner, handle,
            [&] { return state.ended || !manager.get(handle); }, traceOpened);
    }
    // The owner is enabled again before the dialog goes, so it is the window that takes over.
    manager.destroy(dialog);
    const INT_PTR result = state.ended ? state.result : 0;
    TraceEvent(device.trace(), "dialog_closed").field("result", result).field("ended", state.ended);
    return result;
}

void focusDialogControl(HWND control) {
    WindowManager& manager = wm();
    const Window* c = manager.get(control);
    Window* parent = c ? manager.get(c->parent) : nullptr;
    if (DialogData* data = dataOf<DialogData>(parent))
        setFocus(manager, *data, WindowManager::toHandle(control));
}

HWND dialogFocus(HWND dialog) {
    const DialogData* data = dataOf<DialogData>(wm().get(dialog));
    return data ? WindowManager::toHwnd(data->focus) : nullptr;
}

bool endDialog(HWND dialog, INT_PTR result) {
    auto* data = dataOf<DialogData>(wm().get(dialog));
    if (!data || !data->modal) return false;
    data->modal->ended = true;
    data->modal->result = result;
    return true;
}

}  // namespace kdev
