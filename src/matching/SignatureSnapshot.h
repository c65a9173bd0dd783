// The signature table in BySignature order, read and parsed once per command,
// for the command that searches the matches of every record (identify all).
// The candidate enumeration of the range scan runs over it instead of moving
// the table's cursor; the rows it finds are those of the table-driven scan.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "matching/IgnoreList.h"
#include "matching/MatchFinder.h"
#include "signature/Signature.h"

namespace corvane {

struct TSignaturesTableObjects;

class TSignatureSnapshot {
  public:
    struct TEntry {
        std::string Text;      // the stored Signature text
        std::string FullName;  // FilePath + FileName
        TSignature Values;     // parsed Text, when Parsed
        bool Parsed = false;
        std::string ParseError;  // the conversion error's message otherwise
        bool Ignored = false;    // IsIgnoredPath(FilePath)
    };

    // Reads every record in BySignature order (equal texts in the order their
    // records were added). The table's index and current record are put back
    // as they were. Table-store errors propagate.
    void Load(TSignaturesTableObjects& table, const TIgnoreList& ignore);

    size_t Size() const { return entries_.size(); }
    const TEntry& Entry(size_t position) const { return entries_[position]; }

    // Position of the record with exactly these texts; none when the table
    // changed since Load.
    std::optional<size_t> Find(const std::string& fileName, const std::string& filePath,
                               const std::string& signatureText) const;

    // Hot data of the range scan, one element per position, kept apart from
    // the entries so that a scan streams through a few small arrays.
    struct THot {
        uint32_t Prefix = 0;    // first 4 characters of Text, big-endian
        bool LongText = false;  // Text has more than 4 characters
        bool Compact = false;   // parsed and every value within 0..255
        bool Ignored = false;
        bool Parsed = false;
    };
    const THot& Hot(size_t position) const { return hot_[position]; }
    // The 48 values as bytes; valid when Hot(position).Compact.
    const uint8_t* CompactValues(size_t position) const {
        return &compact_[position * TSignature::kValues];
    }

    // The search structure over every entry, when every stored signature
    // parsed with values within 0..255 (otherwise null, and searches take
    // the plain range scan, which reports a bad text where the table scan
    // would).
    const TMatchFinder* Finder() const { return finder_.get(); }
    // The first position at or after Position whose ignore status is
    // Ignored; Size() when there is none.
    size_t NextWithStatus(size_t position, bool ignored) const {
        return position < nextWithStatus_[ignored].size() ? nextWithStatus_[ignored][position]
                                                          : Size();
    }

  private:
    void AddHot(const TEntry& entry);
    void BuildFinder();

    std::vector<TEntry> entries_;
    // (FileName, FilePath) -> position; the primary key makes it unique.
    std::unordered_map<std::string, size_t> byKey_;
    std::vector<THot> hot_;
    std::vector<uint8_t> compact_;
    std::unique_ptr<TMatchFinder> finder_;
    std::vector<uint32_t> nextWithStatus_[2];
};

// What one search of the range scan did.
struct TRangeScanResult {
    int64_t Visited = 0;  // records the table-driven scan would have visited
};

// Enumerates the candidates of the range scan for the picture at Position:
// from the picture onwards, candidates of the picture's ignore status, up to
// the first of them whose text is above BoundText. Calls OnMatch(candidate,
// maxDiff) for each candidate that matches and is not the picture itself, in
// table order. A visited candidate that does not parse throws its conversion
// error (after the matches before it were reported).
template <class TOnMatch>
TRangeScanResult RangeScanSnapshot(const TSignatureSnapshot& snapshot, size_t position,
                                   const std::string& boundText, int32_t margin, bool perChannel,
                                   TOnMatch&& onMatch);

// The range scan's rows and visit count for the picture at Position, found
// through the snapshot's Finder (which must exist): the same calls of
// OnMatch, in the same order, as RangeScanSnapshot makes.
template <class TOnMatch>
TRangeScanResult RangeScanIndexed(const TSignatureSnapshot& snapshot, size_t position,
                                  const std::string& boundText, int32_t margin, bool perChannel,
                                  TOnMatch&& onMatch);

}  // namespace corvane

#include "matching/SignatureSnapshot.inl"
