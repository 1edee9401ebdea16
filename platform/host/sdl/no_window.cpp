// Builds without the SDL2 front end have no window to open: the host then runs headless only.
#include "sdl/sdl_frontend.h"

namespace khost {

std::unique_ptr<kdev::FrontEnd> makeSdlFrontEnd(const kdev::Screen&, const SdlOptions&,
                                                std::string* error) {
    if (error) *error = "this build has no window (built without SDL2)";
    return nullptr;
}

void traceWindowNotices(kdev::FrontEnd&, kdev::Trace&) {}

Desktop currentDesktop() { return {}; }

}  // namespace khost
