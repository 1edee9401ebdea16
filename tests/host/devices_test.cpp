// Which runs meet as instances: only those on one device. Headless runs are devices of their
// own unless they name one with --device; runs that name the same device meet, however many
// start at once, and exactly one of them is the running one.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "run_program.h"

namespace {

using namespace std::chrono_literals;

int countLines(const std::string& file, const std::string& needle) {
    const std::vector<std::string> lines = readLines(file);
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
        return l.find(needle) != std::string::npos;
    }));
}

const std::string kMainWindowCreated = "\"window_created\",\"class\":\"KESTROVA\"";

// Waits until `file` has a line with `needle`.
bool waitForLine(const std::string& file, const std::string& needle) {
    for (int i = 0; i < 500; ++i) {
        if (countLines(file, needle) > 0) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

TEST(Devices, AHeadlessRunIsADeviceOfItsOwn) {
    TempDir instances, dir;
    writeFile(dir.file("script"), "idle 3000\n");
    const int first =
        startKestrova({"--headless", "--script", dir.file("script"), "--trace", dir.file("first")},
                      instances.path(), dir.file("out1"), dir.file("err1"));
    ASSERT_TRUE(waitForLine(dir.file("first"), kMainWindowCreated));

    // A tour, and a plain headless start, at the same time and with the same runtime folder:
    // each does its own work.
    const RunResult tour = runKestrova(
        {"--tour", dir.file("tour"), "--trace", dir.file("tour.jsonl")}, "", instances.path());
    EXPECT_EQ(tour.exitCode, 0) << tour.err;
    EXPECT_TRUE(tour.err.empty()) << tour.err;
    EXPECT_EQ(countLines(dir.file("tour.jsonl"), kMainWindowCreated), 1);
    EXPECT_GE(std::distance(std::filesystem::directory_iterator(dir.file("tour")),
                            std::filesystem::directory_iterator()),
              5);
    const RunResult plain =
        runKestrova({"--headless", "--trace", dir.file("plain")}, "", instances.path());
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(countLines(dir.file("plain"), kMainWindowCreated), 1);

    EXPECT_EQ(waitKestrova(first), 0);
    EXPECT_EQ(countLines(dir.file("first"), "foreground_request"), 0);
}

TEST(Devices, RunsThatNameOneDeviceMeetAndTheSecondSaysWhatItBroughtForward) {
    TempDir instances, dir;
    writeFile(dir.file("script"), "idle 3000\n");
    const int first = startKestrova({"--headless", "--device", "bench-1", "--script",
                                     dir.file("script"), "--trace", dir.file("first")},
                                    instances.path(), dir.file("out1"), dir.file("err1"));
    ASSERT_TRUE(waitForLine(dir.file("first"), kMainWindowCreated));

    // The same device, whatever else it says: hands over, says so on one line, exits 0.
    const RunResult second = runKestrova({"--headless", "--device", "bench-1", "--display",
                                          "320x240", "--trace", dir.file("second")},
                                         "", instances.path());
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(second.err, "kestrova: brought the running Kestrova (device bench-1) forward\n");
    EXPECT_EQ(countLines(dir.file("second"), "window_created"), 0);

    // Another device: a program of its own.
    const RunResult other = runKestrova(
        {"--headless", "--device", "bench-2", "--trace", dir.file("other")}, "", instances.path());
    EXPECT_EQ(other.exitCode, 0) << other.err;
    EXPECT_TRUE(other.err.empty()) << other.err;
    EXPECT_EQ(countLines(dir.file("other"), kMainWindowCreated), 1);

    EXPECT_EQ(waitKestrova(first), 0);
    EXPECT_EQ(countLines(dir.file("first"), "\"foreground_request\",\"hwnd\":65536,\"owned\":true"),
              1);
}

TEST(Devices, OfRunsStartedAtOneMomentExactlyOneShowsAMainWindow) {
    for (int starts : {2, 3, 8}) {
        SCOPED_TRACE(std::to_string(starts) + " at once");
        TempDir instances, dir;
        // Long enough for the last of them to have looked before the first one ends.
        writeFile(dir.file("script"), "idle 3000\n");
        int barrier[2];
        ASSERT_EQ(pipe(barrier), 0);
        std::vector<int> pids;
        for (int i = 0; i < starts; ++i) {
            const std::string n = std::to_string(i);
            pids.push_back(startKestrovaAtBarrier(
                {"--headless", "--device", "race", "--script", dir.file("script"), "--trace",
                 dir.file("trace" + n)},
                instances.path(), barrier, dir.file("out" + n), dir.file("err" + n)));
        }
        close(barrier[0]);
        close(barrier[1]);

        int windows = 0, handedOver = 0;
        for (int i = 0; i < starts; ++i) {
            const std::string n = std::to_string(i);
            EXPECT_EQ(waitKestrova(pids[i]), 0) << readFile(dir.file("err" + n));
            windows += countLines(dir.file("trace" + n), kMainWindowCreated);
            const std::string err = readFile(dir.file("err" + n));
            handedOver += err == "kestrova: brought the running Kestrova (device race) forward\n";
        }
        EXPECT_EQ(windows, 1);
        EXPECT_EQ(handedOver, starts - 1);
    }
}

TEST(Devices, ADeviceNameIsCheckedLikeAnyOption) {
    for (const std::string& bad :
         std::vector<std::string>{"", "a b", "a/b", "../x", std::string(65, 'x'), "caf\xc3\xa9"}) {
        const RunResult r = runKestrova({"--headless", "--device", bad});
        EXPECT_EQ(r.exitCode, 2) << bad;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find("--device"), std::string::npos) << r.err;
    }
}

}  // namespace
