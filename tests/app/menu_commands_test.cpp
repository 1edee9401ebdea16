// The drawing commands chosen from the menu, each over a screen the test has first filled with
// a pattern: the command's clear must leave no trace of it anywhere in the drawing area, the
// last row included, so the picture equals the one drawn over a black screen.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "kestrova.h"
#include "test_device.h"

namespace {

const char16_t* const kCommands[] = {u"Lines", u"Circles", u"BitBlt", u"Clear Screen"};

// The screen after each command, chosen in turn through the menu; with `pattern`, the drawing
// area is painted over with a pattern right before each.
std::vector<std::vector<std::uint16_t>> pictures(kdev::Geometry geometry, bool pattern) {
    TestDevice dev(geometry);
    kdev::Screen& s = dev.screen();
    std::vector<std::vector<std::uint16_t>> shots;
    for (const char16_t* command : kCommands) {
        if (pattern)
            dev.frontEnd().then([&s] {
                for (int y = 26; y < s.height(); ++y)
                    for (int x = 0; x < s.width(); ++x)
                        s.set(x, y, static_cast<std::uint16_t>(0x8421 ^ (x * 7 + y * 13)));
            });
        dev.frontEnd().tapMenu(u"Tools");
        dev.frontEnd().tapMenu(command);
        dev.frontEnd().then([&] { shots.push_back(s.logicalPixels()); });
    }
    dev.frontEnd().tapMenu(u"Tools");
    dev.frontEnd().tapMenu(u"Exit");
    EXPECT_EQ(AppMain(dev.instance(), nullptr, nullptr, SW_SHOW), 0);
    return shots;
}

TEST(MenuCommands, EachClearsTheWholeDrawingAreaBeforeItDraws) {
    for (const kdev::Geometry& g :
         {kdev::Geometry{240, 320},
          kdev::Geometry{177, 220, kdev::PixelFormat::Rgb555, kdev::Layout::Rotated}}) {
        SCOPED_TRACE(std::to_string(g.width) + "x" + std::to_string(g.height));
        const auto overBlack = pictures(g, false);
        const auto overPattern = pictures(g, true);
        ASSERT_EQ(overBlack.size(), std::size(kCommands));
        ASSERT_EQ(overPattern.size(), std::size(kCommands));
        for (std::size_t i = 0; i < std::size(kCommands); ++i) {
            SCOPED_TRACE(i);
            const auto& a = overBlack[i];
            const auto& b = overPattern[i];
            ASSERT_EQ(a.size(), b.size());
            std::size_t first = a.size();
            for (std::size_t k = 0; k < a.size() && first == a.size(); ++k)
                if (a[k] != b[k]) first = k;
            EXPECT_EQ(first, a.size())
                << "the pattern shows at (" << first % static_cast<std::size_t>(g.width) << ", "
                << first / static_cast<std::size_t>(g.width) << ")";
        }
    }
}

}  // namespace
