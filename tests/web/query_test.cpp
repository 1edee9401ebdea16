// The web page's query string: what it accepts and the one line it shows for what it refuses.
#include <gtest/gtest.h>

#include "web/query.h"

namespace {

using kdev::Layout;
using kdev::PixelFormat;

TEST(PageQuery, ReadsEachParameterAndDefaultsTheRest) {
    struct Case {
        const char* query;
        int width, height;
        PixelFormat format;
        Layout layout;
        int zoom;
        bool trace = false;
    };
    const Case cases[] = {
        {"", 240, 320, PixelFormat::Rgb565, Layout::Normal, 0},
        {"?", 240, 320, PixelFormat::Rgb565, Layout::Normal, 0},
        {"?display=320x240", 320, 240, PixelFormat::Rgb565, Layout::Normal, 0},
        {"?format=555&layout=rotated", 240, 320, PixelFormat::Rgb555, Layout::Rotated, 0},
        {"display=1x8192&zoom=8&layout=padded", 1, 8192, PixelFormat::Rgb565, Layout::Padded, 8},
        {"?layout=mirrored&&zoom=1&", 240, 320, PixelFormat::Rgb565, Layout::Mirrored, 1},
        {"?display=241%78323&format=%35%35%35", 241, 323, PixelFormat::Rgb555, Layout::Normal, 0},
        {"?trace", 240, 320, PixelFormat::Rgb565, Layout::Normal, 0, true},
        {"?zoom=2&trace=", 240, 320, PixelFormat::Rgb565, Layout::Normal, 2, true},
        {"?trace=1&display=320x240", 320, 240, PixelFormat::Rgb565, Layout::Normal, 0, true},
    };
    for (const Case& c : cases) {
        std::string error;
        const std::optional<khost::PageOptions> o = khost::parsePageQuery(c.query, &error);
        ASSERT_TRUE(o) << c.query << ": " << error;
        EXPECT_EQ(o->geometry.width, c.width) << c.query;
        EXPECT_EQ(o->geometry.height, c.height) << c.query;
        EXPECT_EQ(o->geometry.format, c.format) << c.query;
        EXPECT_EQ(o->geometry.layout, c.layout) << c.query;
        EXPECT_EQ(o->zoom, c.zoom) << c.query;
        EXPECT_EQ(o->trace, c.trace) << c.query;
    }
}

TEST(PageQuery, RefusesWithOneLineNamingTheParameter) {
    const std::pair<const char*, const char*> cases[] = {
        {"?display=0x320", "display: expected WxH with each side 1 to 8192, got '0x320'"},
        {"?display=8193x1", "display: expected WxH"},
        {"?display=240", "display: expected WxH"},
        {"?display=240x320x2", "display: expected WxH"},
        {"?display=-240x320", "display: expected WxH"},
        {"?display=", "display: expected WxH"},
        {"?format=565x", "format: expected 565 or 555, got '565x'"},
        {"?layout=Normal", "layout: expected normal, padded, mirrored or rotated"},
        {"?zoom=0", "zoom: expected a whole number 1 to 8, got '0'"},
        {"?zoom=2.5", "zoom: expected a whole number 1 to 8"},
        {"?zoom=99999999999999999999", "zoom: expected a whole number 1 to 8"},
        {"?zoom", "zoom: expected a whole number 1 to 8, got ''"},
        {"?display=240x320&display=320x240", "parameter 'display' is given twice"},
        {"?Display=240x320", "unknown parameter 'Display'"},
        {"?trace=yes", "trace: takes no value (or 1), got 'yes'"},
        {"?trace&trace", "parameter 'trace' is given twice"},
        {"?display=240%x320", "broken %-escape in 'display=240%x320'"},
        {"?display=240x32%3", "broken %-escape"},
    };
    for (const auto& [query, expected] : cases) {
        std::string error;
        EXPECT_FALSE(khost::parsePageQuery(query, &error)) << query;
        EXPECT_NE(error.find(expected), std::string::npos) << query << " gave: " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << query;
    }
}

}  // namespace
