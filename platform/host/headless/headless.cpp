#include "headless/headless.h"

#include <poll.h>

#include <chrono>
#include <cstdio>

#include "core/device.h"
#include "core/pacer.h"
#include "core/strings.h"
#include "core/trace.h"
#include "signals.h"
#include "snapshot.h"

namespace khost {

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
                step.append(i ? "/" : " ").append(kdev::toUtf8(c.menuPath[i]));
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
        if (!player_.empty()) {
            if (!device_) return fail(script_[playing_], "there is no device");
            if (player_.next(*device_, event)) return true;
            if (!player_.failure().empty()) return fail(script_[playing_], player_.failure());
        }
        const Ready ready = waitReady(0);
        if (ready == Ready::Stop) return false;  // a stop signal ends the input here
        if (ready == Ready::Wake) {
            event = kdev::InputEvent::wakeUp();
            return true;
        }
        if (next_ >= script_.size()) return false;

        const ScriptCommand& c = script_[next_];
        playing_ = next_;
        switch (c.kind) {
            case ScriptCommand::Kind::Tap:
                player_.tap(c.x, c.y);
                ++next_;
                break;
            case ScriptCommand::Kind::Down:
                player_.push(kdev::InputEvent::stylusDown(c.x, c.y));
                ++next_;
                break;
            case ScriptCommand::Kind::Move:
                player_.push(kdev::InputEvent::stylusMove(c.x, c.y));
                ++next_;
                break;
            case ScriptCommand::Kind::Up:
                player_.push(kdev::InputEvent::stylusUp(c.x, c.y));
                ++next_;
                break;
            case ScriptCommand::Kind::Key:
                player_.key(c.key, c.shift);
                ++next_;
                break;
            case ScriptCommand::Kind::Menu:
                // One tap per step, each placed where the item is on the screen at that moment.
                // The first step is a button on the command bar, the others items of the menu.
                player_.tapOn(c.menuPath[menuStep_], menuStep_ == 0 ? "button" : "menu item");
                if (++menuStep_ == c.menuPath.size()) {
                    menuStep_ = 0;
                    ++next_;
                }
                break;
            case ScriptCommand::Kind::Command:
                player_.command(c.id);
                ++next_;
                break;
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
                    event = kdev::InputEvent::wakeUp();
                    return true;
                }
                if (idleLeftMs_ > 0) break;  // cut short by a signal: wait for the rest
                idleLeftMs_ = -1;
                ++next_;
                break;
            }
            case ScriptCommand::Kind::Close:
                player_.close();
                ++next_;
                break;
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
