// The matches of one record among signatures held in memory as bytes, found
// through TSignatureIndex with the results the table scans give.
#pragma once

#include <cstdint>
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

    size_t Size() const { return values_.size(); }
    const TValues& Values(uint32_t position) const { return values_[position]; }

    // The rows the range scan from Position writes: every later position with
    // the same ignore status whose signature matches, in ascending order.
    void RangeMatches(uint32_t position, int32_t margin, bool perChannel,
                      std::vector<TFoundMatch>& out) const;

    // Every other position with the same ignore status whose signature
    // matches, in ascending order.
    void AllMatches(uint32_t position, int32_t margin, bool perChannel,
                    std::vector<TFoundMatch>& out) const;

    size_t MemoryUsed() const;

  private:
    void Collect(uint32_t position, uint32_t firstCandidate, int32_t margin, bool perChannel,
                 std::vector<TFoundMatch>& out) const;

    std::vector<TValues> values_;
    std::vector<bool> ignored_;
    TSignatureIndex index_;
    mutable std::vector<uint32_t> near_;
};

// The values of a signature as bytes; false when one lies outside 0..255.
bool ToByteValues(const TSignature& signature, TSignatureIndex::TValues& values);

}  // namespace corvane
