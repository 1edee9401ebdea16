// The three demonstrations through the real menu, headless, against the pictures of the
// reference models.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "dib24.h"
#include "models.h"
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

std::vector<std::uint16_t> drawingArea(const std::vector<std::uint16_t>& dump, int w = kW,
                                       int bar = kBar) {
    return std::vector<std::uint16_t>(dump.begin() + bar * w, dump.end());
}

TEST(Demos, LinesDrawTheSamePictureEveryTimeInTheLastPassColour) {
    const auto dumps = runWithDumps({"Lines", "Lines"});
    ASSERT_EQ(dumps[0].size(), static_cast<std::size_t>(kW * kH));
    EXPECT_EQ(dumps[0], dumps[1]);

    model::Picture expected(kW, kH, kBar);
    const std::uint16_t yellow = pack565(0xFFFF00);
    model::LinesPass(kW, kH, kBar, [&](int x1, int y1, int x2, int y2) {
        model::LinePixels(x1, y1, x2, y2, [&](int x, int y) { expected.set(x, y, yellow); });
    });
    EXPECT_EQ(drawingArea(dumps[0]), drawingArea(expected.pixels));
}

TEST(Demos, TwoCirclesCommandsContinueOnePseudoRandomSequence) {
    const auto dumps = runWithDumps({"Circles", "Circles"});
    EXPECT_NE(dumps[0], dumps[1]);
    model::Lcg random;
    for (int command = 0; command < 2; ++command) {
        model::Picture expected(kW, kH, kBar);
        for (int i = 0; i < 1000; ++i) {
            const model::CirclesDisc disc = model::NextCirclesDisc(random, kW, kH, kBar);
            const std::uint16_t pixel = pack565(disc.colour);
            model::DiscRuns(disc.cx, disc.cy, disc.radius, [&](int left, int y, int length) {
                for (int x = left; x < left + length; ++x) expected.set(x, y, pixel);
            });
        }
        EXPECT_EQ(drawingArea(dumps[static_cast<std::size_t>(command)]),
                  drawingArea(expected.pixels))
            << "command " << command;
    }
}

// The picture as the BitBlt command converts it: 5-6-5 from the bottom-up 24-bit rows.
std::vector<std::uint16_t> parrot565(int* width, int* height) {
    const std::string bmp =
        readFile(std::string(KESTROVA_SOURCE_DIR) + "/app/resources/cat-photo.bmp");
    auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bmp[at]) |
                                          static_cast<unsigned char>(bmp[at + 1]) << 8 |
                                          static_cast<unsigned char>(bmp[at + 2]) << 16 |
                                          static_cast<unsigned char>(bmp[at + 3]) << 24);
    };
    const std::size_t dib = 14, pixels = u32(10);
    *width = static_cast<int>(u32(dib + 4));
    *height = static_cast<int>(u32(dib + 8));
    const auto* rows = reinterpret_cast<const std::uint8_t*>(bmp.data()) + pixels;
    std::vector<std::uint16_t> out;
    for (int y = 0; y < *height; ++y)
        for (int x = 0; x < *width; ++x)
            out.push_back(model::Dib24Pixel565(rows, *width, *height, x, y));
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

}  // namespace
