// A log of window-system events, one JSON object a line, for tests and debugging.
#pragma once

#include <concepts>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/output_file.h"
#include "core/strings.h"

namespace kdev {

class Trace {
public:
    Trace() = default;
    ~Trace() = default;
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;

    // Starts writing to path ("-" for stderr), a line at a time as events come. False, with
    // the reason, when it cannot be created.
    bool open(const std::string& path, std::string* error = nullptr);
    bool enabled() const { return toStderr_ || file_.isOpen(); }
    // Each write is checked; after the first failure the rest is dropped and close() reports it.
    void write(const std::string& line);
    // Ends the trace. False, with the reason, when any of it could not be written; the file is
    // removed then, as it is when the trace is never closed (a run ended by an exception).
    bool close(std::string* error);
    // Notes a failure that came from elsewhere (no memory for an event).
    void fail(int error);

private:
    OutputFile file_;
    bool toStderr_ = false;
    int stderrError_ = 0;
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
    // Any integer type: the platform's INT_PTR, LPARAM and friends are long on some targets
    // and long long or int on others, so one template keeps every call site unambiguous.
    // (A bool takes the overload below: a non-template wins an exact tie.)
    template <std::integral T>
    TraceEvent& field(std::string_view key, T value) {
        return number(key, static_cast<std::int64_t>(value));
    }
    TraceEvent& field(std::string_view key, bool value);

private:
    TraceEvent& number(std::string_view key, std::int64_t value);

    Trace& trace_;
    int exceptions_;
    std::string line_;
};

void appendJsonString(std::string& out, std::string_view utf8);

}  // namespace kdev
