// The headless script reader's bounds: the length of a line and the memory its commands take.
#include "headless/script.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

std::optional<std::vector<khost::ScriptCommand>> parse(const std::string& text,
                                                       std::string* error) {
    std::istringstream in(text);
    return khost::parseScript(in, error);
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

TEST(Script, ANumberOutOfRangeNamesTheRange) {
    std::string error;
    EXPECT_FALSE(parse("tap 2000000 1\n", &error));
    EXPECT_EQ(error, "script:1: tap: X and Y must be whole numbers from -1048576 to 1048576");
    EXPECT_TRUE(parse("move -1048576 1048576\n", &error)) << error;
}

}  // namespace
