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

// Parses a whole script. On a bad line returns nullopt with *error set to
// "script:LINE: what is wrong".
std::optional<std::vector<ScriptCommand>> parseScript(std::istream& in, std::string* error);

// The key named in a script ("Return", "F10", ...), case-insensitive.
std::optional<kdev::Key> keyFromName(const std::string& name);

}  // namespace khost
