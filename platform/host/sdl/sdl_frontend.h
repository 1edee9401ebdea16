// The SDL2 front end: the device's screen in a real window on the desktop.
#pragma once

#include <memory>
#include <string>

#include "core/frontend.h"
#include "core/screen.h"

namespace khost {

struct SdlOptions {
    int zoom = 2;
};

// Opens the window; null, with a reason, when no display is available.
std::unique_ptr<kdev::FrontEnd> makeSdlFrontEnd(const kdev::Screen& screen,
                                                const SdlOptions& options, std::string* error);

}  // namespace khost
