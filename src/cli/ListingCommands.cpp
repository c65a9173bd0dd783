// signatures and matches: the two tables on standard output, record by
// record in primary order, as TSV (default), CSV, JSON or NUL-ended names.
#include <iostream>
#include <memory>

#include "cli/CommandLine.h"
#include "cli/EngineSession.h"
#include "cli/Listing.h"

namespace corvane {

namespace {

struct TListingOptions {
    TListingFormat Format = TListingFormat::Tsv;
    bool NulNames = false;

    void AddTo(CLI::App& command, const std::string& names) {
        const std::map<std::string, TListingFormat> formats = {{"tsv", TListingFormat::Tsv},
                                                               {"csv", TListingFormat::Csv},
                                                               {"json", TListingFormat::Json}};
        CLI::Option* format =
            command.add_option("--format", Format, "Output format: tsv (default), csv or json")
                ->type_name("FORMAT")
                ->transform(CLI::CheckedTransformer(formats, CLI::ignore_case));
        command.add_flag("-0,--null", NulNames, "Only " + names + ", each ended by a NUL byte")
            ->excludes(format);
    }
    TListingFormat Chosen() const { return NulNames ? TListingFormat::Nul : Format; }
};

void ListSignatures(TCorvaneEngine& engine, TListingFormat format) {
    TListingLayout layout;
    layout.Columns = {{"FileName"}, {"FilePath"}, {"FileDate"}, {"Signature"}};
    layout.FileNames = [](const std::vector<std::string>& row) {
        return std::vector<std::string>{row[1] + row[0]};
    };
    const auto writer = MakeListingWriter(format, std::move(layout), std::cout);
    TSignaturesTableObjects& t = engine.Signatures;
    t.SignaturesTable.SetIndexName("");
    std::vector<std::string> row(4);
    for (t.SignaturesTable.First(); !t.SignaturesTable.AtEnd(); t.SignaturesTable.Next()) {
        row[0] = t.SignaturesTableFileName.Value();
        row[1] = t.SignaturesTableFilePath.Value();
        row[2] = FormatDateTime(t.SignaturesTableFileDate.Value());
        row[3] = t.SignaturesTableSignature.Value();
        writer->Row(row);
    }
    writer->Finish();
}

void ListMatches(TCorvaneEngine& engine, TListingFormat format) {
    TListingLayout layout;
    layout.Columns = {{"MaxDiff", true}, {"File1"}, {"File2"}};
    layout.FileNames = [](const std::vector<std::string>& row) {
        return std::vector<std::string>{row[1], row[2]};
    };
    const auto writer = MakeListingWriter(format, std::move(layout), std::cout);
    TMatchTableObjects& t = engine.Matches;
    std::vector<std::string> row(3);
    for (t.MatchTable.First(); !t.MatchTable.AtEnd(); t.MatchTable.Next()) {
        row[0] = std::to_string(t.MatchTableMaxDiff.Value());
        row[1] = t.MatchTableFile1.Value();
        row[2] = t.MatchTableFile2.Value();
        writer->Row(row);
    }
    writer->Finish();
}

template <class List>
void RegisterListing(TCommandLine& commandLine, const std::string& name,
                     const std::string& description, const std::string& names, List list) {
    auto options = std::make_shared<TListingOptions>();
    CLI::App* command = commandLine.AddCommand(name, description, [&commandLine, options, list] {
        TEngineSession session(commandLine);
        session.Start();
        list(session.Engine, options->Chosen());
        return kExitDone;
    });
    options->AddTo(*command, names);
}

}  // namespace

void RegisterListingCommands(TCommandLine& commandLine) {
    RegisterListing(commandLine, "signatures",
                    "List the signature table: FileName, FilePath, FileDate, Signature",
                    "the full file names", ListSignatures);
    RegisterListing(commandLine, "matches", "List the match table: MaxDiff, File1, File2",
                    "File1 and File2 of every row", ListMatches);
}

}  // namespace corvane
