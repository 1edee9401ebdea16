// The page's query string: which handheld to emulate and how large to show it, e.g.
// "?display=320x240&format=555&layout=rotated&zoom=2".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/screen.h"

namespace khost {

struct PageOptions {
    kdev::Geometry geometry;
    int zoom = 0;        // page pixels per device pixel, 1 to 8; 0: the largest that fits the page
    bool trace = false;  // ?trace: the window-system trace to the browser's console
};

// Reads a query string (with or without its leading '?'; values may be percent-encoded).
// Returns nullopt, with one line for the page to show, for an unknown parameter, a repeated
// one, or a bad value.
std::optional<PageOptions> parsePageQuery(std::string_view query, std::string* error);

}  // namespace khost
