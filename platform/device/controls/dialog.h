// Dialogs built from dialog templates: the dialog window with its caption OK button, the
// controls the template names, the keyboard focus among them, and the modal loop that runs it.
#pragma once

#include <windows.h>

#include <string_view>

namespace kdev {

constexpr std::u16string_view kDialogClass = u"Dialog";

// The class procedure of every dialog.
LRESULT CALLBACK dialogWindowProc(HWND hwnd, UINT message, WPARAM first, LPARAM second);

// What DialogBoxIndirectParamW does: builds the dialog, runs it until its procedure ends it,
// and returns the result given to endDialog (-1 when it cannot be built).
INT_PTR runDialog(HINSTANCE instance, LPCDLGTEMPLATEW dialogTemplate, HWND owner, DLGPROC proc,
                  LPARAM param);
// What EndDialog does; false when the window is no running dialog.
bool endDialog(HWND dialog, INT_PTR result);

// Keyboard focus inside a dialog. A control that the stylus goes down on takes it (nothing
// happens for a window that is no dialog's control); dialogFocus tells which control has it
// (null for none).
void focusDialogControl(HWND control);
HWND dialogFocus(HWND dialog);

}  // namespace kdev
