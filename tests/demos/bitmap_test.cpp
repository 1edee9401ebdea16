// The BitBlt demonstration on an in-process device: the trail of copies of the converted
// "PARROT" bitmap, its limits, and what happens without a buffer or a usable resource.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "demo_device.h"

namespace {

using demotest::DemoDevice;
using model::Picture;

// The bitmap resource's bytes as the program's module holds them.
std::vector<std::uint8_t> ParrotBytes() {
    HRSRC resource = FindResourceW(g_hInstance, u"PARROT", RT_BITMAP);
    EXPECT_NE(resource, nullptr);
    const auto* bytes =
        static_cast<const std::uint8_t*>(LockResource(LoadResource(g_hInstance, resource)));
    return {bytes, bytes + SizeofResource(g_hInstance, resource)};
}

// Pixel (x, y) of the picture, counted from its top, converted to 5-6-5.
std::uint16_t Converted(const std::vector<std::uint8_t>& dib, int width, int height, int x, int y) {
    return model::Dib24Pixel565(dib.data() + 40, width, height, x, y);
}

// The demo's trail of copies of the w x h picture, below a bar of 26 rows.
Picture ExpectedTrail(DemoDevice& d, const std::vector<std::uint8_t>& dib, int w, int h,
                      int* copies) {
    Picture picture(d.width(), d.height(), 26);
    const std::vector<int> offsets = model::BitBltOffsets(d.width(), d.height(), 26, w, h);
    for (int k : offsets)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) picture.set(k + x, 26 + k + y, Converted(dib, w, h, x, y));
    *copies = static_cast<int>(offsets.size());
    return picture;
}

TEST(BitmapDemo, TwentyNineCopiesEndingAt84And110) {
    DemoDevice d(240, 320);
    const auto dib = ParrotBytes();
    ASSERT_EQ(dib.size(), 53860u);
    RunBitmapDemo(d.window());
    int copies = 0;
    EXPECT_EQ(d.logical(), ExpectedTrail(d, dib, 155, 115, &copies).pixels);
    EXPECT_EQ(copies, 29);
    // The first copy's top-left pixel is the first triple of the last stored row; the last
    // copy shows the whole picture from (84, 110).
    EXPECT_EQ(d.screen().get(0, 26), Converted(dib, 155, 115, 0, 0));
    EXPECT_EQ(d.screen().get(84, 110), Converted(dib, 155, 115, 0, 0));
    EXPECT_EQ(d.screen().get(85, 110), Converted(dib, 155, 115, 1, 0));
    EXPECT_EQ(d.screen().get(238, 224), Converted(dib, 155, 115, 154, 114));
    EXPECT_EQ(d.strayWrites(), 0u);
}

TEST(BitmapDemo, SameFiveSixFivePixelsOnEveryLayoutAndFormat) {
    DemoDevice reference(240, 320);
    RunBitmapDemo(reference.window());
    const auto expected = reference.logical();
    for (kdev::Layout layout : fbtest::kAllLayouts)
        for (kdev::PixelFormat format : {kdev::PixelFormat::Rgb565, kdev::PixelFormat::Rgb555}) {
            DemoDevice d(240, 320, layout, format);
            RunBitmapDemo(d.window());
            EXPECT_EQ(d.logical(), expected) << fbtest::LayoutName(layout);
            EXPECT_EQ(d.strayWrites(), 0u);
        }
}

// Any picture in the resource's format serves; a 155 x 115 one of our own, checked pixel by
// pixel, on sizes where the trail ends by width or by height.
TEST(BitmapDemo, ConvertsWhateverPictureTheResourceHolds) {
    const auto dib = model::MakeDib24(155, 115, [](int x, int y) {
        return model::Bgr{static_cast<std::uint8_t>(x * 3), static_cast<std::uint8_t>(y * 2),
                          static_cast<std::uint8_t>(x ^ y)};
    });
    struct Size {
        int width, height;
    };
    for (Size s :
         {Size{240, 320}, Size{241, 323}, Size{400, 200}, Size{158, 400}, Size{156, 141}}) {
        DemoDevice d(s.width, s.height);
        g_hInstance =
            d.device().device().resources().addModule(demotest::ResourceImageWithParrot(dib));
        ASSERT_NE(g_hInstance, nullptr);
        RunBitmapDemo(d.window());
        int copies = 0;
        EXPECT_EQ(d.logical(), ExpectedTrail(d, dib, 155, 115, &copies).pixels)
            << s.width << "x" << s.height;
        EXPECT_GT(copies, 0);
        EXPECT_EQ(d.strayWrites(), 0u);
    }
}

TEST(BitmapDemo, NoCopyWhenThePictureDoesNotFit) {
    struct Size {
        int width, height;
    };
    for (Size s : {Size{155, 320}, Size{100, 320}, Size{240, 140}, Size{1, 1}}) {
        DemoDevice d(s.width, s.height);
        RunBitmapDemo(d.window());
        for (std::uint16_t p : d.memory()) ASSERT_EQ(p, 0) << s.width << "x" << s.height;
    }
}

// Without a buffer, a bitmap or a usable resource, the command only clears: nothing drawn, and
// a buffer taken is given back.
TEST(BitmapDemo, OnlyClearsWithoutBufferBitmapOrUsableResource) {
    auto picture = [](int width, int height, int bitsPerPixel = 24) {
        return model::MakeDib24(
            width, height,
            [](int, int) {
                return model::Bgr{0xFF, 0xFF, 0xFF};
            },
            0, bitsPerPixel);
    };
    auto patch32 = [](std::vector<std::uint8_t> dib, std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i) dib[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
        return dib;
    };
    auto truncated = picture(155, 115);
    truncated.resize(truncated.size() - 1);
    auto headerOnly = picture(155, 115);
    headerOnly.resize(40);
    const std::vector<std::pair<const char*, std::vector<std::uint8_t>>> damaged = {
        {"truncated rows", truncated},
        {"header only", headerOnly},
        {"too short for a header", {40, 0, 0}},
        {"32 bits per pixel", picture(155, 115, 32)},
        {"other width", picture(154, 115)},
        {"other height", picture(155, 114)},
        {"top-down rows", patch32(picture(155, 115), 8, static_cast<std::uint32_t>(-115))},
        {"compressed", patch32(picture(155, 115), 16, 1)},
        {"other header size", patch32(picture(155, 115), 0, 108)},
    };
    for (const auto& [what, bytes] : damaged) {
        DemoDevice d(240, 320);
        g_hInstance =
            d.device().device().resources().addModule(demotest::ResourceImageWithParrot(bytes));
        ASSERT_NE(g_hInstance, nullptr) << what;
        RunBitmapDemo(d.window());
        for (std::uint16_t p : d.memory()) ASSERT_EQ(p, 0) << what;
    }

    {
        kdev::Faults faults;
        faults.alloc = true;
        DemoDevice d(240, 320, kdev::Layout::Normal, kdev::PixelFormat::Rgb565, faults);
        RunBitmapDemo(d.window());
        for (std::uint16_t p : d.memory()) ASSERT_EQ(p, 0) << "no buffer";
    }
    {
        DemoDevice d(240, 320);
        DeleteObject(g_parrotBitmap);
        g_parrotBitmap = nullptr;
        RunBitmapDemo(d.window());
        for (std::uint16_t p : d.memory()) ASSERT_EQ(p, 0) << "no bitmap";
    }
    {
        DemoDevice d(240, 320);
        g_hInstance =
            d.device().device().resources().addModule(demotest::ResourceImageWithParrot({}));
        RunBitmapDemo(d.window());
        for (std::uint16_t p : d.memory()) ASSERT_EQ(p, 0) << "empty resource";
    }
}

// The conversion buffer comes from the page allocator and goes back before the command
// returns, whether it drew or found the resource unusable.
TEST(BitmapDemo, ReleasesItsBuffer) {
    for (bool usable : {true, false}) {
        DemoDevice d(240, 320);
        if (!usable)
            g_hInstance = d.device().device().resources().addModule(
                demotest::ResourceImageWithParrot({1, 2, 3}));
        const std::string path = testing::TempDir() + "bitmap_trace.jsonl";
        ASSERT_TRUE(d.device().device().trace().open(path));
        RunBitmapDemo(d.window());
        std::ifstream in(path);
        std::string line;
        int allocated = 0, released = 0;
        while (std::getline(in, line)) {
            if (line.find("\"VirtualAlloc\"") != std::string::npos &&
                line.find("\"ok\":true") != std::string::npos)
                ++allocated;
            if (line.find("\"VirtualFree\"") != std::string::npos &&
                line.find("\"ok\":true") != std::string::npos)
                ++released;
        }
        EXPECT_EQ(allocated, 1) << usable;
        EXPECT_EQ(released, 1) << usable;
    }
}

}  // namespace
