// The one check for writes outside the drawing area, for the tests of the primitives, the
// demonstrations and the device: the screen's memory is filled with a known value first, and
// afterwards every word that is not a pixel of the drawing area (the command bar's rows, the
// padding of each row, the words a turned or mirrored layout leaves) must still hold it. The
// guard pages around the memory catch a write beyond it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/screen.h"

namespace fixture {

class StrayWriteScan {
public:
    // The drawing area: every pixel of the rows from barHeight (0 when below it) down.
    StrayWriteScan(const kdev::Screen& screen, int barHeight)
        : screen_(&screen), inArea_(screen.memoryPixels(), false) {
        for (int y = std::max(barHeight, 0); y < screen.height(); ++y)
            for (int x = 0; x < screen.width(); ++x)
                inArea_[static_cast<std::size_t>(screen.at(x, y) - screen.memory())] = true;
    }

    // Words outside the drawing area that no longer hold `background`: each one a stray write.
    std::size_t count(std::uint16_t background = 0) const {
        const std::uint16_t* memory = screen_->memory();
        std::size_t stray = 0;
        for (std::size_t i = 0; i < inArea_.size(); ++i)
            if (!inArea_[i] && memory[i] != background) ++stray;
        return stray;
    }

private:
    const kdev::Screen* screen_;
    std::vector<bool> inArea_;  // memory words that are pixels of the drawing area
};

}  // namespace fixture
