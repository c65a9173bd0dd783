#include "tablestore/StoreEnv.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace corvane {

namespace {

// Reads come from a read-only shared mapping of the file where it covers
// them (no system call per record); writes go through pwrite, which the
// mapping sees at once. The mapping is dropped before the file shrinks and
// extended when the file has grown by at least kRemapStep, keeping the pages
// already mapped (a new mapping would fault on each of them again).
class TPosixFile : public TStoreFile {
  public:
    explicit TPosixFile(int fd) : fd_(fd) {}
    ~TPosixFile() override {
        Unmap();
        ::close(fd_);  // closing releases the flock
    }

    int ReadAt(uint64_t offset, void* data, size_t size, size_t& done) override {
        done = 0;
        if (!Covered(offset, size)) Remap();
        if (Covered(offset, size)) {
            std::memcpy(data, map_ + offset, size);
            done = size;
            return 0;
        }
        auto* out = static_cast<char*>(data);
        while (done < size) {
            const ssize_t n =
                ::pread(fd_, out + done, size - done, static_cast<off_t>(offset + done));
            if (n < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            if (n == 0) break;
            done += static_cast<size_t>(n);
        }
        return 0;
    }

    int WriteAt(uint64_t offset, const void* data, size_t size) override {
        const auto* in = static_cast<const char*>(data);
        size_t done = 0;
        while (done < size) {
            const ssize_t n =
                ::pwrite(fd_, in + done, size - done, static_cast<off_t>(offset + done));
            if (n < 0) {
                if (errno == EINTR) continue;
                return errno;
            }
            done += static_cast<size_t>(n);
        }
        return 0;
    }

    int Truncate(uint64_t size) override {
        if (size < mapSize_) Unmap();
        return ::ftruncate(fd_, static_cast<off_t>(size)) == 0 ? 0 : errno;
    }

    int Size(uint64_t& size) override {
        struct stat info;
        if (::fstat(fd_, &info) != 0) return errno;
        size = static_cast<uint64_t>(info.st_size);
        return 0;
    }

    int Sync() override { return ::fdatasync(fd_) == 0 ? 0 : errno; }

  private:
    static constexpr uint64_t kRemapStep = 1u << 20;

    bool Covered(uint64_t offset, size_t size) const {
        return map_ != nullptr && offset <= mapSize_ && size <= mapSize_ - offset;
    }

    void Remap() {
        struct stat info;
        if (::fstat(fd_, &info) != 0 || info.st_size <= 0) return;
        const auto fileSize = static_cast<uint64_t>(info.st_size);
        if (fileSize < mapSize_ + kRemapStep) return;
        void* map = map_ ? ::mremap(const_cast<uint8_t*>(map_), mapSize_, fileSize, MREMAP_MAYMOVE)
                         : ::mmap(nullptr, fileSize, PROT_READ, MAP_SHARED, fd_, 0);
        if (map == MAP_FAILED) {
            Unmap();
            return;
        }
        map_ = static_cast<const uint8_t*>(map);
        mapSize_ = fileSize;
    }

    void Unmap() {
        if (map_) ::munmap(const_cast<uint8_t*>(map_), mapSize_);
        map_ = nullptr;
        mapSize_ = 0;
    }

    int fd_;
    const uint8_t* map_ = nullptr;
    uint64_t mapSize_ = 0;
};

class TPosixEnv : public TStoreEnv {
  public:
    int Open(const std::string& path, TOpenMode mode, TLockMode lock, bool readOnly,
             std::unique_ptr<TStoreFile>& file) override {
        int flags = (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC;
        if (mode == TOpenMode::CreateNew) flags |= O_CREAT | O_EXCL;
        // Truncation waits until the lock is held, so a file another process
        // holds is never emptied under it.
        if (mode == TOpenMode::CreateAlways) flags |= O_CREAT;
        const int fd = ::open(path.c_str(), flags, 0644);
        if (fd < 0) return errno;
        if (lock != TLockMode::None) {
            const int how = (lock == TLockMode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
            if (::flock(fd, how) != 0) {
                const int error = errno == EWOULDBLOCK ? EWOULDBLOCK : errno;
                ::close(fd);
                return error;
            }
        }
        if (mode == TOpenMode::CreateAlways && ::ftruncate(fd, 0) != 0) {
            const int error = errno;
            ::close(fd);
            return error;
        }
        file = std::make_unique<TPosixFile>(fd);
        return 0;
    }

    bool Exists(const std::string& path) override {
        struct stat info;
        return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
    }

    int Rename(const std::string& from, const std::string& to) override {
        return std::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
    }

    int Remove(const std::string& path) override {
        return ::unlink(path.c_str()) == 0 || errno == ENOENT ? 0 : errno;
    }

    int SyncFolder(const std::string& folder) override {
        const int fd =
            ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) return errno;
        const int error = ::fsync(fd) == 0 ? 0 : errno;
        ::close(fd);
        return error;
    }
};

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

int TStoreEnv::SyncFolder(const std::string&) {
    return 0;
}

int TStoreEnv::CopyFile(const std::string& from, const std::string& to) {
    std::unique_ptr<TStoreFile> source, target;
    int error = Open(from, TOpenMode::Existing, TLockMode::None, true, source);
    if (error != 0) return error;
    const std::string temp = to + ".tmp";
    error = Open(temp, TOpenMode::CreateAlways, TLockMode::None, false, target);
    if (error != 0) return error;
    std::vector<uint8_t> chunk(1u << 20);
    for (uint64_t offset = 0;; offset += chunk.size()) {
        size_t done = 0;
        error = source->ReadAt(offset, chunk.data(), chunk.size(), done);
        if (error == 0 && done > 0) error = target->WriteAt(offset, chunk.data(), done);
        if (error != 0) return error;
        if (done < chunk.size()) break;
    }
    error = target->Sync();
    target.reset();
    if (error == 0) error = Rename(temp, to);
    if (error == 0) error = SyncFolder(FolderOf(to));
    return error;
}

TStoreEnv* TStoreEnv::Default() {
    static TPosixEnv env;
    return &env;
}

}  // namespace corvane
