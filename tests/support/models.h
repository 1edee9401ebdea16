// Reference models of what the program draws, written again from the algorithms' definitions:
// the unit tests, the whole-program tests and the benchmarks check fb/ and demos/ against
// them, so they repeat the algorithms on purpose and never call the program's code. Standard
// library only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace model {

using Pixel = std::pair<int, int>;  // (x, y)

// The device's generator: state from seed (1 at start-up), state * 214013 + 2531011, each
// number bits 16-30 of the new state.
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

// The line from (x1, y1) until the major coordinate reaches the far end, error term raised
// before its test so minor steps come one pixel early: visit(x, y) for each pixel in order.
template <class Visit>
void LinePixels(int x1, int y1, int x2, int y2, Visit&& visit) {
    const int dx = x2 - x1, dy = y2 - y1;
    const int sx = dx >= 0 ? 1 : -1, sy = dy >= 0 ? 1 : -1;
    const int ax = std::abs(dx), ay = std::abs(dy);
    int x = x1, y = y1;
    if (ax >= ay) {
        for (int e = 2 * ay - ax; x != x2 + sx; x += sx) {
            e += 2 * ay;
            visit(x, y);
            if (e > 0) {
                y += sy;
                e -= 2 * ax;
            }
        }
    } else {
        for (int e = 2 * ax - ay; y != y2 + sy; y += sy) {
            e += 2 * ax;
            visit(x, y);
            if (e > 0) {
                x += sx;
                e -= 2 * ay;
            }
        }
    }
}

inline std::vector<Pixel> Line(int x1, int y1, int x2, int y2) {
    std::vector<Pixel> out;
    LinePixels(x1, y1, x2, y2, [&](int x, int y) { out.push_back({x, y}); });
    return out;
}

// The midpoint circle's steps (d = 3 - 2r): visit(x, y) for each, x from 0 while y >= x.
// Nothing for radius < 0.
template <class Visit>
void DiscSteps(int radius, Visit&& visit) {
    if (radius < 0) return;
    int x = 0, y = radius, d = 3 - 2 * radius;
    while (y >= x) {
        visit(x, y);
        if (d < 0) {
            d += 4 * x + 6;
        } else {
            d += 4 * (x - y) + 10;
            --y;
        }
        ++x;
    }
}

// The disc's four runs of each step, in the algorithm's order: visit(left, y, length), each
// run starting at cx - w for 2w pixels, so it ends one pixel short of cx + w.
template <class Visit>
void DiscRuns(int cx, int cy, int radius, Visit&& visit) {
    DiscSteps(radius, [&](int x, int y) {
        visit(cx - x, cy - y, 2 * x);
        visit(cx - x, cy + y, 2 * x);
        visit(cx - y, cy - x, 2 * y);
        visit(cx - y, cy + x, 2 * y);
    });
}

// Every pixel of every run, in order (pixels of overlapping runs more than once).
inline std::vector<Pixel> Disc(int cx, int cy, int radius) {
    std::vector<Pixel> out;
    DiscRuns(cx, cy, radius, [&](int left, int y, int length) {
        for (int i = 0; i < length; ++i) out.push_back({left + i, y});
    });
    return out;
}

// The Lines demo: twenty passes in this colour cycle (0x00BBGGRR), each drawing the same two
// fans on a client area of right x bottom below a bar: visit(x1, y1, x2, y2) for each line.
constexpr int kLinesPasses = 20;
constexpr std::uint32_t kLinesColours[7] = {0x0080FF, 0x80FF80, 0xFF8080, 0x8080FF,
                                            0xFF8080, 0xFFFF00, 0x000000};

template <class Visit>
void LinesPass(int right, int bottom, int bar, Visit&& visit) {
    for (int k = 0; k < right; k += 4) visit(k, bar, right - k - 2, bottom - 2);
    for (int k = 0; k < bottom - bar; k += 4) visit(0, bottom - k - 2, right - 2, bar + k);
}

// One disc of the Circles demo from six numbers of the generator, taken in order as centre x,
// centre y, radius, red, green, blue, on a client area of right x bottom below a bar.
struct CirclesDisc {
    int cx, cy, radius;
    std::uint32_t colour;  // 0x00BBGGRR
};

inline CirclesDisc CirclesDiscOf(const int n[6], int right, int bottom, int bar) {
    CirclesDisc disc;
    disc.cx = n[0] % (right - 120) + 60;
    disc.cy = bar + n[1] % (bottom - bar - 120) + 60;
    disc.radius = n[2] % 60;
    disc.colour =
        static_cast<std::uint32_t>((n[3] & 0xFF) | ((n[4] & 0xFF) << 8) | ((n[5] & 0xFF) << 16));
    return disc;
}

// The next disc of the Circles demo, drawing its six numbers from the generator.
inline CirclesDisc NextCirclesDisc(Lcg& random, int right, int bottom, int bar) {
    int n[6];
    for (int& v : n) v = random.next();
    return CirclesDiscOf(n, right, bottom, bar);
}

// The BitBlt demo's copies of a width x height picture: the k of each copy at (k, bar + k),
// k = 0, 3, 6, ... below right - width, while the copy's rows end by row bottom.
inline std::vector<int> BitBltOffsets(int right, int bottom, int bar, int width, int height) {
    std::vector<int> out;
    for (int k = 0; k < right - width && bar + k + height <= bottom; k += 3) out.push_back(k);
    return out;
}

// A logical picture, rows top to bottom, that the models paint into; set() keeps to the
// drawing area, as the program does.
struct Picture {
    int width, height, bar;
    std::vector<std::uint16_t> pixels;
    Picture(int w, int h, int barHeight)
        : width(w),
          height(h),
          bar(barHeight),
          pixels(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0) {}
    void set(int x, int y, std::uint16_t v) {
        if (x >= 0 && x < width && y >= bar && y < height) pixels[index(x, y)] = v;
    }
    std::uint16_t get(int x, int y) const { return pixels[index(x, y)]; }

private:
    std::size_t index(int x, int y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
               static_cast<std::size_t>(x);
    }
};

}  // namespace model
