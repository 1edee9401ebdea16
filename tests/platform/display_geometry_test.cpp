// The display's geometry as text: what --display, --format and --layout read, the names titles
// show, and the window places remembered for display sizes.
#include "core/display_geometry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using kdev::Geometry;
using kdev::GeometryText;
using kdev::Layout;
using kdev::PixelFormat;

TEST(DisplayGeometry, ReadsWhatTheOptionsName) {
    struct Case {
        GeometryText text;
        int width, height;
        PixelFormat format;
        Layout layout;
    } cases[] = {
        {{"240x320", "565", "normal"}, 240, 320, PixelFormat::Rgb565, Layout::Normal},
        {{"1x8192", "555", "padded"}, 1, 8192, PixelFormat::Rgb555, Layout::Padded},
        {{"8192x1", "565", "mirrored"}, 8192, 1, PixelFormat::Rgb565, Layout::Mirrored},
        {{"320x240", "555", "rotated"}, 320, 240, PixelFormat::Rgb555, Layout::Rotated},
    };
    for (const Case& c : cases) {
        Geometry g;
        std::string error;
        ASSERT_TRUE(kdev::readGeometry(c.text, &g, &error)) << c.text.display << ": " << error;
        EXPECT_EQ(g.width, c.width);
        EXPECT_EQ(g.height, c.height);
        EXPECT_EQ(g.format, c.format) << c.text.format;
        EXPECT_EQ(g.layout, c.layout) << c.text.layout;
    }
}

TEST(DisplayGeometry, RefusesWithOneLineAndLeavesTheGeometry) {
    const std::string size = "--display: expected WxH with each side 1 to 8192, got '";
    struct Case {
        GeometryText text;
        std::string error;
    } cases[] = {
        {{"0x320", "565", "normal"}, size + "0x320'"},
        {{"240x8193", "565", "normal"}, size + "240x8193'"},
        {{"240", "565", "normal"}, size + "240'"},
        {{"x320", "565", "normal"}, size + "x320'"},
        {{"240x", "565", "normal"}, size + "240x'"},
        {{"240x320x2", "565", "normal"}, size + "240x320x2'"},
        {{"-5x10", "565", "normal"}, size + "-5x10'"},
        {{"+5x10", "565", "normal"}, size + "+5x10'"},
        {{" 240x320", "565", "normal"}, size + " 240x320'"},
        {{"", "565", "normal"}, size + "'"},
        {{"\x1b[2J1x1", "565", "normal"}, size + "\\x1B[2J1x1'"},
        {{"240x320", "556", "normal"}, "--format: expected 565 or 555, got '556'"},
        {{"240x320", "565", "Normal"},
         "--layout: expected normal, padded, mirrored or rotated, got 'Normal'"},
    };
    for (const Case& c : cases) {
        Geometry g{7, 9, PixelFormat::Rgb555, Layout::Rotated};
        std::string error;
        EXPECT_FALSE(kdev::readGeometry(c.text, &g, &error)) << c.text.display;
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(g.width, 7) << c.error;
        EXPECT_EQ(g.height, 9) << c.error;
        EXPECT_EQ(g.layout, Layout::Rotated) << c.error;
    }
}

TEST(DisplayGeometry, NamesForTitlesAndOptionsRoundTrip) {
    EXPECT_EQ(kdev::geometryName({240, 320, PixelFormat::Rgb565, Layout::Normal}),
              "240x320 5-6-5 normal");
    EXPECT_EQ(kdev::geometryName({1, 8192, PixelFormat::Rgb555, Layout::Rotated}),
              "1x8192 5-5-5 rotated");
    for (const kdev::FormatName& n : kdev::kFormatNames) {
        EXPECT_EQ(kdev::formatNamed(n.option), n.format);
        EXPECT_EQ(kdev::nameOf(n.format).option, n.option);
    }
    for (const kdev::LayoutName& n : kdev::kLayoutNames) {
        EXPECT_EQ(kdev::layoutNamed(n.option), n.layout);
        EXPECT_EQ(kdev::nameOf(n.layout), n.option);
    }
    EXPECT_FALSE(kdev::formatNamed("5-6-5"));
    EXPECT_FALSE(kdev::layoutNamed(""));
}

}  // namespace

// window.conf as both front ends read it: the two sizes kept in the file's order, the place's
// limits, a later line replacing an earlier one, and the first damaged line named.
TEST(WindowPlaceLines, ReadBackWhatIsWrittenAndNameTheFirstDamagedLine) {
    const kdev::PlaceLine wide{{240, 11520}, {320, 2160}, 8, -1000000, 1000000};
    int damaged = -1;
    std::vector<kdev::PlaceLine> read = kdev::readPlaceLines(
        "# comment\r\n\n  \t\n" + kdev::placeLineText(wide) + "\r\n", &damaged);
    EXPECT_EQ(damaged, 0);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(kdev::placeLineText(read[0]), "240x320 11520x2160 8 -1000000 1000000");

    // The same two sizes again: the later place counts, in the later line's position. The
    // sizes swapped, or one side other, are other sizes. An earlier version's line (one size) is
    // passed over.
    read = kdev::readPlaceLines(
        "1x1 2x2 1 0 0\n3x3 4x4 1 0 0\n1x1 2x2 2 5 6\n2x2 1x1 3 0 0\n1x1 2x9 4 0 0\n"
        "240x320 2 5 6",
        &damaged);
    EXPECT_EQ(damaged, 0);
    ASSERT_EQ(read.size(), 4u);
    EXPECT_EQ(kdev::placeLineText(read[0]), "3x3 4x4 1 0 0");
    EXPECT_EQ(kdev::placeLineText(read[1]), "1x1 2x2 2 5 6");
    EXPECT_EQ(kdev::placeLineText(read[2]), "2x2 1x1 3 0 0");
    EXPECT_EQ(kdev::placeLineText(read[3]), "1x1 2x9 4 0 0");

    const char* bad[] = {
        "240x320 1920x1050 9 0 0",       "240x320 1920x1050 0 0 0",
        "240x320 100001x1050 1 0 0",     "240x320 1920x0 1 0 0",
        "240x320 1920x1050 1 1000001 0", "240x320 1920x1050 1 0 -1000001",
        "240x320 1920x1050 1 0 0 0",     "240x320 1920x1050 1 0",
        "240x320 1920x1050 1 0 0x",      "240x320 0 1 2",
        "240x320x1 1920x1050 1 0 0",     "x320 1920x1050 1 0 0",
    };
    for (const char* line : bad) {
        SCOPED_TRACE(line);
        read = kdev::readPlaceLines(std::string("1x1 2x2 1 0 0\n# note\n") + line + "\n" + line,
                                    &damaged);
        EXPECT_EQ(damaged, 3);
        EXPECT_EQ(read.size(), 1u);
    }
}
