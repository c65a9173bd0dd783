// Builds BMP files in memory for the tests, field by field, so that each
// test states exactly the header it means.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "picture/Graphics.h"

namespace corvane::testing {

struct TBmpLayout {
    uint32_t headerSize = 40;
    int32_t width = 1;
    int32_t height = 1;
    uint16_t planes = 1;
    uint16_t bitCount = 24;
    uint32_t compression = 0;
    uint32_t imageSize = 0;
    uint32_t colorsUsed = 0;
    std::vector<uint32_t> masks;  // written after a 40-byte header, or inside a longer one
    std::vector<TRGBQuad> table;  // 3-byte entries for a 12-byte header
    std::vector<uint8_t> pixels;  // pixel area exactly as stored
    uint32_t gapAfterTable = 0;   // junk bytes the data offset skips
    std::string signature = "BM";
};

inline void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

inline std::vector<uint8_t> BuildBmp(const TBmpLayout& s) {
    std::vector<uint8_t> info;
    Put32(info, s.headerSize);
    if (s.headerSize == 12) {
        Put16(info, static_cast<uint32_t>(s.width));
        Put16(info, static_cast<uint32_t>(s.height));
        Put16(info, s.planes);
        Put16(info, s.bitCount);
    } else {
        Put32(info, static_cast<uint32_t>(s.width));
        Put32(info, static_cast<uint32_t>(s.height));
        Put16(info, s.planes);
        Put16(info, s.bitCount);
        Put32(info, s.compression);
        Put32(info, s.imageSize);
        Put32(info, 2835);
        Put32(info, 2835);
        Put32(info, s.colorsUsed);
        Put32(info, 0);
        if (s.headerSize > 40)
            for (uint32_t m : s.masks) Put32(info, m);
        info.resize(s.headerSize, 0);
        if (s.headerSize == 40)
            for (uint32_t m : s.masks) Put32(info, m);
    }
    for (const TRGBQuad& q : s.table) {
        info.push_back(q.rgbBlue);
        info.push_back(q.rgbGreen);
        info.push_back(q.rgbRed);
        if (s.headerSize != 12) info.push_back(0);
    }
    info.insert(info.end(), s.gapAfterTable, 0xEE);
    std::vector<uint8_t> file;
    file.push_back(static_cast<uint8_t>(s.signature[0]));
    file.push_back(static_cast<uint8_t>(s.signature[1]));
    Put32(file, static_cast<uint32_t>(14 + info.size() + s.pixels.size()));
    Put32(file, 0);
    Put32(file, static_cast<uint32_t>(14 + info.size()));
    file.insert(file.end(), info.begin(), info.end());
    file.insert(file.end(), s.pixels.begin(), s.pixels.end());
    return file;
}

inline TRGBQuad Quad(uint8_t r, uint8_t g, uint8_t b) {
    return TRGBQuad{b, g, r, 0};
}

// Rows of bytes, each padded to 4 bytes, in the order given.
inline std::vector<uint8_t> PaddedRows(const std::vector<std::vector<uint8_t>>& rows) {
    std::vector<uint8_t> out;
    for (const auto& row : rows) {
        out.insert(out.end(), row.begin(), row.end());
        while (out.size() % 4) out.push_back(0);
    }
    return out;
}

}  // namespace corvane::testing
