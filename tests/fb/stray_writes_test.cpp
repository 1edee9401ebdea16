// The stray-write scan the drawing tests rely on: on every layout, a write to any word of the
// screen's memory outside the drawing area is seen, and one to a pixel inside it is not.
#include "stray_writes.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fb_target.h"

namespace {

class StrayWriteScanTest : public ::testing::TestWithParam<kdev::Layout> {};

TEST_P(StrayWriteScanTest, SeesEveryWordOutsideTheDrawingAreaAndNoneInside) {
    for (int bar : {26, 1, 0}) {
        SCOPED_TRACE("bar " + std::to_string(bar));
        std::string error;
        // An odd width, so that a padded layout has words that are no pixel at all.
        const std::unique_ptr<kdev::Screen> screen = kdev::Screen::create(
            kdev::Geometry{7, 30, kdev::PixelFormat::Rgb565, GetParam()}, &error);
        ASSERT_TRUE(screen) << error;
        std::fill_n(screen->memory(), screen->memoryPixels(), 0x1234);
        const fixture::StrayWriteScan scan(*screen, bar);
        ASSERT_EQ(scan.count(0x1234), 0u);

        std::size_t seen = 0;
        for (std::size_t i = 0; i < screen->memoryPixels(); ++i) {
            screen->memory()[i] = 0;
            seen += scan.count(0x1234);
            screen->memory()[i] = 0x1234;
        }
        EXPECT_EQ(seen, screen->memoryPixels() - 7u * (30u - static_cast<unsigned>(bar)));
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 7; ++x) {
                screen->set(x, y, 0);
                ASSERT_EQ(scan.count(0x1234), y < bar ? 1u : 0u) << "(" << x << ", " << y << ")";
                screen->set(x, y, 0x1234);
            }
    }
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, StrayWriteScanTest, ::testing::ValuesIn(fbtest::kAllLayouts),
                         [](const auto& info) { return fbtest::LayoutName(info.param); });

}  // namespace
