// The matches of one record among signatures held in memory as bytes, found
// through TSignatureIndex with the results the table scans give.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include "matching/SignatureIndex.h"

namespace corvane {

struct TFoundMatch {
    uint32_t Position;  // position of the candidate in the collection's order
    int32_t MaxDiff;
};

// Signatures in the signature table's BySignature order (position = rank in
// that order), every value within 0..255, with the ignore status of each
// record's folder.
class TMatchFinder {
  public:
    using TValues = TSignatureIndex::TValues;

    TMatchFinder(std::vector<TValues> values, std::vector<bool> ignored);

    size_t Size() const { return index_.Size(); }
    const TValues& Values(uint32_t position) const { return index_.ValuesOf(position); }

    // The rows the range scan from Position writes: every later position with
    // the same ignore status whose signature matches, in ascending order.
    void RangeMatches(uint32_t position, int32_t margin, bool perChannel,
                      std::vector<TFoundMatch>& out) const;

    // Every other position with the same ignore status whose signature
    // matches, in ascending order.
    void AllMatches(uint32_t position, int32_t margin, bool perChannel,
                    std::vector<TFoundMatch>& out) const;

    // The further rows the range scan from Position writes when turned and
    // mirrored copies match too: every later position with the same ignore
    // status that does not match the picture as it is but matches it in
    // another arrangement of its blocks (ArrangedSignaturesMatch), in
    // ascending order.
    void ArrangedMatches(uint32_t position, int32_t margin, bool perChannel,
                         std::vector<TFoundMatch>& out) const;

    size_t MemoryUsed() const;

  private:
    void Collect(uint32_t position, uint32_t firstCandidate, int32_t margin, bool perChannel,
                 std::vector<TFoundMatch>& out) const;

    std::vector<bool> ignored_;
    TSignatureIndex index_;
};

// RangeMatches of every position of a finder for one margin and comparison
// mode, computed ahead on a worker thread in position order while the caller
// takes them in any order: a position the worker has not reached yet is
// computed by the caller itself, so Take never waits for more than the one
// search in progress. The worker stops at MemoryLimit bytes of stored rows
// (the caller then computes the rest) and when the object is destroyed.
class TRangeMatchPrefetch {
  public:
    TRangeMatchPrefetch(const TMatchFinder& finder, int32_t margin, bool perChannel,
                        size_t memoryLimit);
    ~TRangeMatchPrefetch();
    TRangeMatchPrefetch(const TRangeMatchPrefetch&) = delete;
    TRangeMatchPrefetch& operator=(const TRangeMatchPrefetch&) = delete;

    int32_t Margin() const { return margin_; }
    bool PerChannel() const { return perChannel_; }

    // Finder.RangeMatches(Position, Margin, PerChannel, Out).
    void Take(uint32_t position, std::vector<TFoundMatch>& out);

  private:
    enum : uint8_t { kFree, kWorking, kStored, kTaken };
    void Run();

    const TMatchFinder& finder_;
    const int32_t margin_;
    const bool perChannel_;
    const size_t capacity_;                // rows the store holds
    std::unique_ptr<TFoundMatch[]> rows_;  // written by the worker only
    std::unique_ptr<uint64_t[]> first_;    // first row of each stored position
    std::unique_ptr<uint32_t[]> count_;    // rows of each stored position
    std::unique_ptr<std::atomic<uint8_t>[]> state_;
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

// The values of a signature as bytes; false when one lies outside 0..255.
bool ToByteValues(const TSignature& signature, TSignatureIndex::TValues& values);

}  // namespace corvane
