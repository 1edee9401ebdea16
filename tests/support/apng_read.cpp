#include "apng_read.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>

#include "temp_files.h"

namespace {

std::uint32_t be32(const std::string& s, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 2])) << 8 |
           static_cast<unsigned char>(s[at + 3]);
}

unsigned be16(const std::string& s, std::size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(s[at])) << 8 |
           static_cast<unsigned char>(s[at + 1]);
}

struct Region {
    unsigned width = 0, height = 0, x = 0, y = 0;
    int delayNum = 0, delayDen = 0;
    int dispose = 0, blend = 0;
    std::string data;
};

int paeth(int a, int b, int c) {
    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// The region's 8-bit RGB rows, unfiltered; empty after any damage.
std::string decode(const Region& r, std::string* error) {
    const std::size_t stride = static_cast<std::size_t>(r.width) * 3;
    std::string raw((stride + 1) * r.height, '\0');
    uLongf size = static_cast<uLongf>(raw.size());
    if (uncompress(reinterpret_cast<Bytef*>(raw.data()), &size,
                   reinterpret_cast<const Bytef*>(r.data.data()),
                   static_cast<uLong>(r.data.size())) != Z_OK ||
        size != raw.size()) {
        *error = "a frame's data does not inflate to its size";
        return {};
    }
    std::string out(stride * r.height, '\0');
    for (std::size_t y = 0; y < r.height; ++y) {
        const int type = static_cast<unsigned char>(raw[y * (stride + 1)]);
        if (type > 4) {
            *error = "filter type " + std::to_string(type);
            return {};
        }
        for (std::size_t i = 0; i < stride; ++i) {
            const int x = static_cast<unsigned char>(raw[y * (stride + 1) + 1 + i]);
            const int a = i >= 3 ? static_cast<unsigned char>(out[y * stride + i - 3]) : 0;
            const int b = y > 0 ? static_cast<unsigned char>(out[(y - 1) * stride + i]) : 0;
            const int c =
                y > 0 && i >= 3 ? static_cast<unsigned char>(out[(y - 1) * stride + i - 3]) : 0;
            const int predicted = type == 0   ? 0
                                  : type == 1 ? a
                                  : type == 2 ? b
                                  : type == 3 ? (a + b) / 2
                                              : paeth(a, b, c);
            out[y * stride + i] = static_cast<char>((x + predicted) & 0xFF);
        }
    }
    return out;
}

}  // namespace

Apng readApng(const std::string& path) {
    Apng apng;
    const std::string s = readFile(path);
    auto fail = [&](const std::string& why) {
        apng.error = why;
        apng.frames.clear();
        return apng;
    };
    if (s.size() < 8 || s.compare(0, 8, std::string("\x89PNG\r\n\x1a\n", 8)) != 0)
        return fail("not a PNG");
    std::vector<Region> regions;
    unsigned declared = 0;
    std::uint32_t sequence = 0;
    bool ended = false, sawIdat = false;
    for (std::size_t at = 8; at < s.size();) {
        if (s.size() - at < 12) return fail("a chunk is cut short");
        const std::uint32_t length = be32(s, at);
        if (length > s.size() - at - 12) return fail("a chunk is cut short");
        const std::string type = s.substr(at + 4, 4);
        const std::string body = s.substr(at + 8, length);
        const auto crc = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(s.data() + at + 4), length + 4));
        if (crc != be32(s, at + 8 + length)) return fail(type + ": bad CRC");
        at += 12 + length;
        if (type == "IHDR") {
            if (length != 13 || body[8] != 8 || body[9] != 2 || body[12] != 0)
                return fail("not 8-bit RGB without interlace");
            apng.width = static_cast<int>(be32(body, 0));
            apng.height = static_cast<int>(be32(body, 4));
        } else if (type == "acTL") {
            if (length != 8) return fail("acTL size");
            declared = be32(body, 0);
            apng.plays = be32(body, 4);
        } else if (type == "fcTL" || type == "fdAT") {
            if (length < 4 || be32(body, 0) != sequence++) return fail(type + ": out of sequence");
            if (type == "fdAT") {
                if (regions.empty()) return fail("fdAT before fcTL");
                regions.back().data += body.substr(4);
                continue;
            }
            if (length != 26) return fail("fcTL size");
            Region r;
            r.width = be32(body, 4);
            r.height = be32(body, 8);
            r.x = be32(body, 12);
            r.y = be32(body, 16);
            r.delayNum = static_cast<int>(be16(body, 20));
            r.delayDen = static_cast<int>(be16(body, 22));
            r.dispose = body[24];
            r.blend = body[25];
            if (r.width == 0 || r.height == 0 || r.x + r.width > unsigned(apng.width) ||
                r.y + r.height > unsigned(apng.height) || r.dispose > 2 || r.blend > 1)
                return fail("fcTL outside the picture or with unknown operations");
            regions.push_back(r);
        } else if (type == "IDAT") {
            if (regions.size() != 1) return fail("IDAT is not the first frame's");
            sawIdat = true;
            regions.back().data += body;
        } else if (type == "IEND") {
            ended = true;
            break;
        }
    }
    if (!ended || !sawIdat) return fail("no IEND or no IDAT");
    if (declared != regions.size()) return fail("acTL counts another number of frames");
    if (regions.empty() || regions[0].x != 0 || regions[0].y != 0 ||
        regions[0].width != unsigned(apng.width) || regions[0].height != unsigned(apng.height))
        return fail("the first frame is not the whole picture");

    RgbImage canvas;
    canvas.width = apng.width;
    canvas.height = apng.height;
    canvas.rgb.assign(static_cast<std::size_t>(apng.width) * apng.height * 3, 0);
    for (const Region& r : regions) {
        const std::string rows = decode(r, &apng.error);
        if (!apng.error.empty()) return fail(apng.error);
        const RgbImage before = canvas;
        // Without alpha, blending over is the same as replacing.
        for (unsigned y = 0; y < r.height; ++y)
            for (std::size_t i = 0; i < r.width * 3; ++i)
                canvas.rgb[((r.y + y) * canvas.width + r.x) * 3 + i] =
                    static_cast<std::uint8_t>(rows[y * r.width * 3 + i]);
        apng.frames.push_back({canvas, r.delayNum, r.delayDen});
        if (r.dispose == 1)
            for (unsigned y = 0; y < r.height; ++y)
                for (std::size_t i = 0; i < r.width * 3; ++i)
                    canvas.rgb[((r.y + y) * canvas.width + r.x) * 3 + i] = 0;
        if (r.dispose == 2) canvas = before;
    }
    return apng;
}

std::uint16_t rgbTo565(std::uint32_t bgr) {
    return static_cast<std::uint16_t>(((bgr >> 8) & 0xF800) | ((bgr >> 5) & 0x7E0) |
                                      ((bgr >> 3) & 0x1F));
}

std::vector<std::uint16_t> pixels565(const RgbImage& picture) {
    std::vector<std::uint16_t> out;
    out.reserve(static_cast<std::size_t>(picture.width) * picture.height);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x) out.push_back(rgbTo565(picture.at(x, y)));
    return out;
}
