// The stop signals, in a child process of the test's own: the grace period after the first
// signal, a second signal, a signal that came ignored, and the files a run ended at once
// leaves behind (none).
#include "signals.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "core/output_file.h"
#include "temp_files.h"

namespace {

struct Ended {
    int exitCode = -1;
    std::string err;
};

// Runs body in a child with stderr going to a file; the child's exit code (128 + N for a
// signal N that ended it) and what it wrote on stderr. Stops a child still going after
// `seconds`, which fails the test.
Ended inChild(const std::function<void()>& body, int seconds = 20) {
    TempDir dir;
    const std::string errFile = dir.file("err");
    const pid_t pid = fork();
    if (pid == 0) {
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err < 0 || dup2(err, 2) < 0) _exit(126);
        for (int s : {SIGTERM, SIGINT, SIGHUP}) signal(s, SIG_DFL);
        body();
        _exit(0);
    }
    Ended r;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << "the child did not end";
            break;
        }
        poll(nullptr, 0, 10);
    }
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.err = readFile(errFile);
    return r;
}

// A program that takes the stop signals and never looks at the stop pipe.
[[noreturn]] void neverReads() {
    for (;;) pause();
}

TEST(StopSignals, AProgramThatDoesNotEndIsStoppedAfterTheGracePeriod) {
    const Ended r = inChild([] {
        if (!khost::installStopSignals(nullptr, 1)) _exit(125);
        raise(SIGTERM);
        neverReads();
    });
    EXPECT_EQ(r.exitCode, 143);
    EXPECT_EQ(r.err,
              "kestrova: SIGTERM: the program did not end within 1 s; stopped without shutting "
              "down\n");
}

TEST(StopSignals, ASecondSignalStopsAtOnceAndLeavesNoTemporaryFile) {
    TempDir dir;
    const std::string folder = dir.path();
    const Ended r = inChild([&] {
        // A grace period far longer than the test: only the second signal can end it.
        if (!khost::installStopSignals(nullptr, 3600)) _exit(125);
        kdev::OutputFile picture, log;
        if (!picture.open(folder + "/shot.png", nullptr) || !picture.write("x", 1)) _exit(124);
        if (!log.open(folder + "/trace", nullptr, kdev::OutputFile::Mode::Streamed)) _exit(124);
        raise(SIGINT);
        raise(SIGTERM);
        neverReads();
    });
    EXPECT_EQ(r.exitCode, 130);
    EXPECT_EQ(r.err, "kestrova: SIGINT, then another: stopped at once, without shutting down\n");
    EXPECT_TRUE(std::filesystem::is_empty(folder));
}

TEST(StopSignals, ASignalThatCameIgnoredStaysIgnored) {
    const Ended r = inChild([] {
        signal(SIGHUP, SIG_IGN);
        if (!khost::installStopSignals(nullptr, 1)) _exit(125);
        raise(SIGHUP);
        pollfd stop{khost::stopDescriptor(), POLLIN, 0};
        _exit(poll(&stop, 1, 0) == 0 && khost::stopSignal() == 0 ? 0 : 1);
    });
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
}

}  // namespace
