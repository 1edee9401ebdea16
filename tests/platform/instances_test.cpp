#include "instances/instances.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using kdev::Instances;
using kdev::RemoteWindow;
using Published = Instances::Published;

// Only reached when something is wrong; a passing test never waits this long.
constexpr int kTimeoutMs = 5000;

// A private folder for one test, removed with its contents afterwards.
class TempFolder {
public:
    TempFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern =
            std::string(base && *base ? base : "/tmp") + "/kestrova-instances-XXXXXX";
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& entry : fs::directory_iterator(path_))
            out.push_back(entry.path().filename());
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    std::string path_;
};

std::string registration(int pid, const char* suffix) { return std::to_string(pid) + suffix; }

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string listFile(const std::string& lines) { return "kestrova-windows 1\n" + lines; }

// The address of `name` in the folder open as `dir`, through the descriptor so that the
// folder's path may be of any length.
sockaddr_un socketAddress(int dir, const std::string& name) {
    const std::string path = "/proc/self/fd/" + std::to_string(dir) + "/" + name;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return address;
}

// Leaves a socket file behind with nobody listening on it, as a killed process does.
void plantDeadSocket(const std::string& folder, const std::string& name) {
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dir, 0);
    const sockaddr_un address = socketAddress(dir, name);
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ::close(dir);
}

// Messages between the test and a child process: 32-bit values over a pair of pipes.
struct Link {
    int in = -1;
    int out = -1;

    void send(std::uint32_t value) const {
        if (::write(out, &value, sizeof value) != sizeof value) std::perror("link write");
    }
    std::optional<std::uint32_t> receive(int timeoutMs = kTimeoutMs) const {
        pollfd readable{in, POLLIN, 0};
        if (::poll(&readable, 1, timeoutMs) <= 0) return std::nullopt;
        std::uint32_t value = 0;
        if (::read(in, &value, sizeof value) != sizeof value) return std::nullopt;
        return value;
    }
};

// A forked process running `body`; its result is the exit code. Killed if still running
// when the test ends.
class Child {
public:
    explicit Child(const std::function<int(Link&)>& body) {
        int down[2];
        int up[2];
        if (::pipe2(down, O_CLOEXEC) != 0 || ::pipe2(up, O_CLOEXEC) != 0) {
            throw std::runtime_error("pipe failed");
        }
        pid_ = ::fork();
        if (pid_ < 0) throw std::runtime_error("fork failed");
        if (pid_ == 0) {
            ::close(down[1]);
            ::close(up[0]);
            Link link{down[0], up[1]};
            int code = 1;
            try {
                code = body(link);
            } catch (...) {}
            ::_exit(code);
        }
        ::close(down[0]);
        ::close(up[1]);
        link_ = Link{up[0], down[1]};
    }
    ~Child() {
        if (!reaped_) kill();
        ::close(link_.in);
        ::close(link_.out);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    int pid() const { return pid_; }
    const Link& link() const { return link_; }

    // The exit code, or minus the signal that ended it.
    int wait() {
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_) return -1000;
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    }
    void kill() {
        ::kill(pid_, SIGKILL);
        wait();
    }

private:
    int pid_ = -1;
    bool reaped_ = false;
    Link link_;
};

// What a serving child tells the test.
constexpr std::uint32_t kReady = 0xA0000001;
constexpr std::uint32_t kRequest = 0xA0000002;  // followed by the handle it was asked to raise
constexpr std::uint32_t kDone = 0xA0000003;     // its last word, after kQuit
// What the test tells it: kQuit, or n to publish lists[n] (answered with kReady).
constexpr std::uint32_t kQuit = 0xA0000010;

// The child side: publishes lists[0], then reports every foreground request it receives
// until told to quit, as a Kestrova process waiting on its wake descriptor would.
int serve(const std::string& folder, const std::vector<std::vector<Published>>& lists,
          const Link& link, const std::string& device = {}) {
    Instances instances(folder, device);
    instances.publish(lists.at(0));
    if (instances.wakeDescriptor() < 0) return 10;
    // A process never finds its own windows.
    for (const Published& w : lists[0]) {
        if (instances.find(w.className, w.title)) return 11;
    }
    link.send(kReady);
    for (;;) {
        pollfd fds[2] = {{instances.wakeDescriptor(), POLLIN, 0}, {link.in, POLLIN, 0}};
        if (::poll(fds, 2, kTimeoutMs) <= 0) return 12;
        if (fds[0].revents & POLLIN) {
            for (std::uint32_t handle : instances.takeRequests()) {
                link.send(kRequest);
                link.send(handle);
            }
        }
        if (fds[1].revents) {
            const auto command = link.receive(0);
            if (!command || *command == kQuit) {
                link.send(kDone);
                return 0;
            }
            if (*command >= lists.size()) return 13;
            instances.publish(lists[*command]);
            link.send(kReady);
        }
    }
}

// Tells a serving child to quit; what it reported on the way, which must end cleanly.
std::vector<std::uint32_t> finish(Child& child) {
    child.link().send(kQuit);
    std::vector<std::uint32_t> said;
    for (auto value = child.link().receive(); value && *value != kDone;
         value = child.link().receive()) {
        said.push_back(*value);
    }
    EXPECT_EQ(child.wait(), 0);
    return said;
}

const Published kMain{0x10000, u"KESTROVA", u"Kestrova"};

TEST(InstancesTest, FindsWindowsOfAnotherProcessByExactClassAndTitle) {
    TempFolder folder;
    const std::u16string lone = std::u16string(u"lone ") + char16_t(0xD800) + u" surrogate";
    const std::vector<Published> windows = {
        kMain,
        {0x10010, u"KESTROVA", u"Kestrova 2"},
        {0x10020, u"tab\there", u"new\nline \\x41 back\\slash\r"},
        {0x10030, u"Dialog", u"Ümlaut, 鸚鵡 and 🦜"},
        {0x10040, u"Dialog", lone},
    };
    Child child([&](Link& link) { return serve(folder.path(), {windows}, link); });
    ASSERT_EQ(child.link().receive(), kReady);

    Instances finder(folder.path());
    struct Case {
        std::u16string className;
        std::u16string title;
        std::optional<std::uint32_t> handle;
    };
    const Case cases[] = {
        {u"KESTROVA", u"Kestrova", 0x10000},
        {u"KESTROVA", u"Kestrova 2", 0x10010},
        {windows[2].className, windows[2].title, 0x10020},
        {windows[3].className, windows[3].title, 0x10030},
        {windows[4].className, windows[4].title, 0x10040},
        {u"KESTROVA", u"kestrova", std::nullopt},
        {u"kestrova", u"Kestrova", std::nullopt},
        {u"KESTROVA", u"Kestrova ", std::nullopt},
        {u"KESTROVA", u"Kestro", std::nullopt},
        {u"Kestrova", u"KESTROVA", std::nullopt},
        {u"", u"", std::nullopt},
        // The escaped spelling in the list is not the name.
        {u"tab\\x09here", windows[2].title, std::nullopt},
        // A lone surrogate is not the replacement character.
        {u"Dialog", u"lone \uFFFD surrogate", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.title.begin(), c.title.end()));
        const auto found = finder.find(c.className, c.title);
        ASSERT_EQ(found.has_value(), c.handle.has_value());
        if (found) {
            EXPECT_EQ(found->pid, child.pid());
            EXPECT_EQ(found->handle, *c.handle);
        }
    }
    EXPECT_TRUE(finish(child).empty());
}

TEST(InstancesTest, ForegroundRequestsReachTheOwnerAndEndWithIt) {
    TempFolder folder;
    Child child([&](Link& link) { return serve(folder.path(), {{kMain}}, link); });
    ASSERT_EQ(child.link().receive(), kReady);

    Instances finder(folder.path());
    const auto window = finder.find(kMain.className, kMain.title);
    ASSERT_TRUE(window);
    EXPECT_FALSE(finder.handover());
    EXPECT_TRUE(finder.requestForeground(*window, window->handle | 1));
    EXPECT_TRUE(finder.requestForeground(*window, window->handle));
    EXPECT_EQ(finish(child), (std::vector<std::uint32_t>{kRequest, 0x10001, kRequest, 0x10000}));
    ASSERT_TRUE(finder.handover());
    EXPECT_EQ(finder.handover()->title, "Kestrova");
    EXPECT_TRUE(finder.handover()->reached);

    // A process that ended normally leaves nothing behind and is no longer reachable.
    EXPECT_TRUE(folder.names().empty());
    EXPECT_FALSE(finder.find(kMain.className, kMain.title));
    EXPECT_FALSE(finder.requestForeground(*window, window->handle));
    EXPECT_FALSE(finder.handover()->reached);
}

// A stopped owner still takes the datagram into its queue, but only a running one confirms:
// the request is not counted as reached. A stop asked of the asker ends its wait at once.
TEST(InstancesTest, AStoppedOwnerDoesNotConfirmAndAStopEndsTheWait) {
    TempFolder folder;
    Child child([&](Link& link) { return serve(folder.path(), {{kMain}}, link); });
    ASSERT_EQ(child.link().receive(), kReady);
    Instances finder(folder.path());
    const auto window = finder.find(kMain.className, kMain.title);
    ASSERT_TRUE(window);

    ::kill(child.pid(), SIGSTOP);
    finder.setAnswerBound(100);
    EXPECT_FALSE(finder.requestForeground(*window, window->handle));
    ASSERT_TRUE(finder.handover());
    EXPECT_FALSE(finder.handover()->reached);

    // With a bound far longer than the test, only the stop can end the wait.
    int stop[2];
    ASSERT_EQ(::pipe2(stop, O_CLOEXEC), 0);
    ASSERT_EQ(::write(stop[1], "x", 1), 1);
    finder.setAnswerBound(60 * 60 * 1000);
    finder.setInterruptDescriptor(stop[0]);
    EXPECT_FALSE(finder.requestForeground(*window, window->handle));
    ::kill(child.pid(), SIGCONT);
    // Running again, it takes both requests (unanswered by now) and goes on serving.
    EXPECT_EQ(finish(child), (std::vector<std::uint32_t>{kRequest, 0x10000, kRequest, 0x10000}));
    ::close(stop[0]);
    ::close(stop[1]);
}

TEST(InstancesTest, KilledOwnerIsNeitherFoundNorReachableAndItsFilesGo) {
    TempFolder folder;
    Child child([&](Link& link) { return serve(folder.path(), {{kMain}}, link); });
    ASSERT_EQ(child.link().receive(), kReady);
    child.kill();

    Instances finder(folder.path());
    // Its socket file is still there, but nobody answers on it.
    EXPECT_FALSE(finder.requestForeground(RemoteWindow{child.pid(), kMain.handle}, kMain.handle));
    EXPECT_FALSE(finder.find(kMain.className, kMain.title));
    EXPECT_TRUE(folder.names().empty());
}

TEST(InstancesTest, LeftoversOfDeadProcessesAreRemovedEvenWhenTheirPidIsInUse) {
    TempFolder folder;
    const std::string list = listFile("65536\tKESTROVA\tKestrova\n");
    // pid 1 always runs but is not ours: its files are a dead process's, with an unlocked lock.
    writeFile(folder.file("1.windows"), list);
    writeFile(folder.file("1.lock"), "");
    plantDeadSocket(folder.path(), "1.sock");
    // A list with no lock at all, a lock and socket with no list, a half-written list.
    writeFile(folder.file("2.windows"), list);
    writeFile(folder.file("3.lock"), "");
    plantDeadSocket(folder.path(), "3.sock");
    writeFile(folder.file("4.windows.tmp"), list);
    // Not registrations: left alone.
    const std::vector<std::string> unrelated = {"007.windows", "1.windows.bak", "abc.windows",
                                                "notes.txt"};
    for (const std::string& name : unrelated) writeFile(folder.file(name), list);

    Instances finder(folder.path());
    EXPECT_FALSE(finder.requestForeground(RemoteWindow{1, 65536}, 65536));
    EXPECT_FALSE(finder.find(u"KESTROVA", u"Kestrova"));
    EXPECT_EQ(folder.names(), unrelated);
}

TEST(InstancesTest, NewProcessTakesOverTheLeftoversOfItsPid) {
    TempFolder folder;
    Child child([&](Link& link) {
        const int self = ::getpid();
        writeFile(folder.file(registration(self, ".windows")), listFile("65536\tGHOST\tGhost\n"));
        writeFile(folder.file(registration(self, ".windows.tmp")), "junk");
        writeFile(folder.file(registration(self, ".lock")), "");
        plantDeadSocket(folder.path(), registration(self, ".sock"));
        return serve(folder.path(), {{kMain}}, link);
    });
    ASSERT_EQ(child.link().receive(), kReady);

    Instances finder(folder.path());
    EXPECT_FALSE(finder.find(u"GHOST", u"Ghost"));
    const auto window = finder.find(kMain.className, kMain.title);
    ASSERT_TRUE(window);
    EXPECT_TRUE(finder.requestForeground(*window, window->handle | 1));
    EXPECT_EQ(finish(child), (std::vector<std::uint32_t>{kRequest, 0x10001}));
    EXPECT_TRUE(folder.names().empty());
}

TEST(InstancesTest, PublishingReplacesTheListAndAnEmptyListKeepsTheProcessReachable) {
    TempFolder folder;
    const Published other{0x10020, u"KESTROVA", u"Other"};
    Child child([&](Link& link) { return serve(folder.path(), {{kMain}, {other}, {}}, link); });
    ASSERT_EQ(child.link().receive(), kReady);
    const int pid = child.pid();

    Instances finder(folder.path());
    EXPECT_TRUE(finder.find(kMain.className, kMain.title));

    child.link().send(1);
    ASSERT_EQ(child.link().receive(), kReady);
    EXPECT_FALSE(finder.find(kMain.className, kMain.title));
    const auto found = finder.find(other.className, other.title);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->handle, other.handle);

    child.link().send(2);
    ASSERT_EQ(child.link().receive(), kReady);
    EXPECT_FALSE(finder.find(other.className, other.title));
    EXPECT_EQ(folder.names(),
              (std::vector<std::string>{registration(pid, ".lock"), registration(pid, ".sock")}));
    EXPECT_TRUE(finder.requestForeground(RemoteWindow{pid, other.handle}, other.handle));
    EXPECT_EQ(finish(child), (std::vector<std::uint32_t>{kRequest, other.handle}));
    EXPECT_TRUE(folder.names().empty());
}

TEST(InstancesTest, MalformedListsAreIgnoredLineByLine) {
    TempFolder folder;
    Child child([&](Link& link) { return serve(folder.path(), {{kMain}}, link); });
    ASSERT_EQ(child.link().receive(), kReady);
    const std::string listPath = folder.file(registration(child.pid(), ".windows"));
    Instances finder(folder.path());

    // Lines a careless reader might accept, with the title it would then find (class BAD).
    struct Bad {
        std::string line;
        std::u16string title;
    };
    const Bad bad[] = {
        {"x\tBAD\tletters", u"letters"},
        {"0\tBAD\tzero", u"zero"},
        {"4294967296\tBAD\toverflow", u"overflow"},
        {"-12\tBAD\tnegative", u"negative"},
        {"+12\tBAD\tplus", u"plus"},
        {" 12\tBAD\tspace", u"space"},
        {"12\tBAD", u""},
        {"12\tBAD\textra\tfield", u"extra"},
        {"12\tBAD\tbad \\q escape", u"bad q escape"},
        {"12\tBAD\tbad \\q escape", u"bad \\q escape"},
        {"12\tBAD\tshort \\x4", u"short \\x4"},
        {"12\tBAD\traw\rreturn", u"raw\rreturn"},
        {std::string("12\tBAD\tnul\0byte", 15), std::u16string(u"nul\0byte", 8)},
    };
    std::string lines;
    for (const Bad& b : bad) lines += b.line + "\n";
    lines += "131072\tGOOD\tfound \\\\ \\x09 it\n";
    lines += "262144\tGOOD\tunterminated";
    writeFile(listPath, listFile(lines));

    for (const Bad& b : bad) {
        SCOPED_TRACE(b.line);
        EXPECT_FALSE(finder.find(u"BAD", b.title));
    }
    const auto good = finder.find(u"GOOD", u"found \\ \t it");
    ASSERT_TRUE(good);
    EXPECT_EQ(good->handle, 131072u);
    EXPECT_FALSE(finder.find(u"GOOD", u"unterminated"));

    // Whole files that are not lists.
    writeFile(listPath, "131072\tGOOD\tno header\n");
    EXPECT_FALSE(finder.find(u"GOOD", u"no header"));
    fs::remove(listPath);
    ASSERT_EQ(::mkfifo(listPath.c_str(), 0600), 0);
    EXPECT_FALSE(finder.find(u"GOOD", u"fifo"));  // must not wait for a writer
    fs::remove(listPath);
    fs::create_directory(listPath);
    EXPECT_FALSE(finder.find(u"GOOD", u"directory"));
    fs::remove(listPath);

    // An oversized list is read only so far, without harm.
    writeFile(listPath, listFile("131072\tGOOD\thuge\n" + std::string(4 << 20, 'z')));
    const auto huge = finder.find(u"GOOD", u"huge");
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->handle, 131072u);

    EXPECT_TRUE(finish(child).empty());
}

// Sends raw bytes to a process's request socket, as a confused or hostile client might.
void sendDatagram(const std::string& folder, int pid, const std::string& bytes,
                  int type = SOCK_DGRAM, bool* connected = nullptr) {
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(dir, 0);
    const sockaddr_un address = socketAddress(dir, registration(pid, ".sock"));
    const int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (connected) *connected = ok;
    if (ok) {
        EXPECT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    ::close(fd);
    ::close(dir);
}

TEST(InstancesTest, MalformedRequestsAreDroppedAndTheOwnerKeepsServing) {
    TempFolder folder;
    Child child([&](Link& link) { return serve(folder.path(), {{kMain}}, link); });
    ASSERT_EQ(child.link().receive(), kReady);

    for (const std::string& junk :
         {std::string(), std::string("\x51\x46\x52\x4b"), std::string(8, '\0'),
          std::string(12, '\xFF'), std::string(4096, 'r')}) {
        sendDatagram(folder.path(), child.pid(), junk);
    }
    // A stream client cannot even connect, so it cannot leave the owner waiting.
    bool connected = true;
    sendDatagram(folder.path(), child.pid(), "", SOCK_STREAM, &connected);
    EXPECT_FALSE(connected);

    Instances finder(folder.path());
    EXPECT_TRUE(
        finder.requestForeground(RemoteWindow{child.pid(), kMain.handle}, kMain.handle | 1));
    EXPECT_EQ(finish(child), (std::vector<std::uint32_t>{kRequest, kMain.handle | 1}));
}

TEST(InstancesTest, WorksInAFolderWhosePathIsTooLongForASocketAddress) {
    TempFolder base;
    std::string deep = base.path();
    for (int i = 0; i < 4; ++i) {
        deep += "/" + std::string(40, char('a' + i));
        ASSERT_TRUE(fs::create_directory(deep));
    }
    ASSERT_GT(deep.size(), sizeof(sockaddr_un::sun_path));
    Child child([&](Link& link) { return serve(deep, {{kMain}}, link); });
    ASSERT_EQ(child.link().receive(), kReady);

    Instances finder(deep);
    const auto window = finder.find(kMain.className, kMain.title);
    ASSERT_TRUE(window);
    EXPECT_TRUE(finder.requestForeground(*window, window->handle));
    EXPECT_EQ(finish(child), (std::vector<std::uint32_t>{kRequest, kMain.handle}));
}

// Nothing written anywhere under `root` by us.
bool holdsNoRegistration(const std::string& root) {
    const std::string pid = std::to_string(::getpid());
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().filename().string().starts_with(pid + ".")) return false;
    }
    return true;
}

// Lines an Instances reports, for a test to look at.
struct Reports {
    std::vector<std::string> lines;
    Instances::Reporter reporter() {
        return [this](const std::string& line) { lines.push_back(line); };
    }
};

TEST(InstancesTest, UnsafeFoldersAreRefusedWithOneLineAndTheProcessRunsAlone) {
    struct Case {
        const char* what;
        const char* reason;
        std::function<std::string(const TempFolder&)> make;
    };
    std::vector<Case> cases = {
        {"writable by others", "others may write to it",
         [](const TempFolder& t) {
             fs::create_directory(t.file("open"));
             fs::permissions(t.file("open"), fs::perms::all);
             return t.file("open");
         }},
        {"writable by the group", "others may write to it",
         [](const TempFolder& t) {
             fs::create_directory(t.file("group"));
             fs::permissions(t.file("group"), fs::perms::owner_all | fs::perms::group_all);
             return t.file("group");
         }},
        {"a symbolic link", "not a folder",
         [](const TempFolder& t) {
             fs::create_directory(t.file("real"));
             fs::create_directory_symlink(t.file("real"), t.file("link"));
             return t.file("link");
         }},
        {"a regular file", "not a folder",
         [](const TempFolder& t) {
             writeFile(t.file("file"), "");
             return t.file("file");
         }},
        {"under a missing folder", "No such file or directory",
         [](const TempFolder& t) { return t.file("missing/folder"); }},
    };
    // Only root can give a folder away.
    if (::geteuid() == 0) {
        cases.push_back(
            {"owned by another user", "it belongs to another user", [](const TempFolder& t) {
                 fs::create_directory(t.file("theirs"));
                 fs::permissions(t.file("theirs"), fs::perms::owner_all);
                 if (::chown(t.file("theirs").c_str(), 65534, 65534) != 0)
                     ADD_FAILURE() << "chown failed";
                 return t.file("theirs");
             }});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempFolder base;
        const std::string folder = c.make(base);
        Reports reports;
        {
            Instances instances(folder, {}, reports.reporter());
            instances.publish({kMain});
            EXPECT_EQ(instances.wakeDescriptor(), -1);
            EXPECT_TRUE(instances.takeRequests().empty());
            EXPECT_FALSE(instances.find(kMain.className, kMain.title));
            EXPECT_FALSE(instances.requestForeground(RemoteWindow{1, 2}, 2));
        }
        EXPECT_TRUE(holdsNoRegistration(base.path()));
        ASSERT_EQ(reports.lines.size(), 1u);
        EXPECT_NE(reports.lines[0].find("running alone"), std::string::npos) << reports.lines[0];
        EXPECT_NE(reports.lines[0].find(folder), std::string::npos) << reports.lines[0];
        EXPECT_NE(reports.lines[0].find(c.reason), std::string::npos) << reports.lines[0];
        EXPECT_EQ(reports.lines[0].find('\n'), std::string::npos);
        // A device's own folder inside an unsafe one is refused as well.
        if (fs::is_directory(folder) && !fs::is_symlink(folder)) {
            Reports inner;
            Instances instances(folder, "device", inner.reporter());
            instances.publish({kMain});
            EXPECT_EQ(instances.wakeDescriptor(), -1);
            EXPECT_EQ(inner.lines.size(), 1u);
        }
    }
}

TEST(InstancesTest, OutOfDescriptorsTheProcessSaysSoOnceAndRunsAlone) {
    TempFolder folder;
    Child child([&](Link&) {
        Reports reports;
        Instances instances(folder.path(), {}, reports.reporter());
        // A small limit, then every descriptor under it taken.
        const int lowest = ::dup(0);
        if (lowest < 0) return 20;
        ::close(lowest);
        rlimit limit{};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        limit.rlim_cur = static_cast<rlim_t>(lowest) + 16;
        if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) return 20;
        while (::open("/dev/null", O_RDONLY | O_CLOEXEC) >= 0) {}
        instances.publish({kMain});
        if (instances.find(kMain.className, kMain.title)) return 21;
        instances.publish({kMain});
        if (instances.wakeDescriptor() != -1) return 22;
        if (reports.lines.size() != 1) return 23;
        if (reports.lines[0].find("Too many open files") == std::string::npos) return 24;
        return 0;
    });
    EXPECT_EQ(child.wait(), 0);
    EXPECT_TRUE(folder.names().empty());
}

TEST(InstancesTest, ProcessesMeetOnlyOnTheSameDevice) {
    TempFolder folder;
    Child child([&](Link& link) { return serve(folder.path(), {{kMain}}, link, "x11-:5.0"); });
    ASSERT_EQ(child.link().receive(), kReady);

    for (const std::string& other : {std::string(), std::string("x11-:6.0"),
                                     std::string("x11-:5.0-other"), std::string("X11-:5.0")}) {
        Instances elsewhere(folder.path(), other);
        EXPECT_FALSE(elsewhere.find(kMain.className, kMain.title)) << other;
    }
    Instances same(folder.path(), "x11-:5.0");
    const auto window = same.find(kMain.className, kMain.title);
    ASSERT_TRUE(window);
    EXPECT_EQ(window->pid, child.pid());
    EXPECT_TRUE(same.requestForeground(*window, window->handle | 1));
    EXPECT_EQ(finish(child), (std::vector<std::uint32_t>{kRequest, kMain.handle | 1}));
}

TEST(InstancesTest, DeviceNamesOfAnyBytesAndLengthGetAFolderOfTheirOwn) {
    TempFolder folder;
    const std::vector<std::string> names = {"..",
                                            ".",
                                            "a/b",
                                            "a%2Fb",
                                            std::string("nul\0byte", 8),
                                            "x11-/tmp/.X11-unix/X0",
                                            std::string(300, 'n'),
                                            std::string(299, 'n') + "m",
                                            "\xff\xfe"};
    for (const std::string& name : names) {
        Instances instances(folder.path(), name);
        instances.publish({kMain});
        EXPECT_GE(instances.wakeDescriptor(), 0) << name;
    }
    // One folder each, all directly inside the registry folder.
    EXPECT_EQ(folder.names().size(), names.size());
    for (const std::string& entry : folder.names()) {
        EXPECT_TRUE(fs::is_directory(folder.file(entry))) << entry;
        EXPECT_LE(entry.size(), 255u);
    }
}

// Starts that race: every child waits at the barrier, then looks for a running one and, when
// it finds none, takes a moment (as the program does, registering its class and creating its
// window) before it publishes its own. Exactly one of them may become the running one.
TEST(InstancesTest, OfStartsAtOnceExactlyOneBecomesTheRunningOne) {
    constexpr std::uint32_t kFound = 0xA0000020;
    constexpr std::uint32_t kBecame = 0xA0000021;
    for (int starts = 2; starts <= 8; ++starts) {
        for (int round = 0; round < 6; ++round) {
            SCOPED_TRACE(std::to_string(starts) + " starts, round " + std::to_string(round));
            TempFolder folder;
            int barrier[2];
            ASSERT_EQ(::pipe2(barrier, O_CLOEXEC), 0);
            std::vector<std::unique_ptr<Child>> children;
            for (int i = 0; i < starts; ++i) {
                children.push_back(std::make_unique<Child>([&](Link& link) {
                    ::close(barrier[1]);
                    char c;
                    if (::read(barrier[0], &c, 1) != 0) return 30;
                    Instances instances(folder.path(), "race");
                    if (instances.find(kMain.className, kMain.title)) {
                        link.send(kFound);
                        return 0;
                    }
                    ::poll(nullptr, 0, 3);
                    instances.publish({kMain});
                    link.send(kBecame);
                    return link.receive() == kQuit ? 0 : 31;
                }));
            }
            ::close(barrier[0]);
            ::close(barrier[1]);
            // The one that became the running one stays until every other has looked.
            int found = 0;
            std::vector<Child*> became;
            for (auto& child : children) {
                const auto said = child->link().receive();
                found += said == kFound;
                if (said == kBecame) became.push_back(child.get());
            }
            EXPECT_EQ(became.size(), 1u);
            EXPECT_EQ(found, starts - 1);
            for (Child* child : became) child->link().send(kQuit);
            for (auto& child : children) EXPECT_EQ(child->wait(), 0);
            EXPECT_TRUE(fs::is_empty(folder.file("race")));
        }
    }
}

TEST(InstancesTest, AStartKilledWhileDecidingHoldsNobodyUp) {
    TempFolder folder;
    Child child([&](Link& link) {
        Instances instances(folder.path(), "killed");
        if (instances.find(kMain.className, kMain.title)) return 40;
        link.send(kReady);  // holding the start lock, not yet published
        ::pause();
        return 0;
    });
    ASSERT_EQ(child.link().receive(), kReady);
    child.kill();

    Reports reports;
    Instances next(folder.path(), "killed", reports.reporter());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(next.find(kMain.className, kMain.title));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    next.publish({kMain});
    EXPECT_GE(next.wakeDescriptor(), 0);
    EXPECT_TRUE(reports.lines.empty());
}

TEST(InstancesTest, MissingFolderIsCreatedPrivate) {
    TempFolder base;
    const std::string folder = base.file("new");
    {
        Instances instances(folder);
        instances.publish({kMain});
        EXPECT_GE(instances.wakeDescriptor(), 0);
        EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
        EXPECT_TRUE(fs::exists(folder + "/" + registration(::getpid(), ".windows")));
    }
    EXPECT_TRUE(fs::is_empty(folder));
}

TEST(InstancesTest, DefaultFolderIsUnderTheRuntimeDirectory) {
    TempFolder runtime;
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    const std::optional<std::string> previous =
        saved ? std::optional<std::string>(saved) : std::nullopt;
    ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
    {
        Instances instances;
        instances.publish({kMain});
        EXPECT_GE(instances.wakeDescriptor(), 0);
        EXPECT_TRUE(fs::exists(runtime.file("kestrova/" + registration(::getpid(), ".sock"))));
    }
    if (previous) {
        ::setenv("XDG_RUNTIME_DIR", previous->c_str(), 1);
    } else {
        ::unsetenv("XDG_RUNTIME_DIR");
    }
    EXPECT_TRUE(fs::is_empty(runtime.file("kestrova")));
}

TEST(InstancesTest, SecondPublisherInOneProcessBacksOffWithoutHarmingTheFirst) {
    TempFolder folder;
    const std::string list = folder.file(registration(::getpid(), ".windows"));
    Instances first(folder.path());
    first.publish({kMain});
    ASSERT_GE(first.wakeDescriptor(), 0);
    {
        Instances second(folder.path());
        second.publish({{0x20000, u"SECOND", u"Second"}});
        EXPECT_EQ(second.wakeDescriptor(), -1);
    }
    std::ifstream in(list);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("KESTROVA"), std::string::npos);
    EXPECT_EQ(text.find("SECOND"), std::string::npos);
    EXPECT_EQ(folder.names().size(), 3u);  // lock, socket, list
}

}  // namespace
