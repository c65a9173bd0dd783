// The identify-all and match-single commands.
#include <limits>
#include <string>
#include <vector>

#include "matching/MatchSearch.h"
#include "matching/SignatureSnapshot.h"
#include "tablestore/SignatureTables.h"
#include "util/StrToInt.h"

namespace corvane {

namespace {

// The window's state during a command: busy cursor and, for identify all,
// the shown progress bar. Both are put back when the command ends, also by an
// error.
class TBusyWindow {
  public:
    TBusyWindow(TFormControls& controls, bool usesProgress)
        : controls_(controls), usesProgress_(usesProgress) {
        controls_.SetScreenCursor(TCursor::crHourGlass);
    }
    ~TBusyWindow() {
        try {
            End();
        } catch (...) {
        }
    }
    void End() {
        if (ended_) return;
        ended_ = true;
        controls_.SetScreenCursor(TCursor::crDefault);
        if (usesProgress_) controls_.SetProgressVisible(false);
    }

  private:
    TFormControls& controls_;
    bool usesProgress_;
    bool ended_ = false;
};

// n x n div 2, bounded to what the progress bar holds.
int32_t IdentifyProgressMax(int64_t recordCount) {
    const int64_t max = recordCount * recordCount / 2;
    return static_cast<int32_t>(std::min<int64_t>(max, std::numeric_limits<int32_t>::max()));
}

}  // namespace

void TMatcher::IdentifyButtonClick() {
    state_.FullScanMatch = false;
    TBusyWindow busy(controls_, true);
    TStoreTable& signatureTable = signatures_.SignaturesTable;
    const int32_t recordCount = signatureTable.RecordCount();
    controls_.SetProgressMin(1);
    controls_.SetProgressMax(IdentifyProgressMax(recordCount));
    controls_.SetProgressPosition(0);
    controls_.SetProgressVisible(true);
    state_.MatchMargin = StrToInt(controls_.MarginText());
    skippedDamaged_ = 0;
    matches_.MatchTable.EmptyTable();
    TViewSuspension matchViews(matches_.MatchTable);
    const TRunClock::time_point start = TRunClock::now();
    TViewSuspension signatureViews(signatureTable);

    TSignatureSnapshot snapshot;
    std::vector<std::string> snapshotIgnore = controls_.IgnoreLines();
    snapshot.Load(signatures_, TIgnoreList(snapshotIgnore));
    int32_t processed = 0;
    bool stopped = false;
    for (signatureTable.First(); !signatureTable.AtEnd(); signatureTable.Next(), ++processed) {
        controls_.SetScreenCursor(TCursor::crHourGlass);
        controls_.ShowRunItem(signatures_.SignaturesTableFilePath.Value() +
                                  signatures_.SignaturesTableFileName.Value(),
                              processed + 1, recordCount);
        controls_.ProcessMessages();
        if (controls_.StopRequested()) {
            stopped = true;
            break;
        }
        // The ignore list or the table may have changed while messages were
        // processed: the search must see them as they are now.
        std::vector<std::string> ignore = controls_.IgnoreLines();
        if (ignore != snapshotIgnore ||
            snapshot.Size() != static_cast<size_t>(signatureTable.RecordCount())) {
            snapshotIgnore = std::move(ignore);
            snapshot.Load(signatures_, TIgnoreList(snapshotIgnore));
        }
        CompareOneImageInSnapshot(snapshot);
    }

    signatureViews.Resume();
    matchViews.Resume();
    busy.End();
    const TRunClock::time_point end = TRunClock::now();
    if (!state_.BatchMode) {
        // A stopped run counts the records it searched.
        std::string summary =
            "Identify completed: " + std::to_string(stopped ? processed : recordCount) +
            " records processed in " + FormatElapsed(end - start);
        if (skippedDamaged_ > 0)
            summary +=
                "; " + std::to_string(skippedDamaged_) +
                " records skipped, signature unreadable (recomputed by the next compute run)";
        controls_.ShowMessage(summary + (stopped ? kStoppedMark : ""));
    }
    controls_.SetScreenCursor(TCursor::crDefault);
    ShowRecordCounts();
}

void TMatcher::CompareOneImageInSnapshot(TSignatureSnapshot& snapshot) {
    pictureFile_ = TFileIdentity();
    const std::string fileName = signatures_.SignaturesTableFileName.Value();
    const std::string filePath = signatures_.SignaturesTableFilePath.Value();
    const std::string text = signatures_.SignaturesTableSignature.Value();
    std::optional<size_t> position = snapshot.Find(fileName, filePath, text);
    if (!position) {
        // The record was changed since the snapshot was read: read it again.
        snapshot.Load(signatures_, TIgnoreList(controls_.IgnoreLines()));
        position = snapshot.Find(fileName, filePath, text);
    }
    if (!position) {
        // The record changed since the snapshot: search it on the table itself.
        TSignature values;
        if (TryStringToSignature(text, values)) {
            CompareOneImage(true);
        } else {
            ++skippedDamaged_;
        }
        return;
    }
    const TSignatureSnapshot::THot& hot = snapshot.Hot(*position);
    if (!hot.Parsed) {
        ++skippedDamaged_;  // damaged: the next compute run recomputes it
        return;
    }
    const int32_t firstValue =
        hot.Compact ? snapshot.CompactValues(*position)[0] : snapshot.Values(*position).Values[0];
    const std::string boundText = RangeScanBound(firstValue, state_.MatchMargin);
    const bool perChannel = controls_.ColorsCB();
    const std::string pictureName(snapshot.FullName(*position));
    std::string candidateName;
    const auto append = [&](size_t candidate, int32_t maxDiff) {
        candidateName.assign(snapshot.FullName(candidate));
        OfferPair(maxDiff, pictureName, candidateName);
    };
    if (snapshot.Finder()) snapshot.Prefetch(state_.MatchMargin, perChannel);
    const TRangeScanResult result = snapshot.Finder()
                                        ? RangeScanIndexed(snapshot, *position, boundText,
                                                           state_.MatchMargin, perChannel, append)
                                        : RangeScanSnapshot(snapshot, *position, boundText,
                                                            state_.MatchMargin, perChannel, append);
    StepProgress(result.Visited);
    if (controls_.RotationsCB()) AppendArrangedMatches(snapshot, *position, perChannel);
}

void TMatcher::AppendArrangedMatches(const TSignatureSnapshot& snapshot, size_t position,
                                     bool perChannel) {
    const std::string pictureName(snapshot.FullName(position));
    const auto append = [&](size_t candidate, int32_t maxDiff) {
        if (snapshot.FullName(candidate) == pictureName) return;
        AppendMatch(maxDiff, pictureName, std::string(snapshot.FullName(candidate)));
    };
    if (const TMatchFinder* finder = snapshot.Finder()) {
        thread_local std::vector<TFoundMatch> found;
        finder->ArrangedMatches(static_cast<uint32_t>(position), state_.MatchMargin, perChannel,
                                found);
        for (const TFoundMatch& match : found) append(match.Position, match.MaxDiff);
        return;
    }
    // Texts that are not all canonical: every later record, one by one.
    const TSignature picture = snapshot.Values(position);
    const bool ignored = snapshot.Hot(position).Ignored;
    for (size_t i = position + 1; i < snapshot.Size(); ++i) {
        const TSignatureSnapshot::THot& hot = snapshot.Hot(i);
        if (hot.Ignored != ignored || !hot.Parsed) continue;
        const TSignature candidate = snapshot.Values(i);
        int32_t maxDiff = 0;
        if (SignaturesMatch(picture, candidate, state_.MatchMargin, perChannel, maxDiff)) continue;
        if (ArrangedSignaturesMatch(picture, candidate, state_.MatchMargin, perChannel, maxDiff))
            append(i, maxDiff);
    }
}

void TMatcher::MatchSingleButtonClick() {
    state_.FullScanMatch = true;
    TBusyWindow busy(controls_, false);
    state_.MatchMargin = StrToInt(controls_.MarginText());
    matches_.MatchTable.EmptyTable();
    TViewSuspension signatureViews(signatures_.SignaturesTable);
    CompareOneImage(false);
    signatureViews.Resume();
    busy.End();
}

}  // namespace corvane
