// The About dialog: the program's icon, name and version and two credits, built by the
// platform from dialog resource IDD_ABOUT.
#include "kestrova.h"

void ShowAboutDialog(HWND window) {
    HRSRC resource;
    HGLOBAL loaded;

    resource = FindResourceW(g_hInstance, MAKEINTRESOURCE(IDD_ABOUT), RT_DIALOG);
    loaded = LoadResource(g_hInstance, resource);
    DialogBoxIndirectParamW(g_hInstance, (LPCDLGTEMPLATEW)LockResource(loaded), window,
                            AboutDialogProc, 0);
}

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM first, LPARAM second) {
    (void)second;

    switch (message) {
        case WM_INITDIALOG:
            return TRUE;

        case WM_COMMAND:
            // The OK button and the caption's OK button both send IDOK.
            if (LOWORD(first) == IDOK) {
                EndDialog(dialog, 1);
                return TRUE;
            }
            break;
    }
    return FALSE;
}
