// The match table as a graph for grouping: the pictures its rows name,
// numbered in the order they first appear (the table's order, closest rows
// first), the rows as edges between those numbers, and the signatures of the
// pictures from the signature table, so that the margin and mode of a
// grouping can differ from those of the identify run that wrote the rows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "review/Groups.h"
#include "signature/Signature.h"

namespace corvane {

struct TSignaturesTableObjects;
struct TMatchTableObjects;

// Full file names, each stored once, numbered from 0 in the order they are
// added. Names lie in blocks of fixed size, so that growing never copies
// them (a copy would double the memory for a moment).
class TPictureNames {
  public:
    // The name's number; a new name gets the next one.
    TPictureId Intern(std::string_view name);
    std::optional<TPictureId> Find(std::string_view name) const;
    std::string_view Name(TPictureId id) const {
        const uint32_t at = starts_[id];
        return std::string_view(blocks_[at >> kBlockBits].get() + (at & kBlockMask), lengths_[id]);
    }
    size_t Size() const { return starts_.size(); }
    // Room for this many names without growing.
    void Reserve(size_t count);
    size_t MemoryUsed() const;

  private:
    static constexpr uint32_t kBlockBits = 20;
    static constexpr uint32_t kBlockMask = (uint32_t{1} << kBlockBits) - 1;

    size_t Slot(std::string_view name) const;
    void Rehash(size_t slotCount);
    uint32_t Store(std::string_view name);

    std::vector<std::unique_ptr<char[]>> blocks_;
    uint32_t used_ = kBlockMask + 1;  // bytes used in the last block
    std::vector<uint32_t> starts_;    // block << kBlockBits | offset
    std::vector<uint16_t> lengths_;
    std::vector<uint32_t> slots_ = std::vector<uint32_t>(16, 0);  // id + 1 by hash, 0 free
};

class TMatchGraph {
  public:
    using TValues = std::array<uint8_t, TSignature::kValues>;

    // Replaces the contents with every row of the match table and the
    // signatures of the pictures they name (read in the tables' current
    // orders; the tables' current records move). Table-store errors
    // propagate.
    void Load(TMatchTableObjects& matches, TSignaturesTableObjects& signatures);

    // Building by hand (tests, benchmarks): a row, and a picture's signature
    // text as the signature table holds it.
    void AddRow(std::string_view file1, std::string_view file2, int32_t maxDiff);
    // Room for this many rows (and as many pictures) without growing.
    void Reserve(size_t rows);
    void SetSignature(std::string_view fullName, std::string_view signatureText);

    const TPictureNames& Names() const { return names_; }
    size_t RowCount() const { return rows_.size(); }
    // The picture's signature when its record exists and its text holds 48
    // values of 0..255.
    std::optional<TSignature> SignatureOf(TPictureId id) const;

    // The rows whose pictures match in this margin and mode, with MaxDiff as
    // the comparison gives it. A picture without a usable signature keeps the
    // row's stored MaxDiff, tested against the margin.
    std::vector<TMatchEdge> Edges(int32_t margin, bool perChannel) const;

    size_t MemoryUsed() const;

  private:
    TPictureNames names_;
    std::vector<TMatchEdge> rows_;
    std::vector<TValues> values_;  // by picture, valid where hasValues_
    std::vector<bool> hasValues_;
};

}  // namespace corvane
