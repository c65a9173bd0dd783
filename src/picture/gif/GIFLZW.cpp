#include "picture/gif/GIFLZW.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "picture/gif/GIFImage.h"

namespace corvane {

namespace {
constexpr int64_t kChunk = 16;  // short strings are copied as one 16-byte block
constexpr int32_t kPassStart[4] = {0, 4, 2, 1};
constexpr int32_t kPassStep[4] = {8, 8, 4, 2};
}  // namespace

// ------------------------------------------------------------ row order

TGIFRowOrder::TGIFRowOrder(int32_t height, bool interlaced)
    : height_(height), interlaced_(interlaced), step_(interlaced ? kPassStep[0] : 1) {
    done_ = height <= 0;
}

void TGIFRowOrder::Next() {
    row_ += step_;
    while (row_ >= height_) {
        if (!interlaced_ || pass_ == 3) {
            done_ = true;
            return;
        }
        ++pass_;
        row_ = kPassStart[pass_];
        step_ = kPassStep[pass_];
    }
}

// ------------------------------------------------------------ bit reader

TGIFBitReader::TGIFBitReader(TGIFReader& reader, const TGIFWarningSink& warn)
    : reader_(reader), warn_(warn) {}

bool TGIFBitReader::Refill(int size) {
    for (;;) {
        if (blockLen_ - blockPos_ >= 8) {
            // Whole bytes that fit in the accumulator, in one load.
            uint64_t word;
            std::memcpy(&word, block_ + blockPos_, sizeof word);
            const int take = (63 - bits_) >> 3;
            acc_ |= (take == 8 ? word : word & ((uint64_t{1} << (take * 8)) - 1)) << bits_;
            blockPos_ += take;
            bits_ += take * 8;
        }
        while (bits_ <= 56 && blockPos_ < blockLen_) {
            acc_ |= static_cast<uint64_t>(block_[blockPos_++]) << bits_;
            bits_ += 8;
        }
        if (bits_ >= size) return true;
        if (!NextBlock()) {
            warn_("Decoder bit buffer under-run");
            return false;
        }
    }
}

bool TGIFBitReader::NextBlock() {
    if (ended_) return false;
    int announced = reader_.ReadByte();
    if (announced <= 0) {
        ended_ = true;  // the empty sub-block, or no more data at all
        return false;
    }
    size_t got = reader_.Read(block_, static_cast<size_t>(announced));
    if (got < static_cast<size_t>(announced)) warn_("Premature end of data");
    blockPos_ = 0;
    blockLen_ = static_cast<int>(got);
    return true;
}

void TGIFBitReader::SkipRemainingBlocks() {
    while (!ended_) {
        int announced = reader_.ReadByte();
        if (announced <= 0) break;
        if (reader_.Read(block_, static_cast<size_t>(announced)) < static_cast<size_t>(announced)) {
            warn_("Premature end of data");
            break;
        }
    }
    ended_ = true;
    blockPos_ = blockLen_ = 0;
}

// ------------------------------------------------------------ decoder

TGIFLZWDecoder::TGIFLZWDecoder(TGIFReader& reader, int minCodeSize, const TGIFWarningSink& warn)
    : bits_(reader, warn),
      clearCode_(1u << minCodeSize),
      endCode_(clearCode_ + 1),
      minCodeSize_(minCodeSize) {
    Reset();
}

void TGIFLZWDecoder::Reset() {
    codeSize_ = minCodeSize_ + 1;
    sizeLimit_ = 1u << codeSize_;
    nextFree_ = clearCode_ + 2;
}

void TGIFLZWDecoder::Decode(uint8_t* pixels, int32_t width, int32_t height, bool interlaced,
                            uint8_t fill) {
    const int64_t total = static_cast<int64_t>(width) * height;
    if (total <= 0) return;
    if (firstCode_) {
        uint32_t code;
        if (!bits_.ReadCode(codeSize_, code)) return;
        firstCode_ = false;  // whatever it holds, the first code clears
        Reset();
    }
    if (pixels == nullptr) {
        DecodeLinear<false>(nullptr, total, fill);
    } else if (!interlaced) {
        DecodeLinear<true>(pixels, total, fill);
    } else {
        // Decoded in stored row order first, then each row moved to its place;
        // the extra buffer lives only while the frame loads.
        std::vector<uint8_t> stored(static_cast<size_t>(total), fill);
        DecodeLinear<true>(stored.data(), total, fill);
        const uint8_t* row = stored.data();
        for (TGIFRowOrder order(height, true); !order.Done(); order.Next(), row += width)
            std::memcpy(pixels + static_cast<ptrdiff_t>(order.Row()) * width, row,
                        static_cast<size_t>(width));
    }
}

// Inlined: called once per code, millions of times per picture.
[[gnu::always_inline]] inline void TGIFLZWDecoder::CopyString(uint8_t* pixels, int64_t pos,
                                                              uint32_t start, int64_t length,
                                                              int64_t total) {
    uint8_t* dst = pixels + pos;
    const uint8_t* src = pixels + start;
    const int64_t room = total - pos;
    const int64_t distance = dst - src;
    if (length <= kChunk && room >= kChunk && distance >= kChunk) {
        std::memcpy(dst, src, kChunk);  // over-copies; the caller restores the tail
    } else if (distance >= length) {
        std::memcpy(dst, src, static_cast<size_t>(std::min(length, room)));
    } else {
        // The entry just made: the previous string and its own first index.
        const int64_t n = std::min(length, room);
        for (int64_t i = 0; i < n; ++i) dst[i] = src[i];
    }
}

template <bool kWrite>
void TGIFLZWDecoder::DecodeLinear(uint8_t* pixels, int64_t total, uint8_t fill) {
    // Hot state in locals: stores through the pixel pointer could alias members.
    const uint32_t clearCode = clearCode_, endCode = endCode_;
    uint32_t nextFree = nextFree_, sizeLimit = sizeLimit_;
    int codeSize = codeSize_;
    uint64_t acc;
    int bits;
    bits_.Take(acc, bits);
    int64_t pos = 0;
    bool havePrev = false;
    uint32_t prevPos = 0, prevLen = 0;
    auto addEntry = [&] {
        start_[nextFree] = prevPos;
        length_[nextFree] = static_cast<uint16_t>(prevLen + 1);
        if (++nextFree >= sizeLimit && codeSize < kGIFMaxCodeSize) {
            ++codeSize;
            sizeLimit <<= 1;
        }
    };
    while (pos < total) {
        if (bits < codeSize) {
            bits_.Store(acc, bits);
            const bool more = bits_.Refill(codeSize);
            bits_.Take(acc, bits);
            if (!more) break;
        }
        const uint32_t code = static_cast<uint32_t>(acc) & ((1u << codeSize) - 1);
        acc >>= codeSize;
        bits -= codeSize;
        if (code == clearCode) {
            codeSize = minCodeSize_ + 1;
            sizeLimit = 1u << codeSize;
            nextFree = clearCode + 2;
            havePrev = false;
            continue;
        }
        if (code == endCode) break;
        int64_t length = 1;
        if (code < clearCode) {
            // The previous string plus this index lie together from prevPos.
            if (havePrev && nextFree < kGIFTableSize) addEntry();
            if constexpr (kWrite) pixels[pos] = static_cast<uint8_t>(code);
        } else {
            if (!havePrev || code > nextFree) throw GIFException("Circular decoder table entry");
            if (nextFree < kGIFTableSize) addEntry();
            length = length_[code];
            if constexpr (kWrite) CopyString(pixels, pos, start_[code], length, total);
        }
        prevPos = static_cast<uint32_t>(pos);
        prevLen = static_cast<uint32_t>(length);
        havePrev = true;
        pos += length;
    }
    bits_.Store(acc, bits);
    codeSize_ = codeSize;
    sizeLimit_ = sizeLimit;
    nextFree_ = nextFree;
    if (kWrite && pos < total)
        std::memset(pixels + pos, fill, static_cast<size_t>(std::min(kChunk, total - pos)));
}

void TGIFLZWDecoder::Finish() {
    uint32_t code;
    if (bits_.ReadCode(codeSize_, code) && code == endCode_) bits_.SkipRemainingBlocks();
}

}  // namespace corvane
