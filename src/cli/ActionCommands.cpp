#include "cli/ActionCommands.h"

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>

#include "cli/CommandLine.h"
#include "cli/EngineSession.h"
#include "review/FileActions.h"

namespace corvane {

namespace {

// Records hold full names: a relative name is taken from the current folder.
std::string FullName(const std::string& name) {
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(name, error).lexically_normal();
    return error ? name : full.string();
}

TFileActions ActionsOf(TCorvaneEngine& engine, TTrashCan& trash, bool permanent) {
    TFileActions actions(engine.Signatures.SignaturesTable, engine.Matches.MatchTable, &trash,
                         engine.State.ProgramFolder + kUndoJournalFileName);
    actions.UseTrash = !permanent;
    return actions;
}

int Report(const TActionResult& result) {
    if (result.Status == TActionStatus::Done || result.Status == TActionStatus::NothingToUndo) {
        std::cout << result.Message << '\n';
        return 0;
    }
    ReportError(result.Message);
    return kExitError;
}

}  // namespace

int RunDeleteCommand(TCorvaneEngine& engine, TTrashCan& trash,
                     const std::vector<std::string>& files, bool permanent) {
    TFileActions actions = ActionsOf(engine, trash, permanent);
    int status = 0;
    for (const std::string& file : files) {
        TActionResult result = actions.Delete(FullName(file));
        if (result.Status == TActionStatus::NoTrash)
            result.Message += "; the file was left in place (--permanent deletes it for good)";
        status = std::max(status, Report(result));
    }
    return status;
}

int RunMoveCommand(TCorvaneEngine& engine, TTrashCan& trash, const std::string& source,
                   const std::string& destination, bool replace, bool permanent) {
    TFileActions actions = ActionsOf(engine, trash, permanent);
    TActionResult result = actions.Move(FullName(source), FullName(destination), replace);
    if (result.Status == TActionStatus::DestinationTaken)
        result.Message += " Nothing was moved (--replace replaces it).";
    return Report(result);
}

int RunUndoCommand(TCorvaneEngine& engine, TTrashCan& trash) {
    return Report(ActionsOf(engine, trash, false).Undo());
}

void RegisterActionCommands(TCommandLine& commandLine) {
    auto files = std::make_shared<std::vector<std::string>>();
    auto permanent = std::make_shared<bool>(false);
    CLI::App* remove = commandLine.AddCommand(
        "delete", "Move pictures to the desktop trash, with their records and rows",
        [&commandLine, files, permanent] {
            TEngineSession session(commandLine);
            session.Start();
            return RunDeleteCommand(session.Engine, session.Trash, *files, *permanent);
        });
    remove->add_option("FILE", *files, "Pictures to delete")->required();
    remove->add_flag("--permanent", *permanent, "Delete for good instead of to the trash");

    auto move = std::make_shared<std::pair<std::string, std::string>>();
    auto replace = std::make_shared<bool>(false);
    auto replacedForGood = std::make_shared<bool>(false);
    CLI::App* moveCommand = commandLine.AddCommand(
        "move", "Move a picture, with its records and rows; never replaces without --replace",
        [&commandLine, move, replace, replacedForGood] {
            TEngineSession session(commandLine);
            session.Start();
            return RunMoveCommand(session.Engine, session.Trash, move->first, move->second,
                                  *replace, *replacedForGood);
        });
    moveCommand->add_option("FILE", move->first, "Picture to move")->required();
    moveCommand->add_option("DEST", move->second, "Folder or new name")->required();
    moveCommand->add_flag("--replace", *replace,
                          "Replace a file of that name (it goes to the trash)");
    moveCommand->add_flag("--permanent", *replacedForGood, "The replaced file is deleted for good");

    commandLine.AddCommand("undo", "Undo the last delete or move (of the window or corvane-cli)",
                           [&commandLine] {
                               TEngineSession session(commandLine);
                               session.Start();
                               return RunUndoCommand(session.Engine, session.Trash);
                           });
}

}  // namespace corvane
