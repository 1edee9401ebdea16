#include "settings.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "core/display_geometry.h"
#include "core/output_file.h"

// window.conf holds one line per display size and desktop size, the most recently saved last:
//   # comment
//   240x320 1920x1050 2 560 280   (display size, desktop's work area, zoom, x and y of the
//                                  client area)
// Earlier versions wrote lines without the desktop; they are read as valid and passed over.

namespace khost {

namespace {

constexpr const char* kFileName = "window.conf";
constexpr std::size_t kMaxFileBytes = 64 * 1024;
constexpr std::size_t kMaxEntries = 64;
constexpr int kLockWaitMs = 2000;

struct Entry {
    PlaceKey key;
    WindowPlace place;
};

bool sameKey(const PlaceKey& a, const PlaceKey& b) {
    return a.width == b.width && a.height == b.height && a.desktopWidth == b.desktopWidth &&
           a.desktopHeight == b.desktopHeight;
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

private:
    int fd_;
};

// The file's entries. *problem is set when the file is there but unreadable or has lines that
// are not entries; what can be read still counts.
std::vector<Entry> readEntries(const std::string& path, std::string* problem) {
    std::vector<Entry> entries;
    // Non-blocking, so that a fifo under the name cannot stall the start.
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        if (errno != ENOENT && errno != ENOTDIR)
            *problem = "cannot read " + path + ": " + std::strerror(errno);
        return entries;
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        *problem = "cannot read " + path + ": not a regular file";
        return entries;
    }
    std::string text(kMaxFileBytes + 1, '\0');
    std::size_t size = 0;
    while (size < text.size()) {
        const ssize_t n = ::read(fd.get(), text.data() + size, text.size() - size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *problem = "cannot read " + path + ": " + std::strerror(errno);
            return entries;
        }
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    if (size > kMaxFileBytes) {
        *problem = path + " is damaged (larger than " + std::to_string(kMaxFileBytes) + " bytes)";
        return entries;
    }
    text.resize(size);
    int damaged = 0;
    for (const kdev::PlaceLine& p : kdev::readPlaceLines(text, &damaged))
        entries.push_back({{p.width[0], p.height[0], p.width[1], p.height[1]}, {p.zoom, p.x, p.y}});
    if (damaged != 0) *problem = path + " is damaged at line " + std::to_string(damaged);
    return entries;
}

// Holds an exclusive lock on the folder while the file is read and replaced, so that two
// windows saving at once both keep their entries. Best effort: after a while it goes on
// without, as the rename still leaves a whole file.
class FolderLock {
public:
    explicit FolderLock(int dir) : dir_(dir) {
        for (int waited = 0; waited < kLockWaitMs; waited += 5) {
            if (::flock(dir_, LOCK_EX | LOCK_NB) == 0) {
                locked_ = true;
                return;
            }
            if (errno != EWOULDBLOCK && errno != EINTR) return;
            ::poll(nullptr, 0, 5);
        }
    }
    ~FolderLock() {
        if (locked_) ::flock(dir_, LOCK_UN);
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int dir_;
    bool locked_ = false;
};

}  // namespace

std::string settingsFolder() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') return std::string(config) + "/kestrova";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.config/kestrova";
    return {};
}

std::optional<WindowPlace> loadWindowPlace(const std::string& folder, const PlaceKey& key,
                                           std::string* warning) {
    if (folder.empty()) return std::nullopt;
    std::string problem;
    const std::vector<Entry> entries = readEntries(folder + "/" + kFileName, &problem);
    if (!problem.empty() && warning) *warning = problem + "; the window opens at its default place";
    for (const Entry& e : entries)
        if (sameKey(e.key, key)) return e.place;
    return std::nullopt;
}

bool saveWindowPlace(const std::string& folder, const PlaceKey& key, const WindowPlace& place,
                     std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = "cannot remember the window's place in " + folder + ": " + why;
        return false;
    };
    if (folder.empty()) return fail("no folder for settings (HOME is not set)");
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return fail(ec.message());
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return fail(std::strerror(errno));
    FolderLock lock(dir.get());

    // Whatever cannot be read of the old file is dropped: the new one is whole again.
    std::string ignored;
    std::vector<Entry> entries = readEntries(folder + "/" + kFileName, &ignored);
    std::erase_if(entries, [&](const Entry& e) { return sameKey(e.key, key); });
    entries.push_back({key, place});
    if (entries.size() > kMaxEntries)
        entries.erase(entries.begin(),
                      entries.begin() + static_cast<std::ptrdiff_t>(entries.size() - kMaxEntries));
    std::string text =
        "# Kestrova's window: its place and zoom for each display size on each desktop size\n"
        "# (display WxH, desktop's work area WxH, zoom, x, y)\n";
    for (const Entry& e : entries) {
        const kdev::PlaceLine line{{e.key.width, e.key.desktopWidth},
                                   {e.key.height, e.key.desktopHeight},
                                   e.place.zoom,
                                   e.place.x,
                                   e.place.y};
        text += kdev::placeLineText(line) + "\n";
    }

    const std::string temp = std::string(kFileName) + ".tmp-" + std::to_string(::getpid());
    Fd out(::openat(dir.get(), temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                    0600));
    if (!out) return fail(std::strerror(errno));
    errno = 0;
    int failure = 0;
    if (!kdev::writeAll(out.get(), text) || ::fsync(out.get()) != 0)
        failure = errno ? errno : EIO;
    else if (::renameat(dir.get(), temp.c_str(), dir.get(), kFileName) != 0)
        failure = errno;
    if (failure) {
        ::unlinkat(dir.get(), temp.c_str(), 0);
        return fail(std::strerror(failure));
    }
    return true;
}

}  // namespace khost
