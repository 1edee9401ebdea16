// The monkey: thousands of random but repeatable stylus taps and drags, keys and menu choices
// fed to the real program through a generated script, on every display geometry, layout and
// pixel format, and under every combination of injected faults. The program must never crash
// or hang, never write outside the screen memory (the guard pages around it turn such a write
// into a crash) and must end with exit code 0 when its window finally closes. Built with the
// sanitizers, any report of theirs fails the run too.
//
// Each run prints its seed. To repeat a failure:
//   KESTROVA_MONKEY_SEED=<seed> kestrova_host_tests --gtest_filter=<the failing test>
// KESTROVA_MONKEY_STEPS=<n> changes how many steps of input each setup gets, and
// KESTROVA_MONKEY_SECONDS=<n> the time a setup may take before it counts as hung (100).
// KESTROVA_MONKEY_PROGRAM=<kestrova> runs another build of the program, and
// KESTROVA_MONKEY_EMULATOR="<command words>" runs it through an emulator (the 32-bit ARM build
// under qemu-arm).
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fcntl.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "png_read.h"
#include "resource.h"
#include "run_program.h"

extern char** environ;

namespace {

constexpr int kBarHeight = 26;
constexpr int kMarkerBase = 50000;  // command ids 50000-59999 mark progress through a script
constexpr int kMarkerEvery = 20;    // steps between two markers
constexpr std::uint64_t kDefaultSeed = 0x4B657374726F7661;  // any fixed value: runs repeat

// splitmix64: the same numbers on every machine and library, so a seed names one run.
class Random {
public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    bool percent(int p) { return below(100) < p; }

private:
    std::uint64_t state_;
};

std::uint64_t hashName(std::uint64_t seed, const std::string& name) {
    std::uint64_t h = seed ^ 0xCBF29CE484222325ull;
    for (unsigned char c : name) h = (h ^ c) * 0x100000001B3ull;
    return h;
}

std::uint64_t envNumber(const char* name, std::uint64_t fallback) {
    const char* v = std::getenv(name);
    if (!v || !*v) return fallback;
    return std::strtoull(v, nullptr, 0);
}

struct Config {
    int width = 240;
    int height = 320;
    std::string layout = "normal";
    std::string format = "565";
    std::vector<std::string> faults;
    int steps = 0;

    bool has(const std::string& fault) const {
        for (const std::string& f : faults)
            if (f == fault) return true;
        return false;
    }
    std::string name() const {
        std::string n = "w" + std::to_string(width) + "x" + std::to_string(height) + "_" + layout +
                        "_" + format;
        for (const std::string& f : faults) n += "_fail_" + f;
        return n;
    }
    std::vector<std::string> args() const {
        std::vector<std::string> a = {
            "--display", std::to_string(width) + "x" + std::to_string(height),
            "--layout",  layout,
            "--format",  format};
        for (const std::string& f : faults) a.insert(a.end(), {"--fail", f});
        return a;
    }
};

// Test names and failure messages show a setup by its name.
void PrintTo(const Config& s, std::ostream* out) { *out << s.name(); }

// ---------------------------------------------------------------------------------------------
// The script.

const char* const kKeys[] = {"Return", "Escape", "Up",  "Down", "Left",
                             "Right",  "F10",    "Tab", "Space"};
const char* const kItems[] = {"BitBlt", "Lines", "Circles", "Clear Screen", "About"};
// Every command but Exit.
const int kProgramCommands[] = {CMD_ABOUT, CMD_BITBLT, CMD_LINES, CMD_CIRCLES, CMD_CLEAR};

// A point on the screen; now and then just off it or far away, as no real stylus would give.
std::string point(Random& r, const Config& s, bool inBar) {
    int x, y;
    if (r.percent(2)) {
        x = r.between(-100000, 100000);
        y = r.between(-100000, 100000);
    } else if (r.percent(5)) {
        x = r.between(-3, s.width + 2);
        y = r.between(-3, s.height + 2);
    } else {
        x = r.below(s.width);
        y = inBar ? r.below(std::min(kBarHeight, s.height)) : r.below(s.height);
    }
    return std::to_string(x) + " " + std::to_string(y);
}

// One step of input: a tap, a drag, a key, a menu choice or a command.
void addStep(Random& r, const Config& s, std::vector<std::string>& lines) {
    const int kind = r.below(100);
    if (kind < 25) {
        lines.push_back("tap " + point(r, s, false));
    } else if (kind < 40) {
        lines.push_back("tap " +
                        point(r, s, true));  // the bar: its button, the menu, the close box
    } else if (kind < 50) {
        lines.push_back("down " + point(r, s, r.percent(50)));
        for (int n = r.between(0, 5); n > 0; --n) lines.push_back("move " + point(r, s, false));
        lines.push_back("up " + point(r, s, false));
    } else if (kind < 80) {
        lines.push_back(std::string("key ") + kKeys[r.below(std::size(kKeys))]);
    } else if (kind < 92 && s.width >= 60 && s.height >= 2 * kBarHeight) {  // where the menu fits
        // Escape closes an open menu, Return a dialog or message box: either would hide the
        // bar's button.
        lines.push_back("key Escape");
        lines.push_back("key Return");
        lines.push_back(std::string("menu Tools/") + kItems[r.below(std::size(kItems))]);
    } else if (kind < 97) {
        // Return first ends a dialog or message box, which would have the command refused.
        lines.push_back("key Return");
        lines.push_back("command " +
                        std::to_string(kProgramCommands[r.below(std::size(kProgramCommands))]));
    } else {
        // Any other id; the marker range and Exit are left to the monkey itself.
        int id = r.below(0x10000);
        if (id == CMD_EXIT || (id >= kMarkerBase && id < kMarkerBase + 10000)) id = 0;
        lines.push_back("key Return");
        lines.push_back("command " + std::to_string(id));
    }
}

struct Script {
    std::vector<std::string> lines;
    std::vector<int> markerLine;  // the line index of marker k
};

Script generate(std::uint64_t seed, const Config& s) {
    Random r(seed);
    Script script;
    for (int step = 0; step < s.steps; ++step) {
        addStep(r, s, script.lines);
        if (step % kMarkerEvery == kMarkerEvery - 1) {
            script.lines.push_back("key Return");  // a dialog up would have the marker refused
            script.markerLine.push_back(static_cast<int>(script.lines.size()));
            script.lines.push_back("command " +
                                   std::to_string(kMarkerBase + script.markerLine.size() - 1));
        }
    }
    return script;
}

// ---------------------------------------------------------------------------------------------
// Running the program with a deadline.

struct Outcome {
    int exitCode = -1;  // 128 + signal when killed by one
    bool timedOut = false;
    bool stoppedAtLine = false;  // a line could not be carried out (see stoppedLine)
    std::string err;
    std::vector<std::string> trace;
};

// The program to run, behind its emulator if there is one.
std::vector<std::string> programCommand() {
    std::vector<std::string> words;
    if (const char* emulator = std::getenv("KESTROVA_MONKEY_EMULATOR")) {
        std::istringstream in(emulator);
        for (std::string w; in >> w;) words.push_back(w);
    }
    const char* program = std::getenv("KESTROVA_MONKEY_PROGRAM");
    words.push_back(program && *program ? program : KESTROVA_BINARY);
    return words;
}

Outcome runWithDeadline(const std::vector<std::string>& args, const TempDir& dir,
                        std::chrono::seconds limit) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string v = *e;
        if (v.rfind("XDG_RUNTIME_DIR=", 0) == 0 || v.rfind("DISPLAY=", 0) == 0 ||
            v.rfind("WAYLAND_DISPLAY=", 0) == 0)
            continue;
        env.push_back(v);
    }
    // Instances of other tests must not meet this one.
    std::filesystem::create_directories(dir.file("run"));
    env.push_back("XDG_RUNTIME_DIR=" + dir.file("run"));
    std::vector<char*> envp;
    for (std::string& v : env) envp.push_back(v.data());
    envp.push_back(nullptr);
    std::vector<std::string> argv = programCommand();
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> argp;
    for (std::string& a : argv) argp.push_back(a.data());
    argp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, dir.file("err").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    Outcome o;
    if (rc != 0) {
        o.err = "cannot start " + argv[0];
        return o;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) break;
        if (done < 0) return o;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            o.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!o.timedOut) o.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    o.err = readFile(dir.file("err"));
    o.trace = readLines(dir.file("trace"));
    return o;
}

int countOf(const std::vector<std::string>& lines, const std::string& needle) {
    int n = 0;
    for (const std::string& l : lines)
        if (l.find(needle) != std::string::npos) ++n;
    return n;
}

// Lines holding both a and b.
int countWith(const std::vector<std::string>& lines, const std::string& a, const std::string& b) {
    int n = 0;
    for (const std::string& l : lines)
        if (l.find(a) != std::string::npos && l.find(b) != std::string::npos) ++n;
    return n;
}

int indexOf(const std::vector<std::string>& lines, const std::string& needle, int from = 0) {
    for (std::size_t i = static_cast<std::size_t>(from); i < lines.size(); ++i)
        if (lines[i].find(needle) != std::string::npos) return static_cast<int>(i);
    return -1;
}

// The highest marker the program saw, or -1.
int lastMarker(const std::vector<std::string>& trace) {
    const std::string needle = "\"event\":\"command\",\"id\":";
    int last = -1;
    for (const std::string& l : trace) {
        const std::size_t at = l.find(needle);
        if (at == std::string::npos) continue;
        const int id = std::atoi(l.c_str() + at + needle.size());
        if (id >= kMarkerBase && id < kMarkerBase + 10000) last = std::max(last, id - kMarkerBase);
    }
    return last;
}

// The line the script stopped at because what it asked for was not there to be done: a menu
// or button something covered ("script:N: no menu item ..."), or a command while a dialog had
// disabled the main window ("script:N: command ID refused: ..."). 0 for none.
int stoppedLine(const std::string& err) {
    if (err.rfind("script:", 0) != 0) return 0;
    for (const char* why : {": no menu item '", ": no button '", " refused: "})
        if (err.find(why) != std::string::npos) return std::atoi(err.c_str() + 7);
    return 0;
}

// The program ended before the script did ("script:N: not run: the program has ended").
bool endedEarly(const std::string& err) {
    return err.rfind("script:", 0) == 0 &&
           err.find(": not run: the program has ended\n") != std::string::npos;
}

std::string sanitizerReport(const std::string& err) {
    for (const char* marker :
         {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer", "runtime error:"}) {
        const std::size_t at = err.find(marker);
        if (at != std::string::npos) return err.substr(at, 4000);
    }
    return {};
}

// Where a failing script is kept so the run can be repeated by hand.
std::string keepScript(const std::string& name, std::uint64_t seed,
                       const std::vector<std::string>& lines) {
    const std::string path =
        (std::filesystem::current_path() / ("monkey-" + name + ".script")).string();
    std::ostringstream text;
    text << "# monkey " << name << " seed " << seed << "\n";
    for (const std::string& l : lines) text << l << "\n";
    writeFile(path, text.str());
    return path;
}

// What one setup's monkey saw, for the fault checks.
struct MonkeyLog {
    int runs = 0;
    int menuMisses = 0;  // runs stopped by a line with nothing to act on (see stoppedLine)
    int earlyExits = 0;  // runs the program ended before the script did
    std::vector<Outcome> outcomes;
};

// Feeds the whole script to the program. When the program ends early (the monkey chose Exit
// or closed the window with the bar's close box) or a menu line finds no menu (a dialog was in
// the way), it starts the program again from where that run stopped, so every setup gets its
// full share of input. Returns false after reporting a failure.
bool runMonkey(const Config& s, std::uint64_t baseSeed, MonkeyLog& log) {
    const std::uint64_t seed = hashName(baseSeed, s.name());
    const Script script = generate(seed, s);
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string repeat = "KESTROVA_MONKEY_SEED=" + std::to_string(baseSeed) +
                               " kestrova_host_tests --gtest_filter='" + test->test_suite_name() +
                               "." + test->name() + "'";
    std::cout << "monkey " << s.name() << ": seed " << baseSeed << ", " << s.steps << " steps, "
              << script.lines.size() << " script lines" << std::endl;

    const auto started = std::chrono::steady_clock::now();
    const auto budget = std::chrono::seconds(envNumber("KESTROVA_MONKEY_SECONDS", 100));
    std::size_t start = 0;
    const bool endsAtOnce = s.has("display");  // the program gives up after its message box
    while (start <= script.lines.size()) {
        if (std::chrono::steady_clock::now() - started > budget) {
            ADD_FAILURE() << "monkey " << s.name() << ": ran out of time after " << log.runs
                          << " runs\n  seed: " << baseSeed << "\n  repeat the test: " << repeat;
            return false;
        }
        TempDir dir;
        std::vector<std::string> lines(script.lines.begin() + static_cast<std::ptrdiff_t>(start),
                                       script.lines.end());
        lines.push_back("dump " + dir.file("screen.raw"));
        lines.push_back("close");
        std::ostringstream text;
        for (const std::string& l : lines) text << l << "\n";
        writeFile(dir.file("script"), text.str());

        std::vector<std::string> args = s.args();
        args.insert(args.end(),
                    {"--headless", "--script", dir.file("script"), "--trace", dir.file("trace")});
        const auto left = budget - (std::chrono::steady_clock::now() - started);
        const auto limit = std::max(std::chrono::seconds(5),
                                    std::chrono::duration_cast<std::chrono::seconds>(left));
        Outcome o = runWithDeadline(args, dir, limit);
        ++log.runs;

        auto fail = [&](const std::string& what) {
            const std::string kept = keepScript(s.name(), seed, lines);
            std::string command;
            for (const std::string& w : programCommand())
                command += (command.empty() ? "" : " ") + w;
            for (const std::string& a : s.args()) command += " " + a;
            ADD_FAILURE() << "monkey " << s.name() << ": " << what << "\n  seed: " << baseSeed
                          << " (setup seed " << seed << ")\n  repeat the test: " << repeat
                          << "\n  or run the program on the script of the failing run:\n  "
                          << command << " --headless --script " << kept << "\n  stderr:\n"
                          << o.err.substr(0, 6000);
            return false;
        };
        if (o.timedOut)
            return fail("hung (no exit within " + std::to_string(limit.count()) + " s)");
        if (const std::string report = sanitizerReport(o.err); !report.empty())
            return fail("sanitizer report, exit code " + std::to_string(o.exitCode));
        if (o.exitCode >= 128) return fail("killed by signal " + std::to_string(o.exitCode - 128));

        const int missed = stoppedLine(o.err);
        if (o.exitCode == 2 && missed > 0) {
            // Not a fault of the program: the monkey asked for a menu that something covered,
            // or sent a command while a dialog was up.
            ++log.menuMisses;
            o.stoppedAtLine = true;
            start += static_cast<std::size_t>(missed);
            log.outcomes.push_back(std::move(o));
            continue;
        }
        if (o.exitCode != 0 && !(o.exitCode == 2 && endedEarly(o.err)))
            return fail("exit code " + std::to_string(o.exitCode));

        // Memory a command takes is given back before the command returns.
        if (countWith(o.trace, "\"VirtualAlloc\"", "\"ok\":true") !=
            countWith(o.trace, "\"VirtualFree\"", "\"ok\":true"))
            return fail("page allocations and releases do not match");
        const bool reachedEnd = std::filesystem::exists(dir.file("screen.raw"));
        if (reachedEnd) {
            const auto bytes = std::filesystem::file_size(dir.file("screen.raw"));
            if (bytes !=
                static_cast<std::uintmax_t>(s.width) * static_cast<std::uintmax_t>(s.height) * 2)
                return fail("the screen dump holds " + std::to_string(bytes) + " bytes");
        }
        log.outcomes.push_back(std::move(o));
        const Outcome& done = log.outcomes.back();
        if (reachedEnd || endsAtOnce) break;
        // Ended early: go on after the first marker this run did not reach, which leaves out
        // the steps that ended it.
        ++log.earlyExits;
        std::size_t next = script.lines.size();
        const int seen = lastMarker(done.trace);
        for (std::size_t k = 0; k < script.markerLine.size(); ++k) {
            const std::size_t at = static_cast<std::size_t>(script.markerLine[k]) + 1;
            if (at > start && static_cast<int>(k) > seen) {
                next = at;
                break;
            }
        }
        start = next;
    }
    std::cout << "monkey " << s.name() << ": " << log.runs << " run(s) (" << log.menuMisses
              << " stopped at a covered menu or a refused command, " << log.earlyExits
              << " ended before the script), "
              << std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - started)
                     .count()
              << " ms" << std::endl;
    return true;
}

int stepsFor(int normal) {
    const long long envSteps = static_cast<long long>(envNumber("KESTROVA_MONKEY_STEPS", 0));
    return envSteps > 0 ? static_cast<int>(envSteps) : normal;
}

// ---------------------------------------------------------------------------------------------
// Every geometry, layout and format.

struct Geometry {
    int width, height;
};
constexpr Geometry kGeometries[] = {{1, 1},     {120, 120}, {121, 147}, {240, 320},
                                    {320, 240}, {241, 323}, {480, 640}, {1920, 1080}};
const char* const kLayouts[] = {"normal", "padded", "mirrored", "rotated"};
const char* const kFormats[] = {"565", "555"};

std::vector<Config> everySetup() {
    std::vector<Config> all;
    for (const Geometry& g : kGeometries)
        for (const char* layout : kLayouts)
            for (const char* format : kFormats) {
                Config s;
                s.width = g.width;
                s.height = g.height;
                s.layout = layout;
                s.format = format;
                s.steps = stepsFor(4000);
                all.push_back(s);
            }
    return all;
}

class Monkey : public ::testing::TestWithParam<Config> {};

TEST_P(Monkey, NeverCrashesHangsOrFailsToCloseCleanly) {
    const Config& s = GetParam();
    MonkeyLog log;
    if (!runMonkey(s, envNumber("KESTROVA_MONKEY_SEED", kDefaultSeed), log)) return;
    // The last run closed the window the ordinary way: the shutdown steps ran.
    const Outcome& last = log.outcomes.back();
    EXPECT_GE(indexOf(last.trace, "\"window_destroyed\",\"class\":\"KESTROVA\""), 0);
    EXPECT_GE(indexOf(last.trace, "\"GXCloseDisplay\""), 0);
}

INSTANTIATE_TEST_SUITE_P(AllScreens, Monkey, ::testing::ValuesIn(everySetup()),
                         [](const ::testing::TestParamInfo<Config>& info) {
                             return info.param.name();
                         });

// ---------------------------------------------------------------------------------------------
// Every --fail switch, alone and combined, each on a geometry, layout and format of the table.

std::vector<Config> everyFaultSetup() {
    const char* const faults[] = {"display", "framebuffer", "alloc", "bitmap"};
    std::vector<Config> all;
    for (unsigned mask = 1; mask < 16; ++mask) {
        Config s;
        const Geometry& g = kGeometries[mask % std::size(kGeometries)];
        s.width = g.width;
        s.height = g.height;
        s.layout = kLayouts[mask % std::size(kLayouts)];
        s.format = kFormats[(mask / 4) % 2];
        for (unsigned bit = 0; bit < 4; ++bit)
            if (mask & (1u << bit)) s.faults.push_back(faults[bit]);
        s.steps = stepsFor(1200);
        all.push_back(s);
    }
    return all;
}

class MonkeyWithFaults : public ::testing::TestWithParam<Config> {};

TEST_P(MonkeyWithFaults, ReportsWhatStartUpPromisesAndEndsCleanly) {
    const Config& s = GetParam();
    MonkeyLog log;
    if (!runMonkey(s, envNumber("KESTROVA_MONKEY_SEED", kDefaultSeed), log)) return;

    for (const Outcome& o : log.outcomes) {
        if (o.stoppedAtLine)
            continue;  // a line found nothing to act on: that run proves nothing here
        const auto& t = o.trace;
        if (s.has("display")) {
            // The only thing shown is the message box; no window, no frame buffer.
            EXPECT_EQ(countOf(t, "\"event\":\"message_box\""), 1);
            EXPECT_GE(
                indexOf(t, "\"message_box\",\"text\":\"GXOpenDisplay failed\",\"caption\":\"\""),
                0);
            EXPECT_EQ(indexOf(t, "\"class\":\"KESTROVA\""), -1);
            EXPECT_EQ(indexOf(t, "\"GXBeginDraw\""), -1);
            continue;
        }
        const int box = indexOf(
            t,
            "\"message_box\",\"text\":\"Framebuffer couldn't be opened!\",\"caption\":\"Error\"");
        if (s.has("framebuffer")) {
            EXPECT_GE(box, 0) << "no frame-buffer message box";
            EXPECT_GE(indexOf(t, "\"GXBeginDraw\",\"ok\":false"), 0);
        } else {
            EXPECT_EQ(box, -1);
        }
        EXPECT_EQ(countOf(t, "\"message_box\",\"text\":\"GXOpenDisplay failed\""), 0);
        if (s.has("bitmap")) {
            EXPECT_GE(indexOf(t, "\"LoadBitmapW\",\"name\":\"PARROT\",\"ok\":false"), 0);
        }
        if (s.has("alloc")) {
            EXPECT_EQ(countWith(t, "\"VirtualAlloc\"", "\"ok\":true"), 0);
        }
        // Start-up went on: the window exists and the shutdown steps ran in order.
        const int created = indexOf(t, "\"window_created\",\"class\":\"KESTROVA\"");
        const int closed = indexOf(t, "\"GXCloseDisplay\"");
        EXPECT_GE(created, 0);
        EXPECT_GT(closed, created);
        EXPECT_GT(indexOf(t, "\"DeleteObject\"", closed), closed);
    }
    if (!s.has("display")) {
        // It kept working: commands went on being dispatched after start-up's reports, and
        // BitBlt met the failing allocation and carried on.
        int commands = 0, allocations = 0;
        for (const Outcome& o : log.outcomes) {
            commands += countOf(o.trace, "\"event\":\"command\"");
            allocations += countOf(o.trace, "\"event\":\"VirtualAlloc\"");
        }
        EXPECT_GT(commands, s.steps / kMarkerEvery / 2);
        if (s.has("alloc") && !s.has("bitmap")) {
            EXPECT_GT(allocations, 0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryCombination, MonkeyWithFaults, ::testing::ValuesIn(everyFaultSetup()),
                         [](const ::testing::TestParamInfo<Config>& info) {
                             return info.param.name();
                         });

// ---------------------------------------------------------------------------------------------
// Short scripts under every combination of --fail switches, none of them ending with a close:
// whatever the program is in the middle of when its input ends (a menu open, About over the
// error box, a refused command, a file half done), the run must end, in time, with exit code
// 0 or one line and exit code 2, and leave each file whole or absent.

// One step of a short script: what most often leaves the program in a state of its own.
void addShortStep(Random& r, const Config& s, const std::string& folder, int n,
                  std::vector<std::string>& lines) {
    const int kind = r.below(100);
    if (kind < 20) {
        lines.push_back("command " + std::to_string(CMD_ABOUT));
    } else if (kind < 32) {
        lines.push_back("command " + std::to_string(r.between(CMD_ABOUT, CMD_CLEAR)));
    } else if (kind < 47) {
        lines.push_back(std::string("key ") + kKeys[r.below(std::size(kKeys))]);
    } else if (kind < 62) {
        const char* const items[] = {"BitBlt", "Lines", "Circles", "Clear Screen", "About", "Exit"};
        lines.push_back(std::string("menu Tools/") + items[r.below(std::size(items))]);
    } else if (kind < 82) {
        lines.push_back("tap " + point(r, s, r.percent(50)));
    } else if (kind < 87) {
        lines.push_back("close");
    } else if (kind < 92) {
        lines.push_back("screenshot " + folder + "/shot-" + std::to_string(n) + ".png");
    } else if (kind < 97) {
        lines.push_back("dump " + folder + "/dump-" + std::to_string(n) + ".raw");
    } else {
        lines.push_back("idle " + std::to_string(r.below(20)));
    }
}

std::string faultNames(const Config& s) {
    std::string names;
    for (const std::string& f : s.faults) names += (names.empty() ? "fail_" : "_fail_") + f;
    return names.empty() ? "no_faults" : names;
}

class MonkeyShortScripts : public ::testing::TestWithParam<Config> {};

TEST_P(MonkeyShortScripts, EveryRunEndsInTimeWithAnAnswer) {
    const std::uint64_t baseSeed = envNumber("KESTROVA_MONKEY_SEED", kDefaultSeed);
    const Config& fails = GetParam();
    Random r(hashName(baseSeed, "short_" + fails.name()));
    const int runs = static_cast<int>(envNumber("KESTROVA_MONKEY_SHORT_RUNS", 12));
    const auto limit = std::chrono::seconds(envNumber("KESTROVA_MONKEY_SECONDS", 20));
    std::cout << "short scripts with " << faultNames(fails) << ": seed " << baseSeed << ", " << runs
              << " runs" << std::endl;
    for (int run = 0; run < runs; ++run) {
        Config s = fails;
        const Geometry& g = kGeometries[r.below(6)];  // up to 241x323: many short runs
        s.width = g.width;
        s.height = g.height;
        s.layout = kLayouts[r.below(std::size(kLayouts))];
        s.format = kFormats[r.below(std::size(kFormats))];
        TempDir dir;
        const std::string out = dir.file("out");
        std::filesystem::create_directories(out);
        std::vector<std::string> lines;
        for (int n = r.below(12); n > 0; --n) addShortStep(r, s, out, n, lines);
        std::ostringstream text;
        for (const std::string& l : lines) text << l << "\n";
        writeFile(dir.file("script"), text.str());

        std::vector<std::string> args = s.args();
        args.insert(args.end(), {"--headless", "--script", dir.file("script")});
        const Outcome o = runWithDeadline(args, dir, limit);
        std::string problem;
        if (o.timedOut)
            problem = "hung (no exit within " + std::to_string(limit.count()) + " s)";
        else if (!sanitizerReport(o.err).empty())
            problem = "sanitizer report";
        else if (o.exitCode != 0 && o.exitCode != 2)
            problem = "exit code " + std::to_string(o.exitCode);
        else if (o.exitCode == 2 &&
                 (o.err.rfind("script:", 0) != 0 || o.err.find('\n') != o.err.size() - 1))
            problem = "not one script line on stderr";
        else if (o.exitCode == 0 && !o.err.empty())
            problem = "stderr on success";
        for (const auto& e : std::filesystem::directory_iterator(out)) {
            const std::string name = e.path().filename().string();
            bool whole = false;
            if (name.rfind("dump-", 0) == 0) {
                whole = std::filesystem::file_size(e.path()) ==
                        static_cast<std::uintmax_t>(s.width) *
                            static_cast<std::uintmax_t>(s.height) * 2;
            } else if (name.rfind("shot-", 0) == 0) {
                const std::optional<RgbImage> png = readPng(e.path().string());
                whole = png && png->width == s.width && png->height == s.height;
            }
            if (!whole) problem = "a file not whole: " + name;
        }
        if (!problem.empty()) {
            const std::string kept = keepScript("short-" + s.name(), baseSeed, lines);
            std::string command;
            for (const std::string& w : programCommand())
                command += (command.empty() ? "" : " ") + w;
            for (const std::string& a : s.args()) command += " " + a;
            FAIL() << "short script " << run << " on " << s.name() << ": " << problem
                   << "\n  seed: " << baseSeed << "\n  run it again:\n  " << command
                   << " --headless --script " << kept << "\n  stderr:\n"
                   << o.err.substr(0, 4000);
        }
    }
}

// Each run picks its own screen; the setup is only the faults.
std::vector<Config> everyFaultCombination() {
    std::vector<Config> all{Config{}};
    for (const Config& s : everyFaultSetup()) {
        Config faults;
        faults.faults = s.faults;
        all.push_back(faults);
    }
    return all;
}

INSTANTIATE_TEST_SUITE_P(EveryCombination, MonkeyShortScripts,
                         ::testing::ValuesIn(everyFaultCombination()),
                         [](const ::testing::TestParamInfo<Config>& info) {
                             return faultNames(info.param);
                         });

}  // namespace
