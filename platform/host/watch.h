// Watching it draw (--slow, --record): a front end put between the device and the one that
// shows it. It runs the pacer (core/pacer.h), which presents the screen at every display
// refresh while the program runs and slows the program down, and records every presented
// frame with its time as an animated PNG (apng.h).
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "apng.h"
#include "core/frontend.h"
#include "core/output_file.h"
#include "core/pacer.h"

namespace khost {

class Watch final : public kdev::FrontEnd {
public:
    struct Options {
        kdev::Pacer::Clock clock = kdev::Pacer::Clock::Wall;
        int slow = 1;
        int refreshHz = 60;
        std::string record;  // the APNG's path, empty for none
        int stopFd = -1;
    };
    // Null, with "cannot write FILE: reason", when the recording cannot be made.
    static std::unique_ptr<Watch> create(kdev::FrontEnd& shown, const kdev::Screen& screen,
                                         const Options& options, std::string* error);
    ~Watch() override;

    bool waitEvent(kdev::InputEvent& event) override;
    void present(const kdev::Screen& screen) override;
    void raise() override { shown_.raise(); }
    void setWakeDescriptor(int fd) override { shown_.setWakeDescriptor(fd); }
    void setIcon(const kdev::Image& icon) override { shown_.setIcon(icon); }

    // Ends the pacing and puts the recording in place with the screen as it is now as its last
    // frame. False, with "cannot write FILE: reason", when it could not be written; then no file
    // is left behind.
    bool finish(std::string* error);

private:
    Watch(kdev::FrontEnd& shown, const kdev::Screen& screen, const Options& options);
    std::int64_t tickNow() const;

    kdev::FrontEnd& shown_;
    const kdev::Screen& screen_;
    std::unique_ptr<kdev::Pacer> pacer_;
    int refreshHz_;
    std::optional<ApngWriter> recording_;
    kdev::OutputFile file_;
};

}  // namespace khost
