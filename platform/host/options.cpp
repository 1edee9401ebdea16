#include "options.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <iostream>

#include "core/pacer.h"
#include "core/trace.h"
#include "snapshot.h"

namespace khost {

namespace {

const char* kKeysHelp =
    "\nInput in the window:\n"
    "  left mouse button    the stylus (tap, drag)\n"
    "  Return, Escape       device keys: choose, cancel\n"
    "  arrow keys           device keys: move in menus\n"
    "  Tab, Space           device keys\n"
    "  F10                  open the command bar's menu\n"
    "  F12                  save a PNG screenshot of the device screen (see below)\n"
    "  Ctrl+1 ... Ctrl+8    zoom 1 to 8; Ctrl+0: the largest zoom that fits the desktop\n"
    "  Alt+Enter            fill the desktop's screen with the window, and back\n"
    "  F7, F8               slow motion: ten times slower, ten times faster (1 to 100000)\n"
    "  closing the window   closes the program's main window\n"
    "\nF12 saves kestrova-YYYYMMDD-HHMMSS.png into --screenshot-dir DIR when given; else into the\n"
    "current folder when Kestrova was started from a terminal (its standard input or standard\n"
    "error is one); else, as from the desktop's menu, into Kestrova/ in the pictures folder\n"
    "(xdg-user-dir PICTURES, or ~/Pictures), made when needed. The title bar and standard error\n"
    "name the file.\n"
    "\nHeadless scripts (--script), one command a line, # starts a comment:\n"
    "  tap X Y | down X Y | move X Y | up X Y | key NAME | menu Tools/Lines | command ID\n"
    "  screenshot FILE.png | dump FILE | idle MS | close\n"
    "\nOn a real frame buffer (--fbdev, --drm), from a Linux virtual console:\n"
    "  a touchscreen or tablet is the stylus, the keyboard gives the device keys above;\n"
    "  the console is in graphics mode while Kestrova runs and back in text mode after it.\n"
    "  End it with Tools > Exit, or SIGTERM from another console or over ssh.\n";

// Device names: 1 to 64 letters, digits, '.', '_' or '-'.
bool validDeviceName(std::string_view name) {
    if (name.empty() || name.size() > 64) return false;
    for (char c : name) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
        if (!ok) return false;
    }
    return true;
}

// --slow: a whole decimal number from kMinSlow to kMaxSlow.
std::optional<int> parseSlow(const std::string& text) {
    if (text.empty() || text.size() > 6) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < kdev::kMinSlow || value > kdev::kMaxSlow) return std::nullopt;
    return value;
}

}  // namespace

DeviceIdentity deviceIdentity(const HostOptions& options, const Desktop& desktop) {
    if (!options.device.empty()) return {"name-" + options.device, "device " + options.device};
    if (options.headless || desktop.key.empty()) return {};
    const kdev::Geometry& g = options.geometry;
    return {desktop.key + "-" + std::to_string(g.width) + "x" + std::to_string(g.height) + "-" +
                std::string(kdev::nameOf(g.format).option) + "-" +
                std::string(kdev::nameOf(g.layout)),
            kdev::geometryName(g) + " on " + desktop.name};
}

std::optional<HostOptions> parseOptions(int argc, char** argv, int* exitCode) {
    HostOptions options;
    kdev::GeometryText display;
    std::vector<std::string> fails;
    bool version = false;

    // An empty name is a mistake (an unset shell variable, say), not a request for nothing.
    const CLI::Validator named(
        [](std::string& value) {
            return value.empty() ? std::string("the name is empty") : std::string();
        },
        "");

    CLI::App app{
        "Kestrova, a demonstration program for 16-bit handhelds, on an emulated handheld shown in "
        "a window: its one window fills the handheld's screen, with a command bar whose Tools "
        "menu draws straight into the frame buffer.",
        "kestrova"};
    kdev::addDisplayOptions(app, &display, &options.zoom);
    app.add_option("--device", options.device,
                   "Name the emulated device: runs meet as instances only on the same device "
                   "(default: a window's desktop and geometry; headless, a device of its own)");
    app.add_flag("--headless", options.headless, "No window: input from --script, output to files");
    app.add_option("--script", options.script, "Headless input script (- for standard input)")
        ->check(named);
    app.add_option("--trace", options.trace,
                   "Write window-system events as JSON lines to this file (- for stderr)")
        ->check(named);
    app.add_option("--fail", fails, "Make a platform operation fail (repeatable)")
        ->check(CLI::IsMember({"display", "framebuffer", "alloc", "bitmap"}));
    app.add_option("--tour", options.tour,
                   "Headless: choose each menu command in turn, saving DIR/NN-name.png")
        ->check(named);
    std::string fbdev, drm;
    app.add_option("--fbdev", fbdev,
                   "Draw straight into a Linux frame buffer (default /dev/fb0), input from evdev")
        ->expected(0, 1);
    app.add_option("--drm", drm,
                   "Draw into a DRM/KMS card's buffer (default /dev/dri/card0), input from evdev")
        ->expected(0, 1);
    std::string slow;
    app.add_option("--slow", slow,
                   "Run the program N times slower, the screen shown as it draws (1 to 100000, "
                   "default 1; F7 and F8 change it in the window)");
    app.add_option("--record", options.record,
                   "Write every presented frame with its time to this animated PNG")
        ->check(named);
    app.add_option("--screenshot-dir", options.screenshotDir,
                   "Save F12's screenshots in this existing folder (default: see below)");
    app.add_flag("--version", version, "Print the version");
    app.footer(kKeysHelp);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        std::cout << app.help();
        *exitCode = 0;
        return std::nullopt;
    } catch (const CLI::ParseError& e) {
        // The option library quotes what it was given, control characters and all.
        const std::string what = kdev::printable(e.what());
        std::fprintf(stderr, "kestrova: %s (see --help)\n", what.c_str());
        *exitCode = 2;
        return std::nullopt;
    }
    if (version) {
        std::printf("kestrova %s\n", KESTROVA_VERSION);
        *exitCode = 0;
        return std::nullopt;
    }
    auto fail = [&](const std::string& message) -> std::optional<HostOptions> {
        std::fprintf(stderr, "kestrova: %s\n", message.c_str());
        *exitCode = 2;
        return std::nullopt;
    };
    std::string error;
    if (!kdev::readGeometry(display, &options.geometry, &error)) return fail(error);
    if (app.count("--device") && !validDeviceName(options.device))
        return fail("--device: expected a name of 1 to 64 letters, digits, '.', '_' or '-'");
    if (app.count("--slow")) {
        const std::optional<int> factor = parseSlow(slow);
        if (!factor)
            return fail("--slow: expected a whole number from 1 to 100000, not '" +
                        kdev::printable(slow) + "'");
        options.slow = *factor;
    }
    if (app.count("--screenshot-dir")) {
        const std::string problem = checkScreenshotFolder(options.screenshotDir);
        if (!problem.empty()) return fail(problem);
    }
    for (const std::string& f : fails) {
        if (f == "display") options.faults.display = true;
        if (f == "framebuffer") options.faults.framebuffer = true;
        if (f == "alloc") options.faults.alloc = true;
        if (f == "bitmap") options.faults.bitmap = true;
    }
    if (!options.tour.empty() && !options.script.empty())
        return fail("--tour and --script cannot be used together");
    if (app.count("--fbdev") && app.count("--drm"))
        return fail("--fbdev and --drm cannot be used together");
    if (app.count("--fbdev") || app.count("--drm")) {
        if (options.headless || !options.tour.empty() || !options.script.empty())
            return fail("--fbdev and --drm show a real panel: no --headless, --script or --tour");
        if (app.count("--display") || app.count("--layout") || app.count("--zoom"))
            return fail("--fbdev and --drm take the panel's own size and layout");
        const bool isDrm = app.count("--drm") > 0;
        options.panel = isDrm ? HostOptions::Panel::Drm : HostOptions::Panel::Fbdev;
        options.panelPath =
            isDrm ? (drm.empty() ? "/dev/dri/card0" : drm) : (fbdev.empty() ? "/dev/fb0" : fbdev);
    }
    if (!options.tour.empty() || !options.script.empty()) options.headless = true;
    return options;
}

}  // namespace khost
