// Where the main window was, remembered between runs for each desktop and display size, in
// window.conf in the user's roaming application data (%APPDATA%\Kestrova). A missing, damaged
// or unwritable file never stops the program: callers get at most one line to say about it.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kwin {

// The window's client area at (x, y) on the desktop, `zoom` desktop pixels per device pixel.
struct WindowPlace {
    int zoom = 1;
    int x = 0;
    int y = 0;
};

// One line of window.conf: "1280x1024 240x320 2 520 192" (the desktop's size, the display's,
// the zoom, the client area's top-left).
struct PlaceEntry {
    int desktopWidth = 0, desktopHeight = 0;
    int width = 0, height = 0;
    WindowPlace place;
};

// The entries of window.conf's text, a later one for the same sizes replacing an earlier one;
// *damagedLine is the first line that is neither an entry, a comment nor blank (0: none).
std::vector<PlaceEntry> parsePlaces(std::string_view text, int* damagedLine);

// window.conf's text for `entries`, with its comment.
std::string formatPlaces(const std::vector<PlaceEntry>& entries);

// %APPDATA%\Kestrova (the known folder's path); empty when the desktop names none.
std::wstring settingsFolder();

// The place remembered in `folder` for this desktop and display; *warning, one line, when the
// file is there but cannot be read or is damaged (its good entries still count).
std::optional<WindowPlace> loadWindowPlace(const std::wstring& folder, int desktopWidth,
                                           int desktopHeight, int width, int height,
                                           std::string* warning);

// Remembers `place` for this desktop and display, keeping the other entries. The file is
// replaced whole (a temporary file moved over it) or left as it was; false, with one line in
// *error, when it cannot be written.
bool saveWindowPlace(const std::wstring& folder, int desktopWidth, int desktopHeight, int width,
                     int height, const WindowPlace& place, std::string* error);

}  // namespace kwin
