// Byte streams over memory and files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "picture/Graphics.h"

namespace corvane {

namespace {
int64_t ClampedSeek(int64_t position, int64_t size, int64_t offset, TSeekOrigin origin) {
    int64_t base = 0;
    if (origin == TSeekOrigin::soCurrent) base = position;
    if (origin == TSeekOrigin::soEnd) base = size;
    return std::max<int64_t>(0, base + offset);
}
}  // namespace

int64_t TStream::Size() {
    const int64_t here = Position();
    const int64_t end = Seek(0, TSeekOrigin::soEnd);
    SetPosition(here);
    return end;
}

int64_t TStream::Remaining() {
    return std::max<int64_t>(0, Size() - Position());
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
    if (count > 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
    if (count > 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::vector<uint8_t> block(static_cast<size_t>(std::min<int64_t>(count, 1 << 20)));
    int64_t left = count;
    while (left > 0) {
        const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(block.size()));
        source.ReadBuffer(block.data(), n);
        WriteBuffer(block.data(), n);
        left -= n;
    }
    return count;
}

// ------------------------------------------------------------ memory

int64_t TReadOnlyMemoryStream::Read(void* buffer, int64_t count) {
    const int64_t n = std::clamp<int64_t>(size_ - position_, 0, std::max<int64_t>(count, 0));
    if (n > 0) std::memcpy(buffer, data_ + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TReadOnlyMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    position_ = ClampedSeek(position_, size_, offset, origin);
    return position_;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
    const int64_t n = std::clamp<int64_t>(Size() - position_, 0, std::max<int64_t>(count, 0));
    if (n > 0) std::memcpy(buffer, bytes_.data() + position_, static_cast<size_t>(n));
    position_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
    if (count <= 0) return 0;
    const int64_t end = position_ + count;
    if (end > Size()) bytes_.resize(static_cast<size_t>(end));
    std::memcpy(bytes_.data() + position_, buffer, static_cast<size_t>(count));
    position_ = end;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
    position_ = ClampedSeek(position_, Size(), offset, origin);
    return position_;
}

void TMemoryStream::SetSize(int64_t newSize) {
    bytes_.resize(static_cast<size_t>(std::max<int64_t>(newSize, 0)));
}

void TMemoryStream::Clear() {
    bytes_.clear();
    bytes_.shrink_to_fit();
    position_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    TFileStream file(fileName, TFileStream::fmOpenRead);
    Clear();
    bytes_.resize(static_cast<size_t>(file.Size()));
    file.ReadBuffer(bytes_.data(), Size());
}

void TMemoryStream::SaveToFile(const std::string& fileName) const {
    TFileStream file(fileName, TFileStream::fmCreate);
    file.WriteBuffer(bytes_.data(), static_cast<int64_t>(bytes_.size()));
}

// -------------------------------------------------------------- file

TFileStream::TFileStream(const std::string& fileName, TMode mode) {
    if (mode == fmOpenRead) {
        fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
        struct stat info {};
        if (fd_ >= 0 && (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode))) {
            ::close(fd_);
            fd_ = -1;
        }
        if (fd_ < 0) throw EFOpenError(Format("Cannot open file %s", fileName.c_str()));
    } else {
        fd_ = ::open(fileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd_ < 0) throw EFCreateError(Format("Cannot create file %s", fileName.c_str()));
    }
}

TFileStream::~TFileStream() {
    if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
    int64_t done = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    while (done < count) {
        const size_t chunk = static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30));
        const ssize_t n = ::read(fd_, out + done, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
    int64_t done = 0;
    const auto* in = static_cast<const uint8_t*>(buffer);
    while (done < count) {
        const size_t chunk = static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30));
        const ssize_t n = ::write(fd_, in + done, chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
    int whence = SEEK_SET;
    if (origin == TSeekOrigin::soCurrent) whence = SEEK_CUR;
    if (origin == TSeekOrigin::soEnd) whence = SEEK_END;
    const off_t result = ::lseek(fd_, static_cast<off_t>(offset), whence);
    return result < 0 ? ::lseek(fd_, 0, SEEK_CUR) : static_cast<int64_t>(result);
}

int64_t TFileStream::Size() {
    struct stat info {};
    if (::fstat(fd_, &info) == 0) return static_cast<int64_t>(info.st_size);
    return TStream::Size();
}

}  // namespace corvane
