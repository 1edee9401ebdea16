// Shared by the benchmarks and the instruction-count driver: a screen as the program's
// frame-buffer view, the demos' inputs (random numbers, a 24-bit picture) and the addresses and
// spans each demo writes, from the reference models in tests/support/, for the baselines.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "demos.h"
#include "dib24.h"
#include "fb.h"
#include "models.h"
#include "core/screen.h"

namespace kbench {

constexpr int kBar = 26;

// A normal-layout 5-6-5 screen from the device, attached to the program's globals.
class Target {
public:
    Target(int width, int height) {
        std::string error;
        screen_ = kdev::Screen::create(
            kdev::Geometry{width, height, kdev::PixelFormat::Rgb565, kdev::Layout::Normal}, &error);
        if (!screen_) {
            std::fprintf(stderr, "screen: %s\n", error.c_str());
            std::exit(1);
        }
        attach();
    }
    // Points the program's frame-buffer view at this screen.
    void attach() const {
        GXDisplayProperties display{};
        display.width = static_cast<DWORD>(screen_->width());
        display.height = static_cast<DWORD>(screen_->height());
        display.xPitch = screen_->xPitch();
        display.yPitch = screen_->yPitch();
        display.bitsPerPixel = 16;
        display.formatFlags = kfDirect565;
        FbAttach(screen_->base(), display, kBar);
    }
    kdev::Screen& screen() const { return *screen_; }
    int width() const { return screen_->width(); }
    int height() const { return screen_->height(); }
    std::uint16_t* at(int x, int y) const { return screen_->at(x, y); }
    bool inArea(int x, int y) const { return x >= 0 && x < width() && y >= kBar && y < height(); }
    std::vector<std::uint16_t> memory() const {
        return {screen_->memory(), screen_->memory() + screen_->memoryPixels()};
    }
    void zero() const { std::fill_n(screen_->memory(), screen_->memoryPixels(), 0); }

private:
    std::unique_ptr<kdev::Screen> screen_;
};

// The device's generator's first count numbers.
inline std::vector<int> RandomNumbers(std::size_t count) {
    std::vector<int> out(count);
    model::Lcg random;
    for (int& n : out) n = random.next();
    return out;
}

// A 24-bit picture with a smooth colour pattern, in the resource's format.
inline std::vector<std::uint8_t> MakeDib(int width, int height) {
    return model::MakeDib24(width, height, [&](int x, int y) {
        return model::Bgr{static_cast<std::uint8_t>(x * 255 / width),
                          static_cast<std::uint8_t>(y * 255 / height),
                          static_cast<std::uint8_t>((x + y) * 7)};
    });
}

// The addresses one pass of the Lines demo writes on the target, in order (all passes draw
// the same lines).
inline std::vector<std::uint16_t*> LinesPassAddresses(const Target& t) {
    std::vector<std::uint16_t*> out;
    model::LinesPass(t.width(), t.height(), kBar, [&](int x1, int y1, int x2, int y2) {
        model::LinePixels(x1, y1, x2, y2, [&](int x, int y) {
            if (t.inArea(x, y)) out.push_back(t.at(x, y));
        });
    });
    return out;
}

// The Lines demo's longest line of each fan, a horizontal and a vertical one, on a
// right x bottom client area.
inline std::vector<std::array<int, 4>> LongestLines(int r, int b) {
    return {{0, kBar, r - 2, b - 2},
            {0, b - 2, r - 2, kBar},
            {0, (kBar + b) / 2, r - 1, (kBar + b) / 2},
            {r / 2, b - 1, r / 2, kBar}};
}

// One row span of one disc: the widest run of that row, written once.
struct Span {
    std::uint16_t* start;
    std::uint32_t length;
    std::uint16_t pixel;
};

// The distinct row spans of a disc by the algorithm's runs (each row's widest run).
inline void ModelDiscSpans(const Target& t, int cx, int cy, int radius, std::uint16_t pixel,
                           std::vector<Span>& out) {
    if (radius < 1) return;
    std::vector<int> half(static_cast<std::size_t>(radius) + 1, 0);  // by row offset
    model::DiscSteps(radius, [&](int x, int y) {
        half[y] = std::max(half[y], x);
        half[x] = std::max(half[x], y);
    });
    for (int v = 0; v <= radius; ++v) {
        if (half[v] == 0) continue;
        for (int row : {cy - v, cy + v}) {
            out.push_back(
                {t.at(cx - half[v], row), static_cast<std::uint32_t>(2 * half[v]), pixel});
            if (v == 0) break;
        }
    }
}

// Every disc's spans for the Circles demo driven by the given numbers (six per disc).
inline std::vector<Span> CirclesSpans(const Target& t, const std::vector<int>& numbers) {
    std::vector<Span> out;
    for (std::size_t i = 0; i + 6 <= numbers.size(); i += 6) {
        const model::CirclesDisc disc =
            model::CirclesDiscOf(&numbers[i], t.width(), t.height(), kBar);
        ModelDiscSpans(t, disc.cx, disc.cy, disc.radius, PackColor(disc.colour), out);
    }
    return out;
}

}  // namespace kbench
