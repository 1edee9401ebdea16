// The About dialog in the whole program: the real binary, run headless with scripts.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "png_read.h"
#include "resource.h"
#include "run_program.h"

namespace {

constexpr int kWidth = 240;
constexpr int kHeight = 320;
constexpr int kBarHeight = 26;
constexpr std::uint32_t kCaptionBlue = 0x8A4A0A;  // 0x00BBGGRR
constexpr std::uint32_t kLinesLastColour = 0xFFFF00;

// Index of the first trace line at or after `from` holding needle, or -1.
int indexOf(const std::vector<std::string>& lines, const std::string& needle, int from = 0) {
    for (std::size_t i = static_cast<std::size_t>(std::max(from, 0)); i < lines.size(); ++i)
        if (lines[i].find(needle) != std::string::npos) return static_cast<int>(i);
    return -1;
}

// A whole number field of a trace line.
int field(const std::string& line, const std::string& key) {
    const std::string k = "\"" + key + "\":";
    const std::size_t at = line.find(k);
    if (at == std::string::npos) {
        ADD_FAILURE() << "no " << key << " in " << line;
        return 0;
    }
    return std::atoi(line.c_str() + at + k.size());
}

struct Box {
    int left = 0, top = 0, right = 0, bottom = 0;
    bool contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    int cx() const { return (left + right) / 2; }
    int cy() const { return (top + bottom) / 2; }
};

Box boxOf(const std::string& line, const std::string& prefix = "") {
    return {field(line, prefix + "left"), field(line, prefix + "top"),
            field(line, prefix + "right"), field(line, prefix + "bottom")};
}

struct Session {
    TempDir dir;
    RunResult result;
    std::vector<std::string> trace;

    explicit Session(const std::string& script, const std::string& display = "240x320") {
        writeFile(dir.file("script"), script);
        result = runKestrova({"--headless", "--display", display, "--script", dir.file("script"),
                              "--trace", dir.file("trace")});
        trace = readLines(dir.file("trace"));
    }
};

// Where the About dialog, its OK button and its caption's OK button are on the screen.
struct AboutLayout {
    Box dialog;
    Box captionOk;
    Box button;
};

const AboutLayout& aboutLayout() {
    static const AboutLayout layout = [] {
        Session run("menu Tools/About\nkey Return\n");
        AboutLayout l;
        const int opened = indexOf(run.trace, "\"dialog_opened\"");
        const int button = indexOf(run.trace, "\"dialog_control\",\"class\":\"Button\",\"id\":1,");
        if (opened < 0 || button < 0) {
            ADD_FAILURE() << "the About dialog never opened";
            return l;
        }
        l.dialog = boxOf(run.trace[static_cast<std::size_t>(opened)]);
        l.captionOk = boxOf(run.trace[static_cast<std::size_t>(opened)], "ok_");
        l.button = boxOf(run.trace[static_cast<std::size_t>(button)]);
        return l;
    }();
    return layout;
}

std::string tapAt(int x, int y) {
    return "tap " + std::to_string(x) + " " + std::to_string(y) + "\n";
}

bool near(std::uint32_t a, std::uint32_t b) {
    for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) -
                     static_cast<int>((b >> shift) & 0xFF)) > 8)
            return false;
    return true;
}

// The dialog is on the screen: its caption strip in its place.
bool showsDialog(const RgbImage& image, const AboutLayout& l) {
    return near(image.at(l.captionOk.left - 3, l.dialog.top + 2), kCaptionBlue);
}

TEST(AboutDialog, OpensCentredFromTheMenu) {
    const AboutLayout& l = aboutLayout();
    EXPECT_GE(l.dialog.left, 0);
    EXPECT_LE(l.dialog.right, kWidth);
    EXPECT_NEAR(l.dialog.left, kWidth - l.dialog.right, 1);
    EXPECT_NEAR(l.dialog.top, kHeight - l.dialog.bottom, 1);
    EXPECT_TRUE(l.dialog.contains(l.button.cx(), l.button.cy()));
    EXPECT_TRUE(l.dialog.contains(l.captionOk.cx(), l.captionOk.cy()));
}

TEST(AboutDialog, EitherOkClosesItAndTheMenuWorksAgain) {
    const AboutLayout& l = aboutLayout();
    struct Case {
        const char* name;
        int x, y;
    };
    for (const Case& c : {Case{"OK button", l.button.cx(), l.button.cy()},
                          Case{"caption's OK", l.captionOk.cx(), l.captionOk.cy()}}) {
        SCOPED_TRACE(c.name);
        TempDir shots;
        Session run("menu Tools/About\nscreenshot " + shots.file("open.png") + "\n" +
                    tapAt(c.x, c.y) + "menu Tools/Lines\nscreenshot " + shots.file("lines.png") +
                    "\n");
        ASSERT_EQ(run.result.exitCode, 0) << run.result.err;
        const int opened = indexOf(run.trace, "\"dialog_opened\"");
        const int ok = indexOf(run.trace, "\"dialog_command\",\"id\":1,\"handled\":true", opened);
        const int closed = indexOf(run.trace, "\"dialog_closed\",\"result\":1,", ok);
        const int lines = indexOf(run.trace, commandEvent(CMD_LINES), closed);
        EXPECT_GE(opened, 0);
        EXPECT_GT(ok, opened);
        EXPECT_GT(closed, ok);
        EXPECT_GT(lines, closed) << "Lines was not dispatched after the dialog closed";

        std::optional<RgbImage> open = readPng(shots.file("open.png")),
                                after = readPng(shots.file("lines.png"));
        ASSERT_TRUE(open && after);
        EXPECT_TRUE(showsDialog(*open, l));
        EXPECT_FALSE(showsDialog(*after, l));
        EXPECT_EQ(after->at(0, kBarHeight), kLinesLastColour);
        // Lines drew over the place the dialog had been too.
        int lit = 0;
        for (int y = l.dialog.top; y < l.dialog.bottom; ++y)
            for (int x = l.dialog.left; x < l.dialog.right; ++x) lit += after->at(x, y) != 0;
        EXPECT_GT(lit, 1000);
    }
}

TEST(AboutDialog, WhileOpenTheMenuAndOtherInputChangeNothing) {
    const AboutLayout& l = aboutLayout();
    TempDir shots;
    Session run(
        "menu Tools/About\n"
        "dump " +
        shots.file("before") + "\n" + tapAt(15, 12) +  // Tools on the command bar
        tapAt(kWidth - 12, 12) +                       // the bar's close box
        tapAt(5, kHeight - 5) +                        // the main window beside the dialog
        tapAt(l.dialog.left + 10, l.dialog.top + 5) +  // the dialog's title
        "key Escape\nkey F10\nkey Down\n"
        "dump " +
        shots.file("during") + "\n" + tapAt(l.button.cx(), l.button.cy()) +
        "menu Tools/Clear Screen\n");
    ASSERT_EQ(run.result.exitCode, 0) << run.result.err;
    const int opened = indexOf(run.trace, "\"dialog_opened\"");
    const int ok = indexOf(run.trace, "\"dialog_command\",\"id\":1,", opened);
    const int closed = indexOf(run.trace, "\"dialog_closed\"");
    ASSERT_GT(ok, opened);
    ASSERT_GT(closed, ok);
    for (int i = opened; i < ok; ++i) {
        const std::string& line = run.trace[static_cast<std::size_t>(i)];
        EXPECT_EQ(line.find("menu_opened"), std::string::npos) << line;
        EXPECT_EQ(line.find("\"event\":\"command\""), std::string::npos) << line;
        EXPECT_EQ(line.find("window_destroyed"), std::string::npos) << line;
    }
    // Escape reached the dialog as a cancel, which About leaves alone.
    EXPECT_GT(indexOf(run.trace, "\"dialog_command\",\"id\":2,\"handled\":false", opened), opened);
    EXPECT_EQ(indexOf(run.trace, "\"dialog_closed\",\"result\":1,"), closed);
    EXPECT_GT(indexOf(run.trace, commandEvent(CMD_CLEAR), closed), closed);
    EXPECT_EQ(readDump(shots.file("during")), readDump(shots.file("before")))
        << "the screen changed while the dialog was up";
}

// On screens smaller than the dialog it fits the screen, and both its OK buttons stay on it:
// each is found in the trace, inside the screen, and a tap on it closes the dialog.
TEST(AboutDialog, OnASmallScreenBothOkButtonsAreReachable) {
    for (const auto& [display, w, h] :
         {std::tuple{"160x120", 160, 120}, std::tuple{"120x90", 120, 90},
          std::tuple{"100x200", 100, 200}}) {
        SCOPED_TRACE(display);
        const Box screen{0, 0, w, h};
        Session probe("menu Tools/About\n", display);
        const int opened = indexOf(probe.trace, "\"dialog_opened\"");
        ASSERT_GE(opened, 0) << probe.result.err;
        const Box dialog = boxOf(probe.trace[static_cast<std::size_t>(opened)]);
        EXPECT_TRUE(dialog.left >= 0 && dialog.top >= 0 && dialog.right <= w && dialog.bottom <= h);
        // The button where it ended up: moved into the screen, or where the template put it.
        int button = indexOf(probe.trace, "\"dialog_control_moved\",\"id\":1,");
        if (button < 0)
            button = indexOf(probe.trace, "\"dialog_control\",\"class\":\"Button\",\"id\":1,");
        ASSERT_GE(button, 0);
        const Box ok = boxOf(probe.trace[static_cast<std::size_t>(button)]);
        const Box captionOk = boxOf(probe.trace[static_cast<std::size_t>(opened)], "ok_");
        for (const Box& b : {ok, captionOk}) {
            EXPECT_TRUE(screen.contains(b.left, b.top) &&
                        screen.contains(b.right - 1, b.bottom - 1))
                << b.left << "," << b.top << " - " << b.right << "," << b.bottom;
            EXPECT_TRUE(dialog.contains(b.cx(), b.cy()));
            Session run("menu Tools/About\n" + tapAt(b.cx(), b.cy()) + "menu Tools/Lines\n",
                        display);
            ASSERT_EQ(run.result.exitCode, 0) << run.result.err;
            const int closed = indexOf(run.trace, "\"dialog_closed\",\"result\":1,");
            EXPECT_GT(closed, 0);
            EXPECT_GT(indexOf(run.trace, commandEvent(CMD_LINES), closed), closed);
        }
    }
}

TEST(AboutDialog, WhatItCoveredIsBlackOnceItCloses) {
    const AboutLayout& l = aboutLayout();
    TempDir shots;
    Session run("menu Tools/Lines\ndump " + shots.file("lines") + "\nmenu Tools/About\n" +
                tapAt(l.button.cx(), l.button.cy()) + "dump " + shots.file("after") + "\n");
    ASSERT_EQ(run.result.exitCode, 0) << run.result.err;
    const std::vector<std::uint16_t> lines = readDump(shots.file("lines")),
                                     after = readDump(shots.file("after"));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kWidth * kHeight));
    ASSERT_EQ(after.size(), lines.size());
    int litUnder = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const std::size_t k = static_cast<std::size_t>(y * kWidth + x);
            if (l.dialog.contains(x, y)) {
                litUnder += lines[k] != 0;
                ASSERT_EQ(after[k], 0) << "not black at " << x << "," << y;
            } else {
                ASSERT_EQ(after[k], lines[k]) << "changed outside the dialog at " << x << "," << y;
            }
        }
    EXPECT_GT(litUnder, 1000) << "Lines left nothing under the dialog to lose";
}

TEST(AboutDialog, ClosingTheProgramWhileItIsOpenShutsDownInOrder) {
    for (const std::string& script :
         {std::string("menu Tools/About\nclose\n"), std::string("menu Tools/About\n")}) {
        SCOPED_TRACE(script);
        Session run(script);
        ASSERT_EQ(run.result.exitCode, 0) << run.result.err;
        int last = indexOf(run.trace, "\"dialog_opened\"");
        ASSERT_GE(last, 0);
        for (const char* step :
             {"\"window_destroyed\",\"class\":\"Dialog\"",
              "\"window_destroyed\",\"class\":\"KESTROVA\"", "\"dialog_closed\",\"result\":0,",
              "\"GXEndDraw\"", "\"GXCloseDisplay\"", "\"DeleteObject\""}) {
            const int at = indexOf(run.trace, step, last);
            ASSERT_GT(at, last) << step;
            last = at;
        }
    }
}

// A second start while the dialog is up: its request reaches the running program inside the
// dialog's loop, which serves it there. That the dialog stays on top and the picture stays is
// the dialog manager's own test (DialogTest.BringingTheOwnerForward...).
TEST(AboutDialog, ASecondStartReachesTheProgramWhileItsDialogIsUp) {
    TempDir instances, dir;
    writeFile(dir.file("script"), "menu Tools/About\nidle 600000\n");  // until stopped
    const int first = startKestrova({"--headless", "--device", "meet", "--script",
                                     dir.file("script"), "--trace", dir.file("first")},
                                    instances.path(), dir.file("out1"), dir.file("err1"));
    ASSERT_TRUE(waitForTrace(dir.file("first"), "\"dialog_opened\""));

    RunResult second = runKestrova(
        {"--headless", "--device", "meet", "--trace", dir.file("second")}, "", instances.path());
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_GE(indexOf(readLines(dir.file("second")), "\"foreground_sent\""), 0);
    const bool served = waitForTrace(dir.file("first"), "\"foreground_request\"");
    kill(first, SIGTERM);
    EXPECT_EQ(waitKestrova(first), 128 + SIGTERM) << readFile(dir.file("err1"));
    ASSERT_TRUE(served);

    const std::vector<std::string> trace = readLines(dir.file("first"));
    const int opened = indexOf(trace, "\"dialog_opened\"");
    const int request =
        indexOf(trace, "\"foreground_request\",\"hwnd\":65536,\"owned\":true,\"known\":true");
    const int closed = indexOf(trace, "\"dialog_closed\"", opened);
    EXPECT_GT(request, opened);
    EXPECT_GT(closed, request) << "the request did not come while the dialog was up";
}

}  // namespace
