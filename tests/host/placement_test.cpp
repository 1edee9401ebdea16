// The window's placement arithmetic, with tables of desktops, frames and zooms: what the
// real-window tests check once each through a window manager, here for every edge.
#include "sdl/placement.h"

#include <gtest/gtest.h>

#include <string>

namespace khost {
namespace {

constexpr Area k1024{0, 0, 1024, 768};
constexpr Area k1600{0, 0, 1600, 1200};
constexpr Area kPanelled{0, 30, 1920, 1020};  // a panel along the top
constexpr Area kSecond{1920, 0, 1280, 1024};  // a second monitor to the right
constexpr Frame kNone{0, 0, 0, 0};
constexpr Frame kThick{40, 10, 10, 10};

TEST(PlacementTest, LargestZoomThatFitsFrameAndTitleIncluded) {
    struct Case {
        const char* what;
        Area usable;
        int w, h;
        Frame frame;
        int most;
        int zoom;
    };
    const Case cases[] = {
        {"the default 2 fits", k1024, 240, 320, kFrameGuess, 2, 2},
        {"3 is too tall by the frame", k1024, 240, 320, kFrameGuess, 8, 2},
        {"exactly fits without a frame", {0, 0, 720, 960}, 240, 320, kNone, 8, 3},
        {"one point short with the frame", {0, 0, 727, 995}, 240, 320, kFrameGuess, 8, 2},
        {"exactly fits with the frame", {0, 0, 728, 996}, 240, 320, kFrameGuess, 8, 3},
        {"a large desktop", k1600, 240, 320, kFrameGuess, 8, 3},
        {"8 is the most", {0, 0, 100000, 100000}, 240, 320, kNone, 20, 8},
        {"0 and below mean 1", k1600, 240, 320, kNone, 0, 1},
        {"a display as large as the desktop", k1024, 1024, 768, kFrameGuess, 2, 1},
        {"a display larger than the desktop", k1024, 2000, 2000, kNone, 8, 1},
        {"a thick frame", k1600, 240, 320, kThick, 8, 3},
        {"a panel takes its height", kPanelled, 640, 480, kFrameGuess, 8, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(largestZoom(c.usable, c.w, c.h, c.frame, c.most), c.zoom);
        EXPECT_TRUE(c.zoom == 1 || fitsIn(c.usable, c.w * c.zoom, c.h * c.zoom, c.frame));
    }
}

TEST(PlacementTest, KeepInsidePullsTheFramedWindowOntoTheDesktopTitleBarFirst) {
    struct Case {
        const char* what;
        Area usable;
        int x, y, w, h;
        Frame frame;
        Spot at;
    };
    const Case cases[] = {
        {"inside stays", k1024, 100, 100, 480, 640, kFrameGuess, {100, 100}},
        {"off the right", k1024, 900, 100, 480, 640, kFrameGuess, {1024 - 4 - 480, 100}},
        {"off the bottom", k1024, 100, 700, 480, 640, kFrameGuess, {100, 768 - 4 - 640}},
        {"the title bar above the top", k1024, 100, 0, 480, 640, kFrameGuess, {100, 32}},
        {"off the left", k1024, -50, 100, 480, 640, kFrameGuess, {4, 100}},
        {"below a panel", kPanelled, 10, 10, 480, 640, kFrameGuess, {10, 62}},
        {"on the second monitor", kSecond, 0, 0, 480, 640, kFrameGuess, {1924, 32}},
        {"too large: the top-left corner on the desktop",
         k1024,
         300,
         300,
         2000,
         2000,
         kFrameGuess,
         {4, 32}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Spot at = keepInside(c.usable, c.x, c.y, c.w, c.h, c.frame);
        EXPECT_EQ(at.x, c.at.x);
        EXPECT_EQ(at.y, c.at.y);
    }
}

TEST(PlacementTest, FirstPositionIsTheRememberedPlaceOnlyWhereAllOfItFits) {
    // Centred: the frame's outer box in the middle of the usable area.
    const Spot centre = centredIn(k1024, 480, 640, kFrameGuess);
    EXPECT_EQ(centre.x, 4 + (1024 - 8 - 480) / 2);
    EXPECT_EQ(centre.y, 32 + (768 - 36 - 640) / 2);
    EXPECT_EQ(centredIn(kSecond, 480, 640, kFrameGuess).x, 1920 + 4 + (1280 - 8 - 480) / 2);

    struct Case {
        const char* what;
        Area usable;
        std::optional<RememberedPlace> remembered;
        int zoom;
        Spot at;
    };
    const Case cases[] = {
        {"kept where it fits", k1024, RememberedPlace{{100, 100}, 2}, 2, {100, 100}},
        {"kept on the second monitor", kSecond, RememberedPlace{{2000, 40}, 2}, 2, {2000, 40}},
        // Partly off the desktop (saved on a larger one): centred, not pushed to an edge.
        {"partly off the desktop", k1024, RememberedPlace{{900, 100}, 2}, 2, centre},
        {"its title bar off the top", k1024, RememberedPlace{{100, 10}, 2}, 2, centre},
        // Saved at zoom 3 and opened at 2 (the desktop is smaller, or --zoom): its corner was
        // chosen for another size.
        {"saved at another zoom", k1024, RememberedPlace{{100, 100}, 3}, 2, centre},
        {"nothing remembered", k1024, std::nullopt, 2, centre},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(firstPosition(c.usable, c.remembered, c.zoom, 480, 640, kFrameGuess), c.at);
    }
}

// A display larger than the desktop even at zoom 1 is said in one line; one that fits, not.
TEST(PlacementTest, ADisplayLargerThanTheDesktopIsSaidInOneLine) {
    struct Case {
        Area usable;
        int w, h;
        bool said;
    };
    const Case cases[] = {
        {k1024, 1024, 768, true},  // the frame and the panels do not leave room
        {{0, 0, 1024, 738}, 1016, 702, false},
        {{0, 0, 1024, 738}, 1017, 702, true},
        {{0, 0, 1024, 738}, 1016, 703, true},
        {k1600, 240, 320, false},
        {k1024, 300, 1500, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
        const std::string line = tooLargeNotice(c.usable, c.w, c.h, kFrameGuess);
        EXPECT_EQ(!line.empty(), c.said) << line;
        if (!c.said) continue;
        EXPECT_NE(line.find(std::to_string(c.w) + "x" + std::to_string(c.h) + " display"),
                  std::string::npos)
            << line;
        EXPECT_NE(line.find(std::to_string(c.usable.w) + "x" + std::to_string(c.usable.h)),
                  std::string::npos)
            << line;
        EXPECT_EQ(line.find('\n'), std::string::npos);
    }
}

TEST(PlacementTest, MinimumSizeIsTheScreenAtZoomOneOrWhatTheDesktopHolds) {
    EXPECT_EQ(minimumSize(k1600, 240, 320, kFrameGuess), (Spot{240, 320}));
    EXPECT_EQ(minimumSize(Area{0, 0, 200, 150}, 240, 320, kFrameGuess), (Spot{192, 114}));
    EXPECT_EQ(minimumSize(Area{0, 0, 5, 5}, 240, 320, kThick), (Spot{1, 1}));
}

}  // namespace
}  // namespace khost
