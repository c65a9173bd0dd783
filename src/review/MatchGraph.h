// The match table as a graph for grouping: the pictures its rows name,
// numbered in the order they first appear (the table's order, closest rows
// first), the rows as edges between those numbers, and the signatures of the
// pictures from the signature table, so that the margin and mode of a
// grouping can differ from those of the identify run that wrote the rows.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
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
// added.
class TPictureNames {
  public:
    // The name's number; a new name gets the next one.
    TPictureId Intern(std::string_view name);
    std::optional<TPictureId> Find(std::string_view name) const;
    std::string_view Name(TPictureId id) const {
        return std::string_view(text_).substr(starts_[id], starts_[id + 1] - starts_[id]);
    }
    size_t Size() const { return starts_.size() - 1; }
    size_t MemoryUsed() const;

  private:
    size_t Slot(std::string_view name) const;
    void Grow();

    std::string text_;                                            // every name, one after the other
    std::vector<uint32_t> starts_{0};                             // Size() + 1 offsets into text_
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
