// A k-d tree over the 48 byte values: each node splits its entries at the
// median of the value with the widest spread, and keeps the bounding box of
// its entries, so a query box (every value within the margin) skips whole
// subtrees. Leaves hold a few dozen entries that are tested with SIMD.
#include "matching/SignatureIndex.h"

#include <algorithm>
#include <numeric>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace corvane {

namespace {

constexpr uint32_t kLeafSize = 16;

using TValues = TSignatureIndex::TValues;

// True when every a[i] <= b[i].
inline bool AllNotAbove(const TValues& a, const TValues& b) {
#ifdef __SSE2__
    for (int k = 0; k < 48; k += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&a[k]));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&b[k]));
        // a <= b per byte exactly when saturating a - b is zero
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_subs_epu8(va, vb), _mm_setzero_si128())) != 0xFFFF)
            return false;
    }
    return true;
#else
    for (int i = 0; i < 48; ++i)
        if (a[i] > b[i]) return false;
    return true;
#endif
}

// Query box lower <= v <= upper.
inline bool InBox(const TValues& v, const TValues& lower, const TValues& upper) {
    return AllNotAbove(lower, v) && AllNotAbove(v, upper);
}

}  // namespace

TSignatureIndex::TSignatureIndex(const std::vector<TValues>& values) : values_(values) {
    ids_.resize(values_.size());
    std::iota(ids_.begin(), ids_.end(), 0u);
    nodes_.reserve(2 * values_.size() / kLeafSize + 2);
    if (!values_.empty()) Build(0, static_cast<uint32_t>(values_.size()));
}

uint32_t TSignatureIndex::Build(uint32_t begin, uint32_t end) {
    const uint32_t index = static_cast<uint32_t>(nodes_.size());
    nodes_.push_back({});
    Node node;
    node.begin = begin;
    node.end = end;
    node.low.fill(255);
    node.high.fill(0);
    for (uint32_t i = begin; i < end; ++i)
        for (int k = 0; k < 48; ++k) {
            node.low[k] = std::min(node.low[k], values_[i][k]);
            node.high[k] = std::max(node.high[k], values_[i][k]);
        }
    int axis = 0;
    for (int k = 1; k < 48; ++k)
        if (node.high[k] - node.low[k] > node.high[axis] - node.low[axis]) axis = k;
    if (end - begin > kLeafSize && node.high[axis] > node.low[axis]) {
        // Reorder entries and ids together around the median of the axis.
        std::vector<uint32_t> order(end - begin);
        std::iota(order.begin(), order.end(), begin);
        const uint32_t middle = (end - begin) / 2;
        std::nth_element(
            order.begin(), order.begin() + middle, order.end(),
            [&](uint32_t a, uint32_t b) { return values_[a][axis] < values_[b][axis]; });
        std::vector<TValues> values(end - begin);
        std::vector<uint32_t> ids(end - begin);
        for (uint32_t i = 0; i < order.size(); ++i) {
            values[i] = values_[order[i]];
            ids[i] = ids_[order[i]];
        }
        std::copy(values.begin(), values.end(), values_.begin() + begin);
        std::copy(ids.begin(), ids.end(), ids_.begin() + begin);
        node.left = Build(begin, begin + middle);
        node.right = Build(begin + middle, end);
    }
    nodes_[index] = node;
    return index;
}

void TSignatureIndex::FindNear(const TValues& q, int32_t margin, bool fromQueryUp,
                               std::vector<uint32_t>& result) const {
    result.clear();
    if (margin < 0 || nodes_.empty()) return;
    const uint8_t m = static_cast<uint8_t>(std::min(margin, 255));
    TValues lower, upper;
    for (int k = 0; k < 48; ++k) {
        lower[k] = static_cast<uint8_t>(std::max(0, q[k] - m));
        upper[k] = static_cast<uint8_t>(std::min(255, q[k] + m));
    }
    if (fromQueryUp) lower[0] = q[0];
    uint32_t stack[128];
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
        const Node& node = nodes_[stack[--top]];
        // Boxes overlap when lower <= node.high and node.low <= upper.
        if (!AllNotAbove(lower, node.high) || !AllNotAbove(node.low, upper)) continue;
        if (node.left == 0) {
            for (uint32_t i = node.begin; i < node.end; ++i)
                if (InBox(values_[i], lower, upper)) result.push_back(ids_[i]);
        } else {
            stack[top++] = node.right;
            stack[top++] = node.left;
        }
    }
}

size_t TSignatureIndex::MemoryUsed() const {
    return values_.capacity() * sizeof(TValues) + ids_.capacity() * sizeof(uint32_t) +
           nodes_.capacity() * sizeof(Node);
}

}  // namespace corvane
