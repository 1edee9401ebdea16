// The device's one text helper: UTF-16 (the platform's strings) to and from UTF-8 (files,
// scripts, the terminal), and text made safe to print.
#pragma once

#include <string>
#include <string_view>

namespace kdev {

// A lone surrogate becomes U+FFFD (Replace), or is written as its own three bytes (Keep), so
// that every UTF-16 string, well-formed or not, has exactly one encoding.
enum class LoneSurrogate { Replace, Keep };
std::string toUtf8(std::u16string_view text, LoneSurrogate lone = LoneSurrogate::Replace);
// A byte that begins no UTF-8 sequence becomes U+FFFD.
std::u16string toUtf16(std::string_view text);

// Text from outside (a script line, a file name) made safe to show on a terminal: control
// characters (C0, DEL, C1, the bidirectional overrides) and bytes that are not UTF-8 become
// \xNN, byte by byte, and a backslash is doubled; everything else is kept as it is.
std::string printable(std::string_view text);

}  // namespace kdev
