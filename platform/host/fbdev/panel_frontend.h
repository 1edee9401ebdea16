// The real frame-buffer front end: a Linux panel through fbdev (/dev/fbN) or DRM/KMS (a dumb
// buffer on /dev/dri/cardN), input from evdev, the virtual console in graphics mode while it
// runs. Where the panel's pixels are the device's own format the panel's memory is the
// screen memory; otherwise the device draws into memory of its own, converted on present.
#pragma once

#include <memory>
#include <string>

#include "core/frontend.h"
#include "core/screen.h"

namespace khost {

struct PanelOptions {
    enum class Kind { Fbdev, Drm } kind = Kind::Fbdev;
    std::string path;                                      // /dev/fb0, /dev/dri/card0
    kdev::PixelFormat format = kdev::PixelFormat::Rgb565;  // DRM: the depth to ask for
};

class PanelFrontEnd : public kdev::FrontEnd {
public:
    // The screen the device draws into; taken once, before the device is made.
    virtual std::unique_ptr<kdev::Screen> takeScreen() = 0;
};

// Opens the panel and the input devices and puts the console in graphics mode. nullptr with
// one line in *error (no permission, naming the device's group; not a frame buffer; a depth it
// cannot draw; the mapping failing): nothing is left changed then.
std::unique_ptr<PanelFrontEnd> openPanel(const PanelOptions& options, std::string* error);

}  // namespace khost
