#include "review/MatchGraph.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <limits>

#include "matching/SignatureCompare.h"
#include "tablestore/SignatureTables.h"
#include "util/Exception.h"

namespace corvane {

// ---- TPictureNames

size_t TPictureNames::Slot(std::string_view name) const {
    const size_t mask = slots_.size() - 1;
    size_t slot = std::hash<std::string_view>()(name) & mask;
    while (slots_[slot] != 0 && Name(slots_[slot] - 1) != name) slot = (slot + 1) & mask;
    return slot;
}

void TPictureNames::Rehash(size_t slotCount) {
    std::vector<uint32_t> old(slotCount, 0);
    old.swap(slots_);
    const size_t mask = slots_.size() - 1;
    for (uint32_t entry : old) {
        if (entry == 0) continue;
        size_t slot = std::hash<std::string_view>()(Name(entry - 1)) & mask;
        while (slots_[slot] != 0) slot = (slot + 1) & mask;
        slots_[slot] = entry;
    }
}

void TPictureNames::Reserve(size_t count) {
    starts_.reserve(count);
    lengths_.reserve(count);
    size_t slotCount = slots_.size();
    while (count * 2 > slotCount) slotCount *= 2;
    if (slotCount != slots_.size()) Rehash(slotCount);
}

uint32_t TPictureNames::Store(std::string_view name) {
    if (name.size() > kBlockMask || name.size() > UINT16_MAX)
        throw Exception("A file name too long to group");
    if (used_ + name.size() > kBlockMask + 1) {
        if (blocks_.size() >= (size_t{1} << (32 - kBlockBits)))
            throw Exception("Too many file names to group");
        blocks_.push_back(std::make_unique<char[]>(kBlockMask + 1));
        used_ = 0;
    }
    const auto block = static_cast<uint32_t>(blocks_.size() - 1);
    std::copy(name.begin(), name.end(), blocks_.back().get() + used_);
    const uint32_t at = (block << kBlockBits) | used_;
    used_ += static_cast<uint32_t>(name.size());
    return at;
}

TPictureId TPictureNames::Intern(std::string_view name) {
    const size_t slot = Slot(name);
    if (slots_[slot] != 0) return slots_[slot] - 1;
    const auto id = static_cast<TPictureId>(Size());
    starts_.push_back(Store(name));
    lengths_.push_back(static_cast<uint16_t>(name.size()));
    slots_[slot] = id + 1;
    // At most half the slots taken keeps the probes short.
    if (Size() * 2 > slots_.size()) Rehash(slots_.size() * 2);
    return id;
}

std::optional<TPictureId> TPictureNames::Find(std::string_view name) const {
    const size_t slot = Slot(name);
    if (slots_[slot] == 0) return std::nullopt;
    return slots_[slot] - 1;
}

size_t TPictureNames::MemoryUsed() const {
    return blocks_.size() * (kBlockMask + 1) + starts_.capacity() * sizeof(uint32_t) +
           lengths_.capacity() * sizeof(uint16_t) + slots_.capacity() * sizeof(uint32_t);
}

// ---- TMatchGraph

void TMatchGraph::Load(TMatchTableObjects& matches, TSignaturesTableObjects& signatures) {
    *this = TMatchGraph();
    TStoreTable& rows = matches.MatchTable;
    // Sized once: a vector that doubles holds twice its rows for a moment.
    Reserve(static_cast<size_t>(rows.RecordCount()));
    for (rows.First(); !rows.AtEnd(); rows.Next())
        AddRow(matches.MatchTableFile1.Value(), matches.MatchTableFile2.Value(),
               matches.MatchTableMaxDiff.Value());
    TStoreTable& records = signatures.SignaturesTable;
    std::string fullName;
    for (records.First(); !records.AtEnd(); records.Next()) {
        fullName = signatures.SignaturesTableFilePath.Value();
        fullName += signatures.SignaturesTableFileName.Value();
        if (names_.Find(fullName))
            SetSignature(fullName, signatures.SignaturesTableSignature.Value());
    }
}

void TMatchGraph::Reserve(size_t rows) {
    rows_.reserve(rows);
    names_.Reserve(rows);
}

void TMatchGraph::AddRow(std::string_view file1, std::string_view file2, int32_t maxDiff) {
    const TPictureId a = names_.Intern(file1);
    const TPictureId b = names_.Intern(file2);
    rows_.push_back({a, b, maxDiff});
}

void TMatchGraph::SetSignature(std::string_view fullName, std::string_view signatureText) {
    const std::optional<TPictureId> id = names_.Find(fullName);
    if (!id) return;
    if (values_.size() < names_.Size()) {
        values_.resize(names_.Size());
        hasValues_.resize(names_.Size(), false);
    }
    TSignature signature;
    try {
        signature = StringToSignature(signatureText);
    } catch (const Exception&) {
        hasValues_[*id] = false;
        return;
    }
    for (int i = 0; i < TSignature::kValues; ++i) {
        if (signature.Values[i] < 0 || signature.Values[i] > 255) {
            hasValues_[*id] = false;
            return;
        }
        values_[*id][i] = static_cast<uint8_t>(signature.Values[i]);
    }
    hasValues_[*id] = true;
}

std::optional<TSignature> TMatchGraph::SignatureOf(TPictureId id) const {
    if (id >= hasValues_.size() || !hasValues_[id]) return std::nullopt;
    TSignature signature;
    for (int i = 0; i < TSignature::kValues; ++i) signature.Values[i] = values_[id][i];
    return signature;
}

std::vector<TMatchEdge> TMatchGraph::Edges(int32_t margin, bool perChannel) const {
    std::vector<TMatchEdge> edges;
    edges.reserve(rows_.size());
    for (const TMatchEdge& row : rows_) {
        const std::optional<TSignature> a = SignatureOf(row.A);
        const std::optional<TSignature> b = a ? SignatureOf(row.B) : std::nullopt;
        if (!b) {
            if (row.MaxDiff <= margin) edges.push_back(row);
            continue;
        }
        int32_t maxDiff = 0;
        if (SignaturesMatch(*a, *b, margin, perChannel, maxDiff))
            edges.push_back({row.A, row.B, maxDiff});
    }
    return edges;
}

size_t TMatchGraph::MemoryUsed() const {
    return names_.MemoryUsed() + rows_.capacity() * sizeof(TMatchEdge) +
           values_.capacity() * sizeof(TValues) + hasValues_.capacity() / 8;
}

}  // namespace corvane
