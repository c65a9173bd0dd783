// Folder reading shared by the directory scan and its look-ahead.
#pragma once

#include <string>
#include <vector>

#include "picture/loader/PictureFormats.h"

namespace corvane {

struct TFolderEntry {
    std::string Name;
    bool IsFolder = false;  // a real folder, not a link to one
};

// The entries of Path (ending in "/") in the order the file system yields
// them, "." and ".." left out; none when it cannot be read. The folder is
// closed before the entries are used, so a deep tree never runs out of
// descriptors.
std::vector<TFolderEntry> ReadFolder(const std::string& path);

// ".JPG", ".BMP" or ".GIF" after the last dot, in any letter case, and the
// extensions of the other formats the setting Formats adds.
bool IsPictureExtension(const std::string& name, const TPictureFormats& formats = {});

// A regular file (a folder of that name does not count).
bool IsRegularFile(const std::string& fileName);

}  // namespace corvane
