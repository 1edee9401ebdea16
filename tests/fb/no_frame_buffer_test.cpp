// Start-up without a frame buffer (GXBeginDraw failed): every drawing primitive and every
// demonstration leaves the screen's memory as it was, padding and command bar included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <vector>

#include "../demos/demo_device.h"

namespace {

struct Drawing {
    const char* name;
    std::function<void(HWND window)> draw;
};

const Drawing kDrawings[] = {
    {"FbDrawLine", [](HWND) { FbDrawLine(0, 30, 239, 319, 0xFFFFFF); }},
    {"FbFillCircle", [](HWND) { FbFillCircle(120, 160, 60, 0xFFFFFF); }},
    {"FbFillCircleRows", [](HWND) { FbFillCircleRows(120, 160, 3, 20, 0xFFFF); }},
    {"FbBlitImage16",
     [](HWND) {
         const std::vector<Image16> image(16 * 16, 0xFFFF);
         FbBlitImage16(image.data(), 0, 30, 16, 16);
     }},
    {"FbClearClientRect",
     [](HWND) {
         const RECT client = {0, 0, 240, 320};
         FbClearClientRect(&client);
     }},
    {"FbClearDrawingArea", [](HWND window) { FbClearDrawingArea(window); }},
    {"LinesDemo", [](HWND window) { RunLinesDemo(window); }},
    {"CirclesDemo", [](HWND window) { RunCirclesDemo(window); }},
    {"BitmapDemo", [](HWND window) { RunBitmapDemo(window); }},
};

class NothingWithoutFrameBuffer : public testing::TestWithParam<Drawing> {};

TEST_P(NothingWithoutFrameBuffer, LeavesTheScreenAlone) {
    demotest::DemoDevice d(240, 320, kdev::Layout::Padded);
    d.fill(0x1234);
    FbAttach(nullptr, g_display, g_barHeight);  // start-up without a frame buffer
    GetParam().draw(d.window());
    const std::vector<std::uint16_t> memory = d.memory();
    EXPECT_EQ(static_cast<std::size_t>(std::count(memory.begin(), memory.end(), 0x1234)),
              memory.size());
}

INSTANTIATE_TEST_SUITE_P(Drawing, NothingWithoutFrameBuffer, testing::ValuesIn(kDrawings),
                         [](const testing::TestParamInfo<Drawing>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
