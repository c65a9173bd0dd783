// Thumbnails of picture files, kept in the freedesktop thumbnail cache
// ($XDG_CACHE_HOME/thumbnails, else ~/.cache/thumbnails) so that other
// programs reuse them and they reuse ours: a PNG named by the MD5 of the
// file's URI, carrying the URI and the file's modification time (a thumbnail
// whose time differs from the file's belongs to an older version and is made
// again). Pictures are decoded by the program's own loader, so the cache
// holds thumbnails of the formats the scan reads.
#pragma once

#include <QImage>
#include <QObject>
#include <QThreadPool>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "picture/loader/PictureLoader.h"

namespace corvane {

// Load controls that show nothing, for loads off the window's thread.
TLoadControls& QuietLoadControls();

// A thumbnail and the size of the picture it was made from.
struct TThumbnail {
    QImage Image;  // null when the picture could not be read
    int32_t Width = 0;
    int32_t Height = 0;
    std::string Error;  // why there is no image
};

// The file's URI as the thumbnail cache names it: "file://" and the name
// with every byte outside the unreserved characters and "/:@&=+$," escaped
// (as GLib's g_filename_to_uri does).
std::string ThumbnailUri(const std::string& fileName);

class TThumbnailCache {
  public:
    static constexpr int kNormal = 128;
    static constexpr int kLarge = 256;

    // $XDG_CACHE_HOME/thumbnails when that is an absolute name, else
    // $HOME/.cache/thumbnails.
    static std::string DefaultRoot();

    // Size: kNormal or kLarge (folder "normal" or "large").
    explicit TThumbnailCache(std::string root = DefaultRoot(), int size = kLarge);

    int Size() const { return size_; }
    // Where the thumbnail of FileName lies.
    std::string FileFor(const std::string& fileName) const;
    // True for files inside the cache, which are never thumbnailed.
    bool Holds(const std::string& fileName) const;

    // The stored thumbnail when it belongs to the file as it is now; none
    // when there is none, it is unreadable, or its URI or time differ.
    std::optional<TThumbnail> Read(const std::string& fileName, int64_t modified) const;
    // Stores a thumbnail: written to a temporary file in the cache folder and
    // renamed over the old one, so a reader never sees half a file. False
    // when it could not be written (the cache is only a help).
    bool Write(const std::string& fileName, int64_t modified, const TThumbnail& thumbnail) const;

    // The thumbnail of FileName: read from the cache, else decoded, scaled to
    // fit Size (never enlarged) and stored. Safe on any thread.
    TThumbnail Get(const std::string& fileName) const;

  private:
    std::string root_;
    std::string folder_;  // root_/normal/ or root_/large/
    int size_;
};

// Thumbnails made on background threads, the recently shown ones kept in
// memory. The window asks and never waits: Ready tells when one has come.
class TThumbnailLoader : public QObject {
    Q_OBJECT
  public:
    explicit TThumbnailLoader(TThumbnailCache cache, QObject* parent = nullptr);
    ~TThumbnailLoader() override;

    // The thumbnail kept in memory for the file, or null.
    const TThumbnail* Find(const std::string& fileName) const;
    // Queues the files not in memory, Now first and then Later, dropping
    // what was queued before and has not begun.
    void Want(const std::vector<std::string>& now, const std::vector<std::string>& later = {});
    // Forgets what memory holds of the file (it changed or moved).
    void Forget(const std::string& fileName);
    // Waits for the running and queued work (tests, benchmarks).
    void WaitForDone();
    const TThumbnailCache& Cache() const { return cache_; }

  signals:
    void Ready(const QString& fileName);

  private:
    void Queue(const std::string& fileName, int priority);
    void Arrived(const std::string& fileName, TThumbnail thumbnail);

    TThumbnailCache cache_;
    QThreadPool pool_;
    std::mutex mutex_;
    std::unordered_set<std::string> running_;  // begun and not arrived
    // Memory: the newest kMemoryLimit thumbnails.
    static constexpr size_t kMemoryLimit = 320;  // at most 256 KB each
    std::unordered_map<std::string, std::pair<TThumbnail, uint64_t>> memory_;
    uint64_t clock_ = 0;
};

}  // namespace corvane
