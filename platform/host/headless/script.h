// Headless input scripts: one command a line, '#' starts a comment.
#pragma once

#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "core/frontend.h"

namespace khost {

struct ScriptCommand {
    enum class Kind { Tap, Down, Move, Up, Key, Menu, Command, Screenshot, Dump, Idle, Close };
    Kind kind = Kind::Close;
    int line = 0;
    int x = 0;
    int y = 0;
    kdev::Key key = kdev::Key::Return;
    bool shift = false;                    // key: held with Shift
    std::vector<std::u16string> menuPath;  // "Tools/Lines" -> {"Tools", "Lines"}
    unsigned id = 0;
    std::string file;
    int milliseconds = 0;
};

// Parses a whole script, a line at a time, each at most 4096 bytes, at most 1,000,000 lines
// whose commands take at most 64 MiB; a byte-order mark at the start is skipped. On a bad line
// returns nullopt with *error set to "script:LINE: what is wrong", quoting the script's text with
// its control characters escaped.
std::optional<std::vector<ScriptCommand>> parseScript(std::istream& in, std::string* error);

// Reads and parses the script in the file at path ("-" for standard input). When it cannot be
// read (a folder, a closed standard input, a read error), *error is the line to show:
// "kestrova: cannot read the script PATH: reason". Every read also waits on `stop`, when
// given: once it is readable the reading ends, with nullopt and *error empty.
std::optional<std::vector<ScriptCommand>> loadScript(const std::string& path, std::string* error,
                                                     int stop = -1);

// The key named in a script ("Return", "F10", ...), case-insensitive.
std::optional<kdev::Key> keyFromName(const std::string& name);

}  // namespace khost
