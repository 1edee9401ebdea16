// A screen from the device as the frame-buffer view's target, and reference models of the
// pixels the primitives write, for tests of the primitives and the demos.
// The screen's memory sits between guard pages, so a write past either end crashes the test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "fb.h"
#include "core/screen.h"

namespace fbtest {

using Pixel = std::pair<int, int>;  // (x, y)
using PixelSet = std::set<Pixel>;

inline const char* LayoutName(kdev::Layout layout) {
    switch (layout) {
        case kdev::Layout::Normal:
            return "Normal";
        case kdev::Layout::Padded:
            return "Padded";
        case kdev::Layout::Mirrored:
            return "Mirrored";
        case kdev::Layout::Rotated:
            return "Rotated";
    }
    return "?";
}

constexpr kdev::Layout kAllLayouts[] = {kdev::Layout::Normal, kdev::Layout::Padded,
                                        kdev::Layout::Mirrored, kdev::Layout::Rotated};

// Points the program's view (g_frameBuffer, g_display, g_barHeight) at a fresh, all-zero
// screen, and puts the view back to "no frame buffer" afterwards.
class Target {
public:
    Target(int width, int height, kdev::Layout layout = kdev::Layout::Normal,
           kdev::PixelFormat format = kdev::PixelFormat::Rgb565, int barHeight = 26) {
        std::string error;
        screen_ = kdev::Screen::create(kdev::Geometry{width, height, format, layout}, &error);
        if (!screen_) throw std::runtime_error(error);
        GXDisplayProperties display{};
        display.width = static_cast<DWORD>(width);
        display.height = static_cast<DWORD>(height);
        display.xPitch = screen_->xPitch();
        display.yPitch = screen_->yPitch();
        display.bitsPerPixel = 16;
        display.formatFlags = format == kdev::PixelFormat::Rgb565 ? kfDirect565 : kfDirect555;
        FbAttach(screen_->base(), display, barHeight);
    }
    ~Target() { FbDetach(); }
    Target(const Target&) = delete;
    Target& operator=(const Target&) = delete;

    kdev::Screen& screen() { return *screen_; }
    int width() const { return screen_->width(); }
    int height() const { return screen_->height(); }
    std::uint16_t get(int x, int y) const { return screen_->get(x, y); }

    // Every word of screen memory, padding included, set to value.
    void fillMemory(std::uint16_t value) {
        std::fill_n(screen_->memory(), screen_->memoryPixels(), value);
    }

    // Logical pixels that differ from background.
    PixelSet changed(std::uint16_t background = 0) const {
        PixelSet out;
        for (int y = 0; y < height(); ++y)
            for (int x = 0; x < width(); ++x)
                if (get(x, y) != background) out.insert({x, y});
        return out;
    }

    // Memory words that differ from background but are not pixels of the drawing area
    // (padding, the bar's rows): each one is a stray write.
    std::size_t strayWrites(int barHeight, std::uint16_t background = 0) {
        if (areaMaskBar_ != barHeight || areaMask_.empty()) {
            areaMask_.assign(screen_->memoryPixels(), false);
            for (int y = std::max(barHeight, 0); y < height(); ++y)
                for (int x = 0; x < width(); ++x)
                    areaMask_[static_cast<std::size_t>(screen_->at(x, y) - screen_->memory())] =
                        true;
            areaMaskBar_ = barHeight;
        }
        std::size_t stray = 0;
        for (std::size_t i = 0; i < screen_->memoryPixels(); ++i)
            if (!areaMask_[i] && screen_->memory()[i] != background) ++stray;
        return stray;
    }

    // Whether (x, y) lies in the drawing area.
    bool inArea(long long x, long long y) const {
        return x >= 0 && x < width() && y >= std::max(g_barHeight, 0) && y < height();
    }

private:
    std::unique_ptr<kdev::Screen> screen_;
    std::vector<bool> areaMask_;  // memory words that are pixels of the drawing area
    int areaMaskBar_ = 0;
};

inline PixelSet Clip(const Target& target, const std::vector<Pixel>& pixels) {
    PixelSet out;
    for (const Pixel& p : pixels)
        if (target.inArea(p.first, p.second)) out.insert(p);
    return out;
}

// The device's generator (state from 1; state * 214013 + 2531011; bits 16-30), for
// reproducible random cases.
class Lcg {
public:
    explicit Lcg(std::uint32_t seed = 1) : state_(seed) {}
    int next() {
        state_ = state_ * 214013u + 2531011u;
        return static_cast<int>((state_ >> 16) & 0x7FFF);
    }
    int range(int lo, int hi) { return lo + next() % (hi - lo + 1); }  // lo..hi inclusive

private:
    std::uint32_t state_;
};

// The line as the algorithm defines it, every pixel in order, with no frame buffer involved.
inline std::vector<Pixel> ModelLine(int x1, int y1, int x2, int y2) {
    const int dx = x2 - x1, dy = y2 - y1;
    const int sx = dx >= 0 ? 1 : -1, sy = dy >= 0 ? 1 : -1;
    const int ax = std::abs(dx), ay = std::abs(dy);
    std::vector<Pixel> out;
    int x = x1, y = y1;
    if (ax >= ay) {
        int e = 2 * ay - ax;
        for (; x != x2 + sx; x += sx) {
            e += 2 * ay;
            out.push_back({x, y});
            if (e > 0) {
                y += sy;
                e -= 2 * ax;
            }
        }
    } else {
        int e = 2 * ax - ay;
        for (; y != y2 + sy; y += sy) {
            e += 2 * ax;
            out.push_back({x, y});
            if (e > 0) {
                x += sx;
                e -= 2 * ay;
            }
        }
    }
    return out;
}

// Every pixel of every run of every step, with no frame buffer involved.
inline std::vector<Pixel> ModelDisc(int cx, int cy, int radius) {
    std::vector<Pixel> out;
    auto run = [&](int x0, int y, int length) {
        for (int i = 0; i < length; ++i) out.push_back({x0 + i, y});
    };
    int x = 0, y = radius, d = 3 - 2 * radius;
    if (radius < 0) return out;
    while (y >= x) {
        run(cx - x, cy - y, 2 * x);
        run(cx - x, cy + y, 2 * x);
        run(cx - y, cy - x, 2 * y);
        run(cx - y, cy + x, 2 * y);
        if (d < 0) {
            d += 4 * x + 6;
        } else {
            d += 4 * (x - y) + 10;
            --y;
        }
        ++x;
    }
    return out;
}

}  // namespace fbtest
