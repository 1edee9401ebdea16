// The main window: builds the command bar and turns the Tools menu's commands into actions.
#include <commctrl.h>

#include "kestrova.h"

static void OnCreate(HWND window) {
    g_commandBar = CommandBar_Create(g_hInstance, window, 1);
    CommandBar_InsertMenubar(g_commandBar, g_hInstance, IDR_MAIN_MENU, 0);
    CommandBar_AddAdornments(g_commandBar, 0, 0);
    CommandBar_Show(g_commandBar, TRUE);
    SetForegroundWindow(window);
    FbAttach(g_frameBuffer, g_display, CommandBar_Height(g_commandBar));
}

static void OnExit(HWND window) {
    SendMessageW(window, WM_ACTIVATE, WA_INACTIVE, (LPARAM)window);
    SendMessageW(window, WM_CLOSE, 0, 0);
}

static void OnDestroy(void) {
    DestroyWindow(g_commandBar);
    PostQuitMessage(0);
}

// Runs one Tools command; FALSE for an id that is none of them.
static BOOL OnCommand(HWND window, int id) {
    switch (id) {
        case CMD_ABOUT:
            ShowAboutDialog(window);
            return TRUE;
        case CMD_EXIT:
            OnExit(window);
            return TRUE;
        case CMD_BITBLT:
            FbClearDrawingArea(window);
            RunBitmapDemo(window);
            return TRUE;
        case CMD_LINES:
            FbClearDrawingArea(window);
            RunLinesDemo(window);
            return TRUE;
        case CMD_CIRCLES:
            FbClearDrawingArea(window);
            RunCirclesDemo(window);
            return TRUE;
        case CMD_CLEAR:
            FbClearDrawingArea(window);
            return TRUE;
    }
    return FALSE;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM first, LPARAM second) {
    switch (message) {
        case WM_CREATE:
            OnCreate(window);
            return 0;

        case WM_DESTROY:
            OnDestroy();
            return 0;

        case WM_COMMAND:
            if (OnCommand(window, LOWORD(first))) {
                return 0;
            }
            break;
    }
    return DefWindowProcW(window, message, first, second);
}
