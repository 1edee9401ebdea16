// Animated PNG (APNG) of the device screen, written over zlib: Debian's libpng reads and writes
// still pictures only, and the three chunks an animation adds (acTL, fcTL, fdAT) are a few
// lines each. Every frame is 8-bit RGB, each pixel widened as in every picture of the screen;
// a frame after the first holds only the rectangle that changed, put over the one before
// (dispose none, blend source). Frames are kept compressed until the end, since the frame count
// comes first in the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace khost {

class ApngWriter {
public:
    // `rgb` maps each 16-bit pixel value to 0x00BBGGRR (65536 entries). Frame times are ticks of
    // 1/ticksPerSecond second (the display's refreshes).
    ApngWriter(int width, int height, std::vector<std::uint32_t> rgb, int ticksPerSecond);

    // The logical screen (rows top to bottom) as shown from `tick` on. A frame for the tick of
    // the one before replaces it (the display never showed that one); a frame like the one
    // before only lengthens it. Ticks never go back: an earlier one counts as the last one's.
    void frame(const std::vector<std::uint16_t>& pixels, std::int64_t tick);

    // The whole file, the last frame shown until endTick and at least a second.
    std::string finish(std::int64_t endTick);

    // Distinct frames so far (the one still open included).
    std::size_t frames() const { return frames_.size() + (havePending_ ? 1 : 0); }

private:
    struct Frame {
        int x = 0, y = 0, width = 0, height = 0;
        std::int64_t tick = 0;
        std::string data;  // zlib stream of the filtered rows
    };
    void close();
    std::string encode(const std::vector<std::uint16_t>& pixels, int x, int y, int w, int h) const;

    int width_;
    int height_;
    std::vector<std::uint32_t> rgb_;
    int ticksPerSecond_;
    std::vector<Frame> frames_;
    std::vector<std::uint16_t> last_;  // the last frame in frames_, whole
    std::vector<std::uint16_t> pending_;
    std::int64_t pendingTick_ = 0;
    bool havePending_ = false;
};

}  // namespace khost
