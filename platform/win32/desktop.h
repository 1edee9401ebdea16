// How the handheld's display meets the desktop: the geometry and zoom the host chose, the
// program's main window, and the showing of the screen memory in it.
#pragma once

#include <windows.h>

#include <string>

#include "core/screen.h"

namespace kwin {

// The command bar's height in device pixels, the device's own: the drawing area starts below.
constexpr int kCommandBarHeight = 26;

// Set by the host before the program starts. `wantedZoom` is --zoom, 0 when not given (the
// largest up to 2 that fits); `title` replaces the main window's, naming the geometry.
void setDisplay(const kdev::Geometry& geometry, int wantedZoom, const std::wstring& title);
const kdev::Geometry& displayGeometry();
int zoom();  // desktop pixels per device pixel, each way
// The picture's top-left in the main window's client area: (0, 0) but filling the monitor.
POINT pictureOrigin();

// Watches the program's thread for its main window: the first top-level window of a class of
// the program's own. It gets a client area of the display's size times the largest zoom up to
// the one wanted at which it fits the monitor's work area (a --zoom lowered is said on stderr
// and in the title), centred there, a caption with the desktop's close and minimise buttons,
// and after every message its procedure has handled, the screen memory is shown in it.
// Ctrl+1 to Ctrl+8 change the zoom, Ctrl+0 to the largest that fits. Its caption and taskbar
// button show the executable's icon; dialogs it owns (About) open centred over it. False when
// the watch cannot be set up.
bool watchForMainWindow(HINSTANCE program);
HWND mainWindow();  // null until created, and again once destroyed

// Shows the screen memory in the main window's client area (gx.cpp); nothing while either is
// missing. The command bar, a child window, keeps its own pixels.
void presentDisplay();

// Opens the command bar's first menu from the keyboard (command_bar.cpp); false without one.
bool openCommandBarMenu(HWND window);

// Writes text to stdout or stderr when it leads anywhere (a console, a file, a pipe); false
// when it does not (started from the desktop's shell, say). main.cpp.
bool writeToConsole(DWORD which, const std::string& text);

}  // namespace kwin
