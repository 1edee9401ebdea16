// Files a person can inspect: PNG screenshots and raw dumps of the device screen.
#pragma once

#include <filesystem>
#include <string>

#include "core/screen.h"

namespace khost {

// The logical screen as an 8-bit RGB PNG. False, with a reason, when it cannot be written;
// the file is then left as it was (see kdev::OutputFile).
bool writePng(const std::string& path, const kdev::Screen& screen, std::string* error);

// The logical screen, rows top to bottom, each pixel as its 16-bit value little-endian.
bool writeDump(const std::string& path, const kdev::Screen& screen, std::string* error);

// A new picture's name in `folder` (empty: the current folder): kestrova-YYYYMMDD-HHMMSS.png,
// with -2, -3... if that name is taken; absolute.
std::filesystem::path screenshotPath(const std::filesystem::path& folder = {});

}  // namespace khost
