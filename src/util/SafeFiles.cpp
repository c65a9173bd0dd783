#include "util/SafeFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

namespace corvane {

namespace {

constexpr const char* kTemporaryPrefix = ".corvane-";
constexpr const char* kTemporarySuffix = ".tmp";

std::string FolderOf(const std::string& fileName) {
    const size_t slash = fileName.rfind('/');
    return slash == std::string::npos ? std::string(".") : fileName.substr(0, slash + 1);
}

[[noreturn]] void Fail(const std::string& what, int error) {
    throw EFileAction(what + ": " + SystemReason(error));
}

// Closes on every path out.
class TDescriptor {
  public:
    explicit TDescriptor(int fd) : fd_(fd) {}
    ~TDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    TDescriptor(const TDescriptor&) = delete;
    TDescriptor& operator=(const TDescriptor&) = delete;
    int Get() const { return fd_; }
    // Close reporting its failure (errno set).
    bool Close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

// Renames without replacing. Where the file system cannot promise that in one
// step, a hard link does; where it has no hard links (FAT, exFAT), the name
// is checked first (the only case with a window, between check and rename).
int RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return errno;
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return errno;
    if (EntryExists(to)) return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

std::string NewTemporaryName(const std::string& folder) {
    static std::atomic<unsigned> counter{0};
    return folder + kTemporaryPrefix + std::to_string(::getpid()) + "-" +
           std::to_string(counter++) + kTemporarySuffix;
}

bool CopyBytes(int from, int to) {
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        if (!WriteAllBytes(to, buffer.data(), static_cast<size_t>(n))) return false;
    }
}

// Finishes a written descriptor: permissions, time, flushed to disk.
bool Finish(int fd, std::optional<int64_t> modifiedNs, unsigned mode) {
    if (::fchmod(fd, mode) != 0) return false;
    if (modifiedNs) {
        const timespec mtime{*modifiedNs / 1'000'000'000, *modifiedNs % 1'000'000'000};
        const timespec times[2] = {{0, UTIME_OMIT}, mtime};
        if (::futimens(fd, times) != 0) return false;
    }
    return ::fsync(fd) == 0;
}

}  // namespace

std::string SystemReason(int error) {
    return std::strerror(error);
}

std::optional<TFileIdentity> TFileIdentity::Of(const std::string& fileName) {
    struct stat info;
    if (::lstat(fileName.c_str(), &info) != 0) return std::nullopt;
    TFileIdentity stamp;
    stamp.Device = info.st_dev;
    stamp.Inode = info.st_ino;
    stamp.Size = info.st_size;
    stamp.ModifiedNs = int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
    return stamp;
}

std::string TFileIdentity::ToText() const {
    return Format("%" PRIu64 ":%" PRIu64 ":%" PRId64 ":%" PRId64, Device, Inode, Size, ModifiedNs);
}

std::optional<TFileIdentity> TFileIdentity::FromText(const std::string& text) {
    TFileIdentity stamp;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%" SCNu64 ":%" SCNu64 ":%" SCNd64 ":%" SCNd64 "%c",
                    &stamp.Device, &stamp.Inode, &stamp.Size, &stamp.ModifiedNs, &extra) != 4)
        return std::nullopt;
    return stamp;
}

bool EntryExists(const std::string& fileName) {
    struct stat info;
    return ::lstat(fileName.c_str(), &info) == 0;
}

bool SameFile(const std::string& a, const std::string& b) {
    if (a == b) return true;
    struct stat x, y;
    return ::stat(a.c_str(), &x) == 0 && ::stat(b.c_str(), &y) == 0 && x.st_dev == y.st_dev &&
           x.st_ino == y.st_ino;
}

bool WriteAllBytes(int fd, const void* bytes, size_t count) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, p + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

void WriteNewFile(const std::string& fileName, const std::function<bool(int fd)>& write,
                  std::optional<int64_t> modifiedNs, unsigned mode) {
    const std::string folder = FolderOf(fileName);
    const std::string what = "Cannot create file " + fileName;
    if (EntryExists(fileName)) Fail(what, EEXIST);
    // An unnamed file: nothing is left behind if the process dies midway.
    const int unnamed = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (unnamed >= 0) {
        TDescriptor fd(unnamed);
        if (!write(fd.Get()) || !Finish(fd.Get(), modifiedNs, mode)) Fail(what, errno);
        const std::string procName = "/proc/self/fd/" + std::to_string(fd.Get());
        if (::linkat(AT_FDCWD, procName.c_str(), AT_FDCWD, fileName.c_str(), AT_SYMLINK_FOLLOW) !=
            0)
            Fail(what, errno);
        fd.Close();
        SyncFolder(folder);
        return;
    }
    const std::string temporary = NewTemporaryName(folder);
    const int named = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (named < 0) Fail(what, errno);
    TDescriptor fd(named);
    int error = 0;
    if (!write(fd.Get()) || !Finish(fd.Get(), modifiedNs, mode)) error = errno;
    if (!fd.Close() && error == 0) error = errno;
    if (error == 0) error = RenameNoReplace(temporary, fileName);
    if (error != 0) {
        ::unlink(temporary.c_str());
        Fail(what, error);
    }
    SyncFolder(folder);
}

TMoveMethod MoveFileNoReplace(const std::string& source, const std::string& destination) {
    const std::string what = "Unable to move " + source + " to " + destination;
    struct stat info;
    if (::lstat(source.c_str(), &info) != 0) Fail(what, errno);
    if (EntryExists(destination)) Fail(what, EEXIST);
    const int renamed = RenameNoReplace(source, destination);
    if (renamed == 0) {
        SyncFolder(FolderOf(destination));
        return TMoveMethod::Renamed;
    }
    if (renamed != EXDEV) Fail(what, renamed);
    if (!S_ISREG(info.st_mode)) Fail(what, EXDEV);
    const int input = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (input < 0) Fail(what, errno);
    TDescriptor in(input);
    const int64_t modifiedNs = int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
    try {
        WriteNewFile(
            destination, [&in](int out) { return CopyBytes(in.Get(), out); }, modifiedNs,
            info.st_mode & 07777);
    } catch (const EFileAction& e) {
        throw EFileAction(what + ": " + e.Message());
    }
    if (::unlink(source.c_str()) != 0) {
        const int error = errno;
        ::unlink(destination.c_str());
        Fail(what, error);
    }
    return TMoveMethod::Copied;
}

void RemoveStaleTemporaryFiles(const std::string& folder) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    const std::string prefix = kTemporaryPrefix;
    const std::string suffix = kTemporarySuffix;
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() <= prefix.size() + suffix.size() ||
            name.compare(0, prefix.size(), prefix) ||
            name.compare(name.size() - suffix.size(), suffix.size(), suffix))
            continue;
        const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        // A temporary file of a living process is still being written.
        if (pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)) continue;
        stale.push_back(name);
    }
    ::closedir(dir);
    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    for (const std::string& name : stale) ::unlink((base + name).c_str());
}

std::string TrashInfoPathOf(const std::string& pathInTrash) {
    const size_t slash = pathInTrash.rfind('/');
    const std::string files = pathInTrash.substr(0, slash);  // TRASH/files
    const std::string trash = files.substr(0, files.rfind('/') + 1);
    return trash + "info/" + pathInTrash.substr(slash + 1) + ".trashinfo";
}

void TTrashCan::Restore(const std::string& pathInTrash, const std::string& original) {
    const std::string info = TrashInfoPathOf(pathInTrash);
    const std::string what = "Unable to restore " + original + " from the trash";
    if (!EntryExists(pathInTrash)) throw EFileAction(what + ": it is no longer in the trash");
    if (!EntryExists(info)) throw EFileAction(what + ": its trash information is gone");
    try {
        MoveFileNoReplace(pathInTrash, original);
    } catch (const EFileAction& e) {
        throw EFileAction(what + ": " + e.Message());
    }
    ::unlink(info.c_str());
}

}  // namespace corvane
