#include "cli/ActionCommands.h"

#include <algorithm>
#include <filesystem>
#include <iostream>

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
    std::cerr << result.Message << '\n';
    return 1;
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

}  // namespace corvane
