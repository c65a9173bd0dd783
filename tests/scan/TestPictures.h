// Picture files for the engine's tests: BMP, JPEG and GIF files made from a
// seeded pattern, and the small file-system helpers the tests share.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "picture/jpeg/JpegCodec.h"

namespace corvane::test {

// Pixels as blue, green, red triplets, rows top-down.
struct TPattern {
    int Width = 0;
    int Height = 0;
    std::vector<uint8_t> Bgr;
};

// A picture whose block averages depend on Seed: a gradient plus a few
// rectangles of seeded colours.
inline TPattern MakePattern(uint32_t seed, int width = 64, int height = 48) {
    std::mt19937 random(seed);
    TPattern pattern{width, height, std::vector<uint8_t>(static_cast<size_t>(width) * height * 3)};
    const int base[3] = {static_cast<int>(random() % 200), static_cast<int>(random() % 200),
                         static_cast<int>(random() % 200)};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &pattern.Bgr[(static_cast<size_t>(y) * width + x) * 3];
            for (int c = 0; c < 3; ++c)
                p[c] = static_cast<uint8_t>(base[c] + (x + y) * 55 / (width + height));
        }
    }
    for (int r = 0; r < 4; ++r) {
        const int x0 = static_cast<int>(random() % width), y0 = static_cast<int>(random() % height);
        const int w = 1 + static_cast<int>(random() % (width / 2)),
                  h = 1 + static_cast<int>(random() % (height / 2));
        const uint8_t color[3] = {static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                                  static_cast<uint8_t>(random())};
        for (int y = y0; y < std::min(height, y0 + h); ++y) {
            for (int x = x0; x < std::min(width, x0 + w); ++x) {
                uint8_t* p = &pattern.Bgr[(static_cast<size_t>(y) * width + x) * 3];
                for (int c = 0; c < 3; ++c) p[c] = color[c];
            }
        }
    }
    return pattern;
}

inline void WriteBytes(const std::string& fileName, const std::string& bytes) {
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadBytes(const std::string& fileName) {
    std::ifstream in(fileName, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void PutLE(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A 24-bit bottom-up BMP file.
inline void WriteBmp(const std::string& fileName, const TPattern& pattern) {
    const uint32_t rowBytes = (static_cast<uint32_t>(pattern.Width) * 3 + 3) & ~3u;
    const uint32_t imageBytes = rowBytes * static_cast<uint32_t>(pattern.Height);
    std::string out = "BM";
    PutLE(out, 54 + imageBytes, 4);
    PutLE(out, 0, 4);
    PutLE(out, 54, 4);
    PutLE(out, 40, 4);
    PutLE(out, static_cast<uint32_t>(pattern.Width), 4);
    PutLE(out, static_cast<uint32_t>(pattern.Height), 4);
    PutLE(out, 1, 2);
    PutLE(out, 24, 2);
    PutLE(out, 0, 4);
    PutLE(out, imageBytes, 4);
    PutLE(out, 2835, 4);
    PutLE(out, 2835, 4);
    PutLE(out, 0, 4);
    PutLE(out, 0, 4);
    for (int y = pattern.Height - 1; y >= 0; --y) {
        const char* row =
            reinterpret_cast<const char*>(&pattern.Bgr[static_cast<size_t>(y) * pattern.Width * 3]);
        out.append(row, static_cast<size_t>(pattern.Width) * 3);
        out.append(rowBytes - static_cast<size_t>(pattern.Width) * 3, '\0');
    }
    WriteBytes(fileName, out);
}

inline std::string EncodeJpegBytes(const TPattern& pattern, int quality = 90) {
    std::string out;
    TJpegEncodeOptions options;
    options.quality = quality;
    EncodeJpeg(
        static_cast<uint32_t>(pattern.Width), static_cast<uint32_t>(pattern.Height),
        TJpegInputLayout::BGR,
        [&](uint32_t y) { return &pattern.Bgr[static_cast<size_t>(y) * pattern.Width * 3]; },
        options,
        [&](const uint8_t* bytes, size_t count) {
            out.append(reinterpret_cast<const char*>(bytes), count);
            return count;
        });
    return out;
}

inline void WriteJpeg(const std::string& fileName, const TPattern& pattern, int quality = 90) {
    WriteBytes(fileName, EncodeJpegBytes(pattern, quality));
}

// A GIF89a file with a 256-entry 3-3-2 colour table; LZW codes stay 9 bits
// wide because a clear code follows every 254 literal codes.
inline void WriteGif(const std::string& fileName, const TPattern& pattern) {
    std::string out = "GIF89a";
    PutLE(out, static_cast<uint32_t>(pattern.Width), 2);
    PutLE(out, static_cast<uint32_t>(pattern.Height), 2);
    out += static_cast<char>(0xF7);
    out += '\0';
    out += '\0';
    for (int i = 0; i < 256; ++i) {
        out += static_cast<char>((i >> 5) * 255 / 7);
        out += static_cast<char>(((i >> 2) & 7) * 255 / 7);
        out += static_cast<char>((i & 3) * 255 / 3);
    }
    out += ',';
    PutLE(out, 0, 4);
    PutLE(out, static_cast<uint32_t>(pattern.Width), 2);
    PutLE(out, static_cast<uint32_t>(pattern.Height), 2);
    out += '\0';
    out += static_cast<char>(8);
    std::string data;
    uint32_t bitBuffer = 0;
    int bitCount = 0;
    auto emit = [&](uint32_t code) {
        bitBuffer |= code << bitCount;
        bitCount += 9;
        while (bitCount >= 8) {
            data += static_cast<char>(bitBuffer & 0xFF);
            bitBuffer >>= 8;
            bitCount -= 8;
        }
    };
    int sinceClear = 0;
    emit(256);
    for (size_t i = 0; i < pattern.Bgr.size(); i += 3) {
        if (sinceClear == 254) {
            emit(256);
            sinceClear = 0;
        }
        const uint8_t b = pattern.Bgr[i], g = pattern.Bgr[i + 1], r = pattern.Bgr[i + 2];
        emit(static_cast<uint32_t>((r >> 5) << 5 | (g >> 5) << 2 | (b >> 6)));
        ++sinceClear;
    }
    emit(257);
    if (bitCount > 0) data += static_cast<char>(bitBuffer & 0xFF);
    for (size_t i = 0; i < data.size(); i += 255) {
        const size_t n = std::min<size_t>(255, data.size() - i);
        out += static_cast<char>(n);
        out.append(data, i, n);
    }
    out += '\0';
    out += ';';
    WriteBytes(fileName, out);
}

// A fresh folder under the system's temporary folder, removed at the end.
class TTempFolder {
  public:
    TTempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "corvane-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
        path_ += '/';
    }
    ~TTempFolder() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    TTempFolder(const TTempFolder&) = delete;
    TTempFolder& operator=(const TTempFolder&) = delete;
    // The folder, ending in "/".
    const std::string& Path() const { return path_; }
    std::string Make(const std::string& relative) const {
        std::filesystem::create_directories(path_ + relative);
        return path_ + relative + (relative.empty() || relative.back() == '/' ? "" : "/");
    }

  private:
    std::string path_;
};

inline bool Exists(const std::string& fileName) {
    struct stat info;
    return ::lstat(fileName.c_str(), &info) == 0;
}

// Sets the modification time (seconds since 1970).
inline void SetMTime(const std::string& fileName, time_t seconds) {
    const struct timespec times[2] = {{seconds, 0}, {seconds, 0}};
    ::utimensat(AT_FDCWD, fileName.c_str(), times, 0);
}

inline time_t MTime(const std::string& fileName) {
    struct stat info;
    return ::stat(fileName.c_str(), &info) == 0 ? info.st_mtime : 0;
}

}  // namespace corvane::test
