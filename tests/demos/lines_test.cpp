// The Lines demonstration on an in-process device: the picture of the twenty passes, the same
// every time, and nothing outside the drawing area on awkward client sizes.
#include <gtest/gtest.h>

#include "demo_device.h"

namespace {

using demotest::DemoDevice;
using model::Picture;

// The twenty passes painted by the line model, kept to the drawing area.
Picture ExpectedLines(DemoDevice& d) {
    Picture picture(d.width(), d.height(), 26);
    for (int pass = 0; pass < model::kLinesPasses; ++pass) {
        const std::uint16_t pixel = d.screen().pack(model::kLinesColours[pass % 7]);
        model::LinesPass(
            picture.width, picture.height, picture.bar, [&](int x1, int y1, int x2, int y2) {
                model::LinePixels(x1, y1, x2, y2, [&](int x, int y) { picture.set(x, y, pixel); });
            });
    }
    return picture;
}

TEST(LinesDemo, DrawsTheLastPassOverTheDrawingArea) {
    DemoDevice d(240, 320);
    RunLinesDemo(d.window());
    const Picture expected = ExpectedLines(d);
    EXPECT_EQ(d.logical(), expected.pixels);

    // Only the last pass's colour is left where lines are, within columns 0-239 and rows
    // 26-318; the first line, asked to end at (238, 318), ends at (239, 318).
    const std::uint16_t last = d.screen().pack(0xFFFF00);
    for (int y = 0; y < 320; ++y)
        for (int x = 0; x < 240; ++x) {
            const std::uint16_t p = d.screen().get(x, y);
            ASSERT_TRUE(p == 0 || p == last) << "(" << x << ", " << y << ")";
            if (p != 0) {
                ASSERT_TRUE(y >= 26 && y <= 318) << y;
            }
        }
    EXPECT_EQ(d.screen().get(239, 318), last);
    EXPECT_EQ(d.screen().get(0, 26), last);
}

TEST(LinesDemo, SamePictureEveryTime) {
    DemoDevice d(240, 320);
    RunLinesDemo(d.window());
    const auto first = d.memory();
    d.fill(0);
    RunLinesDemo(d.window());
    EXPECT_EQ(d.memory(), first);
}

// Client widths with a remainder of 1, 2 or 3 by 4, and heights where a fan's line touches the
// bar's bottom row: the pixels inside are the model's, nothing lands outside.
TEST(LinesDemo, KeepsToTheDrawingAreaOnAwkwardSizes) {
    struct Size {
        int width, height;
    };
    for (Size s : {Size{241, 323}, Size{322, 240}, Size{240, 323}, Size{243, 320}, Size{10, 30},
                   Size{1, 1}, Size{2, 27}, Size{5, 200}}) {
        for (kdev::Layout layout : fbtest::kAllLayouts) {
            DemoDevice d(s.width, s.height, layout);
            RunLinesDemo(d.window());
            EXPECT_EQ(d.logical(), ExpectedLines(d).pixels)
                << s.width << "x" << s.height << " " << fbtest::LayoutName(layout);
            EXPECT_EQ(d.strayWrites(), 0u)
                << s.width << "x" << s.height << " " << fbtest::LayoutName(layout);
        }
    }
}

}  // namespace
