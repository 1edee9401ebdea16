// The Circles demonstration on an in-process device: the discs of the device's pseudo-random
// sequence, two commands continuing it, and only clearing on a client area too small for it.
#include <gtest/gtest.h>

#include "demo_device.h"

namespace {

using demotest::DemoDevice;
using model::Picture;

// The discs drawn from the device's generator, starting after `skip` numbers: six per disc,
// used as centre x, centre y, radius, red, green, blue.
Picture ExpectedCircles(DemoDevice& d, int skip) {
    model::Lcg random;
    for (int i = 0; i < skip; ++i) random.next();
    Picture picture(d.width(), d.height(), 26);
    for (int i = 0; i < 1000; ++i) {
        const model::CirclesDisc disc =
            model::NextCirclesDisc(random, picture.width, picture.height, picture.bar);
        const std::uint16_t pixel = d.screen().pack(disc.colour);
        for (const auto& [x, y] : model::Disc(disc.cx, disc.cy, disc.radius))
            picture.set(x, y, pixel);
    }
    return picture;
}

TEST(CirclesDemo, DrawsTheDiscsOfThePseudoRandomSequence) {
    for (kdev::Layout layout : {kdev::Layout::Normal, kdev::Layout::Rotated}) {
        for (kdev::PixelFormat format : {kdev::PixelFormat::Rgb565, kdev::PixelFormat::Rgb555}) {
            DemoDevice d(240, 320, layout, format);
            RunCirclesDemo(d.window());
            EXPECT_EQ(d.logical(), ExpectedCircles(d, 0).pixels) << fbtest::LayoutName(layout);
            EXPECT_EQ(d.strayWrites(), 0u);
            // Every disc keeps a pixel's distance from the edges and the bar.
            for (int y = 0; y < 320; ++y)
                for (int x = 0; x < 240; ++x)
                    if (d.screen().get(x, y) != 0) {
                        ASSERT_TRUE(x >= 1 && x <= 237 && y >= 27 && y <= 318) << x << ", " << y;
                    }
        }
    }
}

TEST(CirclesDemo, SecondCommandContinuesTheSequence) {
    DemoDevice d(240, 320);
    RunCirclesDemo(d.window());
    const auto first = d.logical();
    d.fill(0);
    RunCirclesDemo(d.window());
    EXPECT_NE(d.logical(), first);
    EXPECT_EQ(d.logical(), ExpectedCircles(d, 6000).pixels);
}

TEST(CirclesDemo, SmallestClientAreasThatFit) {
    struct Size {
        int width, height;
    };
    for (Size s : {Size{121, 147}, Size{241, 323}, Size{322, 240}}) {
        DemoDevice d(s.width, s.height);
        RunCirclesDemo(d.window());
        EXPECT_EQ(d.logical(), ExpectedCircles(d, 0).pixels) << s.width << "x" << s.height;
        EXPECT_EQ(d.strayWrites(), 0u);
    }
}

// No wider than 120 pixels, or a drawing area no taller than 120 rows: nothing is drawn (the
// command's clear is all that happens) and no pseudo-random numbers are used up.
TEST(CirclesDemo, TooSmallOnlyClears) {
    struct Size {
        int width, height;
    };
    for (Size s : {Size{120, 320}, Size{240, 146}, Size{100, 100}, Size{1, 1}, Size{121, 146}}) {
        DemoDevice d(s.width, s.height);
        RunCirclesDemo(d.window());
        for (std::uint16_t p : d.memory()) ASSERT_EQ(p, 0) << s.width << "x" << s.height;
        EXPECT_EQ(rand(), model::Lcg().next());
    }
}

}  // namespace
