// F12 on the desktop: the device's screen as a PNG in the user's Pictures folder, encoded by
// the desktop's own codecs (WIC).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kwin {

// A picture of the device's screen, one pixel per device pixel: rows top to bottom, each pixel
// as blue, green, red bytes (WIC's 24bppBGR), no padding.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgr;
};

// The screen memory in logical order (gx.cpp); false while the display is not open.
bool screenPicture(Picture* picture);

// The Pictures folder's Kestrova folder (made when missing); empty, with a reason, when the
// desktop names no Pictures folder or it cannot be made.
std::wstring picturesFolder(std::string* error);

// Writes `picture` as kestrova-YYYYMMDD-HHMMSS.png in `folder` (local time; -2, -3... when that
// name is taken): encoded into a temporary file there and renamed, so the picture is whole or
// absent. The path written, or empty with a reason.
std::wstring savePicture(const Picture& picture, const std::wstring& folder, std::string* error);

}  // namespace kwin
