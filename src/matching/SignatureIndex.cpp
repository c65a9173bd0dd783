// A k-d tree over the 48 byte values: each node splits its entries at the
// median of the value with the widest spread, and keeps the bounding box of
// its entries, so a query box (every value within the margin) skips whole
// subtrees. Leaves hold a few dozen entries that are tested with SIMD.
#include "matching/SignatureIndex.h"

#include <algorithm>
#include <numeric>
#include <utility>

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

// The smallest box holding every entry of the range.
void BoundingBox(const TValues* values, uint32_t count, TValues& low, TValues& high) {
#ifdef __SSE2__
    __m128i lo[3], hi[3];
    for (int k = 0; k < 3; ++k) {
        lo[k] = _mm_set1_epi8(static_cast<char>(0xFF));
        hi[k] = _mm_setzero_si128();
    }
    for (uint32_t i = 0; i < count; ++i)
        for (int k = 0; k < 3; ++k) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(&values[i][16 * k]));
            lo[k] = _mm_min_epu8(lo[k], v);
            hi[k] = _mm_max_epu8(hi[k], v);
        }
    for (int k = 0; k < 3; ++k) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(&low[16 * k]), lo[k]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(&high[16 * k]), hi[k]);
    }
#else
    low.fill(255);
    high.fill(0);
    for (uint32_t i = 0; i < count; ++i)
        for (int k = 0; k < 48; ++k) {
            low[k] = std::min(low[k], values[i][k]);
            high[k] = std::max(high[k], values[i][k]);
        }
#endif
}

// The value that varies most among the entries (by variance over a sample):
// the box of every value spans nearly 0..255 near the root, so the widest
// range says little about where the entries actually spread.
int SplitAxis(const TValues* values, uint32_t count) {
    const uint32_t step = std::max<uint32_t>(1, count / 512);
    int64_t sum[48] = {}, squares[48] = {};
    int64_t samples = 0;
    for (uint32_t i = 0; i < count; i += step, ++samples)
        for (int k = 0; k < 48; ++k) {
            sum[k] += values[i][k];
            squares[k] += values[i][k] * values[i][k];
        }
    int axis = 0;
    int64_t best = -1;
    for (int k = 0; k < 48; ++k) {
        const int64_t spread = squares[k] * samples - sum[k] * sum[k];  // samples^2 x variance
        if (spread > best) {
            best = spread;
            axis = k;
        }
    }
    return axis;
}

}  // namespace

TSignatureIndex::TSignatureIndex(std::vector<TValues> values) : values_(std::move(values)) {
    ids_.resize(values_.size());
    std::iota(ids_.begin(), ids_.end(), 0u);
    nodes_.reserve(2 * values_.size() / kLeafSize + 2);
    if (!values_.empty()) {
        std::vector<uint32_t> order(values_.size());
        Build(0, static_cast<uint32_t>(values_.size()), order);
    }
    slots_.resize(ids_.size());
    for (uint32_t slot = 0; slot < ids_.size(); ++slot) slots_[ids_[slot]] = slot;
}

void TSignatureIndex::Permute(uint32_t begin, std::vector<uint32_t>& order, uint32_t count) {
    // Entry begin + i takes the one at order[i], cycle by cycle, so that the
    // reordering needs no second copy of the values.
    for (uint32_t i = 0; i < count; ++i) {
        if (order[i] == begin + i) continue;
        const TValues heldValues = values_[begin + i];
        const uint32_t heldId = ids_[begin + i];
        uint32_t j = i;
        while (order[j] != begin + i) {
            const uint32_t from = order[j];
            values_[begin + j] = values_[from];
            ids_[begin + j] = ids_[from];
            order[j] = begin + j;
            j = from - begin;
        }
        values_[begin + j] = heldValues;
        ids_[begin + j] = heldId;
        order[j] = begin + j;
    }
}

uint32_t TSignatureIndex::Build(uint32_t begin, uint32_t end, std::vector<uint32_t>& order) {
    const uint32_t index = static_cast<uint32_t>(nodes_.size());
    nodes_.push_back({});
    Node node;
    node.begin = begin;
    node.end = end;
    BoundingBox(&values_[begin], end - begin, node.low, node.high);
    const int axis = SplitAxis(&values_[begin], end - begin);
    if (end - begin > kLeafSize && node.high[axis] > node.low[axis]) {
        // Reorder entries and ids together around the median of the axis.
        const uint32_t count = end - begin;
        std::iota(order.begin(), order.begin() + count, begin);
        const uint32_t middle = count / 2;
        std::nth_element(
            order.begin(), order.begin() + middle, order.begin() + count,
            [&](uint32_t a, uint32_t b) { return values_[a][axis] < values_[b][axis]; });
        Permute(begin, order, count);
        node.left = Build(begin, begin + middle, order);
        node.right = Build(begin + middle, end, order);
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
    return values_.capacity() * sizeof(TValues) +
           (ids_.capacity() + slots_.capacity()) * sizeof(uint32_t) +
           nodes_.capacity() * sizeof(Node);
}

}  // namespace corvane
