// The three demonstrations through the real menu, headless, against pictures computed here
// from the algorithms' definitions.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "png_read.h"
#include "run_program.h"

namespace {

constexpr int kW = 240, kH = 320, kBar = 26;

// Runs a script and returns the dumps it asked for, in order.
std::vector<std::vector<std::uint16_t>> runWithDumps(
    const std::vector<std::string>& menuItems, const std::vector<std::string>& extraArgs = {}) {
    TempDir dir;
    std::string script;
    for (std::size_t i = 0; i < menuItems.size(); ++i)
        script +=
            "menu Tools/" + menuItems[i] + "\ndump " + dir.file(std::to_string(i) + ".dump") + "\n";
    writeFile(dir.file("s"), script);
    std::vector<std::string> args = {"--headless", "--script", dir.file("s")};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    RunResult r = runKestrova(args);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::vector<std::uint16_t>> dumps;
    for (std::size_t i = 0; i < menuItems.size(); ++i)
        dumps.push_back(readDump(dir.file(std::to_string(i) + ".dump")));
    return dumps;
}

std::uint16_t pack565(std::uint32_t c) {
    return static_cast<std::uint16_t>(((c >> 8) & 0xF800) | ((c >> 5) & 0x7E0) | ((c >> 3) & 0x1F));
}

// A logical picture with the same drawing-area clip the program keeps to.
struct Picture {
    int w, h, bar;
    std::vector<std::uint16_t> px;
    Picture(int width, int height, int barHeight)
        : w(width), h(height), bar(barHeight), px(static_cast<std::size_t>(width * height)) {}
    void set(int x, int y, std::uint16_t v) {
        if (x >= 0 && x < w && y >= bar && y < h) px[static_cast<std::size_t>(y * w + x)] = v;
    }
};

// Line with the error term raised before its test, so minor steps come one pixel early.
void referenceLine(Picture& p, int x1, int y1, int x2, int y2, std::uint16_t v) {
    const int dx = x2 - x1, dy = y2 - y1, sx = dx >= 0 ? 1 : -1, sy = dy >= 0 ? 1 : -1;
    const int ax = std::abs(dx), ay = std::abs(dy);
    int x = x1, y = y1;
    if (ax >= ay) {
        for (int e = 2 * ay - ax; x != x2 + sx;) {
            e += 2 * ay;
            p.set(x, y, v);
            x += sx;
            if (e > 0) y += sy, e -= 2 * ax;
        }
    } else {
        for (int e = 2 * ax - ay; y != y2 + sy;) {
            e += 2 * ax;
            p.set(x, y, v);
            y += sy;
            if (e > 0) x += sx, e -= 2 * ay;
        }
    }
}

void referenceDisc(Picture& p, int cx, int cy, int r, std::uint16_t v) {
    auto run = [&](int x0, int y, int n) {
        for (int k = 0; k < n; ++k) p.set(x0 + k, y, v);
    };
    for (int x = 0, y = r, d = 3 - 2 * r; r >= 0 && y >= x; ++x) {
        run(cx - x, cy - y, 2 * x);
        run(cx - x, cy + y, 2 * x);
        run(cx - y, cy - x, 2 * y);
        run(cx - y, cy + x, 2 * y);
        if (d < 0)
            d += 4 * x + 6;
        else
            d += 4 * (x - y) + 10, --y;
    }
}

struct Rng {
    std::uint32_t state = 1;
    int next() {
        state = state * 214013u + 2531011u;
        return static_cast<int>((state >> 16) & 0x7FFF);
    }
};

std::vector<std::uint16_t> drawingArea(const std::vector<std::uint16_t>& dump, int w = kW,
                                       int bar = kBar) {
    return std::vector<std::uint16_t>(dump.begin() + bar * w, dump.end());
}

TEST(Demos, LinesDrawTheSamePictureEveryTimeInTheLastPassColour) {
    const auto dumps = runWithDumps({"Lines", "Lines"});
    ASSERT_EQ(dumps[0].size(), static_cast<std::size_t>(kW * kH));
    EXPECT_EQ(dumps[0], dumps[1]);

    Picture expected(kW, kH, kBar);
    const std::uint16_t yellow = pack565(0xFFFF00);
    for (int k = 0; k < kW; k += 4) referenceLine(expected, k, kBar, kW - k - 2, kH - 2, yellow);
    for (int k = 0; k < kH - kBar; k += 4)
        referenceLine(expected, 0, kH - k - 2, kW - 2, kBar + k, yellow);
    EXPECT_EQ(drawingArea(dumps[0]), drawingArea(expected.px));
}

TEST(Demos, TwoCirclesCommandsContinueOnePseudoRandomSequence) {
    const auto dumps = runWithDumps({"Circles", "Circles"});
    EXPECT_NE(dumps[0], dumps[1]);
    Rng rng;
    for (int command = 0; command < 2; ++command) {
        Picture expected(kW, kH, kBar);
        for (int i = 0; i < 1000; ++i) {
            const int a = rng.next(), b = rng.next(), c = rng.next(), d = rng.next(),
                      e = rng.next(), f = rng.next();
            const int cy = kBar + (b % (kH - kBar - 120)) + 60;
            const std::uint32_t color =
                static_cast<std::uint32_t>((d & 0xFF) | ((e & 0xFF) << 8) | ((f & 0xFF) << 16));
            const int radius = c % 60;
            const int cx = (a % (kW - 120)) + 60;
            referenceDisc(expected, cx, cy, radius, pack565(color));
        }
        EXPECT_EQ(drawingArea(dumps[static_cast<std::size_t>(command)]), drawingArea(expected.px))
            << "command " << command;
    }
}

// The picture as the BitBlt command converts it: 5-6-5 from the bottom-up 24-bit rows.
std::vector<std::uint16_t> parrot565(int* width, int* height) {
    const std::string bmp =
        readFile(std::string(KESTROVA_SOURCE_DIR) + "/app/resources/parrot.bmp");
    auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bmp[at]) |
                                          static_cast<unsigned char>(bmp[at + 1]) << 8 |
                                          static_cast<unsigned char>(bmp[at + 2]) << 16 |
                                          static_cast<unsigned char>(bmp[at + 3]) << 24);
    };
    const std::size_t dib = 14, pixels = u32(10);
    *width = static_cast<int>(u32(dib + 4));
    *height = static_cast<int>(u32(dib + 8));
    const std::size_t stride = static_cast<std::size_t>(((*width + 1) * 3) & ~3);
    std::vector<std::uint16_t> out;
    for (int row = 0; row < *height; ++row) {
        const std::size_t start = pixels + static_cast<std::size_t>(*height - 1 - row) * stride;
        for (int x = 0; x < *width; ++x) {
            const auto b = static_cast<unsigned char>(bmp[start + 3 * x]),
                       g = static_cast<unsigned char>(bmp[start + 3 * x + 1]),
                       r = static_cast<unsigned char>(bmp[start + 3 * x + 2]);
            out.push_back(
                static_cast<std::uint16_t>(((b & 0xF8) << 8) | ((g & 0xFC) << 3) | (r >> 3)));
        }
    }
    return out;
}

TEST(Demos, BitBltLeavesItsLastCopyAt84_110InFiveSixFiveOnEitherFormat) {
    int w = 0, h = 0;
    const std::vector<std::uint16_t> image = parrot565(&w, &h);
    ASSERT_EQ(w, 155);
    ASSERT_EQ(h, 115);
    for (const char* format : {"565", "555"}) {
        SCOPED_TRACE(format);
        const auto dumps = runWithDumps({"BitBlt"}, {"--format", format});
        const std::vector<std::uint16_t>& screen = dumps[0];
        ASSERT_EQ(screen.size(), static_cast<std::size_t>(kW * kH));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ASSERT_EQ(screen[static_cast<std::size_t>((110 + y) * kW + 84 + x)],
                          image[static_cast<std::size_t>(y * w + x)])
                    << "at " << x << "," << y;
        // The trail: the first copy's top-left pixel is still at (0, 26); nothing right of or
        // below the last copy.
        EXPECT_EQ(screen[static_cast<std::size_t>(kBar * kW)], image[0]);
        EXPECT_EQ(screen[static_cast<std::size_t>(kBar * kW + 239)], 0);
        EXPECT_EQ(screen[static_cast<std::size_t>(319 * kW)], 0);
    }
}

TEST(Demos, AClientTooSmallForADemoIsOnlyCleared) {
    // Circles need more than 120 columns and 120 rows below the bar; BitBlt more than the
    // picture; each command on a size just short of it leaves the drawing area black.
    struct Case {
        const char* display;
        const char* item;
    };
    for (const Case& c : {Case{"120x200", "Circles"}, Case{"200x146", "Circles"},
                          Case{"155x200", "BitBlt"}, Case{"240x140", "BitBlt"}}) {
        SCOPED_TRACE(std::string(c.display) + " " + c.item);
        const auto dumps = runWithDumps({"Lines", c.item}, {"--display", c.display});
        int w = 0, h = 0;
        std::sscanf(c.display, "%dx%d", &w, &h);
        const std::vector<std::uint16_t> area = drawingArea(dumps[1], w);
        EXPECT_EQ(std::set<std::uint16_t>(area.begin(), area.end()), std::set<std::uint16_t>{0});
    }
}

TEST(Demos, ScreenshotsForTheReadme) {
    // Pictures of each demo for docs/: written only when asked for.
    const char* out = std::getenv("KESTROVA_DOCS_DIR");
    if (!out) GTEST_SKIP() << "set KESTROVA_DOCS_DIR to refresh the pictures in docs/";
    TempDir dir;
    const std::string script = std::string("menu Tools/Lines\nscreenshot ") + out +
                               "/lines.png\nmenu Tools/Circles\nscreenshot " + out +
                               "/circles.png\nmenu Tools/BitBlt\nscreenshot " + out +
                               "/bitblt.png\n";
    writeFile(dir.file("s"), script);
    EXPECT_EQ(runKestrova({"--headless", "--script", dir.file("s")}).exitCode, 0);
}

}  // namespace
