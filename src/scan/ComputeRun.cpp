// Directory scan, signature update and the compute run.
#include <dirent.h>
#include <sys/stat.h>

#include <exception>
#include <vector>

#include "matching/FormState.h"
#include "picture/loader/PictureLoader.h"
#include "scan/Engine.h"
#include "scan/Folders.h"
#include "scan/SignaturePrefetch.h"
#include "util/StrToInt.h"

namespace corvane {

namespace {

// Brings the window back to its normal state when a compute run ends by an
// error: progress bar hidden, cursor normal, log closed (the views come back
// through their own guard).
class TComputeRunGuard {
  public:
    TComputeRunGuard(TFormControls& controls, TLogFile& log)
        : controls_(controls), log_(log), exceptions_(std::uncaught_exceptions()) {}
    ~TComputeRunGuard() {
        if (std::uncaught_exceptions() <= exceptions_) return;
        log_.CloseQuietly();
        try {
            controls_.SetProgressVisible(false);
            controls_.SetScreenCursor(TCursor::crDefault);
        } catch (...) {
        }
    }

  private:
    TFormControls& controls_;
    TLogFile& log_;
    int exceptions_;
};

// Remembers the cursor and shows the busy one; puts the remembered one back.
class TCursorKeeper {
  public:
    explicit TCursorKeeper(TFormControls& controls)
        : controls_(controls), saved_(controls.ScreenCursor()) {
        controls_.SetScreenCursor(TCursor::crHourGlass);
    }
    ~TCursorKeeper() {
        try {
            controls_.SetScreenCursor(saved_);
        } catch (...) {
        }
    }

  private:
    TFormControls& controls_;
    TCursor saved_;
};

// Asks once per picture; a stop holds for the rest of the run.
bool RunStopping(TComputeRunState& run, const TFormControls& controls) {
    if (!run.Stopped && controls.StopRequested()) run.Stopped = true;
    return run.Stopped;
}

}  // namespace

std::string ExtractFilePath(const std::string& fileName) {
    const size_t slash = fileName.rfind('/');
    return slash == std::string::npos ? std::string() : fileName.substr(0, slash + 1);
}

std::string ExtractFileName(const std::string& fileName) {
    const size_t slash = fileName.rfind('/');
    return slash == std::string::npos ? fileName : fileName.substr(slash + 1);
}

std::string TCorvaneEngine::UnableToProcessLine(const std::string& fileName) {
    return "Unable to process \"" + fileName + "\"";
}

void TCorvaneEngine::ComputeButtonClick() {
    if (controls_.SearchPath().empty()) throw ESearchFolder("No search folder is given");
    TStoreTable& table = Signatures.SignaturesTable;
    TViewSuspension views(table);
    TComputeRunGuard guard(controls_, logFile_);
    controls_.SetScreenCursor(TCursor::crHourGlass);
    Purge();
    Run = TComputeRunState();
    controls_.SetProgressMin(0);
    controls_.SetProgressMax(1);
    controls_.SetProgressPosition(0);

    Run.CountingPass = true;
    ScanDirectory(controls_.SearchPath());
    const TRunClock::time_point start = TRunClock::now();
    controls_.SetProgressVisible(true);
    Run.CountingPass = false;
    logFile_.Open(State.ProgramFolder + kLogFileName);
    {
        // Signatures of the pictures ahead are computed on worker threads;
        // this thread still walks, looks up and posts in scan order.
        const std::string searchPath = controls_.SearchPath();
        TSignaturePrefetcher prefetcher(Workers > 1 ? Workers : 0);
        TPictureWalker lookAhead(searchPath, [this] { return controls_.SubDirsCB(); });
        prefetch_ = &prefetcher;
        lookAhead_ = &lookAhead;
        struct TClear {
            TCorvaneEngine& engine;
            ~TClear() {
                engine.prefetch_ = nullptr;
                engine.lookAhead_ = nullptr;
                engine.runIndex_.Clear();
            }
        } clear{*this};
        ScanDirectory(searchPath);
    }
    logFile_.Close();

    controls_.SetProgressVisible(false);
    views.Resume();
    controls_.SetScreenCursor(TCursor::crDefault);
    const TRunClock::time_point end = TRunClock::now();
    if (!State.BatchMode) {
        controls_.ShowMessage(std::to_string(Run.AddedCount) + " records added; " +
                              std::to_string(Run.EditedCount) + " records edited in " +
                              FormatElapsed(end - start) + (Run.Stopped ? kStoppedMark : ""));
    }
    Matcher.ShowRecordCounts();
}

void TCorvaneEngine::Purge() {
    TStoreTable& table = Signatures.SignaturesTable;
    table.First();
    while (!table.AtEnd()) {
        const std::string fileName =
            Signatures.SignaturesTableFilePath.Value() + Signatures.SignaturesTableFileName.Value();
        if (IsRegularFile(fileName)) {
            table.Next();
        } else {
            table.Delete();
        }
    }
}

void TCorvaneEngine::ScanDirectory(const std::string& path) {
    // An empty text would otherwise walk the root of the file system.
    if (path.empty()) throw ESearchFolder("No search folder is given");
    const std::string folder = path.back() == '/' ? path : path + "/";
    if (!Run.CountingPass) logFile_.WriteLine(folder);
    for (const TFolderEntry& entry : ReadFolder(folder)) {
        if (RunStopping(Run, controls_)) return;
        if (entry.IsFolder && controls_.SubDirsCB()) {
            ScanDirectory(folder + entry.Name + "/");
            continue;
        }
        if (IsPictureExtension(entry.Name)) UpdateSignature(folder + entry.Name);
    }
}

bool TCorvaneEngine::SeekSignatureRecord(const std::string& namePart,
                                         const std::string& folderPart) {
    TStoreTable& table = Signatures.SignaturesTable;
    table.BeginKey();
    Signatures.SignaturesTableFileName.SetValue(namePart);
    Signatures.SignaturesTableFilePath.SetValue(folderPart);
    return table.SeekKey();
}

bool TCorvaneEngine::IsUpToDate(const std::string& namePart, const std::string& folderPart,
                                const std::string& fileName) {
    return SeekSignatureRecord(namePart, folderPart) &&
           Signatures.SignaturesTableFileDate.Value() == FileDateOf(fileName);
}

void TCorvaneEngine::UpdateSignature(const std::string& fileName) {
    const std::string namePart = ExtractFileName(fileName);
    const std::string folderPart = ExtractFilePath(fileName);
    if (!controls_.ForceCB() && IsUpToDate(namePart, folderPart, fileName)) return;
    if (!Run.CountingPass)
        controls_.ShowRunItem(fileName, controls_.ProgressPosition() + 1,
                              controls_.ProgressMax() - 1);
    controls_.ProcessMessages();
    if (!Run.CountingPass && prefetch_ != nullptr) {
        switch (UsePrefetched(fileName)) {
            case TPrefetchUse::Failed:
                return;
            case TPrefetchUse::Computed:
                StoreSignature(namePart, folderPart, fileName);
                if (Run.SignatureChanged && controls_.IncrMatchCB()) RunIncrementalMatch();
                return;
            case TPrefetchUse::None:
                break;
        }
    }
    bool loaded = false;
    try {
        LoadPictureFile(controls_, fileName, Run.CountingPass, loaded, Image);
    } catch (...) {
        controls_.AddMemo2Line(UnableToProcessLine(fileName));
        controls_.SetMemo2Visible(true);
        return;
    }
    if (!loaded) return;
    if (controls_.NormalizeCB()) NormalizeBrightness(Image);
    Run.Signature = ComputeSignature(Image);
    StoreSignature(namePart, folderPart, fileName);
    if (Run.SignatureChanged && controls_.IncrMatchCB()) RunIncrementalMatch();
}

void TCorvaneEngine::FeedPrefetcher() {
    std::string next;
    while (prefetch_->Hungry() && lookAhead_->Next(next)) {
        // The same test as the signature update's, made ahead of time; the
        // update makes it again when it reaches the file.
        if (controls_.ForceCB() || !IsUpToDate(ExtractFileName(next), ExtractFilePath(next), next))
            prefetch_->Enqueue(next, controls_.NormalizeCB());
    }
}

TCorvaneEngine::TPrefetchUse TCorvaneEngine::UsePrefetched(const std::string& fileName) {
    FeedPrefetcher();
    TPrefetchedSignature prefetched;
    const bool normalize = controls_.NormalizeCB();
    if (!prefetch_->Take(
            fileName, normalize, [this] { controls_.ProcessMessages(); }, prefetched) ||
        prefetched.Status == TPrefetchedSignature::TStatus::Missing || !IsRegularFile(fileName))
        return TPrefetchUse::None;  // the loader decides
    // What the loader does around a load, so the window sees the same run.
    Image.SetHeight(0);
    Image.SetWidth(0);
    controls_.SetProgressPosition(controls_.ProgressPosition() + 1);
    controls_.ProcessMessages();
    if (prefetched.Status == TPrefetchedSignature::TStatus::Failed) {
        controls_.AddMemo2Line(UnableToProcessLine(fileName));
        controls_.SetMemo2Visible(true);
        return TPrefetchUse::Failed;
    }
    Run.Signature = prefetched.Signature;
    return TPrefetchUse::Computed;
}

void TCorvaneEngine::StoreSignature(const std::string& namePart, const std::string& folderPart,
                                    const std::string& fileName) {
    TStoreTable& table = Signatures.SignaturesTable;
    const std::string text = SignatureToString(Run.Signature);
    if (SeekSignatureRecord(namePart, folderPart)) {
        ++Run.EditedCount;
        table.Edit();
        Signatures.SignaturesTableFileDate.SetValue(FileDateOf(fileName));
        Run.SignatureChanged = Signatures.SignaturesTableSignature.Value() != text;
        Signatures.SignaturesTableSignature.SetValue(text);
    } else {
        ++Run.AddedCount;
        table.Append();
        Signatures.SignaturesTableFileName.SetValue(namePart);
        Signatures.SignaturesTableFilePath.SetValue(folderPart);
        Signatures.SignaturesTableFileDate.SetValue(FileDateOf(fileName));
        Signatures.SignaturesTableSignature.SetValue(text);
        Run.SignatureChanged = true;
    }
    try {
        table.Post();
    } catch (...) {
        // A record left pending would be posted again by the next move.
        try {
            table.Cancel();
        } catch (...) {
        }
        throw;
    }
    runIndex_.RecordPosted(Signatures);
}

void TCorvaneEngine::RunIncrementalMatch() {
    State.FullScanMatch = false;
    TCursorKeeper cursor(controls_);
    State.MatchMargin = StrToInt(controls_.MarginText());
    TViewSuspension views(Signatures.SignaturesTable);
    Matcher.CompareRunRecord(runIndex_);
    views.Resume();
}

}  // namespace corvane
