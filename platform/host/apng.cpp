#include "apng.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <new>
#include <stdexcept>

namespace khost {

namespace {

void put32(std::string& out, std::uint32_t v) {
    out += static_cast<char>(v >> 24);
    out += static_cast<char>(v >> 16);
    out += static_cast<char>(v >> 8);
    out += static_cast<char>(v);
}

void put16(std::string& out, unsigned v) {
    out += static_cast<char>(v >> 8);
    out += static_cast<char>(v);
}

void chunk(std::string& out, const char type[5], const std::string& body) {
    put32(out, static_cast<std::uint32_t>(body.size()));
    const std::size_t start = out.size();
    out.append(type, 4);
    out += body;
    const auto* bytes = reinterpret_cast<const Bytef*>(out.data() + start);
    put32(out, static_cast<std::uint32_t>(crc32(0, bytes, static_cast<uInt>(body.size() + 4))));
}

// The smallest sum of the filtered bytes taken as signed: the usual guess for the filter that
// compresses best. Rows are filtered with None, Sub or Up.
void filterRow(const std::string& row, const std::string& above, std::string& out) {
    const std::size_t n = row.size();
    std::string best;
    long bestCost = -1;
    for (char type = 0; type <= 2; ++type) {
        std::string f(n + 1, static_cast<char>(type));
        long cost = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const auto a = static_cast<unsigned char>(i >= 3 ? row[i - 3] : 0);
            const auto b = static_cast<unsigned char>(above.empty() ? 0 : above[i]);
            const auto x = static_cast<unsigned char>(row[i]);
            const unsigned char v = type == 0 ? x : type == 1 ? x - a : x - b;
            f[i + 1] = static_cast<char>(v);
            cost += std::abs(static_cast<signed char>(v));
        }
        if (bestCost < 0 || cost < bestCost) {
            bestCost = cost;
            best = std::move(f);
        }
    }
    out += best;
}

std::string deflate(const std::string& raw) {
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    std::string out(size, '\0');
    const int status =
        compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()), 9);
    if (status == Z_MEM_ERROR) throw std::bad_alloc();
    if (status != Z_OK) throw std::runtime_error("cannot compress a frame of the recording");
    out.resize(size);
    return out;
}

// A frame's time as num/den seconds, both 16-bit: in ticks while they fit, else in seconds.
void putDelay(std::string& out, std::int64_t ticks, int ticksPerSecond) {
    if (ticks <= 0xFFFF) {
        put16(out, static_cast<unsigned>(ticks));
        put16(out, static_cast<unsigned>(ticksPerSecond));
        return;
    }
    put16(out, static_cast<unsigned>(std::min<std::int64_t>(ticks / ticksPerSecond, 0xFFFF)));
    put16(out, 1);
}

}  // namespace

ApngWriter::ApngWriter(int width, int height, std::vector<std::uint32_t> rgb, int ticksPerSecond)
    : width_(width), height_(height), rgb_(std::move(rgb)), ticksPerSecond_(ticksPerSecond) {}

void ApngWriter::frame(const std::vector<std::uint16_t>& pixels, std::int64_t tick) {
    if (havePending_ && tick > pendingTick_) close();
    if (!havePending_) pendingTick_ = std::max(tick, frames_.empty() ? 0 : frames_.back().tick);
    pending_ = pixels;
    havePending_ = true;
}

// The open frame becomes part of the animation: the rectangle where it differs from the last.
void ApngWriter::close() {
    havePending_ = false;
    if (frames_.empty()) {
        frames_.push_back(
            {0, 0, width_, height_, pendingTick_, encode(pending_, 0, 0, width_, height_)});
        last_.swap(pending_);
        return;
    }
    int left = width_, top = height_, right = -1, bottom = -1;
    for (int y = 0; y < height_; ++y) {
        const std::size_t row = static_cast<std::size_t>(y) * width_;
        for (int x = 0; x < width_; ++x) {
            if (pending_[row + x] == last_[row + x]) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = y;
        }
    }
    if (right < 0) return;  // the same picture: the last frame is shown longer
    const int w = right - left + 1, h = bottom - top + 1;
    frames_.push_back({left, top, w, h, pendingTick_, encode(pending_, left, top, w, h)});
    last_.swap(pending_);
}

std::string ApngWriter::encode(const std::vector<std::uint16_t>& pixels, int x0, int y0, int w,
                               int h) const {
    std::string raw, row, above;
    raw.reserve(static_cast<std::size_t>(h) * (static_cast<std::size_t>(w) * 3 + 1));
    for (int y = y0; y < y0 + h; ++y) {
        row.clear();
        const std::uint16_t* p = pixels.data() + static_cast<std::size_t>(y) * width_ + x0;
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = rgb_[p[x]];
            row += static_cast<char>(c & 0xFF);
            row += static_cast<char>((c >> 8) & 0xFF);
            row += static_cast<char>((c >> 16) & 0xFF);
        }
        filterRow(row, above, raw);
        above.swap(row);
    }
    return deflate(raw);
}

std::string ApngWriter::finish(std::int64_t endTick) {
    if (!havePending_ && frames_.empty())
        frame(std::vector<std::uint16_t>(static_cast<std::size_t>(width_) *
                                         static_cast<std::size_t>(height_)),
              endTick);
    if (havePending_) close();
    std::string out("\x89PNG\r\n\x1a\n", 8);
    std::string body;
    put32(body, static_cast<std::uint32_t>(width_));
    put32(body, static_cast<std::uint32_t>(height_));
    body += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, not interlaced
    chunk(out, "IHDR", body);
    body.clear();
    put32(body, static_cast<std::uint32_t>(frames_.size()));
    put32(body, 0);  // played for ever
    chunk(out, "acTL", body);

    std::uint32_t sequence = 0;
    for (std::size_t i = 0; i < frames_.size(); ++i) {
        const Frame& f = frames_[i];
        const std::int64_t ticks = i + 1 < frames_.size()
                                       ? frames_[i + 1].tick - f.tick
                                       : std::max<std::int64_t>(endTick - f.tick, ticksPerSecond_);
        body.clear();
        put32(body, sequence++);
        put32(body, static_cast<std::uint32_t>(f.width));
        put32(body, static_cast<std::uint32_t>(f.height));
        put32(body, static_cast<std::uint32_t>(f.x));
        put32(body, static_cast<std::uint32_t>(f.y));
        putDelay(body, ticks, ticksPerSecond_);
        body += '\0';  // dispose: none
        body += '\0';  // blend: source
        chunk(out, "fcTL", body);
        // Chunks of at most 1 MiB, as encoders usually write them.
        constexpr std::size_t kChunk = 1 << 20;
        std::size_t at = 0;
        do {
            const std::string part = f.data.substr(at, kChunk);
            if (i == 0) {
                chunk(out, "IDAT", part);
            } else {
                body.clear();
                put32(body, sequence++);
                body += part;
                chunk(out, "fdAT", body);
            }
            at += kChunk;
        } while (at < f.data.size());
    }
    chunk(out, "IEND", "");
    return out;
}

}  // namespace khost
