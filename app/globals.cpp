// The program's globals, alive for the whole run; the frame-buffer view's own live in fb/.
#include "kestrova.h"

HINSTANCE g_hInstance = NULL;   // the module instance, for resource loading
HWND g_mainWindow = NULL;       // the main window; null until created
HWND g_commandBar = NULL;       // the command bar with the Tools menu
HBITMAP g_parrotBitmap = NULL;  // the "PARROT" bitmap shown by BitBlt
