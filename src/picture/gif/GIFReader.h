// Internal to the GIF reader: a forward byte reader over a TStream that can
// peek one byte and step back within what it has read, so the parser never
// asks the stream for more than it needs and every read is bounded.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "picture/Graphics.h"

namespace corvane {

// Receives the reader's non-fatal findings (the decoder keeps going).
using TGIFWarningSink = std::function<void(const std::string& message)>;

class TGIFReader {
  public:
    explicit TGIFReader(TStream& stream);

    // Next byte without taking it; -1 at the end of the stream.
    int Peek();
    // Next byte, -1 at the end of the stream.
    int ReadByte();
    // Takes up to count bytes; answers how many arrived.
    size_t Read(uint8_t* buffer, size_t count);
    // Takes exactly count bytes or throws GIFException "Premature end of data".
    void ReadFixed(uint8_t* buffer, size_t count);
    // Absolute stream position of the next byte.
    int64_t Position() const { return bufferStart_ + static_cast<int64_t>(pos_); }
    // Moves to an absolute stream position.
    void SeekTo(int64_t position);
    // Leaves the stream positioned at the next unread byte.
    void SyncStream();
    int64_t StreamSize() const { return streamSize_; }

  private:
    bool Fill();

    TStream& stream_;
    std::vector<uint8_t> buffer_;
    int64_t bufferStart_ = 0;
    size_t pos_ = 0;
    size_t end_ = 0;
    int64_t streamSize_ = 0;
};

}  // namespace corvane
