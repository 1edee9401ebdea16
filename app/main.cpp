// Start-up, the message loop and shutdown.
#include "kestrova.h"

#define MAX_LOADSTRING 100

int AppMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showMode) {
    MSG msg;

    (void)previousInstance;
    (void)commandLine;

    if (!GXOpenDisplay(g_mainWindow, 0)) {
        MessageBoxW(NULL, TEXT("GXOpenDisplay failed"), TEXT(""), MB_OK);
        return 0;
    }
    // The description now; the bar's height comes with the main window, the frame buffer after.
    FbAttach(NULL, GXGetDisplayProperties(), COMMANDBAR_HEIGHT);

    if (!CreateMainWindow(instance, showMode)) {
        // The display was opened above; nobody else will close it.
        FbDetach();
        GXCloseDisplay();
        return 0;
    }

    FbAttach((Pixel16*)GXBeginDraw(), g_display, g_barHeight);
    if (g_frameBuffer == NULL) {
        MessageBoxW(NULL, TEXT("Framebuffer couldn't be opened!"), TEXT("Error"), MB_OK);
    }

    g_parrotBitmap = LoadBitmapW(instance, TEXT("PARROT"));

    while (GetMessageW(&msg, NULL, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }

    GXEndDraw();
    FbDetach();
    GXCloseDisplay();
    DeleteObject(g_parrotBitmap);

    return (int)msg.wParam;
}

BOOL CreateMainWindow(HINSTANCE instance, int showMode) {
    WCHAR title[MAX_LOADSTRING];
    WCHAR className[MAX_LOADSTRING];
    HWND existing;

    g_hInstance = instance;
    LoadStringW(instance, IDS_CLASS, className, MAX_LOADSTRING);
    LoadStringW(instance, IDS_TITLE, title, MAX_LOADSTRING);

    // Only one copy runs: bring the running one (and its dialogs) forward instead.
    existing = FindWindowW(className, title);
    if (existing) {
        SetForegroundWindow((HWND)((ULONG_PTR)existing | 0x01));
        return FALSE;
    }

    RegisterMainWindowClass(instance, className);

    g_mainWindow = CreateWindowExW(0, className, title, WS_VISIBLE, 0, 0, (int)g_display.width,
                                   (int)g_display.height, NULL, NULL, instance, NULL);
    if (!g_mainWindow) {
        return FALSE;
    }

    ShowWindow(g_mainWindow, showMode);
    UpdateWindow(g_mainWindow);
    return TRUE;
}

void RegisterMainWindowClass(HINSTANCE instance, LPCWSTR className) {
    WNDCLASSW wc;

    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWindowProc;
    wc.cbClsExtra = 0;
    wc.cbWndExtra = 0;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCE(IDI_APP));
    wc.hCursor = NULL;
    wc.hbrBackground = (HBRUSH)GetStockObject(BLACK_BRUSH);
    wc.lpszMenuName = NULL;
    wc.lpszClassName = className;

    RegisterClassW(&wc);
}
