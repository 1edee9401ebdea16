// The automation seam: what a front end, a script player or a test asks of a device beyond the
// FrontEnd calls (where a named button or menu item is on the screen, whether the main window
// takes commands, the screen), so that none of them includes the window manager or the
// controls. ScriptPlayer turns taps, keys, commands and named targets into input events.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/frontend.h"
#include "core/geometry.h"

namespace kdev {

class Device;
class Screen;

class Automation {
public:
    explicit Automation(Device& device) : device_(device) {}

    // Where a stylus taps for the text: the item of the open menu with it, else a push button of
    // the topmost visible window with it (a dialog's OK), else the button with it (or the close
    // box, for "Close") on that window's command bar; nullopt when there is none, or when it
    // lies off the screen where no stylus reaches.
    std::optional<Point> locate(std::u16string_view text) const;

    // Whether a command message reaches the main window now, as a tap on it would.
    bool takesCommands() const;
    // Why it does not, for a message; null when it does.
    const char* commandRefusal() const;

    Screen& screen() const;

private:
    Device& device_;
};

// Input played to a device a step at a time: each step runs when the device next waits for
// input, so a named target is looked for on the screen as it is at that moment.
class ScriptPlayer {
public:
    void push(const InputEvent& event);
    void tap(int x, int y);
    void key(Key k, bool shift = false);
    void close();
    // A command for the main window; refused (a failure) while it takes none.
    void command(unsigned id);
    // A tap on the target with this text (Automation::locate); `what` names it in the failure
    // when there is none ("button", "menu item").
    void tapOn(std::u16string text, std::string what = "target");
    // Runs an action when the device next waits, and gives a wake-up so it asks again.
    void then(std::function<void()> action);

    // The next event, played on `device`; false when there is none left or a step failed
    // (failure() then says why, and the steps left are dropped).
    bool next(Device& device, InputEvent& event);
    bool empty() const { return steps_.empty(); }
    const std::string& failure() const { return failure_; }

private:
    using Step = std::function<bool(Device&, InputEvent&)>;
    std::deque<Step> steps_;
    std::string failure_;
};

}  // namespace kdev
