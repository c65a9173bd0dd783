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

namespace corvane {

class TStoreEnv;
class TSignaturePrefetcher;
class TPictureWalker;

// An empty search folder text: "No search folder is given".
class ESearchFolder : public Exception {
  public:
    using Exception::Exception;
};

// State of one compute run, shared by the directory scan and the update.
struct TComputeRunState {
    bool CountingPass = false;
    int32_t AddedCount = 0;
    int32_t EditedCount = 0;
    TSignature Signature;
    bool SignatureChanged = false;
    bool Stopped = false;  // the user stopped the run (StopRequested)
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
    // BatchMode) and record counts. An empty search folder text is refused
    // with ESearchFolder before anything is changed.
    void ComputeButtonClick();
    // Walks Path (with or without a final "/") and, when SubDirsCB is
    // checked, its sub-folders depth first in the order the folder yields
    // them; hands every .JPG/.BMP/.GIF file (any letter case) to
    // UpdateSignature. The processing pass writes each folder to log.txt.
    // Symbolic links to folders are not followed.
    void ScanDirectory(const std::string& path);
    // Brings the record of one picture file up to date (see ComputeButtonClick).
    void UpdateSignature(const std::string& fileName);

    // ---- conversion
    // Replaces every .BMP file under Folder (all sub-folders except hidden
    // ones) with a JPEG file of quality 95 named like the bitmap with "JPG"
    // for its last three characters, or From-BMP-NNNN.JPG when that name is
    // taken or the name begins with "U"/"u"; the JPEG gets the bitmap's
    // modification time, then the bitmap is deleted. A bitmap whose JPEG was
    // not written completely is never deleted. Errors of reading a bitmap or
    // writing a JPEG end the run.
    void ConvertBitmaps(const std::string& folder);
    // Writes the working raster as a JPEG file of quality 95. The file
    // appears complete or not at all; an existing file of that name is never
    // replaced (the write then fails).
    void SaveRasterAsJpeg(const std::string& target);

    // ---- batch run
    // Conversion, compute and identify all with BatchMode set (no summary
    // boxes); BatchMode is reset also when a step fails.
    void BatchRun();

    // The "Unable to process" line of a picture that failed to load.
    static std::string UnableToProcessLine(const std::string& fileName);

  private:
    void Purge();
    void RunIncrementalMatch();
    bool IsUpToDate(const std::string& namePart, const std::string& folderPart,
                    const std::string& fileName);
    bool SeekSignatureRecord(const std::string& namePart, const std::string& folderPart);
    void StoreSignature(const std::string& namePart, const std::string& folderPart,
                        const std::string& fileName);
    void ConvertOneBitmap(const std::string& folder, const std::string& name);
    // Queues the pictures ahead of the scan that need work.
    void FeedPrefetcher();
    // Takes the worker's result for the file when it has one: steps the
    // progress bar as a load does and sets Run.Signature (Computed), or
    // reports a picture that failed to load (Failed); None leaves the file
    // to the loader.
    enum class TPrefetchUse { None, Failed, Computed };
    TPrefetchUse UsePrefetched(const std::string& fileName);

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
