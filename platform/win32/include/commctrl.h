// commctrl.h on desktop Windows: mingw-w64's own, plus the handheld's command bar, which the
// desktop lacks; platform/win32 supplies it (command_bar.cpp), behind the device's own
// declarations.
#pragma once

#include <windows.h>  // the desktop's commctrl.h needs it first; the handheld's includes it

#include_next <commctrl.h>

#include "../../include/commctrl.h"
