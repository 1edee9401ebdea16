// Screen rows as 8-bit colour, the one conversion behind the window, the PNG and the web page's
// canvas: each pixel read through the screen's pitches and widened by its own format
// (Screen::unpack: 5 and 6-bit channels by bit replication), so all three show the same colours.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/screen.h"

namespace khost {

// A colour 0x00BBGGRR (the device's) with an alpha as R, G, B, A in that byte order in memory.
inline std::uint32_t rgbaOf(std::uint32_t bgr, std::uint8_t alpha = 0xFF) {
    const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(bgr),
                                   static_cast<std::uint8_t>(bgr >> 8),
                                   static_cast<std::uint8_t>(bgr >> 16), alpha};
    std::uint32_t v;
    std::memcpy(&v, bytes, 4);
    return v;
}

class RgbaRows {
public:
    // The order of the four bytes in memory: R, G, B, A (SDL's RGBA32, a canvas's ImageData, or
    // RGB with a filler byte for libpng), or B, G, R, A (the X server's own 32-bit pixels, SDL's
    // RGB888 on a little-endian host, which a window's renderer copies without converting).
    enum class Order { rgba, bgra };

    // Every 16-bit value of the screen's format, alpha 0xFF, in the order asked for.
    explicit RgbaRows(const kdev::Screen& screen, Order order = Order::rgba) : table_(0x10000) {
        for (std::uint32_t p = 0; p < 0x10000; ++p) {
            std::uint32_t bgr = screen.unpack(static_cast<std::uint16_t>(p));
            if (order == Order::bgra)
                bgr = (bgr & 0x00FF00) | (bgr & 0xFF) << 16 | (bgr >> 16 & 0xFF);
            table_[p] = rgbaOf(bgr);
        }
    }

    // Row y of the logical screen, left to right, into out[0 .. width-1].
    void row(const kdev::Screen& screen, int y, std::uint32_t* out) const {
        const std::uint32_t* rgba = table_.data();
        const std::uint16_t* in = screen.at(0, y);
        const std::ptrdiff_t step = screen.xPitch() / 2;
        const int w = screen.width();
        if (step == 1) {
            for (int x = 0; x < w; ++x) out[x] = rgba[in[x]];
        } else {
            for (int x = 0; x < w; ++x, in += step) out[x] = rgba[*in];
        }
    }

private:
    std::vector<std::uint32_t> table_;
};

}  // namespace khost
