// The device's own window classes: command bar, message box, dialog, push button and static
// control, registered on every device from one table.
#pragma once

#include "wm/window_manager.h"

namespace kdev {

void registerSystemClasses(WindowManager& manager);

}  // namespace kdev
