#include "app/ThumbnailCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QCryptographicHash>
#include <QImageReader>
#include <QMetaObject>
#include <QRunnable>
#include <cstdlib>
#include <filesystem>

#include "picture/loader/PictureLoader.h"
#include "scan/SignaturePrefetch.h"

namespace corvane {

namespace {

constexpr const char* kUriKey = "Thumb::URI";
constexpr const char* kMTimeKey = "Thumb::MTime";
constexpr const char* kWidthKey = "Thumb::Image::Width";
constexpr const char* kHeightKey = "Thumb::Image::Height";

}  // namespace

TLoadControls& QuietLoadControls() {
    // The thumbnail threads show nothing: the window belongs to its own thread.
    static TSilentLoadControls quiet;  // no state: shared by every thread
    return quiet;
}

namespace {

// Pictures decoded at once for thumbnails share this much pixel memory.
TRasterBudget& ThumbnailBudget() {
    static TRasterBudget budget(uint64_t{512} << 20);
    return budget;
}

std::optional<int64_t> ModifiedSeconds(const std::string& fileName) {
    struct stat info {};
    if (::stat(fileName.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return static_cast<int64_t>(info.st_mtim.tv_sec);
}

bool Unescaped(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    for (const char* p = "-_.!~*'()/:@&=+$,"; *p != 0; ++p)
        if (c == static_cast<unsigned char>(*p)) return true;
    return false;
}

}  // namespace

std::string ThumbnailUri(const std::string& fileName) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const char ch : fileName) {
        const auto c = static_cast<unsigned char>(ch);
        if (Unescaped(c)) {
            uri += ch;
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 15];
        }
    }
    return uri;
}

std::string TThumbnailCache::DefaultRoot() {
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && cache[0] == '/') return std::string(cache) + "/thumbnails";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.cache/thumbnails";
}

TThumbnailCache::TThumbnailCache(std::string root, int size)
    : root_(std::move(root)), size_(size == kNormal ? kNormal : kLarge) {
    if (root_.empty() || root_.back() != '/') root_ += '/';
    folder_ = root_ + (size_ == kNormal ? "normal/" : "large/");
}

std::string TThumbnailCache::FileFor(const std::string& fileName) const {
    const QByteArray uri = QByteArray::fromStdString(ThumbnailUri(fileName));
    return folder_ + QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex().toStdString() +
           ".png";
}

bool TThumbnailCache::Holds(const std::string& fileName) const {
    return fileName.compare(0, root_.size(), root_) == 0;
}

std::optional<TThumbnail> TThumbnailCache::Read(const std::string& fileName,
                                                int64_t modified) const {
    // The keys may follow the pixels in the file: read whole, then check.
    QImageReader reader(QString::fromStdString(FileFor(fileName)), "png");
    TThumbnail thumbnail;
    if (!reader.read(&thumbnail.Image)) return std::nullopt;
    if (thumbnail.Image.text(kUriKey).toStdString() != ThumbnailUri(fileName) ||
        thumbnail.Image.text(kMTimeKey) != QString::number(modified))
        return std::nullopt;
    thumbnail.Width = thumbnail.Image.text(kWidthKey).toInt();
    thumbnail.Height = thumbnail.Image.text(kHeightKey).toInt();
    return thumbnail;
}

bool TThumbnailCache::Write(const std::string& fileName, int64_t modified,
                            const TThumbnail& thumbnail) const {
    QImage image = thumbnail.Image;
    image.setText(kUriKey, QString::fromStdString(ThumbnailUri(fileName)));
    image.setText(kMTimeKey, QString::number(modified));
    image.setText(kWidthKey, QString::number(thumbnail.Width));
    image.setText(kHeightKey, QString::number(thumbnail.Height));
    image.setText("Software", "Corvane");
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return false;
    // The folders only for this user, as the cache asks.
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    ::chmod(root_.c_str(), 0700);
    ::chmod(folder_.c_str(), 0700);
    std::string temporary = folder_ + "corvane-XXXXXX";
    const int fd = ::mkstemp(temporary.data());  // mode 0600
    if (fd < 0) return false;
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n =
            ::write(fd, bytes.constData() + written, static_cast<size_t>(bytes.size() - written));
        if (n <= 0) break;
        written += n;
    }
    const bool complete = ::close(fd) == 0 && written == bytes.size();
    if (!complete || ::rename(temporary.c_str(), FileFor(fileName).c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

TThumbnail TThumbnailCache::Get(const std::string& fileName) const {
    TThumbnail thumbnail;
    if (Holds(fileName)) {
        thumbnail.Error = "a file of the thumbnail cache";
        return thumbnail;
    }
    const std::optional<int64_t> modified = ModifiedSeconds(fileName);
    if (!modified) {
        thumbnail.Error = "the file is not there";
        return thumbnail;
    }
    if (std::optional<TThumbnail> stored = Read(fileName, *modified)) return *stored;
    TBitmap32 raster;
    try {
        TDecodeReservation reservation(ThumbnailBudget());
        // Upright, as every program that shares the cache shows it.
        TLoadOptions upright;
        upright.ApplyOrientation = true;
        LoadConversionPicture(QuietLoadControls(), fileName, raster, nullptr, upright);
    } catch (const std::exception& e) {
        thumbnail.Error = e.what();
        return thumbnail;
    }
    if (raster.Empty()) {
        thumbnail.Error = "not a picture";
        return thumbnail;
    }
    thumbnail.Width = raster.Width();
    thumbnail.Height = raster.Height();
    const QImage view(reinterpret_cast<const uchar*>(raster.Bits()), raster.Width(),
                      raster.Height(), static_cast<qsizetype>(raster.Width()) * 4,
                      QImage::Format_RGB32);
    thumbnail.Image = raster.Width() > size_ || raster.Height() > size_
                          ? view.scaled(size_, size_, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                          : view.copy();
    // A file that changed while it was read gets no thumbnail in the cache.
    if (ModifiedSeconds(fileName) == modified) Write(fileName, *modified, thumbnail);
    return thumbnail;
}

// ------------------------------------------------------------ loader

namespace {

class TThumbnailJob : public QRunnable {
  public:
    TThumbnailJob(std::function<void()> work) : work_(std::move(work)) {}
    void run() override { work_(); }

  private:
    std::function<void()> work_;
};

}  // namespace

TThumbnailLoader::TThumbnailLoader(TThumbnailCache cache, QObject* parent)
    : QObject(parent), cache_(std::move(cache)) {
    pool_.setMaxThreadCount(std::max(2, std::min(4, QThread::idealThreadCount())));
}

TThumbnailLoader::~TThumbnailLoader() {
    pool_.clear();
    pool_.waitForDone();
}

const TThumbnail* TThumbnailLoader::Find(const std::string& fileName) const {
    const auto found = memory_.find(fileName);
    return found == memory_.end() ? nullptr : &found->second.first;
}

void TThumbnailLoader::Want(const std::vector<std::string>& now,
                            const std::vector<std::string>& later) {
    pool_.clear();
    for (const std::string& file : now) Queue(file, 1);
    for (const std::string& file : later) Queue(file, 0);
}

void TThumbnailLoader::Queue(const std::string& fileName, int priority) {
    const auto found = memory_.find(fileName);
    if (found != memory_.end()) {
        found->second.second = ++clock_;  // recently wanted: kept longer
        return;
    }
    {
        std::lock_guard lock(mutex_);
        if (running_.count(fileName) != 0) return;
    }
    auto* job = new TThumbnailJob([this, fileName] {
        {
            std::lock_guard lock(mutex_);
            if (!running_.insert(fileName).second) return;
        }
        TThumbnail thumbnail = cache_.Get(fileName);
        QMetaObject::invokeMethod(
            this, [this, fileName, thumbnail] { Arrived(fileName, thumbnail); },
            Qt::QueuedConnection);
    });
    pool_.start(job, priority);
}

void TThumbnailLoader::Arrived(const std::string& fileName, TThumbnail thumbnail) {
    {
        std::lock_guard lock(mutex_);
        running_.erase(fileName);
    }
    memory_[fileName] = {std::move(thumbnail), ++clock_};
    while (memory_.size() > kMemoryLimit) {
        auto oldest = memory_.begin();
        for (auto it = memory_.begin(); it != memory_.end(); ++it)
            if (it->second.second < oldest->second.second) oldest = it;
        memory_.erase(oldest);
    }
    emit Ready(QString::fromStdString(fileName));
}

void TThumbnailLoader::Forget(const std::string& fileName) {
    memory_.erase(fileName);
}

void TThumbnailLoader::WaitForDone() {
    pool_.waitForDone();
}

}  // namespace corvane
