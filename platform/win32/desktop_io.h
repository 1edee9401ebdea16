// What the desktop layer's files and lines for the user share: UTF-16 as UTF-8, the system's
// words for an error code, and a file written whole before it takes its name.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kwin {

std::string utf8(const std::wstring& text);

// What FormatMessageW says of a Win32 error or an HRESULT, on one line without a final stop;
// "error 0x...." when it says nothing.
std::string systemMessage(DWORD code);

// `bytes` in a new temporary file in `folder`, flushed to the disk; its path, or empty with a
// reason (nothing is left behind then). The caller moves it to its name.
std::wstring writeTemporary(const std::wstring& folder, const std::vector<std::uint8_t>& bytes,
                            std::string* error);

}  // namespace kwin
