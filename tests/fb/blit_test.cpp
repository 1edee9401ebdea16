// ConvertDib24To16 and FbBlitImage16: the 24-bit to 5-6-5 conversion, row strides, and copies
// kept to the drawing area on every layout.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "dib24.h"
#include "fb.h"
#include "fb_target.h"

namespace {

using fbtest::Target;

using Triple = model::Bgr;

std::size_t Stride16(int width) { return (static_cast<std::size_t>(width) + 1) & ~std::size_t{1}; }

// A 24-bit DIB whose pixel (x, y) from the top is colour(x, y), row ends filled with 0xEE so a
// stride error shows.
std::vector<std::uint8_t> MakeDib(int width, int height,
                                  const std::function<Triple(int, int)>& colour) {
    return model::MakeDib24(width, height, colour, 0xEE);
}

Pixel16 To565(const Triple& t) { return model::Bgr565(t.data()); }

// A colour that differs from pixel to pixel in every channel.
Triple Pattern(int x, int y) {
    return {static_cast<std::uint8_t>(x * 37 + y * 11), static_cast<std::uint8_t>(x * 5 + y * 71),
            static_cast<std::uint8_t>(x * 13 ^ y * 29)};
}

TEST(ConvertDib24To16, PixelExamples) {
    const Triple triples[] = {{0xFF, 0xFF, 0xFF},
                              {0x00, 0x00, 0xFF},
                              {0xFF, 0x00, 0x00},
                              {0x00, 0xFF, 0x00},
                              {0x07, 0x03, 0x07}};
    const Pixel16 expected[] = {0xFFFF, 0x001F, 0xF800, 0x07E0, 0x0000};
    const auto dib = MakeDib(5, 1, [&](int x, int) { return triples[x]; });
    std::vector<Image16> image(Stride16(5), 0xDEAD);
    ConvertDib24To16(dib.data(), 5, 1, image.data());
    for (int x = 0; x < 5; ++x) EXPECT_EQ(image[x], expected[x]) << x;
}

// Rows come out top-down (the last stored row first) at the full-width strides, and the
// even-up pixel at the end of an odd row is left alone. 3 pixels: 12-byte source rows (9 and 3
// of fill), 4-pixel image rows. Widths past 21844 would lose rows to 16-bit stride masks.
TEST(ConvertDib24To16, RowsAndStrides) {
    for (int width : {3, 1, 2, 15, 16, 17, 32, 155, 21845, 32767}) {
        const int height = 3;
        const auto dib = MakeDib(width, height, Pattern);
        if (width == 3) {
            EXPECT_EQ(dib.size(), 40u + 3 * 12);
            EXPECT_EQ(Stride16(3), 4u);
        }
        std::vector<Image16> image(Stride16(width) * height, 0xBEEF);
        ConvertDib24To16(dib.data(), width, height, image.data());
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                ASSERT_EQ(image[Stride16(width) * y + x], To565(Pattern(x, y)))
                    << "width " << width << " (" << x << ", " << y << ")";
            if (width % 2 == 1) {
                EXPECT_EQ(image[Stride16(width) * y + width], 0xBEEF);
            }
        }
    }
}

TEST(ConvertDib24To16, NothingForEmptySizes) {
    const auto dib = MakeDib(4, 2, Pattern);
    std::vector<Image16> image(8, 0xBEEF);
    ConvertDib24To16(dib.data(), 0, 2, image.data());
    ConvertDib24To16(dib.data(), 4, 0, image.data());
    ConvertDib24To16(dib.data(), -4, 2, image.data());
    for (Image16 p : image) EXPECT_EQ(p, 0xBEEF);
}

// An image whose pixel (x, y) tells its own position, at full-width strides.
std::vector<Image16> PositionImage(int width, int height) {
    std::vector<Image16> image(Stride16(width) * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image[Stride16(width) * y + x] = static_cast<Image16>(1 + (x * 131 + y * 17) % 65000);
    return image;
}

class BlitTest : public ::testing::TestWithParam<kdev::Layout> {};

// Copies at every kind of position, some cut by the edges, the bar or both: each visible
// pixel comes from the image at its offset, nothing else changes.
TEST_P(BlitTest, CopiesTheVisiblePartOnly) {
    struct Size {
        int width, height, bar;
    };
    struct Copy {
        int x, y, width, height;
    };
    const Copy copies[] = {{0, 26, 5, 4},    {3, 29, 7, 3},        {-3, 30, 6, 5}, {5, 20, 4, 9},
                           {30, 40, 20, 20}, {-10, -10, 100, 100}, {2, 40, 1, 1},  {-5, 50, 3, 3},
                           {4, 22, 5, 8},    {-2, 10, 7, 30},      {0, 0, 0, 5},   {0, 30, 5, -1}};
    for (Size size : {Size{40, 60, 26}, Size{241, 323, 26}, Size{1, 1, 0}, Size{10, 30, 26}}) {
        Target target(size.width, size.height, GetParam(), kdev::PixelFormat::Rgb565, size.bar);
        for (const Copy& c : copies) {
            target.fillMemory(0);
            const auto image = PositionImage(std::max(c.width, 1), std::max(c.height, 1));
            FbBlitImage16(image.data(), c.x, c.y, c.width, c.height);
            for (int y = 0; y < size.height; ++y)
                for (int x = 0; x < size.width; ++x) {
                    const int ix = x - c.x, iy = y - c.y;
                    const bool covered =
                        ix >= 0 && ix < c.width && iy >= 0 && iy < c.height && target.inArea(x, y);
                    ASSERT_EQ(target.get(x, y), covered ? image[Stride16(c.width) * iy + ix] : 0)
                        << size.width << "x" << size.height << " copy at (" << c.x << ", " << c.y
                        << ") pixel (" << x << ", " << y << ")";
                }
            ASSERT_EQ(target.strayWrites(size.bar), 0u);
        }
    }
}

TEST_P(BlitTest, SameLogicalPixelsAsTheNormalLayout) {
    const auto image = PositionImage(155, 115);
    Target normal(240, 320);
    for (int k = 0; k < 87; k += 3) FbBlitImage16(image.data(), k, 26 + k, 155, 115);
    const auto expected = normal.screen().logicalPixels();
    Target other(240, 320, GetParam());
    for (int k = 0; k < 87; k += 3) FbBlitImage16(image.data(), k, 26 + k, 155, 115);
    EXPECT_EQ(other.screen().logicalPixels(), expected);
}

INSTANTIATE_TEST_SUITE_P(AllLayouts, BlitTest, ::testing::ValuesIn(fbtest::kAllLayouts),
                         [](const auto& info) { return fbtest::LayoutName(info.param); });

// A very wide image copied onto a small screen: each row comes from its own image row.
TEST(FbBlitImage16, WideImageRowsUseTheFullStride) {
    Target target(50, 40);
    const int width = 65535, height = 3;
    std::vector<Image16> image(Stride16(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 50; ++x)
            image[Stride16(width) * y + x] = static_cast<Image16>(100 * (y + 1) + x);
    FbBlitImage16(image.data(), 0, 30, width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 50; ++x) ASSERT_EQ(target.get(x, 30 + y), 100 * (y + 1) + x);
}

// The conversion's 5-6-5 pixels go to a 5-5-5 display unchanged.
TEST(FbBlitImage16, FiveFiveFiveDisplayStillReceivesFiveSixFive) {
    Target target(16, 40, kdev::Layout::Normal, kdev::PixelFormat::Rgb555);
    const auto dib = MakeDib(2, 1, [](int x, int) {
        return x == 0 ? Triple{0, 0xFF, 0} : Triple{0xFF, 0xFF, 0xFF};
    });
    std::vector<Image16> image(2);
    ConvertDib24To16(dib.data(), 2, 1, image.data());
    FbBlitImage16(image.data(), 3, 30, 2, 1);
    EXPECT_EQ(target.get(3, 30), 0x07E0);
    EXPECT_EQ(target.get(4, 30), 0xFFFF);
}

}  // namespace
