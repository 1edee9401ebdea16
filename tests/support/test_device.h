// An in-process device for tests: a screen of a chosen geometry, a front end fed from a list
// of events, and the program's real resources.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <string>
#include <memory>

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

    void push(const kdev::InputEvent& event);
    void tap(int x, int y);
    // The stylus going down, moving while down and lifting, each on its own.
    void press(int x, int y) { push(kdev::InputEvent::stylusDown(x, y)); }
    void move(int x, int y) { push(kdev::InputEvent::stylusMove(x, y)); }
    void lift(int x, int y) { push(kdev::InputEvent::stylusUp(x, y)); }
    void key(kdev::Key k);
    void close();
    void command(unsigned id);
    // Taps the command bar button or open-menu item with this text, wherever it is then.
    void tapMenu(std::u16string text);
    // Runs an action (no input) when the device next waits.
    void then(std::function<void()> action);
    bool done() const { return steps_.empty(); }

private:
    std::deque<std::function<bool(kdev::InputEvent&)>> steps_;
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
