// A screen from the device as the frame-buffer view's target, for tests of the primitives and
// the demos; the reference models they compare with are in models.h.
// The screen's memory sits between guard pages, so a write past either end crashes the test.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "fb.h"
#include "models.h"
#include "stray_writes.h"
#include "core/screen.h"

namespace fbtest {

using model::Pixel;
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

    // Memory words outside the drawing area below a bar of barHeight rows that differ from
    // background: each one is a stray write.
    std::size_t strayWrites(int barHeight, std::uint16_t background = 0) {
        if (!scan_ || scanBar_ != barHeight) {
            scan_.emplace(*screen_, barHeight);
            scanBar_ = barHeight;
        }
        return scan_->count(background);
    }

    // Whether (x, y) lies in the drawing area.
    bool inArea(long long x, long long y) const {
        return x >= 0 && x < width() && y >= std::max(g_barHeight, 0) && y < height();
    }

private:
    std::unique_ptr<kdev::Screen> screen_;
    std::optional<fixture::StrayWriteScan> scan_;  // for the bar height last asked
    int scanBar_ = 0;
};

inline PixelSet Clip(const Target& target, const std::vector<Pixel>& pixels) {
    PixelSet out;
    for (const Pixel& p : pixels)
        if (target.inArea(p.first, p.second)) out.insert(p);
    return out;
}

}  // namespace fbtest
