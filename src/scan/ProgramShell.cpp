// Start-up, settings, close and the batch run.
#include <sys/stat.h>

#include <cstdio>
#include <fstream>

#include "scan/Engine.h"
#include "scan/SignaturePrefetch.h"
#include "util/StrToInt.h"

namespace corvane {

namespace {

constexpr const char* kSection = "Params";

bool FileExists(const std::string& fileName) {
    struct stat info;
    return ::stat(fileName.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

const char* YesNo(bool value) {
    return value ? "Y" : "N";
}

}  // namespace

TCorvaneEngine::TCorvaneEngine(TFormControls& controls, TStoreEnv* env)
    : Signatures(env),
      Matches(env),
      Matcher(Signatures, Matches, controls, State),
      controls_(controls) {}

TCorvaneEngine::~TCorvaneEngine() = default;

void TCorvaneEngine::StartUp(const std::string& programFolder) {
    State.ProgramFolder = programFolder;
    if (State.ProgramFolder.empty() || State.ProgramFolder.back() != '/') {
        State.ProgramFolder += '/';
    }
    State.ShowExtraHints = FileExists(State.ProgramFolder + kExtraHintsFileName);
    ReadSettings();
    LoadIgnoreList();
    // A repair at start-up is told in the log, each line as it comes.
    const std::string logName = State.ProgramFolder + kLogFileName;
    OpenProgramTables(Signatures.SignaturesTable, Matches.MatchTable, State.ProgramFolder,
                      [&logName](const std::string& line) {
                          std::ofstream(logName, std::ios::binary | std::ios::app)
                              << line << "\r\n";
                      });
    Matcher.ShowRecordCounts();
}

void TCorvaneEngine::ReadSettings() {
    const TIniFile ini(State.ProgramFolder + kSettingsFileName);
    controls_.SetSearchPath(
        ini.ReadString(kSection, "SearchPath",
                       DefaultSearchPath.empty() ? State.ProgramFolder : DefaultSearchPath));
    controls_.SetMarginText(ini.ReadString(kSection, "Margin", "25"));
    controls_.SetNormalizeCB(ini.ReadString(kSection, "Normalize", "N") == "Y");
    controls_.SetColorsCB(ini.ReadString(kSection, "Colors", "Y") == "Y");
    controls_.SetSubDirsCB(ini.ReadString(kSection, "SubDirs", "Y") == "Y");
    controls_.SetIncrMatchCB(ini.ReadString(kSection, "IncrMatch", "N") == "Y");
    controls_.SetFormats(
        TPictureFormats::Parse(ini.ReadString(kSection, "Formats", TPictureFormats().Text())));
    controls_.SetApplyOrientationCB(ini.ReadString(kSection, "ApplyOrientation", "N") == "Y");
    controls_.SetRotationsCB(ini.ReadString(kSection, "Rotations", "N") == "Y");
    controls_.SetUseTrashCB(ini.ReadString(kSection, "UseTrash", "Y") == "Y");
    // Threads of a compute run: every processor unless the settings say otherwise.
    int32_t workers = 0;
    Workers = TryStrToInt(ini.ReadString(kSection, "Workers", ""), workers) && workers > 0
                  ? workers
                  : TSignaturePrefetcher::DefaultWorkers();
}

void TCorvaneEngine::WriteSettings() {
    TIniFile ini(State.ProgramFolder + kSettingsFileName);
    ini.WriteString(kSection, "SearchPath", controls_.SearchPath());
    ini.WriteString(kSection, "Margin", controls_.MarginText());
    ini.WriteString(kSection, "Normalize", YesNo(controls_.NormalizeCB()));
    ini.WriteString(kSection, "Colors", YesNo(controls_.ColorsCB()));
    ini.WriteString(kSection, "SubDirs", YesNo(controls_.SubDirsCB()));
    ini.WriteString(kSection, "IncrMatch", YesNo(controls_.IncrMatchCB()));
    ini.WriteString(kSection, "Formats", controls_.Formats().Text());
    ini.WriteString(kSection, "ApplyOrientation", YesNo(controls_.ApplyOrientationCB()));
    ini.WriteString(kSection, "Rotations", YesNo(controls_.RotationsCB()));
    ini.WriteString(kSection, "UseTrash", YesNo(controls_.UseTrashCB()));
}

void TCorvaneEngine::LoadIgnoreList() {
    const std::string fileName = State.ProgramFolder + kIgnoreListFileName;
    if (FileExists(fileName)) controls_.SetIgnoreLines(ReadTextLines(fileName));
}

void TCorvaneEngine::SaveIgnoreList() {
    std::vector<std::string> lines = controls_.IgnoreLines();
    for (std::string& line : lines) {
        if (!line.empty() && line.back() != '/') line += '/';
    }
    controls_.SetIgnoreLines(lines);
    WriteTextLines(State.ProgramFolder + kIgnoreListFileName, lines);
}

void TCorvaneEngine::SaveBadFiles() {
    if (!controls_.Memo2Visible()) return;
    WriteTextLines(State.ProgramFolder + kBadFilesFileName, controls_.Memo2Lines());
}

void TCorvaneEngine::ShutDown() {
    WriteSettings();
    SaveIgnoreList();
    SaveBadFiles();
}

void TCorvaneEngine::BatchRun() {
    State.BatchMode = true;
    try {
        // A stopped step ends the batch: the steps after it would only be
        // stopped in turn.
        ConvertBitmaps(controls_.SearchPath());
        if (!controls_.StopRequested()) {
            controls_.SelectPage(TTabPage::CompSigTabSheet);
            ComputeButtonClick();
        }
        if (!controls_.StopRequested()) {
            controls_.SelectPage(TTabPage::CompMatchesTabSheet);
            Matcher.IdentifyButtonClick();
        }
    } catch (...) {
        State.BatchMode = false;
        AppendConversionSummary();
        throw;
    }
    State.BatchMode = false;
    AppendConversionSummary();
}

std::string TCorvaneEngine::ConversionSummary() const {
    return Format("Bitmaps converted: %d, skipped: %d, failed: %d", Conversion.Converted,
                  Conversion.Skipped, Conversion.Failed);
}

// After the compute run, which starts log.txt afresh.
void TCorvaneEngine::AppendConversionSummary() {
    std::FILE* log = std::fopen((State.ProgramFolder + kLogFileName).c_str(), "ab");
    if (log == nullptr) return;
    std::fprintf(log, "%s\r\n", ConversionSummary().c_str());
    std::fclose(log);
}

}  // namespace corvane
