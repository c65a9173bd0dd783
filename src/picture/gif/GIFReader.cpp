#include "picture/gif/GIFReader.h"

#include <algorithm>
#include <cstring>

#include "picture/gif/GIFImage.h"

namespace corvane {

namespace {
constexpr size_t kBufferSize = 64 * 1024;
}

TGIFReader::TGIFReader(TStream& stream) : stream_(stream), buffer_(kBufferSize) {
    bufferStart_ = stream_.Position();
    streamSize_ = stream_.Size();
}

bool TGIFReader::Fill() {
    bufferStart_ += static_cast<int64_t>(end_);
    pos_ = 0;
    end_ = 0;
    stream_.SetPosition(bufferStart_);
    int64_t got = stream_.Read(buffer_.data(), static_cast<int64_t>(buffer_.size()));
    end_ = got > 0 ? static_cast<size_t>(got) : 0;
    return end_ > 0;
}

int TGIFReader::Peek() {
    if (pos_ == end_ && !Fill()) return -1;
    return buffer_[pos_];
}

int TGIFReader::ReadByte() {
    if (pos_ == end_ && !Fill()) return -1;
    return buffer_[pos_++];
}

size_t TGIFReader::Read(uint8_t* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        if (pos_ == end_ && !Fill()) break;
        size_t n = std::min(count - done, end_ - pos_);
        std::memcpy(buffer + done, buffer_.data() + pos_, n);
        pos_ += n;
        done += n;
    }
    return done;
}

void TGIFReader::ReadFixed(uint8_t* buffer, size_t count) {
    if (Read(buffer, count) != count) throw GIFException("Premature end of data");
}

void TGIFReader::SeekTo(int64_t position) {
    if (position >= bufferStart_ && position <= bufferStart_ + static_cast<int64_t>(end_)) {
        pos_ = static_cast<size_t>(position - bufferStart_);
        return;
    }
    bufferStart_ = position;
    pos_ = 0;
    end_ = 0;
}

void TGIFReader::SyncStream() {
    stream_.SetPosition(Position());
}

}  // namespace corvane
