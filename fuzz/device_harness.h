// An emulated device for the fuzz targets that hand a resource to the device's own consumers
// (the command bar, the dialog manager): a screen, a front end that plays a fixed list of
// input events and then has no more, and a module holding the resource under test.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "automation.h"
#include "core/device.h"
#include "core/frontend.h"
#include "res_builder.h"
#include "resources/resources.h"
#include "core/screen.h"

namespace kfuzz {

// Plays its input through the device's script player, then has no more.
class PlayedFrontEnd : public kdev::FrontEnd {
public:
    bool waitEvent(kdev::InputEvent& event) override {
        return player_.next(kdev::Device::current(), event);
    }
    void present(const kdev::Screen&) override {}
    void raise() override {}
    void setWakeDescriptor(int) override {}

    void key(kdev::Key k) { player_.key(k); }
    void tap(int x, int y) { player_.tap(x, y); }

private:
    kdev::ScriptPlayer player_;
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
