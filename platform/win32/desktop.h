// How the handheld's display meets the desktop: the geometry and zoom the host chose, the
// program's main window, and the showing of the screen memory in it.
#pragma once

#include <windows.h>

#include "core/screen.h"

namespace kwin {

// The command bar's height in device pixels, the device's own: the drawing area starts below.
constexpr int kCommandBarHeight = 26;

// Set by the host before the program starts.
void setDisplay(const kdev::Geometry& geometry, int zoom);
const kdev::Geometry& displayGeometry();
int zoom();  // desktop pixels per device pixel, each way

// Watches the program's thread for its main window: the first top-level window of a class of
// the program's own. It gets a client area of the display's size times the zoom, a caption
// with the desktop's close and minimise buttons, and after every message its procedure has
// handled, the screen memory is shown in it. False when the watch cannot be set up.
bool watchForMainWindow(HINSTANCE program);
HWND mainWindow();  // null until created, and again once destroyed

// Shows the screen memory in the main window's client area (gx.cpp); nothing while either is
// missing. The command bar, a child window, keeps its own pixels.
void presentDisplay();

// Opens the command bar's first menu from the keyboard (command_bar.cpp); false without one.
bool openCommandBarMenu(HWND window);

}  // namespace kwin
