#include "matching/MatchFinder.h"

#include <algorithm>

#include "matching/SignatureSnapshot.h"

namespace corvane {

bool ToByteValues(const TSignature& signature, TSignatureIndex::TValues& values) {
    bool inRange = true;
    for (int k = 0; k < TSignature::kValues; ++k) {
        const int32_t v = signature.Values[k];
        inRange &= v >= 0 && v <= 255;
        values[k] = static_cast<uint8_t>(v);
    }
    return inRange;
}

TMatchFinder::TMatchFinder(std::vector<TValues> values, std::vector<bool> ignored)
    : ignored_(std::move(ignored)), index_(std::move(values)) {}

void TMatchFinder::RangeMatches(uint32_t position, int32_t margin, bool perChannel,
                                std::vector<TFoundMatch>& out) const {
    Collect(position, position + 1, margin, perChannel, out);
}

void TMatchFinder::AllMatches(uint32_t position, int32_t margin, bool perChannel,
                              std::vector<TFoundMatch>& out) const {
    Collect(position, 0, margin, perChannel, out);
}

void TMatchFinder::Collect(uint32_t position, uint32_t firstCandidate, int32_t margin,
                           bool perChannel, std::vector<TFoundMatch>& out) const {
    out.clear();
    // Later positions in BySignature order never have a smaller first value.
    const TValues& picture = index_.ValuesOf(position);
    // One scratch list per thread: a prefetch worker searches alongside.
    thread_local std::vector<uint32_t> near;
    index_.FindNear(picture, margin, firstCandidate > position, near);
    std::sort(near.begin(), near.end());
    for (uint32_t candidate : near) {
        if (candidate < firstCandidate || candidate == position) continue;
        if (ignored_[candidate] != ignored_[position]) continue;
        int32_t maxDiff = 0;
        if (snapshot_detail::CompactSignaturesMatch(
                picture.data(), index_.ValuesOf(candidate).data(), margin, perChannel, maxDiff))
            out.push_back({candidate, maxDiff});
    }
}

void TMatchFinder::ArrangedMatches(uint32_t position, int32_t margin, bool perChannel,
                                   std::vector<TFoundMatch>& out) const {
    out.clear();
    const TValues& picture = index_.ValuesOf(position);
    thread_local std::vector<uint32_t> near;
    for (int arrangement = 2; arrangement <= kArrangementCount; ++arrangement) {
        TValues arranged;
        ArrangeValues(picture.data(), arrangement, arranged.data());
        // Later positions never have a smaller first value than the picture.
        index_.FindNearFrom(arranged, margin, picture[0], near);
        for (uint32_t candidate : near) {
            if (candidate <= position || ignored_[candidate] != ignored_[position]) continue;
            int32_t maxDiff = 0;
            if (snapshot_detail::CompactSignaturesMatch(arranged.data(),
                                                        index_.ValuesOf(candidate).data(), margin,
                                                        perChannel, maxDiff))
                out.push_back({candidate, maxDiff});
        }
    }
    // One row per candidate, with its smallest difference; none for those
    // the picture as it is already matches.
    std::sort(out.begin(), out.end(), [](const TFoundMatch& a, const TFoundMatch& b) {
        return a.Position != b.Position ? a.Position < b.Position : a.MaxDiff < b.MaxDiff;
    });
    out.erase(std::unique(out.begin(), out.end(),
                          [](const TFoundMatch& a, const TFoundMatch& b) {
                              return a.Position == b.Position;
                          }),
              out.end());
    std::erase_if(out, [&](const TFoundMatch& found) {
        int32_t maxDiff = 0;
        return snapshot_detail::CompactSignaturesMatch(
            picture.data(), index_.ValuesOf(found.Position).data(), margin, perChannel, maxDiff);
    });
}

size_t TMatchFinder::MemoryUsed() const {
    return ignored_.capacity() / 8 + index_.MemoryUsed();
}

TRangeMatchPrefetch::TRangeMatchPrefetch(const TMatchFinder& finder, int32_t margin,
                                         bool perChannel, size_t memoryLimit)
    : finder_(finder),
      margin_(margin),
      perChannel_(perChannel),
      capacity_(memoryLimit / sizeof(TFoundMatch)),
      // Left uninitialised: only the pages the worker fills become resident.
      rows_(new TFoundMatch[capacity_]),
      first_(new uint64_t[finder.Size()]),
      count_(new uint32_t[finder.Size()]),
      state_(new std::atomic<uint8_t>[finder.Size()]) {
    for (size_t i = 0; i < finder.Size(); ++i) state_[i].store(kFree, std::memory_order_relaxed);
    worker_ = std::thread([this] { Run(); });
}

TRangeMatchPrefetch::~TRangeMatchPrefetch() {
    stop_.store(true);
    worker_.join();
}

void TRangeMatchPrefetch::Run() {
    std::vector<TFoundMatch> found;
    size_t used = 0;
    for (uint32_t position = 0; position < finder_.Size(); ++position) {
        if (stop_.load(std::memory_order_relaxed)) return;
        uint8_t expected = kFree;
        if (!state_[position].compare_exchange_strong(expected, kWorking)) continue;
        bool searched = false;
        try {
            finder_.RangeMatches(position, margin_, perChannel_, found);
            searched = found.size() <= capacity_ - used;
        } catch (...) {
            // Out of memory: the caller's own search reports it, if it fails too.
        }
        if (!searched) {
            state_[position].store(kFree);  // the caller searches from here on
            return;
        }
        std::copy(found.begin(), found.end(), rows_.get() + used);
        first_[position] = used;
        count_[position] = static_cast<uint32_t>(found.size());
        used += found.size();
        state_[position].store(kStored, std::memory_order_release);
    }
}

void TRangeMatchPrefetch::Take(uint32_t position, std::vector<TFoundMatch>& out) {
    uint8_t state = kFree;
    if (state_[position].compare_exchange_strong(state, kTaken)) {
        finder_.RangeMatches(position, margin_, perChannel_, out);
        return;
    }
    // Taken twice (the same record searched again): search again.
    if (state == kTaken) {
        finder_.RangeMatches(position, margin_, perChannel_, out);
        return;
    }
    while (state == kWorking) {
        std::this_thread::yield();
        state = state_[position].load(std::memory_order_acquire);
    }
    if (state == kFree) {  // the worker gave it back
        finder_.RangeMatches(position, margin_, perChannel_, out);
        return;
    }
    std::atomic_thread_fence(std::memory_order_acquire);
    out.assign(rows_.get() + first_[position], rows_.get() + first_[position] + count_[position]);
}

}  // namespace corvane
