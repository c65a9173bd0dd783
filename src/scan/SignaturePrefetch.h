// Signatures of the next pictures of a compute run, computed ahead on worker
// threads while the caller's thread walks, looks up and posts records in
// order. The caller stays the only user of the tables and the window: workers
// only read files and compute.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "picture/loader/PictureLoader.h"
#include "signature/Signature.h"

namespace corvane {

struct TPrefetchedSignature {
    enum class TStatus { Pending, Computed, Missing, Failed };
    TStatus Status = TStatus::Pending;
    TSignature Signature;  // when Computed
};

// Picture files below a folder in the order the directory scan meets them
// (depth first, in the order each folder yields its entries). Reads one
// folder at a time, so its memory follows the tree's depth, not its size.
class TPictureWalker {
  public:
    // SubDirs is asked at every sub-folder met, as the scan does; Formats
    // are the accepted picture formats.
    TPictureWalker(const std::string& folder, std::function<bool()> subDirs,
                   TPictureFormats formats = {});
    // The next picture file's full name; false at the end.
    bool Next(std::string& fileName);

  private:
    struct TLevel {
        std::string Path;
        std::vector<std::pair<std::string, bool>> Entries;  // name, is folder
        size_t Next = 0;
    };
    std::vector<TLevel> stack_;
    std::function<bool()> subDirs_;
    TPictureFormats formats_;
};

class TSignaturePrefetcher {
  public:
    // Workers: threads to use; 0 computes nothing ahead (every Take misses).
    // Every picture is loaded with Options.
    explicit TSignaturePrefetcher(int workers, TLoadOptions options = {});
    ~TSignaturePrefetcher();  // stops and joins the workers
    TSignaturePrefetcher(const TSignaturePrefetcher&) = delete;
    TSignaturePrefetcher& operator=(const TSignaturePrefetcher&) = delete;

    int Workers() const { return static_cast<int>(threads_.size()); }
    const TLoadOptions& Options() const { return options_; }
    // Jobs queued or in work and not yet taken.
    size_t Queued() const;
    // Wants more jobs: fewer queued than a few per worker.
    bool Hungry() const {
        return Workers() > 0 && Queued() < static_cast<size_t>(3 * Workers() + 1);
    }

    // Queues a picture; Normalize is the brightness setting it is computed with.
    void Enqueue(const std::string& fileName, bool normalize);

    // The result for FileName when it is the next queued job (earlier jobs
    // that the walk did not reach are dropped); waits for it, calling
    // WhileWaiting now and then. Nothing queued for it: false.
    bool Take(const std::string& fileName, bool normalize,
              const std::function<void()>& whileWaiting, TPrefetchedSignature& result);

    // The processor count, at least 1.
    static int DefaultWorkers();

  private:
    struct TJob {
        std::string FileName;
        bool Normalize = false;
        TPrefetchedSignature Result;
        bool Started = false;
    };
    void Work();
    TPrefetchedSignature Compute(const std::string& fileName, bool normalize) const;

    const TLoadOptions options_;
    mutable std::mutex mutex_;
    std::condition_variable workAvailable_;
    std::condition_variable jobDone_;
    std::deque<std::shared_ptr<TJob>> jobs_;  // in walk order
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace corvane
