// An in-process device for tests: a screen of a chosen geometry, a front end fed from a list
// of events, and the program's real resources.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>

#include "device.h"
#include "frontend.h"
#include "screen.h"

class ScriptedFrontEnd : public kdev::FrontEnd {
public:
    std::deque<kdev::InputEvent> events;
    int presents = 0;

    bool waitEvent(kdev::InputEvent& event) override {
        if (events.empty()) return false;
        event = events.front();
        events.pop_front();
        return true;
    }
    void present(const kdev::Screen&) override { ++presents; }
    void raise() override {}
    void setWakeDescriptor(int) override {}

    void tap(int x, int y);
    void key(kdev::Key k);
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
