// The display's geometry: its size, pixel format and memory layout, with the names a command
// line and a title give them. The device's screen is built from it; the host reads it from
// the options; the Windows build includes this header and nothing else of the device or host.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace CLI {
class App;
}

namespace kdev {

enum class PixelFormat { Rgb565, Rgb555 };  // blue in the top field, red in the bottom one

// How logical pixels map to memory.
enum class Layout {
    Normal,    // xPitch 2, yPitch 2*width
    Padded,    // xPitch 2, rows longer than the width
    Mirrored,  // xPitch -2: each row stored right to left
    Rotated,   // a landscape panel turned upright: xPitch 2*height, yPitch -2
};

struct Geometry {
    int width = 240;
    int height = 320;
    PixelFormat format = PixelFormat::Rgb565;
    Layout layout = Layout::Normal;
};

constexpr int kMaxScreenSide = 8192;
constexpr int kPadPixels = 24;  // the padded layout's extra pixels at the end of each row

// The names of the formats and layouts: `option` as --format and --layout take them, `shown`
// as titles and messages show them.
struct FormatName {
    std::string_view option;
    std::string_view shown;
    PixelFormat format;
};
inline constexpr FormatName kFormatNames[] = {
    {"565", "5-6-5", PixelFormat::Rgb565},
    {"555", "5-5-5", PixelFormat::Rgb555},
};
struct LayoutName {
    std::string_view option;
    Layout layout;
};
inline constexpr LayoutName kLayoutNames[] = {
    {"normal", Layout::Normal},
    {"padded", Layout::Padded},
    {"mirrored", Layout::Mirrored},
    {"rotated", Layout::Rotated},
};

std::optional<PixelFormat> formatNamed(std::string_view option);
std::optional<Layout> layoutNamed(std::string_view option);
const FormatName& nameOf(PixelFormat format);
std::string_view nameOf(Layout layout);

// "WxH" with each side 1 to kMaxScreenSide.
bool parseDisplaySize(std::string_view text, int* width, int* height);

// "240x320 5-6-5 normal": size, pixel format and layout, for titles and messages.
std::string geometryName(const Geometry& geometry);

// The geometry as a command line gives it: --display, --format and --layout.
struct GeometryText {
    std::string display = "240x320";
    std::string format = "565";
    std::string layout = "normal";
};

// The geometry the text names; false with one line for the user (naming the option, the text
// shown safely) otherwise.
bool readGeometry(const GeometryText& text, Geometry* geometry, std::string* error);

// The display's options on a command line, the host's and the Windows build's: --display,
// --format and --layout into text, --zoom (window points per device pixel, 1 to 8) into zoom,
// when app parses. Defined with the option library in host/display_options.cpp, which only
// command lines compile.
void addDisplayOptions(CLI::App& app, GeometryText* text, int* zoom);

}  // namespace kdev
