// An in-process device with a window covering its screen, the program's globals pointed at
// it, and the expected pictures of the demos computed from the reference models.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "../fb/fb_target.h"
#include "kestrova.h"
#include "resources/resources.h"
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
    std::size_t strayWrites() {
        std::vector<bool> inArea(screen().memoryPixels(), false);
        for (int y = 26; y < height(); ++y)
            for (int x = 0; x < width(); ++x)
                inArea[static_cast<std::size_t>(screen().at(x, y) - screen().memory())] = true;
        std::size_t stray = 0;
        for (std::size_t i = 0; i < screen().memoryPixels(); ++i)
            if (!inArea[i] && screen().memory()[i] != 0) ++stray;
        return stray;
    }

private:
    TestDevice device_;
    HWND window_ = nullptr;
};

// A logical picture, rows top to bottom, that the models paint into.
struct Picture {
    int width, height;
    std::vector<std::uint16_t> pixels;
    Picture(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, 0) {}
    void set(int x, int y, std::uint16_t v) {
        if (x >= 0 && x < width && y >= 26 && y < height)
            pixels[static_cast<std::size_t>(y) * width + x] = v;
    }
    std::uint16_t get(int x, int y) const {
        return pixels[static_cast<std::size_t>(y) * width + x];
    }
};

// A 32-bit resource image holding one resource, bitmap "PARROT", with the given bytes.
inline std::vector<std::uint8_t> ResourceImageWithParrot(const std::vector<std::uint8_t>& parrot) {
    std::vector<std::uint8_t> out;
    auto u16 = [&](std::uint16_t v) {
        out.push_back(static_cast<std::uint8_t>(v));
        out.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto u32 = [&](std::uint32_t v) {
        u16(static_cast<std::uint16_t>(v));
        u16(static_cast<std::uint16_t>(v >> 16));
    };
    // The leading empty entry.
    u32(0), u32(32), u16(0xFFFF), u16(0), u16(0xFFFF), u16(0);
    u32(0), u16(0), u16(0), u32(0), u32(0);
    // Type 2 (bitmap), name "PARROT": 8 + 4 + 14 bytes, padded to 28, then 16 bytes of fields.
    u32(static_cast<std::uint32_t>(parrot.size())), u32(44), u16(0xFFFF), u16(2);
    for (char16_t c : std::u16string(u"PARROT")) u16(c);
    u16(0), u16(0);
    u32(0), u16(0x30), u16(0x0409), u32(0), u32(0);
    out.insert(out.end(), parrot.begin(), parrot.end());
    while (out.size() % 4) out.push_back(0);
    return out;
}

// A header-first, bottom-up DIB: 40-byte header, then rows of ((width + 1) * 3) & ~3 bytes;
// pixel (x, y) counted from the top is colour(x, y) as blue, green, red.
template <class Colour>
std::vector<std::uint8_t> MakeDib24(int width, int height, Colour colour, int bitsPerPixel = 24) {
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    std::vector<std::uint8_t> dib(40 + stride * static_cast<std::size_t>(height), 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) dib[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, static_cast<std::uint32_t>(width));
    put32(8, static_cast<std::uint32_t>(height));
    dib[12] = 1;
    dib[14] = static_cast<std::uint8_t>(bitsPerPixel);
    put32(20, static_cast<std::uint32_t>(stride * static_cast<std::size_t>(height)));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const auto c = colour(x, y);
            std::uint8_t* p = &dib[40 + stride * static_cast<std::size_t>(height - 1 - y) +
                                   3 * static_cast<std::size_t>(x)];
            p[0] = c[0], p[1] = c[1], p[2] = c[2];
        }
    return dib;
}

}  // namespace demotest
