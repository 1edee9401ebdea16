// kdev::addDisplayOptions (core/display_geometry.h): the display's options with the option
// library, for the host's command line and the Windows build's.
#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "core/display_geometry.h"

namespace kdev {

namespace {

template <class Names>
std::vector<std::string> optionNames(const Names& names) {
    std::vector<std::string> out;
    for (const auto& n : names) out.emplace_back(n.option);
    return out;
}

}  // namespace

void addDisplayOptions(CLI::App& app, GeometryText* text, int* zoom) {
    app.add_option("--display", text->display, "Display size WxH, each side 1 to 8192")
        ->capture_default_str();
    app.add_option("--format", text->format,
                   "Pixel format; on 555 BitBlt's picture shows false colours, as the program "
                   "always converts it to 565")
        ->check(CLI::IsMember(optionNames(kFormatNames)))
        ->capture_default_str();
    app.add_option("--layout", text->layout,
                   "Frame-buffer layout: normal, padded (longer rows), mirrored (xPitch -2), "
                   "rotated (xPitch 2*height, yPitch -2)")
        ->check(CLI::IsMember(optionNames(kLayoutNames)))
        ->capture_default_str();
    app.add_option("--zoom", *zoom,
                   "Window points (pixels on an unscaled desktop) per device pixel, 1 to 8 "
                   "(default: the largest up to 2 that fits the desktop)")
        ->check(CLI::Range(1, 8));
}

}  // namespace kdev
