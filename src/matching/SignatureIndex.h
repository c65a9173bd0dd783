// In-memory search structure over many signatures, for the match commands.
// Two signatures can only match (in either comparison mode) when every one
// of their 48 values lies within the margin of the other's; the index finds
// exactly those neighbours without visiting the whole collection.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "signature/Signature.h"

namespace corvane {

class TSignatureIndex {
  public:
    using TValues = std::array<uint8_t, TSignature::kValues>;

    // Builds over the values; an entry's id is its position in the list.
    explicit TSignatureIndex(std::vector<TValues> values);

    size_t Size() const { return ids_.size(); }

    // The values of the entry with this id.
    const TValues& ValuesOf(uint32_t id) const { return values_[slots_[id]]; }

    // Ids of every entry whose 48 values all lie within Margin of Query's, in
    // no particular order; with FromQueryUp only those whose first value is
    // not below Query's. A negative margin finds nothing.
    void FindNear(const TValues& query, int32_t margin, bool fromQueryUp,
                  std::vector<uint32_t>& result) const;
    // The same with every first value found at least FirstAtLeast.
    void FindNearFrom(const TValues& query, int32_t margin, int firstAtLeast,
                      std::vector<uint32_t>& result) const;

    // Bytes held by the index.
    size_t MemoryUsed() const;

    // 16 of the 48 values: the first (for the lower bound of FromQueryUp)
    // and the middle colour value of every other block. They carry most of
    // what tells signatures apart at a third of the bytes, so the tree and
    // the scan of its leaves work on them, and the full values are read only
    // for the few entries whose 16 values lie in the query box.
    using TCode = std::array<uint8_t, 16>;
    static TCode CodeOf(const TValues& values);

    // FindNear over entries kept outside an index, tested one by one (Codes
    // made by CodeOf): appends FirstId + i for every entry i found.
    static void FindNearAmong(const TValues& query, int32_t margin, bool fromQueryUp,
                              const TCode* codes, const TValues* values, size_t count,
                              uint32_t firstId, std::vector<uint32_t>& result);

  private:
    struct Node {
        TCode low, high;               // bounding box of the codes below
        uint32_t begin, end;           // entry range in tree order
        uint32_t left = 0, right = 0;  // children; 0 for a leaf
        uint8_t sortAxis = 0;          // a leaf's entries ascend in this code value
    };

    uint32_t Build(uint32_t begin, uint32_t end, std::vector<uint32_t>& order);
    void SortLeaf(Node& leaf);

    std::vector<TValues> values_;  // in tree order
    std::vector<TCode> codes_;     // in tree order
    std::vector<uint32_t> ids_;    // id of each entry in tree order
    std::vector<uint32_t> slots_;  // tree-order place of each id
    std::vector<Node> nodes_;
};

}  // namespace corvane
