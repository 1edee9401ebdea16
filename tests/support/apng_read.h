// Reads the animated PNGs of --record, checking what a decoder relies on: the signature, every
// chunk's CRC, the frame count, the sequence numbers, each frame inside the picture.
#pragma once

#include <string>
#include <vector>

#include "png_read.h"

struct ApngFrame {
    RgbImage picture;  // the whole picture once this frame is shown
    int delayNum = 0;
    int delayDen = 0;
    double seconds() const { return delayNum / double(delayDen == 0 ? 100 : delayDen); }
};

struct Apng {
    std::string error;  // empty when the file is a valid animation
    int width = 0;
    int height = 0;
    unsigned plays = 0;
    std::vector<ApngFrame> frames;
};

Apng readApng(const std::string& path);

// A colour of the screen (0x00BBGGRR) back to its 5-6-5 pixel (each channel's top bits, blue
// in the top field).
std::uint16_t rgbTo565(std::uint32_t bgr);
// The picture as 5-6-5 pixels, rows top to bottom.
std::vector<std::uint16_t> pixels565(const RgbImage& picture);
