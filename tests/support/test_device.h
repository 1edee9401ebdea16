// An in-process device for tests: a screen of a chosen geometry, a front end fed from a list
// of events, and the program's real resources.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <memory>

#include "automation.h"
#include "core/device.h"
#include "core/frontend.h"
#include "core/screen.h"

// Input for the device, one step at a time: each step runs when the device next waits for
// input, so a step can look at the screen as it is at that moment.
class ScriptedFrontEnd : public kdev::FrontEnd {
public:
    int presents = 0;
    int raises = 0;

    bool waitEvent(kdev::InputEvent& event) override;
    void present(const kdev::Screen&) override { ++presents; }
    void raise() override { ++raises; }
    void setWakeDescriptor(int) override {}

    void push(const kdev::InputEvent& event) { player_.push(event); }
    void tap(int x, int y) { player_.tap(x, y); }
    // The stylus going down, moving while down and lifting, each on its own.
    void press(int x, int y) { push(kdev::InputEvent::stylusDown(x, y)); }
    void move(int x, int y) { push(kdev::InputEvent::stylusMove(x, y)); }
    void lift(int x, int y) { push(kdev::InputEvent::stylusUp(x, y)); }
    void key(kdev::Key k) { player_.key(k); }
    void close() { player_.close(); }
    // A command message as the host sends it, refused or not by the device itself.
    void command(unsigned id) { player_.push(kdev::InputEvent::postCommand(id)); }
    // Taps the command bar button, open-menu item or dialog button with this text, wherever it
    // is then; the device's waitEvent throws when there is none.
    void tapMenu(std::u16string text) { player_.tapOn(std::move(text)); }
    // Runs an action (no input) when the device next waits.
    void then(std::function<void()> action) { player_.then(std::move(action)); }
    bool done() const { return player_.empty(); }

private:
    kdev::ScriptPlayer player_;
};

class TestDevice {
public:
    explicit TestDevice(kdev::Geometry geometry = {}, kdev::Faults faults = {});
    ~TestDevice();

    kdev::Device& device() { return *device_; }
    kdev::Screen& screen() { return device_->screen(); }
    ScriptedFrontEnd& frontEnd() { return frontEnd_; }
    HINSTANCE instance() const { return instance_; }

    // Points the program's frame-buffer globals at this screen, as start-up would.
    void attachProgram(int barHeight = 26);
    // A visible top-level window covering the screen, standing in for the main window.
    HWND createWindow();

private:
    ScriptedFrontEnd frontEnd_;
    std::unique_ptr<kdev::Device> device_;
    HINSTANCE instance_ = nullptr;
};
