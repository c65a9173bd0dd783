#include "matching/MatchSearch.h"

#include <sys/stat.h>

#include <limits>

#include "matching/LiveSignatureIndex.h"
#include "matching/SignatureCompare.h"
#include "tablestore/SignatureTables.h"
#include "util/ArdoUtils.h"

namespace corvane {

std::string RangeScanBound(int32_t firstValue, int32_t margin) {
    const int64_t bound = int64_t{firstValue} + int64_t{margin} + 1;
    return PadNumber(std::to_string(bound), 4);
}

TViewSuspension::TViewSuspension(TStoreTable& table) : table_(table) {
    table_.SuspendViews();
}

TViewSuspension::~TViewSuspension() {
    try {
        Resume();
    } catch (...) {
        // Only reached while another error propagates.
    }
}

void TViewSuspension::Resume() {
    if (!active_) return;
    active_ = false;
    table_.ResumeViews();
}

struct TMatcher::TPicture {
    std::string FilePath;
    std::string FullName;
    std::string Text;
    TSignature Values;
};

TMatcher::TMatcher(TSignaturesTableObjects& signatures, TMatchTableObjects& matches,
                   TFormControls& controls, TFormState& state)
    : signatures_(signatures), matches_(matches), controls_(controls), state_(state) {}

bool TMatcher::IsIgnoredPath(const std::string& path) const {
    return TIgnoreList(controls_.IgnoreLines()).Contains(path);
}

void TMatcher::ShowRecordCounts() {
    controls_.SetSignaturesLabel("Signatures DB (" +
                                 std::to_string(signatures_.SignaturesTable.RecordCount()) + ")");
    controls_.SetMatchesLabel("Matches DB (" + std::to_string(matches_.MatchTable.RecordCount()) +
                              ")");
}

void TMatcher::AppendMatch(int32_t maxDiff, const std::string& file1, const std::string& file2) {
    TStoreTable& table = matches_.MatchTable;
    table.Append();
    try {
        matches_.MatchTableMaxDiff.SetValue(maxDiff);
        matches_.MatchTableFile1.SetValue(file1);
        matches_.MatchTableFile2.SetValue(file2);
        table.Post();
    } catch (...) {
        // A row left in the inserting state would be posted again, and fail
        // again, by every later move of the match table.
        try {
            table.Cancel();
        } catch (...) {
        }
        throw;
    }
}

bool NamesOfOneFile(const std::string& name1, const std::string& name2) {
    struct stat info1, info2;
    return ::stat(name1.c_str(), &info1) == 0 && ::stat(name2.c_str(), &info2) == 0 &&
           info1.st_dev == info2.st_dev && info1.st_ino == info2.st_ino;
}

bool TMatcher::TFileIdentity::SameFile(const std::string& name1, const std::string& name2) {
    // A search offers all its pairs for one picture in a row: look it up once.
    if (name1 != name_) {
        struct stat info;
        name_ = name1;
        exists_ = ::stat(name1.c_str(), &info) == 0;
        device_ = exists_ ? info.st_dev : 0;
        inode_ = exists_ ? info.st_ino : 0;
    }
    struct stat other;
    return exists_ && ::stat(name2.c_str(), &other) == 0 && other.st_dev == device_ &&
           other.st_ino == inode_;
}

void TMatcher::OfferPair(int32_t maxDiff, const std::string& file1, const std::string& file2) {
    if (pictureFile_.SameFile(file1, file2)) return;
    if (!keepExistingRows_) {
        AppendMatch(maxDiff, file1, file2);
        return;
    }
    try {
        AppendMatch(maxDiff, file1, file2);
    } catch (const EDatabaseError& error) {
        if (error.ErrorCode() != seDuplicateKey) throw;
    }
}

void TMatcher::StepProgress(int64_t count) {
    const int64_t position = int64_t{controls_.ProgressPosition()} + count;
    controls_.SetProgressPosition(
        static_cast<int32_t>(std::min<int64_t>(position, std::numeric_limits<int32_t>::max())));
}

TMatcher::TPicture TMatcher::ReadPicture() const {
    TPicture picture;
    picture.FilePath = signatures_.SignaturesTableFilePath.Value();
    picture.FullName = picture.FilePath + signatures_.SignaturesTableFileName.Value();
    picture.Text = signatures_.SignaturesTableSignature.Value();
    picture.Values = StringToSignature(picture.Text);
    return picture;
}

int64_t TMatcher::CompareOneImage(bool stepProgress) {
    pictureFile_ = TFileIdentity();  // files may have changed since the last search
    const TPicture picture = ReadPicture();
    const TIgnoreList ignore(controls_.IgnoreLines());
    TCursorRestorer restorer(signatures_.SignaturesTable);
    const int64_t visited = state_.FullScanMatch ? FullScan(picture, ignore, stepProgress)
                                                 : RangeScan(picture, ignore, stepProgress);
    restorer.Restore();
    return visited;
}

void TMatcher::CompareRunRecord(TLiveSignatureIndex& index) {
    // The match table is not emptied between runs: the same pair may be there.
    keepExistingRows_ = true;
    struct TReset {
        bool& flag;
        ~TReset() { flag = false; }
    } reset{keepExistingRows_};
    pictureFile_ = TFileIdentity();
    TStoreTable& table = signatures_.SignaturesTable;
    const std::vector<std::string> ignoreLines = controls_.IgnoreLines();
    if (!state_.FullScanMatch && index.InStep(table, ignoreLines)) {
        std::vector<TLiveSignatureIndex::TMatch> found;
        if (const auto pictureName =
                index.RangeMatches(table, state_.MatchMargin, controls_.ColorsCB(), found)) {
            const std::string picture(*pictureName);
            for (const auto& match : found)
                OfferPair(match.MaxDiff, picture, std::string(match.FullName));
            return;
        }
    }
    index.CountTableVisits(CompareOneImage(false));
    if (index.LoadPays(table)) index.Load(signatures_, ignoreLines);
}

int64_t TMatcher::FullScan(const TPicture& picture, const TIgnoreList& ignore, bool stepProgress) {
    TStoreTable& table = signatures_.SignaturesTable;
    const bool thisIgnored = ignore.Contains(picture.FilePath);
    int64_t visited = 0;
    for (table.First(); !table.AtEnd(); table.Next()) {
        ++visited;
        if (stepProgress) StepProgress(1);
        const std::string candidatePath = signatures_.SignaturesTableFilePath.Value();
        // Same rule as the range scan: both in listed folders or both outside.
        if (ignore.Contains(candidatePath) != thisIgnored) continue;
        TSignature candidate;
        if (!TryStringToSignature(signatures_.SignaturesTableSignature.Value(), candidate))
            continue;  // damaged: the next compute run recomputes it
        CompareCandidate(picture, candidatePath, candidate, controls_.RotationsCB());
    }
    return visited;
}

int64_t TMatcher::RangeScan(const TPicture& picture, const TIgnoreList& ignore, bool stepProgress) {
    TStoreTable& table = signatures_.SignaturesTable;
    table.SetIndexName("BySignature");
    // Start exactly at the picture, whatever the end flag said before.
    TBookmark here = table.TakeBookmark();
    table.MoveToBookmark(here);
    table.DropBookmark(here);
    const std::string boundText = RangeScanBound(picture.Values.Values[0], state_.MatchMargin);
    const bool thisIgnored = ignore.Contains(picture.FilePath);
    int64_t visited = 0;
    for (; !table.AtEnd(); table.Next()) {
        ++visited;
        if (stepProgress) StepProgress(1);
        const std::string candidatePath = signatures_.SignaturesTableFilePath.Value();
        if (ignore.Contains(candidatePath) != thisIgnored) continue;
        const std::string candidateText = signatures_.SignaturesTableSignature.Value();
        if (candidateText > boundText) break;
        TSignature candidate;
        if (!TryStringToSignature(candidateText, candidate)) continue;  // damaged
        CompareCandidate(picture, candidatePath, candidate, false);
    }
    return visited;
}

void TMatcher::CompareCandidate(const TPicture& picture, const std::string& candidatePath,
                                const TSignature& candidate, bool arranged) {
    int32_t maxDiff = 0;
    const bool perChannel = controls_.ColorsCB();
    if (!SignaturesMatch(picture.Values, candidate, state_.MatchMargin, perChannel, maxDiff) &&
        !(arranged && ArrangedSignaturesMatch(picture.Values, candidate, state_.MatchMargin,
                                              perChannel, maxDiff)))
        return;
    const std::string candidateName = candidatePath + signatures_.SignaturesTableFileName.Value();
    if (candidateName != picture.FullName) OfferPair(maxDiff, picture.FullName, candidateName);
}

TCursorRestorer::TCursorRestorer(TStoreTable& table)
    : table_(table), indexName_(table.IndexName()), bookmark_(table.TakeBookmark()) {}

TCursorRestorer::~TCursorRestorer() {
    try {
        Restore();
    } catch (...) {
        // The walk's own error is the one to report.
    }
}

void TCursorRestorer::Restore() {
    if (done_) return;
    done_ = true;
    table_.SetIndexName(indexName_);
    table_.MoveToBookmark(bookmark_);
    table_.DropBookmark(bookmark_);
}

}  // namespace corvane
