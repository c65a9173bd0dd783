#include "matching/LiveSignatureIndex.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "matching/MatchSearch.h"
#include "matching/SignatureSnapshot.h"
#include "tablestore/SignatureTables.h"
#include "util/Exception.h"

namespace corvane {

namespace {

// Records posted since the last rebuild are tested one by one, and the
// tree is rebuilt when they (with the entries dropped since) pass
// 32 x sqrt(tree size). Building costs per entry about 600 times what testing
// one entry costs per search (measured); this limit balances the two costs,
// to about 10 us per post each at a million records.
size_t RecentLimit(size_t treeSize) {
    return std::max<size_t>(1024, static_cast<size_t>(32 * std::sqrt(double(treeSize))));
}

// The values of a stored text, when it is in the canonical form.
bool CanonicalValues(const std::string& text, TSignatureIndex::TValues& values) {
    try {
        return ToByteValues(StringToSignature(text), values) &&
               IsCanonicalText(values.data(), text);
    } catch (const Exception&) {
        return false;
    }
}

}  // namespace

TLiveSignatureIndex::TLiveSignatureIndex() = default;
TLiveSignatureIndex::~TLiveSignatureIndex() = default;

void TLiveSignatureIndex::Clear() {
    loaded_ = false;
    tableVisits_ = 0;
    ignoreLines_.clear();
    ignore_ = TIgnoreList();
    entries_ = {};
    names_ = {};
    nameStart_.assign(1, 0);
    tree_.reset();
    treeSize_ = 0;
    recent_ = {};
    recentCodes_ = {};
    treeIdentities_ = {};
    recentIdentities_ = {};
    deadCount_ = 0;
}

void TLiveSignatureIndex::Load(TSignaturesTableObjects& objects,
                               const std::vector<std::string>& ignoreLines) {
    Clear();
    ignoreLines_ = ignoreLines;
    ignore_ = TIgnoreList(ignoreLines);
    TStoreTable& table = objects.SignaturesTable;
    TCursorRestorer restorer(table);
    const size_t count = static_cast<size_t>(table.RecordCount());
    entries_.reserve(count);
    recent_.reserve(count);
    recentCodes_.reserve(count);
    nameStart_.reserve(count + 1);
    TValues values;
    for (table.First(); !table.AtEnd(); table.Next()) {
        if (!CanonicalValues(objects.SignaturesTableSignature.Value(), values)) {
            Clear();
            return;
        }
        const std::string path = objects.SignaturesTableFilePath.Value();
        AddEntry(table.RecordIdentity(), path + objects.SignaturesTableFileName.Value(), values,
                 ignore_.Contains(path));
    }
    restorer.Restore();
    Rebuild();
    // Identities start again at 1 after 2^31 - 1 records: two records may
    // then share one, and the order of equal texts is no longer theirs.
    if (std::adjacent_find(treeIdentities_.begin(), treeIdentities_.end(),
                           [](const auto& a, const auto& b) { return a.first == b.first; }) !=
        treeIdentities_.end()) {
        Clear();
        return;
    }
    changeCount_ = table.ChangeCount();
    loaded_ = true;
}

bool TLiveSignatureIndex::LoadPays(const TStoreTable& table) const {
    return tableVisits_ >= table.RecordCount();
}

bool TLiveSignatureIndex::InStep(const TStoreTable& table,
                                 const std::vector<std::string>& ignoreLines) const {
    return loaded_ && table.ChangeCount() == changeCount_ && ignoreLines == ignoreLines_;
}

void TLiveSignatureIndex::RecordPosted(TSignaturesTableObjects& objects) {
    const TStoreTable& table = objects.SignaturesTable;
    if (!loaded_) return;
    TValues values;
    if (table.ChangeCount() != changeCount_ + 1 ||
        !CanonicalValues(objects.SignaturesTableSignature.Value(), values)) {
        Clear();
        return;
    }
    changeCount_ = table.ChangeCount();
    const std::string path = objects.SignaturesTableFilePath.Value();
    const std::string fullName = path + objects.SignaturesTableFileName.Value();
    const int32_t identity = table.RecordIdentity();
    const size_t old = EntryOf(identity);
    if (old < Size()) {
        if (FullName(old) != fullName) {  // another record with this identity
            Clear();
            return;
        }
        if (ValuesOf(old) == values) return;
        entries_[old].Live = false;
        ++deadCount_;
    }
    recentIdentities_[identity] = static_cast<uint32_t>(Size());
    AddEntry(identity, fullName, values, ignore_.Contains(path));
    if (recent_.size() + deadCount_ > RecentLimit(treeSize_)) Rebuild();
}

void TLiveSignatureIndex::AddEntry(int32_t identity, std::string_view fullName,
                                   const TValues& values, bool ignored) {
    entries_.push_back({identity, true, ignored});
    recent_.push_back(values);
    recentCodes_.push_back(TSignatureIndex::CodeOf(values));
    names_ += fullName;
    nameStart_.push_back(names_.size());
}

// Puts every live entry into a new tree.
void TLiveSignatureIndex::Rebuild() {
    std::vector<TEntry> entries;
    std::vector<TValues> values;
    std::string names;
    std::vector<size_t> nameStart(1, 0);
    const size_t live = Size() - deadCount_;
    entries.reserve(live);
    values.reserve(live);
    nameStart.reserve(live + 1);
    for (size_t entry = 0; entry < Size(); ++entry) {
        if (!entries_[entry].Live) continue;
        entries.push_back(entries_[entry]);
        values.push_back(ValuesOf(entry));
        names += FullName(entry);
        nameStart.push_back(names.size());
    }
    tree_.reset();  // its values are in Values now
    recent_ = {};
    recentCodes_ = {};
    recentIdentities_ = {};
    deadCount_ = 0;
    entries_ = std::move(entries);
    names_ = std::move(names);
    nameStart_ = std::move(nameStart);
    treeIdentities_.clear();
    treeIdentities_.reserve(Size());
    for (size_t entry = 0; entry < Size(); ++entry)
        treeIdentities_.emplace_back(entries_[entry].Identity, static_cast<uint32_t>(entry));
    std::sort(treeIdentities_.begin(), treeIdentities_.end());
    treeSize_ = Size();
    tree_ = std::make_unique<TSignatureIndex>(std::move(values));
}

size_t TLiveSignatureIndex::EntryOf(int32_t identity) const {
    const auto recent = recentIdentities_.find(identity);
    if (recent != recentIdentities_.end()) return recent->second;
    const auto tree = std::lower_bound(treeIdentities_.begin(), treeIdentities_.end(),
                                       std::make_pair(identity, uint32_t{0}));
    if (tree != treeIdentities_.end() && tree->first == identity && entries_[tree->second].Live)
        return tree->second;
    return Size();
}

const TLiveSignatureIndex::TValues& TLiveSignatureIndex::ValuesOf(size_t entry) const {
    return entry < treeSize_ ? tree_->ValuesOf(static_cast<uint32_t>(entry))
                             : recent_[entry - treeSize_];
}

std::string_view TLiveSignatureIndex::FullName(size_t entry) const {
    return std::string_view(names_).substr(nameStart_[entry],
                                           nameStart_[entry + 1] - nameStart_[entry]);
}

bool TLiveSignatureIndex::Before(size_t a, size_t b) const {
    // Canonical texts order as their values; equal texts by identity.
    const int order = std::memcmp(ValuesOf(a).data(), ValuesOf(b).data(), sizeof(TValues));
    return order != 0 ? order < 0 : entries_[a].Identity < entries_[b].Identity;
}

std::optional<std::string_view> TLiveSignatureIndex::RangeMatches(const TStoreTable& table,
                                                                  int32_t margin, bool perChannel,
                                                                  std::vector<TMatch>& out) const {
    out.clear();
    if (!loaded_) return std::nullopt;
    const size_t picture = EntryOf(table.RecordIdentity());
    if (picture >= Size()) return std::nullopt;
    const TValues& values = ValuesOf(picture);
    std::vector<uint32_t> near;
    tree_->FindNear(values, margin, true, near);
    TSignatureIndex::FindNearAmong(values, margin, true, recentCodes_.data(), recent_.data(),
                                   recent_.size(), static_cast<uint32_t>(treeSize_), near);

    std::vector<std::pair<uint32_t, int32_t>> found;  // entry, MaxDiff
    const std::string_view pictureName = FullName(picture);
    for (const uint32_t entry : near) {
        const TEntry& candidate = entries_[entry];
        if (!candidate.Live || candidate.Ignored != entries_[picture].Ignored) continue;
        if (!Before(picture, entry)) continue;
        int32_t maxDiff = 0;
        if (!snapshot_detail::CompactSignaturesMatch(values.data(), ValuesOf(entry).data(), margin,
                                                     perChannel, maxDiff))
            continue;
        if (FullName(entry) != pictureName) found.emplace_back(entry, maxDiff);
    }
    std::sort(found.begin(), found.end(),
              [this](const auto& a, const auto& b) { return Before(a.first, b.first); });
    for (const auto& [entry, maxDiff] : found) out.push_back({FullName(entry), maxDiff});
    return pictureName;
}

size_t TLiveSignatureIndex::MemoryUsed() const {
    return entries_.capacity() * sizeof(TEntry) + names_.capacity() +
           nameStart_.capacity() * sizeof(size_t) + (tree_ ? tree_->MemoryUsed() : 0) +
           recent_.capacity() * sizeof(TValues) + recentCodes_.capacity() * sizeof(TCode) +
           treeIdentities_.capacity() * sizeof(treeIdentities_[0]) + recentIdentities_.size() * 32;
}

}  // namespace corvane
