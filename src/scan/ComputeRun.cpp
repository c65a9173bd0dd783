// Directory scan, signature update and the compute run.
#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <optional>
#include <vector>

#include "matching/FormState.h"
#include "matching/IgnoreList.h"
#include "picture/Graphics.h"
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

// Largest text the open table stores in the field (its stored definition).
size_t StoredFieldSize(const TStoreTable& table, const std::string& fieldName) {
    for (const TFieldDef& def : table.FieldDefs)
        if (UpperCaseAscii(def.Name) == UpperCaseAscii(fieldName))
            return static_cast<size_t>(def.Size);
    return SIZE_MAX;
}

bool IsSignatureText(std::string_view text) {
    TSignature signature;
    return TryStringToSignature(text, signature);
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
    SearchFolder();  // refused before anything is changed
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
    ScanDirectory(SearchFolder());
    const TRunClock::time_point start = TRunClock::now();
    controls_.SetProgressVisible(true);
    Run.CountingPass = false;
    logFile_.Open(State.ProgramFolder + kLogFileName);
    {
        // Signatures of the pictures ahead are computed on worker threads;
        // this thread still walks, looks up and posts in scan order.
        const std::string searchPath = SearchFolder();
        TSignaturePrefetcher prefetcher(Workers > 1 ? Workers : 0, TRasterBudget::kDefaultLimit,
                                        LoadOptions());
        TPictureWalker lookAhead(
            searchPath, [this] { return controls_.SubDirsCB(); }, controls_.Formats());
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
        std::string summary = std::to_string(Run.AddedCount) + " records added; " +
                              std::to_string(Run.EditedCount) + " records edited in " +
                              FormatElapsed(end - start);
        if (Run.TooLongCount > 0)
            summary += "; " + std::to_string(Run.TooLongCount) +
                       " files skipped, names too long for the table";
        controls_.ShowMessage(summary + (Run.Stopped ? kStoppedMark : ""));
    }
    Matcher.ShowRecordCounts();
}

TLoadOptions TCorvaneEngine::LoadOptions() const {
    TLoadOptions options;
    options.ApplyOrientation = controls_.ApplyOrientationCB();
    return options;
}

std::string TCorvaneEngine::SearchFolder() const {
    const std::string text = controls_.SearchPath();
    if (text.empty()) throw ESearchFolder("No search folder is given");
    std::string folder;
    if (!CanonicalFolder(text, folder)) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw ESearchFolder("The search folder \"" + text + "\" does not exist");
        throw ESearchFolder("The search folder \"" + text +
                            "\" cannot be reached: " + std::strerror(errno));
    }
    struct stat info;
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode))
        throw ESearchFolder("The search folder \"" + text + "\" is not a folder");
    return folder;
}

void TCorvaneEngine::Purge() {
    TStoreTable& table = Signatures.SignaturesTable;
    table.First();
    while (!table.AtEnd()) {
        const std::string fileName =
            Signatures.SignaturesTableFilePath.Value() + Signatures.SignaturesTableFileName.Value();
        if (FileIsGone(fileName)) {
            table.Delete();
        } else {
            table.Next();
        }
    }
}

void TCorvaneEngine::ScanDirectory(const std::string& path) {
    // An empty text would otherwise walk the root of the file system.
    if (path.empty()) throw ESearchFolder("No search folder is given");
    const std::string folder = path.back() == '/' ? path : path + "/";
    TFolderVisits visits;
    visits.FirstVisit(folder);
    ScanFolder(folder, visits);
}

void TCorvaneEngine::ScanFolder(const std::string& folder, TFolderVisits& visits) {
    if (!Run.CountingPass) logFile_.WriteLine(folder);
    int error = 0;
    for (const TFolderEntry& entry : ReadFolder(folder, &error)) {
        if (RunStopping(Run, controls_)) return;
        if (entry.IsFolder && controls_.SubDirsCB()) {
            std::string sub;
            if (SubFolderToWalk(folder, entry, visits, sub)) ScanFolder(sub, visits);
            continue;
        }
        if (IsPictureExtension(entry.Name, controls_.Formats()))
            UpdateSignature(folder + entry.Name);
    }
    // Its records stay: the purge keeps files it cannot look at.
    if (error != 0 && error != ENOENT && !Run.CountingPass)
        ReportBadFile("Unable to read folder \"" + folder + "\"");
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
    // A stored signature that does not parse (damage) is stale.
    return SeekSignatureRecord(namePart, folderPart) &&
           Signatures.SignaturesTableFileDate.Value() == FileDateOf(fileName) &&
           IsSignatureText(Signatures.SignaturesTableSignature.Value());
}

bool TCorvaneEngine::FitsTables(const std::string& namePart, const std::string& folderPart) const {
    const size_t fullName = folderPart.size() + namePart.size();
    return namePart.size() <= StoredFieldSize(Signatures.SignaturesTable, "FileName") &&
           folderPart.size() <= StoredFieldSize(Signatures.SignaturesTable, "FilePath") &&
           fullName <= StoredFieldSize(Matches.MatchTable, "File1") &&
           fullName <= StoredFieldSize(Matches.MatchTable, "File2");
}

void TCorvaneEngine::ReportBadFile(const std::string& line) {
    controls_.AddMemo2Line(line);
    controls_.SetMemo2Visible(true);
}

void TCorvaneEngine::UpdateSignature(const std::string& fileName) {
    const std::string namePart = ExtractFileName(fileName);
    const std::string folderPart = ExtractFilePath(fileName);
    if (!FitsTables(namePart, folderPart)) {
        // Stored cut, it would share a key with another file.
        if (!Run.CountingPass) {
            ++Run.TooLongCount;
            ReportBadFile("Name too long for the table: \"" + fileName + "\"");
        }
        return;
    }
    if (!controls_.ForceCB() && IsUpToDate(namePart, folderPart, fileName)) return;
    if (!Run.CountingPass)
        controls_.ShowRunItem(fileName, controls_.ProgressPosition() + 1,
                              controls_.ProgressMax() - 1);
    controls_.ProcessMessages();
    TDateTime fileDate = 0;
    if (!Run.CountingPass && prefetch_ != nullptr) {
        switch (UsePrefetched(fileName, fileDate)) {
            case TPrefetchUse::Failed:
                return;
            case TPrefetchUse::Computed:
                StoreSignature(namePart, folderPart, fileDate);
                if (Run.SignatureChanged && controls_.IncrMatchCB()) RunIncrementalMatch();
                return;
            case TPrefetchUse::None:
                break;
        }
    }
    if (!ComputeFromFile(fileName, fileDate)) return;
    StoreSignature(namePart, folderPart, fileDate);
    if (Run.SignatureChanged && controls_.IncrMatchCB()) RunIncrementalMatch();
}

bool TCorvaneEngine::ComputeFromFile(const std::string& fileName, TDateTime& fileDate) {
    bool loaded = false;
    if (Run.CountingPass) {
        LoadPictureFile(controls_, fileName, true, loaded, Image);
        return false;
    }
    const bool beside = prefetch_ != nullptr && prefetch_->Workers() > 0;
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Beside the workers, this thread's decode takes its share too.
        std::optional<TDecodeReservation> reservation;
        if (beside) reservation.emplace(prefetch_->Budget());
        if (attempt > 0) controls_.SetProgressPosition(controls_.ProgressPosition() - 1);
        const TContentStamp before = StampOf(fileName);
        fileDate = FileDateOf(fileName);
        try {
            LoadPictureFile(controls_, fileName, false, loaded, Image, LoadOptions());
            if (loaded && before.Size == 0) throw EInvalidGraphic("The file is empty");
        } catch (...) {
            if (StampOf(fileName) != before) continue;  // replaced while read
            ReportBadFile(UnableToProcessLine(fileName));
            return false;
        }
        if (!loaded) return false;
        if (controls_.NormalizeCB()) NormalizeBrightness(Image);
        Run.Signature = ComputeSignature(Image);
        // With workers the raster's memory goes back to the shared budget.
        if (beside) {
            Image.SetHeight(0);
            Image.SetWidth(0);
        }
        if (StampOf(fileName) == before) return true;
    }
    return false;  // still changing: the next run reads it
}

void TCorvaneEngine::FeedPrefetcher() {
    std::string next;
    while (prefetch_->Hungry() && lookAhead_->Next(next)) {
        // The same tests as the signature update's, made ahead of time; the
        // update makes them again when it reaches the file.
        const std::string namePart = ExtractFileName(next);
        const std::string folderPart = ExtractFilePath(next);
        if (!FitsTables(namePart, folderPart)) continue;
        if (controls_.ForceCB() || !IsUpToDate(namePart, folderPart, next))
            prefetch_->Enqueue(next, controls_.NormalizeCB());
    }
}

TCorvaneEngine::TPrefetchUse TCorvaneEngine::UsePrefetched(const std::string& fileName,
                                                           TDateTime& fileDate) {
    FeedPrefetcher();
    TPrefetchedSignature prefetched;
    const bool normalize = controls_.NormalizeCB();
    // Computed with another orientation setting than the one in force now:
    // the loader decides.
    if (prefetch_->Options().ApplyOrientation != controls_.ApplyOrientationCB()) {
        return TPrefetchUse::None;
    }
    if (!prefetch_->Take(
            fileName, normalize, [this] { controls_.ProcessMessages(); }, prefetched) ||
        prefetched.Status == TPrefetchedSignature::TStatus::Missing || !IsRegularFile(fileName))
        return TPrefetchUse::None;  // the loader decides
    // What the loader does around a load, so the window sees the same run.
    Image.SetHeight(0);
    Image.SetWidth(0);
    controls_.SetProgressPosition(controls_.ProgressPosition() + 1);
    controls_.ProcessMessages();
    switch (prefetched.Status) {
        case TPrefetchedSignature::TStatus::Failed:
            ReportBadFile(UnableToProcessLine(fileName));
            return TPrefetchUse::Failed;
        case TPrefetchedSignature::TStatus::Changing:
            return TPrefetchUse::Failed;  // left for the next run
        default:
            Run.Signature = prefetched.Signature;
            fileDate = prefetched.FileDate;
            return TPrefetchUse::Computed;
    }
}

void TCorvaneEngine::StoreSignature(const std::string& namePart, const std::string& folderPart,
                                    TDateTime fileDate) {
    TStoreTable& table = Signatures.SignaturesTable;
    const std::string text = SignatureToString(Run.Signature);
    if (SeekSignatureRecord(namePart, folderPart)) {
        ++Run.EditedCount;
        table.Edit();
        Signatures.SignaturesTableFileDate.SetValue(fileDate);
        Run.SignatureChanged = Signatures.SignaturesTableSignature.Value() != text;
        Signatures.SignaturesTableSignature.SetValue(text);
    } else {
        ++Run.AddedCount;
        table.Append();
        Signatures.SignaturesTableFileName.SetValue(namePart);
        Signatures.SignaturesTableFilePath.SetValue(folderPart);
        Signatures.SignaturesTableFileDate.SetValue(fileDate);
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
