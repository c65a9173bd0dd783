// The signature table in BySignature order, read and parsed once per command,
// for the command that searches the matches of every record (identify all).
// The candidate enumeration of the range scan runs over it instead of moving
// the table's cursor; the rows it finds are those of the table-driven scan.
//
// It holds per record only what the searches need: the 48 values as bytes,
// the ignore status, the first characters of the text and the full name in
// one shared arena. The text itself is kept only for the rare record whose
// text is not the canonical form of its values (or does not parse); every
// other text is regenerated from the values when needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "matching/IgnoreList.h"
#include "matching/MatchFinder.h"
#include "signature/Signature.h"

namespace corvane {

struct TSignaturesTableObjects;

class TSignatureSnapshot {
  public:
    using TValues = TSignatureIndex::TValues;

    // Reads every record in BySignature order (equal texts in the order their
    // records were added). The table's index and current record are put back
    // as they were. Table-store errors propagate.
    void Load(TSignaturesTableObjects& table, const TIgnoreList& ignore);

    size_t Size() const { return hot_.size(); }

    // Position of the record with exactly these texts; none when the table
    // changed since Load.
    std::optional<size_t> Find(const std::string& fileName, const std::string& filePath,
                               const std::string& signatureText) const;

    // Hot data of the range scan, one element per position, kept apart from
    // the rest so that a scan streams through a few small arrays.
    struct THot {
        uint32_t Prefix = 0;     // first 4 characters of the text, big-endian
        bool LongText = false;   // the text has more than 4 characters
        bool Compact = false;    // parsed and every value within 0..255
        bool Ignored = false;    // IsIgnoredPath(FilePath)
        bool Parsed = false;     // the text converts to a signature
        bool Canonical = false;  // Compact, and the text is exactly SignatureToString
    };
    const THot& Hot(size_t position) const { return hot_[position]; }
    // The 48 values as bytes; valid when Hot(position).Compact.
    const uint8_t* CompactValues(size_t position) const {
        return finder_ ? finder_->Values(static_cast<uint32_t>(position)).data()
                       : compact_[position].data();
    }
    // The parsed values; valid when Hot(position).Parsed.
    TSignature Values(size_t position) const;
    // The stored Signature text.
    std::string Text(size_t position) const;
    // The conversion error's message of a text that does not parse.
    const std::string& ParseError(size_t position) const;
    // FilePath + FileName.
    std::string_view FullName(size_t position) const {
        return std::string_view(names_).substr(nameStart_[position],
                                               nameStart_[position + 1] - nameStart_[position]);
    }
    // The first position at or after From whose text is above BoundText
    // (Size() when none), for ascending texts from From on.
    size_t FirstAbove(size_t from, const std::string& boundText) const;
    // Text(position) > BoundText, without building the text in the common
    // case of a 4-character bound.
    bool TextAbove(size_t position, const std::string& boundText) const;

    // The search structure over every entry, when every stored text is in
    // the canonical form of values within 0..255 (otherwise null, and
    // searches take the plain range scan, which follows the texts' order and
    // reports a bad text where the table scan would).
    const TMatchFinder* Finder() const { return finder_.get(); }
    // Has the Finder's RangeMatches for this margin and mode computed ahead
    // on a second processor, when the machine has one (restarting it when
    // the parameters changed). Needs the Finder; ends with the next Load.
    void Prefetch(int32_t margin, bool perChannel);
    // Finder()->RangeMatches, taken from the prefetch when it has them.
    void RangeMatches(size_t position, int32_t margin, bool perChannel,
                      std::vector<TFoundMatch>& out) const;
    // The first position at or after Position whose ignore status is
    // Ignored; Size() when there is none.
    size_t NextWithStatus(size_t position, bool ignored) const {
        return position < nextWithStatus_[ignored].size() ? nextWithStatus_[ignored][position]
                                                          : Size();
    }

    // Bytes held, for the benchmarks.
    size_t MemoryUsed() const;

  private:
    // What is kept of a record whose text is not canonical.
    struct TOddEntry {
        std::string Text;
        TSignature Values;       // when parsed
        std::string ParseError;  // otherwise
    };

    void Clear();
    void Add(const std::string& fileName, const std::string& filePath, const std::string& text,
             const TIgnoreList& ignore);
    void BuildKeys();
    size_t KeySlot(std::string_view fileName, std::string_view filePath) const;
    bool HasKey(size_t position, std::string_view fileName, std::string_view filePath) const;
    void BuildFinder();

    std::vector<THot> hot_;
    std::vector<TValues> compact_;   // moved into the finder when it is built
    std::string names_;              // every FullName, one after the other
    std::vector<size_t> nameStart_;  // Size() + 1 offsets into names_
    std::vector<uint32_t> pathLength_;
    std::unordered_map<uint32_t, TOddEntry> odd_;
    // (FileName, FilePath) -> position + 1, open addressing by hash (0 free);
    // the primary key makes the key unique, the first of equal keys wins.
    std::vector<uint32_t> keySlots_;
    std::unique_ptr<TMatchFinder> finder_;
    std::unique_ptr<TRangeMatchPrefetch> prefetch_;  // reads finder_: declared after it
    std::vector<uint32_t> nextWithStatus_[2];
    // With the finder (every text canonical): the first position whose first
    // value is at least V, for V in 0..256.
    std::vector<uint32_t> firstWithValue_;
};

// True when Text is exactly what SignatureToString writes for these values.
bool IsCanonicalText(const uint8_t* values, std::string_view text);

// What one search of the range scan did.
struct TRangeScanResult {
    int64_t Visited = 0;  // records the table-driven scan would have visited
};

// Enumerates the candidates of the range scan for the picture at Position:
// from the picture onwards, candidates of the picture's ignore status, up to
// the first of them whose text is above BoundText. Calls OnMatch(candidate
// position, maxDiff) for each candidate that matches and is not the picture
// itself, in table order. A visited candidate that does not parse throws its
// conversion error (after the matches before it were reported).
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
