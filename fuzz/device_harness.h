// An emulated device for the fuzz targets that hand a resource to the device's own consumers
// (the command bar, the dialog manager): a screen, a front end that plays a fixed list of
// input events and then has no more, and a module holding the resource under test.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "core/device.h"
#include "core/frontend.h"
#include "res_builder.h"
#include "resources/resources.h"
#include "core/screen.h"

namespace kfuzz {

class PlayedFrontEnd : public kdev::FrontEnd {
public:
    bool waitEvent(kdev::InputEvent& event) override {
        if (events_.empty()) return false;
        event = events_.front();
        events_.pop_front();
        return true;
    }
    void present(const kdev::Screen&) override {}
    void raise() override {}
    void setWakeDescriptor(int) override {}

    void key(kdev::Key k) {
        kdev::InputEvent e;
        e.kind = kdev::InputEvent::Kind::KeyDown;
        e.key = k;
        events_.push_back(e);
    }
    void tap(int x, int y) {
        kdev::InputEvent e;
        e.kind = kdev::InputEvent::Kind::StylusDown;
        e.x = x;
        e.y = y;
        events_.push_back(e);
        e.kind = kdev::InputEvent::Kind::StylusUp;
        events_.push_back(e);
    }

private:
    std::deque<kdev::InputEvent> events_;
};

// The screens the targets choose from with their input's first byte.
inline kdev::Geometry geometryFor(std::uint8_t choice) {
    static const kdev::Geometry kChoices[] = {
        {240, 320, kdev::PixelFormat::Rgb565, kdev::Layout::Normal},
        {121, 147, kdev::PixelFormat::Rgb555, kdev::Layout::Rotated},
        {1, 1, kdev::PixelFormat::Rgb565, kdev::Layout::Mirrored},
        {320, 240, kdev::PixelFormat::Rgb555, kdev::Layout::Padded},
    };
    return kChoices[choice % 4];
}

struct FuzzDevice {
    PlayedFrontEnd frontEnd;
    std::unique_ptr<kdev::Device> device;
    HINSTANCE instance = nullptr;

    FuzzDevice(const kdev::Geometry& geometry, const std::vector<std::uint8_t>& resImage) {
        std::string error;
        std::unique_ptr<kdev::Screen> screen = kdev::Screen::create(geometry, &error);
        if (!screen) __builtin_trap();
        kdev::DeviceOptions options;
        options.shareWindows = false;
        device = std::make_unique<kdev::Device>(std::move(screen), frontEnd, options);
        instance = device->resources().addModule(resImage, &error);
        if (!instance) __builtin_trap();
    }
};

// Runs the message loop until the quit message, as the program does.
inline void runMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace kfuzz
