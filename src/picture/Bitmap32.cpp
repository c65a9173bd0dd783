#include "picture/Bitmap32.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <sys/mman.h>

#include "picture/PixelMemory.h"

namespace corvane {

namespace {
// Counts the locks of all rasters; held only while the count changes.
std::mutex& LockCountSection() {
    static std::mutex section;
    return section;
}
}  // namespace

void TThreadPersistent::EndUpdate() {
    assert(updateCount_ > 0 && "Unpaired TThreadPersistent.EndUpdate");
    if (updateCount_ > 0) --updateCount_;  // release builds: never go negative
}

void TThreadPersistent::Lock() {
    {
        std::lock_guard<std::mutex> guard(LockCountSection());
        ++lockCount_;
    }
    section_.lock();
}

void TThreadPersistent::Unlock() {
    section_.unlock();
    std::lock_guard<std::mutex> guard(LockCountSection());
    --lockCount_;
}

void TThreadPersistent::Changing() {
    if (updateCount_ == 0 && OnChanging) OnChanging(this);
}

void TThreadPersistent::Changed() {
    if (updateCount_ == 0 && OnChange) OnChange(this);
}

void TCustomMap::MakeEmpty() {
    Changing();
    SetSize(0, 0);
    Changed();
}

void TCustomMap::Resized() {
    if (OnResize) OnResize(this);
}

bool TCustomMap::SetSize(int32_t newWidth, int32_t newHeight) {
    newWidth = std::max(newWidth, 0);
    newHeight = std::max(newHeight, 0);
    if (newWidth == width_ && newHeight == height_) return false;
    width_ = newWidth;
    height_ = newHeight;
    return true;
}

void TBitmap32::FreeBits::operator()(TColor32* p) const {
    std::free(p);
}

TBitmap32::~TBitmap32() {
    Lock();
    bits_.reset();
    Unlock();
}

namespace {

// A pixel buffer, all zero when Clear. A large one is placed on huge-page
// boundaries and offered huge pages: its first writes then fault once per
// 2 MiB instead of once per 4 KiB, which otherwise costs a large picture's
// load a quarter of its time (clearing it costs less than those faults).
void* AllocatePixels(size_t count, bool clear) {
    constexpr size_t kHugePage = size_t{2} << 20;
    if (count > (SIZE_MAX - kHugePage) / sizeof(TColor32)) return nullptr;
    const size_t bytes = count * sizeof(TColor32);
    if (bytes < 4 * kHugePage)
        return clear ? std::calloc(count, sizeof(TColor32)) : std::malloc(bytes);
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* bits = std::aligned_alloc(kHugePage, rounded);
    if (bits == nullptr) return nullptr;
    madvise(bits, rounded, MADV_HUGEPAGE);  // only advice: without it, small pages
    if (clear) std::memset(bits, 0, bytes);
    return bits;
}

}  // namespace

bool TBitmap32::SetSize(int32_t newWidth, int32_t newHeight) {
    return Resize(newWidth, newHeight, true);
}

bool TBitmap32::SetSizeForOverwrite(int32_t newWidth, int32_t newHeight) {
    return Resize(newWidth, newHeight, false);
}

bool TBitmap32::Resize(int32_t newWidth, int32_t newHeight, bool clear) {
    newWidth = std::max(newWidth, 0);
    newHeight = std::max(newHeight, 0);
    if (newWidth == width_ && newHeight == height_) return false;
    Changing();
    bits_.reset();
    width_ = 0;
    height_ = 0;
    bool allocated = true;
    if (newWidth > 0 && newHeight > 0) {
        const size_t count = static_cast<size_t>(newWidth) * static_cast<size_t>(newHeight);
        AnnouncePixelBuffer(count, count * sizeof(TColor32));
        bits_.reset(static_cast<TColor32*>(AllocatePixels(count, clear)));
        allocated = bits_ != nullptr;
    }
    if (allocated) {
        width_ = newWidth;
        height_ = newHeight;
    }
    Changed();
    Resized();
    if (!allocated) throw Exception("Can't allocate the DIB handle");
    return true;
}

void TBitmap32::FillAll(TColor32 value) {
    if (Empty()) return;
    Changing();
    std::fill_n(bits_.get(), static_cast<size_t>(width_) * static_cast<size_t>(height_), value);
    Changed();
}

void TBitmap32::FillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 value) {
    Changing();
    for (int32_t y = y1; y <= y2; ++y)
        if (x2 >= x1) std::fill(PixelPtr(x1, y), PixelPtr(x2, y) + 1, value);
    Changed();
}

void TBitmap32::FillRectClipped(int32_t x1, int32_t y1, int32_t x2, int32_t y2, TColor32 value) {
    if (Empty()) return;
    if (x1 > x2) std::swap(x1, x2);
    if (y1 > y2) std::swap(y1, y2);
    // Both corners are clamped into the raster, so a band of no width may
    // touch the edge column or row; callers draw over it afterwards.
    x1 = std::clamp(x1, 0, width_ - 1);
    x2 = std::clamp(x2, 0, width_ - 1);
    y1 = std::clamp(y1, 0, height_ - 1);
    y2 = std::clamp(y2, 0, height_ - 1);
    if (x2 >= x1 && y2 >= y1) FillRect(x1, y1, x2, y2, value);
}

void TBitmap32::SetAlphaOpaque() {
    Changing();
    const size_t count = Empty() ? 0 : static_cast<size_t>(width_) * static_cast<size_t>(height_);
    TColor32* p = bits_.get();
    for (size_t i = 0; i < count; ++i) p[i] |= 0xFF000000u;
    Changed();
}

void TBitmap32::SetDrawMode(TDrawMode value) {
    if (value == drawMode_) return;
    Changing();
    drawMode_ = value;
    Changed();
}

void TBitmap32::SetMasterAlpha(uint32_t value) {
    if (value == masterAlpha_) return;
    Changing();
    masterAlpha_ = value;
    Changed();
}

void TBitmap32::SetStretchFilter(TStretchFilter value) {
    if (value == stretchFilter_) return;
    Changing();
    stretchFilter_ = value;
    Changed();
}

}  // namespace corvane
