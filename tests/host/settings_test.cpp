// The window's remembered place: read back as written, damaged files survived with one line,
// and a file that is either whole or not written at all.
#include "settings.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "temp_files.h"

namespace {

namespace fs = std::filesystem;
using khost::loadWindowPlace;
using khost::saveWindowPlace;
using khost::WindowPlace;

std::vector<std::string> names(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename());
    return out;
}

bool same(const std::optional<WindowPlace>& a, const WindowPlace& b) {
    return a && a->zoom == b.zoom && a->x == b.x && a->y == b.y;
}

TEST(WindowSettings, WhatIsSavedForEachDisplaySizeIsReadBack) {
    TempDir base;
    const std::string folder = base.file("config/kestrova");  // made when first saved
    std::string warning;
    EXPECT_FALSE(loadWindowPlace(folder, 240, 320, &warning));
    EXPECT_TRUE(warning.empty()) << "a missing file is no problem: " << warning;

    std::string error;
    ASSERT_TRUE(saveWindowPlace(folder, 240, 320, {2, 560, 287}, &error)) << error;
    ASSERT_TRUE(saveWindowPlace(folder, 480, 640, {1, -1910, 0}, &error)) << error;
    ASSERT_TRUE(saveWindowPlace(folder, 240, 320, {3, 10, 20}, &error)) << error;
    EXPECT_TRUE(same(loadWindowPlace(folder, 240, 320, &warning), {3, 10, 20}));
    EXPECT_TRUE(same(loadWindowPlace(folder, 480, 640, &warning), {1, -1910, 0}));
    EXPECT_FALSE(loadWindowPlace(folder, 320, 240, &warning));
    EXPECT_TRUE(warning.empty()) << warning;
    // One file, nothing left beside it.
    EXPECT_EQ(names(folder), std::vector<std::string>{"window.conf"});
}

TEST(WindowSettings, ADamagedFileCostsOneLineAndOnlyItsBadEntries) {
    const std::vector<std::string> bad = {
        "junk",          "240x320 2 1",    "240x320 2 1 2 3", "240x320 0 1 2",
        "240x320 9 1 2", "240x320 2x 1 2", "240x320 2 1 2e3", "240x320 2 99999999999 2",
        "0x320 2 1 2",   "240y320 2 1 2",  "240x320 +2 1 2",  std::string("240x320 2 1 2\0", 14),
    };
    for (const std::string& line : bad) {
        SCOPED_TRACE(line);
        TempDir folder;
        writeFile(folder.file("window.conf"), "# comment\n\n100x100 4 7 8\r\n" + line + "\n");
        std::string warning;
        EXPECT_FALSE(loadWindowPlace(folder.path(), 240, 320, &warning));
        EXPECT_NE(warning.find(folder.file("window.conf")), std::string::npos) << warning;
        EXPECT_NE(warning.find("line 4"), std::string::npos) << warning;
        EXPECT_EQ(warning.find('\n'), std::string::npos);
        warning.clear();
        EXPECT_TRUE(same(loadWindowPlace(folder.path(), 100, 100, &warning), {4, 7, 8}));

        // Saving makes the file whole again, keeping the good entries.
        std::string error;
        ASSERT_TRUE(saveWindowPlace(folder.path(), 240, 320, {1, 5, 6}, &error)) << error;
        warning.clear();
        EXPECT_TRUE(same(loadWindowPlace(folder.path(), 100, 100, &warning), {4, 7, 8}));
        EXPECT_TRUE(same(loadWindowPlace(folder.path(), 240, 320, &warning), {1, 5, 6}));
        EXPECT_TRUE(warning.empty()) << warning;
    }
}

TEST(WindowSettings, FilesThatAreNotSettingsAreRefusedWithoutWaiting) {
    TempDir huge, fifo, directory;
    writeFile(huge.file("window.conf"), "240x320 2 1 2\n" + std::string(100000, '#') + "\n");
    ASSERT_EQ(::mkfifo(fifo.file("window.conf").c_str(), 0600), 0);
    fs::create_directory(directory.file("window.conf"));
    for (const TempDir* f : {&huge, &fifo, &directory}) {
        std::string warning;
        EXPECT_FALSE(loadWindowPlace(f->path(), 240, 320, &warning));
        EXPECT_NE(warning.find(f->file("window.conf")), std::string::npos) << warning;
    }
}

TEST(WindowSettings, AFileThatCannotBeWrittenIsLeftAsItWasAndSaidSoOnce) {
    // The folder is a file.
    TempDir base;
    writeFile(base.file("plain"), "x");
    std::string error;
    EXPECT_FALSE(saveWindowPlace(base.file("plain"), 240, 320, {2, 0, 0}, &error));
    EXPECT_NE(error.find(base.file("plain")), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_EQ(readFile(base.file("plain")), "x");

    // The file's name is taken by a folder: the rename fails, the temporary file goes.
    TempDir taken;
    fs::create_directory(taken.file("window.conf"));
    error.clear();
    EXPECT_FALSE(saveWindowPlace(taken.path(), 240, 320, {2, 0, 0}, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(names(taken.path()), std::vector<std::string>{"window.conf"});

    // A write cut short (a file size limit, as a full disk would): the old file stays whole.
    TempDir full;
    const std::string before = "# before\n240x320 2 11 22\n";
    writeFile(full.file("window.conf"), before);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{16, 16};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        std::string e;
        const bool saved = saveWindowPlace(full.path(), 480, 640, {1, 3, 4}, &e);
        ::_exit(!saved && e.find("File too large") != std::string::npos ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readFile(full.file("window.conf")), before);
    EXPECT_EQ(names(full.path()), std::vector<std::string>{"window.conf"});
}

TEST(WindowSettings, TheFolderFollowsTheConfigurationHome) {
    const char* savedConfig = std::getenv("XDG_CONFIG_HOME");
    const char* savedHome = std::getenv("HOME");
    const std::optional<std::string> config =
        savedConfig ? std::optional<std::string>(savedConfig) : std::nullopt;
    const std::optional<std::string> home =
        savedHome ? std::optional<std::string>(savedHome) : std::nullopt;

    struct Case {
        const char* config;
        const char* home;
        std::string folder;
    };
    const Case cases[] = {
        {"/c", "/h", "/c/kestrova"},
        {nullptr, "/h", "/h/.config/kestrova"},
        {"relative", "/h", "/h/.config/kestrova"},
        {"", "/h", "/h/.config/kestrova"},
        {nullptr, nullptr, ""},
        {nullptr, "relative", ""},
    };
    for (const Case& c : cases) {
        if (c.config)
            ::setenv("XDG_CONFIG_HOME", c.config, 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        if (c.home)
            ::setenv("HOME", c.home, 1);
        else
            ::unsetenv("HOME");
        EXPECT_EQ(khost::settingsFolder(), c.folder)
            << (c.config ? c.config : "(unset)") << " " << (c.home ? c.home : "(unset)");
    }
    if (config)
        ::setenv("XDG_CONFIG_HOME", config->c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
    if (home)
        ::setenv("HOME", home->c_str(), 1);
    else
        ::unsetenv("HOME");
}

}  // namespace

namespace {

// The file stays small however many display sizes are used: the oldest size goes first.
TEST(WindowSettings, SixtyFiveSizesKeepTheNewestSixtyFour) {
    TempDir folder;
    std::string error;
    for (int i = 1; i <= 65; ++i)
        ASSERT_TRUE(saveWindowPlace(folder.path(), 100 + i, 200, {1, i, i}, &error)) << error;
    std::string warning;
    EXPECT_FALSE(loadWindowPlace(folder.path(), 101, 200, &warning)) << "the oldest is dropped";
    for (int i = 2; i <= 65; ++i)
        EXPECT_TRUE(same(loadWindowPlace(folder.path(), 100 + i, 200, &warning), {1, i, i})) << i;
    EXPECT_TRUE(warning.empty()) << warning;
    // Saving a size that is kept does not push out another.
    ASSERT_TRUE(saveWindowPlace(folder.path(), 102, 200, {2, 0, 0}, &error)) << error;
    EXPECT_TRUE(same(loadWindowPlace(folder.path(), 103, 200, &warning), {1, 3, 3}));
}

}  // namespace
