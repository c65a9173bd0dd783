#include "cli/GroupsCommand.h"

#include <filesystem>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>

#include "cli/CliControls.h"
#include "cli/Listing.h"
#include "review/GroupReview.h"
#include "scan/Engine.h"
#include "util/StrToInt.h"

namespace corvane {

namespace {

class EGroupsUsage : public Exception {
  public:
    using Exception::Exception;
};

struct TGroupsOptions {
    std::optional<std::string> Margin;
    std::optional<bool> Colors;
    std::string Keep;
    std::vector<std::string> Preferred;
    bool SelectedOnly = false;
    bool Json = false;
    char End = '\n';
};

TGroupsOptions ParseGroupsOptions(const std::vector<std::string>& words) {
    TGroupsOptions options;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= words.size()) throw EGroupsUsage("option " + word + " needs a value");
            return words[++i];
        };
        if (word == "--margin") {
            options.Margin = value();
        } else if (word == "--colors" || word == "--sum") {
            options.Colors = word == "--colors";
        } else if (word == "--keep") {
            options.Keep = value();
        } else if (word == "--prefer") {
            options.Preferred.push_back(value());
        } else if (word == "--selected") {
            options.SelectedOnly = true;
        } else if (word == "--format") {
            const std::string& format = value();
            if (format != "tsv" && format != "json")
                throw EGroupsUsage("--format takes tsv or json");
            options.Json = format == "json";
        } else if (word == "-0") {
            options.End = '\0';
        } else {
            throw EGroupsUsage("unknown option or argument " + word);
        }
    }
    if (options.Json && options.End == '\0') throw EGroupsUsage("-0 does not go with json");
    return options;
}

int UsageError(const Exception& error) {
    std::cerr << "corvane-cli: " << error.Message() << "\nusage:\n" << kGroupsUsage;
    return 2;
}

// One record per member, the largest groups first: group number, reference
// or member, MaxDiff to the reference, selected (Y/N), file; with --selected
// the selected files only. Names are escaped as in the other TSV listings,
// so that a newline in a name never reads as two names; with -0 they are
// written as they are.
void PrintTsv(const TGroupReview& review, const TGroupsOptions& options) {
    const std::vector<size_t> listed = review.ListedGroups(TGroupReview::TOrder::Largest);
    for (size_t number = 0; number < listed.size(); ++number) {
        const size_t g = listed[number];
        const std::span<const TGroupMember> members = review.Groups().Group(g);
        for (size_t m = 0; m < members.size(); ++m) {
            const bool selected = review.Selection().Selected(g, m);
            const std::string_view name = review.Name(members[m].Picture);
            const std::string shown =
                options.End == '\0' ? std::string(name) : EscapeTsvField(name);
            if (options.SelectedOnly) {
                if (selected) std::cout << shown << options.End;
                continue;
            }
            std::cout << number + 1 << '\t' << (m == 0 ? "reference" : "member") << '\t'
                      << members[m].MaxDiff << '\t' << (selected ? 'Y' : 'N') << '\t' << shown
                      << options.End;
        }
    }
}

void PrintJson(const TGroupReview& review, const TGroupsOptions& options) {
    const std::vector<size_t> listed = review.ListedGroups(TGroupReview::TOrder::Largest);
    nlohmann::json result = nlohmann::json::array();
    for (size_t number = 0; number < listed.size(); ++number) {
        const size_t g = listed[number];
        const std::span<const TGroupMember> members = review.Groups().Group(g);
        nlohmann::json group = nlohmann::json::array();
        for (size_t m = 0; m < members.size(); ++m) {
            const bool selected = review.Selection().Selected(g, m);
            const std::string name(review.Name(members[m].Picture));
            if (options.SelectedOnly) {
                if (selected) result.push_back(name);
                continue;
            }
            nlohmann::json member = {{"file", name},
                                     {"reference", m == 0},
                                     {"maxdiff", members[m].MaxDiff},
                                     {"selected", selected}};
            // The exact bytes of a name that is not UTF-8, as the listings give them.
            if (!IsValidUtf8(name)) member["fileBase64"] = EncodeBase64(name);
            group.push_back(std::move(member));
        }
        if (!options.SelectedOnly) result.push_back({{"group", number + 1}, {"members", group}});
    }
    // File names need not be UTF-8; bytes that are not become U+FFFD.
    std::cout << result.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
}

// The signature text of a picture's record, trying the name as given and as
// an absolute name; none without a record.
std::optional<std::string> RecordSignature(TCorvaneEngine& engine, const std::string& fileName,
                                           std::string& fullName) {
    std::vector<std::string> candidates = {fileName};
    std::error_code error;
    const std::string absolute = std::filesystem::absolute(fileName, error).lexically_normal();
    if (!error && absolute != fileName) candidates.push_back(absolute);
    TStoreTable& table = engine.Signatures.SignaturesTable;
    for (const std::string& name : candidates) {
        table.BeginKey();
        engine.Signatures.SignaturesTableFileName.SetValue(ExtractFileName(name));
        engine.Signatures.SignaturesTableFilePath.SetValue(ExtractFilePath(name));
        if (table.SeekKey()) {
            fullName = engine.Signatures.SignaturesTableFilePath.Value() +
                       engine.Signatures.SignaturesTableFileName.Value();
            return engine.Signatures.SignaturesTableSignature.Value();
        }
    }
    return std::nullopt;
}

}  // namespace

int RunGroupsCommand(const std::string& programFolder, const std::vector<std::string>& words) {
    TGroupsOptions options;
    std::vector<TKeepRule> rules;
    try {
        options = ParseGroupsOptions(words);
        rules = ParseKeepRules(options.Keep);
    } catch (const Exception& error) {
        return UsageError(error);
    }
    TCliControls controls(false);  // no run with progress here
    TCorvaneEngine engine(controls);
    engine.StartUp(programFolder);
    const int32_t margin = StrToInt(options.Margin ? *options.Margin : controls.MarginText());
    const bool perChannel = options.Colors ? *options.Colors : controls.ColorsCB();

    TGroupReview review;
    review.Load(engine.Matches, engine.Signatures, engine.State.ProgramFolder);
    review.Regroup(margin, perChannel);
    if (!rules.empty()) review.SelectByRules(TKeepChooser(rules, options.Preferred));
    if (options.Json) {
        PrintJson(review, options);
    } else {
        PrintTsv(review, options);
    }
    std::cout.flush();
    return 0;
}

int RunNotDuplicateCommand(const std::string& programFolder,
                           const std::vector<std::string>& words) {
    if (words.size() != 2) return UsageError(EGroupsUsage("not-duplicate takes two files"));
    TCliControls controls(false);  // no run with progress here
    TCorvaneEngine engine(controls);
    engine.StartUp(programFolder);
    std::string names[2];
    std::string signatures[2];
    for (int i = 0; i < 2; ++i) {
        const std::optional<std::string> signature = RecordSignature(engine, words[i], names[i]);
        if (!signature) throw Exception(Format("No signature record for %s", words[i].c_str()));
        signatures[i] = *signature;
    }
    TNotDuplicateMarks marks;
    marks.Load(engine.State.ProgramFolder);
    marks.Mark(names[0], signatures[0], names[1], signatures[1]);
    marks.Save(engine.State.ProgramFolder);
    return 0;
}

}  // namespace corvane
