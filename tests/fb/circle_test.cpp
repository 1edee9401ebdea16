// FbFillCircle and FbFillCircleRows: the disc shapes of the midpoint algorithm, the row-once
// fill against the algorithm's own runs, and clipping to the drawing area.
#include <gtest/gtest.h>

#include <vector>

#include "fb.h"
#include "fb_target.h"

namespace {

using fbtest::Pixel;
using fbtest::PixelSet;
using fbtest::Target;

// The algorithm step by step through FbFillCircleRows, as the disc is defined.
void FillCircleByRows(int cx, int cy, int radius, ColorRef color) {
    const Pixel16 pixel = PackColor(color);
    model::DiscSteps(radius, [&](int x, int y) { FbFillCircleRows(cx, cy, x, y, pixel); });
}

PixelSet Shifted(const PixelSet& pixels, int dx, int dy) {
    PixelSet out;
    for (const Pixel& p : pixels) out.insert({p.first - dx, p.second - dy});
    return out;
}

TEST(FbFillCircle, SmallDiscShapes) {
    const int cx = 30, cy = 60;
    struct Case {
        int radius;
        std::size_t count;
    };
    for (Case c : {Case{-7, 0}, Case{-1, 0}, Case{0, 0}, Case{1, 2}, Case{2, 16}, Case{3, 30},
                   Case{5, 86}}) {
        Target target(64, 100);
        FbFillCircle(cx, cy, c.radius, 0xFFFFFF);
        EXPECT_EQ(target.changed().size(), c.count) << "radius " << c.radius;
    }

    Target one(64, 100);
    FbFillCircle(cx, cy, 1, 0xFFFFFF);
    EXPECT_EQ(Shifted(one.changed(), cx, cy), (PixelSet{{-1, 0}, {0, 0}}));

    // Radius 3, row by row from the top: widths 2, 4, 6, 6, 6, 4, 2 starting at columns
    // cx - 1, cx - 2, cx - 3, cx - 3, cx - 3, cx - 2, cx - 1; column cx + 3 stays empty.
    Target three(64, 100);
    FbFillCircle(cx, cy, 3, 0xFFFFFF);
    PixelSet expected;
    const int starts[7] = {-1, -2, -3, -3, -3, -2, -1};
    for (int row = 0; row < 7; ++row)
        for (int x = starts[row]; x < -starts[row]; ++x) expected.insert({x, row - 3});
    EXPECT_EQ(Shifted(three.changed(), cx, cy), expected);
}

TEST(FbFillCircle, ModelDiscsAreSymmetricTopToBottomAndMissTheRightColumn) {
    for (int radius = 1; radius <= 60; ++radius) {
        const auto pixels = model::Disc(0, 0, radius);
        const PixelSet disc(pixels.begin(), pixels.end());
        for (const Pixel& p : disc) {
            EXPECT_TRUE(disc.count({p.first, -p.second})) << radius;
            EXPECT_GE(p.first, -radius);
            EXPECT_LT(p.first, radius) << radius;
        }
        EXPECT_TRUE(disc.count({-radius, 0}));
        EXPECT_TRUE(disc.count({radius - 1, 0}));
    }
}

// Each row written once at its widest run must give exactly the algorithm's pixels: every
// radius 0..60, random centres (some discs cut by the edges or the bar), every layout.
class DiscTest : public ::testing::TestWithParam<kdev::Layout> {};

TEST_P(DiscTest, RowOnceFillMatchesTheAlgorithmsRuns) {
    struct Size {
        int width, height, bar;
    };
    model::Lcg random(5);
    for (Size size : {Size{131, 157, 26}, Size{67, 45, 26}, Size{10, 30, 26}, Size{1, 1, 0}}) {
        Target target(size.width, size.height, GetParam(), kdev::PixelFormat::Rgb565, size.bar);
        for (int radius = 0; radius <= 60; ++radius) {
            for (int i = 0; i < 4; ++i) {
                const int cx = random.range(-30, size.width + 30);
                const int cy = random.range(-30, size.height + 30);
                const auto expected = fbtest::Clip(target, model::Disc(cx, cy, radius));

                target.fillMemory(0);
                FbFillCircle(cx, cy, radius, 0x123456);
                ASSERT_EQ(target.changed(), expected)
                    << size.width << "x" << size.height << " disc (" << cx << ", " << cy
                    << ") radius " << radius;
                ASSERT_EQ(target.strayWrites(size.bar), 0u);

                target.fillMemory(0);
                FillCircleByRows(cx, cy, radius, 0x123456);
                ASSERT_EQ(target.changed(), expected);
                ASSERT_EQ(target.strayWrites(size.bar), 0u);
            }
        }
    }
}

TEST_P(DiscTest, SameLogicalPixelsAsTheNormalLayout) {
    const int discs[][3] = {{120, 170, 59}, {61, 87, 30}, {178, 258, 1}, {0, 26, 20}};
    for (const auto& c : discs) {
        Target normal(240, 320);
        FbFillCircle(c[0], c[1], c[2], 0x80FF80);
        const auto expected = normal.screen().logicalPixels();
        Target other(240, 320, GetParam());
        FbFillCircle(c[0], c[1], c[2], 0x80FF80);
        EXPECT_EQ(other.screen().logicalPixels(), expected);
    }
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, DiscTest, ::testing::ValuesIn(fbtest::kAllLayouts),
                         [](const auto& info) { return fbtest::LayoutName(info.param); });

TEST(FbFillCircleRows, WritesTheFourRunsOfOneStep) {
    Target target(64, 100);
    const Pixel16 pixel = PackColor(0xFFFFFF);
    FbFillCircleRows(30, 60, 2, 5, pixel);
    PixelSet expected;
    for (int x = 28; x < 32; ++x) expected.insert({x, 55}), expected.insert({x, 65});
    for (int x = 25; x < 35; ++x) expected.insert({x, 58}), expected.insert({x, 62});
    EXPECT_EQ(target.changed(), expected);

    target.fillMemory(0);
    FbFillCircleRows(30, 60, 0, 0, pixel);  // runs of length 0 write nothing
    FbFillCircleRows(30, 60, -3, -2, pixel);
    EXPECT_TRUE(target.changed().empty());
}

TEST(FbFillCircle, HugeRadiusCoversTheAreaAndNothingElse) {
    Target target(30, 50);
    FbFillCircle(15, 38, 100000, 0xFFFFFF);
    EXPECT_EQ(target.changed().size(), 30u * 24u);
    EXPECT_EQ(target.strayWrites(26), 0u);
    FbFillCircle(-500000, 40, 400000, 0xFFFFFF);              // entirely outside
    FbFillCircle(-2147483647 - 1, 40, 2147483647, 0xFFFFFF);  // box beyond the int range
    EXPECT_EQ(target.strayWrites(26), 0u);
}

}  // namespace
