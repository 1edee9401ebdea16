#include "headless/script.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>
#include <sstream>
#include <streambuf>

#include "core/strings.h"

namespace khost {

namespace {

constexpr int kMaxScriptCoordinate = 1 << 20;
constexpr int kMaxIdle = 10 * 60 * 1000;
constexpr std::size_t kMaxLineBytes = 4096;
constexpr int kMaxLines = 1000000;
// What a script's commands may take once read. A menu line of many short items takes far
// more than its bytes, so the bound is on the commands, not on the text.
constexpr std::size_t kMaxScriptMemory = 64 * 1024 * 1024;

// A file descriptor as a stream that remembers why a read failed. Each read waits for the
// descriptor or for `stop` to become readable; once `stop` is, the stream ends (stopped()).
class DescriptorBuffer : public std::streambuf {
public:
    DescriptorBuffer(int fd, int stop) : fd_(fd), stop_(stop) {}
    int error() const { return error_; }
    bool stopped() const { return stopped_; }

protected:
    int_type underflow() override {
        for (;;) {
            if (stop_ >= 0) {
                pollfd p[2] = {{fd_, POLLIN, 0}, {stop_, POLLIN, 0}};
                if (::poll(p, 2, -1) < 0 && errno != EINTR) {
                    error_ = errno;
                    return traits_type::eof();
                }
                if (p[1].revents & POLLIN) {
                    stopped_ = true;
                    return traits_type::eof();
                }
                if (!(p[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) continue;
            }
            const ssize_t n = ::read(fd_, chunk_, sizeof chunk_);
            if (n > 0) {
                setg(chunk_, chunk_, chunk_ + n);
                return traits_type::to_int_type(chunk_[0]);
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) error_ = errno;
            return traits_type::eof();
        }
    }

private:
    int fd_;
    int stop_;
    int error_ = 0;
    bool stopped_ = false;
    char chunk_[65536];
};

// One line into `line`, without its end; false at the end of the input. A line longer than
// kMaxLineBytes stops at that length with *tooLong set, before the rest is read.
bool readLine(std::streambuf& in, std::string& line, bool* tooLong) {
    line.clear();
    *tooLong = false;
    for (;;) {
        const std::streambuf::int_type c = in.sbumpc();
        if (c == std::streambuf::traits_type::eof()) return !line.empty();
        if (c == '\n') return true;
        if (line.size() == kMaxLineBytes) {
            *tooLong = true;
            return true;
        }
        line += static_cast<char>(c);
    }
}

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

bool parseInt(const std::string& s, long min, long max, long* out) {
    long v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || p != s.data() + s.size() || v < min || v > max)
        return false;
    *out = v;
    return true;
}

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

}  // namespace

std::optional<kdev::Key> keyFromName(const std::string& name) {
    static const std::pair<const char*, kdev::Key> keys[] = {
        {"return", kdev::Key::Return}, {"enter", kdev::Key::Return}, {"escape", kdev::Key::Escape},
        {"up", kdev::Key::Up},         {"down", kdev::Key::Down},    {"left", kdev::Key::Left},
        {"right", kdev::Key::Right},   {"f10", kdev::Key::F10},      {"tab", kdev::Key::Tab},
        {"space", kdev::Key::Space},
    };
    const std::string n = lower(name);
    for (const auto& [text, key] : keys)
        if (n == text) return key;
    return std::nullopt;
}

// What a command takes in memory, its own storage and the strings it holds.
std::size_t memoryOf(const ScriptCommand& c) {
    std::size_t bytes = sizeof c + c.file.capacity();
    bytes += c.menuPath.capacity() * sizeof(std::u16string);
    for (const std::u16string& part : c.menuPath) bytes += part.capacity() * sizeof(char16_t);
    return bytes;
}

std::optional<std::vector<ScriptCommand>> parseScript(std::istream& in, std::string* error) {
    std::vector<ScriptCommand> commands;
    std::size_t memory = 0;
    std::string raw;
    int lineNumber = 0;
    auto fail = [&](const std::string& what) -> std::optional<std::vector<ScriptCommand>> {
        if (error) *error = "script:" + std::to_string(lineNumber) + ": " + what;
        return std::nullopt;
    };
    std::streambuf* buffer = in.rdbuf();
    bool tooLong = false;
    while (buffer && readLine(*buffer, raw, &tooLong)) {
        ++lineNumber;
        if (tooLong)
            return fail("line too long (over " + std::to_string(kMaxLineBytes) + " bytes)");
        if (lineNumber > kMaxLines)
            return fail("too many lines (at most " + std::to_string(kMaxLines) + ")");
        if (lineNumber == 1 && raw.rfind("\xEF\xBB\xBF", 0) == 0) raw.erase(0, 3);  // a BOM
        if (raw.find('\0') != std::string::npos) return fail("line holds a NUL byte");
        std::string line = raw;
        if (const auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
        line = trim(line);
        if (line.empty()) continue;

        std::istringstream words(line);
        std::string verb;
        words >> verb;
        std::string rest;
        std::getline(words, rest);
        rest = trim(rest);
        std::vector<std::string> args;
        {
            std::istringstream a(rest);
            for (std::string w; a >> w;) args.push_back(w);
        }

        ScriptCommand c;
        c.line = lineNumber;
        if (verb == "tap" || verb == "down" || verb == "move" || verb == "up") {
            long x = 0, y = 0;
            if (args.size() != 2) return fail(verb + " takes X Y");
            if (!parseInt(args[0], -kMaxScriptCoordinate, kMaxScriptCoordinate, &x) ||
                !parseInt(args[1], -kMaxScriptCoordinate, kMaxScriptCoordinate, &y))
                return fail(verb + ": X and Y must be whole numbers from " +
                            std::to_string(-kMaxScriptCoordinate) + " to " +
                            std::to_string(kMaxScriptCoordinate));
            c.kind = verb == "tap"    ? ScriptCommand::Kind::Tap
                     : verb == "down" ? ScriptCommand::Kind::Down
                     : verb == "move" ? ScriptCommand::Kind::Move
                                      : ScriptCommand::Kind::Up;
            c.x = static_cast<int>(x);
            c.y = static_cast<int>(y);
        } else if (verb == "key") {
            if (args.size() != 1) return fail("key takes one key name");
            const std::string shiftPrefix = "shift+";
            c.shift = lower(args[0]).rfind(shiftPrefix, 0) == 0;
            std::optional<kdev::Key> key =
                keyFromName(c.shift ? args[0].substr(shiftPrefix.size()) : args[0]);
            if (!key)
                return fail("unknown key '" + kdev::printable(args[0]) +
                            "' (Return, Escape, Up, Down, Left, Right, F10, Tab, Space, each "
                            "also as Shift+NAME)");
            c.kind = ScriptCommand::Kind::Key;
            c.key = *key;
        } else if (verb == "menu") {
            if (rest.empty()) return fail("menu takes a path such as Tools/Lines");
            c.kind = ScriptCommand::Kind::Menu;
            std::size_t start = 0;
            for (;;) {
                const std::size_t slash = rest.find('/', start);
                const std::string part = trim(rest.substr(
                    start, slash == std::string::npos ? std::string::npos : slash - start));
                if (part.empty())
                    return fail("menu: empty item in '" + kdev::printable(rest) + "'");
                c.menuPath.push_back(kdev::toUtf16(part));
                if (slash == std::string::npos) break;
                start = slash + 1;
            }
        } else if (verb == "command") {
            long id = 0;
            if (args.size() != 1 || !parseInt(args[0], 0, 0xFFFF, &id))
                return fail("command takes an id from 0 to 65535");
            c.kind = ScriptCommand::Kind::Command;
            c.id = static_cast<unsigned>(id);
        } else if (verb == "screenshot" || verb == "dump") {
            if (rest.empty()) return fail(verb + " takes a file name");
            c.kind =
                verb == "screenshot" ? ScriptCommand::Kind::Screenshot : ScriptCommand::Kind::Dump;
            c.file = rest;
        } else if (verb == "idle") {
            long ms = 0;
            if (args.size() != 1 || !parseInt(args[0], 0, kMaxIdle, &ms))
                return fail("idle takes milliseconds from 0 to " + std::to_string(kMaxIdle));
            c.kind = ScriptCommand::Kind::Idle;
            c.milliseconds = static_cast<int>(ms);
        } else if (verb == "close") {
            if (!args.empty()) return fail("close takes nothing");
            c.kind = ScriptCommand::Kind::Close;
        } else {
            return fail("unknown command '" + kdev::printable(verb) + "'");
        }
        memory += memoryOf(c);
        if (memory > kMaxScriptMemory)
            return fail("script too large: its commands would take over " +
                        std::to_string(kMaxScriptMemory / (1024 * 1024)) + " MiB");
        commands.push_back(std::move(c));
    }
    return commands;
}

std::optional<std::vector<ScriptCommand>> loadScript(const std::string& path, std::string* error,
                                                     int stop) {
    const bool standardInput = path == "-";
    auto cannot = [&](int e) -> std::optional<std::vector<ScriptCommand>> {
        if (error)
            *error = "kestrova: cannot read the script " +
                     (standardInput ? std::string("from standard input") : kdev::printable(path)) +
                     ": " + std::strerror(e);
        return std::nullopt;
    };
    const int fd = standardInput ? 0 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return cannot(errno);
    struct Closer {
        int fd;
        bool owned;
        ~Closer() {
            if (owned) ::close(fd);
        }
    } closer{fd, !standardInput};
    struct stat st {};
    if (fstat(fd, &st) != 0) return cannot(errno);  // standard input closed
    if (S_ISDIR(st.st_mode)) return cannot(EISDIR);
    auto buffer = std::make_unique<DescriptorBuffer>(fd, stop);
    std::istream in(buffer.get());
    std::optional<std::vector<ScriptCommand>> script = parseScript(in, error);
    if (buffer->stopped()) {
        if (error) error->clear();
        return std::nullopt;
    }
    if (buffer->error()) return cannot(buffer->error());
    return script;
}

}  // namespace khost
