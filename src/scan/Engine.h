// The engine behind the main window and the command-line program: the two
// tables, the main form's state, and the commands that maintain the signature
// table (directory scan, signature update, compute run, bitmap-to-JPEG
// conversion), the match commands (through TMatcher), the start-up and close
// steps that read and write the program folder's files, and the batch run.
//
// Everything runs on the caller's thread. The window is reached only through
// TFormControls. Failures are exceptions carrying the message the window
// shows; only two are caught here: a picture that cannot be loaded during a
// signature update (an "Unable to process" line in Memo2) and a table that
// fails to open at start-up (repaired once). After any other error a command
// leaves the window in its normal state: progress bar hidden, cursor normal,
// table views resumed, log.txt closed; records posted before the error stay.
#pragma once

#include <cstdint>
#include <string>

#include "matching/FormControls.h"
#include "matching/FormState.h"
#include "matching/LiveSignatureIndex.h"
#include "matching/MatchSearch.h"
#include "picture/Bitmap32.h"
#include "scan/TextFiles.h"
#include "signature/Signature.h"
#include "tablestore/SignatureTables.h"
#include "util/ArdoUtils.h"

namespace corvane {

class TStoreEnv;
class TFolderVisits;
class TSignaturePrefetcher;
class TPictureWalker;

// A search folder that cannot be walked: "No search folder is given", or
// the folder does not exist or is not a folder.
class ESearchFolder : public Exception {
  public:
    using Exception::Exception;
};

// State of one compute run, shared by the directory scan and the update.
// What the last conversion run did with the bitmaps it found.
struct TConversionCounts {
    int Converted = 0;  // JPEG written, bitmap removed
    int Skipped = 0;    // no free JPEG name, or the bitmap could not be removed
    int Failed = 0;     // not read (completely), or the JPEG could not be written
};

class TTrashCan;

struct TComputeRunState {
    bool CountingPass = false;
    int32_t AddedCount = 0;
    int32_t EditedCount = 0;
    TSignature Signature;
    bool SignatureChanged = false;
    bool Stopped = false;  // the user stopped the run (StopRequested)
    // Files left out because a name does not fit the table's fields.
    int32_t TooLongCount = 0;
};

// Names of the program folder's files.
inline constexpr const char* kSettingsFileName = "Corvane.INI";
inline constexpr const char* kIgnoreListFileName = "NoMatches.Txt";
inline constexpr const char* kBadFilesFileName = "BadFiles.txt";
inline constexpr const char* kLogFileName = "log.txt";
inline constexpr const char* kExtraHintsFileName = "tivrel.txt";

class TCorvaneEngine {
  public:
    // `env` (may be null) is handed to the table store for fault injection.
    explicit TCorvaneEngine(TFormControls& controls, TStoreEnv* env = nullptr);
    ~TCorvaneEngine();
    TCorvaneEngine(const TCorvaneEngine&) = delete;
    TCorvaneEngine& operator=(const TCorvaneEngine&) = delete;

    TFormControls& Controls() { return controls_; }
    TFormState State;
    TSignaturesTableObjects Signatures;
    TMatchTableObjects Matches;
    TMatcher Matcher;
    // The hidden working view's raster: every compute and conversion load lands here.
    TBitmap32 Image;
    TComputeRunState Run;
    // Threads computing signatures ahead during a compute run; 0 or 1 runs
    // everything on the caller's thread. Results are the same either way.
    // ReadSettings sets it from the key Workers, else the processor count.
    int Workers = 1;
    // The desktop trash the conversion run removes bitmaps into (when
    // UseTrashCB); none: such bitmaps stay where they are.
    TTrashCan* Trash = nullptr;
    // The search folder when the settings name none; empty: the program folder.
    std::string DefaultSearchPath;
    TConversionCounts Conversion;

    // ---- start-up and close (program folder files)
    // Sets ProgramFolder (a "/" is added when missing) and ShowExtraHints,
    // reads the settings into the controls and the ignore list into
    // NoMatchMemo, creates or opens both tables (one repair on failure) and
    // shows the record counts.
    void StartUp(const std::string& programFolder);
    // Settings from Corvane.INI into the controls; defaults for missing keys.
    void ReadSettings();
    // Controls into Corvane.INI ("Unable to write to %s").
    void WriteSettings();
    void LoadIgnoreList();
    // Ends every non-empty ignore line without a final "/" with one, then
    // saves the list to NoMatches.Txt.
    void SaveIgnoreList();
    // Replaces BadFiles.txt with the lines of Memo2 when Memo2 is visible.
    void SaveBadFiles();
    // The close steps: settings, ignore list, bad files.
    void ShutDown();

    // ---- signature table maintenance
    // "&Compute Signatures": purge records of vanished files, a counting pass
    // and a processing pass over the search folder, summary (unless
    // BatchMode) and record counts. The search folder is walked by its
    // canonical name (SearchFolder). Records of files that cannot be looked
    // at (inside a folder that cannot be read) are kept.
    void ComputeButtonClick();
    // The search folder text made absolute and free of links, ".", ".." and
    // doubled slashes, ending in "/". ESearchFolder when the text is empty,
    // names nothing or names no folder.
    std::string SearchFolder() const;
    // Walks Path (with or without a final "/") and, when SubDirsCB is
    // checked, its sub-folders depth first in the order the folder yields
    // them; hands every .JPG/.BMP/.GIF file (any letter case), and those of
    // the further formats the Formats setting names, to UpdateSignature. The processing pass writes
    // each folder to log.txt and reports a folder that cannot be read in Memo2. A symbolic link to
    // a folder is walked under the folder's real name, and each real folder once, so a link to a
    // parent ends there.
    void ScanDirectory(const std::string& path);
    // Brings the record of one picture file up to date (see ComputeButtonClick).
    // A name that does not fit the tables' fields is skipped (reported and
    // counted in the processing pass); an empty file is a picture that
    // cannot be loaded; a file that changes while it is read is read once
    // more, then left for the next run.
    void UpdateSignature(const std::string& fileName);

    // ---- conversion
    // Replaces every .BMP file under Folder (all sub-folders except hidden
    // ones) with a JPEG file of quality 95 named like the bitmap with "JPG"
    // for its last three characters, or From-BMP-NNNN.JPG when that name is
    // taken or the name begins with "U"/"u"; the JPEG gets the bitmap's
    // modification time, then the bitmap goes to the trash (for good when
    // not UseTrashCB). A bitmap stays, without a JPEG, and is listed in Memo2
    // with the reason when it fails to load, when its pixels were not read
    // completely from the offset its header gives, when its JPEG cannot be
    // written, or when it cannot be removed; the run goes on with the next.
    // Conversion counts what happened.
    void ConvertBitmaps(const std::string& folder);
    // Writes the working raster as a JPEG file of quality 95. The file
    // appears complete or not at all; an existing file of that name is never
    // replaced (the write then fails).
    void SaveRasterAsJpeg(const std::string& target);

    // ---- batch run
    // Conversion, compute and identify all with BatchMode set (no summary
    // boxes); BatchMode is reset also when a step fails. The conversion
    // counts are appended to log.txt at the end.
    void BatchRun();
    // "Bitmaps converted: N, skipped: N, failed: N" of the last conversion run.
    std::string ConversionSummary() const;

    // The "Unable to process" line of a picture that failed to load.
    static std::string UnableToProcessLine(const std::string& fileName);

  private:
    void Purge();
    void ScanFolder(const std::string& folder, TFolderVisits& visits);
    // How pictures are loaded now (the orientation check box).
    TLoadOptions LoadOptions() const;
    void RunIncrementalMatch();
    bool IsUpToDate(const std::string& namePart, const std::string& folderPart,
                    const std::string& fileName);
    bool SeekSignatureRecord(const std::string& namePart, const std::string& folderPart);
    // Name and folder fit the signature table's fields and the full name the
    // match table's, so nothing is stored cut.
    bool FitsTables(const std::string& namePart, const std::string& folderPart) const;
    // Loads the picture into Image and computes Run.Signature, with the
    // file's date taken before the read; false when there is nothing to
    // store (counting pass, no picture, a failure already reported, or a
    // file that kept changing).
    bool ComputeFromFile(const std::string& fileName, TDateTime& fileDate);
    void ReportBadFile(const std::string& line);
    void StoreSignature(const std::string& namePart, const std::string& folderPart,
                        TDateTime fileDate);
    void ConvertFolder(const std::string& folder);
    void ConvertOneBitmap(const std::string& folder, const std::string& name);
    // False with the reason when the bitmap could not be removed.
    bool RemoveConvertedBitmap(const std::string& bitmapName, std::string& reason);
    void ListConversionFailure(const std::string& bitmapName, const std::string& reason);
    void AppendConversionSummary();
    // Queues the pictures ahead of the scan that need work.
    void FeedPrefetcher();
    // Takes the worker's result for the file when it has one: steps the
    // progress bar as a load does and sets Run.Signature (Computed), or
    // reports a picture that failed to load (Failed); None leaves the file
    // to the loader.
    enum class TPrefetchUse { None, Failed, Computed };
    TPrefetchUse UsePrefetched(const std::string& fileName, TDateTime& fileDate);

    TFormControls& controls_;
    TLogFile logFile_;
    TSignaturePrefetcher* prefetch_ = nullptr;  // during a processing pass
    TPictureWalker* lookAhead_ = nullptr;
    // The signature table in memory for the incremental matches of a
    // processing pass (loaded only when they would otherwise cost more).
    TLiveSignatureIndex runIndex_;
};

// Folder part (up to and including the last "/") and name part of a full
// file name.
std::string ExtractFilePath(const std::string& fileName);
std::string ExtractFileName(const std::string& fileName);

}  // namespace corvane
