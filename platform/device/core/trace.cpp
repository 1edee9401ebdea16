#include "core/trace.h"

namespace kdev {

Trace::~Trace() {
    if (file_ && ownsFile_) std::fclose(file_);
}

bool Trace::open(const std::string& path) {
    if (path == "-") {
        file_ = stderr;
        ownsFile_ = false;
        return true;
    }
    file_ = std::fopen(path.c_str(), "w");
    ownsFile_ = file_ != nullptr;
    return file_ != nullptr;
}

void Trace::write(const std::string& line) {
    if (!file_) return;
    std::fputs(line.c_str(), file_);
    std::fputc('\n', file_);
    std::fflush(file_);
}

TraceEvent::TraceEvent(Trace& trace, std::string_view event) : trace_(trace) {
    if (!trace_.enabled()) return;
    line_ = "{\"event\":";
    appendJsonString(line_, event);
}

TraceEvent::~TraceEvent() {
    if (!trace_.enabled()) return;
    line_ += '}';
    trace_.write(line_);
}

TraceEvent& TraceEvent::field(std::string_view key, std::string_view value) {
    if (!trace_.enabled()) return *this;
    line_ += ',';
    appendJsonString(line_, key);
    line_ += ':';
    appendJsonString(line_, value);
    return *this;
}

TraceEvent& TraceEvent::field(std::string_view key, std::u16string_view value) {
    if (!trace_.enabled()) return *this;
    return field(key, std::string_view(toUtf8(value)));
}

TraceEvent& TraceEvent::field(std::string_view key, const char16_t* value) {
    return field(key, value ? std::u16string_view(value) : std::u16string_view());
}

TraceEvent& TraceEvent::field(std::string_view key, std::int64_t value) {
    if (!trace_.enabled()) return *this;
    line_ += ',';
    appendJsonString(line_, key);
    line_ += ':';
    line_ += std::to_string(value);
    return *this;
}

TraceEvent& TraceEvent::field(std::string_view key, bool value) {
    if (!trace_.enabled()) return *this;
    line_ += ',';
    appendJsonString(line_, key);
    line_ += value ? ":true" : ":false";
    return *this;
}

std::string toUtf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c < 0xE000) {
            c = 0xFFFD;  // a lone surrogate
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

std::u16string toUtf16(std::string_view s) {
    std::u16string out;
    for (std::size_t i = 0; i < s.size();) {
        auto b = static_cast<unsigned char>(s[i]);
        std::uint32_t c = 0xFFFD;
        std::size_t n = 1;
        if (b < 0x80) {
            c = b;
        } else if ((b >> 5) == 6 && i + 1 < s.size()) {
            c = ((b & 0x1F) << 6) | (s[i + 1] & 0x3F);
            n = 2;
        } else if ((b >> 4) == 14 && i + 2 < s.size()) {
            c = ((b & 0x0F) << 12) | ((s[i + 1] & 0x3F) << 6) | (s[i + 2] & 0x3F);
            n = 3;
        } else if ((b >> 3) == 30 && i + 3 < s.size()) {
            c = ((b & 0x07) << 18) | ((s[i + 1] & 0x3F) << 12) | ((s[i + 2] & 0x3F) << 6) |
                (s[i + 3] & 0x3F);
            n = 4;
        }
        i += n;
        if (c >= 0x10000 && c < 0x110000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

void appendJsonString(std::string& out, std::string_view s) {
    static const char* hex = "0123456789abcdef";
    out += '"';
    for (char ch : s) {
        auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20) {
                    out += "\\u00";
                    out += hex[c >> 4];
                    out += hex[c & 15];
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

}  // namespace kdev
