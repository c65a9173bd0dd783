// The signature table held in memory while a compute run posts records, so
// that the incremental match of each new signature finds the range scan's
// rows without walking the table: a search tree over the records as they
// were at the last rebuild, plus a short list of the records posted since,
// searched one by one. The tree is rebuilt (in memory) when that list grows.
//
// It answers exactly as the table-driven range scan of the current record:
// the records after it in BySignature order (equal texts by record identity)
// of the same ignore status that match, in that order. It is usable only
// while every stored text is in the form SignatureToString writes for values
// within 0..255 (texts then order as their values), and only while the table
// changed through nothing but the posts it was told of.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "matching/IgnoreList.h"
#include "matching/SignatureIndex.h"

namespace corvane {

struct TSignaturesTableObjects;
class TStoreTable;

class TLiveSignatureIndex {
  public:
    using TValues = TSignatureIndex::TValues;
    using TCode = TSignatureIndex::TCode;

    struct TMatch {
        std::string_view FullName;  // FilePath + FileName of the candidate
        int32_t MaxDiff;
    };

    TLiveSignatureIndex();
    ~TLiveSignatureIndex();

    // Reads every record (the table's index and current record are put back;
    // table-store errors propagate). Leaves the index unusable when a text is
    // not in canonical form.
    void Load(TSignaturesTableObjects& objects, const std::vector<std::string>& ignoreLines);
    // Frees everything; InStep is false until the next Load.
    void Clear();

    // Loaded and usable, made with these ignore lines, and the table has not
    // changed since but by the posts passed to RecordPosted.
    bool InStep(const TStoreTable& table, const std::vector<std::string>& ignoreLines) const;

    // Takes in the table's current record, which was just posted. To be
    // called after every post while the index is in use: any other change of
    // the table since the last call makes the index fall out of step.
    void RecordPosted(TSignaturesTableObjects& objects);

    // The range scan's rows for the table's current record: the matches in
    // table order, and the picture's own full name; none when the record is
    // not known (or not InStep).
    std::optional<std::string_view> RangeMatches(const TStoreTable& table, int32_t margin,
                                                 bool perChannel, std::vector<TMatch>& out) const;

    // Loading costs about one visit of every record; searches made on the
    // table meanwhile count their visits here, so that the index is loaded
    // only once those scans have cost as much (and a run that keeps falling
    // out of step pays at most twice what the table scans cost).
    void CountTableVisits(int64_t visits) { tableVisits_ += visits; }
    bool LoadPays(const TStoreTable& table) const;

    // Bytes held, for the benchmarks.
    size_t MemoryUsed() const;

  private:
    struct TEntry {
        int32_t Identity;
        bool Live;
        bool Ignored;
    };

    // Adds an entry after the tree (its identity is not looked up until the
    // next Rebuild unless entered in recentIdentities_).
    void AddEntry(int32_t identity, std::string_view fullName, const TValues& values, bool ignored);
    void Rebuild();
    size_t EntryOf(int32_t identity) const;  // Size() when unknown
    size_t Size() const { return entries_.size(); }
    const TValues& ValuesOf(size_t entry) const;
    std::string_view FullName(size_t entry) const;
    // Entry A comes before entry B in BySignature order.
    bool Before(size_t a, size_t b) const;

    bool loaded_ = false;
    int64_t tableVisits_ = 0;
    uint64_t changeCount_ = 0;  // the table's ChangeCount it is in step with
    std::vector<std::string> ignoreLines_;
    TIgnoreList ignore_;
    std::vector<TEntry> entries_;
    std::string names_;
    std::vector<size_t> nameStart_;  // Size() + 1 offsets into names_
    // Entries [0, treeSize_) are in the tree (id = entry); the values of the
    // later ones are in recent_.
    std::unique_ptr<TSignatureIndex> tree_;
    size_t treeSize_ = 0;
    std::vector<TValues> recent_;
    std::vector<TCode> recentCodes_;
    std::vector<std::pair<int32_t, uint32_t>> treeIdentities_;  // sorted
    std::unordered_map<int32_t, uint32_t> recentIdentities_;
    size_t deadCount_ = 0;
};

}  // namespace corvane
