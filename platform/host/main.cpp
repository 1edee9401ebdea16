// kestrova [options]: builds the emulated handheld the options describe, starts the program
// on it the way the handheld would, and exits with the program's result.
#include <windows.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include "core/device.h"
#include "core/strings.h"
#include "core/output_file.h"
#include "core/trace.h"
#include "fbdev/panel_frontend.h"
#include "headless/headless.h"
#include "headless/script.h"
#include "instances/instances.h"
#include "options.h"
#include "resources/resources.h"
#include "sdl/sdl_frontend.h"
#include "settings.h"
#include "signals.h"
#include "watch.h"

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

// Descriptors 0 to 2 that came closed are given /dev/null, so no file or pipe this run opens
// takes their place (and gets what is meant for stderr). True when standard input was closed.
bool fillStandardDescriptors() {
    bool inputClosed = false;
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        if (fd == 0) inputClosed = true;
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != fd) close(opened);
    }
    return inputClosed;
}

// Whether path is this process's standard input by another name: "-", /dev/stdin,
// /dev/fd/0, /proc/self/fd/0 or /proc/PID/fd/0, or a symbolic link to one of them.
bool namesStandardInput(std::string path) {
    const std::string own = "/proc/" + std::to_string(getpid()) + "/fd/0";
    for (int links = 0; links < 40; ++links) {
        if (path == "-" || path == "/dev/stdin" || path == "/dev/fd/0" ||
            path == "/proc/self/fd/0" || path == own)
            return true;
        char target[4096];
        const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
        if (n <= 0) return false;
        std::string next(target, static_cast<std::size_t>(n));
        if (next[0] != '/' && path.find('/') != std::string::npos)
            next = path.substr(0, path.rfind('/') + 1) + next;
        path = next;
    }
    return false;
}

// A start that found this device's program already running says whether it came forward: it
// did only when the running one confirmed the request in time. Nothing when there was none.
enum class Handover { None, Done, NoAnswer };
Handover reportHandover(kdev::Device& device, const khost::DeviceIdentity& identity) {
    const kdev::Instances* instances = device.instances();
    const auto handover = instances ? instances->handover() : std::nullopt;
    if (!handover) return Handover::None;
    // A stop signal cut the wait short: the signal's own line says how the run ended.
    if (!handover->reached && khost::stopSignal()) return Handover::NoAnswer;
    const std::string title = kdev::printable(handover->title);
    if (handover->reached)
        std::fprintf(stderr, "kestrova: brought the running %s (%s) forward\n", title.c_str(),
                     identity.description.c_str());
    else
        std::fprintf(stderr, "kestrova: found the running %s (%s), but it did not answer\n",
                     title.c_str(), identity.description.c_str());
    return handover->reached ? Handover::Done : Handover::NoAnswer;
}

int run(int argc, char** argv) {
    const bool inputClosed = fillStandardDescriptors();
    int exitCode = 0;
    std::optional<khost::HostOptions> options = khost::parseOptions(argc, argv, &exitCode);
    if (!options) return exitCode;

    // From here on a stop signal closes the program in order: while the script is read it ends
    // the reading, later it closes the main window.
    std::string error;
    if (!khost::installStopSignals(&error)) return fail(error);
    // A write to a pipe nobody reads gives way to a stop signal.
    kdev::setWriteStopDescriptor(khost::stopDescriptor());

    // The headless input (a script, or the tour), read whole before anything else is made.
    std::vector<khost::ScriptCommand> script;
    const std::string& tour = options->tour;
    if (!tour.empty()) {
        struct stat st {};
        if (mkdir(tour.c_str(), 0755) != 0 &&
            (errno != EEXIST || stat(tour.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
            return fail("--tour: cannot make the folder " + kdev::printable(tour) + ": " +
                        std::strerror(errno == EEXIST ? ENOTDIR : errno));
        script = khost::tourScript(tour);
    } else if (inputClosed && namesStandardInput(options->script)) {
        // Standard input holds /dev/null now, which would read as an empty script.
        return fail("cannot read the script " +
                    (options->script == "-" ? std::string("from standard input")
                                            : kdev::printable(options->script)) +
                    ": " + std::strerror(EBADF));
    } else if (!options->script.empty()) {
        std::optional<std::vector<khost::ScriptCommand>> parsed =
            khost::loadScript(options->script, &error, khost::stopDescriptor());
        if (!parsed && error.empty() && khost::stopSignal()) {
            fail(khost::signalName(khost::stopSignal()) +
                 ": stopped while reading the script; nothing was run");
            return 128 + khost::stopSignal();
        }
        if (!parsed) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 2;
        }
        script = std::move(*parsed);
    }

    // The front end: a real panel, whose memory the screen is; the script headless; else a
    // window on the desktop.
    std::unique_ptr<kdev::FrontEnd> frontEnd;
    std::unique_ptr<kdev::Screen> screen;
    khost::HeadlessFrontEnd* headless = nullptr;
    if (options->panel != khost::HostOptions::Panel::None) {
        khost::PanelOptions panel;
        panel.kind = options->panel == khost::HostOptions::Panel::Drm
                         ? khost::PanelOptions::Kind::Drm
                         : khost::PanelOptions::Kind::Fbdev;
        panel.path = options->panelPath;
        panel.format = options->geometry.format;
        std::unique_ptr<khost::PanelFrontEnd> p = khost::openPanel(panel, &error);
        if (!p) return fail(error);
        screen = p->takeScreen();
        frontEnd = std::move(p);
    } else if (!(screen = kdev::Screen::create(options->geometry, &error))) {
        return fail(error);
    } else if (options->headless) {
        auto h = std::make_unique<khost::HeadlessFrontEnd>(
            std::move(script), tour.empty() ? khost::HeadlessFrontEnd::Source::Script
                                            : khost::HeadlessFrontEnd::Source::Tour);
        headless = h.get();
        frontEnd = std::move(h);
    } else {
        khost::SdlOptions sdl;
        sdl.zoom = options->zoom;
        sdl.slow = options->slow;
        sdl.screenshotDir = options->screenshotDir;
        sdl.settingsFolder = khost::settingsFolder();
        frontEnd = khost::makeSdlFrontEnd(*screen, sdl, &error);
        if (!frontEnd)
            return fail(error +
                        "; run with --headless (and --script FILE) or --tour DIR to use Kestrova "
                        "without a window");
    }

    // Watching it draw: the window presents while the program runs and may slow it down;
    // a recording sees every presented frame. Headless, the times are the virtual clock's.
    std::unique_ptr<khost::Watch> watch;
    if (!headless || !options->record.empty()) {
        khost::Watch::Options watching;
        watching.clock = headless ? kdev::Pacer::Clock::Virtual : kdev::Pacer::Clock::Wall;
        watching.slow = options->slow;
        watching.record = options->record;
        watching.stopFd = khost::stopDescriptor();
        watch = khost::Watch::create(*frontEnd, *screen, watching, &error);
        if (!watch) return fail("--record: " + kdev::printable(error));
    }

    kdev::DeviceOptions deviceOptions;
    deviceOptions.faults = options->faults;
    const khost::DeviceIdentity identity = khost::deviceIdentity(
        *options, headless || options->panel != khost::HostOptions::Panel::None
                      ? khost::Desktop{}
                      : khost::currentDesktop());
    deviceOptions.deviceName = identity.name;
    deviceOptions.shareWindows = !identity.name.empty();
    deviceOptions.interruptDescriptor = khost::stopDescriptor();
    kdev::Device device(std::move(screen), watch ? *watch : *frontEnd, deviceOptions);
    if (!options->trace.empty() && !device.trace().open(options->trace, &error))
        return fail("--trace: " + kdev::printable(error));
    if (headless)
        headless->attach(device);
    else
        khost::traceWindowNotices(*frontEnd, device.trace());

    const kdev::Bytes image(kestrova_res,
                            static_cast<std::size_t>(kestrova_res_end - kestrova_res));
    HINSTANCE instance = device.resources().addModule(image, &error);
    if (!instance) return fail("the program's resources are damaged: " + error);

    static char16_t commandLine[] = u"";
    const int result = AppMain(instance, nullptr, commandLine, SW_SHOW);
    const Handover handover = reportHandover(device, identity);
    // Its work was to hand over, so script lines it did not run are not a failure.
    const bool handedOver = handover != Handover::None;

    // One line for what went wrong first; the trace is whole even then, or absent.
    std::string traceError;
    const bool traceWritten = device.trace().close(&traceError);
    std::string recordError;
    const bool recorded = !watch || watch->finish(&recordError);
    if (headless && !headless->failure().empty()) {
        // A write that gave way to a stop signal ends the run as the signal does.
        if (const int signal = khost::stopSignal()) {
            fail(khost::signalName(signal) + ": the program was closed; " + headless->failure());
            return 128 + signal;
        }
        std::fprintf(stderr, "%s\n", headless->failure().c_str());
        return 2;
    }
    const std::string unrun = headless && !handedOver ? headless->firstUnrun() : std::string();
    if (const int signal = khost::stopSignal()) {
        std::string line = khost::signalName(signal) + ": the program was closed";
        if (!unrun.empty()) line += "; " + headless->notRun();
        fail(line);
        return 128 + signal;
    }
    if (!unrun.empty()) {
        std::fprintf(stderr, "%s: not run: the program has ended\n", unrun.c_str());
        return 2;
    }
    if (!traceWritten) return fail("--trace: " + kdev::printable(traceError));
    if (!recorded) return fail("--record: " + kdev::printable(recordError));
    if (handover == Handover::NoAnswer) return 3;
    return result;
}

// Memory set aside before anything else runs and given back when the heap first runs dry, so
// that the exception that reports it, and the unwinding after it, still find room. Before
// main() (the option parser's static tables) no exception could be caught: the run ends there
// and then, having written nothing.
void* g_reserve = nullptr;
bool g_running = false;
constexpr std::size_t kReserveBytes = 256 * 1024;

[[noreturn]] void outOfMemoryAtStart() {
    static const char message[] = "kestrova: out of memory\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, message, sizeof message - 1);
    _exit(2);
}

void onOutOfMemory() {
    if (!g_running) outOfMemoryAtStart();
    std::free(g_reserve);
    g_reserve = nullptr;
    std::set_new_handler(nullptr);
    throw std::bad_alloc();
}

struct MemoryReserve {
    MemoryReserve() {
        g_reserve = std::malloc(kReserveBytes);
        if (!g_reserve) outOfMemoryAtStart();
        std::set_new_handler(onOutOfMemory);
    }
};
__attribute__((init_priority(101))) MemoryReserve g_memoryReserve;

}  // namespace

int main(int argc, char** argv) {
    g_running = true;
    // Whatever runs out of memory, in the device, the program or the host, ends here: the
    // unwinding has closed the windows, removed this instance's registration and every file
    // not yet complete.
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        std::fputs("kestrova: out of memory\n", stderr);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrova: %s\n", kdev::printable(e.what()).c_str());
    }
    return 2;
}
