// kestrova [options]: builds the emulated handheld the options describe, starts the program
// on it the way the handheld would, and exits with the program's result.
#include <windows.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "core/device.h"
#include "headless/headless.h"
#include "instances/instances.h"
#include "options.h"
#include "resources/resources.h"
#include "headless/script.h"
#include "sdl/sdl_frontend.h"
#include "settings.h"

// The program's entry, called as the platform would.
int AppMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showMode);

// The program's compiled resources, linked in by the build.
extern "C" const unsigned char kestrova_res[];
extern "C" const unsigned char kestrova_res_end[];

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "kestrova: %s\n", message.c_str());
    return 2;
}

std::optional<std::vector<khost::ScriptCommand>> loadScript(const std::string& path,
                                                            std::string* error) {
    if (path == "-") return khost::parseScript(std::cin, error);
    std::ifstream in(path);
    if (!in) {
        *error = "cannot read script " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    return khost::parseScript(in, error);
}

// A start that found this device's program already running says what it brought forward.
void reportHandover(kdev::Device& device, const khost::DeviceIdentity& identity) {
    const kdev::Instances* instances = device.instances();
    const auto handover = instances ? instances->handover() : std::nullopt;
    if (!handover) return;
    if (handover->reached)
        std::fprintf(stderr, "kestrova: brought the running %s (%s) forward\n",
                     handover->title.c_str(), identity.description.c_str());
    else
        std::fprintf(stderr, "kestrova: found the running %s (%s), but it did not answer\n",
                     handover->title.c_str(), identity.description.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    int exitCode = 0;
    std::optional<khost::HostOptions> options = khost::parseOptions(argc, argv, &exitCode);
    if (!options) return exitCode;

    std::string error;
    std::unique_ptr<kdev::Screen> screen = kdev::Screen::create(options->geometry, &error);
    if (!screen) return fail(error);

    // The front end: a script (or the tour) headless, else a window on the desktop.
    std::unique_ptr<kdev::FrontEnd> frontEnd;
    khost::HeadlessFrontEnd* headless = nullptr;
    if (options->headless) {
        std::vector<khost::ScriptCommand> script;
        if (!options->tour.empty()) {
            if (mkdir(options->tour.c_str(), 0755) != 0 && errno != EEXIST)
                return fail("cannot create " + options->tour + ": " + std::strerror(errno));
            script = khost::tourScript(options->tour);
        } else if (!options->script.empty()) {
            std::optional<std::vector<khost::ScriptCommand>> parsed =
                loadScript(options->script, &error);
            if (!parsed) {
                std::fprintf(stderr, "%s\n", error.c_str());
                return 2;
            }
            script = std::move(*parsed);
        }
        auto h = std::make_unique<khost::HeadlessFrontEnd>(std::move(script));
        headless = h.get();
        frontEnd = std::move(h);
    } else {
        khost::SdlOptions sdl;
        sdl.zoom = options->zoom;
        sdl.settingsFolder = khost::settingsFolder();
        frontEnd = khost::makeSdlFrontEnd(*screen, sdl, &error);
        if (!frontEnd)
            return fail(error +
                        "; run with --headless (and --script FILE) or --tour DIR to use Kestrova "
                        "without a window");
    }

    kdev::DeviceOptions deviceOptions;
    deviceOptions.faults = options->faults;
    const khost::DeviceIdentity identity =
        khost::deviceIdentity(*options, headless ? khost::Desktop{} : khost::currentDesktop());
    deviceOptions.deviceName = identity.name;
    deviceOptions.shareWindows = !identity.name.empty();
    kdev::Device device(std::move(screen), *frontEnd, deviceOptions);
    if (!options->trace.empty() && !device.trace().open(options->trace))
        return fail("cannot write trace " + options->trace + ": " + std::strerror(errno));
    if (headless) headless->attach(device);

    const kdev::Bytes image(kestrova_res,
                            static_cast<std::size_t>(kestrova_res_end - kestrova_res));
    HINSTANCE instance = device.resources().addModule(image, &error);
    if (!instance) return fail("the program's resources are damaged: " + error);

    static char16_t commandLine[] = u"";
    const int result = AppMain(instance, nullptr, commandLine, SW_SHOW);
    reportHandover(device, identity);

    if (headless && !headless->failure().empty()) {
        std::fprintf(stderr, "%s\n", headless->failure().c_str());
        return 2;
    }
    return result;
}
