// How runs end, through the real binary: every run ends (after its input, on a stop signal,
// short of memory), a failure is one line on stderr and exit code 2 (never a success), and
// every file written is whole or absent, an older file at its path untouched when it is not.
#include <gtest/gtest.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "png_read.h"
#include "resource.h"
#include "run_program.h"

namespace {

bool contains(const std::vector<std::string>& lines, const std::string& needle) {
    for (const std::string& l : lines)
        if (l.find(needle) != std::string::npos) return true;
    return false;
}

// The whole of stderr is this one line.
void expectOneLine(const std::string& err, const std::string& start) {
    EXPECT_EQ(err.rfind(start, 0), 0u) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
}

// Everything in a folder, hidden files too: what a run left behind.
std::vector<std::string> entries(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// This process's registration files in the instances folder.
std::vector<std::string> registrationOf(const std::string& instancesDir, int pid) {
    std::vector<std::string> left;
    std::error_code ec;
    // One folder per device under kestrova/.
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(instancesDir + "/kestrova", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(std::to_string(pid) + ".", 0) == 0) left.push_back(name);
    }
    return left;
}

// The script with each WORD (OUT, PNG, RAW) replaced by a path.
std::string withPath(std::string script, const std::string& word, const std::string& path) {
    if (const std::size_t at = script.find(word); at != std::string::npos)
        script.replace(at, word.size(), path);
    return script;
}

constexpr std::size_t kDumpBytes = 240 * 320 * 2;

TEST(Endings, LinesTheProgramEndedBeforeAreReported) {
    struct Case {
        std::vector<std::string> args;
        std::string script;
        std::string line;
    };
    const std::vector<Case> cases = {
        {{}, "close\ndump OUT\n", "script:2: not run: the program has ended\n"},
        {{},
         "menu Tools/Exit\n\n# after the end\nscreenshot OUT\nclose\n",
         "script:4: not run: the program has ended\n"},
        // The program gives up at once after saying the display failed.
        {{"--fail", "display"},
         "key Return\ndump OUT\n",
         "script:2: not run: the program has ended\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        TempDir dir;
        writeFile(dir.file("script"), withPath(c.script, "OUT", dir.file("out")));
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--headless", "--script", dir.file("script")});
        const RunResult r = runKestrova(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.err, c.line);
        EXPECT_FALSE(std::filesystem::exists(dir.file("out")));
    }
}

TEST(Endings, InputThatCannotBeReadOrNamesNothingFailsAtOnce) {
    TempDir dir;
    writeFile(dir.file("file"), "");
    struct Case {
        std::vector<std::string> args;
        RunBounds bounds;
        std::string line;
    };
    RunBounds closedInput, folderInput;
    closedInput.inputClosed = true;
    folderInput.inputFile = dir.path();
    const std::vector<Case> cases = {
        {{"--headless", "--script", "-"},
         closedInput,
         "kestrova: cannot read the script from standard input: Bad file descriptor"},
        // Standard input by any other name: not the empty script /dev/null would read as.
        {{"--headless", "--script", "/dev/stdin"},
         closedInput,
         "kestrova: cannot read the script /dev/stdin: Bad file descriptor"},
        {{"--headless", "--script", "/proc/self/fd/0"},
         closedInput,
         "kestrova: cannot read the script /proc/self/fd/0: Bad file descriptor"},
        {{"--headless", "--script", "-"},
         folderInput,
         "kestrova: cannot read the script from standard input: Is a directory"},
        {{"--headless", "--script", dir.path()},
         {},
         "kestrova: cannot read the script " + dir.path() + ": Is a directory"},
        // Read a line at a time, each with a bound: endless input without a line end ends.
        {{"--headless", "--script", "/dev/zero"}, {}, "script:1: line too long"},
        {{"--script", ""}, {}, "kestrova: --script: the name is empty"},
        {{"--tour", ""}, {}, "kestrova: --tour: the name is empty"},
        {{"--headless", "--trace", ""}, {}, "kestrova: --trace: the name is empty"},
        // Found before the first picture, not at it.
        {{"--tour", dir.file("file")},
         {},
         "kestrova: --tour: cannot make the folder " + dir.file("file") + ": Not a directory"},
        {{"--headless", "--trace", "/dev/full"},
         {},
         "kestrova: --trace: cannot write /dev/full: No space left on device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.back());
        const BoundedResult r = runKestrovaBounded(c.args, "", c.bounds);
        EXPECT_FALSE(r.hung);
        EXPECT_EQ(r.exitCode, 2);
        expectOneLine(r.err, c.line);
    }
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"file"});
}

TEST(Endings, ScriptTextIsShownSafelyAndAByteOrderMarkIsSkipped) {
    TempDir dir;
    const RunResult bom = runKestrova({"--headless", "--script", "-", "--trace", dir.file("trace")},
                                      "\xEF\xBB\xBFmenu Tools/Lines\n");
    EXPECT_EQ(bom.exitCode, 0) << bom.err;
    EXPECT_TRUE(contains(readLines(dir.file("trace")), commandEvent(CMD_LINES)));

    const std::vector<std::pair<std::string, std::string>> cases = {
        {"\x1b[2J\x1b]0;title\a\n", "script:1: unknown command '\\x1B[2J\\x1B]0;title\\x07'\n"},
        {"key \xc2\x9b"
         "31m\n",
         "script:1: unknown key '\\xC2\\x9B31m'"},
        {"menu Tools/\x1b[31mRed\n", "script:1: no menu item '\\x1B[31mRed' on the screen\n"},
        {"screenshot /nonexistent/\x1b[1m.png\n",
         "script:1: cannot write /nonexistent/\\x1B[1m.png: No such file or directory\n"},
    };
    for (const auto& [script, start] : cases) {
        SCOPED_TRACE(start);
        const RunResult r = runKestrova({"--headless", "--script", "-"}, script);
        EXPECT_EQ(r.exitCode, 2);
        expectOneLine(r.err, start);
        for (char c : r.err.substr(0, r.err.size() - 1))
            EXPECT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << r.err;
    }
}

TEST(Endings, ACommandIsRefusedWhileTheMainWindowIsDisabled) {
    const std::string about = std::to_string(CMD_ABOUT), lines = std::to_string(CMD_LINES);
    struct Case {
        std::vector<std::string> args;
        std::string script;
        int refused;
        std::string line;
    };
    const std::vector<Case> cases = {
        {{},
         "menu Tools/About\ncommand " + lines + "\n",
         CMD_LINES,
         "script:2: command " + lines + " refused: the main window is disabled"},
        // Once this opened About inside the error box, and after the script the run spun for
        // ever; repeated, it nested one About in another until the stack overflowed.
        {{"--fail", "framebuffer"},
         "command " + about + "\ncommand " + about + "\n",
         CMD_ABOUT,
         "script:1: command " + about + " refused: the main window is disabled"},
        {{"--fail", "display"},
         "command " + lines + "\n",
         CMD_LINES,
         "script:1: command " + lines + " refused: there is no main window"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.script);
        TempDir dir, instances;
        std::vector<std::string> args = c.args;
        args.insert(args.end(), {"--headless", "--script", "-", "--trace", dir.file("trace")});
        RunBounds bounds;
        bounds.seconds = 10;
        bounds.instancesDir = instances.path();
        int pid = 0;
        const BoundedResult r =
            runKestrovaBounded(args, c.script, bounds, [&](int started) { pid = started; });
        ASSERT_FALSE(r.hung);
        EXPECT_EQ(r.exitCode, 2);
        expectOneLine(r.err, c.line);
        const std::vector<std::string> trace = readLines(dir.file("trace"));
        EXPECT_FALSE(contains(trace, commandEvent(c.refused)));
        if (c.args.empty() || c.args[1] != "display") {
            EXPECT_TRUE(contains(trace, "GXCloseDisplay"));
        }
        EXPECT_TRUE(registrationOf(instances.path(), pid).empty());
    }
}

TEST(Endings, TheTourNamesItselfAndTheButtonItCannotReach) {
    TempDir dir;
    const RunResult r = runKestrova({"--display", "1x8192", "--tour", dir.file("tour")});
    EXPECT_EQ(r.exitCode, 2);
    expectOneLine(r.err, "tour: no button 'Tools' on the screen");
}

// A disk that fills up, as a limit on the size of any file the run writes: the write fails,
// or, where SIGXFSZ keeps its default action, the signal comes; either way one line.
TEST(Endings, AFileThatCannotBeWrittenWholeLeavesTheOldOneAsItWas) {
    for (const bool signalled : {false, true}) {
        for (const std::string command : {"screenshot", "dump"}) {
            SCOPED_TRACE(command + (signalled ? " with SIGXFSZ" : ""));
            TempDir dir;
            const std::string target = dir.file("picture");
            writeFile(target, "the picture from before");
            RunBounds bounds;
            bounds.fileSizeBytes = 4096;  // less than either of the Lines screen
            bounds.fileSizeSignal = signalled;
            const BoundedResult r =
                runKestrovaBounded({"--headless", "--script", "-"},
                                   "menu Tools/Lines\n" + command + " " + target + "\n", bounds);
            EXPECT_EQ(r.exitCode, 2);
            expectOneLine(r.err, "script:2: cannot write " + target + ": File too large\n");
            EXPECT_EQ(readFile(target), "the picture from before");
            EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"picture"});
        }
    }
    // Written whole, the new file replaces the old one.
    TempDir dir;
    writeFile(dir.file("screen"), "old");
    const RunResult r =
        runKestrova({"--headless", "--script", "-"}, "dump " + dir.file("screen") + "\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(readFile(dir.file("screen")).size(), kDumpBytes);
    EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"screen"});
}

// As a shell's > refuses it (root included, where the file's mode alone says it is protected).
TEST(Endings, AFileWithoutWritePermissionIsNotReplaced) {
    for (const std::string command : {"screenshot", "dump"}) {
        SCOPED_TRACE(command);
        TempDir dir;
        const std::string target = dir.file("golden.png");
        writeFile(target, "golden");
        ASSERT_EQ(chmod(target.c_str(), 0444), 0);
        const RunResult r = runKestrova({"--headless", "--script", "-"},
                                        "menu Tools/Lines\n" + command + " " + target + "\n");
        EXPECT_EQ(r.exitCode, 2);
        expectOneLine(r.err, "script:2: cannot write " + target + ": Permission denied\n");
        EXPECT_EQ(readFile(target), "golden");
        EXPECT_EQ(entries(dir.path()), std::vector<std::string>{"golden.png"});
    }
}

TEST(Endings, AFullDeviceIsOneLineNamingTheFileAndTheReason) {
    for (const std::string command : {"screenshot", "dump"}) {
        SCOPED_TRACE(command);
        const RunResult r = runKestrova({"--headless", "--script", "-"}, command + " /dev/full\n");
        EXPECT_EQ(r.exitCode, 2);
        // libpng says nothing of its own.
        expectOneLine(r.err, "script:1: cannot write /dev/full: No space left on device\n");
    }
}

TEST(Endings, ATraceThatCannotBeWrittenWholeIsReportedAndRemoved) {
    TempDir dir;
    RunBounds bounds;
    bounds.fileSizeBytes = 400;  // the trace of start-up alone is longer
    const BoundedResult r =
        runKestrovaBounded({"--headless", "--script", "-", "--trace", dir.file("trace")},
                           "menu Tools/Lines\n", bounds);
    EXPECT_EQ(r.exitCode, 2);
    expectOneLine(r.err,
                  "kestrova: --trace: cannot write " + dir.file("trace") + ": File too large\n");
    EXPECT_TRUE(entries(dir.path()).empty());
}

// A trace given as a name that was there before (a link to a file) is not the run's to remove:
// the link and its file stay, and the line says where the part written is.
TEST(Endings, ATraceThroughALinkLeavesTheLinkAndSaysWhereThePartIs) {
    TempDir dir;
    writeFile(dir.file("real.json"), "before");
    std::filesystem::create_symlink("real.json", dir.file("trace.json"));
    RunBounds bounds;
    bounds.fileSizeBytes = 400;
    const BoundedResult r =
        runKestrovaBounded({"--headless", "--script", "-", "--trace", dir.file("trace.json")},
                           "menu Tools/Lines\n", bounds);
    EXPECT_EQ(r.exitCode, 2);
    expectOneLine(r.err, "kestrova: --trace: cannot write " + dir.file("trace.json") +
                             ": File too large; the part written is left in " +
                             std::filesystem::canonical(dir.file("real.json")).string() + "\n");
    EXPECT_EQ(entries(dir.path()), (std::vector<std::string>{"real.json", "trace.json"}));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("trace.json")));
    EXPECT_EQ(readFile(dir.file("real.json")).size(), 400u);
}

// True once pid has its handler for signal in place (its SigCgt mask in /proc says so).
bool catches(int pid, int signal) {
    for (const std::string& line : readLines("/proc/" + std::to_string(pid) + "/status"))
        if (line.rfind("SigCgt:", 0) == 0)
            return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
    return false;
}

// Waiting for a script on a pipe on which nothing comes: a stop signal ends the wait.
TEST(Endings, AStopSignalWhileTheScriptIsReadEndsTheRunWithOneLine) {
    RunBounds bounds;
    bounds.inputIdle = true;
    bool caught = false;
    const BoundedResult r =
        runKestrovaBounded({"--headless", "--script", "-"}, "", bounds, [&](int pid) {
            for (int i = 0; i < 2000 && !caught; ++i) {
                caught = catches(pid, SIGTERM);
                if (!caught) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            kill(pid, SIGTERM);
        });
    ASSERT_TRUE(caught);
    EXPECT_FALSE(r.hung);
    EXPECT_EQ(r.exitCode, 143);
    expectOneLine(r.err, "kestrova: SIGTERM: stopped while reading the script; nothing was run\n");
}

// A dump into a pipe that nobody reads: once the pipe is full the program waits for room, and
// a stop signal ends that wait (after a second without a reader) instead of the grace period,
// the run ending as the signal does, on one line.
TEST(Endings, AStopSignalEndsAWriteThatNobodyReads) {
    TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);  // there, but never reads
    ASSERT_GE(reader, 0);
    const int asked = fcntl(reader, F_GETPIPE_SZ);
    const int capacity = asked > 4096 ? asked : 65536;  // Linux's default, where it cannot say
    RunBounds bounds;
    bool full = false;
    const BoundedResult r = runKestrovaBounded(
        {"--headless", "--display", "1024x1024", "--script", "-"}, "dump " + fifo + "\n", bounds,
        [&](int pid) {
            for (int i = 0; i < 4000 && !full; ++i) {
                int queued = 0;
                full = ioctl(reader, FIONREAD, &queued) == 0 && queued >= capacity - 4096;
                if (!full) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            kill(pid, SIGTERM);
        });
    close(reader);
    ASSERT_TRUE(full) << "the dump never filled the pipe";
    EXPECT_FALSE(r.hung);
    EXPECT_EQ(r.exitCode, 143);
    expectOneLine(r.err,
                  "kestrova: SIGTERM: the program was closed; script:1: cannot write " + fifo);
}

// A running instance that is stopped (Ctrl+Z, SIGSTOP) takes the request into its queue but
// never answers: the second start says so and does not claim a hand-over.
TEST(Endings, AHandOverToAStoppedInstanceIsNotReportedAsDone) {
    TempDir instances, dir;
    writeFile(dir.file("script"), "idle 30000\n");
    const int first = startKestrova({"--headless", "--device", "meet", "--script",
                                     dir.file("script"), "--trace", dir.file("first")},
                                    instances.path(), dir.file("out1"), dir.file("err1"));
    bool registered = false;
    for (int i = 0; i < 1000 && !registered; ++i) {
        registered = contains(readLines(dir.file("first")), "LoadBitmapW") &&
                     !registrationOf(instances.path(), first).empty();
        if (!registered) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(first, SIGSTOP);
    RunBounds bounds;
    bounds.instancesDir = instances.path();
    const BoundedResult second = runKestrovaBounded({"--headless", "--device", "meet"}, "", bounds);
    kill(first, SIGCONT);
    kill(first, SIGTERM);
    waitKestrova(first);
    ASSERT_TRUE(registered);
    EXPECT_FALSE(second.hung);
    EXPECT_EQ(second.exitCode, 3);
    expectOneLine(second.err,
                  "kestrova: found the running Kestrova (device meet), but it did not answer\n");
}

// A start waiting for another start on the same device to finish (its start lock held) is
// closed promptly by a stop signal, not after the wait's own bound.
TEST(Endings, AStopSignalEndsTheWaitForTheStartLock) {
    TempDir instances;
    // A first run makes the device's folder, which is its start lock; the test then holds it
    // as a start that never finishes would.
    runKestrova({"--headless", "--device", "held"}, "", instances.path());
    const int folder = open((instances.path() + "/kestrova/name-held").c_str(),
                            O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    ASSERT_EQ(flock(folder, LOCK_EX), 0);
    RunBounds bounds;
    bounds.instancesDir = instances.path();
    bounds.seconds = 8;  // less than the lock's own bound and the signal's grace period
    // The signal goes once the run has the device's folder open: its script is read by then,
    // and what is left before the program runs is the wait for the lock. (The test's own
    // descriptor of the folder is not inherited, so the one found is the run's.)
    const std::string held = std::filesystem::canonical(instances.path() + "/kestrova/name-held");
    auto hasFolderOpen = [&](int pid) {
        const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
        std::error_code ec;
        for (const auto& fd : std::filesystem::directory_iterator(fds, ec)) {
            std::error_code linkError;
            if (std::filesystem::read_symlink(fd.path(), linkError) == held) return true;
        }
        return false;
    };
    bool caught = false;
    const BoundedResult r = runKestrovaBounded(
        {"--headless", "--device", "held", "--script", "-"}, "idle 30000\n", bounds, [&](int pid) {
            for (int i = 0; i < 2000 && !caught; ++i) {
                caught = catches(pid, SIGTERM) && hasFolderOpen(pid);
                if (!caught) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            kill(pid, SIGTERM);
        });
    close(folder);
    ASSERT_TRUE(caught);
    EXPECT_FALSE(r.hung);
    EXPECT_EQ(r.exitCode, 143);
    expectOneLine(r.err,
                  "kestrova: SIGTERM: the program was closed; script:1 and the lines "
                  "after it were not run\n");
}

#if defined(__SANITIZE_ADDRESS__)
#define KESTROVA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTROVA_ASAN 1
#endif
#endif

// Under an address-space limit from too small to start up to large enough: wherever memory
// runs out, the run ends with one line and exit code 2 (or gets through), and each file is
// whole or absent.
TEST(Endings, RunningOutOfMemoryEndsTheRunWithOneLine) {
#ifdef KESTROVA_ASAN
    GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit here allows";
#else
    const std::string script = "menu Tools/Lines\nscreenshot PNG\nmenu Tools/BitBlt\ndump RAW\n";
    bool sawOutOfMemory = false;
    auto runWithin = [&](long long bytes) {
        TempDir dir;
        const std::string s =
            withPath(withPath(script, "PNG", dir.file("shot.png")), "RAW", dir.file("screen.raw"));
        RunBounds bounds;
        bounds.addressSpaceBytes = bytes;
        const BoundedResult r = runKestrovaBounded({"--headless", "--script", "-"}, s, bounds);
        // Too little to load the libraries: the dynamic loader's refusal, before any of ours.
        if (r.exitCode == 127) return r.exitCode;
        // Or the libraries mapped with no room left for their thread-local storage, where the
        // loader itself crashes: then --version, which does next to nothing, fails alike.
        if (r.exitCode != 0 && r.exitCode != 2 &&
            runKestrovaBounded({"--version"}, "", bounds).exitCode == r.exitCode)
            return r.exitCode;
        SCOPED_TRACE(std::to_string(bytes) + " bytes: " + r.err);
        EXPECT_FALSE(r.hung);
        EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 2);
        if (r.exitCode == 2) {
            EXPECT_EQ(r.err.find('\n'), r.err.size() - 1);
        } else {
            EXPECT_EQ(r.err, "");
        }
        sawOutOfMemory = sawOutOfMemory || r.err == "kestrova: out of memory\n";
        for (const std::string& name : entries(dir.path())) {
            if (name == "shot.png") {
                const std::optional<RgbImage> png = readPng(dir.file(name));
                EXPECT_TRUE(png && png->width == 240 && png->height == 320) << "a broken picture";
            } else if (name == "screen.raw") {
                EXPECT_EQ(readFile(dir.file(name)).size(), kDumpBytes);
            } else {
                ADD_FAILURE() << "left behind: " << name;
            }
        }
        return r.exitCode;
    };
    // Up in large steps to the first limit that is enough, then the last few MiB below it
    // in small ones, where each allocation in turn is the one that fails.
    constexpr long long kMiB = 1024 * 1024;
    long long enough = 0;
    for (long long limit = 4 * kMiB; limit <= 1024 * kMiB && !enough; limit += kMiB / 4)
        if (runWithin(limit) == 0) enough = limit;
    ASSERT_GT(enough, 0);
    for (long long limit = enough - 4 * kMiB; limit < enough; limit += 32 * 1024) runWithin(limit);
    EXPECT_TRUE(sawOutOfMemory);
#endif
}

// A menu line of many short items takes many times its size once read: a script of them stops
// at the stated bound with one line, well inside an address-space limit, not out of memory.
TEST(Endings, AScriptOfLongMenuLinesStopsAtItsBound) {
    std::string line = "menu a";
    while (line.size() + 2 <= 4096) line += "/a";
    std::string script;
    for (int i = 0; i < 2000; ++i) script += line + "\n";
    RunBounds bounds;
#ifndef KESTROVA_ASAN
    bounds.addressSpaceBytes = 160LL * 1024 * 1024;
#endif
    const BoundedResult r = runKestrovaBounded({"--headless", "--script", "-"}, script, bounds);
    EXPECT_FALSE(r.hung);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err.rfind("script:", 0), 0u) << r.err;
    expectOneLine(r.err.substr(r.err.find(": ") + 2),
                  "script too large: its commands would take over 64 MiB\n");
}

// A stop signal closes the main window as the platform would: the shutdown steps run, the
// registration goes, and the exit code says which signal ended the run.
TEST(Endings, StopSignalsCloseTheProgramInOrder) {
    struct Case {
        int signal;
        std::string name;
        std::string script;
        std::string ready;  // the trace event after which the program waits in the idle line
        int idleLine;
    };
    const std::vector<Case> cases = {
        {SIGTERM, "SIGTERM", "idle 30000\nscreenshot never.png\n", "LoadBitmapW", 1},
        {SIGINT, "SIGINT", "idle 30000\n", "LoadBitmapW", 1},
        {SIGHUP, "SIGHUP", "idle 30000\n", "LoadBitmapW", 1},
        // With a dialog up: it goes with the main window.
        {SIGTERM, "SIGTERM", "menu Tools/About\nidle 30000\n", "dialog_opened", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name + ": " + c.script);
        TempDir dir, instances;
        RunBounds bounds;
        bounds.seconds = 15;
        bounds.instancesDir = instances.path();
        int pid = 0;
        bool registered = false;
        const BoundedResult r = runKestrovaBounded(
            {"--headless", "--device", "endings", "--script", "-", "--trace", dir.file("trace")},
            c.script, bounds, [&](int started) {
                pid = started;
                for (int i = 0; i < 1000 && !registered; ++i) {
                    registered = contains(readLines(dir.file("trace")), c.ready) &&
                                 !registrationOf(instances.path(), pid).empty();
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
                kill(pid, c.signal);
            });
        ASSERT_FALSE(r.hung);
        EXPECT_TRUE(registered);
        EXPECT_EQ(r.exitCode, 128 + c.signal);
        expectOneLine(r.err, "kestrova: " + c.name +
                                 ": the program was closed; script:" + std::to_string(c.idleLine) +
                                 " and the lines after it were not run\n");
        const std::vector<std::string> trace = readLines(dir.file("trace"));
        EXPECT_TRUE(contains(trace, "\"window_destroyed\",\"class\":\"KESTROVA\""));
        EXPECT_TRUE(contains(trace, "GXCloseDisplay"));
        EXPECT_TRUE(contains(trace, "DeleteObject"));
        EXPECT_TRUE(registrationOf(instances.path(), pid).empty());
    }
}

}  // namespace
