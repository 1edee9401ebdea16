// Files written whole or absent: the permissions a replaced or new file gets, the files the
// user protected, and what a failure removes (only what this run made).
#include "core/output_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "temp_files.h"

namespace {

using kdev::OutputFile;

std::vector<std::string> names(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        out.push_back(e.path().filename());
    std::sort(out.begin(), out.end());
    return out;
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
}

bool writeWhole(const std::string& path, const std::string& text, std::string* error,
                OutputFile::Mode mode = OutputFile::Mode::Whole) {
    OutputFile file;
    return file.open(path, error, mode) && file.write(text.data(), text.size()) &&
           file.commit(error);
}

// Sets the umask for one test and puts the old one back.
struct Umask {
    explicit Umask(mode_t mask) : old(umask(mask)) {}
    ~Umask() { umask(old); }
    mode_t old;
};

TEST(OutputFile, AReplacedFileKeepsItsModeAndANewOneGetsTheUmasks) {
    const Umask mask(022);
    TempDir dir;
    std::string error;
    writeFile(dir.file("private"), "old");
    ASSERT_EQ(chmod(dir.file("private").c_str(), 0600), 0);
    ASSERT_TRUE(writeWhole(dir.file("private"), "new", &error)) << error;
    EXPECT_EQ(readFile(dir.file("private")), "new");
    EXPECT_EQ(modeOf(dir.file("private")), 0600u);

    ASSERT_TRUE(writeWhole(dir.file("fresh"), "new", &error)) << error;
    EXPECT_EQ(modeOf(dir.file("fresh")), 0644u);
    EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"fresh", "private"}));
}

// As a shell's `>` refuses it; for root, whom the system lets write anything, a file without
// its owner's write bit counts as protected all the same.
TEST(OutputFile, AFileTheUserProtectedIsNotReplaced) {
    for (const OutputFile::Mode mode : {OutputFile::Mode::Whole, OutputFile::Mode::Streamed}) {
        TempDir dir;
        const std::string target = dir.file("golden.png");
        writeFile(target, "golden");
        ASSERT_EQ(chmod(target.c_str(), 0444), 0);
        std::string error;
        EXPECT_FALSE(writeWhole(target, "new", &error, mode));
        EXPECT_EQ(error, "cannot write " + target + ": Permission denied");
        EXPECT_EQ(readFile(target), "golden");
        EXPECT_EQ(names(dir.path()), std::vector<std::string>{"golden.png"});
    }
}

// A streamed file removes on failure only the file it made, not what its name means by then,
// and leaves a file (or a link's target) that was there before, saying where.
TEST(OutputFile, AFailedStreamRemovesOnlyTheFileItMade) {
    TempDir dir;
    std::string error;
    {
        // Made here: removed.
        OutputFile file;
        ASSERT_TRUE(file.open(dir.file("made"), &error, OutputFile::Mode::Streamed));
        file.fail(ENOSPC);
        EXPECT_FALSE(file.commit(&error));
        EXPECT_EQ(error, "cannot write " + dir.file("made") + ": No space left on device");
        EXPECT_TRUE(names(dir.path()).empty());
    }
    {
        // Made here, but the name was given to another file since: that one stays.
        OutputFile file;
        ASSERT_TRUE(file.open(dir.file("made"), &error, OutputFile::Mode::Streamed));
        writeFile(dir.file("other"), "someone else's");
        std::filesystem::rename(dir.file("other"), dir.file("made"));
        file.abandon();
        EXPECT_EQ(readFile(dir.file("made")), "someone else's");
        std::filesystem::remove(dir.file("made"));
    }
    {
        // A link to a file that was there: both stay, and the line says where the part went.
        writeFile(dir.file("real.json"), "old");
        std::filesystem::create_symlink("real.json", dir.file("trace.json"));
        OutputFile file;
        ASSERT_TRUE(file.open(dir.file("trace.json"), &error, OutputFile::Mode::Streamed));
        ASSERT_TRUE(file.write("part", 4));
        ASSERT_TRUE(file.flush());
        file.fail(EFBIG);
        EXPECT_FALSE(file.commit(&error));
        EXPECT_EQ(error, "cannot write " + dir.file("trace.json") +
                             ": File too large; the part written is left in " +
                             std::filesystem::canonical(dir.file("real.json")).string());
        EXPECT_EQ(names(dir.path()), (std::vector<std::string>{"real.json", "trace.json"}));
        EXPECT_EQ(readFile(dir.file("real.json")), "part");
    }
}

}  // namespace
