#include "snapshot.h"

#include <fcntl.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <vector>

#include "core/output_file.h"
#include "core/strings.h"
#include "rgba.h"

namespace khost {

namespace {

// libpng reports through these instead of printing: a write error or its own failure ends the
// picture, and warnings are of no use to anyone here.
void pngWrite(png_structp png, png_bytep data, png_size_t size) {
    auto* file = static_cast<kdev::OutputFile*>(png_get_io_ptr(png));
    bool ok = false;
    try {  // nothing may unwind through libpng
        ok = file->write(data, size);
    } catch (const std::bad_alloc&) {
        file->fail(ENOMEM);
    }
    if (!ok) png_error(png, "write");
}

void pngFlush(png_structp) {}

void pngError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

void pngWarning(png_structp, png_const_charp) {}

}  // namespace

bool writePng(const std::string& path, const kdev::Screen& screen, std::string* error) {
    const int w = screen.width(), h = screen.height();
    const RgbaRows rows(screen);
    std::vector<std::uint32_t> row(static_cast<std::size_t>(w));
    kdev::OutputFile file;
    if (!file.open(path, error)) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        file.fail(ENOMEM);
        return file.commit(error);
    }
    // Nothing with a destructor is made between here and the rows' end: png_error jumps back.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        file.fail(ENOMEM);  // unless a write failed first, the encoder ran out of memory
        return file.commit(error);
    }
    png_set_write_fn(png, &file, pngWrite, pngFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_filler(png, 0, PNG_FILLER_AFTER);  // the rows' fourth byte is not written
    for (int y = 0; y < h; ++y) {
        rows.row(screen, y, row.data());
        png_write_row(png, reinterpret_cast<png_const_bytep>(row.data()));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return file.commit(error);
}

bool writeDump(const std::string& path, const kdev::Screen& screen, std::string* error) {
    std::vector<unsigned char> row(static_cast<std::size_t>(screen.width()) * 2);
    kdev::OutputFile file;
    if (!file.open(path, error)) return false;
    for (int y = 0; y < screen.height(); ++y) {
        for (int x = 0; x < screen.width(); ++x) {
            const std::uint16_t v = screen.get(x, y);
            row[static_cast<std::size_t>(x) * 2] = static_cast<unsigned char>(v & 0xFF);
            row[static_cast<std::size_t>(x) * 2 + 1] = static_cast<unsigned char>(v >> 8);
        }
        if (!file.write(row.data(), row.size())) break;
    }
    return file.commit(error);
}

std::filesystem::path screenshotPath(const std::filesystem::path& folder) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = std::string("kestrova-") + stamp;
    std::filesystem::path path = folder / (base + ".png");
    std::error_code ec;
    for (int n = 2; std::filesystem::exists(path, ec) && n < 1000; ++n)
        path = folder / (base + "-" + std::to_string(n) + ".png");
    return std::filesystem::absolute(path, ec);
}

std::filesystem::path screenshotFolder(const ScreenshotFolderRule& rule) {
    if (!rule.option.empty()) return rule.option;
    if (rule.fromTerminal) return {};
    if (rule.pictures) return std::filesystem::path(*rule.pictures) / "Kestrova";
    if (!rule.home.empty() && rule.home[0] == '/')
        return std::filesystem::path(rule.home) / "Pictures" / "Kestrova";
    return {};
}

bool startedFromTerminal() { return ::isatty(0) == 1 || ::isatty(2) == 1; }

namespace {

// The child's end: reaped within `deadline`, else killed and then reaped. True when it ended
// by itself with status 0.
bool reap(pid_t pid, std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (r < 0 && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() >= deadline) break;
        ::poll(nullptr, 0, 5);
    }
    ::kill(pid, SIGKILL);
    while (::waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {}
    return false;
}

}  // namespace

std::optional<std::string> askPicturesFolder(std::chrono::milliseconds limit,
                                             const std::string& program) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // The child starts with the usual signals, whatever this process blocks or ignores.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigemptyset(&defaults);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGXFSZ}) sigaddset(&defaults, s);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::string name = program, argument = "PICTURES";
    char* argv[] = {name.data(), argument.data(), nullptr};
    pid_t pid = -1;
    const int rc = ::posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    if (rc != 0) {
        ::close(out[0]);
        return std::nullopt;
    }

    // Its answer, up to a length no folder name needs, until it closes its output or time is up.
    std::string answer;
    bool whole = false;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{out[0], POLLIN, 0};
        const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) break;
        char buffer[512];
        const ssize_t n = ::read(out[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            whole = n == 0;
            break;
        }
        answer.append(buffer, static_cast<std::size_t>(n));
        if (answer.size() > 4096) break;
    }
    ::close(out[0]);
    const bool succeeded = reap(pid, whole ? deadline : std::chrono::steady_clock::now());
    if (!whole || !succeeded) return std::nullopt;
    if (!answer.empty() && answer.back() == '\n') answer.pop_back();
    if (answer.empty() || answer[0] != '/' || answer.find('\n') != std::string::npos ||
        answer.find('\0') != std::string::npos)
        return std::nullopt;
    return answer;
}

std::string checkScreenshotFolder(const std::string& folder) {
    const std::string name = "--screenshot-dir: " + kdev::printable(folder);
    struct stat st {};
    if (folder.empty()) return "--screenshot-dir: the name is empty";
    if (::stat(folder.c_str(), &st) != 0) {
        if (errno == ENOENT) return name + " does not exist";
        return name + ": " + std::strerror(errno);
    }
    if (!S_ISDIR(st.st_mode)) return name + " is not a folder";
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return name + " cannot be written into (" + std::strerror(errno) + ")";
    return {};
}

}  // namespace khost
