// The program's start-up and shutdown, run in-process on a test device.
#include <gtest/gtest.h>

#include "kestrova.h"
#include "api/device_api.h"
#include "test_device.h"
#include "wm/window_manager.h"

namespace {

LRESULT CALLBACK refuseCreation(HWND window, UINT message, WPARAM first, LPARAM second) {
    if (message == WM_CREATE) return -1;
    return DefWindowProcW(window, message, first, second);
}

TEST(Startup, SetsUpTheFrameBufferViewAndEndsWithTheQuitCode) {
    TestDevice dev({240, 320, kdev::PixelFormat::Rgb555, kdev::Layout::Rotated});
    bool checked = false;
    dev.frontEnd().then([&] {
        EXPECT_EQ(g_frameBuffer, dev.screen().base());
        EXPECT_EQ(g_barHeight, 26);
        EXPECT_EQ(g_display.width, 240u);
        EXPECT_EQ(g_display.xPitch, 640);
        EXPECT_EQ(g_display.formatFlags & kfDirect565, 0u);
        EXPECT_TRUE(IsWindow(g_mainWindow));
        EXPECT_TRUE(IsWindow(g_commandBar));
        EXPECT_NE(g_parrotBitmap, nullptr);
        checked = true;
    });
    dev.frontEnd().tapMenu(u"Tools");
    dev.frontEnd().tapMenu(u"Exit");
    EXPECT_EQ(AppMain(dev.instance(), nullptr, nullptr, SW_SHOW), 0);
    EXPECT_TRUE(checked);
    EXPECT_FALSE(IsWindow(g_mainWindow));
    EXPECT_FALSE(dev.device().displayOpen);
}

TEST(Startup, AMainWindowThatCannotBeCreatedClosesTheDisplayAndReturnsZero) {
    TestDevice dev;
    // A class of that name already exists and refuses its windows.
    WNDCLASSW wc{};
    wc.lpfnWndProc = refuseCreation;
    wc.lpszClassName = u"KESTROVA";
    ASSERT_TRUE(RegisterClassW(&wc));
    EXPECT_EQ(AppMain(dev.instance(), nullptr, nullptr, SW_SHOW), 0);
    EXPECT_FALSE(dev.device().displayOpen);
    EXPECT_TRUE(dev.device().windows().topLevels().empty()) << "a message box or window was left";
}

TEST(Startup, CommandsWithOtherIdsGoToDefaultProcessing) {
    TestDevice dev;
    dev.frontEnd().then([&] {
        // Not one of the six: default processing, which answers 0 and leaves the window be.
        EXPECT_EQ(SendMessageW(g_mainWindow, WM_COMMAND, 40099, 0), 0);
        EXPECT_EQ(SendMessageW(g_mainWindow, WM_COMMAND, CMD_LINES + 0x10000 * 3, 0),
                  0);  // notification code ignored
        EXPECT_TRUE(IsWindow(g_mainWindow));
    });
    EXPECT_EQ(AppMain(dev.instance(), nullptr, nullptr, SW_SHOW), 0);
}

}  // namespace
