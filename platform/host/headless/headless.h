// The headless front end: no window; input comes from a script, output goes to files.
#pragma once

#include <string>
#include <vector>

#include "core/frontend.h"
#include "core/geometry.h"
#include "headless/script.h"

namespace kdev {
class Device;
}

namespace khost {

class HeadlessFrontEnd : public kdev::FrontEnd {
public:
    // Where the commands came from, for messages: a script names its lines ("script:3: ..."),
    // the tour does not ("tour: ...").
    enum class Source { Script, Tour };
    explicit HeadlessFrontEnd(std::vector<ScriptCommand> script, Source source = Source::Script);

    // The device the script drives: its screen for screenshots and dumps, its command bar and
    // menus for menu paths, its main window for commands. Given once the device is built on
    // this front end.
    void attach(kdev::Device& device) { device_ = &device; }

    bool waitEvent(kdev::InputEvent& event) override;
    void present(const kdev::Screen&) override {}
    void raise() override {}
    void setWakeDescriptor(int fd) override { wakeFd_ = fd; }

    // Set when a script line could not be carried out ("script:LINE: ...").
    const std::string& failure() const { return failure_; }
    // The first line the program ended before ("script:LINE", or for the tour "tour step
    // 'menu Tools/Exit'"), empty when every line ran.
    std::string firstUnrun() const;
    // "script:LINE and the lines after it were not run", or the tour's own words; empty when
    // every line ran.
    std::string notRun() const;

private:
    enum class Ready { None, Wake, Stop };
    // Waits at most timeoutMs (0: only looks) for another instance's knock or a stop signal.
    Ready waitReady(int timeoutMs) const;
    bool fail(const ScriptCommand& c, const std::string& what);
    std::string where(const ScriptCommand& c) const;
    const char* commandRefusal() const;

    std::vector<ScriptCommand> script_;
    std::size_t next_ = 0;
    std::size_t menuStep_ = 0;
    long idleLeftMs_ = -1;
    std::vector<kdev::InputEvent> queued_;
    Source source_;
    kdev::Device* device_ = nullptr;
    int wakeFd_ = -1;
    std::string failure_;
};

// The tour: each menu command in turn through the menu, a screenshot DIR/NN-name.png after
// each, then Exit.
std::vector<ScriptCommand> tourScript(const std::string& folder);

}  // namespace khost
