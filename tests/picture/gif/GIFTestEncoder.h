// A small GIF writer for tests, fuzz seeds and benchmarks: it builds files
// block by block, so tests can also write damaged or unusual streams.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace corvane::giftest {

using Bytes = std::vector<uint8_t>;

struct RGB {
    uint8_t r = 0, g = 0, b = 0;
};

// Codes packed lowest bit first.
class CodeWriter {
  public:
    void Put(uint32_t code, int size) {
        acc_ |= static_cast<uint64_t>(code) << bits_;
        bits_ += size;
        while (bits_ >= 8) {
            bytes_.push_back(static_cast<uint8_t>(acc_));
            acc_ >>= 8;
            bits_ -= 8;
        }
    }
    Bytes Finish() {
        if (bits_ > 0) bytes_.push_back(static_cast<uint8_t>(acc_));
        acc_ = 0;
        bits_ = 0;
        return std::move(bytes_);
    }

  private:
    Bytes bytes_;
    uint64_t acc_ = 0;
    int bits_ = 0;
};

struct LZWOptions {
    bool leadingClear = true;  // a clear code first, as encoders should
    bool endCode = true;
    bool clearWhenFull = true;  // else keep coding with a full table
};

// LZW-compresses indices (in stream order) with minimum code size m.
inline Bytes EncodeLZW(const Bytes& indices, int m, LZWOptions options = {}) {
    const uint32_t clear = 1u << m, end = clear + 1;
    CodeWriter out;
    int size = m + 1;
    uint32_t next = clear + 2;
    // (prefix, index) -> code; an entry counts only when stamped with the
    // current generation, so a clear code empties the table in O(1).
    std::vector<uint32_t> codes(4096 * 256), stamps(4096 * 256, 0);
    uint32_t generation = 1;
    auto reset = [&] {
        ++generation;
        size = m + 1;
        next = clear + 2;
    };
    if (options.leadingClear) out.Put(clear, size);
    if (indices.empty()) {
        if (options.endCode) out.Put(end, size);
        return out.Finish();
    }
    uint32_t prefix = indices[0];
    for (size_t i = 1; i < indices.size(); ++i) {
        const size_t key = (static_cast<size_t>(prefix) << 8) | indices[i];
        if (stamps[key] == generation) {
            prefix = codes[key];
            continue;
        }
        out.Put(prefix, size);
        if (next < 4096) {
            stamps[key] = generation;
            codes[key] = next++;
            if (next > (1u << size) && size < 12) ++size;
        } else if (options.clearWhenFull) {
            out.Put(clear, size);
            reset();
        }
        prefix = indices[i];
    }
    out.Put(prefix, size);
    if (options.endCode) {
        // The decoder makes one more entry on the last code; follow its size.
        if (next < 4096 && next + 1 > (1u << size) && size < 12) ++size;
        out.Put(end, size);
    }
    return out.Finish();
}

// Data split into sub-blocks of at most blockSize bytes, then the empty one.
inline Bytes SubBlocks(const Bytes& data, size_t blockSize = 255, bool terminator = true) {
    Bytes out;
    for (size_t i = 0; i < data.size(); i += blockSize) {
        size_t n = std::min(blockSize, data.size() - i);
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + static_cast<ptrdiff_t>(i),
                   data.begin() + static_cast<ptrdiff_t>(i + n));
    }
    if (terminator) out.push_back(0);
    return out;
}

// Rows of a frame in the order they are stored (interlace passes).
inline std::vector<int> StoredRowOrder(int height, bool interlaced) {
    std::vector<int> rows;
    if (!interlaced) {
        for (int y = 0; y < height; ++y) rows.push_back(y);
        return rows;
    }
    const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = start[pass]; y < height; y += step[pass]) rows.push_back(y);
    return rows;
}

struct Frame {
    int left = 0, top = 0, width = 0, height = 0;
    Bytes pixels;  // width x height indices, top row first
    std::vector<RGB> localMap;
    bool interlaced = false;
    std::optional<uint8_t> transparentIndex;
    int minCodeSize = 8;
    size_t blockSize = 255;
    LZWOptions lzw;
};

// Size bits (0..7) for a colour table of at least count entries.
inline int TableSizeBits(size_t count) {
    int bits = 0;
    while ((2u << bits) < count && bits < 7) ++bits;
    return bits;
}

class Builder {
  public:
    Builder& Header(int width, int height, const std::vector<RGB>& globalMap = {},
                    const char* signature = "GIF89a") {
        Raw(std::string(signature, 6));
        Word(width);
        Word(height);
        if (globalMap.empty()) {
            bytes_.insert(bytes_.end(), {0, 0, 0});
        } else {
            const int bits = TableSizeBits(globalMap.size());
            bytes_.insert(bytes_.end(), {static_cast<uint8_t>(0x80 | bits), 0, 0});
            Map(globalMap, bits);
        }
        return *this;
    }
    Builder& GraphicControl(std::optional<uint8_t> transparentIndex, uint16_t delay = 0) {
        bytes_.insert(bytes_.end(),
                      {0x21, 0xF9, 4, static_cast<uint8_t>(transparentIndex ? 1 : 0)});
        Word(delay);
        bytes_.insert(bytes_.end(), {transparentIndex.value_or(0), 0});
        return *this;
    }
    Builder& Comment(const std::string& text) {
        bytes_.insert(bytes_.end(), {0x21, 0xFE});
        Append(SubBlocks(Bytes(text.begin(), text.end())));
        return *this;
    }
    Builder& NetscapeLoop(uint16_t loops) {
        bytes_.insert(bytes_.end(), {0x21, 0xFF, 11});
        Raw("NETSCAPE2.0");
        bytes_.insert(bytes_.end(), {3, 1});
        Word(loops);
        bytes_.push_back(0);
        return *this;
    }
    Builder& Descriptor(const Frame& f) {
        bytes_.push_back(',');
        Word(f.left);
        Word(f.top);
        Word(f.width);
        Word(f.height);
        uint8_t packed = f.interlaced ? 0x40 : 0;
        int bits = 0;
        if (!f.localMap.empty()) {
            bits = TableSizeBits(f.localMap.size());
            packed |= static_cast<uint8_t>(0x80 | bits);
        }
        bytes_.push_back(packed);
        if (!f.localMap.empty()) Map(f.localMap, bits);
        return *this;
    }
    // Image descriptor, local map and LZW data of a frame (with its graphic
    // control extension first when it is transparent).
    Builder& Image(const Frame& f) {
        if (f.transparentIndex) GraphicControl(f.transparentIndex);
        Descriptor(f);
        Bytes stored;
        for (int y : StoredRowOrder(f.height, f.interlaced))
            stored.insert(stored.end(), f.pixels.begin() + y * f.width,
                          f.pixels.begin() + (y + 1) * f.width);
        bytes_.push_back(static_cast<uint8_t>(f.minCodeSize));
        Append(SubBlocks(EncodeLZW(stored, f.minCodeSize, f.lzw), f.blockSize));
        return *this;
    }
    Builder& Trailer() {
        bytes_.push_back(';');
        return *this;
    }
    Builder& Raw(const std::string& s) {
        bytes_.insert(bytes_.end(), s.begin(), s.end());
        return *this;
    }
    Builder& Append(const Bytes& b) {
        bytes_.insert(bytes_.end(), b.begin(), b.end());
        return *this;
    }
    Builder& Word(int v) {
        bytes_.push_back(static_cast<uint8_t>(v));
        bytes_.push_back(static_cast<uint8_t>(v >> 8));
        return *this;
    }
    const Bytes& Data() const { return bytes_; }

  private:
    void Map(const std::vector<RGB>& map, int bits) {
        for (int i = 0; i < (2 << bits); ++i) {
            RGB c = i < static_cast<int>(map.size()) ? map[static_cast<size_t>(i)] : RGB{};
            bytes_.insert(bytes_.end(), {c.r, c.g, c.b});
        }
    }
    Bytes bytes_;
};

// A whole single-frame file.
inline Bytes SingleFrameGIF(int screenW, int screenH, const std::vector<RGB>& globalMap,
                            const Frame& frame) {
    return Builder().Header(screenW, screenH, globalMap).Image(frame).Trailer().Data();
}

// Deterministic test picture with some repetition, indices below colours.
inline Bytes PatternPixels(int width, int height, int colours, uint32_t seed = 1) {
    Bytes p(static_cast<size_t>(width) * height);
    uint32_t s = seed;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            s = s * 1103515245 + 12345;
            const int noise = (s >> 16) % 4 == 0 ? (s >> 8) % 3 : 0;
            p[static_cast<size_t>(y) * width + x] =
                static_cast<uint8_t>(((x / 7 + y / 5) + noise) % colours);
        }
    return p;
}

inline std::vector<RGB> Palette(int count) {
    std::vector<RGB> map;
    for (int i = 0; i < count; ++i)
        map.push_back({static_cast<uint8_t>(i * 37 + 5), static_cast<uint8_t>(i * 91 + 17),
                       static_cast<uint8_t>(255 - i * 13)});
    return map;
}

}  // namespace corvane::giftest
