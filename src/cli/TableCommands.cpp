// The commands that run the engine on the tables: compute, identify,
// match-single, convert, batch; and where, which names the program folder.
// Options override the settings of Corvane.INI for one run; nothing is
// written back.
#include <filesystem>
#include <iostream>
#include <memory>

#include "cli/CommandLine.h"
#include "cli/EngineSession.h"

namespace corvane {

namespace {

struct TMatchOptions {
    std::string Margin;
    CLI::Option* MarginOption = nullptr;
    TSwitchOption Colors, Rotations;

    void AddTo(CLI::App& command) {
        MarginOption =
            command.add_option("--margin", Margin, "Match margin (default: Corvane.INI, else 25)")
                ->type_name("N");
        Colors.Add(command, "--colors", "Compare every colour value", "--sum",
                   "Compare the sums of the colour values");
        Rotations.Add(command, "--rotations",
                      "Also match copies turned by 90, 180 or 270 degrees or mirrored",
                      "--no-rotations", "Match copies only as they stand");
    }
    void ApplyTo(TCliControls& controls) const {
        if (MarginOption->count() > 0) controls.Margin = Margin;
        Colors.ApplyTo(controls.Colors);
        Rotations.ApplyTo(controls.Rotations);
    }
};

// The picture formats a compute run reads, named as in the setting Formats.
struct TFormatsOption {
    std::string Formats;
    CLI::Option* Option = nullptr;

    void AddTo(CLI::App& command) {
        Option = command
                     .add_option("--formats", Formats,
                                 "Picture formats to read, separated by commas: "
                                 "JPG,GIF,BMP,PNG,WEBP,TIFF,HEIC,AVIF (default: Corvane.INI, "
                                 "else JPG,GIF,BMP)")
                     ->type_name("LIST")
                     ->check(CLI::Validator(TPictureFormats::Problem, "LIST"));
    }
    void ApplyTo(TCliControls& controls) const {
        if (Option->count() > 0) controls.PictureFormats = TPictureFormats::Parse(Formats);
    }
};

// The folder in full, so that messages and records name it so; the engine
// resolves links and refuses a folder that does not exist.
std::string SearchFolder(const std::string& folder) {
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(folder, error);
    return error ? folder : full.lexically_normal().string();
}

struct TComputeOptions {
    std::string Folder;
    CLI::Option* FolderOption = nullptr;
    TSwitchOption SubDirs, Normalize, Incremental, Orientation;
    bool Force = false;
    TFormatsOption Formats;
    TMatchOptions Match;

    void AddTo(CLI::App& command) {
        AddFolder(command);
        SubDirs.Add(command, "--subdirs", "Walk the sub-folders too", "--no-subdirs",
                    "Only the search folder itself");
        command.add_flag("--force", Force, "Compute every signature again");
        Normalize.Add(command, "--normalize", "Normalise the brightness before computing",
                      "--no-normalize", "Compute on the pictures as they are");
        Incremental.Add(command, "--incremental", "Search the matches of every changed signature",
                        "--no-incremental", "Leave the match table alone");
        Formats.AddTo(command);
        Orientation.Add(command, "--orientation",
                        "Turn JPEG and HEIC pictures upright by their orientation tag first",
                        "--no-orientation", "Take the pictures' pixels as they are stored");
        Match.AddTo(command);
    }
    void AddFolder(CLI::App& command) {
        FolderOption =
            command.add_option("--folder", Folder, "Search folder (default: Corvane.INI)")
                ->type_name("DIR");
    }
    void ApplyTo(TCliControls& controls) const {
        if (FolderOption->count() > 0) controls.Search = SearchFolder(Folder);
        SubDirs.ApplyTo(controls.SubDirs);
        if (Force) controls.Force = true;
        Normalize.ApplyTo(controls.Normalize);
        Incremental.ApplyTo(controls.IncrMatch);
        if (Formats.Option != nullptr) Formats.ApplyTo(controls);
        Orientation.ApplyTo(controls.ApplyOrientation);
        if (Match.MarginOption != nullptr) Match.ApplyTo(controls);
    }
};

struct TWorkersOption {
    int Workers = 0;
    CLI::Option* Option = nullptr;

    void AddTo(CLI::App& command) {
        Option = command
                     .add_option("--workers", Workers,
                                 "Threads computing signatures (default: Corvane.INI, else "
                                 "the processor count)")
                     ->type_name("N")
                     ->check(CLI::NonNegativeNumber);
    }
    void ApplyTo(TCorvaneEngine& engine) const {
        if (Option->count() > 0) engine.Workers = Workers;
    }
};

// Runs a command that may report pictures that failed to load; BadFiles.txt
// is written also when the command fails.
template <class F>
void SavingBadFiles(TCorvaneEngine& engine, F body) {
    try {
        body();
    } catch (...) {
        engine.SaveBadFiles();
        throw;
    }
    engine.SaveBadFiles();
}

// Makes the picture's record current; false when there is none.
bool SelectSignatureRecord(TCorvaneEngine& engine, const std::string& fileName) {
    std::vector<std::string> candidates = {fileName};
    std::error_code error;
    const std::string absolute = std::filesystem::absolute(fileName, error).lexically_normal();
    if (!error && absolute != fileName) candidates.push_back(absolute);
    for (const std::string& name : candidates) {
        TStoreTable& table = engine.Signatures.SignaturesTable;
        table.BeginKey();
        engine.Signatures.SignaturesTableFileName.SetValue(ExtractFileName(name));
        engine.Signatures.SignaturesTableFilePath.SetValue(ExtractFilePath(name));
        if (table.SeekKey()) return true;
    }
    return false;
}

void RegisterCompute(TCommandLine& commandLine) {
    auto options = std::make_shared<TComputeOptions>();
    auto workers = std::make_shared<TWorkersOption>();
    CLI::App* command = commandLine.AddCommand(
        "compute", "Bring the signature table up to date with the search folder",
        [&commandLine, options, workers] {
            TEngineSession session(commandLine);
            session.Start();
            options->ApplyTo(session.Controls);
            workers->ApplyTo(session.Engine);
            SavingBadFiles(session.Engine, [&] { session.Engine.ComputeButtonClick(); });
            return kExitDone;
        });
    options->AddTo(*command);
    workers->AddTo(*command);
}

void RegisterIdentify(TCommandLine& commandLine) {
    auto options = std::make_shared<TMatchOptions>();
    CLI::App* command =
        commandLine.AddCommand("identify", "Fill the match table with every pair within the margin",
                               [&commandLine, options] {
                                   TEngineSession session(commandLine);
                                   session.Start();
                                   options->ApplyTo(session.Controls);
                                   session.Engine.Matcher.IdentifyButtonClick();
                                   return kExitDone;
                               });
    options->AddTo(*command);
}

void RegisterMatchSingle(TCommandLine& commandLine) {
    auto options = std::make_shared<TMatchOptions>();
    auto file = std::make_shared<std::string>();
    CLI::App* command = commandLine.AddCommand(
        "match-single", "Fill the match table with the matches of one stored picture",
        [&commandLine, options, file] {
            TEngineSession session(commandLine);
            session.Start();
            options->ApplyTo(session.Controls);
            if (!SelectSignatureRecord(session.Engine, *file)) {
                throw Exception(
                    Format("No signature record for %s",
                           std::filesystem::absolute(*file).lexically_normal().c_str()));
            }
            session.Engine.Matcher.MatchSingleButtonClick();
            return kExitDone;
        });
    command->add_option("FILE", *file, "A picture of the signature table")->required();
    options->AddTo(*command);
}

void RegisterConvert(TCommandLine& commandLine) {
    auto options = std::make_shared<TComputeOptions>();
    CLI::App* command = commandLine.AddCommand(
        "convert", "Replace every BMP file under the search folder with a JPEG file",
        [&commandLine, options] {
            TEngineSession session(commandLine);
            session.Start();
            options->ApplyTo(session.Controls);
            SavingBadFiles(session.Engine,
                           [&] { session.Engine.ConvertBitmaps(session.Controls.Search); });
            std::cout << session.Engine.ConversionSummary() << '\n';
            return kExitDone;
        });
    options->AddFolder(*command);
}

void RegisterBatch(TCommandLine& commandLine) {
    auto workers = std::make_shared<TWorkersOption>();
    CLI::App* command = commandLine.AddCommand(
        "batch", "Convert, compute and identify, as the window's batch run",
        [&commandLine, workers] {
            TEngineSession session(commandLine);
            session.Start();
            workers->ApplyTo(session.Engine);
            SavingBadFiles(session.Engine, [&] { session.Engine.BatchRun(); });
            return kExitDone;
        });
    workers->AddTo(*command);
}

}  // namespace

void RegisterTableCommands(TCommandLine& commandLine) {
    RegisterCompute(commandLine);
    RegisterIdentify(commandLine);
    RegisterMatchSingle(commandLine);
    RegisterConvert(commandLine);
    RegisterBatch(commandLine);
}

void RegisterFolderCommands(TCommandLine& commandLine) {
    auto verbose = std::make_shared<bool>(false);
    CLI::App* command = commandLine.AddCommand(
        "where", "Print the program folder this run would use", [&commandLine, verbose] {
            const TProgramFolder folder = commandLine.ProgramFolder();
            std::cout << (*verbose ? DescribeProgramFolder(folder) : folder.Path) << '\n';
            return kExitDone;
        });
    command->add_flag("-v,--verbose", *verbose, "Say also why this folder is used");
}

}  // namespace corvane
