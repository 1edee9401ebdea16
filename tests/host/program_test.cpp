// The whole program, run headless through the real binary as a user would run it.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include "png_read.h"
#include "resource.h"
#include "run_program.h"

namespace {

bool contains(const std::vector<std::string>& lines, const std::string& needle) {
    for (const std::string& l : lines)
        if (l.find(needle) != std::string::npos) return true;
    return false;
}

// Index of the first trace line holding needle, or -1.
int indexOf(const std::vector<std::string>& lines, const std::string& needle) {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find(needle) != std::string::npos) return static_cast<int>(i);
    return -1;
}

struct HeadlessRun {
    TempDir dir;
    RunResult result;
    std::vector<std::string> trace;

    HeadlessRun(const std::string& script, std::vector<std::string> args = {}) {
        writeFile(dir.file("script"), script);
        args.insert(args.begin(),
                    {"--headless", "--script", dir.file("script"), "--trace", dir.file("trace")});
        result = runKestrova(args);
        trace = readLines(dir.file("trace"));
    }
};

TEST(Program, EveryMenuCommandIsDispatchedThroughTheMenu) {
    HeadlessRun run(
        "menu Tools/BitBlt\n"
        "menu Tools/Lines\n"
        "menu Tools/Circles\n"
        "menu Tools/Clear Screen\n"
        "menu Tools/About\n"
        "key Return\n"
        "menu Tools/Exit\n");
    ASSERT_EQ(run.result.exitCode, 0) << run.result.err;
    int last = -1;
    for (int id : {CMD_BITBLT, CMD_LINES, CMD_CIRCLES, CMD_CLEAR, CMD_ABOUT, CMD_EXIT}) {
        const int at = indexOf(run.trace, commandEvent(id));
        ASSERT_GE(at, 0) << "command " << id << " never dispatched";
        EXPECT_GT(at, last) << "command " << id << " out of order";
        last = at;
    }
    // Exit ended the program: the window went away once, in order.
    const int destroyed = indexOf(run.trace, "\"window_destroyed\",\"class\":\"KESTROVA\"");
    EXPECT_GT(destroyed, last);
}

TEST(Program, ShutsDownInOrderWhateverClosesIt) {
    for (const std::string& script :
         {std::string("menu Tools/Exit\n"), std::string("close\n"), std::string("")}) {
        SCOPED_TRACE(script);
        HeadlessRun run(script);
        ASSERT_EQ(run.result.exitCode, 0) << run.result.err;
        const std::vector<std::string> order = {"\"GXOpenDisplay\"",
                                                "\"window_created\",\"class\":\"KESTROVA\"",
                                                "\"GXBeginDraw\"",
                                                "\"LoadBitmapW\"",
                                                "\"window_destroyed\",\"class\":\"CommandBar\"",
                                                "\"window_destroyed\",\"class\":\"KESTROVA\"",
                                                "\"GXEndDraw\"",
                                                "\"GXCloseDisplay\"",
                                                "\"DeleteObject\""};
        int last = -1;
        for (const std::string& step : order) {
            const int at = indexOf(run.trace, step);
            ASSERT_GT(at, last) << step;
            last = at;
        }
    }
}

TEST(Program, ClearScreenZeroesTheDrawingAreaOnlyOnEveryLayoutAndFormat) {
    for (const char* layout : {"normal", "padded", "mirrored", "rotated"})
        for (const char* format : {"565", "555"}) {
            SCOPED_TRACE(std::string(layout) + " " + format);
            TempDir dir;
            const std::string before = dir.file("before"), after = dir.file("after");
            HeadlessRun run("dump " + before +
                                "\nmenu Tools/Lines\nmenu Tools/Clear Screen\ndump " + after + "\n",
                            {"--layout", layout, "--format", format});
            ASSERT_EQ(run.result.exitCode, 0) << run.result.err;
            const std::vector<std::uint16_t> a = readDump(before), b = readDump(after);
            ASSERT_EQ(b.size(), 240u * 320u);
            ASSERT_EQ(a.size(), b.size());
            for (std::size_t y = 0; y < 320; ++y)
                for (std::size_t x = 0; x < 240; ++x) {
                    const std::size_t k = y * 240 + x;
                    if (y < 26)
                        ASSERT_EQ(b[k], a[k]) << "bar pixel changed at " << x << "," << y;
                    else
                        ASSERT_EQ(b[k], 0) << "not cleared at " << x << "," << y;
                }
        }
}

TEST(Program, LinesThenClearScreenLooksLikeTheHandheld) {
    TempDir dir;
    HeadlessRun run("menu Tools/Lines\nscreenshot " + dir.file("lines.png") +
                    "\nmenu Tools/Clear Screen\nscreenshot " + dir.file("clear.png") + "\n");
    ASSERT_EQ(run.result.exitCode, 0) << run.result.err;
    std::optional<RgbImage> lines = readPng(dir.file("lines.png")),
                            clear = readPng(dir.file("clear.png"));
    ASSERT_TRUE(lines && clear);
    EXPECT_EQ(lines->width, 240);
    EXPECT_EQ(lines->height, 320);
    // The first line of the last pass starts at (0, 26) in 0xFFFF00.
    EXPECT_EQ(lines->at(0, 26), 0xFFFF00u);
    EXPECT_EQ(clear->at(0, 26), 0u);
    EXPECT_EQ(clear->at(120, 200), 0u);
    // The command bar is drawn by the device and not black.
    EXPECT_NE(clear->at(120, 5), 0u);
}

TEST(Program, ACrashedInstanceLeavesNothingBehind) {
    TempDir instances, dir;
    writeFile(dir.file("script"), "idle 600000\n");  // until it is killed
    const int first = startKestrova({"--headless", "--device", "meet", "--script",
                                     dir.file("script"), "--trace", dir.file("first")},
                                    instances.path(), dir.file("out1"), dir.file("err1"));
    ASSERT_TRUE(waitForTrace(dir.file("first"), "LoadBitmapW"));
    kill(first, SIGKILL);
    waitKestrova(first);
    RunResult second = runKestrova(
        {"--headless", "--device", "meet", "--trace", dir.file("second")}, "", instances.path());
    EXPECT_EQ(second.exitCode, 0);
    EXPECT_TRUE(contains(readLines(dir.file("second")), "window_created"))
        << "a dead instance was taken for alive";
}

TEST(Program, FailureTable) {
    struct Case {
        std::string fail;
        std::string script;
        std::vector<std::string> expected;
        std::vector<std::string> absent;
    };
    const std::vector<Case> cases = {
        {"display",
         "key Return\n",
         {"\"message_box\",\"text\":\"GXOpenDisplay failed\",\"caption\":\"\""},
         {"window_created\",\"class\":\"KESTROVA\"", "GXBeginDraw"}},
        {"framebuffer",
         "key Return\nmenu Tools/Lines\nmenu Tools/Exit\n",
         {"\"message_box\",\"text\":\"Framebuffer couldn't be opened!\",\"caption\":\"Error\"",
          commandEvent(CMD_LINES), commandEvent(CMD_EXIT), "GXCloseDisplay"},
         {}},
        {"bitmap",
         "menu Tools/BitBlt\n",
         {"\"LoadBitmapW\",\"name\":\"PARROT\",\"ok\":false", commandEvent(CMD_BITBLT),
          "GXCloseDisplay"},
         {"message_box"}},
        {"alloc",
         "menu Tools/BitBlt\n",
         {"\"VirtualAlloc\"", commandEvent(CMD_BITBLT), "GXCloseDisplay"},
         {"message_box"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fail);
        HeadlessRun run(c.script, {"--fail", c.fail});
        EXPECT_EQ(run.result.exitCode, 0) << run.result.err;
        for (const std::string& e : c.expected)
            EXPECT_TRUE(contains(run.trace, e)) << "missing " << e;
        for (const std::string& a : c.absent)
            EXPECT_FALSE(contains(run.trace, a)) << "unexpected " << a;
    }
}

TEST(Program, WithoutAFrameBufferNothingIsDrawn) {
    TempDir dir;
    HeadlessRun run("key Return\ndump " + dir.file("before") +
                        "\nmenu Tools/Lines\nmenu Tools/Circles\nmenu Tools/BitBlt\ndump " +
                        dir.file("after") + "\n",
                    {"--fail", "framebuffer"});
    ASSERT_EQ(run.result.exitCode, 0) << run.result.err;
    EXPECT_EQ(readDump(dir.file("before")), readDump(dir.file("after")));
}

TEST(Program, RejectsBadOptionsWithOneLineAndExitCode2) {
    const std::vector<std::vector<std::string>> cases = {
        {"--display", "0x320"},
        {"--display", "240x8193"},
        {"--display", "240"},
        {"--display", "x320"},
        {"--display", "-5x10"},
        {"--format", "888"},
        {"--layout", "sideways"},
        {"--zoom", "9"},
        {"--fail", "network"},
        {"--bogus"},
        {"--script"},
        {"--tour", "a", "--script", "b"},
        {"--script", "/nonexistent/script"},
        {"--headless", "--trace", "/nonexistent/dir/trace"},
        {"--screenshot-dir", "/nonexistent/dir"},
        {"--screenshot-dir", "/dev/null"},
        {"--screenshot-dir", ""},
        {"--screenshot-dir", "/nonexistent/\x1b[2J"},
        // Whoever words the error, what the user typed reaches the terminal escaped.
        {"--display", "\x1b[2J240x320"},
        {"--format", "\x1b[2J"},
        {"--layout", "\x1b]0;title\x07"},
        {"--zoom", "\x1b[2J"},
        {"--fail",
         "\x9b"
         "2J"},
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const auto& a : args) joined += a + " ";
        SCOPED_TRACE(joined);
        RunResult r = runKestrova(args);
        EXPECT_EQ(r.exitCode, 2);
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        // Each of these lines is plain ASCII once escaped.
        for (char c : r.err.substr(0, r.err.size() - 1))
            EXPECT_TRUE(c >= 0x20 && c < 0x7f) << r.err;
    }
}

// Every way a line can be wrong is in the script reader's own table; here, end to end: a bad
// line stops the run before anything is made, a line the screen cannot carry out stops it
// where it stands, and either way the one line names the script's line and the exit code is 2.
TEST(Program, RejectsBadScriptLinesNamingTheLine) {
    const struct {
        std::string script;
        std::string err;
        bool started;
    } cases[] = {
        {"# fine\n\nfrobnicate\n", "script:3: unknown command 'frobnicate'\n", false},
        {"tap 1 2\nmenu Tools/Nothing\n", "script:2: no menu item 'Nothing' on the screen\n", true},
        {"screenshot /nonexistent/dir/x.png\n",
         "script:1: cannot write /nonexistent/dir/x.png: No such file or directory\n", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        HeadlessRun run(c.script);
        EXPECT_EQ(run.result.exitCode, 2);
        EXPECT_EQ(run.result.err, c.err);
        EXPECT_EQ(run.result.out, "");
        EXPECT_EQ(contains(run.trace, "\"window_created\",\"class\":\"KESTROVA\""), c.started);
    }
}

TEST(Program, ReadsTheScriptFromStandardInput) {
    TempDir dir;
    RunResult r = runKestrova({"--headless", "--script", "-", "--trace", dir.file("t")},
                              "menu Tools/Lines\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(contains(readLines(dir.file("t")), commandEvent(CMD_LINES)));
}

TEST(Program, HelpAndVersion) {
    RunResult help = runKestrova({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* word : {"--display", "--layout", "--script", "--tour", "--screenshot-dir",
                             "F12", "stylus", "xdg-user-dir PICTURES"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    RunResult version = runKestrova({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "kestrova 1.1\n");
}

TEST(Program, TourSavesAPictureAfterEachCommandAndExits) {
    TempDir dir;
    RunResult r = runKestrova({"--tour", dir.file("tour")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* name :
         {"01-bitblt", "02-lines", "03-circles", "04-clear-screen", "05-about"}) {
        std::optional<RgbImage> png = readPng(dir.file(std::string("tour/") + name + ".png"));
        ASSERT_TRUE(png) << name;
        EXPECT_EQ(png->width, 240);
    }
}

}  // namespace
