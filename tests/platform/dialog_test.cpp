// The dialog manager: dialogs built from templates in loaded resources, their controls, and
// the modal loop, on an in-process device whose input is produced step by step, so a test can
// look at the windows and the screen while a dialog is up and then act on it.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "controls/dialog.h"
#include "controls/look.h"
#include "core/device.h"
#include "api/device_api.h"
#include "kestrova.h"
#include "res_builder.h"
#include "resources/resources.h"
#include "core/screen.h"
#include "gfx/text.h"
#include "wm/window_manager.h"

extern "C" const unsigned char kestrova_res[];
extern "C" const unsigned char kestrova_res_end[];

namespace {

using kdev::InputEvent;
using kdev::Key;
using kdev::Point;
using kdev::Rect;
using kdev::Window;
using kdev::WindowManager;

// Input made by steps: each time the device waits and no event is queued, the next step runs
// (it may look around, post messages and queue events). A step that queues nothing gives a
// Wake, so what it posted is dispatched before the next step runs. No steps left: no more
// input, so the device closes the main window.
class StepFrontEnd : public kdev::FrontEnd {
public:
    std::deque<std::function<void()>> steps;
    std::deque<InputEvent> events;
    int stepsRun = 0;

    bool waitEvent(InputEvent& event) override {
        if (events.empty()) {
            if (steps.empty()) return false;
            std::function<void()> step = std::move(steps.front());
            steps.pop_front();
            ++stepsRun;
            step();
            if (events.empty()) {
                event = InputEvent{};
                event.kind = InputEvent::Kind::Wake;
                return true;
            }
        }
        event = events.front();
        events.pop_front();
        return true;
    }
    void present(const kdev::Screen&) override {}
    void raise() override {}
    void setWakeDescriptor(int) override {}

    void stylus(InputEvent::Kind kind, Point p) {
        InputEvent e;
        e.kind = kind;
        e.x = p.x;
        e.y = p.y;
        events.push_back(e);
    }
    void tap(Point p) {
        stylus(InputEvent::Kind::StylusDown, p);
        stylus(InputEvent::Kind::StylusUp, p);
    }
    void key(Key k, bool shift = false) {
        InputEvent e;
        e.kind = InputEvent::Kind::KeyDown;
        e.key = k;
        e.shift = shift;
        events.push_back(e);
    }
};

Point centre(const Rect& r) { return {r.left + r.width() / 2, r.top + r.height() / 2}; }

// What the dialog procedure was given, and whether the dialog was showing then.
struct Seen {
    UINT message;
    WORD id;  // LOWORD(first)
    LPARAM second;
    bool visible;
};
std::vector<Seen> seenByProc;

// The About dialog's own procedure, watched.
INT_PTR CALLBACK watchingAboutProc(HWND dialog, UINT message, WPARAM first, LPARAM second) {
    const Window* w = kdev::Device::current().windows().get(dialog);
    seenByProc.push_back({message, LOWORD(first), second, w && w->visible});
    return AboutDialogProc(dialog, message, first, second);
}

int ownerTaps = 0;
int ownerKeys = 0;
std::function<void(HWND)> onOwnerCommand;  // what the owner does with a command message
bool ownerIgnoresClose = false;

// Stands in for the program's main window: counts the input it gets and ends the message
// loop when it goes.
LRESULT CALLBACK ownerProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    switch (message) {
        case WM_LBUTTONDOWN:
            ++ownerTaps;
            return 0;
        case WM_KEYDOWN:
            ++ownerKeys;
            return 0;
        case WM_COMMAND:
            if (onOwnerCommand) onOwnerCommand(window);
            return 0;
        case WM_CLOSE:
            if (ownerIgnoresClose) return 0;
            return DefWindowProcW(window, message, first, second);
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, first, second);
    }
}

using Writer = fixture::ByteWriter;

struct ControlSpec {
    DWORD style;
    short x, y, cx, cy;
    WORD id;
    std::u16string className;  // empty: use classOrdinal
    WORD classOrdinal;
    std::u16string text;
};

// A template with DS_SETFONT (8 points unless asked) laid out as a resource compiler writes it.
std::vector<std::uint8_t> makeTemplate(DWORD style, DWORD exStyle, short x, short y, short cx,
                                       short cy, std::u16string_view title,
                                       const std::vector<ControlSpec>& controls,
                                       std::uint16_t points = 8) {
    Writer w;
    w.u32(style | DS_SETFONT).u32(exStyle).u16(static_cast<unsigned>(controls.size()));
    w.u16(static_cast<std::uint16_t>(x))
        .u16(static_cast<std::uint16_t>(y))
        .u16(static_cast<std::uint16_t>(cx))
        .u16(static_cast<std::uint16_t>(cy));
    w.u16(0).u16(0).str(title).u16(points).str(u"System");
    for (const ControlSpec& c : controls) {
        w.align4().u32(c.style).u32(0);
        w.u16(static_cast<std::uint16_t>(c.x))
            .u16(static_cast<std::uint16_t>(c.y))
            .u16(static_cast<std::uint16_t>(c.cx))
            .u16(static_cast<std::uint16_t>(c.cy))
            .u16(c.id);
        if (c.className.empty())
            w.u16(0xFFFF).u16(c.classOrdinal);
        else
            w.str(c.className);
        w.str(c.text).u16(0);
    }
    return w.b;
}

class DialogTest : public ::testing::Test {
protected:
    void start(kdev::Geometry geometry) {
        device_.reset();
        std::string error;
        std::unique_ptr<kdev::Screen> screen = kdev::Screen::create(geometry, &error);
        ASSERT_TRUE(screen) << error;
        kdev::DeviceOptions options;
        options.shareWindows = false;
        device_ = std::make_unique<kdev::Device>(std::move(screen), input, options);
        instance = device_->resources().addModule(
            kdev::Bytes(kestrova_res, static_cast<std::size_t>(kestrova_res_end - kestrova_res)),
            &error);
        ASSERT_TRUE(instance) << error;
        WNDCLASSW wc{};
        wc.lpfnWndProc = ownerProc;
        wc.hInstance = instance;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = u"Owner";
        ASSERT_TRUE(RegisterClassW(&wc));
        owner = CreateWindowExW(0, u"Owner", u"Owner", WS_VISIBLE, 0, 0, geometry.width,
                                geometry.height, nullptr, nullptr, instance, nullptr);
        ASSERT_TRUE(owner);
        UpdateWindow(owner);
        seenByProc.clear();
        ownerTaps = ownerKeys = 0;
        onOwnerCommand = nullptr;
        ownerIgnoresClose = false;
    }
    void SetUp() override { start({}); }

    WindowManager& wm() { return device_->windows(); }
    kdev::Screen& screen() { return device_->screen(); }

    // The About dialog's template, as the program gets it from its resources.
    LPCDLGTEMPLATEW about() {
        return static_cast<LPCDLGTEMPLATEW>(LockResource(LoadResource(
            instance, FindResourceW(instance, MAKEINTRESOURCE(IDD_ABOUT), RT_DIALOG))));
    }
    // A template of a module made from hand-made bytes (type 5: dialogs).
    LPCDLGTEMPLATEW loaded(const std::vector<std::uint8_t>& bytes) {
        HINSTANCE module =
            device_->resources().addModule(fixture::ResBuilder().add(5, 50, bytes).padded());
        return static_cast<LPCDLGTEMPLATEW>(LockResource(
            LoadResource(module, FindResourceW(module, MAKEINTRESOURCE(50), RT_DIALOG))));
    }

    // The topmost dialog window, or null.
    Window* dialog() {
        const std::vector<std::uint32_t> order = wm().topLevels();
        for (auto it = order.rbegin(); it != order.rend(); ++it)
            if (Window* w = wm().get(*it); w && w->cls.name == u"Dialog") return w;
        return nullptr;
    }
    bool ownerEnabled() {
        const Window* w = wm().get(owner);
        return w && w->enabled;
    }
    Window* child(const Window& parent, std::size_t i) {
        return i < parent.children.size() ? wm().get(parent.children[i]) : nullptr;
    }
    // Runs the program's message loop until the owner has gone.
    void runLoop() {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
    }

    StepFrontEnd input;
    HINSTANCE instance = nullptr;
    HWND owner = nullptr;
    std::unique_ptr<kdev::Device> device_;
};

// Columns of r holding anything but the dialog face: the extent of what was drawn there.
std::optional<std::pair<int, int>> inkColumns(const kdev::Screen& screen, const Rect& r) {
    const std::uint16_t face = screen.pack(kdev::colors::kFace);
    std::optional<std::pair<int, int>> span;
    for (int x = r.left; x < r.right; ++x)
        for (int y = r.top; y < r.bottom; ++y)
            if (screen.get(x, y) != face) {
                if (!span) span = {x, x};
                span->second = x;
                break;
            }
    return span;
}

// ---------------------------------------------------------------------------------------------

TEST_F(DialogTest, AboutIsLaidOutFromItsTemplateAndDrawn) {
    start({480, 640});  // room for the template's own font size
    const kdev::Font& font = kdev::Font::dialog(8);
    const int bx = font.averageCharWidth(), by = font.lineHeight();
    auto du = [&](int x, int y, int cx, int cy) {
        return Rect{x * bx / 4, y * by / 8, x * bx / 4 + cx * bx / 4, y * by / 8 + cy * by / 8};
    };
    // Everything the owner showed before: the dialog's area must come back black, the rest stay.
    for (int y = 0; y < screen().height(); ++y)
        for (int x = 0; x < screen().width(); ++x) screen().set(x, y, 0xFFFF);

    Rect shown;
    input.steps.push_back([&] {
        Window* d = dialog();
        ASSERT_TRUE(d);
        shown = d->rect;
        EXPECT_EQ(d->title, u"About Kestrova");
        EXPECT_EQ(d->owner, WindowManager::toHandle(owner));
        EXPECT_EQ(wm().topLevels().back(), d->handle);
        EXPECT_FALSE(ownerEnabled()) << "the owner takes input while the dialog is up";

        // The template's size is the client area under a caption; centred on the screen.
        const Rect client = wm().clientRect(*d);
        EXPECT_EQ(client.width(), 139 * bx / 4);
        EXPECT_EQ(client.height(), 106 * by / 8);
        EXPECT_EQ(client.top - d->rect.top, kdev::kCaptionHeight);
        EXPECT_EQ(d->rect.left, (480 - d->rect.width()) / 2);
        EXPECT_EQ(d->rect.top, (640 - d->rect.height()) / 2);

        struct Expected {
            const char16_t* cls;
            int id;
            Rect units;
            const char16_t* title;
        };
        const Expected controls[] = {
            {u"Static", 0xFFFF, du(10, 5, 20, 20), u""},
            {u"Static", 0xFFFF, du(39, 10, 93, 8), u"Kestrova Version 1.1"},
            {u"Static", 0xFFFF, du(20, 35, 95, 8), nullptr},
            {u"Button", IDOK, du(42, 84, 50, 14), u"OK"},
            {u"Static", 0xFFFF, du(5, 50, 126, 25), nullptr},
        };
        ASSERT_EQ(d->children.size(), std::size(controls));
        for (std::size_t i = 0; i < std::size(controls); ++i) {
            SCOPED_TRACE(i);
            const Window* c = child(*d, i);
            ASSERT_TRUE(c);
            EXPECT_EQ(c->cls.name, controls[i].cls);
            EXPECT_EQ(c->id, controls[i].id);
            EXPECT_TRUE(c->visible);
            if (controls[i].title) {
                EXPECT_EQ(c->title, controls[i].title);
            }
            const Rect expected = controls[i].units.offset(client.left, client.top);
            if (i == 0)  // an icon control takes its icon's size
                EXPECT_EQ(c->rect, (Rect{expected.left, expected.top, expected.left + 32,
                                         expected.top + 32}));
            else
                EXPECT_EQ(c->rect, expected);
        }

        // Drawn: caption, the icon pixel for pixel, texts aligned as styled, the button.
        const kdev::Screen& s = screen();
        const Rect ok = kdev::captionOkRect(*d);
        EXPECT_EQ(s.get(ok.left - 3, d->rect.top + 2), s.pack(kdev::colors::kCaption));
        EXPECT_NE(s.get(ok.left + 3, ok.top + 3), s.pack(kdev::colors::kCaption))
            << "no OK button in the caption";
        const std::optional<kdev::Image> icon = kdev::loadIcon(
            *device_->resources().module(instance), kdev::ResId::fromOrdinal(IDI_APP), 32);
        ASSERT_TRUE(icon);
        const Rect iconRect = child(*d, 0)->rect;
        int opaque = 0;
        for (int y = 0; y < icon->height; ++y)
            for (int x = 0; x < icon->width; ++x) {
                const std::size_t k = static_cast<std::size_t>(y * icon->width + x);
                if (!icon->opaque[k]) continue;
                ++opaque;
                ASSERT_EQ(s.get(iconRect.left + x, iconRect.top + y), s.pack(icon->pixels[k]))
                    << x << "," << y;
            }
        EXPECT_GT(opaque, 100);

        const Rect version = child(*d, 1)->rect;
        const auto left = inkColumns(s, version);
        ASSERT_TRUE(left);
        EXPECT_LE(left->first - version.left, 2) << "left-aligned text does not start at the left";
        EXPECT_GT(version.right - 1 - left->second, 10);
        for (std::size_t i : {2u, 4u}) {
            const Rect r = child(*d, i)->rect;
            const auto span = inkColumns(s, r);
            ASSERT_TRUE(span) << i;
            EXPECT_NEAR(span->first - r.left, r.right - 1 - span->second, 2)
                << "control " << i << " not centred";
        }
        const Rect button = child(*d, 3)->rect;
        EXPECT_EQ(s.get(button.left + 4, button.top + 3), s.pack(kdev::colors::kFace));
        EXPECT_EQ(s.get(button.left, button.top), s.pack(kdev::colors::kBlack));
        // It has the focus: the procedure returned TRUE, and it is the only tab stop.
        EXPECT_EQ(kdev::dialogFocus(WindowManager::toHwnd(d->handle)),
                  WindowManager::toHwnd(child(*d, 3)->handle));
        EXPECT_EQ(s.get(button.left + 3, button.top + 3), s.pack(kdev::colors::kBlack))
            << "no focus mark";

        input.tap(centre(button));
    });
    EXPECT_EQ(DialogBoxIndirectParamW(instance, about(), owner, watchingAboutProc, 77), 1);
    EXPECT_EQ(input.stepsRun, 1);
    EXPECT_EQ(dialog(), nullptr);
    EXPECT_TRUE(ownerEnabled());

    // The procedure was told first, with the parameter, before anything showed.
    ASSERT_FALSE(seenByProc.empty());
    EXPECT_EQ(seenByProc.front().message, static_cast<UINT>(WM_INITDIALOG));
    EXPECT_EQ(seenByProc.front().second, 77);
    EXPECT_FALSE(seenByProc.front().visible);

    // Once the owner has repainted, the dialog's area is its black background; the rest is as it
    // was.
    input.steps.push_back([&] {
        ASSERT_FALSE(shown.empty());
        for (int y = 0; y < screen().height(); ++y)
            for (int x = 0; x < screen().width(); ++x)
                ASSERT_EQ(screen().get(x, y), shown.contains({x, y}) ? 0 : 0xFFFF) << x << "," << y;
    });
    runLoop();
    EXPECT_EQ(input.stepsRun, 2);
}

// A close request becomes a cancel command that the dialog manager posts: it comes after what
// was queued before it, as the platform's dialog manager has it.
TEST_F(DialogTest, ACloseRequestIsAPostedCancel) {
    constexpr UINT kMarker = 0x8001;
    input.steps.push_back([&] {
        Window* d = dialog();
        ASSERT_TRUE(d);
        wm().post(WindowManager::toHwnd(d->handle), WM_CLOSE, 0, 0);
        wm().post(WindowManager::toHwnd(d->handle), kMarker, 0, 0);
    });
    input.steps.push_back([&] { input.key(Key::Return); });
    EXPECT_EQ(DialogBoxIndirectParamW(instance, about(), owner, watchingAboutProc, 0), 1);
    std::vector<UINT> order;
    for (const Seen& s : seenByProc)
        if (s.message == WM_CLOSE || s.message == kMarker ||
            (s.message == WM_COMMAND && s.id == IDCANCEL))
            order.push_back(s.message);
    EXPECT_EQ(order, (std::vector<UINT>{WM_CLOSE, kMarker, WM_COMMAND}));
}

// What closes the About dialog and what leaves it open. Each case acts once; a dialog still
// open afterwards is then closed with Return.
TEST_F(DialogTest, OnlyItsOkButtonsAndReturnCloseTheAboutDialog) {
    using Act = std::function<void(StepFrontEnd&, Window&, WindowManager&)>;
    struct Case {
        const char* name;
        Act act;
        bool closes;
        int commandSeen;  // the command the procedure got, or 0
    };
    auto button = [](Window& d, WindowManager& m) { return m.get(d.children[3])->rect; };
    const Case cases[] = {
        {"tap on the OK button",
         [&](StepFrontEnd& in, Window& d, WindowManager& m) { in.tap(centre(button(d, m))); }, true,
         IDOK},
        {"tap on the caption's OK",
         [](StepFrontEnd& in, Window& d, WindowManager&) {
             in.tap(centre(kdev::captionOkRect(d)));
         },
         true, IDOK},
        {"Return", [](StepFrontEnd& in, Window&, WindowManager&) { in.key(Key::Return); }, true,
         IDOK},
        {"Escape", [](StepFrontEnd& in, Window&, WindowManager&) { in.key(Key::Escape); }, false,
         IDCANCEL},
        {"Space: the OK button has the focus",
         [](StepFrontEnd& in, Window&, WindowManager&) { in.key(Key::Space); }, true, IDOK},
        {"Tab and Shift+Tab, then Space: the OK button is the only tab stop",
         [](StepFrontEnd& in, Window&, WindowManager&) {
             in.key(Key::Tab);
             in.key(Key::Tab, true);
             in.key(Key::Space);
         },
         true, IDOK},
        {"F10", [](StepFrontEnd& in, Window&, WindowManager&) { in.key(Key::F10); }, false, 0},
        {"command 1 with a notification code above it",
         [](StepFrontEnd&, Window& d, WindowManager& m) {
             m.post(WindowManager::toHwnd(d.handle), WM_COMMAND, 0x00050001, 0);
         },
         true, IDOK},
        {"command from another control",
         [](StepFrontEnd&, Window& d, WindowManager& m) {
             m.post(WindowManager::toHwnd(d.handle), WM_COMMAND, IDCANCEL, 0);
         },
         false, IDCANCEL},
        {"command 1 in the high word only",
         [](StepFrontEnd&, Window& d, WindowManager& m) {
             m.post(WindowManager::toHwnd(d.handle), WM_COMMAND, 0x00010003, 0);
         },
         false, 3},
        {"close message",
         [](StepFrontEnd&, Window& d, WindowManager& m) {
             m.post(WindowManager::toHwnd(d.handle), WM_CLOSE, 0, 0);
         },
         false, IDCANCEL},
        {"some other message",
         [](StepFrontEnd&, Window& d, WindowManager& m) {
             m.post(WindowManager::toHwnd(d.handle), 0x0400, 1, 1);
         },
         false, 0},
        {"OK button pressed, then dragged off and let go",
         [&](StepFrontEnd& in, Window& d, WindowManager& m) {
             const Rect b = button(d, m);
             in.stylus(InputEvent::Kind::StylusDown, centre(b));
             in.stylus(InputEvent::Kind::StylusMove, {b.left - 5, b.top - 5});
             in.stylus(InputEvent::Kind::StylusUp, {b.left - 5, b.top - 5});
         },
         false, 0},
        {"caption's OK pressed, let go on the title",
         [](StepFrontEnd& in, Window& d, WindowManager&) {
             in.stylus(InputEvent::Kind::StylusDown, centre(kdev::captionOkRect(d)));
             in.stylus(InputEvent::Kind::StylusUp, {d.rect.left + 10, d.rect.top + 5});
         },
         false, 0},
        {"tap on a text",
         [](StepFrontEnd& in, Window& d, WindowManager& m) {
             in.tap(centre(m.get(d.children[1])->rect));
         },
         false, 0},
        {"tap on the owner outside the dialog",
         [](StepFrontEnd& in, Window&, WindowManager&) {
             in.tap({3, 300});
         },
         false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(IsWindow(owner)) << "an earlier case let the owner close";
        input.steps.clear();
        input.stepsRun = 0;
        seenByProc.clear();
        ownerTaps = ownerKeys = 0;
        bool stillOpen = false;
        input.steps.push_back([&] {
            Window* d = dialog();
            ASSERT_TRUE(d);
            c.act(input, *d, wm());
        });
        input.steps.push_back([&] {
            stillOpen = dialog() != nullptr;
            input.key(Key::Return);
        });
        EXPECT_EQ(DialogBoxIndirectParamW(instance, about(), owner, watchingAboutProc, 0), 1);
        EXPECT_EQ(input.stepsRun, c.closes ? 1 : 2);
        EXPECT_EQ(stillOpen, !c.closes);
        // The command the case gave, before the closing Return's.
        std::vector<WORD> commands;
        for (const Seen& s : seenByProc)
            if (s.message == WM_COMMAND) commands.push_back(s.id);
        std::vector<WORD> expected;
        if (c.commandSeen) expected.push_back(static_cast<WORD>(c.commandSeen));
        if (!c.closes) expected.push_back(IDOK);
        EXPECT_EQ(commands, expected);
        EXPECT_EQ(ownerTaps, 0);
        EXPECT_EQ(ownerKeys, 0);
        EXPECT_EQ(dialog(), nullptr);
        EXPECT_TRUE(ownerEnabled());
    }
    // With the dialog gone the owner gets its input again.
    input.steps.push_back([&] {
        input.tap({3, 300});
        input.key(Key::Return);
    });
    runLoop();
    EXPECT_EQ(ownerTaps, 1);
    EXPECT_EQ(ownerKeys, 1);
}

// The caption lies inside the window's one-pixel black frame, exactly as wide as the face
// below it.
TEST_F(DialogTest, TheCaptionIsAsWideAsTheBody) {
    bool checked = false;
    input.steps.push_back([&] {
        Window* d = dialog();
        ASSERT_TRUE(d);
        const kdev::Screen& s = screen();
        const std::uint16_t black = s.pack(kdev::colors::kBlack);
        const std::uint16_t caption = s.pack(kdev::colors::kCaption);
        const std::uint16_t face = s.pack(kdev::colors::kFace);
        const Rect r = d->rect;
        for (int x = r.left; x < r.right; ++x) {
            ASSERT_EQ(s.get(x, r.top), black) << "top edge, column " << x;
            ASSERT_EQ(s.get(x, r.bottom - 1), black) << "bottom edge, column " << x;
        }
        for (int y = r.top; y < r.bottom; ++y) {
            ASSERT_EQ(s.get(r.left, y), black) << "left edge, row " << y;
            ASSERT_EQ(s.get(r.right - 1, y), black) << "right edge, row " << y;
        }
        for (int y = r.top + 1; y < r.bottom - 1; ++y) {
            const std::uint16_t inside = y < r.top + kdev::kCaptionHeight ? caption : face;
            ASSERT_EQ(s.get(r.left + 1, y), inside) << "left, row " << y;
            ASSERT_EQ(s.get(r.right - 2, y), inside) << "right, row " << y;
        }
        checked = true;
        input.key(Key::Return);
    });
    EXPECT_EQ(DialogBoxIndirectParamW(instance, about(), owner, watchingAboutProc, 0), 1);
    EXPECT_TRUE(checked);
}

// Keyboard focus: the first tab stop takes it when the procedure says so, Tab and Shift+Tab
// move it over the shown and enabled tab stops in order, Space clicks the focused button,
// Return the default one, a tapped button takes the focus, Escape is a cancel. The focus mark
// shows on the focused button and on no other.
TEST_F(DialogTest, KeyboardFocusMovesAmongTabStops) {
    constexpr DWORD kShown = WS_CHILD | WS_VISIBLE;
    const std::vector<std::uint8_t> tpl =
        makeTemplate(WS_POPUP | WS_CAPTION | DS_CENTER, 0, 0, 0, 150, 50, u"Keys",
                     {{kShown, 5, 5, 60, 8, 0xFFFF, u"", 0x82, u"text"},
                      {kShown | WS_TABSTOP, 5, 20, 25, 14, 10, u"", 0x80, u"A"},
                      {kShown | WS_TABSTOP | BS_DEFPUSHBUTTON, 35, 20, 25, 14, 11, u"", 0x80, u"B"},
                      {kShown, 65, 20, 25, 14, 12, u"", 0x80, u"C"},
                      {kShown | WS_TABSTOP | WS_DISABLED, 95, 20, 25, 14, 13, u"", 0x80, u"D"},
                      {kShown | WS_TABSTOP, 120, 20, 25, 14, 14, u"", 0x80, u"E"}});
    static std::vector<WORD>* record;
    static WORD offered;
    static BOOL takeFocus;
    std::vector<WORD> commands;
    record = &commands;
    const DLGPROC proc = [](HWND d, UINT message, WPARAM first, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) {
            const Window* c = kdev::Device::current().windows().get(reinterpret_cast<HWND>(first));
            offered = c ? static_cast<WORD>(c->id) : 0;
            return takeFocus;
        }
        if (message != WM_COMMAND) return FALSE;
        record->push_back(LOWORD(first));
        if (LOWORD(first) == IDCANCEL) EndDialog(d, 3);
        return TRUE;
    };
    // The id of the focused control, and whether the focus mark is on it and on no other.
    auto focused = [&]() -> int {
        Window* d = dialog();
        if (!d) return -1;
        const Window* f = wm().get(kdev::dialogFocus(WindowManager::toHwnd(d->handle)));
        for (std::uint32_t c : d->children) {
            const Window* b = wm().get(c);
            if (b->cls.name != u"Button") continue;
            const Rect mark = kdev::focusMarkRect(b->rect);
            const bool marked =
                screen().get(mark.left, mark.top) == screen().pack(kdev::colors::kBlack) &&
                screen().get(mark.left + 1, mark.top) == screen().pack(kdev::colors::kFace);
            EXPECT_EQ(marked, b == f) << "focus mark on button " << b->id;
        }
        return f ? f->id : 0;
    };

    struct Step {
        const char* what;
        std::function<void()> act;
        int focus;  // the focused control's id afterwards
        std::vector<WORD> commands;
    };
    auto key = [&](Key k, bool shift = false) { return [&, k, shift] { input.key(k, shift); }; };
    auto tapOn = [&](int id) {
        return [&, id] {
            for (std::uint32_t c : dialog()->children)
                if (wm().get(c)->id == id) input.tap(centre(wm().get(c)->rect));
        };
    };
    const Step steps[] = {
        {"Tab skips the text, C (no tab stop) and D (disabled)", key(Key::Tab), 11, {}},
        {"Tab", key(Key::Tab), 14, {}},
        {"Tab wraps around", key(Key::Tab), 10, {}},
        {"Shift+Tab wraps back", key(Key::Tab, true), 14, {}},
        {"Shift+Tab", key(Key::Tab, true), 11, {}},
        {"Space clicks the focused button", key(Key::Space), 11, {11}},
        {"Tab", key(Key::Tab), 14, {}},
        {"Space", key(Key::Space), 14, {14}},
        {"Return is the default button's, wherever the focus is", key(Key::Return), 14, {11}},
        {"a tapped button takes the focus", tapOn(12), 12, {12}},
        {"Tab goes on from there", key(Key::Tab), 14, {}},
        {"Shift+Tab goes back over it", key(Key::Tab, true), 11, {}},
    };
    takeFocus = TRUE;
    std::vector<int> seenFocus;
    std::vector<std::vector<WORD>> seenCommands;
    input.steps.push_back([&] { seenFocus.push_back(focused()); });
    for (const Step& s : steps) {
        input.steps.push_back(s.act);
        input.steps.push_back([&] {
            seenFocus.push_back(focused());
            seenCommands.push_back(commands);
            commands.clear();
        });
    }
    input.steps.push_back([&] { input.key(Key::Escape); });
    EXPECT_EQ(DialogBoxIndirectParamW(instance, loaded(tpl), owner, proc, 0), 3);
    EXPECT_EQ(offered, 10) << "WM_INITDIALOG offers the first tab stop";
    ASSERT_EQ(seenFocus.size(), std::size(steps) + 1);
    EXPECT_EQ(seenFocus[0], 10) << "initial focus";
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        SCOPED_TRACE(steps[i].what);
        EXPECT_EQ(seenFocus[i + 1], steps[i].focus);
        EXPECT_EQ(seenCommands[i], steps[i].commands);
    }
    EXPECT_EQ(commands, std::vector<WORD>{IDCANCEL});

    // A procedure that returns FALSE keeps the focus from being set; Tab then starts at the
    // first tab stop. Without a default button, Return sends IDOK.
    const std::vector<std::uint8_t> plain =
        makeTemplate(WS_POPUP | WS_CAPTION | DS_CENTER, 0, 0, 0, 100, 40, u"Plain",
                     {{kShown | WS_TABSTOP, 5, 5, 30, 14, 20, u"", 0x80, u"X"},
                      {kShown | WS_TABSTOP, 40, 5, 30, 14, 21, u"", 0x80, u"Y"}});
    takeFocus = FALSE;
    commands.clear();
    seenFocus.clear();
    input.steps.push_back([&] {
        seenFocus.push_back(focused());
        input.key(Key::Tab, true);
    });
    input.steps.push_back([&] {
        seenFocus.push_back(focused());
        input.key(Key::Return);
        input.key(Key::Escape);
    });
    EXPECT_EQ(DialogBoxIndirectParamW(instance, loaded(plain), owner, proc, 0), 3);
    EXPECT_EQ(seenFocus, (std::vector<int>{0, 21}));
    EXPECT_EQ(commands, (std::vector<WORD>{IDOK, IDCANCEL}));
}

// A hidden tab stop, first or in the middle, never takes the focus: not when the dialog opens,
// not on Tab, not on Shift+Tab.
TEST_F(DialogTest, HiddenTabStopsAreSkipped) {
    constexpr DWORD kStop = WS_CHILD | WS_TABSTOP;
    const std::vector<std::uint8_t> tpl =
        makeTemplate(WS_POPUP | WS_CAPTION | DS_CENTER, 0, 0, 0, 150, 40, u"Hidden",
                     {{kStop, 5, 5, 25, 14, 30, u"", 0x80, u"H1"},
                      {kStop | WS_VISIBLE, 35, 5, 25, 14, 31, u"", 0x80, u"A"},
                      {kStop, 65, 5, 25, 14, 32, u"", 0x80, u"H2"},
                      {kStop | WS_VISIBLE, 95, 5, 25, 14, 33, u"", 0x80, u"B"}});
    const DLGPROC proc = [](HWND d, UINT message, WPARAM first, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) return TRUE;
        if (message == WM_COMMAND && LOWORD(first) == IDCANCEL) EndDialog(d, 3);
        return message == WM_COMMAND;
    };
    auto focused = [&]() -> int {
        Window* d = dialog();
        const Window* f =
            d ? wm().get(kdev::dialogFocus(WindowManager::toHwnd(d->handle))) : nullptr;
        return f ? f->id : 0;
    };
    std::vector<int> seen;
    const std::pair<Key, bool> keys[] = {
        {Key::Tab, false}, {Key::Tab, false}, {Key::Tab, true}, {Key::Tab, true}};
    input.steps.push_back([&] { seen.push_back(focused()); });
    for (const auto& [k, shift] : keys) {
        input.steps.push_back([&, k = k, shift = shift] { input.key(k, shift); });
        input.steps.push_back([&] { seen.push_back(focused()); });
    }
    input.steps.push_back([&] { input.key(Key::Escape); });
    EXPECT_EQ(DialogBoxIndirectParamW(instance, loaded(tpl), owner, proc, 0), 3);
    // Opened on A; Tab to B over H2, on to A over H1; Shift+Tab back to B over H1, to A over H2.
    EXPECT_EQ(seen, (std::vector<int>{31, 33, 31, 33, 31}));
}

// A request to bring the owner forward with the windows it owns, as a second start on the same
// device sends, while the About dialog is up: the dialog stays on top, and neither it nor what
// the owner drew is painted over.
TEST_F(DialogTest, BringingTheOwnerForwardKeepsItsDialogOnTopAndThePicture) {
    for (int y = 0; y < screen().height(); ++y)
        for (int x = 0; x < screen().width(); ++x) screen().set(x, y, 0xFFFF);  // the owner's
    std::vector<std::uint16_t> before, after;
    input.steps.push_back([&] {
        before = screen().logicalPixels();
        EXPECT_TRUE(SetForegroundWindow(
            reinterpret_cast<HWND>(reinterpret_cast<std::uintptr_t>(owner) | 1)));
    });
    input.steps.push_back([&] {
        after = screen().logicalPixels();
        const Window* d = dialog();
        ASSERT_TRUE(d);
        EXPECT_EQ(wm().topLevels().back(), d->handle);
        input.key(Key::Return);
    });
    EXPECT_EQ(DialogBoxIndirectParamW(instance, about(), owner, watchingAboutProc, 0), 1);
    ASSERT_FALSE(before.empty());
    EXPECT_EQ(after, before);
}

TEST_F(DialogTest, OwnerGoingEndsTheDialogAndTheQuitReachesTheMainLoop) {
    // An owner that is not the main window, destroyed while its dialog is up: the dialog goes
    // with it and its loop ends at once, without waiting for more input.
    WNDCLASSW plain{};
    plain.lpfnWndProc = DefWindowProcW;
    plain.hInstance = instance;
    plain.lpszClassName = u"Side";
    ASSERT_TRUE(RegisterClassW(&plain));
    HWND side = CreateWindowExW(0, u"Side", u"Side", WS_VISIBLE, 20, 20, 100, 100, nullptr, nullptr,
                                instance, nullptr);
    input.steps.push_back([&] { DestroyWindow(side); });
    input.steps.push_back([] {});
    EXPECT_EQ(DialogBoxIndirectParamW(instance, about(), side, watchingAboutProc, 0), 0);
    EXPECT_EQ(input.stepsRun, 1);
    EXPECT_EQ(dialog(), nullptr);
    ASSERT_TRUE(ownerEnabled());
    input.steps.clear();
    input.stepsRun = 0;
    seenByProc.clear();

    // The main window closing (no more input) while its dialog is up.
    bool opened = false;
    input.steps.push_back([&] { opened = dialog() != nullptr; });
    // No more input: the device closes the owner, which takes its dialog along.
    EXPECT_EQ(DialogBoxIndirectParamW(instance, about(), owner, watchingAboutProc, 0), 0);
    EXPECT_TRUE(opened);
    EXPECT_EQ(dialog(), nullptr);
    EXPECT_FALSE(IsWindow(owner));
    bool destroySeen = false;
    for (const Seen& s : seenByProc) destroySeen = destroySeen || s.message == WM_DESTROY;
    EXPECT_TRUE(destroySeen);
    MSG msg{};
    EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 0u);
}

TEST_F(DialogTest, EndOfInputEndsNestedModalLoopsInnermostFirst) {
    // A message box that nothing owns is up, and the main window, disabled by it, opens About
    // from a message posted to it: About's loop runs inside the box's. When the input ends,
    // the innermost loop ends first (About goes with the main window), then the box's, and the
    // quit reaches the program's loop. Closing the box first would leave its loop waiting
    // under About's for ever.
    std::vector<std::string> order;
    onOwnerCommand = [&](HWND window) {
        order.push_back("about opened");
        DialogBoxIndirectParamW(instance, about(), window, watchingAboutProc, 0);
        order.push_back("about ended");
    };
    input.steps.push_back([&] { PostMessageW(owner, WM_COMMAND, 1, 0); });
    input.steps.push_back([&] { order.push_back(dialog() ? "about up" : "no about"); });
    EXPECT_EQ(MessageBoxW(nullptr, u"Framebuffer couldn't be opened!", u"Error", MB_OK), IDOK);
    order.push_back("box ended");
    EXPECT_EQ(order,
              (std::vector<std::string>{"about opened", "about up", "about ended", "box ended"}));
    EXPECT_FALSE(IsWindow(owner));
    MSG msg{};
    EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
}

TEST_F(DialogTest, AProgramThatNeverClosesIsStoppedNotLeftToSpin) {
    // Every close after the input has ended is ignored: the device gives up after a bound
    // and unwinds the program instead of feeding it closes for ever.
    ownerIgnoresClose = true;
    EXPECT_THROW(runLoop(), std::runtime_error);
    EXPECT_TRUE(IsWindow(owner));
}

// The dialog fits and is centred on every screen, with every control inside its client area.
TEST_F(DialogTest, AboutFitsCentredOnEachScreen) {
    for (const kdev::Geometry& g :
         {kdev::Geometry{240, 320}, kdev::Geometry{320, 240}, kdev::Geometry{480, 640}}) {
        SCOPED_TRACE(std::to_string(g.width) + "x" + std::to_string(g.height));
        start(g);
        bool checked = false;
        input.steps.push_back([&] {
            Window* d = dialog();
            ASSERT_TRUE(d);
            EXPECT_GE(d->rect.left, 0);
            EXPECT_GE(d->rect.top, 0);
            EXPECT_LE(d->rect.right, g.width);
            EXPECT_LE(d->rect.bottom, g.height);
            EXPECT_NEAR(d->rect.left, g.width - d->rect.right, 1);
            EXPECT_NEAR(d->rect.top, g.height - d->rect.bottom, 1);
            const Rect client = wm().clientRect(*d);
            for (std::uint32_t c : d->children)
                EXPECT_EQ(wm().get(c)->rect.intersect(client), wm().get(c)->rect);
            checked = true;
            input.key(Key::Return);
        });
        EXPECT_EQ(DialogBoxIndirectParamW(instance, about(), owner, watchingAboutProc, 0), 1);
        EXPECT_TRUE(checked);
    }
}

// A template whose font makes it larger than the screen is laid out in the largest size of
// the face that fits, however the screen's sides compare with the dialog's: checked against
// every size from the one asked for down.
TEST_F(DialogTest, TooLargeAFontShrinksToTheLargestSizeThatFits) {
    constexpr short kCx = 120, kCy = 60;
    const std::vector<std::uint8_t> tpl = makeTemplate(
        WS_POPUP | WS_CAPTION | DS_CENTER, 0, 0, 0, kCx, kCy, u"Large",
        {{WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 5, 40, 30, 14, IDOK, u"", 0x80, u"OK"}}, 24);
    const int asked = kdev::Font::dialog(24).pixelSize();
    std::vector<kdev::Geometry> screens;
    for (int side = 110; side <= 400; side += 9) {
        screens.push_back({side, 1000});      // the width decides
        screens.push_back({1000, side / 2});  // the height decides
    }
    for (const kdev::Geometry& g : screens) {
        SCOPED_TRACE(std::to_string(g.width) + "x" + std::to_string(g.height));
        start(g);
        input.steps.push_back([&] {
            Window* d = dialog();
            ASSERT_TRUE(d);
            const Rect client = wm().clientRect(*d);
            const int frameX = d->rect.width() - client.width();
            const int frameY = d->rect.height() - client.height();
            int best = 0;
            for (int pixels = asked; pixels >= 8 && best == 0; --pixels) {
                const kdev::Font& f = kdev::Font::atPixels(pixels);
                if (kCx * f.averageCharWidth() / 4 + frameX <= g.width &&
                    kCy * f.lineHeight() / 8 + frameY <= g.height)
                    best = pixels;
            }
            if (best != 0) {
                const kdev::Font& f = kdev::Font::atPixels(best);
                EXPECT_EQ(client.width(), kCx * f.averageCharWidth() / 4) << best << " pixels";
                EXPECT_EQ(client.height(), kCy * f.lineHeight() / 8) << best << " pixels";
            }
            input.key(Key::Return);
        });
        EXPECT_EQ(DialogBoxIndirectParamW(instance, loaded(tpl), owner, watchingAboutProc, 0), 1);
    }
}

TEST_F(DialogTest, DamagedOrStrayTemplatesFailWithNothingShown) {
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCE(IDD_ABOUT), RT_DIALOG);
    const auto* bytes =
        static_cast<const std::uint8_t*>(LockResource(LoadResource(instance, found)));
    const std::size_t size = SizeofResource(instance, found);
    ASSERT_GT(size, 40u);
    const std::vector<std::uint8_t> whole(bytes, bytes + size);
    const std::vector<std::uint8_t> copy = whole;  // the same bytes, in no resource

    std::vector<std::uint8_t> tooMany = whole;  // more controls than the bytes hold
    tooMany[8] = 0x40;
    struct Case {
        const char* name;
        LPCDLGTEMPLATEW tpl;
    };
    const Case cases[] = {
        {"null", nullptr},
        {"a copy outside any resource", reinterpret_cast<LPCDLGTEMPLATEW>(copy.data())},
        {"the last bytes of the resource", reinterpret_cast<LPCDLGTEMPLATEW>(bytes + size - 12)},
        {"header cut short", loaded(std::vector<std::uint8_t>(whole.begin(), whole.begin() + 17))},
        {"cut in the title", loaded(std::vector<std::uint8_t>(whole.begin(), whole.begin() + 30))},
        {"cut in the last control",
         loaded(std::vector<std::uint8_t>(whole.begin(), whole.end() - 1))},
        {"control count too large", loaded(tooMany)},
        {"a control of a class this device lacks",
         loaded(makeTemplate(WS_POPUP | WS_CAPTION | DS_CENTER, 0, 0, 0, 100, 60, u"Edit",
                             {{WS_CHILD | WS_VISIBLE, 5, 5, 40, 10, 3, u"", 0x80, u"fine"},
                              {WS_CHILD | WS_VISIBLE, 5, 20, 40, 10, 4, u"", 0x81, u"edit"}}))},
    };
    const std::size_t windowsBefore = wm().topLevels().size();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        seenByProc.clear();
        EXPECT_EQ(DialogBoxIndirectParamW(instance, c.tpl, owner, watchingAboutProc, 0), -1);
        EXPECT_TRUE(seenByProc.empty()) << "the procedure was called";
        EXPECT_EQ(wm().topLevels().size(), windowsBefore);
        EXPECT_TRUE(ownerEnabled());
        EXPECT_EQ(input.stepsRun, 0) << "a modal loop ran";
    }
    // The intact template in that same kind of module opens.
    input.steps.push_back([&] { input.key(Key::Return); });
    EXPECT_EQ(DialogBoxIndirectParamW(instance, loaded(whole), owner, watchingAboutProc, 0), 1);
}

// Templates other than About's: placement without DS_CENTER, the default button, a control
// of the program's own class, a dialog ended before it shows.
TEST_F(DialogTest, PlacementDefaultButtonAndOwnClasses) {
    WNDCLASSW panel{};
    panel.lpfnWndProc = DefWindowProcW;
    panel.hInstance = instance;
    panel.lpszClassName = u"Panel";
    ASSERT_TRUE(RegisterClassW(&panel));
    // An owner whose client area does not start at the screen's corner.
    HWND framed = CreateWindowExW(0, u"Owner", u"Framed", WS_VISIBLE | WS_CAPTION, 30, 40, 200, 200,
                                  nullptr, nullptr, instance, nullptr);
    const Rect framedClient = wm().clientRect(*wm().get(framed));

    const std::vector<std::uint8_t> tpl = makeTemplate(
        WS_POPUP | WS_CAPTION, 0, 10, 20, 100, 60, u"Plain",
        {{WS_CHILD | WS_VISIBLE | SS_RIGHT, 5, 5, 90, 10, 0xFFFF, u"", 0x82, u"right"},
         {WS_CHILD | WS_VISIBLE, 5, 40, 30, 14, IDOK, u"", 0x80, u"OK"},
         {WS_CHILD | WS_VISIBLE | BS_DEFPUSHBUTTON, 40, 40, 30, 14, 9, u"BUTTON", 0, u"Go"},
         {WS_CHILD | WS_VISIBLE, 75, 40, 20, 14, 11, u"Panel", 0, u""}});
    const kdev::Font& font = kdev::Font::dialog(8);
    const int bx = font.averageCharWidth(), by = font.lineHeight();
    std::vector<WORD> commands;
    static std::vector<WORD>* record;
    record = &commands;
    const DLGPROC endOnNine = [](HWND d, UINT message, WPARAM first, LPARAM) -> INT_PTR {
        if (message != WM_COMMAND) return FALSE;
        record->push_back(LOWORD(first));
        if (LOWORD(first) == 9) EndDialog(d, 42);
        return TRUE;
    };
    input.steps.push_back([&] {
        Window* d = dialog();
        ASSERT_TRUE(d);
        EXPECT_EQ(d->rect.left, framedClient.left + 10 * bx / 4);
        EXPECT_EQ(d->rect.top, framedClient.top + 20 * by / 8);
        const Rect noOk = kdev::captionOkRect(*d);  // where the caption's OK would be
        EXPECT_EQ(screen().get(noOk.left + 3, noOk.top + 3), screen().pack(kdev::colors::kCaption));
        ASSERT_EQ(d->children.size(), 4u);
        EXPECT_EQ(child(*d, 3)->cls.name, u"Panel");
        const Rect text = child(*d, 0)->rect;
        const auto span = inkColumns(screen(), text);
        ASSERT_TRUE(span);
        EXPECT_LE(text.right - 1 - span->second, 2)
            << "right-aligned text does not end at the right";
        EXPECT_GT(span->first - text.left, 20);
        input.tap(centre(kdev::captionOkRect(*d)));  // no OK button there: nothing happens
        input.key(Key::Return);                      // the BS_DEFPUSHBUTTON, not IDOK
    });
    EXPECT_EQ(DialogBoxIndirectParamW(instance, loaded(tpl), framed, endOnNine, 0), 42);
    EXPECT_EQ(commands, std::vector<WORD>{9});

    // Ended while being set up: never shown, no loop, the result all the same.
    const DLGPROC endAtOnce = [](HWND d, UINT message, WPARAM, LPARAM) -> INT_PTR {
        if (message == WM_INITDIALOG) EndDialog(d, 5);
        return FALSE;
    };
    const int stepsBefore = input.stepsRun;
    EXPECT_EQ(DialogBoxIndirectParamW(instance, about(), owner, endAtOnce, 0), 5);
    EXPECT_EQ(input.stepsRun, stepsBefore);
    EXPECT_EQ(dialog(), nullptr);
    EXPECT_FALSE(EndDialog(owner, 1)) << "not a dialog";
}

}  // namespace
