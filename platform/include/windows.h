// windows.h: the handheld platform's core services (window system, messages, resources,
// memory, run-time library) as Kestrova sees them. Written by us for our emulated device:
// the platform's names, types and constants for what the program and the device use, nothing
// more (Headers.EveryDeclarationUsed checks it).
// The device behind these declarations lives in platform/device/.
// Resource compilers read it too (kestrova.rc's styles): they define RC_INVOKED and see only
// the constants, not the C++ types and declarations.
#pragma once

#ifndef RC_INVOKED
#include <cstddef>
#include <cstdint>
#include <cstdlib>  // the run-time library: rand() is the device's generator, never seeded

// ---------------------------------------------------------------------------------------------
// Basic types. The platform is 32-bit: pointer-sized values (handles, message parameters and
// results) follow the pointer width so the same code is right on 32-bit ARM and on the build host.

typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef unsigned int UINT;
typedef std::uintptr_t UINT_PTR;
typedef std::uintptr_t ULONG_PTR;
typedef std::intptr_t LONG_PTR;
typedef std::intptr_t INT_PTR;
typedef std::size_t SIZE_T;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LPARAM;
typedef LONG_PTR LRESULT;
typedef void* LPVOID;
typedef DWORD COLORREF;

// Text is UTF-16 throughout, as on the device.
typedef char16_t WCHAR;
typedef WCHAR* LPWSTR;
typedef const WCHAR* LPCWSTR;
#define TEXT(s) u##s

#define WINAPI
#define CALLBACK

#ifndef NULL
#define NULL nullptr
#endif
#define TRUE 1
#define FALSE 0

#define DECLARE_HANDLE(name) \
    struct name##__;         \
    typedef struct name##__* name

DECLARE_HANDLE(HWND);
DECLARE_HANDLE(HINSTANCE);
DECLARE_HANDLE(HICON);
DECLARE_HANDLE(HBRUSH);
DECLARE_HANDLE(HBITMAP);
DECLARE_HANDLE(HMENU);
DECLARE_HANDLE(HRSRC);
typedef HICON HCURSOR;
typedef void* HGDIOBJ;
typedef void* HGLOBAL;

#define LOWORD(l) ((WORD)(((ULONG_PTR)(l)) & 0xFFFF))
#define MAKEINTRESOURCE(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define IS_INTRESOURCE(p) ((((ULONG_PTR)(p)) >> 16) == 0)

// ---------------------------------------------------------------------------------------------
// Geometry and messages.

typedef struct tagPOINT {
    LONG x;
    LONG y;
} POINT;

typedef struct tagRECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
} RECT, *LPRECT;

typedef struct tagMSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
} MSG, *LPMSG;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
// A dialog procedure answers TRUE or FALSE in a pointer-sized result.
typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);
#endif  // RC_INVOKED

#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_ACTIVATE 0x0006
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_QUIT 0x0012
#define WM_ERASEBKGND 0x0014
#define WM_KEYDOWN 0x0100
#define WM_SYSKEYDOWN 0x0104
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202

#define WA_INACTIVE 0

#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_F10 0x79

// Window styles.
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_DISABLED 0x08000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_EX_CAPTIONOKBTN 0x80000000L

// Class styles.
#define CS_VREDRAW 0x0001
#define CS_HREDRAW 0x0002

// Show modes.
#define SW_HIDE 0
#define SW_SHOW 5

// Dialog styles and control styles.
#define DS_SETFONT 0x40L
#define DS_CENTER 0x0800L
#define SS_LEFT 0x00000000L
#define SS_CENTER 0x00000001L
#define SS_RIGHT 0x00000002L
#define SS_ICON 0x00000003L
#define SS_NOPREFIX 0x00000080L
#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L

#define IDOK 1
#define IDCANCEL 2

// Message boxes.
#define MB_OK 0x00000000L

// Stock objects.
#define WHITE_BRUSH 0
#define BLACK_BRUSH 4

// Resource types.
#define RT_BITMAP MAKEINTRESOURCE(2)
#define RT_ICON MAKEINTRESOURCE(3)
#define RT_MENU MAKEINTRESOURCE(4)
#define RT_DIALOG MAKEINTRESOURCE(5)
#define RT_STRING MAKEINTRESOURCE(6)
#define RT_GROUP_ICON MAKEINTRESOURCE(14)

// Page allocation.
#define MEM_COMMIT 0x00001000
#define MEM_RELEASE 0x00008000
#define PAGE_READWRITE 0x04

#ifndef RC_INVOKED
// ---------------------------------------------------------------------------------------------
// Records.

typedef struct tagWNDCLASSW {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCWSTR lpszMenuName;
    LPCWSTR lpszClassName;
} WNDCLASSW;

typedef struct tagBITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
} BITMAP;

// The fixed head of a dialog template; the variable parts (menu, class, title, font and the
// controls) follow it in the resource bytes.
#pragma pack(push, 2)
typedef struct {
    DWORD style;
    DWORD dwExtendedStyle;
    WORD cdit;
    short x;
    short y;
    short cx;
    short cy;
} DLGTEMPLATE;
#pragma pack(pop)
typedef const DLGTEMPLATE* LPCDLGTEMPLATEW;

// ---------------------------------------------------------------------------------------------
// Operations.

extern "C" {

// Windows and classes.
BOOL WINAPI RegisterClassW(const WNDCLASSW* windowClass);
HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR title, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param);
BOOL WINAPI DestroyWindow(HWND window);
BOOL WINAPI ShowWindow(HWND window, int showMode);
BOOL WINAPI UpdateWindow(HWND window);
HWND WINAPI FindWindowW(LPCWSTR className, LPCWSTR title);
BOOL WINAPI SetForegroundWindow(HWND window);
BOOL WINAPI GetClientRect(HWND window, LPRECT rect);

// Messages.
BOOL WINAPI GetMessageW(LPMSG msg, HWND window, UINT filterMin, UINT filterMax);
BOOL WINAPI TranslateMessage(const MSG* msg);
LRESULT WINAPI DispatchMessageW(const MSG* msg);
LRESULT WINAPI SendMessageW(HWND window, UINT message, WPARAM first, LPARAM second);
void WINAPI PostQuitMessage(int exitCode);
LRESULT WINAPI DefWindowProcW(HWND window, UINT message, WPARAM first, LPARAM second);

// Dialogs and message boxes.
int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);
INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate,
                                       HWND owner, DLGPROC dialogProc, LPARAM param);
BOOL WINAPI EndDialog(HWND dialog, INT_PTR result);

// Resources.
int WINAPI LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax);
HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR name);
HBITMAP WINAPI LoadBitmapW(HINSTANCE instance, LPCWSTR name);
HRSRC WINAPI FindResourceW(HINSTANCE instance, LPCWSTR name, LPCWSTR type);
HGLOBAL WINAPI LoadResource(HINSTANCE instance, HRSRC resource);
LPVOID WINAPI LockResource(HGLOBAL resource);
DWORD WINAPI SizeofResource(HINSTANCE instance, HRSRC resource);

// Drawing objects.
HGDIOBJ WINAPI GetStockObject(int object);
int WINAPI GetObjectW(HGDIOBJ object, int size, LPVOID buffer);
BOOL WINAPI DeleteObject(HGDIOBJ object);

// Memory.
LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect);
BOOL WINAPI VirtualFree(LPVOID address, SIZE_T size, DWORD freeType);

}  // extern "C"
#endif  // RC_INVOKED
