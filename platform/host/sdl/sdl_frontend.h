// The SDL2 front end: the device's screen in a real window on the desktop.
#pragma once

#include <memory>
#include <string>

#include "core/frontend.h"
#include "core/screen.h"
#include "core/trace.h"
#include "options.h"

namespace khost {

struct SdlOptions {
    // Window points per device pixel, 1 to 8; 0: the remembered zoom, else the largest up to 2
    // at which the window fits the desktop. A zoom that does not fit is lowered.
    int zoom = 0;
    // Where the window's place and zoom are remembered (settings.h); empty: nowhere.
    std::string settingsFolder;
    // --slow, for the title; F7 and F8 change it on the active pacer.
    int slow = 1;
    // --screenshot-dir, F12's folder; empty: the rule of screenshotFolder (snapshot.h).
    std::string screenshotDir;
};

// Opens the window; null, with a reason, when no display is available.
std::unique_ptr<kdev::FrontEnd> makeSdlFrontEnd(const kdev::Screen& screen,
                                                const SdlOptions& options, std::string* error);

// The window's passing notices in its title bar ("zoom 3", "saved ...") also go to the trace,
// as "window_notice" events: a title shown for two seconds is easy to miss, an event is not.
void traceWindowNotices(kdev::FrontEnd& window, kdev::Trace& trace);

// The desktop the window opened on, once makeSdlFrontEnd has succeeded: the X display or the
// Wayland socket. ":0", "unix:0" and ":0.0" are one desktop.
Desktop currentDesktop();

}  // namespace khost
