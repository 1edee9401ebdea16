// A build without libdrm and libevdev: the options are there, the panel is not.
#include "fbdev/panel_frontend.h"

namespace khost {

std::unique_ptr<PanelFrontEnd> openPanel(const PanelOptions&, std::string* error) {
    *error = "this build has no real frame-buffer front end (built without libdrm and libevdev)";
    return nullptr;
}

}  // namespace khost
