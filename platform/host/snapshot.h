// Files a person can inspect: PNG screenshots and raw dumps of the device screen.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
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

// Where F12 saves, in this order: --screenshot-dir when given; the current folder when the
// program was started from a terminal (standard input or standard error is one); otherwise, as
// from a desktop's menu, whose current folder is no one's choice, "Kestrova" in the pictures
// folder. `pictures` is what `xdg-user-dir PICTURES` answered (nullopt: it is missing or
// failed), and without it $HOME/Pictures; without HOME either, the current folder.
// An empty result is the current folder.
struct ScreenshotFolderRule {
    std::string option;  // --screenshot-dir, empty for none
    bool fromTerminal = false;
    std::optional<std::string> pictures;
    std::string home;  // $HOME, empty when unset
};
std::filesystem::path screenshotFolder(const ScreenshotFolderRule& rule);

// Whether this process was started from a terminal: its standard input or error is one.
bool startedFromTerminal();

// Runs `program` PICTURES (no shell; found on PATH unless it names a path) and returns the
// absolute folder it prints; nullopt when it cannot be run, fails, prints anything else or has
// not answered within `limit` (it is then killed).
std::optional<std::string> askPicturesFolder(std::chrono::milliseconds limit,
                                             const std::string& program = "xdg-user-dir");

// "--screenshot-dir: ..." when `folder` is not an existing folder this process may write
// into; empty when it is.
std::string checkScreenshotFolder(const std::string& folder);

}  // namespace khost
