#include "review/PictureSize.h"

#include <fstream>
#include <iterator>
#include <vector>

#include "picture/jpeg/JpegCodec.h"

namespace corvane {

namespace {

uint32_t Little16(const uint8_t* p) {
    return p[0] | (uint32_t{p[1]} << 8);
}

int32_t Little32(const uint8_t* p) {
    return static_cast<int32_t>(p[0] | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) |
                                (uint32_t{p[3]} << 24));
}

bool StartsWith(const uint8_t* data, size_t size, std::string_view magic) {
    return size >= magic.size() && std::equal(magic.begin(), magic.end(), data,
                                              [](char m, uint8_t d) { return uint8_t(m) == d; });
}

std::optional<int64_t> Product(int64_t width, int64_t height) {
    if (width <= 0 || height <= 0) return std::nullopt;
    return width * height;
}

// The info header: 12 bytes (16-bit sizes) or 40 and more (32-bit sizes, a
// negative height for top-down rows).
std::optional<int64_t> BmpPixels(const uint8_t* data, size_t size) {
    if (size < 26) return std::nullopt;
    const int32_t headerSize = Little32(data + 14);
    if (headerSize == 12) return Product(Little16(data + 18), Little16(data + 20));
    if (headerSize < 40) return std::nullopt;
    const int64_t height = Little32(data + 22);
    return Product(Little32(data + 18), height < 0 ? -height : height);
}

bool IsJpeg(const uint8_t* data, size_t size) {
    return size >= 2 && data[0] == 0xFF && data[1] == 0xD8;
}

}  // namespace

std::optional<int64_t> PicturePixels(const uint8_t* data, size_t size) {
    if (StartsWith(data, size, "GIF87a") || StartsWith(data, size, "GIF89a")) {
        if (size < 10) return std::nullopt;
        return Product(Little16(data + 6), Little16(data + 8));
    }
    if (StartsWith(data, size, "BM")) return BmpPixels(data, size);
    if (!IsJpeg(data, size)) return std::nullopt;
    try {
        const TJpegHeader header = ReadJpegHeader(data, size);
        return Product(header.width, header.height);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::optional<int64_t> PictureFilePixels(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) return std::nullopt;
    // GIF and BMP sizes lie in the first bytes; a JPEG frame header may follow
    // long metadata, so a JPEG is read whole.
    std::vector<uint8_t> bytes(64);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(in.gcount()));
    if (IsJpeg(bytes.data(), bytes.size())) {
        bytes.insert(bytes.end(), std::istreambuf_iterator<char>(in),
                     std::istreambuf_iterator<char>());
    }
    return PicturePixels(bytes.data(), bytes.size());
}

}  // namespace corvane
