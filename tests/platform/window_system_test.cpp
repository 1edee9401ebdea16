// The window system, command bar, menus and message boxes, driven in-process.
#include <commctrl.h>
#include <gtest/gtest.h>
#include <gx.h>
#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "api/device_api.h"
#include "core/strings.h"
#include "automation.h"
#include "controls/look.h"
#include "resources/resource.h"
#include "test_device.h"
#include "wm/window_manager.h"

namespace {

std::vector<unsigned> g_commands;             // WM_COMMAND ids the test window received
std::vector<std::pair<UINT, WPARAM>> g_keys;  // its key messages, with their keys

LRESULT CALLBACK recordingProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    switch (message) {
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            g_keys.push_back({message, first});
            break;
        case WM_COMMAND:
            g_commands.push_back(LOWORD(first));
            return 0;
        case WM_DESTROY:
            PostQuitMessage(7);
            return 0;
    }
    return DefWindowProcW(window, message, first, second);
}

// A window filling a W x H screen, with a command bar carrying the program's menu 102.
template <int W, int H>
class WindowSystemOn : public ::testing::Test {
protected:
    void SetUp() override {
        g_commands.clear();
        g_keys.clear();
        WNDCLASSW wc{};
        wc.lpfnWndProc = recordingProc;
        wc.hInstance = dev.instance();
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszClassName = u"Recorder";
        ASSERT_TRUE(RegisterClassW(&wc));
        window = CreateWindowExW(0, u"Recorder", u"Recorder", WS_VISIBLE, 0, 0, W, H, nullptr,
                                 nullptr, dev.instance(), nullptr);
        ASSERT_TRUE(window);
        bar = CommandBar_Create(dev.instance(), window, 1);
        ASSERT_TRUE(CommandBar_InsertMenubar(bar, dev.instance(), 102, 0));
        CommandBar_AddAdornments(bar, 0, 0);
        CommandBar_Show(bar, TRUE);
        UpdateWindow(window);
    }

    // Runs the message loop until the quit message; returns its code.
    int pump() {
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
        return static_cast<int>(msg.wParam);
    }

    kdev::Point toolsButton() { return *kdev::Automation(dev.device()).locate(u"Tools"); }

    TestDevice dev{kdev::Geometry{W, H}};
    HWND window = nullptr;
    HWND bar = nullptr;
};
using WindowSystem = WindowSystemOn<240, 320>;
using SmallScreen = WindowSystemOn<160, 120>;

// Rows [top, bottom) of the highlighted item in a column of the screen, or {-1, -1}.
std::pair<int, int> highlightedRows(const kdev::Screen& s, int column) {
    const std::uint16_t hot = s.pack(kdev::colors::kHighlight);
    int top = -1, bottom = -1;
    for (int y = 0; y < s.height(); ++y)
        if (s.get(column, y) == hot) {
            if (top < 0) top = y;
            bottom = y + 1;
        }
    return {top, bottom};
}

// The Tools menu is taller than a 160x120 screen: it fills the screen and scrolls, so every
// item can be seen whole and chosen, from the keys and from the stylus on its arrows.
TEST_F(SmallScreen, TheMenuStaysOnTheScreenAndScrollsToEveryItem) {
    const kdev::Screen& s = dev.screen();
    const int column = toolsButton().x;
    std::vector<std::pair<int, int>> rows;
    std::vector<std::uint16_t> lastRow;  // the screen's last row, Exit highlighted
    // From the keys: each item highlighted in turn shows whole; Up from the top wraps to Exit.
    dev.frontEnd().key(kdev::Key::F10);
    for (int i = 0; i < 6; ++i) {
        dev.frontEnd().then([&] { rows.push_back(highlightedRows(s, column)); });
        dev.frontEnd().key(kdev::Key::Down);
    }
    dev.frontEnd().key(kdev::Key::Escape);
    dev.frontEnd().key(kdev::Key::F10);
    dev.frontEnd().key(kdev::Key::Up);
    dev.frontEnd().then([&] {
        rows.push_back(highlightedRows(s, column));
        for (int x = 0; x < s.width(); ++x) lastRow.push_back(s.get(x, s.height() - 1));
    });
    dev.frontEnd().key(kdev::Key::Return);
    // From the stylus: the bottom arrow scrolls down (tapped more often than needed), the
    // item just above it is then Exit; the top arrow scrolls back to BitBlt.
    const int downArrow = 120 - 2 - 5, aboveDownArrow = downArrow - 5 - 10;
    const int upArrow = 2 + 5, belowUpArrow = upArrow + 5 + 10;
    dev.frontEnd().tapMenu(u"Tools");
    for (int i = 0; i < 5; ++i) dev.frontEnd().tap(column, downArrow);
    dev.frontEnd().tap(column, aboveDownArrow);
    dev.frontEnd().tapMenu(u"Tools");
    for (int i = 0; i < 5; ++i) dev.frontEnd().tap(column, downArrow);
    for (int i = 0; i < 5; ++i) dev.frontEnd().tap(column, upArrow);
    dev.frontEnd().tap(column, belowUpArrow);
    // A script's "menu Tools/Exit" finds Exit, scrolled into view.
    dev.frontEnd().tapMenu(u"Tools");
    dev.frontEnd().tapMenu(u"Exit");
    EXPECT_EQ(pump(), 7);
    ASSERT_EQ(rows.size(), 7u);
    for (const auto& [top, bottom] : rows) {
        EXPECT_GE(top, 0);
        EXPECT_LE(bottom, s.height());
        EXPECT_EQ(bottom - top, 20) << "an item cut short: rows " << top << " to " << bottom;
    }
    // The frame's bottom edge is the screen's last row, under the menu's columns.
    ASSERT_EQ(lastRow.size(), 160u);
    EXPECT_EQ(lastRow[static_cast<std::size_t>(column)], s.pack(kdev::colors::kBlack));
    EXPECT_EQ(g_commands, (std::vector<unsigned>{CMD_EXIT, CMD_EXIT, CMD_BITBLT, CMD_EXIT}));
}

TEST_F(WindowSystem, TapsOnTheMenuSendTheChosenCommandToTheBarsOwner) {
    EXPECT_EQ(CommandBar_Height(bar), 26);
    for (const char16_t* item :
         {u"BitBlt", u"Lines", u"Circles", u"Clear Screen", u"About", u"Exit"}) {
        dev.frontEnd().tapMenu(u"Tools");
        dev.frontEnd().tapMenu(item);
    }
    EXPECT_EQ(pump(), 7);
    EXPECT_EQ(g_commands, (std::vector<unsigned>{CMD_BITBLT, CMD_LINES, CMD_CIRCLES, CMD_CLEAR,
                                                 CMD_ABOUT, CMD_EXIT}));
}

TEST_F(WindowSystem, KeysDriveTheMenu) {
    // F10 opens the menu on its first item; Up and Down skip the separator; Return chooses.
    using K = kdev::Key;
    struct Case {
        std::vector<K> keys;
        std::vector<unsigned> commands;
    };
    const std::vector<Case> cases = {
        {{K::F10, K::Return}, {CMD_BITBLT}},
        {{K::F10, K::Down, K::Return}, {CMD_LINES}},
        {{K::F10, K::Down, K::Down, K::Down, K::Down, K::Return}, {CMD_ABOUT}},
        {{K::F10, K::Up, K::Return}, {CMD_EXIT}},
        {{K::F10, K::Escape}, {}},
        {{K::F10, K::F10}, {}},
        {{K::Return, K::Down}, {}},  // no menu open: nothing happens
    };
    // Each case's commands are all dispatched by the time the device waits for more input.
    std::vector<std::vector<unsigned>> seen(cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        for (K k : cases[i].keys) dev.frontEnd().key(k);
        dev.frontEnd().then([&seen, i] {
            seen[i] = g_commands;
            g_commands.clear();
        });
    }
    EXPECT_EQ(pump(), 7);
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(seen[i], cases[i].commands) << "case " << i;
    // The window itself got each opening F10 as the system key it is on the platform, and the
    // keys pressed with no menu open as plain keys; the open menu took the others.
    std::vector<std::pair<UINT, WPARAM>> keys(6, {WM_SYSKEYDOWN, VK_F10});
    keys.insert(keys.end(), {{WM_KEYDOWN, VK_RETURN}, {WM_KEYDOWN, VK_DOWN}});
    EXPECT_EQ(g_keys, keys);
}

TEST_F(WindowSystem, TheAutomationSeamFindsWhatIsOnTheScreenAndRefusesCommandsAsATapWould) {
    const kdev::Automation automation(dev.device());
    struct Case {
        const char16_t* text;
        bool onBar;     // a button of the command bar (row 0 to 25)
        bool belowBar;  // an item of the open menu
    };
    auto check = [&](const std::vector<Case>& cases, const char* when) {
        for (const Case& c : cases) {
            const std::optional<kdev::Point> at = automation.locate(c.text);
            SCOPED_TRACE(std::string(when) + ": " + kdev::toUtf8(c.text));
            ASSERT_EQ(at.has_value(), c.onBar || c.belowBar);
            if (!at) continue;
            EXPECT_GE(at->x, 0);
            EXPECT_LT(at->x, 240);
            EXPECT_EQ(at->y < 26, c.onBar);
        }
    };
    check({{u"Tools", true, false},
           {u"Close", true, false},
           {u"Lines", false, false},  // no menu is open
           {u"Tool", false, false}},
          "closed");
    EXPECT_TRUE(automation.takesCommands());
    EXPECT_EQ(automation.commandRefusal(), nullptr);

    // A message box disables its owner: no command, and its bar is behind the box.
    std::string refusal;
    bool tookCommands = true;
    dev.frontEnd().then([&] {
        tookCommands = automation.takesCommands();
        refusal = automation.commandRefusal() ? automation.commandRefusal() : "";
        check({{u"Tools", false, false}}, "message box");
    });
    dev.frontEnd().key(kdev::Key::Return);
    EXPECT_EQ(MessageBoxW(window, u"Hello", u"Caption", MB_OK), IDOK);
    EXPECT_FALSE(tookCommands);
    EXPECT_EQ(refusal, "the main window is disabled (a dialog or message box is open)");

    dev.frontEnd().tapMenu(u"Tools");
    dev.frontEnd().then([&] {
        // While a menu is open, only its items are there to tap.
        check({{u"Lines", false, true}, {u"Exit", false, true}, {u"Tools", false, false}}, "open");
    });
    dev.frontEnd().key(kdev::Key::Escape);
    dev.frontEnd().close();
    EXPECT_EQ(pump(), 7);
    EXPECT_TRUE(g_commands.empty());
}

TEST(Automation, ATargetOffTheScreenIsNotThere) {
    // A window 240 wide on a narrower screen: its bar's close box is centred at x = 226, on
    // the screen only when the screen is wider than that.
    for (const int width : {226, 227}) {
        TestDevice dev({width, 40, kdev::PixelFormat::Rgb565, kdev::Layout::Normal});
        dev.createWindow();  // registers its class
        HWND window = CreateWindowExW(0, u"TestWindow", u"Wide", WS_VISIBLE, 0, 0, 240, 320,
                                      nullptr, nullptr, dev.instance(), nullptr);
        HWND bar = CommandBar_Create(dev.instance(), window, 1);
        ASSERT_TRUE(CommandBar_InsertMenubar(bar, dev.instance(), 102, 0));
        CommandBar_AddAdornments(bar, 0, 0);
        CommandBar_Show(bar, TRUE);
        const kdev::Automation automation(dev.device());
        EXPECT_TRUE(automation.locate(u"Tools"));
        const std::optional<kdev::Point> close = automation.locate(u"Close");
        EXPECT_EQ(close.has_value(), width == 227) << width;
        if (close) {
            EXPECT_EQ(close->x, 226);
        }
    }
}

TEST(Automation, AStepThatFailsSaysWhyAndDropsTheRest) {
    TestDevice dev;
    struct Case {
        std::function<void(kdev::ScriptPlayer&)> steps;
        const char* failure;
    };
    const std::vector<Case> cases = {
        {[](kdev::ScriptPlayer& p) { p.tapOn(u"Tools", "button"); },
         "no button 'Tools' on the screen"},
        {[](kdev::ScriptPlayer& p) { p.tapOn(u"\x1b[2J", "menu item"); },
         "no menu item '\\x1B[2J' on the screen"},
        {[](kdev::ScriptPlayer& p) { p.command(40001); },
         "command 40001 refused: there is no main window"},
    };
    for (const Case& c : cases) {
        kdev::ScriptPlayer player;
        player.tap(1, 2);
        c.steps(player);
        player.key(kdev::Key::Return);
        kdev::InputEvent e;
        ASSERT_TRUE(player.next(dev.device(), e));
        EXPECT_EQ(e.kind, kdev::InputEvent::Kind::StylusDown);
        ASSERT_TRUE(player.next(dev.device(), e));
        EXPECT_EQ(e.kind, kdev::InputEvent::Kind::StylusUp);
        EXPECT_FALSE(player.next(dev.device(), e));
        EXPECT_EQ(player.failure(), c.failure);
        EXPECT_TRUE(player.empty());
    }
}

TEST_F(WindowSystem, TheMenuPutsBackWhatWasUnderItAndATapOutsideChoosesNothing) {
    // The program's own pixels under the menu's place.
    kdev::Screen& s = dev.screen();
    for (int y = 26; y < 320; ++y)
        for (int x = 0; x < 240; ++x) s.set(x, y, static_cast<std::uint16_t>(x * 7 + y * 13));
    const std::vector<std::uint16_t> before = s.logicalPixels();
    std::vector<std::uint16_t> open, after;
    dev.frontEnd().tapMenu(u"Tools");
    dev.frontEnd().then([&] { open = s.logicalPixels(); });
    dev.frontEnd().tap(200, 300);  // outside the menu
    dev.frontEnd().then([&] { after = s.logicalPixels(); });
    EXPECT_EQ(pump(), 7);
    EXPECT_TRUE(g_commands.empty());
    EXPECT_NE(open, before);
    EXPECT_EQ(after, before);
}

TEST_F(WindowSystem, ACloseOrCommandWhileTheMenuIsOpenDismissesItAndIsThenHandled) {
    // Each arrives while the Tools menu is open; wake-ups in between are served without
    // ending it.
    struct Case {
        const char* name;
        std::function<void(ScriptedFrontEnd&)> arrive;
        std::vector<unsigned> commands;
        bool windowGone;  // before the input ran out
    };
    const std::vector<Case> cases = {
        {"close", [](ScriptedFrontEnd& f) { f.close(); }, {}, true},
        {"command", [](ScriptedFrontEnd& f) { f.command(CMD_CIRCLES); }, {CMD_CIRCLES}, false},
    };
    for (const Case& c : cases) {
        TestDevice local;
        WNDCLASSW wc{};
        wc.lpfnWndProc = recordingProc;
        wc.hInstance = local.instance();
        wc.lpszClassName = u"Recorder";
        ASSERT_TRUE(RegisterClassW(&wc));
        HWND main = CreateWindowExW(0, u"Recorder", u"Recorder", WS_VISIBLE, 0, 0, 240, 320,
                                    nullptr, nullptr, local.instance(), nullptr);
        HWND localBar = CommandBar_Create(local.instance(), main, 1);
        ASSERT_TRUE(CommandBar_InsertMenubar(localBar, local.instance(), 102, 0));
        CommandBar_Show(localBar, TRUE);
        g_commands.clear();
        const std::vector<std::uint16_t> closed = [&] {
            UpdateWindow(main);
            return local.screen().logicalPixels();
        }();
        std::vector<std::uint16_t> open;
        bool stillThere = false;
        local.frontEnd().tapMenu(u"Tools");
        local.frontEnd().then([&] { open = local.screen().logicalPixels(); });
        c.arrive(local.frontEnd());
        local.frontEnd().then([&] { stillThere = IsWindow(main); });
        MSG msg;
        while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
        EXPECT_EQ(msg.wParam, 7u) << c.name;
        EXPECT_NE(open, closed) << c.name;
        EXPECT_EQ(g_commands, c.commands) << c.name;
        EXPECT_EQ(stillThere, !c.windowGone) << c.name;
    }
}

TEST_F(WindowSystem, TheScreenIsPresentedOnlyWhenItChanged) {
    ScriptedFrontEnd& f = dev.frontEnd();
    std::vector<int> seen;
    auto mark = [&] { f.then([&] { seen.push_back(f.presents); }); };
    const kdev::Point tools = toolsButton();
    mark();          // 0: the first picture is shown before the first wait
    mark();          // 1: a wake-up draws nothing
    f.tap(150, 10);  // 2: on the bar, beside its buttons: nothing drawn
    mark();
    f.key(kdev::Key::Space);  // 3: the program's window gets a key: it may have drawn
    mark();
    f.tapMenu(u"Tools");  // 4: the menu opens
    mark();
    f.push(kdev::InputEvent::stylusMove(tools.x, tools.y + 30));  // 5: onto an item
    mark();
    f.push(kdev::InputEvent::stylusMove(tools.x + 1, tools.y + 31));  // 6: the same item
    mark();
    f.key(kdev::Key::Escape);
    EXPECT_EQ(pump(), 7);
    ASSERT_EQ(seen.size(), 7u);
    EXPECT_GE(seen[0], 1);
    EXPECT_EQ(seen[1], seen[0]);
    EXPECT_EQ(seen[2], seen[1]);
    EXPECT_GT(seen[3], seen[2]);
    EXPECT_GT(seen[4], seen[3]);
    EXPECT_GT(seen[5], seen[4]);
    EXPECT_EQ(seen[6], seen[5]);
}

// The highlighted button's columns on the bar's row y: [first, last].
std::pair<int, int> highlightedColumns(const kdev::Screen& s, int y) {
    const std::uint16_t hot = s.pack(kdev::colors::kHighlight);
    int first = -1, last = -1;
    for (int x = 0; x < s.width(); ++x)
        if (s.get(x, y) == hot) {
            if (first < 0) first = x;
            last = x;
        }
    return {first, last};
}

TEST_F(WindowSystem, TheOpenMenuLinesUpWithItsButtonAndTouchesTheBar) {
    const kdev::Screen& s = dev.screen();
    const std::uint16_t white = s.pack(kdev::colors::kWhite), black = s.pack(kdev::colors::kBlack);
    const int barBottom = CommandBar_Height(bar);
    const int buttonRow = toolsButton().y;
    bool checked = false;
    dev.frontEnd().tapMenu(u"Tools");
    dev.frontEnd().then([&] {
        const auto [left, right] = highlightedColumns(s, buttonRow);
        ASSERT_GT(left, 0);
        // The face starts in the button's first column, on the first row below the bar, and
        // runs under the whole button; the frame lies one pixel outside it, on the bar's edge.
        for (int y = barBottom; y < barBottom + 8; ++y) {
            EXPECT_EQ(s.get(left, y), white) << "row " << y;
            EXPECT_EQ(s.get(left - 1, y), black) << "row " << y;
        }
        for (int x = left; x <= right; ++x) {
            EXPECT_EQ(s.get(x, barBottom), white) << "column " << x;
            EXPECT_EQ(s.get(x, barBottom - 1), black) << "column " << x;
        }
        checked = true;
    });
    dev.frontEnd().key(kdev::Key::Escape);
    EXPECT_EQ(pump(), 7);
    EXPECT_TRUE(checked);
}

// Each item answers a tap on its first and its last row, and the row below belongs to the next
// item (or to none). The rows are read off the screen, item by item highlighted from the
// keyboard, so they do not come from the hit test they check.
TEST_F(WindowSystem, EachMenuItemAnswersOnItsOwnRowsOnly) {
    const std::vector<unsigned> ids = {CMD_BITBLT, CMD_LINES, CMD_CIRCLES,
                                       CMD_CLEAR,  CMD_ABOUT, CMD_EXIT};
    const kdev::Screen& s = dev.screen();
    std::vector<std::pair<int, int>> rows;  // [top, bottom) of each item
    int column = 0;                         // inside every item, left of its text
    const int buttonRow = toolsButton().y;
    dev.frontEnd().key(kdev::Key::F10);
    for (std::size_t i = 0; i < ids.size(); ++i) {
        dev.frontEnd().then([&] {
            if (!column) column = highlightedColumns(s, buttonRow).first + 3;
            const std::uint16_t hot = s.pack(kdev::colors::kHighlight);
            int top = -1, bottom = -1;
            for (int y = CommandBar_Height(bar); y < s.height(); ++y)
                if (s.get(column, y) == hot) {
                    if (top < 0) top = y;
                    bottom = y + 1;
                }
            rows.push_back({top, bottom});
        });
        dev.frontEnd().key(kdev::Key::Down);
    }
    dev.frontEnd().key(kdev::Key::Escape);

    struct Tap {
        int y;
        unsigned expected;  // the command chosen, or 0
    };
    std::vector<Tap> taps;
    std::vector<unsigned> chosen;
    dev.frontEnd().then([&] {
        ASSERT_EQ(rows.size(), ids.size());
        for (std::size_t i = 0; i < ids.size(); ++i) {
            ASSERT_GT(rows[i].first, 0) << "item " << i << " was never highlighted";
            const int below = rows[i].second;
            unsigned next = 0;
            for (std::size_t j = 0; j < ids.size(); ++j)
                if (rows[j].first <= below && below < rows[j].second) next = ids[j];
            taps.push_back({rows[i].first, ids[i]});
            taps.push_back({rows[i].second - 1, ids[i]});
            taps.push_back({below, next});
        }
        for (const Tap& t : taps) {
            dev.frontEnd().tapMenu(u"Tools");
            dev.frontEnd().tap(column, t.y);
            dev.frontEnd().key(kdev::Key::Escape);  // closes the menu a tap left open
            dev.frontEnd().then([&] {
                chosen.push_back(g_commands.empty() ? 0 : g_commands.back());
                g_commands.clear();
            });
        }
    });
    EXPECT_EQ(pump(), 7);
    ASSERT_EQ(chosen.size(), taps.size());
    for (std::size_t k = 0; k < taps.size(); ++k)
        EXPECT_EQ(chosen[k], taps[k].expected) << "tap on row " << taps[k].y;
}

TEST_F(WindowSystem, TheCloseAdornmentClosesTheOwner) {
    dev.frontEnd().tapMenu(u"Close");
    EXPECT_EQ(pump(), 7);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(IsWindow(bar));
}

// The close box acts on a lift inside it, as a push button does: pressed and slid off onto
// the bar, it does nothing.
TEST_F(WindowSystem, TheCloseBoxActsOnlyOnALiftInsideIt) {
    const kdev::Point box = *kdev::Automation(dev.device()).locate(u"Close");
    const kdev::Point tools = toolsButton();
    const kdev::Point barMiddle{(tools.x + box.x) / 2, box.y};
    ScriptedFrontEnd& input = dev.frontEnd();
    input.press(box.x, box.y);
    input.move(barMiddle.x, barMiddle.y);
    input.lift(barMiddle.x, barMiddle.y);
    bool stayed = false;
    input.then([&] { stayed = IsWindow(window) && IsWindow(bar); });
    input.press(box.x, box.y);
    input.lift(box.x, box.y);
    EXPECT_EQ(pump(), 7);
    EXPECT_TRUE(stayed) << "a lift on the bar, off the box, closed the window";
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(g_commands.empty());
}

// A menu opened by a tap has no item highlighted: Up goes to the last item, Down to the first.
TEST_F(WindowSystem, KeysInAMenuOpenedByATapStartFromEitherEnd) {
    using K = kdev::Key;
    for (const K k : {K::Up, K::Down}) {
        dev.frontEnd().tapMenu(u"Tools");
        dev.frontEnd().key(k);
        dev.frontEnd().key(K::Return);
    }
    dev.frontEnd().close();
    EXPECT_EQ(pump(), 7);
    EXPECT_EQ(g_commands, (std::vector<unsigned>{CMD_EXIT, CMD_BITBLT}));
}

TEST_F(WindowSystem, MessageBoxIsModalAndReturnOrOkDismissesIt) {
    // While the box is up, a tap on the menu and a command from the front end do nothing;
    // Return dismisses it.
    const kdev::Point tools = toolsButton();
    kdev::WindowManager& manager = dev.device().windows();
    EXPECT_TRUE(manager.takesCommands());
    bool tookCommands = true;
    dev.frontEnd().tap(tools.x, tools.y);
    dev.frontEnd().command(CMD_LINES);
    dev.frontEnd().then([&] { tookCommands = manager.takesCommands(); });
    dev.frontEnd().key(kdev::Key::Return);
    EXPECT_EQ(MessageBoxW(nullptr, u"Hello", u"Caption", MB_OK), IDOK);
    EXPECT_TRUE(dev.frontEnd().done());
    EXPECT_FALSE(tookCommands);
    EXPECT_TRUE(manager.takesCommands());
    EXPECT_TRUE(g_commands.empty());

    // The OK button dismisses it too: found as the box's lowest button-coloured row.
    bool tapped = false;
    dev.frontEnd().then([&] {
        kdev::WindowManager& wm = dev.device().windows();
        for (std::uint32_t h : wm.topLevels()) {
            kdev::Window* w = wm.get(h);
            if (w && w->cls.name == u"MessageBox") {
                const int cx = (w->rect.left + w->rect.right) / 2;
                dev.frontEnd().tap(cx, w->rect.bottom - 20);
                tapped = true;
            }
        }
    });
    EXPECT_EQ(MessageBoxW(window, u"Hello", u"Caption", MB_OK), IDOK);
    EXPECT_TRUE(tapped);
    // The owner works again afterwards.
    dev.frontEnd().tapMenu(u"Tools");
    dev.frontEnd().tapMenu(u"Lines");
    EXPECT_EQ(pump(), 7);
    EXPECT_EQ(g_commands, std::vector<unsigned>{CMD_LINES});
}

// The box's OK is a push button: pressed only while the stylus is on it, answering only a lift
// on it.
TEST_F(WindowSystem, TheMessageBoxOkIsPressedWhileTheStylusIsOnItAndActsOnALiftThere) {
    ScriptedFrontEnd& input = dev.frontEnd();
    const kdev::Screen& s = dev.screen();
    std::vector<bool> pressed;  // the face's look after each step
    bool answered = true;
    input.then([&] {
        kdev::WindowManager& manager = dev.device().windows();
        const kdev::Window* box = manager.get(manager.topLevels().back());
        const int cx = (box->rect.left + box->rect.right) / 2, y = box->rect.bottom - 20;
        const kdev::Point face{cx - 24, box->rect.bottom - 14};
        auto look = [&, face] {
            input.then([&, face] {
                pressed.push_back(s.get(face.x, face.y) == s.pack(kdev::colors::kShadow));
            });
        };
        input.press(cx, y);
        look();
        input.move(cx, y - 60);  // off the button, onto the text
        look();
        input.move(cx + 5, y);  // back
        look();
        input.move(cx, y - 60);
        input.lift(cx, y - 60);  // lifted off it: nothing
        look();
        const HWND boxHwnd = kdev::WindowManager::toHwnd(box->handle);
        input.then([&answered, boxHwnd] { answered = !IsWindow(boxHwnd); });
        input.press(cx, y);
        input.lift(cx, y);
    });
    EXPECT_EQ(MessageBoxW(window, u"Hello", u"Caption", MB_OK), IDOK);
    EXPECT_EQ(pressed, (std::vector<bool>{true, false, true, false}));
    EXPECT_FALSE(answered);
    EXPECT_TRUE(input.done());
}

// Each window is told WM_DESTROY once, even when its destruction takes its parent along, and
// nothing posted to a destroyed window is delivered.
constexpr UINT kPosted = 0x0400;  // a message of the program's own
std::vector<HWND> g_destroyed;
HWND g_parentToTake = nullptr;

LRESULT CALLBACK destroyCountingProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    if (message == WM_DESTROY) {
        g_destroyed.push_back(window);
        if (HWND parent = std::exchange(g_parentToTake, nullptr)) DestroyWindow(parent);
    }
    if (message == kPosted) g_commands.push_back(kPosted);
    return DefWindowProcW(window, message, first, second);
}

TEST_F(WindowSystem, DestroyTellsEachWindowOnceAndDropsWhatWasPostedToIt) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = destroyCountingProc;
    wc.hInstance = dev.instance();
    wc.lpszClassName = u"Counting";
    ASSERT_TRUE(RegisterClassW(&wc));
    auto make = [&](HWND parent) {
        return CreateWindowExW(0, u"Counting", u"", parent ? WS_CHILD | WS_VISIBLE : WS_VISIBLE, 0,
                               0, 50, 50, parent, nullptr, dev.instance(), nullptr);
    };
    g_destroyed.clear();
    const HWND top = make(nullptr), child = make(top), grandchild = make(child);
    const HWND above = make(nullptr);  // a window over them all, painted and left alone
    UpdateWindow(above);
    PostMessageW(grandchild, kPosted, 0, 0);
    g_parentToTake = top;  // the child, told first, takes its parent (and so itself) along
    EXPECT_TRUE(DestroyWindow(child));
    EXPECT_FALSE(IsWindow(top));
    EXPECT_FALSE(IsWindow(child));
    EXPECT_FALSE(IsWindow(grandchild));
    EXPECT_EQ(g_destroyed, (std::vector<HWND>{child, top, grandchild}));
    // What they uncovered is repainted beneath them, and nothing above them.
    kdev::WindowManager& windows = dev.device().windows();
    EXPECT_FALSE(windows.get(window)->update.empty());
    EXPECT_TRUE(windows.get(above)->update.empty());
    DestroyWindow(above);
    PostQuitMessage(3);
    MSG msg;
    std::vector<HWND> delivered;
    while (GetMessageW(&msg, nullptr, 0, 0)) delivered.push_back(msg.hwnd);
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_TRUE(delivered.empty()) << "a message posted to a destroyed window was delivered";
}

// A stylus message holds the point in its window's client coordinates (signed, so a captured
// stylus outside the window is negative), and the message's `pt` the same point on the screen.
LRESULT CALLBACK plainProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    return DefWindowProcW(window, message, first, second);
}

void registerPlain(HINSTANCE instance) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = plainProc;
    wc.hInstance = instance;
    wc.lpszClassName = u"Plain";
    ASSERT_TRUE(RegisterClassW(&wc));
}

TEST_F(WindowSystem, AStylusMessageHasTheClientPointAndThePointOnTheScreen) {
    registerPlain(dev.instance());
    // A captioned window: its client area starts 1 in from the left and 20 down.
    const HWND framed = CreateWindowExW(0, u"Plain", u"", WS_CAPTION | WS_VISIBLE, 20, 60, 100, 100,
                                        window, nullptr, dev.instance(), nullptr);
    const HWND child = CreateWindowExW(0, u"Plain", u"", WS_CHILD | WS_VISIBLE, 10, 5, 40, 40,
                                       framed, nullptr, dev.instance(), nullptr);
    ASSERT_TRUE(child);
    struct Seen {
        UINT message;
        int x, y;    // from the second parameter
        int sx, sy;  // pt
        bool operator==(const Seen&) const = default;
    };
    ScriptedFrontEnd& f = dev.frontEnd();
    f.press(33, 89);  // the child's client origin is at (31, 85)
    f.move(25, 83);   // outside it: still captured
    f.lift(31, 85);
    f.close();
    std::vector<Seen> seen;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        if (msg.hwnd == child && msg.message >= WM_MOUSEMOVE && msg.message <= WM_LBUTTONUP)
            seen.push_back({msg.message, static_cast<short>(LOWORD(msg.lParam)),
                            static_cast<short>(HIWORD(msg.lParam)), static_cast<int>(msg.pt.x),
                            static_cast<int>(msg.pt.y)});
        DispatchMessageW(&msg);
    }
    EXPECT_EQ(seen, (std::vector<Seen>{{WM_LBUTTONDOWN, 2, 4, 33, 89},
                                       {WM_MOUSEMOVE, -6, -2, 25, 83},
                                       {WM_LBUTTONUP, 0, 0, 31, 85}}));
}

// Keys go to the topmost window that takes input: one over the main window takes them while
// enabled and passes them on once disabled.
TEST_F(WindowSystem, KeysGoToTheTopmostEnabledWindow) {
    registerPlain(dev.instance());
    const HWND over = CreateWindowExW(0, u"Plain", u"", WS_VISIBLE, 0, 30, 100, 100, nullptr,
                                      nullptr, dev.instance(), nullptr);
    ASSERT_TRUE(over);
    ScriptedFrontEnd& f = dev.frontEnd();
    f.key(kdev::Key::Space);
    f.then([&] { EnableWindow(over, FALSE); });
    f.key(kdev::Key::Return);
    f.close();
    EXPECT_EQ(pump(), 7);
    EXPECT_EQ(g_keys, (std::vector<std::pair<UINT, WPARAM>>{{WM_KEYDOWN, VK_RETURN}}));
}

TEST_F(WindowSystem, ADestroyedWindowsAreaIsRepaintedWithTheBackgroundBeneath) {
    kdev::Screen& s = dev.screen();
    for (int y = 26; y < 320; ++y)
        for (int x = 0; x < 240; ++x) s.set(x, y, 0x1234);
    dev.frontEnd().key(kdev::Key::Return);
    MessageBoxW(nullptr, u"Text", u"", MB_OK);
    std::vector<std::uint16_t> after;
    dev.frontEnd().then([&] { after = s.logicalPixels(); });
    pump();
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after[160 * 240 + 120], 0);     // where the box was: black again
    EXPECT_EQ(after[318 * 240 + 1], 0x1234);  // far from the box: untouched
    EXPECT_NE(after[5 * 240 + 120], 0);       // the bar painted itself
}

TEST_F(WindowSystem, HandlesAreEvenAndDeadOnesAreRefused) {
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(window) & 1, 0u);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(bar) & 1, 0u);
    EXPECT_TRUE(
        SetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<std::uintptr_t>(window) | 1)));
    DestroyWindow(window);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(IsWindow(bar));
    EXPECT_EQ(SendMessageW(window, WM_COMMAND, CMD_LINES, 0), 0);
    EXPECT_FALSE(PostMessageW(bar, WM_CLOSE, 0, 0));
    RECT r;
    EXPECT_FALSE(GetClientRect(window, &r));
    EXPECT_FALSE(DestroyWindow(window));
}

TEST_F(WindowSystem, FindWindowMatchesClassAndTitle) {
    EXPECT_EQ(FindWindowW(u"Recorder", u"Recorder"), window);
    EXPECT_EQ(FindWindowW(u"RECORDER", u"Recorder"), window);
    EXPECT_EQ(FindWindowW(u"Recorder", u"Other"), nullptr);
    EXPECT_EQ(FindWindowW(u"Nothing", u"Recorder"), nullptr);
}

TEST(Runtime, RandIsTheHandheldsGeneratorStartingAtOne) {
    TestDevice dev;
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
    for (int e : expected) EXPECT_EQ(rand(), e);
    TestDevice fresh;  // every device starts its sequence again
    EXPECT_EQ(rand(), 41);
}

TEST(Runtime, PageAllocation) {
    {
        TestDevice dev;
        auto* p =
            static_cast<unsigned char*>(VirtualAlloc(nullptr, 53820, MEM_COMMIT, PAGE_READWRITE));
        ASSERT_NE(p, nullptr);
        p[0] = 1;
        p[53819] = 2;  // the whole size is writable
        EXPECT_TRUE(VirtualFree(p, 0, MEM_RELEASE));
        EXPECT_FALSE(VirtualFree(p, 0, MEM_RELEASE));  // not twice
        EXPECT_EQ(VirtualAlloc(nullptr, 0, MEM_COMMIT, PAGE_READWRITE), nullptr);
        int local = 0;
        EXPECT_FALSE(VirtualFree(&local, 0, MEM_RELEASE));
    }
    kdev::Faults faults;
    faults.alloc = true;
    TestDevice failing({}, faults);
    EXPECT_EQ(VirtualAlloc(nullptr, 4096, MEM_COMMIT, PAGE_READWRITE), nullptr);
}

TEST(Display, PropertiesDescribeEachLayout) {
    struct Case {
        kdev::Layout layout;
        kdev::PixelFormat format;
        LONG xPitch;
        LONG yPitch;
    };
    const Case cases[] = {
        {kdev::Layout::Normal, kdev::PixelFormat::Rgb565, 2, 480},
        {kdev::Layout::Mirrored, kdev::PixelFormat::Rgb565, -2, 480},
        {kdev::Layout::Rotated, kdev::PixelFormat::Rgb555, 640, -2},
    };
    for (const Case& c : cases) {
        TestDevice dev({240, 320, c.format, c.layout});
        EXPECT_EQ(GXBeginDraw(), nullptr) << "frame buffer before the display is open";
        ASSERT_TRUE(GXOpenDisplay(nullptr, 0));
        const GXDisplayProperties p = GXGetDisplayProperties();
        EXPECT_EQ(p.width, 240u);
        EXPECT_EQ(p.height, 320u);
        EXPECT_EQ(p.xPitch, c.xPitch);
        EXPECT_EQ(p.yPitch, c.yPitch);
        EXPECT_EQ((p.formatFlags & kfDirect565) != 0, c.format == kdev::PixelFormat::Rgb565);
        auto* base = static_cast<std::uint16_t*>(GXBeginDraw());
        ASSERT_EQ(base, dev.screen().base());
        // Pixel (3, 1) through the pitches is the screen's logical pixel (3, 1).
        base[3 * (p.xPitch / 2) + 1 * (p.yPitch / 2)] = 0xBEEF;
        EXPECT_EQ(dev.screen().get(3, 1), 0xBEEF);
        EXPECT_TRUE(GXEndDraw());
        EXPECT_TRUE(GXCloseDisplay());
    }
    TestDevice padded({240, 320, kdev::PixelFormat::Rgb565, kdev::Layout::Padded});
    GXOpenDisplay(nullptr, 0);
    EXPECT_GT(GXGetDisplayProperties().yPitch, 480);
}

}  // namespace
