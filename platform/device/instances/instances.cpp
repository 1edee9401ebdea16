#include "instances/instances.h"

#include "core/output_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <utility>

// The folder holds, for each publishing process, files named after its pid:
//   <pid>.lock         held locked by the owner for its whole life (see the byte ranges below)
//   <pid>.sock         a datagram socket on which the owner takes foreground requests
//   <pid>.windows      the owner's top-level windows, replaced as a whole by rename
//   <pid>.windows.tmp  the next list while it is being written
// Liveness comes only from the lock, never from the pid, so neither a crash (locks die with
// the process) nor a reused pid makes leftovers look alive.
//
// Each device has a folder of its own, and the folder itself is the device's start lock (flock
// on its descriptor): a starting process takes it before it looks for others and keeps it until
// it has published, so two starts cannot both find nothing. It, too, dies with its process.

namespace kdev {

namespace {

// Two byte ranges of a lock file, locked with open-file-description locks. The owner holds
// both for its life. Whoever takes over or removes a pid's files holds kNameByte while doing
// so; the owner takes kAliveByte only after it has cleared its predecessor's leftovers. So a
// locked kAliveByte means a live owner whose list is its own: neither a process still clearing
// the leftovers of its pid nor a finder removing a dead process's files is taken for one.
constexpr off_t kAliveByte = 0;
constexpr off_t kNameByte = 1;

constexpr std::string_view kLockSuffix = ".lock";
constexpr std::string_view kSocketSuffix = ".sock";
constexpr std::string_view kListSuffix = ".windows";
constexpr std::string_view kListTempSuffix = ".windows.tmp";
constexpr std::array<std::string_view, 4> kSuffixes = {kLockSuffix, kSocketSuffix, kListSuffix,
                                                       kListTempSuffix};

constexpr std::string_view kListHeader = "kestrova-windows 1\n";
constexpr std::size_t kMaxListBytes = 64 * 1024;

// A request is one datagram: a fixed tag, then the handle with its flag bit, in host order.
constexpr std::uint32_t kRequestMagic = 0x4B524651;
constexpr std::size_t kRequestBytes = 8;
constexpr int kMaxRequestsPerCall = 64;

// How long a start waits for another start on the same device to publish or give up. Far
// longer than a start takes; reached only when the other one is stopped or stuck.
constexpr int kStartLockWaitMs = 10000;

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = other.fd_;
            other.fd_ = -1;
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    void reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

std::string fileName(int pid, std::string_view suffix) {
    std::string name = std::to_string(pid);
    name += suffix;
    return name;
}

// The pid a registration file belongs to, or 0 for anything else in the folder.
int registrationPid(std::string_view name) {
    for (std::string_view suffix : kSuffixes) {
        if (name.size() <= suffix.size() || !name.ends_with(suffix)) continue;
        std::string_view digits = name.substr(0, name.size() - suffix.size());
        if (digits.size() > 10 || digits[0] == '0') return 0;
        long long value = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') return 0;
            value = value * 10 + (c - '0');
        }
        return value <= 0x7FFFFFFF ? static_cast<int>(value) : 0;
    }
    return 0;
}

bool lockByte(int fd, off_t byte) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

bool byteLockedByOthers(int fd, off_t byte) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    if (::fcntl(fd, F_OFD_GETLK, &lock) != 0) return false;
    return lock.l_type != F_UNLCK;
}

bool isRegularFile(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// Whether `name` in the folder is still the file open as `fd`.
bool stillNamed(int fd, int dir, const std::string& name) {
    struct stat opened {
    }, named{};
    if (::fstat(fd, &opened) != 0) return false;
    if (::fstatat(dir, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) return false;
    return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

// Waits a millisecond, or less when `interrupt` (if any) becomes readable; true when it is.
bool pauseBriefly(int interrupt = -1) {
    pollfd p{interrupt, POLLIN, 0};
    return ::poll(&p, interrupt >= 0 ? 1 : 0, 1) > 0 && (p.revents & POLLIN);
}

// Opens <pid>.lock (creating it if missing) and takes its name byte: the right to change
// that pid's files. Retries while someone else briefly holds it, or when the file locked was
// removed or replaced before the lock was granted.
Fd claimName(int dir, int pid, int attempts) {
    const std::string name = fileName(pid, kLockSuffix);
    for (int i = 0; i < attempts; ++i) {
        Fd fd(::openat(dir, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                       0600));
        if (!fd || !isRegularFile(fd.get())) return {};
        if (lockByte(fd.get(), kNameByte)) {
            if (stillNamed(fd.get(), dir, name)) return fd;
            continue;
        }
        if (errno != EAGAIN && errno != EACCES) return {};
        if (i + 1 < attempts) pauseBriefly();
    }
    return {};
}

// Removes a pid's files, the lock last. The caller holds that pid's name byte.
void removeFiles(int dir, int pid, bool includingLock) {
    for (std::string_view suffix : {kListSuffix, kListTempSuffix, kSocketSuffix}) {
        ::unlinkat(dir, fileName(pid, suffix).c_str(), 0);
    }
    if (includingLock) ::unlinkat(dir, fileName(pid, kLockSuffix).c_str(), 0);
}

// UTF-8, except that a lone surrogate is written as its own three bytes, so every UTF-16
// string, well-formed or not, has exactly one encoding. Names are compared in this form.
std::string encodeName(std::u16string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        std::uint32_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 &&
            s[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// List fields: a backslash is doubled, control bytes (tab and newline among them) are
// written \xHH, everything else as is.
void appendEscaped(std::string& out, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    for (char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else {
            out += ch;
        }
    }
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The inverse of appendEscaped; nullopt for anything it would not have written.
std::optional<std::string> unescape(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto c = static_cast<unsigned char>(field[i]);
        if (c < 0x20 || c == 0x7F) return std::nullopt;
        if (c != '\\') {
            out += field[i];
            continue;
        }
        if (i + 1 < field.size() && field[i + 1] == '\\') {
            out += '\\';
            i += 1;
        } else if (i + 3 < field.size() && field[i + 1] == 'x' && hexValue(field[i + 2]) >= 0 &&
                   hexValue(field[i + 3]) >= 0) {
            out += static_cast<char>(hexValue(field[i + 2]) * 16 + hexValue(field[i + 3]));
            i += 3;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

std::optional<std::uint32_t> parseHandle(std::string_view text) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (value == 0 || value > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

// The handle on the line "handle<TAB>class<TAB>title" that names this class and title.
std::optional<std::uint32_t> matchLine(std::string_view line, std::string_view className,
                                       std::string_view title) {
    const std::size_t tab1 = line.find('\t');
    if (tab1 == std::string_view::npos) return std::nullopt;
    const std::size_t tab2 = line.find('\t', tab1 + 1);
    if (tab2 == std::string_view::npos || line.find('\t', tab2 + 1) != std::string_view::npos) {
        return std::nullopt;
    }
    const auto handle = parseHandle(line.substr(0, tab1));
    const auto lineClass = unescape(line.substr(tab1 + 1, tab2 - tab1 - 1));
    const auto lineTitle = unescape(line.substr(tab2 + 1));
    if (!handle || !lineClass || !lineTitle) return std::nullopt;
    if (*lineClass != className || *lineTitle != title) return std::nullopt;
    return handle;
}

// Reads at most kMaxListBytes of a list file; anything past that is not looked at.
std::optional<std::string> readList(int dir, const std::string& name) {
    // Non-blocking, so a fifo planted under the name cannot stall us.
    Fd fd(::openat(dir, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd || !isRegularFile(fd.get())) return std::nullopt;
    std::string text(kMaxListBytes, '\0');
    std::size_t size = 0;
    while (size < text.size()) {
        const ssize_t n = ::read(fd.get(), text.data() + size, text.size() - size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        size += static_cast<std::size_t>(n);
    }
    text.resize(size);
    return text;
}

std::optional<std::uint32_t> findInList(std::string_view text, std::string_view className,
                                        std::string_view title) {
    if (!text.starts_with(kListHeader)) return std::nullopt;
    text.remove_prefix(kListHeader.size());
    // Only whole lines count: one cut short by the size bound is ignored.
    for (std::size_t end; (end = text.find('\n')) != std::string_view::npos;) {
        if (auto handle = matchLine(text.substr(0, end), className, title)) return handle;
        text.remove_prefix(end + 1);
    }
    return std::nullopt;
}

// Writes the list under a temporary name and renames it into place, so a reader sees the
// old list or the new one, never part of one.
bool replaceList(int dir, int pid, std::string_view text) {
    const std::string temp = fileName(pid, kListTempSuffix);
    Fd fd(::openat(dir, temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) return false;
    bool ok = writeAll(fd.get(), text);
    ok = ::close(fd.release()) == 0 && ok;
    ok = ok && ::renameat(dir, temp.c_str(), dir, fileName(pid, kListSuffix).c_str()) == 0;
    if (!ok) ::unlinkat(dir, temp.c_str(), 0);
    return ok;
}

std::string stripTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string defaultFolder() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (runtime && runtime[0] == '/' && ::stat(runtime, &st) == 0 && S_ISDIR(st.st_mode)) {
        return stripTrailingSlashes(runtime) + "/kestrova";
    }
    return "/tmp/kestrova-" + std::to_string(::geteuid());
}

// Whether an open folder is ours alone; otherwise why not. A folder we do not own, or that
// others may write to, holds nothing we could trust or delete.
bool privateFolder(int fd, std::string* reason) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        *reason = std::strerror(errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        *reason = "not a folder";
    } else if (st.st_uid != ::geteuid()) {
        *reason = "it belongs to another user";
    } else if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        *reason = "others may write to it";
    } else {
        return true;
    }
    return false;
}

// Creates `name` in `dir` (or the path itself, when dir is AT_FDCWD) if missing and opens it.
// Refuses a symbolic link, anything that is not a folder, and a folder that is not private.
Fd openFolder(int dir, const std::string& name, std::string* reason) {
    if (name.empty()) {
        *reason = "no folder";
        return {};
    }
    if (::mkdirat(dir, name.c_str(), 0700) != 0 && errno != EEXIST) {
        *reason = std::strerror(errno);
        return {};
    }
    Fd fd(::openat(dir, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
        *reason = errno == ELOOP || errno == ENOTDIR ? "not a folder" : std::strerror(errno);
        return {};
    }
    if (!privateFolder(fd.get(), reason)) return {};
    return fd;
}

// A device's name as one file name: letters, digits and ".-_:,+=@" stay, anything else is
// written %XX, and a name too long for a file name is cut and ends in a hash of all of it.
std::string deviceFolderName(std::string_view device) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : device) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') ||
                           std::string_view(".-_:,+=@").find(ch) != std::string_view::npos;
        if (plain && !(out.empty() && c == '.')) {
            out += ch;
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    constexpr std::size_t kMaxName = 200;
    if (out.size() > kMaxName) {
        std::uint64_t hash = 0xcbf29ce484222325u;  // FNV-1a
        for (char ch : device) hash = (hash ^ static_cast<unsigned char>(ch)) * 0x100000001b3u;
        out.resize(kMaxName - 17);
        out += '~';
        for (int shift = 60; shift >= 0; shift -= 4) out += kHex[(hash >> shift) & 15];
    }
    return out;
}

void reportOnStderr(const std::string& line) {
    std::fprintf(stderr, "kestrova: %s\n", line.c_str());
}

}  // namespace

struct Instances::State {
    Fd folder;
    std::string folderPath;
    Reporter report;
    bool reported = false;
    // The device's start lock, held from the first find until this process publishes.
    bool startLocked = false;
    // Readable once this process is asked to stop (-1: never); `interrupted` once it was.
    int interrupt = -1;
    bool interrupted = false;
    int answerBoundMs = kAnswerBoundMs;
    // The window last found, and the last one asked to come forward.
    struct Found {
        int pid = 0;
        std::uint32_t handle = 0;
        std::string title;
    };
    std::optional<Found> lastFound;
    std::optional<Handover> handover;
    // Set up on the first publish: this process's lock (both bytes held) and socket.
    bool setUpTried = false;
    int ownPid = 0;
    Fd lock;
    Fd socket;

    // The address of a pid's socket. The folder's own path is used when it is absolute and
    // short enough; otherwise the path through our descriptor for the folder, which is
    // short whatever the folder's path.
    std::optional<sockaddr_un> socketAddress(int pid) const {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string name = fileName(pid, kSocketSuffix);
        std::string path = folderPath + "/" + name;
        if (folderPath[0] != '/' || path.size() >= sizeof address.sun_path) {
            path = "/proc/self/fd/" + std::to_string(folder.get()) + "/" + name;
        }
        if (path.size() >= sizeof address.sun_path) return std::nullopt;
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        return address;
    }

    // Whether this object is publishing for the running process (a forked copy is not).
    bool publishing() const { return lock && ownPid == ::getpid(); }

    bool setUp();
    void takeDown();
    bool lockStart();
    void unlockStart();

    // Says once why this process runs alone.
    void refuse(const std::string& reason) {
        if (reported) return;
        reported = true;
        report("running alone: cannot use " + folderPath + " to meet other instances (" + reason +
               ")");
    }
};

bool Instances::State::lockStart() {
    if (startLocked) return true;
    for (int waited = 0;; ++waited) {
        if (::flock(folder.get(), LOCK_EX | LOCK_NB) == 0) {
            startLocked = true;
            return true;
        }
        if (errno == EINTR) continue;
        if (errno != EWOULDBLOCK) {
            refuse(std::strerror(errno));
            return false;
        }
        if (waited >= kStartLockWaitMs) {
            refuse("another start there has not finished within " +
                   std::to_string(kStartLockWaitMs / 1000) + " s");
            return false;
        }
        if (pauseBriefly(interrupt)) {
            interrupted = true;  // asked to stop: no longer worth waiting for
            return false;
        }
    }
}

void Instances::State::unlockStart() {
    if (!startLocked) return;
    ::flock(folder.get(), LOCK_UN);
    startLocked = false;
}

bool Instances::State::setUp() {
    if (lock) return publishing();
    // A process asked to stop while it waited for the start lock does not take the device.
    if (setUpTried || !folder || interrupted) return false;
    setUpTried = true;
    const int pid = ::getpid();
    Fd claimed = claimName(folder.get(), pid, 20);
    if (!claimed) {
        // EAGAIN: another publisher of this process has the name; it speaks for us.
        if (errno != EAGAIN && errno != EACCES) refuse(std::strerror(errno));
        return false;
    }
    // Whatever is left under our pid belongs to a dead process.
    removeFiles(folder.get(), pid, false);

    const auto address = socketAddress(pid);
    Fd sock(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const bool bound =
        address && sock &&
        ::bind(sock.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) == 0;
    if (!bound || !lockByte(claimed.get(), kAliveByte)) {
        refuse(std::strerror(errno));
        removeFiles(folder.get(), pid, true);
        return false;
    }
    ownPid = pid;
    lock = std::move(claimed);
    socket = std::move(sock);
    return true;
}

void Instances::State::takeDown() {
    if (publishing()) {
        removeFiles(folder.get(), ownPid, false);
        socket.reset();
        ::unlinkat(folder.get(), fileName(ownPid, kLockSuffix).c_str(), 0);
    }
    socket.reset();
    lock.reset();
}

Instances::Instances(std::string folder, const std::string& device, Reporter report)
    : state_(std::make_unique<State>()) {
    State& s = *state_;
    s.report = report ? std::move(report) : reportOnStderr;
    s.folderPath = stripTrailingSlashes(folder.empty() ? defaultFolder() : std::move(folder));
    std::string reason;
    s.folder = openFolder(AT_FDCWD, s.folderPath, &reason);
    if (s.folder && !device.empty()) {
        const std::string name = deviceFolderName(device);
        s.folderPath += "/" + name;
        s.folder = openFolder(s.folder.get(), name, &reason);
    }
    if (!s.folder) s.refuse(reason);
}

Instances::~Instances() {
    state_->takeDown();
    state_->unlockStart();
}

void Instances::publish(const std::vector<Published>& windows) {
    // Published or not, this start has decided: others may look now.
    struct Unlock {
        State& s;
        ~Unlock() { s.unlockStart(); }
    } unlock{*state_};
    if (!state_->setUp()) return;
    const int dir = state_->folder.get();
    const int pid = state_->ownPid;
    if (windows.empty()) {
        ::unlinkat(dir, fileName(pid, kListSuffix).c_str(), 0);
        return;
    }
    std::string text(kListHeader);
    for (const Published& w : windows) {
        if (w.handle == 0) continue;
        std::string line = std::to_string(w.handle);
        line += '\t';
        appendEscaped(line, encodeName(w.className));
        line += '\t';
        appendEscaped(line, encodeName(w.title));
        line += '\n';
        if (text.size() + line.size() > kMaxListBytes) break;
        text += line;
    }
    // Better to be missing from the folder than listed with windows that may be gone.
    if (!replaceList(dir, pid, text)) ::unlinkat(dir, fileName(pid, kListSuffix).c_str(), 0);
}

// Looks through every other pid's registration. Live ones (alive byte locked) are searched;
// dead ones are removed, unless someone is busy with that pid's files just now.
std::optional<RemoteWindow> Instances::find(const std::u16string& className,
                                            const std::u16string& title) {
    const int dir = state_->folder.get();
    if (dir < 0) return std::nullopt;
    // Not yet findable ourselves: nobody else may look until we have published or found.
    if (!state_->publishing() && !state_->lockStart() && state_->interrupted) return std::nullopt;

    std::vector<int> pids;
    {
        const int listing = ::openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (listing < 0) return std::nullopt;
        DIR* entries = ::fdopendir(listing);
        if (!entries) {
            ::close(listing);
            return std::nullopt;
        }
        while (const dirent* entry = ::readdir(entries)) {
            if (int pid = registrationPid(entry->d_name)) pids.push_back(pid);
        }
        ::closedir(entries);
    }
    std::sort(pids.begin(), pids.end());
    pids.erase(std::unique(pids.begin(), pids.end()), pids.end());

    const std::string wantedClass = encodeName(className);
    const std::string wantedTitle = encodeName(title);
    const int self = ::getpid();
    std::optional<RemoteWindow> found;
    for (int pid : pids) {
        if (pid == self) continue;
        const std::string lockName = fileName(pid, kLockSuffix);
        Fd lockFd(::openat(dir, lockName.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (lockFd) {
            if (!isRegularFile(lockFd.get())) continue;
            if (byteLockedByOthers(lockFd.get(), kAliveByte)) {
                if (found) continue;
                if (auto text = readList(dir, fileName(pid, kListSuffix))) {
                    if (auto handle = findInList(*text, wantedClass, wantedTitle)) {
                        found = RemoteWindow{pid, *handle};
                        state_->lastFound = State::Found{pid, *handle, wantedTitle};
                    }
                }
                continue;
            }
        } else if (errno != ENOENT) {
            continue;
        }
        if (Fd claimed = claimName(dir, pid, 1)) removeFiles(dir, pid, true);
    }
    // Another process is the running one: this one will not become it.
    if (found) state_->unlockStart();
    return found;
}

bool Instances::requestForeground(const RemoteWindow& window, std::uint32_t handleWithFlags) {
    const bool reached = sendForeground(window, handleWithFlags);
    const auto& found = state_->lastFound;
    if (found && found->pid == window.pid && found->handle == window.handle)
        state_->handover = Handover{found->title, reached};
    return reached;
}

std::optional<Instances::Handover> Instances::handover() const { return state_->handover; }

void Instances::setInterruptDescriptor(int fd) { state_->interrupt = fd; }

void Instances::setAnswerBound(int milliseconds) { state_->answerBoundMs = milliseconds; }

bool Instances::sendForeground(const RemoteWindow& window, std::uint32_t handleWithFlags) {
    if (!state_->folder || window.pid <= 0) return false;
    const auto address = state_->socketAddress(window.pid);
    if (!address) return false;
    Fd sock(::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!sock ||
        ::connect(sock.get(), reinterpret_cast<const sockaddr*>(&*address), sizeof *address) != 0) {
        return false;
    }
    unsigned char message[kRequestBytes];
    std::memcpy(message, &kRequestMagic, 4);
    std::memcpy(message + 4, &handleWithFlags, 4);
    // The request carries one end of a socket pair; the owner writes a byte on it when it takes
    // the request. A stopped or stuck owner never does, and its queue still takes the datagram.
    int answer[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, answer) != 0)
        return false;
    Fd answerIn(answer[0]);
    Fd answerOut(answer[1]);
    iovec part{message, sizeof message};
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    cmsghdr* rights = CMSG_FIRSTHDR(&header);
    rights->cmsg_level = SOL_SOCKET;
    rights->cmsg_type = SCM_RIGHTS;
    rights->cmsg_len = CMSG_LEN(sizeof(int));
    const int sent = answerOut.get();
    std::memcpy(CMSG_DATA(rights), &sent, sizeof sent);
    bool delivered = false;
    for (int attempt = 0; attempt < 2 && !delivered; ++attempt) {
        const ssize_t n = ::sendmsg(sock.get(), &header, MSG_NOSIGNAL);
        if (n == static_cast<ssize_t>(sizeof message)) {
            delivered = true;
            break;
        }
        if (n >= 0 || (errno != EAGAIN && errno != EINTR)) return false;
        // The owner's queue is full: give it a moment to take its requests.
        pollfd writable{sock.get(), POLLOUT, 0};
        ::poll(&writable, 1, 100);
    }
    if (!delivered) return false;
    answerOut.reset();  // only the owner's copy is left: its end reads as closed when it goes
    return waitForAnswer(answerIn.get());
}

// Waits at most the answer bound for the byte that confirms a request; false when the owner
// did not answer, went away without answering, or this process was asked to stop.
bool Instances::waitForAnswer(int answer) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(state_->answerBoundMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) return false;
        pollfd p[2] = {{answer, POLLIN, 0}, {state_->interrupt, POLLIN, 0}};
        const int ready = ::poll(p, state_->interrupt >= 0 ? 2 : 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        if (p[1].revents & POLLIN) {
            state_->interrupted = true;
            return false;
        }
        char byte = 0;
        return ::read(answer, &byte, 1) == 1;
    }
}

int Instances::wakeDescriptor() const { return state_->publishing() ? state_->socket.get() : -1; }

std::vector<std::uint32_t> Instances::takeRequests() {
    std::vector<std::uint32_t> handles;
    if (!state_->publishing()) return handles;
    // Bounded, so a flood cannot hold the caller; what is left keeps the descriptor readable.
    for (int i = 0; i < kMaxRequestsPerCall; ++i) {
        unsigned char message[kRequestBytes + 1];
        iovec part{message, sizeof message};
        alignas(cmsghdr) unsigned char control[CMSG_SPACE(4 * sizeof(int))] = {};
        msghdr header{};
        header.msg_iov = &part;
        header.msg_iovlen = 1;
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        const ssize_t n = ::recvmsg(state_->socket.get(), &header, MSG_DONTWAIT | MSG_CMSG_CLOEXEC);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        // Every descriptor that came is closed; the first is the sender's end to answer on.
        int answer = -1;
        for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
            if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
            const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
            for (std::size_t k = 0; k < count; ++k) {
                int fd = -1;
                std::memcpy(&fd, CMSG_DATA(c) + k * sizeof(int), sizeof fd);
                if (answer < 0)
                    answer = fd;
                else
                    ::close(fd);
            }
        }
        Fd answerOut(answer);
        if (n != static_cast<ssize_t>(kRequestBytes)) continue;
        std::uint32_t magic = 0;
        std::uint32_t handle = 0;
        std::memcpy(&magic, message, 4);
        std::memcpy(&handle, message + 4, 4);
        if (magic != kRequestMagic) continue;
        handles.push_back(handle);
        if (answerOut) {
            const char taken = 1;
            // The asker may have given up already: no SIGPIPE for that.
            [[maybe_unused]] const ssize_t written =
                ::send(answerOut.get(), &taken, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
        }
    }
    return handles;
}

}  // namespace kdev
