// corvane-cli: headless access to the engine on the program folder's files.
// `corvane-cli --help` lists the commands; CommandLine.h the exit statuses.
#include <iostream>

#include "cli/ActionCommands.h"
#include "cli/CommandLine.h"

int main(int argc, char** argv) {
    // Listings write many short records; no need to keep C stdio in step.
    std::ios::sync_with_stdio(false);
    corvane::TCommandLine commandLine;
    corvane::RegisterTableCommands(commandLine);
    corvane::RegisterListingCommands(commandLine);
    corvane::RegisterActionCommands(commandLine);
    corvane::RegisterPictureCommands(commandLine);
    corvane::RegisterFolderCommands(commandLine);
    return commandLine.Run(argc, argv);
}
