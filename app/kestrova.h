// Kestrova's own declarations: command identifiers, globals and the functions the program's
// files call across each other.
#pragma once

#include <windows.h>
#include <gx.h>

#include "resources/resource.h"
#include "../fb/fb.h"

// Globals, defined in globals.cpp (g_display, g_frameBuffer and g_barHeight belong to fb/).
extern HINSTANCE g_hInstance;   // the module instance, for resource loading
extern HWND g_mainWindow;       // the main window; null until created
extern HWND g_commandBar;       // the command bar along the main window's top
extern HBITMAP g_parrotBitmap;  // the "PARROT" bitmap, loaded once at start-up

// Start-up, loop and shutdown (main.cpp).
int AppMain(HINSTANCE instance, HINSTANCE previousInstance, LPWSTR commandLine, int showMode);
BOOL CreateMainWindow(HINSTANCE instance, int showMode);
void RegisterMainWindowClass(HINSTANCE instance, LPCWSTR className);

// The main window (mainwindow.cpp).
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM first, LPARAM second);

// The About dialog (about.cpp).
void ShowAboutDialog(HWND window);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM first, LPARAM second);

// The demonstrations (demos/).
void RunLinesDemo(HWND window);
void RunCirclesDemo(HWND window);
void RunBitmapDemo(HWND window);
