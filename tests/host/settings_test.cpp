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
    EXPECT_FALSE(loadWindowPlace(folder, {240, 320, 1920, 1050}, &warning));
    EXPECT_TRUE(warning.empty()) << "a missing file is no problem: " << warning;

    std::string error;
    ASSERT_TRUE(saveWindowPlace(folder, {240, 320, 1920, 1050}, {2, 560, 287}, &error)) << error;
    ASSERT_TRUE(saveWindowPlace(folder, {480, 640, 1920, 1050}, {1, -1910, 0}, &error)) << error;
    ASSERT_TRUE(saveWindowPlace(folder, {240, 320, 1920, 1050}, {3, 10, 20}, &error)) << error;
    EXPECT_TRUE(same(loadWindowPlace(folder, {240, 320, 1920, 1050}, &warning), {3, 10, 20}));
    EXPECT_TRUE(same(loadWindowPlace(folder, {480, 640, 1920, 1050}, &warning), {1, -1910, 0}));
    EXPECT_FALSE(loadWindowPlace(folder, {320, 240, 1920, 1050}, &warning));
    EXPECT_TRUE(warning.empty()) << warning;
    // One file, nothing left beside it.
    EXPECT_EQ(names(folder), std::vector<std::string>{"window.conf"});
}

// The same display size on desktops of other sizes has places of its own; an entry from an
// earlier version, which named no desktop, is for none of them and is not a fault.
TEST(WindowSettings, EachDesktopSizeHasItsOwnPlace) {
    TempDir folder;
    writeFile(folder.file("window.conf"), "# an earlier version's\n240x320 2 500 300\n");
    std::string warning, error;
    EXPECT_FALSE(loadWindowPlace(folder.path(), {240, 320, 1920, 1050}, &warning));
    EXPECT_EQ(warning, "");
    ASSERT_TRUE(saveWindowPlace(folder.path(), {240, 320, 1920, 1050}, {2, 700, 200}, &error));
    ASSERT_TRUE(saveWindowPlace(folder.path(), {240, 320, 1024, 738}, {1, 10, 40}, &error));
    ASSERT_TRUE(saveWindowPlace(folder.path(), {240, 320, 1050, 1920}, {3, 5, 6}, &error));
    struct Case {
        khost::PlaceKey key;
        std::optional<WindowPlace> place;
    };
    const Case cases[] = {
        {{240, 320, 1920, 1050}, WindowPlace{2, 700, 200}},
        {{240, 320, 1024, 738}, WindowPlace{1, 10, 40}},
        {{240, 320, 1050, 1920}, WindowPlace{3, 5, 6}},  // width and height are not swapped
        {{240, 320, 1024, 768}, std::nullopt},
        {{320, 240, 1920, 1050}, std::nullopt},
        {{240, 320, 1, 1}, std::nullopt},  // nothing matches an earlier version's line
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.key.desktopWidth) + "x" +
                     std::to_string(c.key.desktopHeight));
        const std::optional<WindowPlace> got = loadWindowPlace(folder.path(), c.key, &warning);
        EXPECT_EQ(got.has_value(), c.place.has_value());
        if (c.place) {
            EXPECT_TRUE(same(got, *c.place));
        }
    }
    EXPECT_EQ(warning, "");
    EXPECT_EQ(readFile(folder.file("window.conf")).find("240x320 2 500 300"), std::string::npos)
        << "the earlier version's line is dropped when the file is written again";
}

TEST(WindowSettings, ADamagedFileCostsOneLineAndOnlyItsBadEntries) {
    const std::string d = " 1920x1050";
    const std::vector<std::string> bad = {
        "junk",
        "240x320" + d + " 2 1",
        "240x320" + d + " 2 1 2 3",
        "240x320" + d + " 0 1 2",
        "240x320" + d + " 9 1 2",
        "240x320" + d + " 2x 1 2",
        "240x320" + d + " 2 1 2e3",
        "240x320" + d + " 2 99999999999 2",
        "0x320" + d + " 2 1 2",
        "240y320" + d + " 2 1 2",
        "240x320" + d + " +2 1 2",
        "240x320 1920y1050 2 1 2",
        "240x320 0x1050 2 1 2",
        "240x320 1920 2 1 2",
        std::string("240x320 1920x1050 2 1 2\0", 24),
        // An earlier version's line (no desktop) is only valid as a whole.
        "240x320 0 1 2",
        "240x320 2 1 2e3",
    };
    for (const std::string& line : bad) {
        SCOPED_TRACE(line);
        TempDir folder;
        writeFile(folder.file("window.conf"),
                  "# comment\n\n100x100 1920x1050 4 7 8\r\n" + line + "\n");
        std::string warning;
        EXPECT_FALSE(loadWindowPlace(folder.path(), {240, 320, 1920, 1050}, &warning));
        EXPECT_NE(warning.find(folder.file("window.conf")), std::string::npos) << warning;
        EXPECT_NE(warning.find("line 4"), std::string::npos) << warning;
        EXPECT_EQ(warning.find('\n'), std::string::npos);
        warning.clear();
        EXPECT_TRUE(
            same(loadWindowPlace(folder.path(), {100, 100, 1920, 1050}, &warning), {4, 7, 8}));

        // Saving makes the file whole again, keeping the good entries.
        std::string error;
        ASSERT_TRUE(saveWindowPlace(folder.path(), {240, 320, 1920, 1050}, {1, 5, 6}, &error))
            << error;
        warning.clear();
        EXPECT_TRUE(
            same(loadWindowPlace(folder.path(), {100, 100, 1920, 1050}, &warning), {4, 7, 8}));
        EXPECT_TRUE(
            same(loadWindowPlace(folder.path(), {240, 320, 1920, 1050}, &warning), {1, 5, 6}));
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
        EXPECT_FALSE(loadWindowPlace(f->path(), {240, 320, 1920, 1050}, &warning));
        EXPECT_NE(warning.find(f->file("window.conf")), std::string::npos) << warning;
    }
}

TEST(WindowSettings, AFileThatCannotBeWrittenIsLeftAsItWasAndSaidSoOnce) {
    // The folder is a file.
    TempDir base;
    writeFile(base.file("plain"), "x");
    std::string error;
    EXPECT_FALSE(saveWindowPlace(base.file("plain"), {240, 320, 1920, 1050}, {2, 0, 0}, &error));
    EXPECT_NE(error.find(base.file("plain")), std::string::npos) << error;
    EXPECT_EQ(error.find('\n'), std::string::npos);
    EXPECT_EQ(readFile(base.file("plain")), "x");

    // The file's name is taken by a folder: the rename fails, the temporary file goes.
    TempDir taken;
    fs::create_directory(taken.file("window.conf"));
    error.clear();
    EXPECT_FALSE(saveWindowPlace(taken.path(), {240, 320, 1920, 1050}, {2, 0, 0}, &error));
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
        const bool saved = saveWindowPlace(full.path(), {480, 640, 1920, 1050}, {1, 3, 4}, &e);
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
        ASSERT_TRUE(saveWindowPlace(folder.path(), {100 + i, 200, 1920, 1050}, {1, i, i}, &error))
            << error;
    std::string warning;
    EXPECT_FALSE(loadWindowPlace(folder.path(), {101, 200, 1920, 1050}, &warning))
        << "the oldest is dropped";
    for (int i = 2; i <= 65; ++i)
        EXPECT_TRUE(
            same(loadWindowPlace(folder.path(), {100 + i, 200, 1920, 1050}, &warning), {1, i, i}))
            << i;
    EXPECT_TRUE(warning.empty()) << warning;
    // Saving a size that is kept does not push out another.
    ASSERT_TRUE(saveWindowPlace(folder.path(), {102, 200, 1920, 1050}, {2, 0, 0}, &error)) << error;
    EXPECT_TRUE(same(loadWindowPlace(folder.path(), {103, 200, 1920, 1050}, &warning), {1, 3, 3}));
}

}  // namespace
