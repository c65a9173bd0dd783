#include "scan/SignaturePrefetch.h"

#include <sys/stat.h>

#include <chrono>

#include "picture/Bitmap32.h"
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

TPictureWalker::TPictureWalker(const std::string& folder, std::function<bool()> subDirs)
    : subDirs_(std::move(subDirs)) {
    const std::string path = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    TLevel level{path, {}, 0};
    for (const TFolderEntry& e : ReadFolder(path)) level.Entries.emplace_back(e.Name, e.IsFolder);
    stack_.push_back(std::move(level));
}

bool TPictureWalker::Next(std::string& fileName) {
    while (!stack_.empty()) {
        TLevel& level = stack_.back();
        if (level.Next == level.Entries.size()) {
            stack_.pop_back();
            continue;
        }
        const auto& [name, isFolder] = level.Entries[level.Next++];
        if (isFolder && subDirs_()) {
            TLevel child{level.Path + name + "/", {}, 0};
            for (const TFolderEntry& e : ReadFolder(child.Path))
                child.Entries.emplace_back(e.Name, e.IsFolder);
            stack_.push_back(std::move(child));
            continue;
        }
        if (IsPictureExtension(name)) {
            fileName = level.Path + name;
            return true;
        }
    }
    return false;
}

TSignaturePrefetcher::TSignaturePrefetcher(int workers) {
    for (int i = 0; i < workers; ++i) threads_.emplace_back([this] { Work(); });
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
    TPrefetchedSignature result;
    struct stat info;
    if (::stat(fileName.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        result.Status = TPrefetchedSignature::TStatus::Missing;
        return result;
    }
    try {
        TSilentControls silent;
        TBitmap32 raster;
        LoadConversionPicture(silent, fileName, raster);
        if (normalize) NormalizeBrightness(raster);
        result.Signature = ComputeSignature(raster);
        result.Status = TPrefetchedSignature::TStatus::Computed;
    } catch (...) {
        result.Status = TPrefetchedSignature::TStatus::Failed;
    }
    return result;
}

}  // namespace corvane
