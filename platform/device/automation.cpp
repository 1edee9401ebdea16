// The automation seam's answers, put together from the window manager and the controls. Like
// assembly.cpp it stands above every folder of the device.
#include "automation.h"

#include "controls/button.h"
#include "controls/command_bar.h"
#include "controls/menu.h"
#include "core/device.h"
#include "core/strings.h"
#include "wm/window_manager.h"

namespace kdev {

namespace {

std::optional<Point> locateOnWindows(WindowManager& manager, std::u16string_view text) {
    if (MenuTracker* tracker = openMenuTracker(manager)) return tracker->locate(text);
    const std::vector<std::uint32_t> tops = manager.topLevels();
    for (auto it = tops.rbegin(); it != tops.rend(); ++it) {
        const Window& w = *manager.get(*it);
        if (!w.visible) continue;
        // Only the topmost visible window counts: what is behind it is not for tapping.
        for (std::uint32_t c : w.children) {
            const Window* child = manager.get(c);
            if (!child || !child->visible) continue;
            if (child->cls.name == kButtonClass && child->title == text)
                return Point{(child->rect.left + child->rect.right) / 2,
                             (child->rect.top + child->rect.bottom) / 2};
            if (std::optional<Point> p = commandBarTarget(*child, text)) return p;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

std::optional<Point> Automation::locate(std::u16string_view text) const {
    std::optional<Point> at = locateOnWindows(device_.windows(), text);
    const Screen& s = device_.screen();
    if (at && (at->x < 0 || at->y < 0 || at->x >= s.width() || at->y >= s.height()))
        return std::nullopt;
    return at;
}

bool Automation::takesCommands() const { return device_.windows().takesCommands(); }

const char* Automation::commandRefusal() const {
    WindowManager& windows = device_.windows();
    if (windows.takesCommands()) return nullptr;
    if (!windows.mainWindow()) return "there is no main window";
    return "the main window is disabled (a dialog or message box is open)";
}

Screen& Automation::screen() const { return device_.screen(); }

void ScriptPlayer::push(const InputEvent& event) {
    steps_.push_back([event](Device&, InputEvent& out) {
        out = event;
        return true;
    });
}

void ScriptPlayer::tap(int x, int y) {
    push(InputEvent::stylusDown(x, y));
    push(InputEvent::stylusUp(x, y));
}

void ScriptPlayer::key(Key k, bool shift) { push(InputEvent::keyDown(k, shift)); }

void ScriptPlayer::close() { push(InputEvent::closeRequest()); }

void ScriptPlayer::command(unsigned id) {
    steps_.push_back([this, id](Device& device, InputEvent& out) {
        if (const char* why = Automation(device).commandRefusal()) {
            failure_ = "command " + std::to_string(id) + " refused: " + why;
            return false;
        }
        out = InputEvent::postCommand(id);
        return true;
    });
}

void ScriptPlayer::tapOn(std::u16string text, std::string what) {
    steps_.push_back(
        [this, text = std::move(text), what = std::move(what)](Device& device, InputEvent& out) {
            const std::optional<Point> at = Automation(device).locate(text);
            if (!at) {
                failure_ = "no " + what + " '" + printable(toUtf8(text)) + "' on the screen";
                return false;
            }
            out = InputEvent::stylusDown(at->x, at->y);
            steps_.push_front([up = InputEvent::stylusUp(at->x, at->y)](Device&, InputEvent& o) {
                o = up;
                return true;
            });
            return true;
        });
}

void ScriptPlayer::then(std::function<void()> action) {
    steps_.push_back([action = std::move(action)](Device&, InputEvent& out) {
        action();
        out = InputEvent::wakeUp();
        return true;
    });
}

bool ScriptPlayer::next(Device& device, InputEvent& event) {
    while (!steps_.empty()) {
        Step step = std::move(steps_.front());
        steps_.pop_front();
        if (step(device, event)) return true;
        if (!failure_.empty()) {
            steps_.clear();
            return false;
        }
    }
    return false;
}

}  // namespace kdev
