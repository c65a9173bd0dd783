// Internal to the GIF reader: the variable-length LZW decoder of one frame's
// image data, writing colour indices into a frame buffer.
//
// Contract:
// - Clear code 2^m, end code 2^m + 1, first code size m + 1 bits, first free
//   code 2^m + 2, a table of 4096 entries. The code size grows by one bit when
//   the next free code reaches 2^size, up to 12 bits; with 4096 entries the
//   table stops growing. The first code read always acts as a clear code.
// - Codes are read lowest bit first from the data sub-blocks, fetched one
//   sub-block at a time only when bits are needed, so the stream stays right
//   after the last sub-block used.
// - A sub-block announcing more bytes than remain: warning "Premature end of
//   data", the bytes there are used. No bits left after the last sub-block:
//   warning "Decoder bit buffer under-run", the frame's data end.
// - A code above the next free code names an entry that does not exist yet
//   (its string would have to contain itself): GIFException "Circular decoder
//   table entry". So does a non-literal code straight after a clear.
#pragma once

#include <cstdint>

#include "picture/gif/GIFReader.h"

namespace corvane {

inline constexpr int kGIFMaxCodeSize = 12;
inline constexpr int kGIFTableSize = 1 << kGIFMaxCodeSize;
inline constexpr int kGIFMaxMinCodeSize = 11;

// Row order of a frame: top to bottom, or the four interlace passes.
class TGIFRowOrder {
  public:
    TGIFRowOrder(int32_t height, bool interlaced);
    // Current row; valid while !Done().
    int32_t Row() const { return row_; }
    bool Done() const { return done_; }
    void Next();

  private:
    int32_t height_;
    bool interlaced_;
    int pass_ = 0;
    int32_t row_ = 0;
    int32_t step_ = 1;
    bool done_ = false;
};

// Data sub-blocks as a bit stream.
class TGIFBitReader {
  public:
    TGIFBitReader(TGIFReader& reader, const TGIFWarningSink& warn);
    // Next code of size bits; false (after the under-run warning) when the
    // data are used up.
    bool ReadCode(int size, uint32_t& code) {
        if (bits_ < size && !Refill(size)) return false;
        code = static_cast<uint32_t>(acc_) & ((1u << size) - 1);
        acc_ >>= size;
        bits_ -= size;
        return true;
    }
    // Skips the remaining sub-blocks up to and including the empty one.
    void SkipRemainingBlocks();

    // For hot loops that keep the accumulator in locals: hand it back, refill
    // to at least size bits (false: under-run), take it again.
    void Store(uint64_t acc, int bits) {
        acc_ = acc;
        bits_ = bits;
    }
    void Take(uint64_t& acc, int& bits) const {
        acc = acc_;
        bits = bits_;
    }
    bool Refill(int size);

  private:
    bool NextBlock();

    TGIFReader& reader_;
    const TGIFWarningSink& warn_;
    uint64_t acc_ = 0;
    int bits_ = 0;
    uint8_t block_[256 + 8];  // room for 8-byte loads at the end
    int blockPos_ = 0;
    int blockLen_ = 0;
    bool ended_ = false;
};

class TGIFLZWDecoder {
  public:
    // minCodeSize must be 0..11 (the caller rejects larger ones).
    TGIFLZWDecoder(TGIFReader& reader, int minCodeSize, const TGIFWarningSink& warn);

    // Decodes up to width x height indices. pixels: width x height bytes, row
    // by row from the top, all holding fill on entry (pixels the data do not
    // reach keep it), or nullptr to only check the data (the same codes are
    // read either way). Stops at the end code, at the end of the data or when
    // every pixel is written.
    void Decode(uint8_t* pixels, int32_t width, int32_t height, bool interlaced, uint8_t fill);
    // Reads one more code; when it is the end code, skips the remaining
    // sub-blocks.
    void Finish();

  private:
    void Reset();
    // Output in stream order: every entry's string already lies there in one
    // piece (where it was written), so a code is a copy. kWrite false: only
    // the codes are read and checked.
    template <bool kWrite>
    void DecodeLinear(uint8_t* pixels, int64_t total, uint8_t fill);
    // Copies an entry's string from start to pos, clipped at total; a short
    // string may write up to 16 bytes past it inside the buffer.
    static void CopyString(uint8_t* pixels, int64_t pos, uint32_t start, int64_t length,
                           int64_t total);

    TGIFBitReader bits_;
    uint32_t clearCode_;
    uint32_t endCode_;
    int minCodeSize_;
    int codeSize_ = 0;
    uint32_t nextFree_ = 0;
    uint32_t sizeLimit_ = 0;
    bool firstCode_ = true;
    uint16_t length_[kGIFTableSize];  // string length of each entry
    uint32_t start_[kGIFTableSize];   // where the entry's string lies in the output
};

}  // namespace corvane
