// The real window: kestrova on a virtual X server of the test's own (Xvfb), driven with real
// pointer and key events and looked at through the X server's own screen contents.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

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
    void SetUp() override {
        const std::optional<std::string> xvfb = findProgram("Xvfb");
        if (!xvfb) GTEST_SKIP() << "Xvfb is not installed (Debian package xvfb)";
        std::string error;
        display_ = VirtualDisplay::start(*xvfb, &error);
        ASSERT_TRUE(display_) << error;
        x_ = XClient::connect(display_->name(), &error);
        ASSERT_TRUE(x_) << error;
        xdotool_ = findProgram("xdotool");
    }

    void TearDown() override {
        for (pid_t pid : running_) stopChild(pid);
    }

    pid_t start(const std::vector<std::string>& args, const std::string& name) {
        const pid_t pid =
            startKestrovaOnDisplay(args, instances_.path(), display_->name(), work_.path(),
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

    TempDir instances_;
    TempDir work_;
    std::unique_ptr<VirtualDisplay> display_;
    std::unique_ptr<XClient> x_;
    std::optional<std::string> xdotool_;
    bool inputChecked_ = false;
    bool useXdotool_ = false;
    std::vector<pid_t> running_;
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
// device pixel has the colour of the headless screenshot (nearest neighbour, no blur, channels
// in place). Renderers widen 5 and 6 bits to 8 with their own rounding, hence a small
// tolerance; the probes above, black and full cyan, must be exact.
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
                    if (!near(got, want, 3) && ++wrong <= 5)
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
    const pid_t pid = start({"--zoom", "2", "--trace", trace}, "first");
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

    // F12: a PNG of the device screen in the current folder, and a word on stderr.
    key("F12");
    std::filesystem::path png;
    ASSERT_TRUE(waitUntil(
        [&] {
            for (const auto& entry : std::filesystem::directory_iterator(work_.path()))
                if (entry.path().filename().string().rfind("kestrova-", 0) == 0 &&
                    entry.path().extension() == ".png" &&
                    readFile(work_.file("first.err")).find(entry.path().filename().string()) !=
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
        EXPECT_TRUE(std::filesystem::is_empty(instances_.file("kestrova")));
    }
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

}  // namespace
