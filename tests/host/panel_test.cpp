// The real panel's pure parts: which bit fields the device can draw into directly, the
// conversion for the others, and pointer axes scaled to device pixels.
#include "fbdev/panel.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

using kdev::PixelFormat;
using khost::PanelFormat;

const PanelFormat kOwn565{16, {0, 5}, {5, 6}, {11, 5}};
const PanelFormat kOwn555{16, {0, 5}, {5, 5}, {10, 5}};
const PanelFormat kRgb565{16, {11, 5}, {5, 6}, {0, 5}};
const PanelFormat kRgb555{16, {10, 5}, {5, 5}, {0, 5}};
const PanelFormat kXrgb8888{32, {16, 8}, {8, 8}, {0, 8}};

TEST(Panel, OnlyTheDevicesOwnOrderIsDrawnDirectly) {
    EXPECT_EQ(khost::directFormat(kOwn565), PixelFormat::Rgb565);
    EXPECT_EQ(khost::directFormat(kOwn555), PixelFormat::Rgb555);
    for (const PanelFormat& other :
         {kRgb565, kRgb555, kXrgb8888, PanelFormat{16, {0, 5}, {5, 5}, {11, 5}},
          PanelFormat{15, {0, 5}, {5, 5}, {10, 5}}, PanelFormat{16, {0, 4}, {5, 6}, {11, 5}}})
        EXPECT_FALSE(khost::directFormat(other));
    EXPECT_EQ(khost::drawingFormat(kRgb555), PixelFormat::Rgb555);
    EXPECT_EQ(khost::drawingFormat(kRgb565), PixelFormat::Rgb565);
    EXPECT_EQ(khost::drawingFormat(kXrgb8888), PixelFormat::Rgb565);
}

TEST(Panel, ConvertsOnlyWhatFitsThePixel) {
    EXPECT_TRUE(khost::PanelConverter::supports(kRgb565));
    EXPECT_TRUE(khost::PanelConverter::supports(kXrgb8888));
    EXPECT_FALSE(khost::PanelConverter::supports(PanelFormat{24, {16, 8}, {8, 8}, {0, 8}}));
    EXPECT_FALSE(khost::PanelConverter::supports(PanelFormat{16, {11, 6}, {5, 6}, {0, 5}}));
    EXPECT_FALSE(khost::PanelConverter::supports(PanelFormat{32, {0, 10}, {10, 10}, {20, 10}}));
    EXPECT_FALSE(khost::PanelConverter::supports(PanelFormat{16, {11, 5}, {5, 6}, {0, 0}}));
}

// Device pixels (red in the low field) to each panel: the channels land in the panel's own
// fields, widened by bit replication.
TEST(Panel, ConversionPutsEachChannelInThePanelsField) {
    struct Case {
        PixelFormat from;
        PanelFormat panel;
        std::uint16_t pixel;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {PixelFormat::Rgb565, kRgb565, 0x001F, 0xF800},  // red
        {PixelFormat::Rgb565, kRgb565, 0xF800, 0x001F},  // blue
        {PixelFormat::Rgb565, kRgb565, 0x07E0, 0x07E0},  // green stays
        {PixelFormat::Rgb565, kRgb565, 0x1234, 0xA222},  // a mixed value, swapped exactly
        {PixelFormat::Rgb555, kRgb555, 0x001F, 0x7C00},
        {PixelFormat::Rgb555, kRgb555, 0x03E0, 0x03E0},
        {PixelFormat::Rgb565, kXrgb8888, 0x001F, 0xFF0000},  // widened to 255
        {PixelFormat::Rgb565, kXrgb8888, 0x0020, 0x000400},  // green 1 of 63 -> 4
        {PixelFormat::Rgb555, kXrgb8888, 0x7C00, 0x0000FF},
        {PixelFormat::Rgb565, kXrgb8888, 0xFFFF, 0xFFFFFF},
    };
    for (const Case& c : cases) {
        const khost::PanelConverter converter(c.from, c.panel);
        std::uint16_t row[3] = {0, c.pixel, 0};
        std::uint32_t out[3] = {0xDEADBEEF, 0xDEADBEEF, 0xDEADBEEF};
        converter.convertRow(row + 1, out + 1, 1);
        std::uint32_t got = out[1];
        if (c.panel.bitsPerPixel == 16) {
            std::uint16_t v16;
            std::memcpy(&v16, &out[1], 2);
            got = v16;
            std::uint16_t after;
            std::memcpy(&after, reinterpret_cast<unsigned char*>(&out[1]) + 2, 2);
            EXPECT_EQ(after, 0xDEAD) << "a 16-bit panel's pixel is two bytes";
        }
        EXPECT_EQ(got, c.expected) << std::hex << c.pixel;
        EXPECT_EQ(out[0], 0xDEADBEEFu);
        EXPECT_EQ(out[2], 0xDEADBEEFu);
    }
}

TEST(Panel, AxesScaleFromTheirOwnRangeToDevicePixels) {
    struct Case {
        int value, minimum, maximum, pixels, expected;
    };
    const Case cases[] = {
        {0, 0, 32767, 1024, 0},  // the tablet's ends are the screen's ends
        {32767, 0, 32767, 1024, 1023},
        {16384, 0, 32767, 1024, 511},
        {1024, 0, 32767, 1024, 31},  // 1025 is the first value on pixel 32
        {1025, 0, 32767, 1024, 32},
        {100, 100, 3900, 240, 0},  // a touchscreen whose range starts above 0
        {3900, 100, 3900, 240, 239},
        {2000, 100, 3900, 240, 119},
        {50, 100, 3900, 240, 0},  // outside the range: held at its ends
        {5000, 100, 3900, 240, 239},
        {-10, -100, 100, 320, 143},  // a range around 0
        {7, 5, 5, 320, 0},           // an empty range
        {-2147483647, -2147483647, 2147483647, 8192, 0},
        {2147483647, -2147483647, 2147483647, 8192, 8191},
    };
    for (const Case& c : cases)
        EXPECT_EQ(khost::axisToPixel(c.value, c.minimum, c.maximum, c.pixels), c.expected)
            << c.value << " in " << c.minimum << ".." << c.maximum;
}

TEST(Panel, ScreenOnProvidedMemoryUsesItsPitch) {
    std::uint16_t memory[4 * 3] = {};
    std::string error;
    auto padded = kdev::Screen::adopt(3, 3, PixelFormat::Rgb565, memory, 8, &error);
    ASSERT_TRUE(padded) << error;
    EXPECT_EQ(padded->geometry().layout, kdev::Layout::Padded);
    EXPECT_EQ(padded->yPitch(), 8);
    padded->set(2, 2, 0x1234);
    EXPECT_EQ(memory[2 * 4 + 2], 0x1234);
    EXPECT_EQ(padded->memoryPixels(), 12u);
    auto normal = kdev::Screen::adopt(4, 3, PixelFormat::Rgb555, memory, 8, &error);
    ASSERT_TRUE(normal) << error;
    EXPECT_EQ(normal->geometry().layout, kdev::Layout::Normal);
    for (int rowBytes : {6, 7, -8})
        EXPECT_FALSE(kdev::Screen::adopt(4, 3, PixelFormat::Rgb565, memory, rowBytes, &error))
            << rowBytes;
    EXPECT_FALSE(kdev::Screen::adopt(0, 3, PixelFormat::Rgb565, memory, 8, &error));
    EXPECT_FALSE(kdev::Screen::adopt(4, 3, PixelFormat::Rgb565, nullptr, 8, &error));
}

}  // namespace
