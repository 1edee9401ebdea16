// The Windows build on the real Windows API: kestrova.exe under Wine on a virtual X server of
// the test's own, driven with real pointer events (xdotool). Its pictures are compared with
// the headless device's, pixel for pixel; the probe (probe.exe, also under Wine) reports what
// the window system knows about its windows. The windows build's tests run these
// (tests/win32/CMakeLists.txt) with the paths of its executables in the environment.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "png_read.h"
#include "resources/resources.h"
#include "run_program.h"
#include "x_display.h"

namespace {

using namespace std::chrono_literals;

constexpr int kBarHeight = 26;  // the device's command bar; the drawing area starts below it
constexpr const char* kTitle = "Kestrova - 240x320 5-6-5 normal";  // the default display's

// The Tools menu's items, top to bottom, separators aside.
enum MenuItemIndex { kBitBlt, kLines, kCircles, kClearScreen, kAbout, kExit };

std::string fromEnvironment(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// Wine's drive Z: is the root of the file system.
std::string windowsPath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One line of the probe's answer: its kind, then key=value fields.
struct Probed {
    std::string kind;
    std::map<std::string, std::string> fields;
    std::string operator[](const std::string& key) const {
        auto it = fields.find(key);
        return it == fields.end() ? "" : it->second;
    }
    Geometry rect(const std::string& key) const {
        Geometry g;
        std::sscanf((*this)[key].c_str(), "%d,%d,%d,%d", &g.x, &g.y, &g.width, &g.height);
        return g;
    }
};

std::vector<Probed> parseProbe(const std::string& text) {
    std::vector<Probed> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // written in text mode
        std::istringstream fields(line);
        Probed p;
        std::getline(fields, p.kind, '\t');
        for (std::string f; std::getline(fields, f, '\t');)
            if (const std::size_t eq = f.find('='); eq != std::string::npos)
                p.fields[f.substr(0, eq)] = f.substr(eq + 1);
        if (p.kind != "none" && !p.kind.empty()) lines.push_back(p);
    }
    return lines;
}

// A pixel as the display holds it, widened again to 8 bits a channel by repeating its top
// bits, as both the device's screenshots and the desktop's GDI widen 5 and 6 bits: whichever
// way a renderer rounds, what the display held compares equal.
std::uint32_t displayed(std::uint32_t rgb, bool is565) {
    const unsigned r = rgb >> 16 & 0xFF, g = rgb >> 8 & 0xFF, b = rgb & 0xFF;
    const unsigned r5 = r >> 3, b5 = b >> 3;
    const unsigned g8 = is565 ? (g >> 2) << 2 | (g >> 2) >> 4 : (g >> 3) << 3 | (g >> 3) >> 2;
    return ((r5 << 3 | r5 >> 2) << 16) | (g8 << 8) | (b5 << 3 | b5 >> 2);
}

// The rows of a menu's picture with text in them, grouped: one band per item, top to bottom.
std::vector<std::pair<int, int>> textBands(const Shot& menu) {
    std::vector<std::pair<int, int>> bands;
    for (int y = 2; y < menu.height - 2; ++y) {
        bool ink = false;
        for (int x = 4; x < menu.width - 4 && !ink; ++x) {
            const std::uint32_t p = menu.at(x, y);
            ink = (p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF) < 3 * 90;
        }
        if (ink && !bands.empty() && bands.back().second == y - 1)
            bands.back().second = y;
        else if (ink)
            bands.push_back({y, y});
    }
    return bands;
}

// The same options for the headless device and for kestrova.exe.
struct Display {
    std::vector<std::string> options;
    int width = 240, height = 320, zoom = 1;
    bool is565 = true;
    std::string name() const {
        std::string n;
        for (const std::string& o : options) n += o + " ";
        return n;
    }
};

class WineTest : public ::testing::Test {
protected:
    void SetUp() override {
        exe_ = fromEnvironment("KESTROVA_EXE");
        probe_ = fromEnvironment("KESTROVA_PROBE");
        prefix_ = fromEnvironment("KESTROVA_WINE_PREFIX");
        ASSERT_FALSE(exe_.empty() || probe_.empty() || prefix_.empty())
            << "run these through the windows build's tests: cmake --workflow --preset windows";
        const std::optional<std::string> xvfb = findProgram("Xvfb");
        xvfb_ = xvfb.value_or("");
        const std::optional<std::string> wine = findProgram("wine");
        const std::optional<std::string> xdotool = findProgram("xdotool");
        ASSERT_TRUE(xvfb && wine && xdotool)
            << "needs Xvfb, wine and xdotool (tools/install-deps.sh)";
        wine_ = *wine;
        xdotool_ = *xdotool;
        std::string error;
        display_ = VirtualDisplay::start(*xvfb, &error);
        ASSERT_TRUE(display_) << error;
        x_ = XClient::connect(display_->name(), &error);
        ASSERT_TRUE(x_) << error;
        // No Mono or Gecko: the prefix is made without asking to install them. No menu entries
        // on the host's desktop for the shortcuts an installer makes (winemenubuilder).
        wineEnv_ = {"DISPLAY=" + display_->name(), "WINEPREFIX=" + prefix_, "WINEDEBUG=-all",
                    "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe="};
        // Nothing left of an earlier run that ended badly: every process of the prefix goes.
        stopWine();
        // The prefix is made once (about ten seconds) and kept in the build folder.
        if (!std::filesystem::exists(prefix_ + "/system.reg")) {
            const std::optional<int> booted = run({wine_, "wineboot", "--init"}, 180s);
            ASSERT_EQ(booted, 0) << "wineboot failed";
            stopWine();
        }
        holdServer();
        // Every test's window opens where it would the first time.
        std::filesystem::remove_all(settingsFolder());
    }

    void TearDown() override {
        if (!prefix_.empty() && !wine_.empty()) stopWine();
        for (pid_t pid : running_) stopChild(pid);
    }

    // The prefix's server program, beside wine when it is there.
    std::string wineServer() const {
        const std::string server = std::filesystem::path(wine_).parent_path() / "wineserver";
        return std::filesystem::exists(server) ? server : "wineserver";
    }

    // Ends every process of the prefix (all of them this test's) and its server, and waits
    // until the server has gone: a program started while it is still ending is killed with it.
    void stopWine() {
        run({wineServer(), "-k"}, 10s);
        run({wineServer(), "-w"}, 10s);
    }

    // Keeps the prefix's server up until stopWine. Left to itself, the server ends a moment
    // after its last program exits, and a program started as it ends loses its connection
    // ("wine client error: ... Connection reset by peer") and exits with 1: about one start in
    // a few hundred when programs run one after another, as these tests run them.
    void holdServer() {
        SpawnOptions options;
        options.env = wineEnv_;
        // Not the test's output: a server left behind would keep ctest waiting on it.
        options.outFile = options.errFile = "/dev/null";
        const pid_t pid = spawnWith({wineServer(), "-p"}, options);
        ASSERT_GT(pid, 0);
        ASSERT_EQ(waitKestrovaFor(pid, 10000), 0) << "wineserver -p did not start";
    }

    // Runs a program in the prefix's environment to its end, at most for timeout.
    std::optional<int> run(const std::vector<std::string>& args, std::chrono::seconds timeout,
                           const std::string& outFile = "") {
        SpawnOptions options;
        options.env = wineEnv_;
        options.outFile = outFile;
        const pid_t pid = spawnWith(args, options);
        if (pid <= 0) return std::nullopt;
        std::optional<int> code = waitKestrovaFor(pid, static_cast<int>(timeout.count() * 1000));
        if (!code) stopChild(pid);
        return code;
    }

    pid_t start(const std::vector<std::string>& args, const std::string& name,
                bool closeError = false) {
        std::vector<std::string> argv{wine_, exe_};
        argv.insert(argv.end(), args.begin(), args.end());
        SpawnOptions options;
        options.env = wineEnv_;
        options.outFile = work_.file(name + ".out");
        options.errFile = work_.file(name + ".err");
        options.closeError = closeError;
        const pid_t pid = spawnWith(argv, options);
        if (pid > 0) running_.push_back(pid);
        return pid;
    }

    std::optional<int> finish(pid_t pid, std::chrono::milliseconds timeout) {
        std::optional<int> code = waitKestrovaFor(pid, static_cast<int>(timeout.count()));
        if (code) std::erase(running_, pid);
        return code;
    }

    // Another program's window over the whole screen, on top of everything; its X window.
    std::optional<XWindow> showCover() {
        const std::vector<XWindow> before = x_->topLevels();
        SpawnOptions options;
        options.env = wineEnv_;
        const pid_t pid = spawnWith({wine_, probe_, "cover"}, options);
        if (pid <= 0) return std::nullopt;
        running_.push_back(pid);
        std::optional<XWindow> cover;
        waitUntil(
            [&] {
                for (XWindow w : x_->topLevels())
                    if (x_->title(w) == "Cover" &&
                        std::find(before.begin(), before.end(), w) == before.end() &&
                        x_->geometry(w).width == 1280)
                        cover = w;
                return cover.has_value() && x_->topLevels().back() == *cover;
            },
            20s);
        return cover;
    }

    std::vector<Probed> probe(const std::vector<std::string>& args) {
        const std::string out = work_.file("probe.out");
        std::vector<std::string> argv{wine_, probe_};
        argv.insert(argv.end(), args.begin(), args.end());
        if (!run(argv, 30s, out)) return {};
        return parseProbe(readFile(out));
    }

    // The main window once it shows with its command bar: the window's line, then its
    // children's.
    std::vector<Probed> waitForMainWindow() {
        std::vector<Probed> window;
        waitUntil(
            [&] {
                window = probe({"window", "Kestrova"});
                return window.size() >= 2 && window[0]["visible"] == "1" &&
                       window[1]["visible"] == "1";
            },
            60s);
        return window;
    }

    void click(int x, int y) {
        SpawnOptions options;
        options.env = {"DISPLAY=" + display_->name()};
        const pid_t pid = spawnWith(
            {xdotool_, "mousemove", std::to_string(x), std::to_string(y), "click", "1"}, options);
        ASSERT_EQ(pid > 0 ? waitKestrovaFor(pid, 10000) : std::nullopt, 0) << "xdotool failed";
    }

    void pointAndKey(int x, int y, const std::string& name) {
        SpawnOptions options;
        options.env = {"DISPLAY=" + display_->name()};
        const pid_t pid = spawnWith(
            {xdotool_, "mousemove", std::to_string(x), std::to_string(y), "key", name}, options);
        ASSERT_EQ(pid > 0 ? waitKestrovaFor(pid, 10000) : std::nullopt, 0) << "xdotool failed";
    }

    void key(const std::string& name) {
        SpawnOptions options;
        options.env = {"DISPLAY=" + display_->name()};
        const pid_t pid = spawnWith({xdotool_, "key", name}, options);
        ASSERT_EQ(pid > 0 ? waitKestrovaFor(pid, 10000) : std::nullopt, 0) << "xdotool failed";
    }

    // Clicks Tools on the command bar, then the item of the real pop-up menu, found by the
    // bands of text in its picture.
    void choose(const Geometry& client, int zoom, MenuItemIndex item) {
        click(client.x + 20 * zoom, client.y + 13 * zoom);
        Geometry menu;
        ASSERT_TRUE(waitUntil(
            [&] {
                const std::vector<Probed> p = probe({"menu"});
                if (p.empty()) return false;
                menu = p[0].rect("rect");
                return menu.width > 0;
            },
            20s))
            << "the Tools menu did not open";
        std::vector<std::pair<int, int>> bands;
        waitUntil([&] { return (bands = textBands(x_->grab(menu))).size() == 6; }, 5s);
        ASSERT_EQ(bands.size(), 6u) << "items found in the Tools menu";
        const auto [top, bottom] = bands[static_cast<std::size_t>(item)];
        click(menu.x + 30, menu.y + (top + bottom) / 2);
    }

    // The client area's drawing area below the command bar.
    static Geometry drawingArea(const Geometry& client, const Display& d) {
        return {client.x, client.y + kBarHeight * d.zoom, d.width * d.zoom,
                (d.height - kBarHeight) * d.zoom};
    }

    // Device pixels of the drawing area that the X screen shows differently from the headless
    // device's screenshot; the first few are reported.
    static int differences(const Shot& shot, const RgbImage& reference, const Display& d,
                           std::string* report) {
        if (shot.width != d.width * d.zoom || shot.height != (d.height - kBarHeight) * d.zoom)
            return -1;
        int wrong = 0;
        for (int y = kBarHeight; y < d.height; ++y)
            for (int x = 0; x < d.width; ++x) {
                const std::uint32_t bgr = reference.at(x, y);
                const std::uint32_t want =
                    displayed((bgr & 0xFF) << 16 | (bgr & 0xFF00) | bgr >> 16, d.is565);
                bool same = true;
                for (int k = 0; k < d.zoom * d.zoom && same; ++k)
                    same = displayed(shot.at(x * d.zoom + k % d.zoom,
                                             (y - kBarHeight) * d.zoom + k / d.zoom),
                                     d.is565) == want;
                if (!same && ++wrong <= 5 && report) {
                    std::ostringstream s;
                    s << " (" << x << ", " << y << ") shows " << std::hex
                      << shot.at(x * d.zoom, (y - kBarHeight) * d.zoom) << " for " << want;
                    *report += s.str();
                }
            }
        return wrong;
    }

    // Waits for the drawing area to show the reference, then holds it to it.
    void expectPicture(const Geometry& client, const Display& d, const RgbImage& reference,
                       const std::string& what) {
        const Geometry area = drawingArea(client, d);
        waitUntil([&] { return differences(x_->grab(area), reference, d, nullptr) == 0; }, 15s);
        std::string report;
        EXPECT_EQ(differences(x_->grab(area), reference, d, &report), 0)
            << what << " on " << d.name() << ": device pixels that differ:" << report;
    }

    // The headless device's screenshots after each step of script lines, in this order.
    std::vector<RgbImage> devicePictures(const Display& d, const std::vector<std::string>& steps) {
        std::string script;
        for (std::size_t i = 0; i < steps.size(); ++i)
            script += steps[i] + "\nscreenshot " +
                      work_.file("device-" + std::to_string(i) + ".png") + "\n";
        std::vector<std::string> args = d.options;
        args.insert(args.end(), {"--headless", "--script", "-"});
        const RunResult r = runKestrova(args, script);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        std::vector<RgbImage> pictures;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            std::optional<RgbImage> p = readPng(work_.file("device-" + std::to_string(i) + ".png"));
            if (!p) ADD_FAILURE() << "no device screenshot after " << steps[i];
            pictures.push_back(p.value_or(RgbImage{}));
        }
        return pictures;
    }

    // The main window on the X screen: its title names the display after the program.
    std::optional<XWindow> mainXWindow() {
        for (XWindow w : x_->topLevels())
            if (x_->title(w).rfind("Kestrova - ", 0) == 0)
                if (std::optional<XWindow> v = x_->windowNamed(x_->title(w))) return v;
        return std::nullopt;
    }

    // A new virtual X screen of this size for the rest of the test, in place of the first.
    void restartDisplay(const std::string& size) {
        stopWine();
        x_.reset();
        display_.reset();
        std::string error;
        display_ = VirtualDisplay::start(xvfb_, &error, size);
        ASSERT_TRUE(display_) << error;
        x_ = XClient::connect(display_->name(), &error);
        ASSERT_TRUE(x_) << error;
        wineEnv_[0] = "DISPLAY=" + display_->name();
        holdServer();
    }

    // The Wine user's own folder in the prefix (drive_c/users/NAME).
    std::string userFolder() const {
        std::error_code error;
        for (const auto& e : std::filesystem::directory_iterator(prefix_ + "/drive_c/users", error))
            if (e.path().filename() != "Public") return e.path().string();
        return prefix_ + "/drive_c/users/nobody";
    }

    // Where the window's place is remembered: %APPDATA%\Kestrova.
    std::string settingsFolder() const { return userFolder() + "/AppData/Roaming/Kestrova"; }

    // A path on the prefix's drive C: as the host sees it.
    std::string hostPath(std::string path) const {
        if (path.rfind("C:\\", 0) != 0) return "";
        std::replace(path.begin(), path.end(), '\\', '/');
        return prefix_ + "/drive_c/" + path.substr(3);
    }

    std::string exe_, probe_, prefix_, wine_, xdotool_, xvfb_;
    std::vector<std::string> wineEnv_;
    TempDir work_;
    std::unique_ptr<VirtualDisplay> display_;
    std::unique_ptr<XClient> x_;
    std::vector<pid_t> running_;
};

TEST(WineResources, WindresAndLlvmRcGiveTheSameResources) {
    const std::string windresFile = fromEnvironment("KESTROVA_WINDRES_RES");
    ASSERT_FALSE(windresFile.empty()) << "run through the windows build's tests";
    const std::vector<std::uint8_t> llvm = readBytes(KESTROVA_RES_FILE),
                                    windres = readBytes(windresFile);
    std::string error;
    const std::optional<kdev::ResourceImage> a = kdev::ResourceImage::parse(llvm, &error);
    ASSERT_TRUE(a) << "llvm-rc: " << error;
    const std::optional<kdev::ResourceImage> b = kdev::ResourceImage::parse(windres, &error);
    ASSERT_TRUE(b) << "windres: " << error;
    // The same entries, in any order, with the same bytes: what the memory flags say (which the
    // executable does not keep) aside, the two compilers agree on every resource.
    auto key = [](const kdev::ResourceEntry& e) {
        auto id = [](const kdev::ResId& r) {
            return r.isOrdinal ? std::to_string(r.ordinal)
                               : std::string(r.name.begin(), r.name.end());
        };
        return id(e.type) + "/" + id(e.name) + "/" + std::to_string(e.language);
    };
    std::map<std::string, kdev::Bytes> fromLlvm, fromWindres;
    for (const kdev::ResourceEntry& e : a->entries()) fromLlvm[key(e)] = e.data;
    for (const kdev::ResourceEntry& e : b->entries()) fromWindres[key(e)] = e.data;
    ASSERT_EQ(fromLlvm.size(), 7u) << "two icons and their group, menu, bitmap, dialog, strings";
    for (const auto& [name, data] : fromLlvm) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(fromWindres.count(name)) << "windres lacks it";
        EXPECT_TRUE(std::equal(data.begin(), data.end(), fromWindres[name].begin(),
                               fromWindres[name].end()))
            << data.size() << " bytes from llvm-rc, " << fromWindres[name].size()
            << " from windres";
    }
    EXPECT_EQ(fromLlvm.size(), fromWindres.size());
}

// The main window's client area is the display; the drawing commands, chosen with the pointer
// from the real menu, leave the headless device's pictures there; Exit ends with 0.
TEST_F(WineTest, LinesCirclesAndBitBltDrawTheDevicesPictures) {
    const Display d{{"--zoom", "1"}};
    const std::vector<RgbImage> device =
        devicePictures(d, {"menu Tools/Lines", "menu Tools/Circles", "menu Tools/BitBlt"});
    const pid_t pid = start(d.options, "kestrova");
    const std::vector<Probed> window = waitForMainWindow();
    ASSERT_GE(window.size(), 2u) << "no main window; stderr: "
                                 << readFile(work_.file("kestrova.err"));
    const Geometry client = window[0].rect("client");
    EXPECT_EQ(window[0]["class"], "KESTROVA");
    EXPECT_EQ(client.width, 240);
    EXPECT_EQ(client.height, 320);
    const Geometry bar = window[1].rect("rect");
    EXPECT_EQ(window[1]["class"], "CommandBar");
    EXPECT_EQ(window[1]["id"], "1");
    EXPECT_EQ(bar.x, client.x);
    EXPECT_EQ(bar.y, client.y);
    EXPECT_EQ(bar.width, 240);
    EXPECT_EQ(bar.height, kBarHeight);

    const std::pair<MenuItemIndex, const char*> commands[] = {
        {kLines, "Lines"}, {kCircles, "Circles"}, {kBitBlt, "BitBlt"}};
    for (std::size_t i = 0; i < std::size(commands); ++i) {
        ASSERT_NO_FATAL_FAILURE(choose(client, d.zoom, commands[i].first));
        expectPicture(client, d, device[i], commands[i].second);
    }

    ASSERT_NO_FATAL_FAILURE(choose(client, d.zoom, kExit));
    EXPECT_EQ(finish(pid, 20s), 0) << readFile(work_.file("kestrova.err"));
}

// The screen memory in every layout and format the device has, at the zoom: odd widths (whose
// DIB rows are padded to whole words), rows longer than the display, right-to-left rows, a
// panel turned upright; each device pixel as zoom x zoom pixels of the desktop.
TEST_F(WineTest, EveryLayoutFormatAndZoom) {
    const Display cases[] = {
        {{"--zoom", "2"}, 240, 320, 2, true},
        {{"--zoom", "1", "--display", "241x323", "--layout", "padded"}, 241, 323, 1, true},
        {{"--zoom", "1", "--layout", "mirrored", "--format", "555"}, 240, 320, 1, false},
        {{"--zoom", "1", "--display", "320x240", "--layout", "rotated"}, 320, 240, 1, true},
    };
    for (const Display& d : cases) {
        SCOPED_TRACE(d.name());
        const std::vector<RgbImage> device = devicePictures(d, {"menu Tools/Lines"});
        const pid_t pid = start(d.options, "kestrova");
        const std::vector<Probed> window = waitForMainWindow();
        ASSERT_GE(window.size(), 2u) << readFile(work_.file("kestrova.err"));
        const Geometry client = window[0].rect("client");
        EXPECT_EQ(client.width, d.width * d.zoom);
        EXPECT_EQ(client.height, d.height * d.zoom);
        EXPECT_EQ(window[1].rect("rect").height, kBarHeight * d.zoom);
        ASSERT_NO_FATAL_FAILURE(choose(client, d.zoom, kLines));
        expectPicture(client, d, device[0], "Lines");
        std::optional<XWindow> x;
        ASSERT_TRUE(waitUntil([&] { return (x = mainXWindow()).has_value(); }, 10s));
        x_->requestClose(*x);
        EXPECT_EQ(finish(pid, 20s), 0);
        ASSERT_TRUE(waitUntil([&] { return probe({"window", "Kestrova"}).empty(); }, 20s));
    }
}

// On a 1024x768 desktop the window, caption and frame included, opens centred in the work
// area at the largest zoom up to the one wanted that fits there: with a --zoom too large
// (lowered, said in one line on stderr), without --zoom (up to 2) and with a 640x480 display.
// Ctrl+1 to Ctrl+8 and Ctrl+0 keep it inside at every zoom.
TEST_F(WineTest, WindowFitsTheWorkAreaAtEveryZoom) {
    ASSERT_NO_FATAL_FAILURE(restartDisplay("1024x768"));
    // The window's line once its client area is width x height times a zoom that fits.
    auto placed = [&](int width, int height, int* zoom) {
        std::vector<Probed> window;
        waitUntil(
            [&] {
                window = probe({"window", "Kestrova"});
                return window.size() >= 2 && window[0]["visible"] == "1" &&
                       window[0].rect("client").width % width == 0 &&
                       (*zoom == 0 || window[0].rect("client").width == width * *zoom);
            },
            60s);
        EXPECT_GE(window.size(), 2u) << "no window at zoom " << *zoom;
        if (window.empty()) return Probed{};
        const Geometry client = window[0].rect("client"), frame = window[0].rect("frame"),
                       work = window[0].rect("work");
        EXPECT_EQ(work.width, 1024);
        EXPECT_TRUE(frame.x >= work.x && frame.y >= work.y &&
                    frame.x + frame.width <= work.x + work.width &&
                    frame.y + frame.height <= work.y + work.height)
            << "frame " << frame.x << "," << frame.y << " " << frame.width << "x" << frame.height;
        const int z = client.width / width;
        EXPECT_EQ(client.height, height * z);
        // One more would not fit.
        EXPECT_TRUE(frame.width + width > work.width || frame.height + height > work.height ||
                    (*zoom != 0 && z == *zoom) || z == 8)
            << "zoom " << z << " is not the largest that fits";
        *zoom = z;
        return window[0];
    };
    auto centred = [](const Probed& w) {
        const Geometry frame = w.rect("frame"), work = w.rect("work");
        EXPECT_LE(std::abs(2 * (frame.x - work.x) + frame.width - work.width), 1);
        EXPECT_LE(std::abs(2 * (frame.y - work.y) + frame.height - work.height), 1);
    };

    struct Case {
        std::vector<std::string> options;
        int width, height, wanted;
    };
    const Case cases[] = {
        {{"--zoom", "8"}, 240, 320, 8},
        {{}, 240, 320, 0},
        {{"--display", "640x480"}, 640, 480, 0},
        // 752 pixels high at zoom 2: the screen's 768 hold the client area, not the caption too.
        {{"--display", "360x376", "--zoom", "2"}, 360, 376, 2}};
    for (const Case& c : cases) {
        SCOPED_TRACE(Display{c.options}.name());
        std::filesystem::remove_all(settingsFolder());  // each opens as the first time
        const pid_t pid = start(c.options, "fit");
        int zoom = 0;
        Probed window = placed(c.width, c.height, &zoom);
        centred(window);
        const std::string err = readFile(work_.file("fit.err"));
        if (c.wanted > zoom) {
            EXPECT_EQ(err, "kestrova: --zoom " + std::to_string(c.wanted) +
                               " does not fit the desktop (" +
                               std::to_string(window.rect("work").width) + "x" +
                               std::to_string(window.rect("work").height) +
                               " usable); using zoom " + std::to_string(zoom) + "\n");
        } else {
            EXPECT_EQ(err, "");
        }
        if (c.options.empty()) {
            // The title names the geometry once the notice has gone.
            EXPECT_TRUE(waitUntil(
                [&] {
                    const std::vector<Probed> w = probe({"window", "Kestrova"});
                    return !w.empty() && w[0]["title"] == kTitle;
                },
                30s));
            for (const int wanted : {1, 3, 2, 8, 5, 0}) {
                SCOPED_TRACE("Ctrl+" + std::to_string(wanted));
                // Without a window manager the keyboard goes to the window under the pointer.
                const Geometry client = window.rect("client");
                ASSERT_NO_FATAL_FAILURE(pointAndKey(client.x + client.width / 2,
                                                    client.y + client.height / 2,
                                                    "ctrl+" + std::to_string(wanted)));
                int expected = wanted == 0 ? 0 : std::min(wanted, 2);
                window = placed(c.width, c.height, &expected);
            }
        }
        std::optional<XWindow> x;
        ASSERT_TRUE(waitUntil([&] { return (x = mainXWindow()).has_value(); }, 10s));
        x_->requestClose(*x);
        EXPECT_EQ(finish(pid, 20s), 0);
        ASSERT_TRUE(waitUntil([&] { return probe({"window", "Kestrova"}).empty(); }, 20s));
    }
}

// About: the real dialog manager builds dialog 103 from the template (caption, icon, texts, the
// OK button, in that order), modal over the main window; its OK button closes it.
TEST_F(WineTest, AboutIsTheTemplatesDialogAndOkClosesIt) {
    const pid_t pid = start({"--zoom", "1"}, "kestrova");
    const std::vector<Probed> window = waitForMainWindow();
    ASSERT_GE(window.size(), 2u) << readFile(work_.file("kestrova.err"));
    const Geometry client = window[0].rect("client");
    ASSERT_NO_FATAL_FAILURE(choose(client, 1, kAbout));

    std::vector<Probed> about;
    ASSERT_TRUE(waitUntil(
        [&] {
            return (about = probe({"window", "About Kestrova"})).size() == 6;
        },
        20s))
        << "no About dialog with five controls";
    EXPECT_EQ(about[0]["class"], "#32770");
    EXPECT_EQ(about[0]["visible"], "1");
    // Over the main window, not in the middle of the screen.
    const Geometry dialog = about[0].rect("frame"), main = window[0].rect("frame");
    EXPECT_LE(std::abs(2 * (dialog.x - main.x) + dialog.width - main.width), 1);
    EXPECT_LE(std::abs(2 * (dialog.y - main.y) + dialog.height - main.height), 1);
    struct Expected {
        const char* cls;
        const char* id;
        const char* style;
        const char* text;  // null: an icon
    };
    const Expected controls[] = {
        {"Static", "65535", "50000003", nullptr},
        {"Static", "65535", "50020080", "Kestrova Version 1.1"},
        {"Static", "65535", "50020001", "By the Kestrova team"},
        {"Button", "1", "50010000", "OK"},
        {"Static", "65535", "50020001",
         "Cat photograph (CC0) by\\nStefan van der Walt\\nscikit-image.org"},
    };
    for (std::size_t i = 0; i < std::size(controls); ++i) {
        SCOPED_TRACE(i);
        const Probed& c = about[i + 1];
        EXPECT_EQ(c["class"], controls[i].cls);
        EXPECT_EQ(c["id"], controls[i].id);
        EXPECT_EQ(c["style"], controls[i].style);
        if (controls[i].text)
            EXPECT_EQ(c["text"], controls[i].text);
        else
            EXPECT_EQ(c["icon"], "1") << "the static control shows no icon";
    }
    EXPECT_EQ(probe({"window", "Kestrova"})[0]["enabled"], "0") << "the dialog is not modal";
    const std::optional<XWindow> aboutX = x_->windowNamed("About Kestrova");
    ASSERT_TRUE(aboutX) << "the dialog is not on the X screen";
    // Its icon on the desktop is the program's, as the main window's, not Wine's default.
    const std::optional<XWindow> mainX = mainXWindow();
    ASSERT_TRUE(mainX);
    EXPECT_FALSE(x_->cardinals(*mainX, "_NET_WM_ICON").empty());
    EXPECT_EQ(x_->cardinals(*aboutX, "_NET_WM_ICON"), x_->cardinals(*mainX, "_NET_WM_ICON"));

    const Geometry ok = about[4].rect("rect");
    click(ok.x + ok.width / 2, ok.y + ok.height / 2);
    EXPECT_TRUE(waitUntil(
        [&] {
            return probe({"window", "About Kestrova"}).empty();
        },
        20s))
        << "OK did not close the dialog";
    EXPECT_EQ(probe({"window", "Kestrova"})[0]["enabled"], "1");

    ASSERT_NO_FATAL_FAILURE(choose(client, 1, kExit));
    EXPECT_EQ(finish(pid, 20s), 0);
}

// The window manager's close request (the close button on the window's frame) ends the program
// as Exit does.
TEST_F(WineTest, WindowManagersCloseEndsWithZero) {
    const pid_t pid = start({}, "kestrova");
    ASSERT_GE(waitForMainWindow().size(), 2u) << readFile(work_.file("kestrova.err"));
    std::optional<XWindow> x;
    ASSERT_TRUE(waitUntil([&] { return (x = mainXWindow()).has_value(); }, 10s));
    x_->requestClose(*x);
    EXPECT_EQ(finish(pid, 20s), 0) << readFile(work_.file("kestrova.err"));
}

// A second start brings the running one forward and ends with 0; with the About dialog open,
// the dialog comes forward too, with the focus: the handheld's "owned windows too" flag. What
// covers them is another program's window, as on a desktop.
TEST_F(WineTest, SecondStartBringsTheFirstForwardAndEndsWithZero) {
    const pid_t first = start({"--zoom", "1"}, "first");
    const std::vector<Probed> window = waitForMainWindow();
    ASSERT_GE(window.size(), 2u) << readFile(work_.file("first.err"));
    std::optional<XWindow> main;
    ASSERT_TRUE(waitUntil([&] { return (main = mainXWindow()).has_value(); }, 10s));

    std::optional<XWindow> cover = showCover();
    ASSERT_TRUE(cover && x_->isAbove(*cover, *main)) << "no cover over the window";
    EXPECT_EQ(finish(start({}, "second"), 30s), 0) << readFile(work_.file("second.err"));
    EXPECT_TRUE(waitUntil([&] { return x_->isAbove(*main, *cover); }, 10s))
        << "the first window was not brought forward";
    std::vector<Probed> foreground = probe({"foreground"});
    ASSERT_FALSE(foreground.empty());
    EXPECT_EQ(foreground[0]["title"], kTitle);

    ASSERT_NO_FATAL_FAILURE(choose(window[0].rect("client"), 1, kAbout));
    std::optional<XWindow> about;
    ASSERT_TRUE(
        waitUntil([&] { return (about = x_->windowNamed("About Kestrova")).has_value(); }, 20s));
    cover = showCover();
    ASSERT_TRUE(cover && x_->isAbove(*cover, *about) && x_->isAbove(*cover, *main))
        << "no cover over the window and its dialog";
    EXPECT_EQ(finish(start({}, "third"), 30s), 0) << readFile(work_.file("third.err"));
    // The window system's order: the dialog, its owner right beneath it, then the cover. (Wine's
    // X stacking of the disabled owner does not always follow it, so the X screen is not asked.)
    std::vector<Probed> order;
    EXPECT_TRUE(waitUntil(
        [&] {
            order = probe({"order"});
            return order.size() >= 3 && order[0]["title"] == "About Kestrova" &&
                   order[1]["title"] == kTitle && order[2]["title"] == "Cover";
        },
        10s))
        << "the window and its dialog were not brought forward";
    EXPECT_TRUE(waitUntil([&] { return x_->isAbove(*about, *cover); }, 10s));
    EXPECT_TRUE(waitUntil(
        [&] {
            foreground = probe({"foreground"});
            return !foreground.empty() && foreground[0]["title"] == "About Kestrova";
        },
        10s))
        << "the dialog does not have the focus";
    EXPECT_FALSE(finish(first, 0ms)) << "the first instance ended";
}

// F10, the system key, opens the Tools menu on its first item, as on the device; Return
// chooses it.
TEST_F(WineTest, F10OpensTheToolsMenuFromTheKeyboard) {
    const Display d{{"--zoom", "1"}};
    const std::vector<RgbImage> device = devicePictures(d, {"key F10\nkey Return"});
    const pid_t pid = start(d.options, "kestrova");
    const std::vector<Probed> window = waitForMainWindow();
    ASSERT_GE(window.size(), 2u) << readFile(work_.file("kestrova.err"));
    const Geometry client = window[0].rect("client");
    click(client.x + 120, client.y + 200);  // the main window has the focus
    key("F10");
    EXPECT_TRUE(waitUntil([&] { return !probe({"menu"}).empty(); }, 20s)) << "no menu";
    key("Return");
    expectPicture(client, d, device[0], "F10, Return");
    ASSERT_NO_FATAL_FAILURE(choose(client, d.zoom, kExit));
    EXPECT_EQ(finish(pid, 20s), 0);
}

// F12 saves the device's screen as a PNG, one pixel per device pixel, into Pictures\Kestrova
// under the Linux window's name for it, and says where on stderr: below the bar it is the
// headless device's screenshot, byte for byte; the bar is the one the window shows. A name
// already taken gets -2 (the pictures already there, one for each second of the next two
// minutes, are left alone), a second F12 a file of its own, and nothing else is left. With
// nowhere to write, F12 says it could not.
TEST_F(WineTest, F12SavesTheScreenAsTheHeadlessPicture) {
    const Display d{{"--zoom", "2", "--format", "555"}, 240, 320, 2, false};
    const std::vector<RgbImage> device = devicePictures(d, {"menu Tools/Circles"});
    const pid_t pid = start(d.options, "kestrova");
    const std::vector<Probed> window = waitForMainWindow();
    ASSERT_GE(window.size(), 2u) << readFile(work_.file("kestrova.err"));
    const Geometry client = window[0].rect("client");
    ASSERT_NO_FATAL_FAILURE(choose(client, d.zoom, kCircles));
    expectPicture(client, d, device[0], "Circles");

    const std::string folder = userFolder() + "/Pictures/Kestrova";
    std::filesystem::create_directories(folder);
    std::set<std::string> taken;
    for (std::time_t t = std::time(nullptr), end = t + 120; t < end; ++t) {
        std::tm local{};
        localtime_r(&t, &local);
        char name[64];
        std::strftime(name, sizeof name, "/kestrova-%Y%m%d-%H%M%S.png", &local);
        std::ofstream(folder + name) << "taken";
        taken.insert(folder + name);
    }

    std::vector<std::string> saved;  // the paths stderr names
    for (int press = 1; press <= 2; ++press) {
        ASSERT_NO_FATAL_FAILURE(
            pointAndKey(client.x + client.width / 2, client.y + client.height / 2, "F12"));
        std::string err;
        ASSERT_TRUE(waitUntil(
            [&] {
                err = readFile(work_.file("kestrova.err"));
                return std::count(err.begin(), err.end(), '\n') == press;
            },
            30s))
            << "F12 number " << press << " said: " << err;
        std::istringstream lines(err);
        std::string line;
        for (int i = 0; i < press; ++i) std::getline(lines, line);
        const std::string said = "kestrova: screenshot saved to ";
        ASSERT_EQ(line.rfind(said, 0), 0u) << line;
        saved.push_back(line.substr(said.size()));
    }
    ASSERT_NE(saved[0], saved[1]) << "the second picture took the first one's name";
    for (const std::string& path : saved) {
        EXPECT_EQ(std::filesystem::path(hostPath(path)).parent_path().string(), folder);
        EXPECT_TRUE(hostPath(path).ends_with("-2.png") || hostPath(path).ends_with("-3.png"))
            << path << ": its name was taken";
    }
    for (const std::string& path : saved) {
        SCOPED_TRACE(path);
        const std::string name = std::filesystem::path(hostPath(path)).filename().string();
        bool named = name.size() >= 30 && name.rfind("kestrova-", 0) == 0 &&
                     name.substr(name.size() - 4) == ".png" && name[17] == '-';
        for (std::size_t i : {9, 10, 11, 12, 13, 14, 15, 16, 18, 19, 20, 21, 22, 23})
            named = named && i < name.size() && std::isdigit(static_cast<unsigned char>(name[i]));
        EXPECT_TRUE(named) << "not kestrova-YYYYMMDD-HHMMSS[-N].png";
        const std::optional<RgbImage> picture = readPng(hostPath(path));
        ASSERT_TRUE(picture) << "does not decode";
        ASSERT_EQ(picture->width, d.width);
        ASSERT_EQ(picture->height, d.height);
        int wrong = 0;
        for (int y = kBarHeight; y < d.height; ++y)
            for (int x = 0; x < d.width; ++x) wrong += picture->at(x, y) != device[0].at(x, y);
        EXPECT_EQ(wrong, 0) << "pixels below the bar that differ from the device's";
        // The bar's face (the device's 0xD4D0C8), not the black screen memory beneath it.
        EXPECT_EQ(picture->at(d.width / 2, kBarHeight / 2), 0xC8D0D4u);
    }
    std::set<std::string> left, expected = taken;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        left.insert(e.path().string());
    for (const std::string& path : saved) expected.insert(hostPath(path));
    EXPECT_EQ(left, expected) << "something besides the pictures";
    for (const std::string& path : taken) EXPECT_EQ(readFile(path), "taken") << path;
    for (const std::string& path : left) std::filesystem::remove(path);
    std::error_code ignored;
    std::filesystem::remove(folder, ignored);  // Wine's Pictures may be the user's home

    // Nowhere to put it (a file where the folder goes): said as a failure, and the program
    // goes on.
    std::ofstream(folder) << "not a folder";
    ASSERT_NO_FATAL_FAILURE(
        pointAndKey(client.x + client.width / 2, client.y + client.height / 2, "F12"));
    std::string err;
    EXPECT_TRUE(waitUntil(
        [&] {
            err = readFile(work_.file("kestrova.err"));
            return std::count(err.begin(), err.end(), '\n') == 3;
        },
        30s));
    EXPECT_NE(err.find("\nkestrova: cannot save a screenshot: "), std::string::npos) << err;
    EXPECT_EQ(readFile(folder), "not a folder");
    std::filesystem::remove(folder, ignored);

    ASSERT_NO_FATAL_FAILURE(choose(client, d.zoom, kExit));
    EXPECT_EQ(finish(pid, 20s), 0);
}

// Alt+Enter: the window covers its monitor without caption or frame, the picture at the
// largest whole zoom in the middle, black around, the bar on the picture; Alt+Enter again puts
// it back where it was, at its zoom. Letting go of Alt opens no menu. Ended while filling the
// monitor, it remembers the window's place.
TEST_F(WineTest, AltEnterFillsTheMonitorAndReturns) {
    Display d{{"--zoom", "1"}};
    const std::vector<RgbImage> device = devicePictures(d, {"menu Tools/Lines"});
    const pid_t pid = start(d.options, "kestrova");
    const std::vector<Probed> window = waitForMainWindow();
    ASSERT_GE(window.size(), 2u) << readFile(work_.file("kestrova.err"));
    const Geometry client = window[0].rect("client");
    ASSERT_NO_FATAL_FAILURE(choose(client, d.zoom, kLines));
    expectPicture(client, d, device[0], "Lines");

    // 1280x1024: zoom 3 (1024 / 320), the picture 720x960 at (280, 32).
    ASSERT_NO_FATAL_FAILURE(pointAndKey(client.x + 120, client.y + 200, "alt+Return"));
    std::vector<Probed> full;
    ASSERT_TRUE(waitUntil(
        [&] {
            full = probe({"window", "Kestrova"});
            return full.size() >= 2 && full[0]["frame"] == "0,0,1280,1024" &&
                   full[1].rect("rect").width == 720;
        },
        30s))
        << "the window did not come to fill the monitor";
    EXPECT_EQ(full[0]["client"], "0,0,1280,1024") << "a caption or frame is left";
    EXPECT_EQ(full[1]["rect"], "280,32,720,78");
    d.zoom = 3;
    expectPicture({280, 32, 720, 960}, d, device[0], "Lines, filling the monitor");
    const Shot around = x_->grab({0, 0, 1280, 1024});
    for (const auto& [x, y] : {std::pair{10, 10}, {279, 500}, {1000, 500}, {640, 1000}})
        EXPECT_EQ(around.at(x, y) & 0xFFFFFF, 0u) << "not black at " << x << "," << y;
    EXPECT_TRUE(probe({"menu"}).empty()) << "letting go of Alt opened the menu";

    ASSERT_NO_FATAL_FAILURE(pointAndKey(640, 500, "alt+Return"));
    std::vector<Probed> back;
    ASSERT_TRUE(waitUntil(
        [&] {
            back = probe({"window", "Kestrova"});
            return back.size() >= 2 && back[0]["frame"] == window[0]["frame"];
        },
        30s))
        << "the window did not go back to " << window[0]["frame"];
    EXPECT_EQ(back[0]["client"], window[0]["client"]);
    EXPECT_EQ(back[0]["style"], window[0]["style"]);
    EXPECT_EQ(back[1]["rect"], window[1]["rect"]);
    d.zoom = 1;
    expectPicture(client, d, device[0], "Lines, back in the window");
    EXPECT_TRUE(probe({"menu"}).empty()) << "letting go of Alt opened the menu";

    // Ended while it fills the monitor, with the bar's menu there: the place remembered is the
    // window's.
    ASSERT_NO_FATAL_FAILURE(pointAndKey(client.x + 120, client.y + 200, "alt+Return"));
    ASSERT_TRUE(waitUntil(
        [&] {
            full = probe({"window", "Kestrova"});
            return full.size() >= 2 && full[1]["rect"] == "280,32,720,78";
        },
        30s));
    ASSERT_NO_FATAL_FAILURE(choose({280, 32, 720, 960}, 3, kExit));
    EXPECT_EQ(finish(pid, 20s), 0);
    EXPECT_NE(readFile(settingsFolder() + "/window.conf")
                  .find("1280x1024 240x320 1 " + std::to_string(client.x) + " " +
                        std::to_string(client.y) + "\r\n"),
              std::string::npos)
        << readFile(settingsFolder() + "/window.conf");
}

// The window opens where it was last closed, at its zoom, for the same desktop and display:
// zoomed out, moved, closed, started again. Remembered where it no longer fits, it opens
// centred; from a damaged file, centred at zoom 2 with one line on stderr, and the program
// still ends with 0; the file is whole again afterwards.
TEST_F(WineTest, ThePlaceIsRememberedBetweenRuns) {
    const std::string file = settingsFolder() + "/window.conf";
    auto startAndWait = [&](const std::string& name) {
        const pid_t pid = start({}, name);
        const std::vector<Probed> window = waitForMainWindow();
        EXPECT_GE(window.size(), 2u) << readFile(work_.file(name + ".err"));
        return std::pair{pid, window.empty() ? Probed{} : window[0]};
    };
    auto closeWindow = [&](pid_t pid) {
        std::optional<XWindow> x;
        ASSERT_TRUE(waitUntil([&] { return (x = mainXWindow()).has_value(); }, 10s));
        x_->requestClose(*x);
        EXPECT_EQ(finish(pid, 20s), 0);
        ASSERT_TRUE(waitUntil([&] { return probe({"window", "Kestrova"}).empty(); }, 20s));
    };
    auto centred = [](const Probed& w) {
        const Geometry frame = w.rect("frame"), work = w.rect("work");
        return std::abs(2 * (frame.x - work.x) + frame.width - work.width) <= 1 &&
               std::abs(2 * (frame.y - work.y) + frame.height - work.height) <= 1;
    };

    const auto [first, opened] = startAndWait("first");
    EXPECT_TRUE(centred(opened)) << opened["frame"];
    EXPECT_EQ(opened.rect("client").width, 480) << "zoom 2 the first time";
    const Geometry client = opened.rect("client");
    ASSERT_NO_FATAL_FAILURE(
        pointAndKey(client.x + client.width / 2, client.y + client.height / 2, "ctrl+1"));
    std::vector<Probed> moved;
    ASSERT_TRUE(waitUntil(
        [&] {
            moved = probe({"move", "Kestrova", "100", "80"});
            return !moved.empty() && moved[0].rect("client").width == 240 &&
                   moved[0].rect("frame").x == 100 && moved[0].rect("frame").y == 80;
        },
        30s))
        << "the window was not zoomed out and moved";
    ASSERT_NO_FATAL_FAILURE(closeWindow(first));
    EXPECT_TRUE(std::filesystem::exists(file));

    const auto [second, reopened] = startAndWait("second");
    EXPECT_EQ(reopened["frame"], moved[0]["frame"]) << "not where it was closed";
    EXPECT_EQ(reopened["client"], moved[0]["client"]);
    EXPECT_EQ(readFile(work_.file("second.err")), "");
    ASSERT_NO_FATAL_FAILURE(closeWindow(second));

    // Off the desktop, its zoom still counts.
    const struct {
        std::string text, warning;
        int zoom;
    } cases[] = {
        {"# off the desktop\n1280x1024 240x320 1 5000 -3000\n", "", 1},
        {"1280x1024 240x320 1 100\n\x01\x02 garbage\n", "is damaged at line 1", 2},
        {std::string(70000, 'x'), "is damaged", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        {
            std::ofstream out(file, std::ios::binary | std::ios::trunc);
            out << c.text;
        }
        const auto [pid, w] = startAndWait("again");
        EXPECT_TRUE(centred(w)) << w["frame"];
        EXPECT_EQ(w.rect("client").width, 240 * c.zoom);
        const std::string err = readFile(work_.file("again.err"));
        if (c.warning.empty()) {
            EXPECT_EQ(err, "");
        } else {
            EXPECT_NE(err.find(c.warning), std::string::npos) << err;
            EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        }
        ASSERT_NO_FATAL_FAILURE(closeWindow(pid));
        // Written whole again, with the place it was closed at.
        const Geometry at = w.rect("client");
        const std::string text = readFile(file);
        EXPECT_NE(text.find("1280x1024 240x320 " + std::to_string(c.zoom) + " " +
                            std::to_string(at.x) + " " + std::to_string(at.y) + "\r\n"),
                  std::string::npos)
            << text;
        EXPECT_EQ(text.find("garbage"), std::string::npos);
        EXPECT_EQ(text.find("xxx"), std::string::npos);
    }
}

// What the real platform answers where the device once differed: WM_INITDIALOG names the first
// tab stop (the OK button), a close request becomes a posted cancel, and LoadBitmapW's bitmap
// is in the screen's format. The device's own tests hold it to the same answers.
TEST_F(WineTest, TheRealPlatformAnswersAsTheDevice) {
    const std::vector<Probed> dialog = probe({"dialog", windowsPath(exe_)});
    ASSERT_EQ(dialog.size(), 5u);
    EXPECT_EQ(dialog[0].kind, "initdialog");
    EXPECT_EQ(dialog[0]["focus"], "1");
    EXPECT_EQ(dialog[0]["class"], "Button");
    EXPECT_EQ(dialog[0]["param"], "77");
    EXPECT_EQ(dialog[1].kind, "close");
    EXPECT_EQ(dialog[2].kind, "marker") << "the cancel came before what was queued ahead of it";
    EXPECT_EQ(dialog[3].kind, "command");
    EXPECT_EQ(dialog[3]["id"], "2");
    EXPECT_EQ(dialog[3]["code"], "0");
    EXPECT_EQ(dialog[4]["result"], "7");

    const std::vector<Probed> bitmap = probe({"bitmap", windowsPath(exe_)});
    ASSERT_EQ(bitmap.size(), 1u);
    EXPECT_EQ(bitmap[0]["width"], "155");
    EXPECT_EQ(bitmap[0]["height"], "115");
    EXPECT_EQ(bitmap[0]["bitsPixel"], bitmap[0]["screenBits"]) << "not in the screen's format";
    const int bits = std::atoi(bitmap[0]["bitsPixel"].c_str());
    EXPECT_EQ(std::atoi(bitmap[0]["widthBytes"].c_str()), (155 * bits + 15) / 16 * 2)
        << "rows of whole 16-bit words";
}

// The Windows build's options are the device build's display options; a bad one is one line
// on stderr and exit code 2, and a message box as well when there is nowhere to write it.
TEST_F(WineTest, BadOptionsGetOneLineAndExitCode2) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"--zoom", "9"},
                                                 {"--display", "0x5"},
                                                 {"--layout", "sideways"},
                                                 {"--headless"}}) {
        SCOPED_TRACE(args[0]);
        EXPECT_EQ(finish(start(args, "bad"), 30s), 2);
        const std::string err = readFile(work_.file("bad.err"));
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
        EXPECT_EQ(err.rfind("kestrova: ", 0), 0u) << err;
        EXPECT_NE(err.find(args[0]), std::string::npos) << err;
    }
    EXPECT_EQ(finish(start({"--version"}, "version"), 30s), 0)
        << readFile(work_.file("version.err"));
    EXPECT_EQ(readFile(work_.file("version.out")), "kestrova " KESTROVA_VERSION "\n");
    EXPECT_EQ(finish(start({"--help"}, "help"), 30s), 0) << readFile(work_.file("help.err"));
    EXPECT_NE(readFile(work_.file("help.out")).find("--layout"), std::string::npos);

    // Started as the desktop's shell starts it, with no console and no standard handles: the
    // line in a message box.
    SpawnOptions options;
    options.env = wineEnv_;
    const pid_t pid = spawnWith({wine_, probe_, "run", windowsPath(exe_), "--zoom", "0"}, options);
    ASSERT_GT(pid, 0);
    running_.push_back(pid);
    std::vector<Probed> box;
    ASSERT_TRUE(waitUntil(
        [&] {
            return !(box = probe({"window", "Kestrova"})).empty();
        },
        30s))
        << "no message box";
    EXPECT_EQ(box[0]["class"], "#32770");
    bool saysWhy = false;
    for (const Probed& c : box) saysWhy = saysWhy || c["text"].find("--zoom") != std::string::npos;
    EXPECT_TRUE(saysWhy) << "the box does not name the option";
    key("Return");
    EXPECT_EQ(finish(pid, 30s), 2);
}

}  // namespace

namespace {

// Every file under `folder` (relative paths), Wine's own temporary files aside.
std::set<std::string> filesUnder(const std::string& folder) {
    std::set<std::string> files;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        const std::string path = std::filesystem::relative(it->path(), folder).string();
        if (path.find("/Temp/") == std::string::npos && !it->is_directory()) files.insert(path);
    }
    return files;
}

// The lines of the prefix's registry files that name Kestrova or its MSI's codes.
std::vector<std::string> registryLinesAbout(const std::string& prefix) {
    std::vector<std::string> lines;
    for (const char* file : {"user.reg", "system.reg", "userdef.reg"}) {
        std::istringstream in(readFile(prefix + "/" + file));
        for (std::string line; std::getline(in, line);) {
            std::string lower = line;
            std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
            if (lower.find("kestrova") != std::string::npos) lines.push_back(file + (": " + line));
        }
    }
    return lines;
}

}  // namespace

// What a Windows user downloads, in a prefix of its own: the zip's kestrova.exe runs from a
// folder of any name, started from elsewhere; the MSI installs without a question, puts a
// Start-menu shortcut, the installed program runs and ends with 0, and uninstalling removes
// every file and registry entry the installer added.
TEST_F(WineTest, ZipRunsAnywhereAndTheMsiInstallsAndUninstallsCleanly) {
    const std::string zip = fromEnvironment("KESTROVA_ZIP"), msi = fromEnvironment("KESTROVA_MSI");
    ASSERT_FALSE(zip.empty() || msi.empty()) << "run through the windows build's tests";
    const std::string prefix = work_.file("fresh prefix");
    const std::vector<std::string> sharedEnv = wineEnv_;
    stopWine();  // the shared prefix's server; from here on only the new prefix's runs
    wineEnv_[1] = "WINEPREFIX=" + prefix;
    ASSERT_EQ(run({wine_, "wineboot", "--init"}, 180s), 0) << "wineboot failed";
    stopWine();
    holdServer();

    // The zip: one folder, unpacked where a user might, run by its full path.
    const std::string unpacked = work_.file("Downloads (new)");
    std::filesystem::create_directories(unpacked);
    SpawnOptions quiet;
    const pid_t tar =
        spawnWith({"/bin/sh", "-c", "cd \"$0\" && cmake -E tar xf \"$1\"", unpacked, zip}, quiet);
    ASSERT_EQ(tar > 0 ? waitKestrovaFor(tar, 30000) : std::nullopt, 0) << "cannot unpack " << zip;
    std::string zipped;
    for (const auto& e : std::filesystem::recursive_directory_iterator(unpacked))
        if (e.path().filename() == "kestrova.exe") zipped = e.path().string();
    ASSERT_FALSE(zipped.empty()) << "no kestrova.exe in the zip";
    EXPECT_EQ(run({wine_, zipped, "--version"}, 60s, work_.file("zip.out")), 0);
    EXPECT_EQ(readFile(work_.file("zip.out")), "kestrova " KESTROVA_VERSION "\n");

    stopWine();
    const std::set<std::string> before = filesUnder(prefix + "/drive_c");
    const std::vector<std::string> registryBefore = registryLinesAbout(prefix);
    holdServer();
    EXPECT_EQ(run({wine_, "msiexec", "/i", windowsPath(msi), "/qn"}, 180s), 0) << "install";
    std::string installed, shortcut;
    for (const std::string& f : filesUnder(prefix + "/drive_c")) {
        if (f.ends_with("/Kestrova/kestrova.exe")) installed = prefix + "/drive_c/" + f;
        if (f.ends_with("/Programs/Kestrova.lnk")) shortcut = f;
    }
    EXPECT_FALSE(shortcut.empty()) << "no Start-menu shortcut";
    ASSERT_FALSE(installed.empty()) << "kestrova.exe was not installed";

    // The installed program runs, shows its window and ends with 0 when closed.
    SpawnOptions options;
    options.env = wineEnv_;
    options.errFile = work_.file("installed.err");
    const pid_t pid = spawnWith({wine_, installed}, options);
    ASSERT_GT(pid, 0);
    running_.push_back(pid);
    const std::vector<Probed> window = waitForMainWindow();
    ASSERT_GE(window.size(), 2u) << readFile(work_.file("installed.err"));
    EXPECT_EQ(window[0]["title"], kTitle);
    std::optional<XWindow> x;
    ASSERT_TRUE(waitUntil([&] { return (x = mainXWindow()).has_value(); }, 10s));
    x_->requestClose(*x);
    EXPECT_EQ(finish(pid, 20s), 0);

    EXPECT_EQ(run({wine_, "msiexec", "/x", windowsPath(msi), "/qn"}, 180s), 0) << "uninstall";
    stopWine();  // the registry is on disk once the server has ended
    // What the program itself wrote for the user (the window's place) stays, as a program's
    // settings do on Windows; the installer's own files go.
    std::vector<std::string> added;
    for (const std::string& f : filesUnder(prefix + "/drive_c"))
        if (!before.count(f) && !f.ends_with("/AppData/Roaming/Kestrova/window.conf"))
            added.push_back(f);
    EXPECT_TRUE(added.empty()) << "left behind: " << testing::PrintToString(added);
    EXPECT_EQ(registryLinesAbout(prefix), registryBefore);
    wineEnv_ = sharedEnv;
}

// The release executable: only Windows' own DLLs (it runs from a zip), no debug information
// (that is in kestrova.exe.debug), a version resource naming the project's version, an icon of
// every size from 16 to 256 pixels in 32-bit colour, and a manifest asking for per-monitor DPI
// awareness and common controls 6.
TEST(WineRelease, ExecutableImportsVersionIconAndManifest) {
    const std::string exe = fromEnvironment("KESTROVA_EXE");
    ASSERT_FALSE(exe.empty()) << "run through the windows build's tests";
    const std::optional<std::string> objdump = findProgram("x86_64-w64-mingw32-objdump");
    const std::optional<std::string> windres = findProgram("x86_64-w64-mingw32-windres");
    ASSERT_TRUE(objdump && windres) << "needs mingw-w64's binutils";
    TempDir work;
    auto output = [&](const std::vector<std::string>& args, const std::string& name) {
        SpawnOptions options;
        options.outFile = work.file(name);
        const pid_t pid = spawnWith(args, options);
        EXPECT_EQ(pid > 0 ? waitKestrovaFor(pid, 60000) : std::nullopt, 0) << args[0];
        return readFile(work.file(name));
    };

    const std::string headers = output({*objdump, "-p", "-h", exe}, "objdump.txt");
    const std::set<std::string> system{"GDI32.dll",        "KERNEL32.dll", "msvcrt.dll",
                                       "SHELL32.dll",      "USER32.dll",   "ole32.dll",
                                       "windowscodecs.dll"};
    std::istringstream lines(headers);
    int dlls = 0;
    for (std::string line; std::getline(lines, line);)
        if (const std::size_t at = line.find("DLL Name: "); at != std::string::npos) {
            ++dlls;
            EXPECT_TRUE(system.count(line.substr(at + 10))) << line;
        }
    EXPECT_GE(dlls, 4);
    EXPECT_EQ(headers.find(".debug_"), std::string::npos) << "debug sections left in";
    EXPECT_NE(headers.find(".gnu_debuglink"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(exe + ".debug"));

    const std::string rc = output({*windres, "-i", exe, "-O", "rc"}, "resources.rc");
    EXPECT_NE(rc.find("VALUE \"FileVersion\", \"" KESTROVA_VERSION "\""), std::string::npos) << rc;
    EXPECT_NE(rc.find("VALUE \"ProductVersion\", \"" KESTROVA_VERSION "\""), std::string::npos);
    EXPECT_NE(rc.find("PerMonitorV2"), std::string::npos) << "no DPI awareness in the manifest";
    EXPECT_NE(rc.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(rc.find("supportedOS"), std::string::npos);

    // The file's icon: the named group, which comes first, with each size in 32 bits.
    output({*windres, "-i", exe, "-O", "res", "-o", work.file("resources.res")}, "res.txt");
    std::string error;
    const std::optional<kdev::ResourceImage> image =
        kdev::ResourceImage::parse(readBytes(work.file("resources.res")), &error);
    ASSERT_TRUE(image) << error;
    const kdev::ResourceEntry* entry =
        image->find(kdev::ResId::fromPointer(RT_GROUP_ICON), kdev::ResId::fromName(u"KESTROVA"));
    ASSERT_TRUE(entry) << "no icon group KESTROVA";
    const kdev::Bytes* group = &entry->data;
    ASSERT_GE(group->size(), 6u);
    const int count = (*group)[4] | (*group)[5] << 8;
    ASSERT_EQ(group->size(), 6u + 14u * static_cast<std::size_t>(count));
    std::set<int> sizes;
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* image = group->data() + 6 + 14 * i;
        sizes.insert(image[0] == 0 ? 256 : image[0]);
        EXPECT_EQ(image[6] | image[7] << 8, 32) << "bits per pixel of image " << i;
    }
    EXPECT_EQ(sizes, (std::set<int>{16, 32, 48, 64, 128, 256}));
}
