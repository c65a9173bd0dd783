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

#include "picture/PixelMemory.h"
#include "picture/loader/PictureLoader.h"
#include "scan/Folders.h"
#include "signature/Signature.h"
#include "util/ArdoUtils.h"

namespace corvane {

struct TPrefetchedSignature {
    // Changing: the file kept changing while it was read (read twice).
    enum class TStatus { Pending, Computed, Missing, Failed, Changing };
    TStatus Status = TStatus::Pending;
    TSignature Signature;    // when Computed
    TDateTime FileDate = 0;  // when Computed: the file's date taken before it was read
};

// Pixel memory shared by the pictures decoded at once: a decode waits until
// its pixels fit beside what the others hold, or until nothing else is held
// (a single larger picture is decoded alone).
class TRasterBudget {
  public:
    static constexpr uint64_t kDefaultLimit = uint64_t{1} << 30;
    explicit TRasterBudget(uint64_t limit = kDefaultLimit) : limit_(limit) {}
    void Acquire(uint64_t bytes);
    // Beyond a decode's first reservation: taken at once, so a decode that
    // already holds memory never waits for another.
    void Add(uint64_t bytes);
    void Release(uint64_t bytes);
    uint64_t Held() const;
    uint64_t PeakHeld() const;

  private:
    const uint64_t limit_;
    mutable std::mutex mutex_;
    std::condition_variable released_;
    uint64_t held_ = 0;
    uint64_t peak_ = 0;
};

// One decode's share of the budget, installed on its thread for the decode.
// Its first announced buffer reserves room for the whole decode (the
// decoder's own pixels and the raster, kBytesPerPixel for each claimed
// pixel); later buffers add what exceeds it.
class TDecodeReservation : public TPixelMemoryGate {
  public:
    static constexpr uint64_t kBytesPerPixel = 8;
    explicit TDecodeReservation(TRasterBudget& budget) : budget_(budget), scope_(*this) {}
    ~TDecodeReservation() override { budget_.Release(held_); }
    void WillAllocate(uint64_t pixels, uint64_t bytes) override;

  private:
    TRasterBudget& budget_;
    TPixelMemoryScope scope_;
    uint64_t held_ = 0;
    uint64_t used_ = 0;
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
        std::vector<TFolderEntry> Entries;
        size_t Next = 0;
    };
    void Enter(const std::string& path);
    std::vector<TLevel> stack_;
    std::function<bool()> subDirs_;
    TFolderVisits visits_;
    TPictureFormats formats_;
};

class TSignaturePrefetcher {
  public:
    // Workers: threads to use, at most kMaxWorkers; 0 computes nothing ahead
    // (every Take misses). When the system cannot start that many, the run
    // goes on with those that did start.
    // RasterLimit: the pixel memory the decodes share. Every picture is
    // loaded with Options.
    explicit TSignaturePrefetcher(int workers, uint64_t rasterLimit = TRasterBudget::kDefaultLimit,
                                  TLoadOptions options = {});
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
    // More threads than this only cost their start and their memory: decoding
    // is bound by the processors and the raster budget.
    static constexpr int kMaxWorkers = 256;

    // Every decode of the run, on the workers or the caller's thread, takes
    // its pixels from here.
    TRasterBudget& Budget() { return budget_; }

  private:
    struct TJob {
        std::string FileName;
        bool Normalize = false;
        TPrefetchedSignature Result;
        bool Started = false;
    };
    void Work();
    TPrefetchedSignature Compute(const std::string& fileName, bool normalize);

    const TLoadOptions options_;
    mutable std::mutex mutex_;
    std::condition_variable workAvailable_;
    std::condition_variable jobDone_;
    std::deque<std::shared_ptr<TJob>> jobs_;  // in walk order
    bool stopping_ = false;
    TRasterBudget budget_;
    std::vector<std::thread> threads_;
};

}  // namespace corvane
