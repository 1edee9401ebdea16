#include "headless/headless.h"

#include <poll.h>

#include <chrono>
#include <cstdio>

#include "controls/command_bar.h"
#include "core/device.h"
#include "core/pacer.h"
#include "core/trace.h"
#include "signals.h"
#include "snapshot.h"
#include "wm/window_manager.h"

namespace khost {

using Kind = kdev::InputEvent::Kind;

HeadlessFrontEnd::HeadlessFrontEnd(std::vector<ScriptCommand> script, Source source)
    : script_(std::move(script)), source_(source) {}

HeadlessFrontEnd::Ready HeadlessFrontEnd::waitReady(int timeoutMs) const {
    pollfd p[2] = {{stopDescriptor(), POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    // A signal cuts the wait short; the caller waits again for what is left.
    if (poll(p, 2, timeoutMs) <= 0) return Ready::None;
    if (p[0].revents & POLLIN) return Ready::Stop;
    if (p[1].revents & POLLIN) return Ready::Wake;
    return Ready::None;
}

std::string HeadlessFrontEnd::where(const ScriptCommand& c) const {
    return source_ == Source::Tour ? "tour" : "script:" + std::to_string(c.line);
}

bool HeadlessFrontEnd::fail(const ScriptCommand& c, const std::string& what) {
    failure_ = where(c) + ": " + what;
    next_ = script_.size();
    return false;
}

// Why a command message cannot reach the main window now, as a tap on it would not; null when
// it can.
const char* HeadlessFrontEnd::commandRefusal() const {
    if (!device_) return "there is no device";
    kdev::WindowManager& windows = device_->windows();
    const kdev::Window* main = windows.get(windows.mainWindow());
    if (!main) return "there is no main window";
    return main->enabled ? nullptr
                         : "the main window is disabled (a dialog or message box is open)";
}

std::string HeadlessFrontEnd::firstUnrun() const {
    if (next_ >= script_.size()) return {};
    if (source_ == Source::Script) return where(script_[next_]);
    // The tour has no lines to point at: name the step itself.
    const ScriptCommand& c = script_[next_];
    std::string step;
    switch (c.kind) {
        case ScriptCommand::Kind::Menu:
            step = "menu";
            for (std::size_t i = 0; i < c.menuPath.size(); ++i)
                step += (i ? "/" : " ") + kdev::toUtf8(c.menuPath[i]);
            break;
        case ScriptCommand::Kind::Screenshot:
            step = "screenshot " + c.file;
            break;
        case ScriptCommand::Kind::Key:
            step = "key Return";
            break;
        default:
            step = "step " + std::to_string(c.line);
            break;
    }
    return "tour step '" + kdev::printable(step) + "'";
}

std::string HeadlessFrontEnd::notRun() const {
    const std::string first = firstUnrun();
    if (first.empty()) return {};
    if (source_ == Source::Tour && next_ + 1 == script_.size()) return first + " was not run";
    return first + " and the " + (source_ == Source::Tour ? "steps" : "lines") +
           " after it were not run";
}

bool HeadlessFrontEnd::waitEvent(kdev::InputEvent& event) {
    for (;;) {
        if (!queued_.empty()) {
            event = queued_.front();
            queued_.erase(queued_.begin());
            return true;
        }
        const Ready ready = waitReady(0);
        if (ready == Ready::Stop) return false;  // a stop signal ends the input here
        if (ready == Ready::Wake) {
            event = kdev::InputEvent{};
            event.kind = Kind::Wake;
            return true;
        }
        if (next_ >= script_.size()) return false;

        const ScriptCommand& c = script_[next_];
        auto stylus = [](Kind kind, int x, int y) {
            kdev::InputEvent e;
            e.kind = kind;
            e.x = x;
            e.y = y;
            return e;
        };
        switch (c.kind) {
            case ScriptCommand::Kind::Tap:
                queued_.push_back(stylus(Kind::StylusDown, c.x, c.y));
                queued_.push_back(stylus(Kind::StylusUp, c.x, c.y));
                ++next_;
                break;
            case ScriptCommand::Kind::Down:
            case ScriptCommand::Kind::Move:
            case ScriptCommand::Kind::Up:
                queued_.push_back(stylus(c.kind == ScriptCommand::Kind::Down   ? Kind::StylusDown
                                         : c.kind == ScriptCommand::Kind::Move ? Kind::StylusMove
                                                                               : Kind::StylusUp,
                                         c.x, c.y));
                ++next_;
                break;
            case ScriptCommand::Kind::Key: {
                kdev::InputEvent e;
                e.kind = Kind::KeyDown;
                e.key = c.key;
                e.shift = c.shift;
                queued_.push_back(e);
                ++next_;
                break;
            }
            case ScriptCommand::Kind::Menu: {
                // One tap per step, each placed where the item is on the screen at that moment.
                // The first step is a button on the command bar, the others items of the menu.
                const std::u16string& item = c.menuPath[menuStep_];
                std::optional<kdev::Point> at =
                    device_ ? kdev::locateMenuTarget(device_->windows(), item) : std::nullopt;
                if (at && (at->x < 0 || at->y < 0 || at->x >= device_->screen().width() ||
                           at->y >= device_->screen().height()))
                    at.reset();  // there, but off the screen: no stylus reaches it
                if (!at)
                    return fail(c, std::string(menuStep_ == 0 ? "no button '" : "no menu item '") +
                                       kdev::printable(kdev::toUtf8(item)) + "' on the screen");
                queued_.push_back(stylus(Kind::StylusDown, at->x, at->y));
                queued_.push_back(stylus(Kind::StylusUp, at->x, at->y));
                if (++menuStep_ == c.menuPath.size()) {
                    menuStep_ = 0;
                    ++next_;
                }
                break;
            }
            case ScriptCommand::Kind::Command: {
                if (const char* why = commandRefusal())
                    return fail(c, "command " + std::to_string(c.id) + " refused: " + why);
                kdev::InputEvent e;
                e.kind = Kind::Command;
                e.command = c.id;
                queued_.push_back(e);
                ++next_;
                break;
            }
            case ScriptCommand::Kind::Screenshot:
            case ScriptCommand::Kind::Dump: {
                std::string error;
                const bool ok = device_ && (c.kind == ScriptCommand::Kind::Screenshot
                                                ? writePng(c.file, device_->screen(), &error)
                                                : writeDump(c.file, device_->screen(), &error));
                if (!ok) return fail(c, error.empty() ? "no screen" : kdev::printable(error));
                ++next_;
                break;
            }
            case ScriptCommand::Kind::Idle: {
                // Other instances may knock while we wait.
                if (idleLeftMs_ < 0) {
                    idleLeftMs_ = c.milliseconds;
                    // The recording's clock waits as long, whatever the wall clock does.
                    if (kdev::Pacer* pacer = kdev::Pacer::active())
                        pacer->advance(c.milliseconds * 1000000LL);
                }
                const auto start = std::chrono::steady_clock::now();
                const Ready ready = waitReady(static_cast<int>(idleLeftMs_));
                const long spent =
                    static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - start)
                                          .count());
                idleLeftMs_ = std::max(0L, idleLeftMs_ - spent);
                if (ready == Ready::Stop) return false;
                if (ready == Ready::Wake && idleLeftMs_ > 0) {
                    event = kdev::InputEvent{};
                    event.kind = Kind::Wake;
                    return true;
                }
                if (idleLeftMs_ > 0) break;  // cut short by a signal: wait for the rest
                idleLeftMs_ = -1;
                ++next_;
                break;
            }
            case ScriptCommand::Kind::Close: {
                kdev::InputEvent e;
                e.kind = Kind::Close;
                queued_.push_back(e);
                ++next_;
                break;
            }
        }
    }
}

std::vector<ScriptCommand> tourScript(const std::string& folder) {
    struct Stop {
        const char16_t* item;
        const char* name;
    };
    static const Stop stops[] = {
        {u"BitBlt", "bitblt"},   {u"Lines", "lines"},
        {u"Circles", "circles"}, {u"Clear Screen", "clear-screen"},
        {u"About", "about"},
    };
    std::vector<ScriptCommand> script;
    int n = 1;
    for (const Stop& stop : stops) {
        ScriptCommand menu;
        menu.kind = ScriptCommand::Kind::Menu;
        menu.menuPath = {u"Tools", stop.item};
        script.push_back(menu);
        ScriptCommand shot;
        shot.kind = ScriptCommand::Kind::Screenshot;
        char number[16];
        std::snprintf(number, sizeof number, "%02d", n++);
        shot.file = folder + "/" + number + "-" + stop.name + ".png";
        script.push_back(shot);
        if (std::u16string_view(stop.item) == u"About") {
            ScriptCommand ok;
            ok.kind = ScriptCommand::Kind::Key;
            ok.key = kdev::Key::Return;
            script.push_back(ok);
        }
    }
    ScriptCommand exit;
    exit.kind = ScriptCommand::Kind::Menu;
    exit.menuPath = {u"Tools", u"Exit"};
    script.push_back(exit);
    int line = 1;
    for (ScriptCommand& c : script) c.line = line++;
    return script;
}

}  // namespace khost
