// The bitmap-to-JPEG conversion run.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <vector>

#include "picture/Graphics.h"
#include "picture/jpeg/JPEGImage.h"
#include "picture/loader/PictureLoader.h"
#include "scan/Engine.h"

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

bool WriteAll(int fd, const uint8_t* bytes, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd, bytes + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Puts Bytes under FileName as one step: written to a temporary file beside
// it, flushed to disk, then linked to the name (which fails when the name is
// taken), so no reader ever sees a part of the file.
void WriteNewFileAtomically(const std::string& fileName, const uint8_t* bytes, size_t count) {
    static std::atomic<unsigned> counter{0};
    const std::string folder = ExtractFilePath(fileName);
    const std::string temporary = folder + ".corvane-" + std::to_string(::getpid()) + "-" +
                                  std::to_string(counter++) + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw EFCreateError(Format("Cannot create file %s", fileName.c_str()));
    const bool written = WriteAll(fd, bytes, count) && ::fsync(fd) == 0;
    const bool closed = ::close(fd) == 0;
    const bool linked = written && closed && ::link(temporary.c_str(), fileName.c_str()) == 0;
    ::unlink(temporary.c_str());
    if (!written || !closed) throw EWriteError("Stream write error");
    if (!linked) throw EFCreateError(Format("Cannot create file %s", fileName.c_str()));
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
    WriteNewFileAtomically(target, encoded.Memory(), static_cast<size_t>(encoded.Size()));
}

void TCorvaneEngine::ConvertBitmaps(const std::string& folder) {
    const TFolderEntries entries = ReadConversionFolder(folder);
    // A stop ends the run between two bitmaps; each is converted whole or not at all.
    for (const std::string& name : entries.Bitmaps) {
        if (controls_.StopRequested()) return;
        controls_.ShowRunItem(folder + "/" + name, 0, 0);
        ConvertOneBitmap(folder, name);
    }
    for (const std::string& name : entries.SubFolders) {
        if (controls_.StopRequested()) return;
        ConvertBitmaps(folder + "/" + name);
    }
}

void TCorvaneEngine::ConvertOneBitmap(const std::string& folder, const std::string& name) {
    const std::string bitmapName = folder + "/" + name;
    LoadConversionPicture(controls_, bitmapName, Image);
    controls_.ProcessMessages();
    std::string target;
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
    // Every numbered name taken: the bitmap stays as it is.
    if (target.empty()) return;
    CopyFileTime(bitmapName, target);
    ::unlink(bitmapName.c_str());
}

}  // namespace corvane
