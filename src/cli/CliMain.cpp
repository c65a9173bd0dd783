// corvane-cli: headless access to the engine on the program folder's files.
// Exit status: 0 done, 1 an error (its message on standard error), 2 a usage
// error.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "cli/ActionCommands.h"
#include "cli/CliControls.h"
#include "platform/DesktopTrash.h"
#include "picture/loader/PictureLoader.h"
#include "scan/Engine.h"
#include "signature/Signature.h"
#include "util/StrToInt.h"

namespace corvane {
namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  corvane-cli [--data DIR] compute [--folder DIR] [--subdirs|--no-subdirs] [--force]\n"
    "                 [--normalize|--no-normalize] [--incremental|--no-incremental]\n"
    "                 [--margin N] [--colors|--sum] [--workers N]\n"
    "  corvane-cli [--data DIR] identify [--margin N] [--colors|--sum]\n"
    "  corvane-cli [--data DIR] match-single FILE [--margin N] [--colors|--sum]\n"
    "  corvane-cli [--data DIR] convert [--folder DIR]\n"
    "  corvane-cli [--data DIR] batch [--workers N]\n"
    "  corvane-cli [--data DIR] signatures\n"
    "  corvane-cli [--data DIR] matches\n"
    "  corvane-cli [--data DIR] delete FILE... [--permanent]\n"
    "  corvane-cli [--data DIR] move FILE DEST [--replace] [--permanent]\n"
    "  corvane-cli [--data DIR] undo\n"
    "  corvane-cli decode FILE OUT.ppm\n"
    "  corvane-cli signature FILE [--normalize]\n";

class EUsage : public Exception {
  public:
    using Exception::Exception;
};

// The options of one command line after the command name.
struct TArguments {
    std::vector<std::string> Positional;
    std::vector<std::pair<std::string, std::string>> Options;  // name, value

    bool Has(const std::string& name) const {
        for (const auto& option : Options) {
            if (option.first == name) return true;
        }
        return false;
    }
};

// Options that take a value.
bool TakesValue(const std::string& name) {
    return name == "--folder" || name == "--margin" || name == "--workers";
}

TArguments ParseArguments(const std::vector<std::string>& words,
                          const std::vector<std::string>& allowed) {
    TArguments arguments;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word.size() < 2 || word.compare(0, 2, "--") != 0) {
            arguments.Positional.push_back(word);
            continue;
        }
        bool known = false;
        for (const std::string& name : allowed) known = known || name == word;
        if (!known) throw EUsage("unknown option " + word);
        std::string value;
        if (TakesValue(word)) {
            if (i + 1 >= words.size()) throw EUsage("option " + word + " needs a value");
            value = words[++i];
        }
        arguments.Options.emplace_back(word, value);
    }
    return arguments;
}

void ExpectPositional(const TArguments& arguments, size_t count) {
    if (arguments.Positional.size() != count) throw EUsage("wrong number of arguments");
}

// The executable's folder, unless CORVANE_DATA names another one.
std::string DefaultProgramFolder() {
    if (const char* data = std::getenv("CORVANE_DATA"); data != nullptr && *data != '\0') {
        return data;
    }
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return std::filesystem::current_path().string();
    return exe.parent_path().string();
}

// Overrides of the settings for this run only; nothing is written back.
void ApplyOverrides(const TArguments& arguments, TCliControls& controls) {
    for (const auto& [name, value] : arguments.Options) {
        if (name == "--folder") controls.Search = value;
        if (name == "--subdirs") controls.SubDirs = true;
        if (name == "--no-subdirs") controls.SubDirs = false;
        if (name == "--force") controls.Force = true;
        if (name == "--normalize") controls.Normalize = true;
        if (name == "--no-normalize") controls.Normalize = false;
        if (name == "--incremental") controls.IncrMatch = true;
        if (name == "--no-incremental") controls.IncrMatch = false;
        if (name == "--margin") controls.Margin = value;
        if (name == "--colors") controls.Colors = true;
        if (name == "--sum") controls.Colors = false;
    }
}

const std::vector<std::string> kMatchOptions = {"--margin", "--colors", "--sum"};
const std::vector<std::string> kComputeOptions = {
    "--folder",    "--subdirs",      "--no-subdirs",  "--force",
    "--normalize", "--no-normalize", "--incremental", "--no-incremental",
    "--margin",    "--colors",       "--sum",         "--workers"};

// Makes the selected picture's record current; false when there is none.
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

void ListSignatures(TCorvaneEngine& engine) {
    TStoreTable& table = engine.Signatures.SignaturesTable;
    table.SetIndexName("");
    for (table.First(); !table.AtEnd(); table.Next()) {
        std::cout << engine.Signatures.SignaturesTableFileName.Value() << '\t'
                  << engine.Signatures.SignaturesTableFilePath.Value() << '\t'
                  << FormatDateTime(engine.Signatures.SignaturesTableFileDate.Value()) << '\t'
                  << engine.Signatures.SignaturesTableSignature.Value() << '\n';
    }
}

void ListMatches(TCorvaneEngine& engine) {
    TStoreTable& table = engine.Matches.MatchTable;
    for (table.First(); !table.AtEnd(); table.Next()) {
        std::cout << engine.Matches.MatchTableMaxDiff.Value() << '\t'
                  << engine.Matches.MatchTableFile1.Value() << '\t'
                  << engine.Matches.MatchTableFile2.Value() << '\n';
    }
}

// Loads a picture as the compute run does; a file that is not a picture is
// an error here.
void LoadOnePicture(TCliControls& controls, const std::string& fileName, TBitmap32& raster) {
    bool loaded = false;
    LoadPictureFile(controls, fileName, false, loaded, raster);
    if (!loaded) throw Exception(Format("Not a picture file: %s", fileName.c_str()));
}

void WritePpm(const TBitmap32& raster, const std::string& fileName) {
    std::string bytes = Format("P6\n%d %d\n255\n", raster.Width(), raster.Height());
    bytes.reserve(bytes.size() + static_cast<size_t>(raster.Width()) * raster.Height() * 3);
    for (int32_t y = 0; y < raster.Height(); ++y) {
        const TColor32* row = raster.ScanLine(y);
        for (int32_t x = 0; x < raster.Width(); ++x) {
            bytes += static_cast<char>(RedComponent(row[x]));
            bytes += static_cast<char>(GreenComponent(row[x]));
            bytes += static_cast<char>(BlueComponent(row[x]));
        }
    }
    std::ofstream out(fileName, std::ios::binary | std::ios::trunc);
    if (!out) throw Exception(Format("Cannot create file %s", fileName.c_str()));
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw Exception(Format("Unable to write to %s", fileName.c_str()));
}

int RunPictureCommand(const std::string& command, const std::vector<std::string>& words) {
    TCliControls controls;
    TBitmap32 raster;
    if (command == "decode") {
        const TArguments arguments = ParseArguments(words, {});
        ExpectPositional(arguments, 2);
        LoadOnePicture(controls, arguments.Positional[0], raster);
        WritePpm(raster, arguments.Positional[1]);
        return 0;
    }
    const TArguments arguments = ParseArguments(words, {"--normalize"});
    ExpectPositional(arguments, 1);
    LoadOnePicture(controls, arguments.Positional[0], raster);
    if (arguments.Has("--normalize")) NormalizeBrightness(raster);
    std::cout << SignatureToString(ComputeSignature(raster)) << '\n';
    return 0;
}

int RunTableCommand(const std::string& dataFolder, const std::string& command,
                    const std::vector<std::string>& words) {
    TCliControls controls;
    TCorvaneEngine engine(controls);
    TDesktopTrash trash;
    engine.Trash = &trash;
    auto start = [&](const TArguments& arguments) {
        engine.StartUp(dataFolder);
        ApplyOverrides(arguments, controls);
        for (const auto& [name, value] : arguments.Options)
            if (name == "--workers") engine.Workers = StrToInt(value);
    };
    if (command == "compute") {
        const TArguments arguments = ParseArguments(words, kComputeOptions);
        ExpectPositional(arguments, 0);
        start(arguments);
        try {
            engine.ComputeButtonClick();
        } catch (...) {
            engine.SaveBadFiles();
            throw;
        }
        engine.SaveBadFiles();
    } else if (command == "identify") {
        const TArguments arguments = ParseArguments(words, kMatchOptions);
        ExpectPositional(arguments, 0);
        start(arguments);
        engine.Matcher.IdentifyButtonClick();
    } else if (command == "match-single") {
        const TArguments arguments = ParseArguments(words, kMatchOptions);
        ExpectPositional(arguments, 1);
        start(arguments);
        if (!SelectSignatureRecord(engine, arguments.Positional[0])) {
            throw Exception(Format("No signature record for %s", arguments.Positional[0].c_str()));
        }
        engine.Matcher.MatchSingleButtonClick();
    } else if (command == "convert") {
        const TArguments arguments = ParseArguments(words, {"--folder"});
        ExpectPositional(arguments, 0);
        start(arguments);
        try {
            engine.ConvertBitmaps(controls.Search);
        } catch (...) {
            engine.SaveBadFiles();
            throw;
        }
        engine.SaveBadFiles();
        std::cout << engine.ConversionSummary() << '\n';
    } else if (command == "delete") {
        const TArguments arguments = ParseArguments(words, {"--permanent"});
        if (arguments.Positional.empty()) throw EUsage("no file given");
        start(arguments);
        return RunDeleteCommand(engine, trash, arguments.Positional, arguments.Has("--permanent"));
    } else if (command == "move") {
        const TArguments arguments = ParseArguments(words, {"--replace", "--permanent"});
        ExpectPositional(arguments, 2);
        start(arguments);
        return RunMoveCommand(engine, trash, arguments.Positional[0], arguments.Positional[1],
                              arguments.Has("--replace"), arguments.Has("--permanent"));
    } else if (command == "undo") {
        const TArguments arguments = ParseArguments(words, {});
        ExpectPositional(arguments, 0);
        start(arguments);
        return RunUndoCommand(engine, trash);
    } else if (command == "batch") {
        const TArguments arguments = ParseArguments(words, {"--workers"});
        ExpectPositional(arguments, 0);
        start(arguments);
        try {
            engine.BatchRun();
        } catch (...) {
            engine.SaveBadFiles();
            throw;
        }
        engine.SaveBadFiles();
    } else if (command == "signatures" || command == "matches") {
        const TArguments arguments = ParseArguments(words, {});
        ExpectPositional(arguments, 0);
        start(arguments);
        if (command == "signatures") {
            ListSignatures(engine);
        } else {
            ListMatches(engine);
        }
    } else {
        throw EUsage("unknown command " + command);
    }
    return 0;
}

int Run(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    std::optional<std::string> dataFolder;
    size_t next = 0;
    if (next < words.size() && words[next] == "--data") {
        if (next + 1 >= words.size()) throw EUsage("option --data needs a value");
        dataFolder = words[next + 1];
        next += 2;
    }
    if (next >= words.size()) throw EUsage("no command given");
    const std::string command = words[next];
    const std::vector<std::string> rest(words.begin() + static_cast<ptrdiff_t>(next) + 1,
                                        words.end());
    if (command == "decode" || command == "signature") {
        if (dataFolder) throw EUsage("--data has no meaning for " + command);
        return RunPictureCommand(command, rest);
    }
    return RunTableCommand(dataFolder ? *dataFolder : DefaultProgramFolder(), command, rest);
}

}  // namespace
}  // namespace corvane

int main(int argc, char** argv) {
    try {
        return corvane::Run(argc, argv);
    } catch (const corvane::EUsage& error) {
        std::cerr << "corvane-cli: " << error.Message() << '\n' << corvane::kUsage;
        return 2;
    } catch (const std::exception& error) {
        std::cout.flush();
        std::cerr << error.what() << std::endl;
        return 1;
    }
}
