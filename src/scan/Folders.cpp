#include "scan/Folders.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

namespace corvane {

std::vector<TFolderEntry> ReadFolder(const std::string& path, int* error) {
    std::vector<TFolderEntry> entries;
    DIR* dir = ::opendir(path.c_str());
    if (error != nullptr) *error = dir == nullptr ? errno : 0;
    if (dir == nullptr) return entries;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        TFolderEntry folderEntry{name, entry->d_type == DT_DIR, entry->d_type == DT_LNK};
        struct stat info;
        if (entry->d_type == DT_UNKNOWN && ::lstat((path + name).c_str(), &info) == 0) {
            folderEntry.IsFolder = S_ISDIR(info.st_mode);
            folderEntry.IsLink = S_ISLNK(info.st_mode);
        }
        if (folderEntry.IsLink)
            folderEntry.IsFolder =
                ::stat((path + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        entries.push_back(std::move(folderEntry));
    }
    ::closedir(dir);
    return entries;
}

bool TFolderVisits::FirstVisit(const std::string& folder) {
    struct stat info;
    if (::stat(folder.c_str(), &info) != 0) return true;
    return seen_.emplace(info.st_dev, info.st_ino).second;
}

bool SubFolderToWalk(const std::string& folder, const TFolderEntry& entry, TFolderVisits& visits,
                     std::string& path) {
    if (entry.IsLink) {
        if (!CanonicalFolder(folder + entry.Name, path)) return false;
    } else {
        path = folder + entry.Name + "/";
    }
    return visits.FirstVisit(path);
}

bool CanonicalFolder(const std::string& path, std::string& canonical) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (real == nullptr) return false;
    canonical = real;
    std::free(real);
    if (canonical.empty() || canonical.back() != '/') canonical += '/';
    return true;
}

bool IsPictureExtension(const std::string& name, const TPictureFormats& formats) {
    return formats.AcceptsName(name);
}

bool IsRegularFile(const std::string& fileName) {
    struct stat info;
    return ::stat(fileName.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool FileIsGone(const std::string& fileName) {
    struct stat info;
    if (::stat(fileName.c_str(), &info) == 0) return !S_ISREG(info.st_mode);
    return errno == ENOENT || errno == ENOTDIR;
}

TContentStamp StampOf(const std::string& fileName) {
    TContentStamp stamp;
    struct stat info;
    if (::stat(fileName.c_str(), &info) != 0) return stamp;
    stamp.Regular = S_ISREG(info.st_mode);
    stamp.Device = info.st_dev;
    stamp.Inode = info.st_ino;
    stamp.Size = info.st_size;
    stamp.ModifiedNs = int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
    stamp.ChangedNs = int64_t{info.st_ctim.tv_sec} * 1'000'000'000 + info.st_ctim.tv_nsec;
    return stamp;
}

}  // namespace corvane
