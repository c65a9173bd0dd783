#include "scan/SignaturePrefetch.h"

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <system_error>

#include "picture/Bitmap32.h"
#include "picture/Graphics.h"
#include "picture/loader/PictureLoader.h"
#include "scan/Folders.h"

namespace corvane {

namespace {

// The workers show nothing: the window belongs to the caller's thread.
class TSilentControls : public TLoadControls {
  public:
    int32_t ProgressMax() const override { return 0; }
    void SetProgressMax(int32_t) override {}
    int32_t ProgressPosition() const override { return 0; }
    void SetProgressPosition(int32_t) override {}
    TCursor ScreenCursor() const override { return TCursor::crDefault; }
    void SetScreenCursor(TCursor) override {}
    void ProcessMessages() override {}
};

}  // namespace

TPictureWalker::TPictureWalker(const std::string& folder, std::function<bool()> subDirs,
                               TPictureFormats formats)
    : subDirs_(std::move(subDirs)), formats_(formats) {
    const std::string path = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    visits_.FirstVisit(path);
    Enter(path);
}

void TPictureWalker::Enter(const std::string& path) {
    stack_.push_back(TLevel{path, ReadFolder(path), 0});
}

bool TPictureWalker::Next(std::string& fileName) {
    while (!stack_.empty()) {
        TLevel& level = stack_.back();
        if (level.Next == level.Entries.size()) {
            stack_.pop_back();
            continue;
        }
        const TFolderEntry& entry = level.Entries[level.Next++];
        if (entry.IsFolder && subDirs_()) {
            std::string sub;
            if (SubFolderToWalk(level.Path, entry, visits_, sub)) Enter(sub);
            continue;
        }
        if (IsPictureExtension(entry.Name, formats_)) {
            fileName = level.Path + entry.Name;
            return true;
        }
    }
    return false;
}

void TRasterBudget::Acquire(uint64_t bytes) {
    std::unique_lock<std::mutex> lock(mutex_);
    released_.wait(lock, [&] { return held_ == 0 || held_ + bytes <= limit_; });
    held_ += bytes;
    peak_ = std::max(peak_, held_);
}

void TRasterBudget::Add(uint64_t bytes) {
    std::lock_guard<std::mutex> lock(mutex_);
    held_ += bytes;
    peak_ = std::max(peak_, held_);
}

void TRasterBudget::Release(uint64_t bytes) {
    if (bytes == 0) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        held_ -= bytes;
    }
    released_.notify_all();
}

uint64_t TRasterBudget::Held() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return held_;
}

uint64_t TRasterBudget::PeakHeld() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return peak_;
}

void TDecodeReservation::WillAllocate(uint64_t pixels, uint64_t bytes) {
    used_ += bytes;
    if (held_ == 0) {
        held_ = std::max(used_, pixels * kBytesPerPixel);
        budget_.Acquire(held_);
    } else if (used_ > held_) {
        budget_.Add(used_ - held_);
        held_ = used_;
    }
}

TSignaturePrefetcher::TSignaturePrefetcher(int workers, uint64_t rasterLimit, TLoadOptions options)
    : options_(options), budget_(rasterLimit) {
    workers = std::clamp(workers, 0, kMaxWorkers);
    threads_.reserve(static_cast<size_t>(workers));
    for (int i = 0; i < workers; ++i) {
        try {
            threads_.emplace_back([this] { Work(); });
        } catch (const std::system_error&) {
            break;  // the system's limit: go on with the threads that started
        }
    }
}

TSignaturePrefetcher::~TSignaturePrefetcher() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    workAvailable_.notify_all();
    for (std::thread& t : threads_) t.join();
}

int TSignaturePrefetcher::DefaultWorkers() {
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 1 : static_cast<int>(count);
}

size_t TSignaturePrefetcher::Queued() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return jobs_.size();
}

void TSignaturePrefetcher::Enqueue(const std::string& fileName, bool normalize) {
    if (threads_.empty()) return;
    auto job = std::make_shared<TJob>();
    job->FileName = fileName;
    job->Normalize = normalize;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    workAvailable_.notify_one();
}

bool TSignaturePrefetcher::Take(const std::string& fileName, bool normalize,
                                const std::function<void()>& whileWaiting,
                                TPrefetchedSignature& result) {
    std::unique_lock<std::mutex> lock(mutex_);
    bool known = false;
    for (const auto& job : jobs_) known |= job->FileName == fileName;
    if (!known) return false;
    // Jobs before this one belong to files the walk has passed by.
    while (jobs_.front()->FileName != fileName) jobs_.pop_front();
    const std::shared_ptr<TJob> job = jobs_.front();
    // The job stays queued until it is done, so a worker can still take it:
    // the caller waits handling its messages instead of computing it here,
    // and a window never stalls for a whole decode.
    while (job->Result.Status == TPrefetchedSignature::TStatus::Pending) {
        if (!job->Started && threads_.empty()) {
            // No worker to do it: compute it here.
            job->Started = true;
            lock.unlock();
            job->Result = Compute(job->FileName, job->Normalize);
            lock.lock();
            break;
        }
        jobDone_.wait_for(lock, std::chrono::milliseconds(20));
        lock.unlock();
        try {
            whileWaiting();
        } catch (...) {
            lock.lock();
            jobs_.pop_front();
            throw;
        }
        lock.lock();
    }
    jobs_.pop_front();
    if (job->Normalize != normalize) return false;  // the setting changed since
    result = job->Result;
    return true;
}

void TSignaturePrefetcher::Work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        std::shared_ptr<TJob> job;
        workAvailable_.wait(lock, [&] {
            if (stopping_) return true;
            for (const auto& j : jobs_)
                if (!j->Started) return true;
            return false;
        });
        if (stopping_) return;
        for (const auto& j : jobs_)
            if (!j->Started) {
                job = j;
                break;
            }
        job->Started = true;
        lock.unlock();
        TPrefetchedSignature result = Compute(job->FileName, job->Normalize);
        lock.lock();
        job->Result = result;
        jobDone_.notify_all();
    }
}

TPrefetchedSignature TSignaturePrefetcher::Compute(const std::string& fileName, bool normalize) {
    using TStatus = TPrefetchedSignature::TStatus;
    TPrefetchedSignature result;
    // The date is taken before the read and the file looked at again after
    // it, so a stored date never belongs to other pixels than its signature.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const TContentStamp before = StampOf(fileName);
        if (!before.Regular) {
            result.Status = TStatus::Missing;
            return result;
        }
        result.FileDate = FileDateOf(fileName);
        try {
            if (before.Size == 0) throw EInvalidGraphic("The file is empty");
            TDecodeReservation reservation(budget_);
            TSilentControls silent;
            TBitmap32 raster;
            LoadConversionPicture(silent, fileName, raster, nullptr, options_);
            if (normalize) NormalizeBrightness(raster);
            result.Signature = ComputeSignature(raster);
            result.Status = TStatus::Computed;
        } catch (...) {
            result.Status = TStatus::Failed;
        }
        if (StampOf(fileName) == before) return result;
    }
    result.Status = TStatus::Changing;
    return result;
}

}  // namespace corvane
