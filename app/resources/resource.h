// Resource and command identifiers, shared by kestrova.rc and the program.
#pragma once

#define IDS_TITLE 1  // main window title
#define IDS_CLASS 3  // main window class name

#define IDI_APP 101        // the program's icon (32x32 and 16x16)
#define IDR_MAIN_MENU 102  // the command bar's Tools menu
#define IDD_ABOUT 103      // the About dialog

#define CMD_ABOUT 40003
#define CMD_EXIT 40004
#define CMD_BITBLT 40005
#define CMD_LINES 40006
#define CMD_CIRCLES 40007
#define CMD_CLEAR 40008
