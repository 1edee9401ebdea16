// gx.h on desktop Windows: the handheld's display library is not part of the desktop, so
// platform/win32 supplies it (gx.cpp), behind the device's own declarations.
#pragma once

#include "../../include/gx.h"
