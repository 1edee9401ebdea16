// The headless script reader: every command and every way a line can be wrong, as one table of
// scripts and what they read as; then its bounds (the length of a line, the number of lines,
// the memory the commands take).
#include "headless/script.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "core/strings.h"

namespace {

std::optional<std::vector<khost::ScriptCommand>> parse(const std::string& text,
                                                       std::string* error) {
    std::istringstream in(text);
    return khost::parseScript(in, error);
}

const char* keyName(kdev::Key key) {
    switch (key) {
        case kdev::Key::Return:
            return "Return";
        case kdev::Key::Escape:
            return "Escape";
        case kdev::Key::Tab:
            return "Tab";
        case kdev::Key::Space:
            return "Space";
        case kdev::Key::Left:
            return "Left";
        case kdev::Key::Up:
            return "Up";
        case kdev::Key::Right:
            return "Right";
        case kdev::Key::Down:
            return "Down";
        case kdev::Key::F10:
            return "F10";
    }
    return "?";
}

// A command as "LINE: verb arguments", the menu path's items between brackets.
std::string describe(const khost::ScriptCommand& c) {
    using Kind = khost::ScriptCommand::Kind;
    std::string out = std::to_string(c.line) + ": ";
    auto point = [&](const char* verb) {
        return out + verb + " " + std::to_string(c.x) + " " + std::to_string(c.y);
    };
    switch (c.kind) {
        case Kind::Tap:
            return point("tap");
        case Kind::Down:
            return point("down");
        case Kind::Move:
            return point("move");
        case Kind::Up:
            return point("up");
        case Kind::Key:
            return out + "key " + (c.shift ? "Shift+" : "") + keyName(c.key);
        case Kind::Menu:
            out += "menu";
            for (const std::u16string& item : c.menuPath) out += " [" + kdev::toUtf8(item) + "]";
            return out;
        case Kind::Command:
            return out + "command " + std::to_string(c.id);
        case Kind::Screenshot:
            return out + "screenshot [" + c.file + "]";
        case Kind::Dump:
            return out + "dump [" + c.file + "]";
        case Kind::Idle:
            return out + "idle " + std::to_string(c.milliseconds);
        case Kind::Close:
            return out + "close";
    }
    return out + "?";
}

// What a script reads as: its commands, one a line, or the error.
std::string readAs(const std::string& text) {
    std::string error;
    const std::optional<std::vector<khost::ScriptCommand>> script = parse(text, &error);
    if (!script) return error;
    std::string out;
    for (const khost::ScriptCommand& c : *script) out += describe(c) + "\n";
    return out;
}

TEST(Script, EveryCommandAndEveryBadLine) {
    const std::string keys =
        "(Return, Escape, Up, Down, Left, Right, F10, Tab, Space, each also as Shift+NAME)";
    const std::string coordinates = ": X and Y must be whole numbers from -1048576 to 1048576";
    const struct {
        std::string script;
        std::string expected;
    } cases[] = {
        // The stylus, at the ends of the coordinates' range and past them.
        {"tap 1 2\n", "1: tap 1 2\n"},
        {"down 0 26\nmove -5 30\nup 239 319\n", "1: down 0 26\n2: move -5 30\n3: up 239 319\n"},
        {"move -1048576 1048576\n", "1: move -1048576 1048576\n"},
        {"tap 2000000 1\n", "script:1: tap" + coordinates},
        {"up 1 -1048577\n", "script:1: up" + coordinates},
        {"tap 1\n", "script:1: tap takes X Y"},
        {"tap 1 2 3\n", "script:1: tap takes X Y"},
        {"move\n", "script:1: move takes X Y"},
        {"down 1\n", "script:1: down takes X Y"},
        {"up 1 2 3\n", "script:1: up takes X Y"},
        // A number is all digits.
        {"tap a b\n", "script:1: tap" + coordinates},
        {"tap 1x 2\n", "script:1: tap" + coordinates},
        {"down 1 +2\n", "script:1: down" + coordinates},
        {"move 1.5 2\n", "script:1: move" + coordinates},
        // Keys, by any case, with Shift or without.
        {"key Return\nkey enter\nkey ESCAPE\nkey Tab\nkey space\n",
         "1: key Return\n2: key Return\n3: key Escape\n4: key Tab\n5: key Space\n"},
        {"key Up\nkey Down\nkey Left\nkey Right\nkey F10\n",
         "1: key Up\n2: key Down\n3: key Left\n4: key Right\n5: key F10\n"},
        {"key Shift+Tab\nkey SHIFT+f10\n", "1: key Shift+Tab\n2: key Shift+F10\n"},
        {"key Hyper\n", "script:1: unknown key 'Hyper' " + keys},
        {"key Shift+\n", "script:1: unknown key 'Shift+' " + keys},
        {"key Shift+Shift+Tab\n", "script:1: unknown key 'Shift+Shift+Tab' " + keys},
        {"key F1\n", "script:1: unknown key 'F1' " + keys},
        {"key\n", "script:1: key takes one key name"},
        {"key Return Escape\n", "script:1: key takes one key name"},
        // Menus: items between slashes, trimmed, spaces and any UTF-8 kept.
        {"menu Tools/Lines\n", "1: menu [Tools] [Lines]\n"},
        {"menu  Tools / Clear Screen \n", "1: menu [Tools] [Clear Screen]\n"},
        {"menu Tools\n", "1: menu [Tools]\n"},
        {"menu Werkzeuge/Kreise \xE2\x80\x93 gro\xC3\x9F\n",
         "1: menu [Werkzeuge] [Kreise \xE2\x80\x93 gro\xC3\x9F]\n"},
        {"menu\n", "script:1: menu takes a path such as Tools/Lines"},
        {"menu Tools//Lines\n", "script:1: menu: empty item in 'Tools//Lines'"},
        {"menu /Tools\n", "script:1: menu: empty item in '/Tools'"},
        {"menu Tools/\n", "script:1: menu: empty item in 'Tools/'"},
        {"menu Tools/ /Lines\n", "script:1: menu: empty item in 'Tools/ /Lines'"},
        // Command ids are 16 bits.
        {"command 0\ncommand 65535\n", "1: command 0\n2: command 65535\n"},
        {"command 70000\n", "script:1: command takes an id from 0 to 65535"},
        {"command 65536\n", "script:1: command takes an id from 0 to 65535"},
        {"command -1\n", "script:1: command takes an id from 0 to 65535"},
        {"command 40006x\n", "script:1: command takes an id from 0 to 65535"},
        {"command\n", "script:1: command takes an id from 0 to 65535"},
        {"command 1 2\n", "script:1: command takes an id from 0 to 65535"},
        // Files: the rest of the line, inner spaces kept.
        {"screenshot shots/a b.png\ndump  out.raw \n",
         "1: screenshot [shots/a b.png]\n2: dump [out.raw]\n"},
        {"screenshot\n", "script:1: screenshot takes a file name"},
        {"dump   \n", "script:1: dump takes a file name"},
        // Idle: up to ten minutes.
        {"idle 0\nidle 600000\n", "1: idle 0\n2: idle 600000\n"},
        {"idle -1\n", "script:1: idle takes milliseconds from 0 to 600000"},
        {"idle 600001\n", "script:1: idle takes milliseconds from 0 to 600000"},
        {"idle 5ms\n", "script:1: idle takes milliseconds from 0 to 600000"},
        {"idle\n", "script:1: idle takes milliseconds from 0 to 600000"},
        {"close\n", "1: close\n"},
        {"close now\n", "script:1: close takes nothing"},
        // Verbs are lower case; anything else is named, escaped.
        {"# fine\n\nfrobnicate\n", "script:3: unknown command 'frobnicate'"},
        {"Tap 1 2\n", "script:1: unknown command 'Tap'"},
        {"\x1b[2J\n", "script:1: unknown command '\\x1B[2J'"},
        {"tap 1 2\nidle x\n", "script:2: idle takes milliseconds from 0 to 600000"},
        // Comments, blank lines, tabs, CR LF ends, a byte-order mark at the very start only;
        // a line's number counts every line before it.
        {"", ""},
        {"# only a comment\n\n   \n", ""},
        {"\n# a tap\n  tap 1 2   # at the top\n\tclose\t\n", "3: tap 1 2\n4: close\n"},
        {"tap\t1\t2\n", "1: tap 1 2\n"},
        {"tap 1 2\r\nclose\r\n", "1: tap 1 2\n2: close\n"},
        {"close", "1: close\n"},
        {"\xEF\xBB\xBFtap 1 2\n", "1: tap 1 2\n"},
        {"tap 1 2\n\xEF\xBB\xBF"
         "close\n",
         "script:2: unknown command '\xEF\xBB\xBF"
         "close'"},
        {"screenshot a#b.png\n", "1: screenshot [a]\n"},
        {std::string("tap 1 2\nclose\0\n", 15), "script:2: line holds a NUL byte"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(kdev::printable(c.script));
        EXPECT_EQ(readAs(c.script), c.expected);
    }
}

TEST(Script, ALineOfExactlyTheLimitIsReadAndOneByteMoreIsNot) {
    // "menu " and items "a/", padded to the length wanted.
    auto menuLine = [](std::size_t bytes) {
        std::string line = "menu Tools/";
        while (line.size() < bytes) line += 'a';
        return line;
    };
    std::string error;
    const auto read = parse("tap 1 1\n" + menuLine(4096) + "\nclose\n", &error);
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(read->size(), 3u);
    EXPECT_EQ((*read)[1].menuPath.at(1).size(), 4096u - 11);
    EXPECT_EQ((*read)[2].line, 3);

    EXPECT_FALSE(parse("tap 1 1\n" + menuLine(4097) + "\nclose\n", &error));
    EXPECT_EQ(error, "script:2: line too long (over 4096 bytes)");
    // The last line, without its end, counts the same.
    EXPECT_TRUE(parse(menuLine(4096), &error)) << error;
    EXPECT_FALSE(parse(menuLine(4097), &error));
}

TEST(Script, AScriptOfAMillionLinesIsReadAndOneLineMoreIsNot) {
    std::string text(999999, '\n');
    text += "close\n";
    std::string error;
    const auto read = parse(text, &error);
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(read->size(), 1u);
    EXPECT_EQ(read->front().line, 1000000);
    EXPECT_FALSE(parse("\n" + text, &error));
    EXPECT_EQ(error, "script:1000001: too many lines (at most 1000000)");
}

// A menu line of many one-letter items takes many times its bytes once read.
TEST(Script, TheCommandsOfAScriptTakeABoundedAmountOfMemory) {
    std::string line = "menu a";
    while (line.size() + 2 <= 4096) line += "/a";
    std::string text;
    for (int i = 0; i < 2000; ++i) text += line + "\n";  // 8 MB of text
    std::string error;
    EXPECT_FALSE(parse(text, &error));
    EXPECT_EQ(error.substr(error.find(':', 7)),
              ": script too large: its commands would take over 64 MiB");
    // An ordinary long script is far from it.
    std::string taps;
    for (int i = 0; i < 100000; ++i) taps += "tap 1 2\n";
    EXPECT_TRUE(parse(taps, &error)) << error;
}

}  // namespace
