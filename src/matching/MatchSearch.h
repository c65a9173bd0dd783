// The match search and the two commands that fill the match table.
//
// TMatcher works on the signature table's current record and appends rows to
// the match table; it reads the window only through TFormControls and the
// shared TFormState. Every failure is an exception with its message: the
// conversion error "'%s' is not a valid integer value" for a margin or a
// stored signature text that is not a whole number, and the table store's
// errors. After an error the signature table's order and current record and
// the suspension of both tables' views are put back, the cursor is normal and
// the progress bar hidden; rows appended before the error stay.
#pragma once

#include <cstdint>
#include <string>

#include "matching/FormControls.h"
#include "matching/FormState.h"
#include "matching/IgnoreList.h"
#include "signature/Signature.h"
#include "tablestore/StoreTable.h"

namespace corvane {

struct TSignaturesTableObjects;
struct TMatchTableObjects;
class TSignatureSnapshot;
class TLiveSignatureIndex;
class TStoreTable;

class TMatcher {
  public:
    TMatcher(TSignaturesTableObjects& signatures, TMatchTableObjects& matches,
             TFormControls& controls, TFormState& state);

    // True when the upper-cased path equals an upper-cased line of the ignore
    // list (NoMatchMemo); only "a".."z" are folded.
    bool IsIgnoredPath(const std::string& path) const;

    // Finds the matches of the signature table's current record and appends a
    // row (MaxDiff, File1 = the picture, File2 = the candidate) for each.
    // State.FullScanMatch False: range scan on BySignature from the record
    // up to the first candidate above its first value + MatchMargin;
    // True: every record in the table's current order, also matching turned
    // and mirrored copies when RotationsCB is checked. In both modes a
    // candidate is compared only when both pictures lie in listed folders or
    // both outside them; candidates whose stored text does not parse and
    // other names of the picture's own file are passed over. With StepProgress every visited record
    // steps the progress bar. Leaves the table on the same record, in the same order. Returns the
    // number of records visited.
    int64_t CompareOneImage(bool stepProgress);

    // CompareOneImage(false) for the record a compute run has just posted:
    // the same rows, in the range scan mode taken from Index when it is in
    // step with the table, else found on the table (Index is loaded once such
    // scans have cost as much as loading it). A row already in the match
    // table (an earlier change of the picture found the same pair) stays as
    // it is.
    void CompareRunRecord(TLiveSignatureIndex& index);

    // "&Identify all Matches": empties the match table and appends every
    // matching pair once (with RotationsCB checked also the pairs that match
    // when one of them is turned or mirrored, after the picture's own rows);
    // ends with the summary (unless BatchMode) and the record counts. Each
    // stored signature is parsed once per command. A record whose text does
    // not parse is passed over and counted in the summary (the next compute
    // run recomputes it).
    void IdentifyButtonClick();

    // "&Match Single Image": empties the match table and appends the matches
    // of the selected picture found by a full scan.
    void MatchSingleButtonClick();

    // The captions "Signatures DB (n)" and "Matches DB (n)".
    void ShowRecordCounts();

    // Appends one match row and posts it; a row that cannot be posted is
    // dropped before the error propagates, so the match table is never left
    // holding it.
    void AppendMatch(int32_t maxDiff, const std::string& file1, const std::string& file2);

    // Damaged signature texts identify all passed over in its last run.
    int32_t SkippedDamaged() const { return skippedDamaged_; }

  private:
    struct TPicture;
    TPicture ReadPicture() const;
    // Both return the number of records visited.
    int64_t FullScan(const TPicture& picture, const TIgnoreList& ignore, bool stepProgress);
    int64_t RangeScan(const TPicture& picture, const TIgnoreList& ignore, bool stepProgress);
    // Compares the signature table's current record with the picture and
    // appends the pair when they match and are not the same file; with
    // Arranged also when a turned or mirrored copy of the picture matches.
    void CompareCandidate(const TPicture& picture, const std::string& candidatePath,
                          const TSignature& candidate, bool arranged);
    // Identify all with Rotations: the rows of the candidates after Position
    // that only a turned or mirrored copy of the picture matches.
    void AppendArrangedMatches(const TSignatureSnapshot& snapshot, size_t position,
                               bool perChannel);
    // Identify all's search for the current record, over the snapshot (read
    // again when the record is not found in it).
    void CompareOneImageInSnapshot(TSignatureSnapshot& snapshot);
    void StepProgress(int64_t count);
    // AppendMatch for a pair the search found, unless both names are one
    // file (a link and its target, two hard links): such a pair is no
    // duplicate, and acting on it would destroy the picture both show.
    void OfferPair(int32_t maxDiff, const std::string& file1, const std::string& file2);

    TSignaturesTableObjects& signatures_;
    TMatchTableObjects& matches_;
    TFormControls& controls_;
    TFormState& state_;
    int32_t skippedDamaged_ = 0;
    bool keepExistingRows_ = false;  // during an incremental match
    // Device and inode of the last picture whose pairs were offered.
    class TFileIdentity {
      public:
        bool SameFile(const std::string& name1, const std::string& name2);

      private:
        std::string name_;
        bool exists_ = false;
        uint64_t device_ = 0, inode_ = 0;
    };
    TFileIdentity pictureFile_;
};

// Two names of one file: both exist and share device and inode.
bool NamesOfOneFile(const std::string& name1, const std::string& name2);

// The upper bound text of the range scan: first value + margin + 1, padded
// with blanks on the left to 4 characters (computed without overflow).
std::string RangeScanBound(int32_t firstValue, int32_t margin);

// RAII pair of SuspendViews / ResumeViews (errors of the resume are dropped
// when it runs because of another error).
class TViewSuspension {
  public:
    explicit TViewSuspension(TStoreTable& table);
    ~TViewSuspension();
    TViewSuspension(const TViewSuspension&) = delete;
    TViewSuspension& operator=(const TViewSuspension&) = delete;
    void Resume();  // resumes now (at most once)

  private:
    TStoreTable& table_;
    bool active_ = true;
};

// Puts a table back on the index and record it had when made, at Restore or
// at the latest when it goes out of scope (also after an error, whose
// message then wins over any failure of the restore).
class TCursorRestorer {
  public:
    explicit TCursorRestorer(TStoreTable& table);
    ~TCursorRestorer();
    TCursorRestorer(const TCursorRestorer&) = delete;
    TCursorRestorer& operator=(const TCursorRestorer&) = delete;
    void Restore();

  private:
    TStoreTable& table_;
    std::string indexName_;
    TBookmark bookmark_;
    bool done_ = false;
};

}  // namespace corvane
