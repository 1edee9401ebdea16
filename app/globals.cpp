// Every global the program keeps, alive for the whole run.
#include "kestrova.h"

HINSTANCE g_hInstance = NULL;   // the module instance, for resource loading
HWND g_mainWindow = NULL;       // the main window; null until created
HWND g_commandBar = NULL;       // the command bar with the Tools menu
HBITMAP g_parrotBitmap = NULL;  // the "PARROT" bitmap shown by BitBlt
GXDisplayProperties g_display;  // copy of the display description
Pixel16* g_frameBuffer = NULL;  // frame-buffer base from GXBeginDraw, or null
int g_barHeight = 26;           // command bar height; drawing starts below it
