// The host's command line: what device to emulate and how to show it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/faults.h"
#include "core/screen.h"

namespace khost {

struct HostOptions {
    kdev::Geometry geometry;
    int zoom = 2;
    bool headless = false;
    std::string script;  // file, "-" for standard input, empty for none
    std::string trace;   // file, empty for none
    std::string tour;    // folder, empty for none
    kdev::Faults faults;
};

// Parses argv. Returns nullopt when the process should end now with *exitCode: 0 after
// --help or --version, 2 after one line on stderr about a bad option.
std::optional<HostOptions> parseOptions(int argc, char** argv, int* exitCode);

// "WxH" with each side 1 to kMaxScreenSide.
bool parseDisplaySize(const std::string& text, int* width, int* height);

// "240x320 5-6-5 normal": size, pixel format and layout, for titles and messages.
std::string geometryName(const kdev::Geometry& geometry);

}  // namespace khost
