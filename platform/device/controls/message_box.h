// Message boxes: a caption, the text wrapped to fit and an OK button, run modally.
#pragma once

#include <windows.h>

#include <string_view>

namespace kdev {

constexpr std::u16string_view kMessageBoxClass = u"MessageBox";

LRESULT CALLBACK messageBoxProc(HWND hwnd, UINT message, WPARAM first, LPARAM second);

// What MessageBoxW does: shows the box over its owner (or over every window, for none) and
// returns when it is answered.
int messageBox(HWND owner, std::u16string_view text, std::u16string_view caption);

}  // namespace kdev
