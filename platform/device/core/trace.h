// A log of window-system events, one JSON object a line, for tests and debugging.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace kdev {

class Trace {
public:
    Trace() = default;
    ~Trace();
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

    // Starts writing to path ("-" for stderr). Returns false when it cannot be opened.
    bool open(const std::string& path);
    bool enabled() const { return file_ != nullptr; }
    void write(const std::string& line);

private:
    std::FILE* file_ = nullptr;
    bool ownsFile_ = false;
};

// One event under construction; written when it goes out of scope:
//   TraceEvent(trace, "window_created").field("class", u"KESTROVA").field("hwnd", 65536);
class TraceEvent {
public:
    TraceEvent(Trace& trace, std::string_view event);
    ~TraceEvent();
    TraceEvent(const TraceEvent&) = delete;
    TraceEvent& operator=(const TraceEvent&) = delete;

    TraceEvent& field(std::string_view key, std::string_view value);
    TraceEvent& field(std::string_view key, std::u16string_view value);
    TraceEvent& field(std::string_view key, const char* value) {
        return field(key, std::string_view(value));
    }
    TraceEvent& field(std::string_view key, const char16_t* value);
    TraceEvent& field(std::string_view key, std::int64_t value);
    TraceEvent& field(std::string_view key, int value) {
        return field(key, static_cast<std::int64_t>(value));
    }
    TraceEvent& field(std::string_view key, unsigned value) {
        return field(key, static_cast<std::int64_t>(value));
    }
    TraceEvent& field(std::string_view key, bool value);

private:
    Trace& trace_;
    std::string line_;
};

std::string toUtf8(std::u16string_view text);
std::u16string toUtf16(std::string_view text);
void appendJsonString(std::string& out, std::string_view utf8);

}  // namespace kdev
