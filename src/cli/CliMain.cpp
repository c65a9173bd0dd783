// corvane-cli: headless access to the engine on the program folder's files.
// `corvane-cli --help` lists the commands; CommandLine.h the exit statuses.
#include <iostream>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "cli/ActionCommands.h"
#include "cli/CommandLine.h"
#include "cli/GroupsCommand.h"

namespace {

// The group commands read their own options: everything after the command's
// name is handed over as it was typed.
void RegisterGroupCommands(corvane::TCommandLine& commandLine) {
    using TRun = int (*)(const std::string&, const std::vector<std::string>&);
    const std::tuple<const char*, const char*, TRun> commands[] = {
        {"groups", "Groups of near copies, with the copies to keep and the rest selected",
         corvane::RunGroupsCommand},
        {"not-duplicate", "Mark two pictures as not a duplicate of each other",
         corvane::RunNotDuplicateCommand}};
    for (const auto& command : commands) {
        const TRun run = std::get<2>(command);
        auto app = std::make_shared<CLI::App*>();
        *app = commandLine.AddCommand(
            std::get<0>(command), std::get<1>(command), [&commandLine, app, run] {
                return run(commandLine.ProgramFolder().Path, (*app)->remaining());
            });
        (*app)->prefix_command();
        (*app)->allow_extras()->fallthrough(false);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Listings write many short records; no need to keep C stdio in step.
    std::ios::sync_with_stdio(false);
    corvane::TCommandLine commandLine;
    corvane::RegisterTableCommands(commandLine);
    corvane::RegisterListingCommands(commandLine);
    corvane::RegisterActionCommands(commandLine);
    corvane::RegisterPictureCommands(commandLine);
    corvane::RegisterFolderCommands(commandLine);
    RegisterGroupCommands(commandLine);
    return commandLine.Run(argc, argv);
}
