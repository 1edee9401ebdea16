// An in-process device with a window covering its screen and the program's globals pointed at
// it, for the demos' tests; their expected pictures come from the models in models.h.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../fb/fb_target.h"
#include "dib24.h"
#include "kestrova.h"
#include "models.h"
#include "res_builder.h"
#include "resources/resources.h"
#include "stray_writes.h"
#include "test_device.h"

namespace demotest {

class DemoDevice {
public:
    explicit DemoDevice(int width, int height, kdev::Layout layout = kdev::Layout::Normal,
                        kdev::PixelFormat format = kdev::PixelFormat::Rgb565,
                        kdev::Faults faults = {})
        : device_(kdev::Geometry{width, height, format, layout}, faults) {
        device_.attachProgram(26);
        window_ = device_.createWindow();
        g_hInstance = device_.instance();
        g_parrotBitmap = LoadBitmapW(g_hInstance, u"PARROT");
        RECT client{};
        GetClientRect(window_, &client);
        EXPECT_EQ(client.right, width);
        EXPECT_EQ(client.bottom, height);
        fill(0);
    }
    ~DemoDevice() {
        if (g_parrotBitmap) DeleteObject(g_parrotBitmap);
        g_parrotBitmap = nullptr;
        g_hInstance = nullptr;
    }

    HWND window() const { return window_; }
    TestDevice& device() { return device_; }
    kdev::Screen& screen() { return device_.screen(); }
    int width() { return screen().width(); }
    int height() { return screen().height(); }

    // Every word of screen memory, padding included.
    void fill(std::uint16_t value) {
        std::fill_n(screen().memory(), screen().memoryPixels(), value);
    }
    std::vector<std::uint16_t> memory() {
        return {screen().memory(), screen().memory() + screen().memoryPixels()};
    }
    std::vector<std::uint16_t> logical() { return screen().logicalPixels(); }

    // Words of screen memory that are not pixels of the drawing area and are not 0.
    std::size_t strayWrites() { return fixture::StrayWriteScan(screen(), 26).count(); }

private:
    TestDevice device_;
    HWND window_ = nullptr;
};

// A 32-bit resource image holding one resource, bitmap "PARROT", with the given bytes.
inline std::vector<std::uint8_t> ResourceImageWithParrot(const std::vector<std::uint8_t>& parrot) {
    return fixture::ResBuilder().add(2, u"PARROT", parrot).padded();  // type 2: bitmaps
}

}  // namespace demotest
