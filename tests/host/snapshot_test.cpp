// Where F12 saves: the folder rule for every way the program can be started, what
// xdg-user-dir's answer (or its absence) makes of it, and the check of --screenshot-dir.
#include "snapshot.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "temp_files.h"

namespace {

using namespace std::chrono_literals;
using khost::ScreenshotFolderRule;

TEST(ScreenshotFolder, TheOptionThenTheTerminalThenThePicturesFolder) {
    struct Case {
        const char* what;
        ScreenshotFolderRule rule;
        std::string folder;  // empty: the current folder
    };
    const Case cases[] = {
        {"the option wins from a terminal",
         {"/tmp/shots", true, "/home/a/Pictures", "/home/a"},
         "/tmp/shots"},
        {"the option wins from the desktop", {"shots", false, std::nullopt, "/home/a"}, "shots"},
        {"a terminal: the current folder", {"", true, "/home/a/Pictures", "/home/a"}, ""},
        {"a terminal without HOME", {"", true, std::nullopt, ""}, ""},
        {"the desktop: xdg-user-dir's answer",
         {"", false, "/home/a/Bilder", "/home/a"},
         "/home/a/Bilder/Kestrova"},
        {"the desktop: its answer may be the home folder itself",
         {"", false, "/home/a", "/home/a"},
         "/home/a/Kestrova"},
        {"the desktop: xdg-user-dir failed or is absent",
         {"", false, std::nullopt, "/home/a"},
         "/home/a/Pictures/Kestrova"},
        {"the desktop without HOME", {"", false, std::nullopt, ""}, ""},
        {"the desktop with a relative HOME", {"", false, std::nullopt, "home/a"}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(khost::screenshotFolder(c.rule), std::filesystem::path(c.folder));
    }
}

// xdg-user-dir stand-ins: a script for each way the real one can answer.
TEST(ScreenshotFolder, AskingForThePicturesFolder) {
    TempDir dir;
    struct Case {
        const char* what;
        const char* script;  // empty: no such program
        std::optional<std::string> answer;
    };
    const Case cases[] = {
        {"it answers", "echo /home/a/Bilder", "/home/a/Bilder"},
        {"its argument is PICTURES", "[ \"$1\" = PICTURES ] && echo /p/$1", "/p/PICTURES"},
        {"a name with spaces", "printf '/home/a/My Pictures\\n'", "/home/a/My Pictures"},
        {"no line end", "printf /home/a/P", "/home/a/P"},
        {"it fails", "echo /home/a/Bilder; exit 1", std::nullopt},
        {"it says nothing", "true", std::nullopt},
        {"a relative answer", "echo Pictures", std::nullopt},
        {"two lines", "echo /a; echo /b", std::nullopt},
        {"killed by a signal", "echo /a; kill -9 $$", std::nullopt},
        {"standard error is not the answer", "echo /a >&2; echo /b", "/b"},
        {"it is absent", "", std::nullopt},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string program = dir.file("ask" + std::to_string(n++));
        if (*c.script) {
            writeFile(program, std::string("#!/bin/sh\n") + c.script + "\n");
            ASSERT_EQ(::chmod(program.c_str(), 0755), 0);
        }
        EXPECT_EQ(khost::askPicturesFolder(10s, program), c.answer);
    }
    // Found on PATH like any command; a name that is not there is no answer.
    EXPECT_EQ(khost::askPicturesFolder(10s, "kestrova-no-such-program"), std::nullopt);
}

// One that never answers is not waited for beyond the limit, and does not outlive it.
TEST(ScreenshotFolder, AProgramThatHangsIsKilledAtTheLimit) {
    TempDir dir;
    const std::string program = dir.file("hang");
    const std::string pidFile = dir.file("pid");
    writeFile(program, "#!/bin/sh\necho $$ > " + pidFile + "\nexec sleep 600\n");
    ASSERT_EQ(::chmod(program.c_str(), 0755), 0);
    EXPECT_EQ(khost::askPicturesFolder(300ms, program), std::nullopt);
    const std::string pid = readFile(pidFile);
    if (!pid.empty()) {
        EXPECT_FALSE(std::filesystem::exists("/proc/" + pid.substr(0, pid.find('\n'))))
            << "the program is still running";
    }
}

TEST(ScreenshotFolder, TheOptionMustNameAWritableFolder) {
    TempDir dir;
    writeFile(dir.file("file"), "x");
    ASSERT_TRUE(std::filesystem::create_directory(dir.file("locked")));
    ASSERT_EQ(::chmod(dir.file("locked").c_str(), 0500), 0);
    struct Case {
        std::string folder;
        const char* problem;  // empty: accepted
    };
    std::vector<Case> cases = {
        {dir.path(), ""},
        {dir.path() + "/", ""},
        {dir.file("missing"), "does not exist"},
        {dir.file("missing/deeper"), "does not exist"},
        {dir.file("file"), "is not a folder"},
        {dir.file("file/below"), "Not a directory"},
        {"", "the name is empty"},
    };
    // The owner's permission bits do not stop root.
    if (::geteuid() != 0) cases.push_back({dir.file("locked"), "cannot be written into"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        const std::string problem = khost::checkScreenshotFolder(c.folder);
        if (!*c.problem) {
            EXPECT_EQ(problem, "");
            continue;
        }
        EXPECT_EQ(problem.rfind("--screenshot-dir: ", 0), 0u) << problem;
        EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
        EXPECT_EQ(problem.find('\n'), std::string::npos) << problem;
    }
    ::chmod(dir.file("locked").c_str(), 0700);
}

}  // namespace
