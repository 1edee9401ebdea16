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
    int zoom = 0;        // window pixels per device pixel, 1 to 8; 0: the largest up to 2 that fits
    std::string device;  // --device NAME, empty for none
    bool headless = false;
    // A real panel instead of a window: --fbdev [DEVICE] or --drm [CARD]; empty for none.
    enum class Panel { None, Fbdev, Drm } panel = Panel::None;
    std::string panelPath;
    std::string script;         // file, "-" for standard input, empty for none
    std::string trace;          // file, empty for none
    std::string tour;           // folder, empty for none
    int slow = 1;               // --slow: the program runs this many times slower (1 to 100000)
    std::string record;         // --record: every presented frame to this APNG, empty for none
    std::string screenshotDir;  // --screenshot-dir: F12's folder, empty for the usual rule
    kdev::Faults faults;
};

// Parses argv. Returns nullopt when the process should end now with *exitCode: 0 after
// --help or --version, 2 after one line on stderr about a bad option.
std::optional<HostOptions> parseOptions(int argc, char** argv, int* exitCode);

// The display geometry's names (core/display_geometry.h), as the host's code calls them.
using kdev::geometryName;
using kdev::parseDisplaySize;

// A desktop a window opens on: `key` names it for the instance registry, `name` for people.
// An empty key is a desktop that no other process shares.
struct Desktop {
    std::string key;
    std::string name;
};

// Which device a run is. Runs meet as instances only on the same device: a window's device is
// its desktop with its geometry, format and layout; a headless run is a device of its own; a
// run that names --device is that device, whatever it shows.
struct DeviceIdentity {
    std::string name;         // the registry's key; empty for a device of its own
    std::string description;  // for messages, e.g. "240x320 5-6-5 normal on :99"
};
DeviceIdentity deviceIdentity(const HostOptions& options, const Desktop& desktop);

}  // namespace khost
