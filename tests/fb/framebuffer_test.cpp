// The frame-buffer view: colour packing, pixel addressing and clearing the drawing area.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "fb.h"
#include "fb_target.h"

namespace {

using fbtest::Target;

// Attaches the view to base with a description of only these fields, the others 0.
void Attach(Pixel16* base, LONG xPitch, LONG yPitch, LONG bitsPerPixel, DWORD formatFlags) {
    GXDisplayProperties display{};
    display.xPitch = xPitch;
    display.yPitch = yPitch;
    display.bitsPerPixel = bitsPerPixel;
    display.formatFlags = formatFlags;
    FbAttach(base, display, FB_INITIAL_BAR_HEIGHT);
}

struct PackCase {
    DWORD formatFlags;
    ColorRef color;
    Pixel16 expected;
};

TEST(PackColor, WorkedExamplesInBothPackings) {
    const PackCase cases[] = {
        {kfDirect565, 0xFFFFFF, 0xFFFF},
        {kfDirect565, 0x0080FF, 0x041F},
        {kfDirect565, 0xFFFF00, 0xFFE0},
        {kfDirect565, 0x0000FF, 0x001F},  // red in the bottom field
        {kfDirect565, 0xFF0000, 0xF800},  // blue in the top field
        {kfDirect565, 0x00FF00, 0x07E0},
        {kfDirect565, 0x070307, 0x0000},    // bits below each field are dropped
        {kfDirect565, 0xAB0080FF, 0x041F},  // bits 24-31 are ignored
        {kfDirect555, 0xFFFFFF, 0x7FFF},
        {kfDirect555, 0x0080FF, 0x021F},
        {kfDirect555, 0xFF0000, 0x7C00},
        {kfDirect555, 0x00FF00, 0x03E0},
        {kfDirect555 | kfDirect, 0xFFFFFFFF, 0x7FFF},  // only bit 0x80 selects the packing
        {0, 0x0000FF, 0x001F},
    };
    for (const PackCase& c : cases) {
        Attach(nullptr, 0, 0, 0, c.formatFlags);
        EXPECT_EQ(PackColor(c.color), c.expected)
            << std::hex << "flags 0x" << c.formatFlags << " colour 0x" << c.color;
    }
    FbDetach();
}

TEST(PackColor, FiveFiveFiveNeverSetsBitFifteen) {
    Attach(nullptr, 0, 0, 0, kfDirect555);
    model::Lcg random(7);
    for (int i = 0; i < 10000; ++i) {
        const ColorRef color = (static_cast<ColorRef>(random.next()) << 17) ^
                               (static_cast<ColorRef>(random.next()) << 2) ^ random.next();
        EXPECT_EQ(PackColor(color) & 0x8000, 0) << std::hex << color;
    }
    FbDetach();
}

struct AddressCase {
    LONG xPitch, yPitch;
    int x, y;
    std::ptrdiff_t expectedBytes;
};

TEST(PixelAddress, UsesHalvedPitchesTruncatedTowardZero) {
    const AddressCase cases[] = {
        {2, 480, 3, 1, 2 * (3 + 240)},
        {-2, 480, 3, 1, 474},                // mirrored: 2 * (-3 + 240)
        {640, -2, 3, 1, 2 * (3 * 320 - 1)},  // rotated
        {-3, 480, 1, 0, -2},                 // -3 / 2 = -1 pixel
        {-3, 480, 5, 2, 2 * (-5 + 480)},
        {3, 7, 2, 2, 2 * (2 * 1 + 2 * 3)},
        {2, 480, -4, -1, 2 * (-4 - 240)},
    };
    std::vector<Pixel16> memory(4096);
    for (int bitsPerPixel : {16, 8, 32}) {
        for (const AddressCase& c : cases) {
            Attach(memory.data() + 2048, c.xPitch, c.yPitch, bitsPerPixel, 0);
            const auto* address = reinterpret_cast<const unsigned char*>(PixelAddress(c.x, c.y));
            EXPECT_EQ(address - reinterpret_cast<const unsigned char*>(g_frameBuffer),
                      c.expectedBytes)
                << "pitches " << c.xPitch << ", " << c.yPitch << " pixel (" << c.x << ", " << c.y
                << ") bpp " << bitsPerPixel;
        }
    }
    FbDetach();
}

TEST(PixelAddress, NullWithoutFrameBuffer) {
    Attach(nullptr, 2, 480, 0, 0);
    EXPECT_EQ(PixelAddress(3, 1), nullptr);
    FbDetach();
}

// Clearing on every layout and both packings, read back through the pitches: the memory starts
// non-zero, the drawing area ends zero, the bar's rows and any padding keep their value.
class ClearTest : public ::testing::TestWithParam<std::tuple<kdev::Layout, kdev::PixelFormat>> {};

TEST_P(ClearTest, ZeroesExactlyTheDrawingArea) {
    const auto [layout, format] = GetParam();
    struct Size {
        int width, height, bar;
    };
    for (Size size : {Size{240, 320, 26}, Size{241, 323, 26}, Size{7, 30, 26}, Size{1, 27, 26},
                      Size{33, 9, 0}}) {
        Target target(size.width, size.height, layout, format, size.bar);
        target.fillMemory(0xA5C3);
        const RECT client = {0, 0, size.width, size.height};
        FbClearClientRect(&client);
        for (int y = 0; y < size.height; ++y)
            for (int x = 0; x < size.width; ++x)
                ASSERT_EQ(target.get(x, y), y < size.bar ? 0xA5C3 : 0)
                    << size.width << "x" << size.height << " at (" << x << ", " << y << ")";
        EXPECT_EQ(target.strayWrites(size.bar, 0xA5C3), 0u);
    }
}

TEST_P(ClearTest, KeepsToTheClientRectangleAndTheDisplay) {
    const auto [layout, format] = GetParam();
    Target target(40, 60, layout, format, 26);
    struct Case {
        RECT client;
        int left, top, right, bottom;
    };  // expected zeroed rectangle
    const Case cases[] = {
        {{5, 3, 30, 50}, 5, 29, 30, 50},        // offset client: its own rows below the bar
        {{-10, -40, 100, 200}, 0, 26, 40, 60},  // larger than the display: clipped to it
        {{0, 0, 40, 26}, 0, 0, 0, 0},           // no taller than the bar: untouched
        {{0, 10, 40, 20}, 0, 0, 0, 0},         {{20, 0, 20, 60}, 0, 0, 0, 0},  // empty width
        {{30, 0, 10, 60}, 0, 0, 0, 0},                                         // right of left
    };
    for (const Case& c : cases) {
        target.fillMemory(0x1234);
        FbClearClientRect(&c.client);
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 40; ++x) {
                const bool zeroed = x >= c.left && x < c.right && y >= c.top && y < c.bottom;
                ASSERT_EQ(target.get(x, y), zeroed ? 0 : 0x1234)
                    << "client " << c.client.left << "," << c.client.top << "," << c.client.right
                    << "," << c.client.bottom << " at (" << x << ", " << y << ")";
            }
        EXPECT_EQ(target.strayWrites(26, 0x1234), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, ClearTest,
                         ::testing::Combine(::testing::ValuesIn(fbtest::kAllLayouts),
                                            ::testing::Values(kdev::PixelFormat::Rgb565,
                                                              kdev::PixelFormat::Rgb555)),
                         [](const auto& info) {
                             return std::string(fbtest::LayoutName(std::get<0>(info.param))) +
                                    (std::get<1>(info.param) == kdev::PixelFormat::Rgb565 ? "565"
                                                                                          : "555");
                         });

}  // namespace
