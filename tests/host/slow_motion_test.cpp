// Watching it draw: --slow and --record, through the real binary, headless. Each frame of a
// recording must be a moment of the reference model's drawing, the moments in the model's
// order.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdint>
#include <functional>
#include <array>
#include <set>
#include <vector>

#include "apng_read.h"
#include "models.h"
#include "png_read.h"
#include "run_program.h"

namespace {

constexpr int kW = 240, kH = 320, kBar = 26;

std::uint16_t pack565(std::uint32_t c) {
    return static_cast<std::uint16_t>(((c >> 8) & 0xF800) | ((c >> 5) & 0x7E0) | ((c >> 3) & 0x1F));
}

struct Recorded {
    Apng apng;
    std::vector<std::uint16_t> fullSpeed;  // the same script's screenshot at full speed
};

// Tools > item recorded at --slow `slow`, and the same command's screenshot at full speed.
Recorded record(const std::string& item, int slow) {
    TempDir dir;
    writeFile(dir.file("s"), "menu Tools/" + item + "\nscreenshot " + dir.file("shot.png") + "\n");
    RunResult r = runKestrova({"--headless", "--script", dir.file("s"), "--slow",
                               std::to_string(slow), "--record", dir.file("r.png")});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    RunResult full = runKestrova({"--headless", "--script", dir.file("s")});
    EXPECT_EQ(full.exitCode, 0) << full.err;
    Recorded out;
    out.apng = readApng(dir.file("r.png"));
    const std::optional<RgbImage> shot = readPng(dir.file("shot.png"));
    if (shot) out.fullSpeed = pixels565(*shot);
    return out;
}

std::vector<std::uint16_t> drawingArea(const std::vector<std::uint16_t>& screen) {
    return std::vector<std::uint16_t>(screen.begin() + kBar * kW, screen.end());
}

// Checks that the drawing area of the frames, from the last that shows it cleared (before
// the command draws) on, walks through the model's moments in order: `step(n, picture)` paints
// the model's step n (false when there is none). Returns the number of distinct frames seen.
int expectFramesInModelOrder(const Apng& apng,
                             const std::function<bool(int, model::Picture&)>& step) {
    model::Picture picture(kW, kH, kBar);
    const std::vector<std::uint16_t> cleared = drawingArea(picture.pixels);
    std::size_t first = apng.frames.size();
    for (std::size_t f = 0; f < apng.frames.size(); ++f)
        if (drawingArea(pixels565(apng.frames[f].picture)) == cleared) first = f;
    EXPECT_LT(first, apng.frames.size()) << "no frame shows the cleared drawing area";
    int n = 0, shown = 0;
    std::vector<std::uint16_t> last;
    for (std::size_t f = first; f < apng.frames.size(); ++f) {
        const std::vector<std::uint16_t> area = drawingArea(pixels565(apng.frames[f].picture));
        while (area != drawingArea(picture.pixels)) {
            if (!step(n++, picture)) {
                ADD_FAILURE() << "frame " << f << " is no later moment of the model's drawing";
                return shown;
            }
        }
        if (area != last) ++shown;
        last = area;
    }
    // The last steps may change nothing that shows.
    while (step(n++, picture)) {}
    EXPECT_TRUE(last == drawingArea(picture.pixels))
        << "the last frame is not the finished picture";
    return shown;
}

TEST(SlowMotion, LinesShowTheirPassesOneAfterAnother) {
    const Recorded r = record("Lines", 1000);
    ASSERT_EQ(r.apng.error, "");
    std::vector<std::array<int, 4>> lines;
    model::LinesPass(kW, kH, kBar, [&](int x1, int y1, int x2, int y2) {
        lines.push_back({x1, y1, x2, y2});
    });
    const int perPass = static_cast<int>(lines.size());
    const int shown = expectFramesInModelOrder(r.apng, [&](int n, model::Picture& picture) {
        if (n >= perPass * model::kLinesPasses) return false;
        const auto& l = lines[static_cast<std::size_t>(n % perPass)];
        const std::uint16_t pixel = pack565(model::kLinesColours[(n / perPass) % 7]);
        model::LinePixels(l[0], l[1], l[2], l[3], [&](int x, int y) { picture.set(x, y, pixel); });
        return true;
    });
    EXPECT_GE(shown, 20);
    EXPECT_EQ(pixels565(r.apng.frames.back().picture), r.fullSpeed);
}

TEST(SlowMotion, CirclesShowTheirDiscsInTheModelsOrder) {
#if defined(__clang__)
    // Clang places the hooks after inlining and cannot leave the per-row helpers out by name
    // (GCC's -finstrument-functions-exclude-function-list), so its frames can fall inside a disc
    // or a copy. The GCC builds (release, ARM) check the order.
    GTEST_SKIP() << "pacing granularity is checked in the GCC builds";
#endif
    const Recorded r = record("Circles", 1000);
    ASSERT_EQ(r.apng.error, "");
    model::Lcg random;
    const int shown = expectFramesInModelOrder(r.apng, [&](int n, model::Picture& picture) {
        if (n >= 1000) return false;
        const model::CirclesDisc disc = model::NextCirclesDisc(random, kW, kH, kBar);
        const std::uint16_t pixel = pack565(disc.colour);
        model::DiscRuns(disc.cx, disc.cy, disc.radius, [&](int left, int y, int length) {
            for (int x = left; x < left + length; ++x) picture.set(x, y, pixel);
        });
        return true;
    });
    EXPECT_GE(shown, 5);
    EXPECT_EQ(pixels565(r.apng.frames.back().picture), r.fullSpeed);
}

TEST(SlowMotion, BitBltSlidesFromTopLeftToBottomRight) {
#if defined(__clang__)
    // Clang places the hooks after inlining and cannot leave the per-row helpers out by name
    // (GCC's -finstrument-functions-exclude-function-list), so its frames can fall inside a disc
    // or a copy. The GCC builds (release, ARM) check the order.
    GTEST_SKIP() << "pacing granularity is checked in the GCC builds";
#endif
    const Recorded r = record("BitBlt", 100000);
    ASSERT_EQ(r.apng.error, "");
    // The picture itself, from the last copy, which nothing covers.
    constexpr int w = 155, h = 115;
    const std::vector<int> offsets = model::BitBltOffsets(kW, kH, kBar, w, h);
    ASSERT_FALSE(offsets.empty());
    const RgbImage& last = r.apng.frames.back().picture;
    std::vector<std::uint16_t> image;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.push_back(rgbTo565(last.at(offsets.back() + x, kBar + offsets.back() + y)));
    const int shown = expectFramesInModelOrder(r.apng, [&](int n, model::Picture& picture) {
        if (n >= static_cast<int>(offsets.size())) return false;
        const int k = offsets[static_cast<std::size_t>(n)];
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                picture.set(k + x, kBar + k + y, image[static_cast<std::size_t>(y * w + x)]);
        return true;
    });
    EXPECT_GE(shown, 5);
    EXPECT_EQ(pixels565(last), r.fullSpeed);
}

TEST(SlowMotion, AScriptRecordsTheSameFileEveryTime) {
    TempDir dir;
    writeFile(dir.file("s"), "menu Tools/Circles\nidle 20\nmenu Tools/Lines\n");
    std::string first;
    for (int run = 0; run < 2; ++run) {
        RunResult r = runKestrova({"--headless", "--script", dir.file("s"), "--slow", "300",
                                   "--record", dir.file("r.png")});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::string bytes = readFile(dir.file("r.png"));
        ASSERT_GT(bytes.size(), 1000u);
        if (run == 0)
            first = bytes;
        else
            EXPECT_TRUE(bytes == first) << "the second recording differs";
    }
    // The frames' times add up to the virtual clock's: the idle's 20 ms are in them, and the
    // last frame stays a second.
    const Apng apng = readApng(dir.file("r.png"));
    ASSERT_EQ(apng.error, "");
    EXPECT_EQ(apng.plays, 0u);
    EXPECT_DOUBLE_EQ(apng.frames.back().seconds(), 1.0);
}

TEST(SlowMotion, AnInvalidFactorIsOneLineAndExitCode2) {
    for (const char* bad :
         {"0", "100001", "-1", "1.5", "abc", "", "1e3", " 5", "5 ", "99999999999", "0x10", "+5"}) {
        SCOPED_TRACE(std::string("--slow '") + bad + "'");
        RunResult r = runKestrova({"--headless", "--script", "-", "--slow", bad}, "close\n");
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err.find("kestrova: --slow"), 0u) << r.err;
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }
    for (const char* good : {"1", "100000", "007"}) {
        RunResult r = runKestrova({"--headless", "--script", "-", "--slow", good}, "close\n");
        EXPECT_EQ(r.exitCode, 0) << good << ": " << r.err;
    }
}

// Every name in the folder, hidden ones (a temporary file left behind) included.
std::set<std::string> filesIn(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.insert(e->d_name);
        closedir(d);
    }
    return names;
}

TEST(SlowMotion, ARecordingThatCannotBeWrittenLeavesNoFile) {
    TempDir dir;
    writeFile(dir.file("s"), "menu Tools/Lines\n");
    // A full disk: the file size limit stops the recording's writes.
    RunBounds bounds;
    bounds.fileSizeBytes = 20000;
    BoundedResult r = runKestrovaBounded(
        {"--headless", "--script", dir.file("s"), "--slow", "1000", "--record", dir.file("r.png")},
        "", bounds);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.find("kestrova: --record: cannot write " + dir.file("r.png") + ": "), 0u)
        << r.err;
    EXPECT_EQ(filesIn(dir.path()), std::set<std::string>{"s"});
    // A folder that is not there: said at once, before the program runs.
    RunResult missing =
        runKestrova({"--headless", "--script", dir.file("s"), "--record", dir.file("no/r.png")});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_EQ(missing.err, "kestrova: --record: cannot write " + dir.file("no/r.png") +
                               ": No such file or directory\n");
}

}  // namespace
