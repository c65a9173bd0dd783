// Folder reading shared by the directory scan and its look-ahead.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "picture/loader/PictureFormats.h"

namespace corvane {

struct TFolderEntry {
    std::string Name;
    bool IsFolder = false;  // a folder, or a symbolic link to one
    bool IsLink = false;    // a symbolic link
};

// The entries of Path (ending in "/") in the order the file system yields
// them, "." and ".." left out; none when it cannot be read (Error, when
// given, is then the system's error number, else 0). The folder is closed
// before the entries are used, so a deep tree never runs out of descriptors.
std::vector<TFolderEntry> ReadFolder(const std::string& path, int* error = nullptr);

// The folders a walk has entered, by device and inode, so that each real
// folder is walked once however many links lead to it.
class TFolderVisits {
  public:
    // True the first time the folder is met; a folder that cannot be looked
    // at counts as new (its reading then fails on its own).
    bool FirstVisit(const std::string& folder);

  private:
    std::set<std::pair<dev_t, ino_t>> seen_;
};

// The path under which the walk in Folder (ending in "/") enters the
// sub-folder Entry: a real folder by its name, a link by the real folder it
// leads to (so a file has one name however it was reached). False when the
// folder was walked already or the link leads nowhere.
bool SubFolderToWalk(const std::string& folder, const TFolderEntry& entry, TFolderVisits& visits,
                     std::string& path);

// Path made absolute and free of links, ".", ".." and doubled slashes,
// ending in "/"; false (errno set) when it cannot be resolved.
bool CanonicalFolder(const std::string& path, std::string& canonical);

// ".JPG", ".BMP" or ".GIF" after the last dot, in any letter case, and the
// extensions of the other formats the setting Formats adds.
bool IsPictureExtension(const std::string& name, const TPictureFormats& formats = {});

// A regular file (a folder of that name does not count).
bool IsRegularFile(const std::string& fileName);

// The file surely no longer exists as a file: nothing of that name (or a
// folder). A file that cannot be looked at, for example inside a folder that
// cannot be read, is not gone.
bool FileIsGone(const std::string& fileName);

// What changes when a file's content is replaced, read without opening it
// (links followed; unlike the action journal's stamp, the change time counts).
struct TContentStamp {
    bool Regular = false;
    dev_t Device = 0;
    ino_t Inode = 0;
    int64_t Size = 0;
    int64_t ModifiedNs = 0;
    int64_t ChangedNs = 0;
    bool operator==(const TContentStamp&) const = default;
};
TContentStamp StampOf(const std::string& fileName);

}  // namespace corvane
