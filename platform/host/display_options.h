// The options that describe the emulated display and how it is shown: --display, --format,
// --layout and --zoom. Shared by the device's host and the Windows build's.
#pragma once

#include <CLI/CLI.hpp>
#include <string>

#include "core/screen.h"

namespace khost {

// What the four options said, as given on the command line.
struct DisplayOptionText {
    std::string display = "240x320";
    std::string format = "565";
    std::string layout = "normal";
    int zoom = 0;  // window points per device pixel, 1 to 8; 0 when not given
};

// Adds the four options to app, writing into text when it parses.
void addDisplayOptions(CLI::App& app, DisplayOptionText& text);

// The geometry the parsed options name; false with a message for the user otherwise.
bool readDisplayOptions(const DisplayOptionText& text, kdev::Geometry* geometry,
                        std::string* error);

}  // namespace khost
