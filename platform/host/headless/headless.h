// The headless front end: no window; input comes from a script, output goes to files.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/frontend.h"
#include "core/geometry.h"
#include "headless/script.h"

namespace khost {

class HeadlessFrontEnd : public kdev::FrontEnd {
public:
    explicit HeadlessFrontEnd(std::vector<ScriptCommand> script);

    // How a menu path's items are found on the screen (the device's command bar and menus).
    void setLocator(std::function<std::optional<kdev::Point>(std::u16string_view)> locate) {
        locate_ = std::move(locate);
    }
    void setScreen(const kdev::Screen* screen) { screen_ = screen; }

    bool waitEvent(kdev::InputEvent& event) override;
    void present(const kdev::Screen&) override {}
    void raise() override {}
    void setWakeDescriptor(int fd) override { wakeFd_ = fd; }

    // Set when a script line could not be carried out ("script:LINE: ...").
    const std::string& failure() const { return failure_; }

private:
    bool wakePending(int timeoutMs) const;
    bool fail(const ScriptCommand& c, const std::string& what);

    std::vector<ScriptCommand> script_;
    std::size_t next_ = 0;
    std::size_t menuStep_ = 0;
    long idleLeftMs_ = -1;
    std::vector<kdev::InputEvent> queued_;
    std::function<std::optional<kdev::Point>(std::u16string_view)> locate_;
    const kdev::Screen* screen_ = nullptr;
    int wakeFd_ = -1;
    std::string failure_;
};

// The tour: each menu command in turn through the menu, a screenshot DIR/NN-name.png after
// each, then Exit.
std::vector<ScriptCommand> tourScript(const std::string& folder);

}  // namespace khost
