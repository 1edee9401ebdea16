// Where the window goes and how large it is: pure arithmetic on the desktop's usable area, the
// frame a window manager puts around the window and the device screen's size. Nothing here asks
// a display, so tables of desktops, frames and zooms test it in-process.
#pragma once

#include <optional>
#include <string>

namespace khost {

// A rectangle on the desktop, in points: its top-left corner and its size.
struct Area {
    int x = 0;
    int y = 0;
    int w = 0;
    int h = 0;
};

// A place on the desktop, in points.
struct Spot {
    int x = 0;
    int y = 0;
    bool operator==(const Spot& o) const { return x == o.x && y == o.y; }
};

// What the window manager puts around the client area (title bar, borders), in points.
struct Frame {
    int top = 0;
    int left = 0;
    int bottom = 0;
    int right = 0;
};

// The frame a window manager usually puts around a window, a title bar and thin borders, for
// as long as none has said what it puts around ours.
constexpr Frame kFrameGuess{32, 4, 4, 4};

constexpr int kMaxZoom = 8;
constexpr int kDefaultMaxZoom = 2;

// Whether a client area of w x h, framed, fits inside `usable`.
bool fitsIn(const Area& usable, int w, int h, const Frame& f);

// The client position nearest (x, y) at which the framed window lies inside `usable`. A window
// larger than that keeps its top-left corner, and so its title bar, on the desktop.
Spot keepInside(const Area& usable, int x, int y, int w, int h, const Frame& f);

// The client position that centres the framed window in `usable` (kept inside as above).
Spot centredIn(const Area& usable, int w, int h, const Frame& f);

// The largest zoom from 1 to `most` (itself held to 1..kMaxZoom) at which a screen of
// screenW x screenH device pixels, framed, fits `usable`; 1 when none does.
int largestZoom(const Area& usable, int screenW, int screenH, const Frame& f, int most);

// A place from an earlier run on a desktop of the same size: the client area's corner and the
// zoom the window had there.
struct RememberedPlace {
    Spot at;
    int zoom = 1;
};

// The client area's first place for a window of w x h at `zoom`: the remembered one where the
// window had that zoom and all of it, framed, lies inside `usable` there; else centred. (A place
// saved at another zoom was chosen for another size: kept, it would sit off-centre.)
Spot firstPosition(const Area& usable, const std::optional<RememberedPlace>& remembered, int zoom,
                   int w, int h, const Frame& f);

// One line for a screenW x screenH display that does not fit `usable`, framed, even at zoom 1,
// saying that the window shows its top-left part; empty when it fits.
std::string tooLargeNotice(const Area& usable, int screenW, int screenH, const Frame& f);

// The smallest client size the window may be made: the device screen at zoom 1, or as much of
// it as the usable area holds inside the frame (at least 1 x 1).
Spot minimumSize(const Area& usable, int screenW, int screenH, const Frame& f);

}  // namespace khost
