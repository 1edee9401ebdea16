#include "core/output_file.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace kdev {

namespace {

constexpr std::size_t kBufferBytes = 64 * 1024;

std::string reason(const std::string& path, int error) {
    return "cannot write " + path + ": " + std::strerror(error);
}

// A regular file the user may replace: one they could write, and for root (whom the system
// lets write anything) one whose owner kept the write bit.
bool mayReplace(const std::string& path, const struct stat& st) {
    if (geteuid() == 0) return (st.st_mode & S_IWUSR) != 0;
    return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// The files being written, for removeUnfinishedFiles: fixed slots, each path copied in before
// the slot is marked used, so a handler never reads half a name.
struct Pending {
    char path[PATH_MAX];
    dev_t device;
    ino_t inode;
    volatile sig_atomic_t used;
};
constexpr int kPendingSlots = 8;
Pending g_pending[kPendingSlots];

int notePending(const std::string& path, const struct stat& st) {
    if (path.size() >= PATH_MAX) return -1;
    for (int i = 0; i < kPendingSlots; ++i) {
        if (g_pending[i].used) continue;
        std::memcpy(g_pending[i].path, path.c_str(), path.size() + 1);
        g_pending[i].device = st.st_dev;
        g_pending[i].inode = st.st_ino;
        g_pending[i].used = 1;
        return i;
    }
    return -1;
}

void forgetPending(int slot) {
    if (slot >= 0) g_pending[slot].used = 0;
}

// Removes path only while it still names the file this run made.
void removeIfOurs(const char* path, dev_t device, ino_t inode) {
    struct stat st {};
    if (lstat(path, &st) == 0 && st.st_dev == device && st.st_ino == inode) unlink(path);
}

// What the umask leaves of rw-rw-rw-, the permissions fopen would give a new file.
mode_t newFileMode() {
    static const mode_t mode = [] {
        const mode_t mask = umask(0);
        umask(mask);
        return static_cast<mode_t>(0666 & ~mask);
    }();
    return mode;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

void removeUnfinishedFiles() {
    for (Pending& p : g_pending)
        if (p.used) removeIfOurs(p.path, p.device, p.inode);
}

OutputFile::~OutputFile() { abandon(); }

bool OutputFile::open(const std::string& path, std::string* error, Mode mode) {
    abandon();
    path_ = path;
    errno_ = 0;
    auto refuse = [&](int e) {
        if (error) *error = reason(path, e);
        return false;
    };
    if (path.empty()) return refuse(ENOENT);

    struct stat st {};
    const bool exists = stat(path.c_str(), &st) == 0;
    if (exists && S_ISDIR(st.st_mode)) return refuse(EISDIR);
    if (exists && S_ISREG(st.st_mode) && !mayReplace(path, st)) return refuse(EACCES);
    if (mode == Mode::Streamed || (exists && !S_ISREG(st.st_mode))) {
        // A device or a pipe is written as it is: renaming over it would replace it. A file
        // made here is the one to remove on failure; one that was there before is left.
        const int flags = O_WRONLY | O_CLOEXEC | O_NOCTTY;
        fd_ = ::open(path.c_str(), flags | O_CREAT | O_EXCL, 0666);
        created_ = fd_ >= 0;
        if (fd_ < 0 && errno == EEXIST) fd_ = ::open(path.c_str(), flags | O_CREAT | O_TRUNC, 0666);
        if (fd_ < 0) return refuse(errno);
        regular_ = fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
        created_ = created_ && regular_;
        keptOld_ = regular_ && !created_;
        if (created_) {
            device_ = st.st_dev;
            inode_ = st.st_ino;
            pending_ = notePending(path, st);
        }
        return true;
    }

    // A symbolic link stays a link: the file it points to is the one replaced.
    final_ = path;
    if (exists) {
        char resolved[PATH_MAX];
        if (realpath(path.c_str(), resolved)) final_ = resolved;
    }
    std::string pattern = folderOf(final_) + "/." + nameOf(final_).substr(0, 200) + ".XXXXXX";
    fd_ = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) return refuse(errno);
    temp_ = pattern;
    regular_ = true;
    struct stat made {};
    if (fstat(fd_, &made) == 0) pending_ = notePending(temp_, made);
    fchmod(fd_, exists ? (st.st_mode & 07777) : newFileMode());
    return true;
}

bool OutputFile::write(const void* data, std::size_t size) {
    if (fd_ < 0 || errno_) return false;
    buffer_.append(static_cast<const char*>(data), size);
    return buffer_.size() < kBufferBytes || flushBuffer();
}

void OutputFile::fail(int error) {
    if (!errno_) errno_ = error ? error : EIO;
}

namespace {

int g_writeStop = -1;

// Whether fd can take PIPE_BUF bytes now, after waiting for room; false once the run has been
// asked to stop and nobody has read for a second.
bool roomToWrite(int fd) {
    bool stopped = false;
    for (;;) {
        pollfd p[2] = {{fd, POLLOUT, 0}, {g_writeStop, POLLIN, 0}};
        const int n = poll(p, stopped ? 1 : 2, stopped ? 1000 : -1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 || p[0].revents) return true;  // writable, or write() says what is wrong
        if (stopped) return false;               // a second after the stop and still no room
        stopped = (p[1].revents & POLLIN) != 0;
    }
}

}  // namespace

void setWriteStopDescriptor(int fd) { g_writeStop = fd; }

bool writeAll(int fd, std::string_view bytes) {
    struct stat st {};
    const bool mayWait = g_writeStop >= 0 && fstat(fd, &st) == 0 && !S_ISREG(st.st_mode);
    while (!bytes.empty()) {
        std::size_t chunk = bytes.size();
        if (mayWait) {
            if (!roomToWrite(fd)) {
                errno = EINTR;
                return false;
            }
            chunk = std::min<std::size_t>(chunk, PIPE_BUF);
        }
        const ssize_t n = ::write(fd, bytes.data(), chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n == 0) errno = 0;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool OutputFile::flushBuffer() {
    if (fd_ < 0 || errno_) return false;
    const bool written = writeAll(fd_, std::string_view(buffer_.data(), buffer_.size()));
    if (!written) fail(errno ? errno : ENOSPC);
    buffer_.clear();
    return written;
}

bool OutputFile::flush() { return flushBuffer(); }

bool OutputFile::finish(std::string* error) {
    flushBuffer();
    // Only a regular file can be synced; a device or a pipe has nothing to wait for.
    if (!errno_ && regular_ && fsync(fd_) != 0) fail(errno);
    if (::close(fd_) != 0 && errno != EINTR) fail(errno);
    fd_ = -1;
    if (!errno_ && !temp_.empty() && rename(temp_.c_str(), final_.c_str()) != 0) fail(errno);
    if (!errno_) {
        forgetPending(pending_);
        pending_ = -1;
        temp_.clear();
        created_ = false;
        keptOld_ = false;
        return true;
    }
    if (error) *error = reason(path_, errno_) + leftBehind();
    return false;
}

bool OutputFile::commit(std::string* error) {
    if (fd_ < 0) {
        if (error) *error = reason(path_, errno_ ? errno_ : EBADF) + leftBehind();
        return false;
    }
    const bool ok = finish(error);
    if (!ok) abandon();
    return ok;
}

std::string OutputFile::leftBehind() const {
    if (!keptOld_) return {};
    char resolved[PATH_MAX];
    const std::string where = realpath(path_.c_str(), resolved) ? resolved : path_;
    return "; the part written is left in " + where;
}

void OutputFile::abandon() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) unlink(temp_.c_str());
    if (created_)
        removeIfOurs(path_.c_str(), static_cast<dev_t>(device_), static_cast<ino_t>(inode_));
    forgetPending(pending_);
    pending_ = -1;
    temp_.clear();
    created_ = false;
    keptOld_ = false;
    regular_ = false;
    buffer_.clear();
}

}  // namespace kdev
