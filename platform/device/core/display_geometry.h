// The display's geometry: its size, pixel format and memory layout, with the names a command
// line and a title give them. The device's screen is built from it; the host reads it from
// the options; the Windows build includes this header and nothing else of the device or host.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// window.conf, where a front end remembers its window's place for a display size on a desktop
// size: a place a line, "WxH WxH zoom x y" (the two sizes in the order that front end writes
// them, each side 1 to kMaxPlaceSide; the zoom 1 to 8; the client area's top-left, within
// kMaxPlaceCoordinate either way), with blank lines, '#' comments and LF or CRLF endings.
constexpr int kMaxPlaceSide = 100000;
constexpr int kMaxPlaceCoordinate = 1000000;
struct PlaceLine {
    int width[2] = {};
    int height[2] = {};
    int zoom = 1;
    int x = 0;
    int y = 0;
};

// The places of text, a later one for the same two sizes replacing an earlier one;
// *damagedLine is the first line (from 1) that is neither a place, a comment nor blank, 0 when
// there is none. A line of an earlier version, with the first size only ("WxH zoom x y"), is
// valid and passed over.
std::vector<PlaceLine> readPlaceLines(std::string_view text, int* damagedLine);

// "WxH WxH zoom x y", without a line ending.
std::string placeLineText(const PlaceLine& line);

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
