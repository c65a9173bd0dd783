// The bitmap-to-JPEG conversion run.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "picture/Graphics.h"
#include "picture/jpeg/JPEGImage.h"
#include "picture/loader/PictureLoader.h"
#include "scan/Engine.h"
#include "util/SafeFiles.h"

namespace corvane {

namespace {

constexpr int kJpegQuality = 95;
constexpr int kMaxNumberedName = 9999;

struct TFolderEntries {
    std::vector<std::string> Bitmaps;     // regular files whose name ends in .BMP
    std::vector<std::string> SubFolders;  // real folders not hidden
};

bool EndsWithBmp(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ending = name.substr(name.size() - 4);
    for (char& c : ending) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return ending == ".BMP";
}

// One pass over the folder; its entries are processed after it is closed, so
// the JPEG files written meanwhile cannot appear in the enumeration.
TFolderEntries ReadConversionFolder(const std::string& folder) {
    TFolderEntries entries;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return entries;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat info;
        if (::lstat((folder + "/" + name).c_str(), &info) != 0) continue;
        if (S_ISDIR(info.st_mode)) {
            if (name[0] != '.') entries.SubFolders.push_back(name);
        } else if (EndsWithBmp(name)) {
            struct stat target;  // a link counts when it leads to a file
            if (::stat((folder + "/" + name).c_str(), &target) == 0 && S_ISREG(target.st_mode)) {
                entries.Bitmaps.push_back(name);
            }
        }
    }
    ::closedir(dir);
    return entries;
}

// Any entry of that name, file or folder, makes the name taken.
bool NameTaken(const std::string& fileName) {
    struct stat info;
    return ::lstat(fileName.c_str(), &info) == 0;
}

// The bitmap's modification time onto the JPEG; failures are ignored.
void CopyFileTime(const std::string& from, const std::string& to) {
    struct stat info;
    if (::stat(from.c_str(), &info) != 0) return;
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    ::utimensat(AT_FDCWD, to.c_str(), times, 0);
}

// Busy cursor while a JPEG is written; the normal one afterwards, also on failure.
class TBusyCursor {
  public:
    explicit TBusyCursor(TFormControls& controls) : controls_(controls) {
        controls_.SetScreenCursor(TCursor::crHourGlass);
    }
    ~TBusyCursor() {
        try {
            controls_.SetScreenCursor(TCursor::crDefault);
        } catch (...) {
        }
    }

  private:
    TFormControls& controls_;
};

}  // namespace

void TCorvaneEngine::SaveRasterAsJpeg(const std::string& target) {
    TPicture picture;
    TJPEGImage jpeg;
    jpeg.SetQuality(kJpegQuality);
    TBusyCursor cursor(controls_);
    picture.Assign(&Image);
    jpeg.Assign(&picture.Bitmap());
    TMemoryStream encoded;
    jpeg.SaveToStream(encoded);
    // Complete or not at all, and never over an existing file.
    try {
        WriteNewFile(target, [&encoded](int fd) {
            return WriteAllBytes(fd, encoded.Memory(), static_cast<size_t>(encoded.Size()));
        });
    } catch (const EFileAction& e) {
        throw EFCreateError(e.Message());
    }
}

void TCorvaneEngine::ConvertBitmaps(const std::string& folder) {
    Conversion = {};
    ConvertFolder(folder);
}

void TCorvaneEngine::ConvertFolder(const std::string& folder) {
    RemoveStaleTemporaryFiles(folder);
    const TFolderEntries entries = ReadConversionFolder(folder);
    // A stop ends the run between two bitmaps; each is converted whole or not at all.
    for (const std::string& name : entries.Bitmaps) {
        if (controls_.StopRequested()) return;
        controls_.ShowRunItem(folder + "/" + name, 0, 0);
        ConvertOneBitmap(folder, name);
    }
    for (const std::string& name : entries.SubFolders) {
        if (controls_.StopRequested()) return;
        ConvertFolder(folder + "/" + name);
    }
}

void TCorvaneEngine::ListConversionFailure(const std::string& bitmapName,
                                           const std::string& reason) {
    controls_.AddMemo2Line("Unable to convert \"" + bitmapName + "\": " + reason);
    controls_.SetMemo2Visible(true);
}

bool TCorvaneEngine::RemoveConvertedBitmap(const std::string& bitmapName, std::string& reason) {
    if (!controls_.UseTrashCB()) {
        if (::unlink(bitmapName.c_str()) == 0) return true;
        reason = SystemReason(errno);
        return false;
    }
    if (Trash == nullptr) {
        reason = "no trash is available";
        return false;
    }
    try {
        Trash->MoveToTrash(bitmapName);
        return true;
    } catch (const EFileAction& e) {
        reason = e.Message();
        return false;
    }
}

void TCorvaneEngine::ConvertOneBitmap(const std::string& folder, const std::string& name) {
    const std::string bitmapName = folder + "/" + name;
    bool complete = false;
    try {
        LoadConversionPicture(controls_, bitmapName, Image, &complete);
    } catch (const std::exception& e) {
        ListConversionFailure(bitmapName, e.what());
        ++Conversion.Failed;
        return;
    }
    controls_.ProcessMessages();
    // A bitmap misread (pixel data elsewhere than its header says, or cut
    // short) would be replaced by a wrong picture.
    if (!complete) {
        ListConversionFailure(bitmapName,
                              "its pixels could not be read completely from the offset its "
                              "header gives; the bitmap was kept");
        ++Conversion.Failed;
        return;
    }
    std::string target;
    try {
        if (name[0] != 'U' && name[0] != 'u') {
            target = folder + "/" + name.substr(0, name.size() - 3) + "JPG";
            if (NameTaken(target)) {
                target.clear();
            } else {
                SaveRasterAsJpeg(target);
            }
        }
        for (int n = 1; target.empty() && n <= kMaxNumberedName; ++n) {
            const std::string numbered =
                folder + "/From-BMP-" + PadWithChar(std::to_string(n), 4, '0') + ".JPG";
            if (!NameTaken(numbered)) {
                target = numbered;
                SaveRasterAsJpeg(target);
            }
        }
    } catch (const std::exception& e) {
        ListConversionFailure(bitmapName, e.what());
        ++Conversion.Failed;
        return;
    }
    // Every numbered name taken: the bitmap stays as it is.
    if (target.empty()) {
        ++Conversion.Skipped;
        return;
    }
    CopyFileTime(bitmapName, target);
    std::string reason;
    if (!RemoveConvertedBitmap(bitmapName, reason)) {
        // The bitmap stays; so that the next run does not convert it again
        // to a second JPEG, this run's JPEG goes.
        ::unlink(target.c_str());
        ListConversionFailure(bitmapName,
                              "it could not be removed (" + reason + "); the bitmap was kept");
        ++Conversion.Skipped;
        return;
    }
    ++Conversion.Converted;
}

}  // namespace corvane
