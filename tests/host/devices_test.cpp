// Which runs meet as instances, as the program starts them: headless runs are devices of
// their own unless they name one with --device; runs that name the same device meet, and of
// those started at once exactly one is the running one. The instances' own tests prove the
// meeting itself (finding, requests, leftovers, the race); here, that the program uses it.
// A first run is held open by a script that only waits, and ended with a stop signal once
// the others are done, whatever the time they took.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
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
const std::string kHold = "idle 600000\n";  // until the test ends the run

// Ends a held run as a user's stop would; its exit code.
int stop(int pid) {
    kill(pid, SIGTERM);
    return waitKestrova(pid);
}

TEST(Devices, AHeadlessRunIsADeviceOfItsOwn) {
    TempDir instances, dir;
    writeFile(dir.file("script"), kHold);
    const int first =
        startKestrova({"--headless", "--script", dir.file("script"), "--trace", dir.file("first")},
                      instances.path(), dir.file("out1"), dir.file("err1"));
    ASSERT_TRUE(waitForTrace(dir.file("first"), kMainWindowCreated));

    // A tour, and a plain headless start, while it runs and with the same runtime folder:
    // each shows a main window of its own.
    const RunResult tour = runKestrova(
        {"--tour", dir.file("tour"), "--trace", dir.file("tour.jsonl")}, "", instances.path());
    EXPECT_EQ(tour.exitCode, 0) << tour.err;
    EXPECT_TRUE(tour.err.empty()) << tour.err;
    EXPECT_EQ(countLines(dir.file("tour.jsonl"), kMainWindowCreated), 1);
    const RunResult plain =
        runKestrova({"--headless", "--trace", dir.file("plain")}, "", instances.path());
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(countLines(dir.file("plain"), kMainWindowCreated), 1);

    EXPECT_EQ(stop(first), 128 + SIGTERM);
    EXPECT_EQ(countLines(dir.file("first"), "foreground_request"), 0);
}

TEST(Devices, RunsThatNameOneDeviceMeetAndTheSecondSaysWhatItBroughtForward) {
    TempDir instances, dir;
    writeFile(dir.file("script"), kHold);
    const int first = startKestrova({"--headless", "--device", "bench-1", "--script",
                                     dir.file("script"), "--trace", dir.file("first")},
                                    instances.path(), dir.file("out1"), dir.file("err1"));
    ASSERT_TRUE(waitForTrace(dir.file("first"), kMainWindowCreated));

    // The same device, whatever else it says: asks the first to come forward with the windows
    // it owns, says so on one line, exits 0 without a window.
    const RunResult second = runKestrova({"--headless", "--device", "bench-1", "--display",
                                          "320x240", "--trace", dir.file("second")},
                                         "", instances.path());
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_EQ(second.err, "kestrova: brought the running Kestrova (device bench-1) forward\n");
    EXPECT_EQ(countLines(dir.file("second"), "window_created"), 0);
    EXPECT_EQ(countLines(dir.file("second"), "\"foreground_sent\""), 1);
    EXPECT_TRUE(
        waitForTrace(dir.file("first"), "\"foreground_request\",\"hwnd\":65536,\"owned\":true"));

    // Another device: a program of its own.
    const RunResult other = runKestrova(
        {"--headless", "--device", "bench-2", "--trace", dir.file("other")}, "", instances.path());
    EXPECT_EQ(other.exitCode, 0) << other.err;
    EXPECT_TRUE(other.err.empty()) << other.err;
    EXPECT_EQ(countLines(dir.file("other"), kMainWindowCreated), 1);

    EXPECT_EQ(stop(first), 128 + SIGTERM);
    EXPECT_EQ(countLines(dir.file("first"), "foreground_request"), 1);
}

// Every start holds its main window open, so none of them ends before the others have looked:
// the ones that find the running one hand over and end by themselves, and it is then stopped.
TEST(Devices, OfRunsStartedAtOneMomentExactlyOneShowsAMainWindow) {
    constexpr int kStarts = 4;
    TempDir instances, dir;
    writeFile(dir.file("script"), kHold);
    int barrier[2];
    ASSERT_EQ(pipe(barrier), 0);
    std::vector<int> pids;
    for (int i = 0; i < kStarts; ++i) {
        const std::string n = std::to_string(i);
        pids.push_back(startKestrovaAtBarrier(
            {"--headless", "--device", "race", "--script", dir.file("script"), "--trace",
             dir.file("trace" + n)},
            instances.path(), barrier, dir.file("out" + n), dir.file("err" + n)));
    }
    close(barrier[0]);
    close(barrier[1]);

    // The running one: the first whose main window shows.
    int running = -1;
    for (int tries = 0; tries < 2000 && running < 0; ++tries) {
        for (int i = 0; i < kStarts && running < 0; ++i)
            if (countLines(dir.file("trace" + std::to_string(i)), kMainWindowCreated) > 0)
                running = i;
        if (running < 0) std::this_thread::sleep_for(10ms);
    }
    ASSERT_GE(running, 0) << "no start showed a main window";
    // The others end by themselves (one that does not, also running, is stopped), then it.
    for (int i = 0; i < kStarts; ++i) {
        if (i == running) continue;
        std::optional<int> code = waitKestrovaFor(pids[i], 20000);
        EXPECT_EQ(code, 0) << readFile(dir.file("err" + std::to_string(i)));
        if (!code) stop(pids[i]);
    }
    EXPECT_EQ(stop(pids[running]), 128 + SIGTERM);
    int windows = 0, handedOver = 0;
    for (int i = 0; i < kStarts; ++i) {
        const std::string n = std::to_string(i);
        windows += countLines(dir.file("trace" + n), kMainWindowCreated);
        handedOver += readFile(dir.file("err" + n)) ==
                      "kestrova: brought the running Kestrova (device race) forward\n";
    }
    EXPECT_EQ(windows, 1);
    EXPECT_EQ(handedOver, kStarts - 1);
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
