// What the window remembers between runs: its place and zoom for each display size on each
// size of desktop, in
// $XDG_CONFIG_HOME/kestrova/window.conf (default ~/.config/kestrova/). A missing, damaged or
// unwritable file never stops the program: callers get at most one line to say about it.
#pragma once

#include <optional>
#include <string>

namespace khost {

// The window's client area at (x, y) on the desktop, `zoom` window points per device pixel.
struct WindowPlace {
    int zoom = 1;
    int x = 0;
    int y = 0;
};

// What a place is remembered for: the device's display size, and the size of the desktop's work
// area (without panels and docks) the window was on. A place saved on a 1024x768 desktop is
// not the one wanted on a 1920x1080 one.
struct PlaceKey {
    int width = 0;
    int height = 0;
    int desktopWidth = 0;
    int desktopHeight = 0;
};

// $XDG_CONFIG_HOME/kestrova, else $HOME/.config/kestrova; empty when neither is set to an
// absolute path.
std::string settingsFolder();

// The place remembered in `folder` for `key`; nullopt when there is none. *warning is set, to
// one line, when the file is there but cannot be read or is damaged (its good entries still
// count). Entries of earlier versions, which named no desktop, are passed over.
std::optional<WindowPlace> loadWindowPlace(const std::string& folder, const PlaceKey& key,
                                           std::string* warning);

// Remembers `place` for `key`, keeping the other keys' entries. The file is replaced whole (a
// temporary file renamed over it) or left as it was; false, with one line in *error, when it
// cannot be written.
bool saveWindowPlace(const std::string& folder, const PlaceKey& key, const WindowPlace& place,
                     std::string* error);

}  // namespace khost
