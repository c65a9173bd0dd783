#include "matching/SignatureSnapshot.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <functional>
#include <thread>

#include "matching/MatchSearch.h"
#include "tablestore/SignatureTables.h"

namespace corvane {

namespace {

constexpr size_t kTextLength = TSignature::kValues * 4;

// One value within 0..255 as SignatureToString writes it: right-aligned in 4
// characters.
void WriteCanonicalField(unsigned v, char* text) {
    text[0] = ' ';
    text[1] = v >= 100 ? static_cast<char>('0' + v / 100) : ' ';
    text[2] = v >= 10 ? static_cast<char>('0' + v / 10 % 10) : ' ';
    text[3] = static_cast<char>('0' + v % 10);
}

void WriteCanonicalText(const uint8_t* values, char* text) {
    for (int i = 0; i < TSignature::kValues; ++i) WriteCanonicalField(values[i], text + 4 * i);
}

// The first 4 characters of the canonical text of a signature whose first
// value is V, big-endian.
uint32_t CanonicalPrefix(unsigned v) {
    char field[4];
    WriteCanonicalField(v, field);
    uint32_t prefix = 0;
    for (const char c : field) prefix = prefix << 8 | static_cast<uint8_t>(c);
    return prefix;
}

size_t KeyHash(std::string_view fileName, std::string_view filePath) {
    const size_t h = std::hash<std::string_view>()(fileName);
    return (h ^ (std::hash<std::string_view>()(filePath) + 0x9E3779B97F4A7C15ull + (h << 6) +
                 (h >> 2))) *
           0x9E3779B97F4A7C15ull;
}

}  // namespace

bool IsCanonicalText(const uint8_t* values, std::string_view text) {
    if (text.size() != kTextLength) return false;
    char canonical[kTextLength];
    WriteCanonicalText(values, canonical);
    return std::memcmp(canonical, text.data(), kTextLength) == 0;
}

void TSignatureSnapshot::Clear() {
    prefetch_.reset();
    finder_.reset();
    hot_.clear();
    compact_.clear();
    names_.clear();
    nameStart_.assign(1, 0);
    pathLength_.clear();
    odd_.clear();
    keySlots_.clear();
    nextWithStatus_[0].clear();
    nextWithStatus_[1].clear();
    firstWithValue_.clear();
}

void TSignatureSnapshot::Add(const std::string& fileName, const std::string& filePath,
                             const std::string& text, const TIgnoreList& ignore) {
    const uint32_t position = static_cast<uint32_t>(hot_.size());
    THot hot;
    for (size_t i = 0; i < 4; ++i) {
        const uint8_t c = i < text.size() ? static_cast<uint8_t>(text[i]) : 0;
        hot.Prefix = hot.Prefix << 8 | c;
    }
    hot.LongText = text.size() > 4;
    hot.Ignored = ignore.Contains(filePath);
    TValues& bytes = compact_.emplace_back();
    TSignature values;
    std::string parseError;
    try {
        values = StringToSignature(text);
        hot.Parsed = true;
    } catch (const Exception& error) {
        parseError = error.Message();
    }
    hot.Compact = hot.Parsed && ToByteValues(values, bytes);
    hot.Canonical = hot.Compact && IsCanonicalText(bytes.data(), text);
    if (!hot.Canonical) odd_.emplace(position, TOddEntry{text, values, std::move(parseError)});
    hot_.push_back(hot);
    names_ += filePath;
    names_ += fileName;
    nameStart_.push_back(names_.size());
    pathLength_.push_back(static_cast<uint32_t>(filePath.size()));
}

void TSignatureSnapshot::Load(TSignaturesTableObjects& objects, const TIgnoreList& ignore) {
    Clear();
    TStoreTable& table = objects.SignaturesTable;
    TCursorRestorer restorer(table);
    table.SetIndexName("BySignature");
    const size_t count = static_cast<size_t>(table.RecordCount());
    hot_.reserve(count);
    compact_.reserve(count);
    nameStart_.reserve(count + 1);
    pathLength_.reserve(count);
    for (table.First(); !table.AtEnd(); table.Next()) {
        Add(objects.SignaturesTableFileName.Value(), objects.SignaturesTableFilePath.Value(),
            objects.SignaturesTableSignature.Value(), ignore);
    }
    restorer.Restore();
    BuildKeys();
    BuildFinder();
}

size_t TSignatureSnapshot::KeySlot(std::string_view fileName, std::string_view filePath) const {
    return KeyHash(fileName, filePath) & (keySlots_.size() - 1);
}

bool TSignatureSnapshot::HasKey(size_t position, std::string_view fileName,
                                std::string_view filePath) const {
    const std::string_view name = FullName(position);
    return pathLength_[position] == filePath.size() &&
           name.size() == filePath.size() + fileName.size() &&
           name.substr(0, filePath.size()) == filePath && name.substr(filePath.size()) == fileName;
}

void TSignatureSnapshot::BuildKeys() {
    size_t capacity = 16;
    while (capacity < 2 * Size()) capacity *= 2;
    keySlots_.assign(capacity, 0);
    for (size_t position = 0; position < Size(); ++position) {
        const std::string_view name = FullName(position);
        const std::string_view filePath = name.substr(0, pathLength_[position]);
        const std::string_view fileName = name.substr(pathLength_[position]);
        size_t slot = KeySlot(fileName, filePath);
        bool repeated = false;
        while (keySlots_[slot] != 0 && !repeated) {
            repeated = HasKey(keySlots_[slot] - 1, fileName, filePath);
            slot = (slot + 1) & (capacity - 1);
        }
        if (!repeated) keySlots_[slot] = static_cast<uint32_t>(position + 1);
    }
}

void TSignatureSnapshot::BuildFinder() {
    const size_t count = Size();
    for (int status = 0; status < 2; ++status) {
        nextWithStatus_[status].assign(count, static_cast<uint32_t>(count));
        uint32_t next = static_cast<uint32_t>(count);
        for (size_t i = count; i-- > 0;) {
            if (hot_[i].Ignored == (status == 1)) next = static_cast<uint32_t>(i);
            nextWithStatus_[status][i] = next;
        }
    }
    // The finder takes the order of the texts for the order of the values,
    // true of the program's own form only (a zero-padded field sorts apart
    // from its value); the plain scan also reports bad texts in order.
    for (size_t i = 0; i < count; ++i)
        if (!hot_[i].Canonical) return;
    firstWithValue_.assign(257, static_cast<uint32_t>(count));
    for (size_t i = count; i-- > 0;) firstWithValue_[compact_[i][0]] = static_cast<uint32_t>(i);
    for (size_t v = 256; v-- > 0;)
        firstWithValue_[v] = std::min(firstWithValue_[v], firstWithValue_[v + 1]);
    std::vector<bool> ignored(count);
    for (size_t i = 0; i < count; ++i) ignored[i] = hot_[i].Ignored;
    // The finder keeps the values; the snapshot reads them from it.
    finder_ = std::make_unique<TMatchFinder>(std::move(compact_), std::move(ignored));
    compact_ = {};
}

void TSignatureSnapshot::Prefetch(int32_t margin, bool perChannel) {
    if (!finder_) return;
    if (prefetch_ && prefetch_->Margin() == margin && prefetch_->PerChannel() == perChannel) return;
    // Asked once per record: the processor count costs a file read.
    static const unsigned processors = std::thread::hardware_concurrency();
    if (processors < 2) return;
    prefetch_.reset();
    // Room for a few rows per record; a search that finds far more computes
    // the rest as it goes instead of holding them all.
    const size_t rowsMemory = Size() * 6 * sizeof(TFoundMatch) + (64u << 10);
    try {
        prefetch_ = std::make_unique<TRangeMatchPrefetch>(*finder_, margin, perChannel, rowsMemory);
    } catch (const std::exception&) {
        // No thread or no memory for it: the searches run on this thread.
    }
}

void TSignatureSnapshot::RangeMatches(size_t position, int32_t margin, bool perChannel,
                                      std::vector<TFoundMatch>& out) const {
    if (prefetch_ && prefetch_->Margin() == margin && prefetch_->PerChannel() == perChannel)
        prefetch_->Take(static_cast<uint32_t>(position), out);
    else
        finder_->RangeMatches(static_cast<uint32_t>(position), margin, perChannel, out);
}

TSignature TSignatureSnapshot::Values(size_t position) const {
    if (!hot_[position].Canonical) return odd_.at(static_cast<uint32_t>(position)).Values;
    TSignature values;
    std::copy_n(CompactValues(position), TSignature::kValues, values.Values.begin());
    return values;
}

std::string TSignatureSnapshot::Text(size_t position) const {
    if (!hot_[position].Canonical) return odd_.at(static_cast<uint32_t>(position)).Text;
    std::string text(kTextLength, ' ');
    WriteCanonicalText(CompactValues(position), text.data());
    return text;
}

const std::string& TSignatureSnapshot::ParseError(size_t position) const {
    return odd_.at(static_cast<uint32_t>(position)).ParseError;
}

size_t TSignatureSnapshot::FirstAbove(size_t from, const std::string& boundText) const {
    uint32_t bound = 0;
    if (!firstWithValue_.empty() && snapshot_detail::BoundPrefix(boundText, bound)) {
        // Canonical texts are longer than the bound and ordered by their
        // first value: the first one above is that of the smallest first
        // value whose 4 characters are not below the bound.
        size_t low = 0, high = 256;
        while (low < high) {
            const size_t middle = (low + high) / 2;
            if (CanonicalPrefix(static_cast<unsigned>(middle)) >= bound)
                high = middle;
            else
                low = middle + 1;
        }
        return std::max<size_t>(from, firstWithValue_[low]);
    }
    size_t low = from, high = Size();
    while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (TextAbove(middle, boundText))
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

bool TSignatureSnapshot::TextAbove(size_t position, const std::string& boundText) const {
    const THot& hot = hot_[position];
    uint32_t bound = 0;
    // A longer text is above a 4-character bound exactly when its first 4
    // characters are not below it.
    if (hot.LongText && snapshot_detail::BoundPrefix(boundText, bound)) return hot.Prefix >= bound;
    return Text(position) > boundText;
}

std::optional<size_t> TSignatureSnapshot::Find(const std::string& fileName,
                                               const std::string& filePath,
                                               const std::string& signatureText) const {
    if (keySlots_.empty()) return std::nullopt;
    for (size_t slot = KeySlot(fileName, filePath); keySlots_[slot] != 0;
         slot = (slot + 1) & (keySlots_.size() - 1)) {
        const size_t position = keySlots_[slot] - 1;
        if (!HasKey(position, fileName, filePath)) continue;
        const bool sameText = hot_[position].Canonical
                                  ? IsCanonicalText(CompactValues(position), signatureText)
                                  : odd_.at(static_cast<uint32_t>(position)).Text == signatureText;
        if (!sameText) return std::nullopt;
        return position;
    }
    return std::nullopt;
}

size_t TSignatureSnapshot::MemoryUsed() const {
    size_t odd = 0;
    for (const auto& [position, entry] : odd_)
        odd += sizeof(entry) + 32 + entry.Text.capacity() + entry.ParseError.capacity();
    return hot_.capacity() * sizeof(THot) + compact_.capacity() * sizeof(TValues) +
           names_.capacity() + nameStart_.capacity() * sizeof(size_t) +
           pathLength_.capacity() * sizeof(uint32_t) + keySlots_.capacity() * sizeof(uint32_t) +
           nextWithStatus_[0].capacity() * 8 + odd + (finder_ ? finder_->MemoryUsed() : 0);
}

}  // namespace corvane
