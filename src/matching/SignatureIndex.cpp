// A k-d tree over 16 of the 48 byte values (the code): each node splits its
// entries at the median of the code value that varies most, and keeps the
// bounding box of its codes, so a query box (every value within the margin)
// skips whole subtrees. A leaf's entries are sorted by one code value; a
// search scans the run in the query's range, testing codes with SIMD before
// full values.
#include "matching/SignatureIndex.h"

#include <algorithm>
#include <numeric>
#include <utility>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace corvane {

namespace {

// Entries per leaf: a search scans only the run of a leaf's entries whose
// sort value lies in the query's range, so large leaves cost little and save
// tree levels, whose box tests branch unpredictably.
constexpr uint32_t kLeafSize = 1024;

using TValues = TSignatureIndex::TValues;
using TCode = TSignatureIndex::TCode;

#ifdef __SSE2__
inline __m128i Load16(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
// True when every byte of a is <= the byte of b.
inline bool AllNotAbove(__m128i a, __m128i b) {
    // a <= b per byte exactly when saturating a - b is zero
    return _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_subs_epu8(a, b), _mm_setzero_si128())) == 0xFFFF;
}
#endif

// True when every a[i] <= b[i].
inline bool AllNotAbove(const TValues& a, const TValues& b) {
#ifdef __SSE2__
    for (size_t k = 0; k < a.size(); k += 16)
        if (!AllNotAbove(Load16(&a[k]), Load16(&b[k]))) return false;
    return true;
#else
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] > b[i]) return false;
    return true;
#endif
}

// Query box lower <= v <= upper.
inline bool InBox(const TValues& v, const TValues& lower, const TValues& upper) {
    return AllNotAbove(lower, v) && AllNotAbove(v, upper);
}

// The box [low, high] of codes meets the box [lower, upper], with one branch:
// the searches test boxes by the million, and a branch per bound would be
// mispredicted half the time.
inline bool BoxesMeet(const TCode& low, const TCode& high, const TCode& lower, const TCode& upper) {
#ifdef __SSE2__
    const __m128i apart = _mm_or_si128(_mm_subs_epu8(Load16(lower.data()), Load16(high.data())),
                                       _mm_subs_epu8(Load16(low.data()), Load16(upper.data())));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(apart, _mm_setzero_si128())) == 0xFFFF;
#else
    bool meet = true;
    for (size_t i = 0; i < low.size(); ++i) meet &= lower[i] <= high[i] && low[i] <= upper[i];
    return meet;
#endif
}

// The code that varies most among the entries (by variance over a sample):
// the box of every code spans nearly 0..255 near the root, so the widest
// range says little about where the entries actually spread.
int SplitAxis(const std::vector<TCode>& codes, const uint32_t* ids, uint32_t count) {
    const uint32_t step = std::max<uint32_t>(1, count / 512);
    int64_t sum[16] = {}, squares[16] = {};
    int64_t samples = 0;
    for (uint32_t i = 0; i < count; i += step, ++samples)
        for (int k = 0; k < 16; ++k) {
            const int64_t v = codes[ids[i]][k];
            sum[k] += v;
            squares[k] += v * v;
        }
    int axis = 0;
    int64_t best = -1;
    for (int k = 0; k < 16; ++k) {
        const int64_t spread = squares[k] * samples - sum[k] * sum[k];  // samples^2 x variance
        if (spread > best) {
            best = spread;
            axis = k;
        }
    }
    return axis;
}

// Puts Items into the order Ids gives (item i takes the one at Ids[i]),
// cycle by cycle, so that no second copy of the items is needed.
template <class T>
void PermuteInPlace(std::vector<T>& items, const std::vector<uint32_t>& ids) {
    std::vector<bool> placed(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        if (placed[i]) continue;
        const T held = items[i];
        size_t j = i;
        while (ids[j] != i) {
            items[j] = items[ids[j]];
            placed[j] = true;
            j = ids[j];
        }
        items[j] = held;
        placed[j] = true;
    }
}

}  // namespace

TCode TSignatureIndex::CodeOf(const TValues& values) {
    TCode code;
    code[0] = values[0];
    for (int block = 1; block < 16; ++block) code[block] = values[3 * block + 1];
    return code;
}

TSignatureIndex::TSignatureIndex(std::vector<TValues> values) : values_(std::move(values)) {
    codes_.reserve(values_.size());
    for (const TValues& v : values_) codes_.push_back(CodeOf(v));
    ids_.resize(values_.size());
    std::iota(ids_.begin(), ids_.end(), 0u);
    nodes_.reserve(2 * values_.size() / kLeafSize + 2);
    if (!values_.empty()) Build(0, static_cast<uint32_t>(values_.size()), ids_);
    PermuteInPlace(values_, ids_);
    PermuteInPlace(codes_, ids_);
    for (Node& node : nodes_)
        if (node.left == 0) SortLeaf(node);
    slots_.resize(ids_.size());
    for (uint32_t slot = 0; slot < ids_.size(); ++slot) slots_[ids_[slot]] = slot;
}

uint32_t TSignatureIndex::Build(uint32_t begin, uint32_t end, std::vector<uint32_t>& order) {
    // Order holds ids; codes_ is still in id order while the tree is built.
    const uint32_t index = static_cast<uint32_t>(nodes_.size());
    nodes_.push_back({});
    Node node;
    node.begin = begin;
    node.end = end;
    node.low.fill(255);
    node.high.fill(0);
    for (uint32_t i = begin; i < end; ++i)
        for (int k = 0; k < 16; ++k) {
            node.low[k] = std::min(node.low[k], codes_[order[i]][k]);
            node.high[k] = std::max(node.high[k], codes_[order[i]][k]);
        }
    const int axis = SplitAxis(codes_, &order[begin], end - begin);
    if (end - begin > kLeafSize && node.high[axis] > node.low[axis]) {
        const uint32_t middle = begin + (end - begin) / 2;
        std::nth_element(order.begin() + begin, order.begin() + middle, order.begin() + end,
                         [&](uint32_t a, uint32_t b) { return codes_[a][axis] < codes_[b][axis]; });
        node.left = Build(begin, middle, order);
        node.right = Build(middle, end, order);
    }
    nodes_[index] = node;
    return index;
}

void TSignatureIndex::SortLeaf(Node& leaf) {
    // A search scans only the run of entries whose sort value lies in the
    // query's range: sort by the value whose spread is largest against that
    // range (the first value's range is half as wide: FromQueryUp).
    double best = -1;
    for (int k = 0; k < 16; ++k) {
        const double spread = (leaf.high[k] - leaf.low[k]) / (k == 0 ? 1.0 : 2.0);
        if (spread > best) {
            best = spread;
            leaf.sortAxis = static_cast<uint8_t>(k);
        }
    }
    std::vector<uint32_t> order(leaf.end - leaf.begin);
    std::iota(order.begin(), order.end(), leaf.begin);
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) {
        return codes_[a][leaf.sortAxis] < codes_[b][leaf.sortAxis];
    });
    std::vector<TValues> values;
    std::vector<TCode> codes;
    std::vector<uint32_t> ids;
    for (uint32_t i : order) {
        values.push_back(values_[i]);
        codes.push_back(codes_[i]);
        ids.push_back(ids_[i]);
    }
    std::copy(values.begin(), values.end(), values_.begin() + leaf.begin);
    std::copy(codes.begin(), codes.end(), codes_.begin() + leaf.begin);
    std::copy(ids.begin(), ids.end(), ids_.begin() + leaf.begin);
}

// The query box of FindNear: every value within the margin, and no first
// value below FirstAtLeast. False when the box is empty (a negative margin).
static bool MakeQueryBox(const TValues& q, int32_t margin, int firstAtLeast, TValues& lower,
                         TValues& upper) {
    if (margin < 0) return false;
    const uint8_t m = static_cast<uint8_t>(std::min(margin, 255));
    for (int k = 0; k < 48; ++k) {
        lower[k] = static_cast<uint8_t>(std::max(0, q[k] - m));
        upper[k] = static_cast<uint8_t>(std::min(255, q[k] + m));
    }
    if (firstAtLeast > upper[0]) return false;
    lower[0] = static_cast<uint8_t>(std::max<int>(lower[0], firstAtLeast));
    return true;
}

void TSignatureIndex::FindNearAmong(const TValues& q, int32_t margin, bool fromQueryUp,
                                    const TCode* codes, const TValues* values, size_t count,
                                    uint32_t firstId, std::vector<uint32_t>& result) {
    TValues lower, upper;
    if (!MakeQueryBox(q, margin, fromQueryUp ? q[0] : 0, lower, upper)) return;
    const TCode codeLower = CodeOf(lower), codeUpper = CodeOf(upper);
    for (size_t i = 0; i < count; ++i)
        if (BoxesMeet(codes[i], codes[i], codeLower, codeUpper) && InBox(values[i], lower, upper))
            result.push_back(firstId + static_cast<uint32_t>(i));
}

void TSignatureIndex::FindNear(const TValues& q, int32_t margin, bool fromQueryUp,
                               std::vector<uint32_t>& result) const {
    FindNearFrom(q, margin, fromQueryUp ? q[0] : 0, result);
}

void TSignatureIndex::FindNearFrom(const TValues& q, int32_t margin, int firstAtLeast,
                                   std::vector<uint32_t>& result) const {
    result.clear();
    TValues lower, upper;
    if (nodes_.empty() || !MakeQueryBox(q, margin, firstAtLeast, lower, upper)) return;
    const TCode codeLower = CodeOf(lower), codeUpper = CodeOf(upper);
    uint32_t stack[128];
    int top = 0;
    stack[top++] = 0;
    while (top > 0) {
        const Node& node = nodes_[stack[--top]];
        if (!BoxesMeet(node.low, node.high, codeLower, codeUpper)) continue;
        if (node.left == 0) {
            const int axis = node.sortAxis;
            const auto first = std::partition_point(
                codes_.begin() + node.begin, codes_.begin() + node.end,
                [&](const TCode& code) { return code[axis] < codeLower[axis]; });
            for (auto i = static_cast<uint32_t>(first - codes_.begin());
                 i < node.end && codes_[i][axis] <= codeUpper[axis]; ++i)
                if (BoxesMeet(codes_[i], codes_[i], codeLower, codeUpper) &&
                    InBox(values_[i], lower, upper))
                    result.push_back(ids_[i]);
        } else {
            stack[top++] = node.right;
            stack[top++] = node.left;
        }
    }
}

size_t TSignatureIndex::MemoryUsed() const {
    return values_.capacity() * sizeof(TValues) + codes_.capacity() * sizeof(TCode) +
           (ids_.capacity() + slots_.capacity()) * sizeof(uint32_t) +
           nodes_.capacity() * sizeof(Node);
}

}  // namespace corvane
