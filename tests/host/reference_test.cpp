// The device's own drawing, pixel for pixel: the real binary, run headless at 240x320, takes a
// screenshot of the command bar, the open Tools menu, each start-up message box and the About
// dialog, and each must equal its reference picture in tests/reference/.
//
// After an intended change to that drawing, regenerate the pictures and look at them before
// committing:
//   KESTROVA_UPDATE_REFERENCES=1 ctest --test-dir build/default -R Reference
// A picture that differs is saved as Testing/reference-actual/NAME.png in the build folder.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "png_read.h"
#include "run_program.h"

namespace {

const std::string kReferenceDir = std::string(KESTROVA_SOURCE_DIR) + "/tests/reference";
const std::string kActualDir = std::string(KESTROVA_BUILD_DIR) + "/Testing/reference-actual";
const std::string kUpdate = "KESTROVA_UPDATE_REFERENCES=1 ctest --test-dir " +
                            std::string(KESTROVA_BUILD_DIR) + " -R Reference";

struct Case {
    const char* name;    // the test's name
    const char* file;    // the picture's name in tests/reference/
    const char* fail;    // the --fail operation, or null
    const char* before;  // script lines before the screenshot
    const char* after;   // script lines that then let the program end
};

const Case kCases[] = {
    {"CommandBar", "command-bar.png", nullptr, "", ""},
    {"ToolsMenu", "tools-menu.png", nullptr, "menu Tools\n", "key Escape\n"},
    {"DisplayFailedMessage", "display-failed.png", "display", "", "key Return\n"},
    {"FramebufferFailedMessage", "framebuffer-failed.png", "framebuffer", "", "key Return\n"},
    {"AboutDialog", "about.png", nullptr, "menu Tools/About\n", "key Return\n"},
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

// Copies a file so that `to` is either whole or left as it was.
bool copyWhole(const std::string& from, const std::string& to) {
    std::error_code ec;
    const std::string temporary = to + ".part";
    std::filesystem::copy_file(from, temporary, std::filesystem::copy_options::overwrite_existing,
                               ec);
    if (!ec) std::filesystem::rename(temporary, to, ec);
    if (ec) std::filesystem::remove(temporary, ec);
    return !ec;
}

std::string hex(std::uint32_t colour) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%06X", colour);
    return text;
}

// Nothing when the pictures are equal; else where and how they first differ, in reading order.
std::optional<std::string> difference(const RgbImage& expected, const RgbImage& actual) {
    if (expected.width != actual.width || expected.height != actual.height)
        return "the picture is " + std::to_string(actual.width) + "x" +
               std::to_string(actual.height) + ", the reference " + std::to_string(expected.width) +
               "x" + std::to_string(expected.height);
    std::optional<std::string> first;
    long differing = 0;
    for (int y = 0; y < actual.height; ++y)
        for (int x = 0; x < actual.width; ++x) {
            if (expected.at(x, y) == actual.at(x, y)) continue;
            if (!first)
                first = "first at (" + std::to_string(x) + ", " + std::to_string(y) +
                        "): expected " + hex(expected.at(x, y)) + ", got " + hex(actual.at(x, y)) +
                        " (0x00BBGGRR)";
            ++differing;
        }
    if (!first) return std::nullopt;
    return std::to_string(differing) + " pixels differ, " + *first;
}

class Reference : public ::testing::TestWithParam<Case> {};

TEST_P(Reference, ScreenshotEqualsItsPicture) {
    const Case& c = GetParam();
    TempDir dir;
    const std::string shot = dir.file("shot.png");
    writeFile(dir.file("script"),
              std::string(c.before) + "screenshot " + shot + "\n" + std::string(c.after));
    std::vector<std::string> args = {"--headless", "--display", "240x320", "--script",
                                     dir.file("script")};
    if (c.fail) args.insert(args.end(), {"--fail", c.fail});
    const RunResult run = runKestrova(args);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::optional<RgbImage> actual = readPng(shot);
    ASSERT_TRUE(actual) << "no screenshot: " << run.err;

    const std::string reference = kReferenceDir + "/" + c.file;
    const std::string saved = kActualDir + "/" + c.file;
    std::optional<RgbImage> expected = readPng(reference);
    std::optional<std::string> differs = expected ? difference(*expected, *actual) : std::nullopt;
    const char* update = std::getenv("KESTROVA_UPDATE_REFERENCES");
    std::error_code ec;
    if (update && std::string(update) == "1" && (!expected || differs)) {
        std::filesystem::create_directories(kReferenceDir, ec);
        ASSERT_TRUE(copyWhole(shot, reference)) << "cannot write " << reference;
        std::printf("wrote %s\n", reference.c_str());
        expected = readPng(reference);
        differs = expected ? difference(*expected, *actual) : std::nullopt;
    }

    if (!expected) {
        FAIL() << "no reference picture " << reference << "; make it with\n  " << kUpdate
               << "\nand look at it before committing it";
    }
    if (differs) {
        std::filesystem::create_directories(kActualDir, ec);
        const bool kept = copyWhole(shot, saved);
        ADD_FAILURE() << c.name << " differs from " << reference << ": " << *differs << "\n"
                      << (kept ? "the picture taken is " + saved : "could not save the picture")
                      << "\nif the change is intended: " << kUpdate;
    } else {
        std::filesystem::remove(saved, ec);  // from an earlier failing run
    }
}

INSTANTIATE_TEST_SUITE_P(DeviceDrawing, Reference, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
