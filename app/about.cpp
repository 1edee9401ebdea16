// The About dialog.
#include "kestrova.h"

void ShowAboutDialog(HWND window)
{
    (void)window;
}

BOOL CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM first, LPARAM second)
{
    (void)dialog;
    (void)message;
    (void)first;
    (void)second;
    return FALSE;
}
