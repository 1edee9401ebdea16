#include "display_options.h"

#include "core/trace.h"
#include "options.h"

namespace khost {

void addDisplayOptions(CLI::App& app, DisplayOptionText& text) {
    app.add_option("--display", text.display, "Display size WxH, each side 1 to 8192")
        ->capture_default_str();
    app.add_option("--format", text.format,
                   "Pixel format; on 555 BitBlt's picture shows false colours, as the program "
                   "always converts it to 565")
        ->check(CLI::IsMember({"565", "555"}))
        ->capture_default_str();
    app.add_option("--layout", text.layout,
                   "Frame-buffer layout: normal, padded (longer rows), mirrored (xPitch -2), "
                   "rotated (xPitch 2*height, yPitch -2)")
        ->check(CLI::IsMember({"normal", "padded", "mirrored", "rotated"}))
        ->capture_default_str();
    app.add_option("--zoom", text.zoom,
                   "Window points (pixels on an unscaled desktop) per device pixel, 1 to 8 "
                   "(default: the largest up to 2 that fits the desktop)")
        ->check(CLI::Range(1, 8));
}

bool readDisplayOptions(const DisplayOptionText& text, kdev::Geometry* geometry,
                        std::string* error) {
    if (!parseDisplaySize(text.display, &geometry->width, &geometry->height)) {
        *error = "--display: expected WxH with each side 1 to 8192, got '" +
                 kdev::printable(text.display) + "'";
        return false;
    }
    geometry->format = text.format == "565" ? kdev::PixelFormat::Rgb565 : kdev::PixelFormat::Rgb555;
    geometry->layout = text.layout == "padded"     ? kdev::Layout::Padded
                       : text.layout == "mirrored" ? kdev::Layout::Mirrored
                       : text.layout == "rotated"  ? kdev::Layout::Rotated
                                                   : kdev::Layout::Normal;
    return true;
}

}  // namespace khost
