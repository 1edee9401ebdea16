// FbDrawLine: the pixels of the raised-before-tested Bresenham line, clipping to the drawing
// area, and the same logical pixels on every layout.
#include <gtest/gtest.h>

#include <vector>

#include "fb.h"
#include "fb_target.h"

namespace {

using fbtest::Pixel;
using fbtest::PixelSet;
using fbtest::Target;

struct LineCase {
    int x1, y1, x2, y2;
    std::vector<Pixel> pixels;  // relative to the origin of the case
};

// The table of the line's definition plus the degenerate cases, drawn with the origin at
// (20, 40) so every pixel lies inside the drawing area.
TEST(FbDrawLine, WritesExactlyTheListedPixels) {
    const std::vector<LineCase> cases = {
        {0,
         0,
         10,
         3,
         {{0, 0}, {1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 2}, {6, 2}, {7, 2}, {8, 3}, {9, 3}, {10, 3}}},
        {0,
         0,
         3,
         10,
         {{0, 0}, {1, 1}, {1, 2}, {1, 3}, {1, 4}, {2, 5}, {2, 6}, {2, 7}, {3, 8}, {3, 9}, {3, 10}}},
        {0, 0, 5, 4, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}}},
        {0, 0, 3, 2, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
        {0, 0, 2, 1, {{0, 0}, {1, 1}, {2, 1}}},
        {0, 0, 0, 0, {{0, 0}}},
        {0,
         0,
         10,
         0,
         {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {8, 0}, {9, 0}, {10, 0}}},
        {0,
         10,
         0,
         0,
         {{0, 10}, {0, 9}, {0, 8}, {0, 7}, {0, 6}, {0, 5}, {0, 4}, {0, 3}, {0, 2}, {0, 1}, {0, 0}}},
        {0, 0, 4, 4, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}},  // ax = ay: diagonal all the way
        {4, 4, 0, 0, {{4, 4}, {3, 3}, {2, 2}, {1, 1}, {0, 0}}},
        {10,
         3,
         0,
         0,
         {{10, 3}, {9, 2}, {8, 2}, {7, 2}, {6, 2}, {5, 1}, {4, 1}, {3, 1}, {2, 0}, {1, 0}, {0, 0}}},
        {0, 0, -5, 4, {{0, 0}, {-1, 1}, {-2, 2}, {-3, 3}, {-4, 4}, {-5, 5}}},
        {0, 0, 2, -7, {{0, 0}, {1, -1}, {1, -2}, {1, -3}, {1, -4}, {2, -5}, {2, -6}, {2, -7}}},
    };
    for (const LineCase& c : cases) {
        Target target(64, 80);
        const int ox = 20, oy = 40;
        FbDrawLine(c.x1 + ox, c.y1 + oy, c.x2 + ox, c.y2 + oy, 0xFFFFFF);
        PixelSet expected;
        for (const Pixel& p : c.pixels) expected.insert({p.first + ox, p.second + oy});
        EXPECT_EQ(target.changed(), expected)
            << "(" << c.x1 << ", " << c.y1 << ") to (" << c.x2 << ", " << c.y2 << ")";
        EXPECT_EQ(model::Line(c.x1, c.y1, c.x2, c.y2), c.pixels);
        EXPECT_EQ(target.get(c.x1 + ox, c.y1 + oy), 0xFFFF);
    }
}

TEST(FbDrawLine, PacksTheColourForTheDisplay) {
    Target target(32, 40, kdev::Layout::Normal, kdev::PixelFormat::Rgb555);
    FbDrawLine(1, 30, 5, 30, 0x0080FF);
    for (int x = 1; x <= 5; ++x) EXPECT_EQ(target.get(x, 30), 0x021F);
}

// Random lines, many of them reaching past the edges or into the bar, on awkward sizes and
// every layout: the screen shows exactly the model's pixels that lie in the drawing area, and
// nothing else in screen memory changes.
class LineClipTest : public ::testing::TestWithParam<kdev::Layout> {};

TEST_P(LineClipTest, WritesTheModelsPixelsInsideTheDrawingAreaOnly) {
    struct Size {
        int width, height, bar;
    };
    model::Lcg random(11);
    for (Size size : {Size{241, 323, 26}, Size{322, 240, 26}, Size{1, 1, 0}, Size{1, 1, 26},
                      Size{10, 30, 26}, Size{64, 64, 0}}) {
        Target target(size.width, size.height, GetParam(), kdev::PixelFormat::Rgb565, size.bar);
        for (int i = 0; i < 150; ++i) {
            const int margin = 40;
            const int x1 = random.range(-margin, size.width + margin);
            const int y1 = random.range(-margin, size.height + margin);
            const int x2 = random.range(-margin, size.width + margin);
            const int y2 = random.range(-margin, size.height + margin);
            target.fillMemory(0);
            FbDrawLine(x1, y1, x2, y2, 0x00FF00);
            ASSERT_EQ(target.changed(), fbtest::Clip(target, model::Line(x1, y1, x2, y2)))
                << size.width << "x" << size.height << " (" << x1 << ", " << y1 << ") to (" << x2
                << ", " << y2 << ")";
            ASSERT_EQ(target.strayWrites(size.bar), 0u);
        }
    }
}

TEST_P(LineClipTest, FarAwayEndsWriteOnlyInside) {
    Target target(50, 70, GetParam());
    const int far = 1'000'000;
    FbDrawLine(-far, 40, far, 41, 0xFFFFFF);  // through the area, ends far outside
    FbDrawLine(-far, -far, far, far, 0xFFFFFF);
    FbDrawLine(far, -far, -far, -far + 7, 0xFFFFFF);  // never inside
    EXPECT_EQ(target.strayWrites(26), 0u);
    for (int x = 0; x < 50; ++x) EXPECT_NE(target.get(x, 40) | target.get(x, 41), 0) << x;
}

// A line lands on the same logical pixels whatever the memory layout.
TEST_P(LineClipTest, SameLogicalPixelsAsTheNormalLayout) {
    const int lines[][4] = {{0, 26, 238, 318},  {236, 26, 2, 318},   {0, 318, 238, 26},
                            {5, 300, 200, 290}, {120, 30, 121, 319}, {239, 319, 0, 26}};
    for (const auto& l : lines) {
        Target normal(240, 320);
        FbDrawLine(l[0], l[1], l[2], l[3], 0x8080FF);
        const auto expected = normal.screen().logicalPixels();
        Target other(240, 320, GetParam());
        FbDrawLine(l[0], l[1], l[2], l[3], 0x8080FF);
        EXPECT_EQ(other.screen().logicalPixels(), expected);
        EXPECT_EQ(other.strayWrites(26), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, LineClipTest, ::testing::ValuesIn(fbtest::kAllLayouts),
                         [](const auto& info) { return fbtest::LayoutName(info.param); });

}  // namespace
