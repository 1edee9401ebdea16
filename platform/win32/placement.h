// Where the main window opens and at what zoom: plain arithmetic on rectangles, apart from the
// calls that ask the desktop for them.
#pragma once

namespace kwin {

constexpr int kMaxZoom = 8;         // --zoom and Ctrl+1 to Ctrl+8
constexpr int kDefaultMaxZoom = 2;  // without --zoom: the largest up to this that fits

struct Box {
    int x = 0, y = 0, width = 0, height = 0;
};

struct Point {
    int x = 0, y = 0;
};

// What the desktop puts around a client area (caption, borders), each side.
struct Frame {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// The largest zoom from 1 up to `wanted` (clamped to 1..kMaxZoom) at which a width x height
// display, framed, fits in `usable`; 1 when none does.
int largestZoom(int wanted, int width, int height, const Frame& frame, const Box& usable);

// The framed window's rectangle for a client area of `width` x `height`: at `at` (the
// client area's top-left) moved the least that keeps it inside `usable`, or centred there
// when there is no `at`. A window larger than `usable` keeps its caption on the desktop.
Box placeWindow(int width, int height, const Frame& frame, const Box& usable, const Point* at);

}  // namespace kwin
