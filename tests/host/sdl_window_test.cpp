// The real window: kestrova on a virtual X server of the test's own (Xvfb), driven with real
// pointer and key events and looked at through the X server's own screen contents.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "apng_read.h"
#include "png_read.h"
#include "resource.h"
#include "run_program.h"
#include "x_display.h"

namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kCyan = 0x00FFFF;       // the last Lines pass, 0x00FFFF00 as 0x00BBGGRR
constexpr std::uint32_t kFace = 0xD4D0C8;       // the command bar
constexpr std::uint32_t kShadow = 0x808080;     // the bar's bottom edge
constexpr std::uint32_t kHighlight = 0x08246A;  // the menu item under the stylus
constexpr int kBarHeight = 26;

// Device points the tests tap: the Tools button, and Lines, the second item of its menu.
constexpr int kToolsX = 20, kToolsY = 13;
constexpr int kLinesX = 40, kLinesY = 58;
constexpr int kBitBltY = kLinesY - 20;  // the item above Lines

bool near(std::uint32_t a, std::uint32_t b, int tolerance) {
    for (int shift = 0; shift < 24; shift += 8) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (d > tolerance || d < -tolerance) return false;
    }
    return true;
}

int countLines(const std::string& file, const std::string& text) {
    int n = 0;
    for (const std::string& line : readLines(file))
        if (line.find(text) != std::string::npos) ++n;
    return n;
}

// The main thread's CPU ticks and voluntary context switches so far.
std::pair<long, long> activity(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::vector<std::string> f;
    for (std::string s; fields >> s;) f.push_back(s);
    const long ticks = f.size() > 12 ? std::stol(f[11]) + std::stol(f[12]) : -1;
    long switches = -1;
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("voluntary_ctxt_switches:", 0) == 0) switches = std::stol(line.substr(24));
    return {ticks, switches};
}

class SdlWindowTest : public ::testing::Test {
protected:
    // The virtual desktop: its size, and whether a window manager (openbox) runs on it.
    virtual std::string desktopSize() const { return "1280x1024"; }
    virtual bool withWindowManager() const { return false; }

    void SetUp() override {
        const std::optional<std::string> xvfb = findProgram("Xvfb");
        if (!xvfb) GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
        std::string error;
        display_ = VirtualDisplay::start(*xvfb, &error, desktopSize());
        ASSERT_TRUE(display_) << error;
        x_ = XClient::connect(display_->name(), &error);
        ASSERT_TRUE(x_) << error;
        xdotool_ = findProgram("xdotool");
        if (withWindowManager()) {
            const std::optional<std::string> openbox = findProgram("openbox");
            if (!openbox) GTEST_SKIP() << "openbox is not installed (Debian package openbox)";
            // Its own folders, so that no user's configuration or cache takes part.
            SpawnOptions options;
            options.env = {"DISPLAY=" + display_->name(), "HOME=" + work_.path(),
                           "XDG_CONFIG_HOME=" + work_.file("wm"),
                           "XDG_CACHE_HOME=" + work_.file("wm")};
            windowManager_ = spawnWith({*openbox, "--sm-disable"}, options);
            ASSERT_TRUE(waitUntil([&] { return x_->windowManagerRunning(); }, 10s))
                << "openbox did not start";
        }
    }

    void TearDown() override {
        for (pid_t pid : running_) stopChild(pid);
        stopChild(windowManager_);
    }

    // Starts kestrova with `home` for its instance and settings folders (default: the test's).
    pid_t start(const std::vector<std::string>& args, const std::string& name,
                const TempDir* home = nullptr) {
        const pid_t pid = startKestrovaOnDisplay(
            args, (home ? *home : instances_).path(), display_->name(), work_.path(),
            work_.file(name + ".out"), work_.file(name + ".err"));
        running_.push_back(pid);
        return pid;
    }

    std::optional<int> finish(pid_t pid, int timeoutMs) {
        std::optional<int> code = waitKestrovaFor(pid, timeoutMs);
        if (code) running_.erase(std::find(running_.begin(), running_.end(), pid));
        return code;
    }

    // The window of `pid` once it shows the command bar.
    std::optional<XWindow> waitForWindow(pid_t pid) {
        std::optional<XWindow> w;
        waitUntil(
            [&] {
                w = x_->windowOf(pid);
                if (!w) return false;
                const Geometry g = x_->geometry(*w);
                const Shot s = x_->grab(g);
                return s.width > 0 && near(s.at(s.width - 100, 10), kFace, 8);
            },
            10s);
        return w;
    }

    bool runXdotool(const std::vector<std::string>& args) {
        std::vector<std::string> argv{*xdotool_};
        argv.insert(argv.end(), args.begin(), args.end());
        SpawnOptions options;
        options.env = {"DISPLAY=" + display_->name()};
        const pid_t pid = spawnWith(argv, options);
        return pid > 0 && waitKestrova(pid) == 0;
    }

    // The left button, at X screen positions.
    void press(int x, int y) {
        if (useXdotool_) {
            runXdotool({"mousemove", std::to_string(x), std::to_string(y), "mousedown", "1"});
        } else {
            x_->fakeMotion(x, y);
            x_->fakeButton(true);
        }
    }

    void moveTo(int x, int y) {
        if (useXdotool_)
            runXdotool({"mousemove", std::to_string(x), std::to_string(y)});
        else
            x_->fakeMotion(x, y);
    }

    void release() {
        if (useXdotool_)
            runXdotool({"mouseup", "1"});
        else
            x_->fakeButton(false);
    }

    void click(int x, int y) {
        press(x, y);
        release();
    }

    void key(const std::string& keysym) {
        if (useXdotool_)
            runXdotool({"key", keysym});
        else
            x_->fakeKey(keysym);
    }

    // Taps the Tools button, checking once that the chosen way of sending input reaches the
    // program: xdotool's events, else XTest's directly.
    void openTools(const Geometry& g, int scale, int left, int top, const std::string& trace) {
        const int before = countLines(trace, "menu_opened");
        auto opened = [&] { return countLines(trace, "menu_opened") > before; };
        const int x = g.x + left + kToolsX * scale + scale / 2,
                  y = g.y + top + kToolsY * scale + scale / 2;
        if (!inputChecked_) {
            inputChecked_ = true;
            useXdotool_ = xdotool_.has_value();
            if (useXdotool_) {
                click(x, y);
                if (waitUntil(opened, 3s)) return;
                ADD_FAILURE() << "xdotool's clicks do not reach the window; trying XTest";
                useXdotool_ = false;
            }
            ASSERT_TRUE(x_->canFakeInput()) << "neither xdotool nor libXtst.so.6 is available";
        }
        click(x, y);
        ASSERT_TRUE(waitUntil(opened, 3s)) << "the Tools menu did not open";
    }

    // Another X client destroys the window: the program closes as if the window's close
    // button had been used, says nothing of X errors, and leaves no registration behind.
    void expectClosesWhenAnotherClientDestroysTheWindow() {
        const std::string trace = work_.file("trace.jsonl");
        const pid_t pid = start({"--trace", trace}, "vanish");
        const std::optional<XWindow> window = waitForWindow(pid);
        ASSERT_TRUE(window) << "no window: " << readFile(work_.file("vanish.err"));
        x_->destroy(*window);
        const std::optional<int> code = finish(pid, 10000);
        ASSERT_TRUE(code) << "still running after its window was destroyed";
        EXPECT_EQ(*code, 0);
        EXPECT_EQ(readFile(work_.file("vanish.err")), "");
        EXPECT_EQ(countLines(trace, "GXCloseDisplay"), 1);
        for (const auto& entry : std::filesystem::recursive_directory_iterator(instances_.path()))
            EXPECT_FALSE(entry.is_regular_file() || entry.is_socket()) << entry.path();
    }

    TempDir instances_;
    TempDir work_;
    std::unique_ptr<VirtualDisplay> display_;
    std::unique_ptr<XClient> x_;
    std::optional<std::string> xdotool_;
    bool inputChecked_ = false;
    bool useXdotool_ = false;
    std::vector<pid_t> running_;
    pid_t windowManager_ = -1;
};

// Device pixels of the Lines picture: the lines of the last pass are cyan and between them
// it is black. Lines start at (k, 26) in the first fan and at (0, 318 - k) in the second, k a
// multiple of 4; nothing reaches the bottom row.
struct Probe {
    int x, y;
    std::uint32_t rgb;
};
const Probe kLinesProbes[] = {
    {0, 26, kCyan},  {4, 26, kCyan},  {120, 26, kCyan}, {236, 26, kCyan},
    {0, 318, kCyan}, {0, 222, kCyan}, {0, 30, kCyan},   {2, 26, 0},
    {3, 26, 0},      {237, 26, 0},    {238, 26, 0},     {100, 319, 0},
};

bool showsLines(const Shot& s, int scale, int left, int top) {
    if (s.width < left + 240 * scale || s.height < top + 320 * scale) return false;
    for (const Probe& p : kLinesProbes)
        if (s.at(left + p.x * scale, top + p.y * scale) != p.rgb) return false;
    return true;
}

// The window shows the device screen at `scale` from (left, top): every window pixel of a
// device pixel has exactly the colour of the headless screenshot (nearest neighbour, no blur,
// channels in place, the same widening of 5 and 6 bits to 8).
void expectScreen(const Shot& s, int scale, int left, int top, const RgbImage& reference) {
    ASSERT_GE(s.width, left + reference.width * scale);
    ASSERT_GE(s.height, top + reference.height * scale);
    for (const Probe& p : kLinesProbes)
        EXPECT_EQ(s.at(left + p.x * scale, top + p.y * scale), p.rgb)
            << "device pixel (" << p.x << ", " << p.y << ")";
    int wrong = 0;
    for (int y = 0; y < reference.height; ++y)
        for (int x = 0; x < reference.width; ++x) {
            const std::uint32_t bgr = reference.at(x, y);
            const std::uint32_t want = (bgr & 0xFF) << 16 | (bgr & 0xFF00) | bgr >> 16;
            for (int dy = 0; dy < scale; ++dy)
                for (int dx = 0; dx < scale; ++dx) {
                    const std::uint32_t got = s.at(left + x * scale + dx, top + y * scale + dy);
                    if (got != want && ++wrong <= 5)
                        ADD_FAILURE()
                            << "device pixel (" << x << ", " << y << ") shows " << std::hex << got
                            << " instead of " << want << " at scale " << std::dec << scale;
                }
        }
    EXPECT_EQ(wrong, 0) << "window pixels that differ from the device screen";
}

// The command bar along the top, with the name of its one menu in dark pixels.
void expectCommandBar(const Shot& s, int scale, int left, int top) {
    for (const Probe& p :
         {Probe{120, 5, kFace}, Probe{200, 20, kFace}, Probe{120, kBarHeight - 1, kShadow}}) {
        const std::uint32_t got = s.at(left + p.x * scale, top + p.y * scale);
        EXPECT_TRUE(near(got, p.rgb, 8))
            << "command bar at (" << p.x << ", " << p.y << "): " << std::hex << got;
    }
    int dark = 0;
    for (int y = 4; y < 22; ++y)
        for (int x = 8; x < 44; ++x) dark += s.at(left + x * scale, top + y * scale) < 0x404040;
    EXPECT_GT(dark, 20) << "no text on the Tools button";
}

// The device screen after Tools > Lines, from the headless front end.
std::optional<RgbImage> headlessLines(const TempDir& dir, std::vector<std::string> options = {}) {
    const std::string file = dir.file("lines.png");
    options.insert(options.end(), {"--headless", "--script", "-"});
    const RunResult r = runKestrova(options, "menu Tools/Lines\nscreenshot " + file + "\n");
    if (r.exitCode != 0) return std::nullopt;
    return readPng(file);
}

TEST_F(SdlWindowTest, ShowsTheLinesPictureFollowsTheStylusAndClosesOnRequest) {
    const std::string trace = work_.file("trace.jsonl");
    const std::string shots = work_.file("shots");
    std::filesystem::create_directory(shots);
    const pid_t pid = start({"--zoom", "2", "--trace", trace, "--screenshot-dir", shots}, "first");
    const std::optional<XWindow> window = waitForWindow(pid);
    ASSERT_TRUE(window) << "no window: " << readFile(work_.file("first.err"));
    const std::string title = x_->title(*window);
    EXPECT_NE(title.find("Kestrova"), std::string::npos) << title;
    EXPECT_NE(title.find("240x320 5-6-5 normal"), std::string::npos) << title;
    Geometry g = x_->geometry(*window);
    ASSERT_EQ(g.width, 480);
    ASSERT_EQ(g.height, 640);

    // Tools, then Lines, with real pointer events.
    ASSERT_NO_FATAL_FAILURE(openTools(g, 2, 0, 0, trace));
    click(g.x + kLinesX * 2 + 1, g.y + kLinesY * 2 + 1);
    ASSERT_TRUE(waitUntil([&] { return countLines(trace, commandEvent(CMD_LINES)) == 1; }, 3s))
        << "Lines was not chosen";
    const std::optional<RgbImage> reference = headlessLines(work_);
    ASSERT_TRUE(reference) << "no headless screenshot to compare with";
    Shot shot;
    waitUntil([&] { return showsLines(shot = x_->grab(g), 2, 0, 0); }, 5s);
    expectScreen(shot, 2, 0, 0, *reference);
    expectCommandBar(shot, 2, 0, 0);

    // Nothing to do: the program sleeps until the next event.
    const auto before = activity(pid);
    std::this_thread::sleep_for(500ms);
    const auto after = activity(pid);
    EXPECT_LE(after.first - before.first, 2) << "CPU ticks spent while idle";
    EXPECT_LE(after.second - before.second, 10) << "wake-ups while idle";

    // F12: a PNG of the device screen in the --screenshot-dir folder, its whole path on stderr.
    key("F12");
    std::filesystem::path png;
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const auto& entry : std::filesystem::directory_iterator(shots))
                if (entry.path().filename().string().rfind("kestrova-", 0) == 0 &&
                    entry.path().extension() == ".png" &&
                    readFile(work_.file("first.err"))
                            .find("screenshot saved to " + entry.path().string() + "\n") !=
                        std::string::npos)
                    png = entry.path();
            return !png.empty();
        },
        3s))
        << "no screenshot; stderr: " << readFile(work_.file("first.err"));
    EXPECT_EQ(png.filename().string().size(), std::string("kestrova-20261210-021530.png").size())
        << png;
    const std::optional<RgbImage> image = readPng(png.string());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 240);
    EXPECT_EQ(image->height, 320);
    EXPECT_EQ(image->at(0, 26), 0xFFFF00u);
    EXPECT_EQ(image->at(2, 26), 0u);

    // A larger window letterboxes the picture at the largest whole scale that fits, and the
    // stylus still lands on the right device pixels: 760x1000 holds 3x, centred 20 from the edges.
    x_->moveResize(*window, 0, 0, 760, 1000);
    ASSERT_TRUE(waitUntil([&] { return x_->geometry(*window).width == 760; }, 3s));
    g = x_->geometry(*window);
    waitUntil([&] { return showsLines(shot = x_->grab(g), 3, 20, 20); }, 5s);
    expectScreen(shot, 3, 20, 20, *reference);
    EXPECT_TRUE(near(shot.at(5, 5), 0x202020, 8)) << std::hex << shot.at(5, 5);

    // A stroke: down on Tools, through the menu to Lines, up there. Lines is highlighted while
    // the stylus rests on it, which only moves in the right device pixels bring about.
    auto at = [&](int x, int y) { return std::pair{g.x + 20 + x * 3 + 1, g.y + 20 + y * 3 + 1}; };
    press(at(kToolsX, kToolsY).first, at(kToolsX, kToolsY).second);
    ASSERT_TRUE(waitUntil([&] { return countLines(trace, "menu_opened") == 2; }, 3s));
    moveTo(at(kLinesX, kLinesY - 20).first, at(kLinesX, kLinesY - 20).second);
    moveTo(at(kLinesX, kLinesY).first, at(kLinesX, kLinesY).second);
    EXPECT_TRUE(
        waitUntil([&] { return near(x_->grab(g).at(20 + 6 * 3, 20 + 50 * 3), kHighlight, 8); }, 3s))
        << "Lines is not highlighted under the stylus";
    release();
    EXPECT_TRUE(waitUntil([&] { return countLines(trace, commandEvent(CMD_LINES)) == 2; }, 3s));

    // The window manager's close request closes the main window; shutdown runs in order.
    x_->requestClose(*window);
    const std::optional<int> code = finish(pid, 10000);
    ASSERT_TRUE(code) << "still running after the close request";
    EXPECT_EQ(*code, 0) << readFile(work_.file("first.err"));
    EXPECT_EQ(countLines(trace, "GXCloseDisplay"), 1);
}

// Layouts SDL cannot read directly go through a copy in logical order; 5-5-5 has a texture
// format of its own.
TEST_F(SdlWindowTest, ShowsEveryLayoutAndFormatAsTheDeviceHasIt) {
    const std::vector<std::vector<std::string>> cases = {
        {"--layout", "padded"},
        {"--layout", "mirrored", "--format", "555"},
        {"--layout", "rotated"},
    };
    for (const std::vector<std::string>& options : cases) {
        SCOPED_TRACE(options[1] + (options.size() > 2 ? " " + options[3] : ""));
        const std::optional<RgbImage> reference = headlessLines(work_, options);
        ASSERT_TRUE(reference);
        const std::string trace = work_.file("trace-" + options[1] + ".jsonl");
        std::vector<std::string> args = options;
        args.insert(args.end(), {"--zoom", "1", "--trace", trace});
        const pid_t pid = start(args, options[1]);
        const std::optional<XWindow> window = waitForWindow(pid);
        ASSERT_TRUE(window) << "no window: " << readFile(work_.file(options[1] + ".err"));
        const Geometry g = x_->geometry(*window);
        ASSERT_NO_FATAL_FAILURE(openTools(g, 1, 0, 0, trace));
        click(g.x + kLinesX, g.y + kLinesY);
        Shot shot;
        waitUntil([&] { return showsLines(shot = x_->grab(g), 1, 0, 0); }, 5s);
        expectScreen(shot, 1, 0, 0, *reference);
        x_->requestClose(*window);
        EXPECT_EQ(finish(pid, 10000), 0);
    }
}

TEST_F(SdlWindowTest, SecondStartRaisesTheFirstWindowAndExits) {
    const std::string trace = work_.file("trace.jsonl");
    const pid_t first = start({"--trace", trace}, "first");
    const std::optional<XWindow> window = waitForWindow(first);
    ASSERT_TRUE(window) << "no window: " << readFile(work_.file("first.err"));

    // Another window covers it, as if the user had moved on.
    const XWindow cover = x_->createCover(x_->geometry(*window));
    ASSERT_TRUE(x_->isAbove(cover, *window));

    const pid_t second = start({}, "second");
    const std::optional<int> code = finish(second, 10000);
    ASSERT_TRUE(code) << "the second instance is still running";
    EXPECT_EQ(*code, 0) << readFile(work_.file("second.err"));
    EXPECT_EQ(readFile(work_.file("second.err")),
              "kestrova: brought the running Kestrova (240x320 5-6-5 normal on " +
                  display_->name() + ") forward\n");

    EXPECT_TRUE(waitUntil([&] { return countLines(trace, "foreground_request") == 1; }, 3s));
    EXPECT_TRUE(waitUntil([&] { return x_->isAbove(*window, cover); }, 3s))
        << "the first window was not raised";
    EXPECT_FALSE(finish(first, 0)) << "the first instance ended";
    EXPECT_TRUE(x_->windowOf(first));
    x_->destroy(cover);

    x_->requestClose(*window);
    const std::optional<int> firstCode = finish(first, 10000);
    ASSERT_TRUE(firstCode);
    EXPECT_EQ(*firstCode, 0);
}

// The picture's colours, not only black and full ones: BitBlt's photograph, seen on the X
// screen, is exactly the PNG that F12 saves of it.
// Started as from the desktop's menu (no terminal), F12 saves into Kestrova/ in the pictures
// folder that xdg-user-dir names, made for it.
TEST_F(SdlWindowTest, TheWindowShowsExactlyTheColoursOfItsScreenshot) {
    std::filesystem::create_directories(instances_.file("config"));
    writeFile(instances_.file("config/user-dirs.dirs"), "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n");
    const std::string trace = work_.file("trace.jsonl");
    const pid_t pid = start({"--zoom", "1", "--trace", trace}, "bitblt");
    const std::optional<XWindow> window = waitForWindow(pid);
    ASSERT_TRUE(window) << "no window: " << readFile(work_.file("bitblt.err"));
    const Geometry g = x_->geometry(*window);
    ASSERT_NO_FATAL_FAILURE(openTools(g, 1, 0, 0, trace));
    click(g.x + kLinesX, g.y + kBitBltY);
    ASSERT_TRUE(waitUntil([&] { return countLines(trace, commandEvent(CMD_BITBLT)) == 1; }, 3s))
        << "BitBlt was not chosen";
    key("F12");
    std::string png;
    ASSERT_TRUE(waitUntil(
        [&] {
            const std::string err = readFile(work_.file("bitblt.err"));
            const std::size_t at = err.find("screenshot saved to ");
            if (at == std::string::npos) return false;
            png = err.substr(at + 20, err.find('\n', at) - at - 20);
            return true;
        },
        3s));
    if (findProgram("xdg-user-dir"))
        EXPECT_EQ(png.rfind(instances_.file("Bilder/Kestrova/kestrova-"), 0), 0u) << png;
    else
        EXPECT_EQ(png.rfind(instances_.file("Pictures/Kestrova/kestrova-"), 0), 0u) << png;
    const std::optional<RgbImage> image = readPng(png);
    ASSERT_TRUE(image);
    std::set<std::uint32_t> colours;
    for (int y = 0; y < image->height; ++y)
        for (int x = 0; x < image->width; ++x) colours.insert(image->at(x, y));
    EXPECT_GT(colours.size(), 1000u) << "not the photograph";
    // The first pixels that differ, as 0xRRGGBB on the screen and in the PNG.
    auto differences = [&](const Shot& shot) {
        std::vector<std::string> wrong;
        for (int y = 0; y < image->height; ++y)
            for (int x = 0; x < image->width; ++x) {
                const std::uint32_t bgr = image->at(x, y);
                const std::uint32_t want = (bgr & 0xFF) << 16 | (bgr & 0xFF00) | bgr >> 16;
                if (shot.at(x, y) == want || wrong.size() >= 5) continue;
                std::ostringstream s;
                s << "(" << x << ", " << y << ") " << std::hex << shot.at(x, y)
                  << " on the X screen, " << want << " in the PNG";
                wrong.push_back(s.str());
            }
        return wrong;
    };
    std::vector<std::string> wrong;
    waitUntil([&] { return (wrong = differences(x_->grab(g))).empty(); }, 3s);
    for (const std::string& w : wrong) ADD_FAILURE() << w;
    x_->requestClose(*window);
    EXPECT_EQ(finish(pid, 10000), 0);
}

// Started from a terminal (its standard error one), F12 saves into the current folder.
TEST_F(SdlWindowTest, FromATerminalTheScreenshotGoesToTheCurrentFolder) {
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    const std::string side = ::ptsname(terminal);
    ::fcntl(terminal, F_SETFL, O_NONBLOCK);
    const std::string trace = work_.file("trace.jsonl");
    const pid_t pid =
        startKestrovaOnDisplay({"--zoom", "1", "--trace", trace}, instances_.path(),
                               display_->name(), work_.path(), work_.file("terminal.out"), side);
    running_.push_back(pid);
    const std::optional<XWindow> window = waitForWindow(pid);
    ASSERT_TRUE(window) << "no window";
    ASSERT_NO_FATAL_FAILURE(openTools(x_->geometry(*window), 1, 0, 0, trace));
    key("F12");
    std::string said;
    const bool saved = waitUntil(
        [&] {
            char buffer[512];
            for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;)
                said.append(buffer, static_cast<std::size_t>(n));
            return said.find(".png") != std::string::npos;
        },
        5s);
    EXPECT_TRUE(saved) << said;
    EXPECT_NE(said.find("screenshot saved to " + work_.path() + "/kestrova-"), std::string::npos)
        << said;
    x_->requestClose(*window);
    EXPECT_EQ(finish(pid, 10000), 0);
    ::close(terminal);
}

TEST_F(SdlWindowTest, AWindowDestroyedByAnotherClientClosesTheProgram) {
    expectClosesWhenAnotherClientDestroysTheWindow();
}

// Devices: a window and a headless tour at once both do their work; windows of different
// geometry are different devices and both open.
TEST_F(SdlWindowTest, WindowsOfOtherGeometriesAndHeadlessRunsAreOtherDevices) {
    const std::string trace = work_.file("trace.jsonl");
    const pid_t first = start({"--trace", trace}, "first");
    const std::optional<XWindow> window = waitForWindow(first);
    ASSERT_TRUE(window) << "no window: " << readFile(work_.file("first.err"));

    const RunResult tour = runKestrova({"--tour", work_.file("tour")}, "", instances_.path());
    EXPECT_EQ(tour.exitCode, 0) << tour.err;
    EXPECT_TRUE(tour.err.empty()) << tour.err;
    EXPECT_TRUE(std::filesystem::exists(work_.file("tour/01-bitblt.png")) ||
                !std::filesystem::is_empty(work_.file("tour")));

    const pid_t landscape = start({"--display", "320x240"}, "landscape");
    const std::optional<XWindow> other = waitForWindow(landscape);
    ASSERT_TRUE(other) << "no second window: " << readFile(work_.file("landscape.err"));
    EXPECT_NE(*other, *window);
    EXPECT_NE(x_->title(*other).find("320x240"), std::string::npos);

    EXPECT_EQ(countLines(trace, "foreground_request"), 0);
    x_->requestClose(*other);
    EXPECT_EQ(finish(landscape, 10000), 0);
    x_->requestClose(*window);
    EXPECT_EQ(finish(first, 10000), 0);
}

// A desktop as users have it: 1600x1200 with a window manager (openbox) that puts a frame
// with a title bar around each window.
class DesktopWindowTest : public SdlWindowTest {
protected:
    std::string desktopSize() const override { return "1600x1200"; }
    bool withWindowManager() const override { return true; }

    // The window's frame: left, top, right, bottom edges on the screen.
    struct Outer {
        int left, top, right, bottom;
    };
    Outer outer(XWindow w) {
        const Geometry g = x_->geometry(w);
        const std::vector<unsigned long> f = x_->frameExtents(w);
        if (f.size() != 4) {
            ADD_FAILURE() << "the window manager gave the window no frame";
            return {g.x, g.y, g.x + g.width, g.y + g.height};
        }
        return {g.x - static_cast<int>(f[0]), g.y - static_cast<int>(f[2]),
                g.x + g.width + static_cast<int>(f[1]), g.y + g.height + static_cast<int>(f[3])};
    }

    bool onScreen(const Outer& o) {
        return o.left >= 0 && o.top >= 0 && o.right <= 1600 && o.bottom <= 1200;
    }
};

TEST_F(DesktopWindowTest, OpensAtTheLargestZoomThatFitsAndNeverSmallerThanTheDevice) {
    struct Case {
        std::vector<std::string> args;
        int width, height;  // the device screen
        int zoom;
        bool lowered;  // a line says that --zoom did not fit
    };
    const Case cases[] = {
        {{}, 240, 320, 2, false},
        {{"--zoom", "4"}, 240, 320, 3, true},
        {{"--display", "480x640"}, 480, 640, 1, false},
        {{"--display", "480x640", "--zoom", "8"}, 480, 640, 1, true},
        {{"--display", "640x240"}, 640, 240, 2, false},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "case" + std::to_string(n++);
        SCOPED_TRACE(name);
        TempDir home;  // nothing remembered from the cases before
        const pid_t pid = start(c.args, name, &home);
        const std::optional<XWindow> window = waitForWindow(pid);
        ASSERT_TRUE(window) << "no window: " << readFile(work_.file(name + ".err"));
        ASSERT_TRUE(waitUntil([&] { return x_->frameExtents(*window).size() == 4; }, 3s));
        const Geometry g = x_->geometry(*window);
        EXPECT_EQ(g.width, c.width * c.zoom);
        EXPECT_EQ(g.height, c.height * c.zoom);
        const Outer o = outer(*window);
        EXPECT_TRUE(onScreen(o)) << "frame from (" << o.left << ", " << o.top << ") to (" << o.right
                                 << ", " << o.bottom << ")";
        EXPECT_EQ(x_->minimumSize(*window), (std::pair{c.width, c.height}));

        const std::string err = readFile(work_.file(name + ".err"));
        if (c.lowered) {
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
            EXPECT_NE(err.find("does not fit"), std::string::npos) << err;
            EXPECT_NE(err.find("zoom " + std::to_string(c.zoom)), std::string::npos) << err;
        } else {
            EXPECT_EQ(err, "");
        }

        // Dragged smaller, as by the frame's corner: the window manager keeps the minimum.
        x_->moveResize(*window, o.left, o.top, 92, 97);
        std::this_thread::sleep_for(300ms);
        const Geometry shrunk = x_->geometry(*window);
        EXPECT_GE(shrunk.width, c.width);
        EXPECT_GE(shrunk.height, c.height);
        x_->requestClose(*window);
        EXPECT_EQ(finish(pid, 10000), 0);
    }
}

// A device larger than the desktop even at zoom 1 (taller, or the desktop's own size, which
// leaves no room for the frame) opens with its title bar and its command bar on the screen,
// and says so in one line.
TEST_F(DesktopWindowTest, ADeviceLargerThanTheDesktopKeepsItsTitleBarOnTheScreen) {
    for (const std::string size : {"300x1500", "1600x1200"}) {
        SCOPED_TRACE(size);
        const std::string name = "large-" + size;
        const std::string trace = work_.file(name + ".jsonl");
        const pid_t pid = start({"--display", size, "--trace", trace}, name);
        std::optional<XWindow> window;
        ASSERT_TRUE(waitUntil([&] { return (window = x_->windowOf(pid)).has_value(); }, 10s))
            << readFile(work_.file(name + ".err"));
        ASSERT_TRUE(waitUntil([&] { return x_->frameExtents(*window).size() == 4; }, 3s));
        const Outer o = outer(*window);
        EXPECT_GE(o.top, 0);
        EXPECT_GE(o.left, 0);
        // The command bar at the top of the client area, at 1:1 from its left edge.
        auto expectBarOnTop = [&] {
            const Geometry g = x_->geometry(*window);
            const Geometry bar{g.x, g.y, std::min(g.width, 1600 - g.x), kBarHeight};
            Shot shot;
            EXPECT_TRUE(waitUntil(
                [&] {
                    shot = x_->grab(bar);
                    return shot.width > 200 && near(shot.at(120, 5), kFace, 8) &&
                           near(shot.at(120, kBarHeight - 1), kShadow, 8);
                },
                5s))
                << "no command bar at the window's top";
            if (shot.width > 200) expectCommandBar(shot, 1, 0, 0);
        };
        expectBarOnTop();
        // Made smaller than the screen, the window shows the screen's top-left part at 1:1, not
        // its middle.
        x_->moveResize(*window, o.left, o.top, 800, 600);
        ASSERT_TRUE(waitUntil([&] { return x_->geometry(*window).height < 1200; }, 3s));
        // The stylus reaches the Tools button where the window shows it.
        ASSERT_NO_FATAL_FAILURE(openTools(x_->geometry(*window), 1, 0, 0, trace));
        expectBarOnTop();
        const std::string err = readFile(work_.file(name + ".err"));
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_NE(err.find("kestrova: the " + size + " display does not fit the desktop"),
                  std::string::npos)
            << err;
        x_->requestClose(*window);
        EXPECT_EQ(finish(pid, 10000), 0);
    }
}

TEST_F(DesktopWindowTest, ZoomKeysTheTitleNoticeAndThePlaceRememberedForTheNextStart) {
    TempDir home;
    const std::string trace = work_.file("trace.jsonl");
    const pid_t pid = start({"--trace", trace}, "zoom", &home);
    const std::optional<XWindow> window = waitForWindow(pid);
    ASSERT_TRUE(window) << "no window: " << readFile(work_.file("zoom.err"));
    const std::string title = x_->title(*window);
    auto sized = [&](int w, int h) {
        return waitUntil(
            [&] {
                const Geometry g = x_->geometry(*window);
                return g.width == w && g.height == h;
            },
            10s);
    };
    // A notice stays in the title for two seconds, which a loaded machine can miss; each one
    // is also a trace event, which stays.
    // `text` is the whole notice, or its beginning when it ends in "...".
    auto noticed = [&](std::string text, int times) {
        const bool start = text.size() > 3 && text.compare(text.size() - 3, 3, "...") == 0;
        const std::string fragment =
            "\"text\":\"" + (start ? text.substr(0, text.size() - 3) : text + "\"");
        return waitUntil([&] { return countLines(trace, fragment) >= times; }, 10s);
    };
    // Keys go to the window that has the focus: wait until it has it, not for a while.
    click(x_->geometry(*window).x + 200, x_->geometry(*window).y + 200);
    ASSERT_TRUE(waitUntil([&] { return x_->hasFocus(*window); }, 10s));

    struct Step {
        const char* keys;
        int zoom;
        const char* notice;
        int times;  // how many times the notice has been given by then
    };
    const Step steps[] = {
        {"ctrl+3", 3, "zoom 3", 1},
        {"ctrl+8", 3, "zoom 8 does not fit, zoom 3", 1},
        {"ctrl+1", 1, "zoom 1", 1},
        {"ctrl+0", 3, "zoom 3", 2},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.keys);
        key(step.keys);
        EXPECT_TRUE(noticed(step.notice, step.times)) << readFile(trace);
        EXPECT_TRUE(sized(240 * step.zoom, 320 * step.zoom));
        EXPECT_TRUE(onScreen(outer(*window)));
    }
    // F12 says so in the title too, for a moment, and then the title is the plain one again.
    key("F12");
    // The whole path: xdg-user-dir names the home folder when no pictures folder is set up.
    EXPECT_TRUE(noticed("saved " + home.file(findProgram("xdg-user-dir") ? "" : "Pictures/") +
                            "Kestrova/kestrova-...",
                        1))
        << readFile(trace);
    EXPECT_TRUE(waitUntil([&] { return x_->title(*window) == title; }, 10s)) << x_->title(*window);

    // Moved, closed, started again: the same place and zoom.
    Outer o = outer(*window);
    x_->moveResize(*window, 100, 60, 720, 960);
    ASSERT_TRUE(waitUntil([&] { return outer(*window).left == 100; }, 3s));
    const Geometry placed = x_->geometry(*window);
    x_->requestClose(*window);
    ASSERT_EQ(finish(pid, 10000), 0);
    const std::string settings = home.file("config/kestrova/window.conf");
    EXPECT_NE(readFile(settings).find("240x320 1600x1200 3 "), std::string::npos)
        << readFile(settings);

    const pid_t again = start({}, "again", &home);
    const std::optional<XWindow> reopened = waitForWindow(again);
    ASSERT_TRUE(reopened) << "no window: " << readFile(work_.file("again.err"));
    const Geometry g = x_->geometry(*reopened);
    EXPECT_EQ(g.x, placed.x);
    EXPECT_EQ(g.y, placed.y);
    EXPECT_EQ(g.width, 720);
    EXPECT_EQ(g.height, 960);
    EXPECT_EQ(readFile(work_.file("again.err")), "");
    x_->requestClose(*reopened);
    ASSERT_EQ(finish(again, 10000), 0);

    // A damaged settings file: one line, and the window opens at its default place and zoom.
    writeFile(settings, "240x320 3 nonsense\n");
    const pid_t damaged = start({}, "damaged", &home);
    const std::optional<XWindow> fresh = waitForWindow(damaged);
    ASSERT_TRUE(fresh) << "no window: " << readFile(work_.file("damaged.err"));
    EXPECT_EQ(x_->geometry(*fresh).width, 480);
    const std::string err = readFile(work_.file("damaged.err"));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find(settings), std::string::npos) << err;
    x_->requestClose(*fresh);
    ASSERT_EQ(finish(damaged, 10000), 0);
    EXPECT_EQ(readFile(settings).find("nonsense"), std::string::npos) << "not written whole";
    (void)o;
}

// A place remembered on a desktop of another size, or at a zoom the window does not open with,
// is not used: the window opens centred.
TEST_F(DesktopWindowTest, APlaceFromAnotherDesktopOrZoomIsNotUsed) {
    struct Case {
        const char* line;
        std::vector<std::string> args;
        int x, y;  // where the client area opens; -1: centred
    };
    const Case cases[] = {
        {"240x320 1600x1200 2 100 100", {}, 100, 100},
        {"240x320 1024x738 2 100 100", {}, -1, -1},
        {"240x320 1600x1200 2 100 100", {"--zoom", "3"}, -1, -1},
        {"240x320 2 100 100", {}, -1, -1},  // an earlier version's line
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        TempDir home;
        std::filesystem::create_directories(home.file("config/kestrova"));
        writeFile(home.file("config/kestrova/window.conf"), std::string(c.line) + "\n");
        const std::string name = "other" + std::to_string(n++);
        const pid_t pid = start(c.args, name, &home);
        const std::optional<XWindow> window = waitForWindow(pid);
        ASSERT_TRUE(window) << "no window: " << readFile(work_.file(name + ".err"));
        ASSERT_TRUE(waitUntil([&] { return x_->frameExtents(*window).size() == 4; }, 3s));
        const Geometry g = x_->geometry(*window);
        if (c.x >= 0) {
            EXPECT_EQ(g.x, c.x);
            EXPECT_EQ(g.y, c.y);
        } else {
            const Outer o = outer(*window);
            EXPECT_LE(std::abs(o.left - (1600 - o.right)), 1) << o.left << " " << o.right;
            EXPECT_LE(std::abs(o.top - (1200 - o.bottom)), 1) << o.top << " " << o.bottom;
        }
        EXPECT_EQ(readFile(work_.file(name + ".err")), "");
        x_->requestClose(*window);
        EXPECT_EQ(finish(pid, 10000), 0);
    }
}

TEST_F(DesktopWindowTest, SettingsThatCannotBeWrittenCostOneLineAndNothingElse) {
    TempDir home;
    writeFile(home.file("config"), "a file where the settings folder would be");
    const pid_t pid = start({}, "unwritable", &home);
    const std::optional<XWindow> window = waitForWindow(pid);
    ASSERT_TRUE(window) << "no window: " << readFile(work_.file("unwritable.err"));
    x_->requestClose(*window);
    ASSERT_EQ(finish(pid, 10000), 0);
    const std::string err = readFile(work_.file("unwritable.err"));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("cannot remember the window's place"), std::string::npos) << err;
}

// The window's icon is the program's class icon: exactly the icon the About dialog shows.
TEST_F(DesktopWindowTest, TheWindowsIconIsTheProgramsClassIcon) {
    const pid_t pid = start({}, "icon");
    const std::optional<XWindow> window = waitForWindow(pid);
    ASSERT_TRUE(window) << "no window: " << readFile(work_.file("icon.err"));
    const std::vector<unsigned long> icon = x_->cardinals(*window, "_NET_WM_ICON");
    ASSERT_GE(icon.size(), 2u);
    const int w = static_cast<int>(icon[0]), h = static_cast<int>(icon[1]);
    ASSERT_EQ(icon.size(), 2u + static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    EXPECT_EQ(w, 32);
    EXPECT_EQ(h, 32);
    x_->requestClose(*window);
    EXPECT_EQ(finish(pid, 10000), 0);

    // Where the About dialog shows it on the device screen, every opaque pixel of the icon
    // (in 5-6-5, widened again) is there.
    const std::string shot = work_.file("about.png");
    const RunResult about =
        runKestrova({"--headless", "--script", "-"}, "menu Tools/About\nscreenshot " + shot + "\n");
    ASSERT_EQ(about.exitCode, 0) << about.err;
    const std::optional<RgbImage> screen = readPng(shot);
    ASSERT_TRUE(screen);
    auto expected = [&](int x, int y) -> std::optional<std::uint32_t> {
        // 32-bit items come as (sign-extended) longs.
        const unsigned long argb = icon[2 + static_cast<std::size_t>(y) * w + x] & 0xFFFFFFFFu;
        if ((argb >> 24) != 0xFF) return std::nullopt;
        const unsigned r = (argb >> 19) & 0x1F, g = (argb >> 10) & 0x3F, b = (argb >> 3) & 0x1F;
        return ((r << 3) | (r >> 2)) | ((g << 2) | (g >> 4)) << 8 | ((b << 3) | (b >> 2)) << 16;
    };
    int opaque = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) opaque += expected(x, y).has_value();
    EXPECT_GT(opaque, 100);
    EXPECT_LT(opaque, w * h) << "an icon with no transparent corner";
    bool found = false;
    for (int top = 0; top + h <= screen->height && !found; ++top)
        for (int left = 0; left + w <= screen->width && !found; ++left) {
            bool all = true;
            for (int y = 0; y < h && all; ++y)
                for (int x = 0; x < w && all; ++x)
                    if (const auto c = expected(x, y)) all = screen->at(left + x, top + y) == *c;
            found = all;
        }
    EXPECT_TRUE(found) << "the window's icon is not the one the About dialog shows";
}

TEST_F(DesktopWindowTest, AWindowDestroyedByAnotherClientClosesTheProgram) {
    expectClosesWhenAnotherClientDestroysTheWindow();
}

// A stop signal closes the window's program as the platform would: the shutdown steps run,
// the registration goes, and the exit code names the signal.
TEST_F(SdlWindowTest, StopSignalsCloseTheProgramInOrder) {
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(signal);
        const std::string name = "signal" + std::to_string(signal);
        const std::string trace = work_.file(name + ".jsonl");
        const pid_t pid = start({"--trace", trace}, name);
        ASSERT_TRUE(waitForWindow(pid)) << "no window: " << readFile(work_.file(name + ".err"));
        kill(pid, signal);
        const std::optional<int> code = finish(pid, 10000);
        ASSERT_TRUE(code) << "still running";
        EXPECT_EQ(*code, 128 + signal) << readFile(work_.file(name + ".err"));
        EXPECT_EQ(countLines(trace, "\"window_destroyed\",\"class\":\"KESTROVA\""), 1);
        EXPECT_EQ(countLines(trace, "GXCloseDisplay"), 1);
        for (const auto& entry :
             std::filesystem::recursive_directory_iterator(instances_.file("kestrova")))
            EXPECT_FALSE(entry.is_regular_file() || entry.is_socket()) << entry.path();
    }
}

// Slow motion: the window shows Lines as it draws, F8 and F7 change the factor in the title
// while it does, the recording holds what was shown, and closing the window in the middle of
// the drawing is not kept waiting.
TEST_F(SdlWindowTest, SlowMotionShowsTheDrawingAsItGoesAndACloseIsNotKeptWaiting) {
    const std::string trace = work_.file("trace.jsonl");
    const std::string recording = work_.file("slow.png");
    const pid_t pid =
        start({"--zoom", "1", "--slow", "10000", "--trace", trace, "--record", recording}, "slow");
    const std::optional<XWindow> window = waitForWindow(pid);
    ASSERT_TRUE(window) << "no window: " << readFile(work_.file("slow.err"));
    EXPECT_EQ(x_->title(*window), "Kestrova - 240x320 5-6-5 normal - slow x10000");
    const Geometry g = x_->geometry(*window);

    // Lines takes seconds at 10000x: its first pass (orange) shows while it draws.
    ASSERT_NO_FATAL_FAILURE(openTools(g, 1, 0, 0, trace));
    click(g.x + kLinesX, g.y + kLinesY);
    EXPECT_TRUE(waitUntil([&] { return near(x_->grab(g).at(0, 26), 0xFF8200, 8); }, 5s))
        << "the first pass does not show while Lines draws: " << std::hex << x_->grab(g).at(0, 26);
    EXPECT_EQ(countLines(trace, "GXCloseDisplay"), 0);
    auto titled = [&](const std::string& text) {
        return waitUntil([&] { return x_->title(*window) == text; }, 3s);
    };
    key("F8");
    EXPECT_TRUE(titled("Kestrova - 240x320 5-6-5 normal - slow x1000")) << x_->title(*window);
    key("F7");
    EXPECT_TRUE(titled("Kestrova - 240x320 5-6-5 normal - slow x10000")) << x_->title(*window);

    x_->requestClose(*window);
    const std::optional<int> code = finish(pid, 10000);
    ASSERT_TRUE(code) << "still drawing in slow motion after the close request";
    EXPECT_EQ(*code, 0) << readFile(work_.file("slow.err"));
    const Apng apng = readApng(recording);
    ASSERT_EQ(apng.error, "");
    ASSERT_GE(apng.frames.size(), 3u);
    const std::optional<RgbImage> reference = headlessLines(work_);
    ASSERT_TRUE(reference);
    EXPECT_TRUE(apng.frames.back().picture.rgb == reference->rgb)
        << "the last frame is not the Lines picture";
}

// No display: one line that says so and what to use instead.
TEST(SdlWindowNoDisplay, SaysSoOnOneLineAndExits2) {
    const RunResult r = runKestrova({});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find("no display"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--headless"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--tour"), std::string::npos) << r.err;
}

// A display named but not there: the line names it, so a typing slip in DISPLAY shows.
TEST(SdlWindowNoDisplay, AnUnreachableDisplayIsNamed) {
    TempDir work;
    const int pid = startKestrovaOnDisplay({}, work.path(), ":97", work.path(), work.file("out"),
                                           work.file("err"));
    EXPECT_EQ(waitKestrova(pid), 2);
    const std::string err = readFile(work.file("err"));
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("cannot reach the X display :97"), std::string::npos) << err;
    EXPECT_NE(err.find("--headless"), std::string::npos) << err;
}

}  // namespace
