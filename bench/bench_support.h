// Shared by the benchmarks and the instruction-count driver: a screen as the program's
// frame-buffer view, the demos' inputs (random numbers, a 24-bit picture) and reference models
// of the pixels each demo writes, from which the baselines are built.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "demos.h"
#include "fb.h"
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

// The device's generator from its first state: state * 214013 + 2531011, bits 16-30.
inline std::vector<int> RandomNumbers(std::size_t count) {
    std::vector<int> out(count);
    std::uint32_t state = 1;
    for (int& n : out) {
        state = state * 214013u + 2531011u;
        n = static_cast<int>((state >> 16) & 0x7FFF);
    }
    return out;
}

// A header-first, bottom-up 24-bit bitmap with a smooth colour pattern, in the resource's
// format: 40-byte header, rows of ((width + 1) * 3) & ~3 bytes.
inline std::vector<std::uint8_t> MakeDib(int width, int height) {
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    std::vector<std::uint8_t> dib(40 + stride * static_cast<std::size_t>(height), 0);
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) dib[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, static_cast<std::uint32_t>(width));
    put32(8, static_cast<std::uint32_t>(height));
    dib[12] = 1;
    dib[14] = 24;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p =
                &dib[40 + stride * static_cast<std::size_t>(y) + 3 * static_cast<std::size_t>(x)];
            p[0] = static_cast<std::uint8_t>(x * 255 / width);
            p[1] = static_cast<std::uint8_t>(y * 255 / height);
            p[2] = static_cast<std::uint8_t>((x + y) * 7);
        }
    return dib;
}

// The line's pixels as the algorithm defines them, in drawing order.
template <class Visit>
void ModelLine(int x1, int y1, int x2, int y2, Visit visit) {
    const int dx = x2 - x1, dy = y2 - y1;
    const int sx = dx >= 0 ? 1 : -1, sy = dy >= 0 ? 1 : -1;
    const int ax = std::abs(dx), ay = std::abs(dy);
    int x = x1, y = y1;
    if (ax >= ay) {
        for (int e = 2 * ay - ax; x != x2 + sx; x += sx) {
            e += 2 * ay;
            visit(x, y);
            if (e > 0) y += sy, e -= 2 * ax;
        }
    } else {
        for (int e = 2 * ax - ay; y != y2 + sy; y += sy) {
            e += 2 * ax;
            visit(x, y);
            if (e > 0) x += sx, e -= 2 * ay;
        }
    }
}

// The addresses one pass of the Lines demo writes on the target, in order (all passes draw
// the same lines).
inline std::vector<std::uint16_t*> LinesPassAddresses(const Target& t) {
    std::vector<std::uint16_t*> out;
    const int r = t.width(), b = t.height();
    auto visit = [&](int x, int y) {
        if (t.inArea(x, y)) out.push_back(t.at(x, y));
    };
    for (int k = 0; k < r; k += 4) ModelLine(k, kBar, r - k - 2, b - 2, visit);
    for (int k = 0; k < b - kBar; k += 4) ModelLine(0, b - k - 2, r - 2, kBar + k, visit);
    return out;
}

inline const ColorRef kLineColors[7] = {0x0080FF, 0x80FF80, 0xFF8080, 0x8080FF,
                                        0xFF8080, 0xFFFF00, 0x000000};

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
    int x = 0, y = radius, d = 3 - 2 * radius;
    while (y >= x) {
        half[y] = std::max(half[y], x);
        half[x] = std::max(half[x], y);
        if (d < 0) {
            d += 4 * x + 6;
        } else {
            d += 4 * (x - y) + 10;
            --y;
        }
        ++x;
    }
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
    const int r = t.width(), b = t.height();
    for (std::size_t i = 0; i + 6 <= numbers.size(); i += 6) {
        const int* n = &numbers[i];
        const int cy = kBar + n[1] % (b - kBar - 120) + 60;
        const ColorRef color = (n[3] & 0xFF) | ((n[4] & 0xFF) << 8) | ((n[5] & 0xFF) << 16);
        const int radius = n[2] % 60;
        const int cx = n[0] % (r - 120) + 60;
        ModelDiscSpans(t, cx, cy, radius, PackColor(color), out);
    }
    return out;
}

// The copy positions of the BitBlt demo: (k, bar + k) for k = 0, 3, ... while it fits.
inline std::vector<int> BitmapCopyOffsets(int r, int b, int w, int h) {
    std::vector<int> out;
    for (int k = 0; r - w > 0 && k < r - w && kBar + k + h <= b; k += 3) out.push_back(k);
    return out;
}

}  // namespace kbench
