#include "core/output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace kdev {

namespace {

constexpr std::size_t kBufferBytes = 64 * 1024;

std::string reason(const std::string& path, int error) {
    return "cannot write " + path + ": " + std::strerror(error);
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
    if (mode == Mode::Streamed || (exists && !S_ISREG(st.st_mode))) {
        // A device or a pipe is written as it is: renaming over it would replace it.
        fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd_ < 0) return refuse(errno);
        regular_ = fstat(fd_, &st) == 0 && S_ISREG(st.st_mode);
        created_ = regular_;
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

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
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
        temp_.clear();
        created_ = false;
        return true;
    }
    if (error) *error = reason(path_, errno_);
    return false;
}

bool OutputFile::commit(std::string* error) {
    if (fd_ < 0) {
        if (error) *error = reason(path_, errno_ ? errno_ : EBADF);
        return false;
    }
    const bool ok = finish(error);
    if (!ok) abandon();
    return ok;
}

void OutputFile::abandon() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) unlink(temp_.c_str());
    if (created_) unlink(path_.c_str());
    temp_.clear();
    created_ = false;
    regular_ = false;
    buffer_.clear();
}

}  // namespace kdev
