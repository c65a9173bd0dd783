#include "scan/Folders.h"

#include <dirent.h>
#include <sys/stat.h>

namespace corvane {

std::vector<TFolderEntry> ReadFolder(const std::string& path) {
    std::vector<TFolderEntry> entries;
    DIR* dir = ::opendir(path.c_str());
    if (dir == nullptr) return entries;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info;
            isFolder = ::lstat((path + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
        }
        entries.push_back(TFolderEntry{name, isFolder});
    }
    ::closedir(dir);
    return entries;
}

bool IsPictureExtension(const std::string& name, const TPictureFormats& formats) {
    return formats.AcceptsName(name);
}

bool IsRegularFile(const std::string& fileName) {
    struct stat info;
    return ::stat(fileName.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace corvane
