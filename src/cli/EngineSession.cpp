#include "cli/EngineSession.h"

namespace corvane {

TEngineSession::TEngineSession(const TCommandLine& commandLine)
    : Controls(!commandLine.Globals().Quiet), Engine(Controls), commandLine_(commandLine) {
    Engine.Trash = &Trash;
}

void TEngineSession::Start() {
    const TProgramFolder folder = commandLine_.ProgramFolder();
    Engine.DefaultSearchPath = DefaultSearchFolder(folder, CurrentProgramFolderInputs());
    Engine.StartUp(folder.Path);
}

void TSwitchOption::Add(CLI::App& command, const std::string& on, const std::string& onText,
                        const std::string& off, const std::string& offText) {
    On = command.add_flag(on, onText);
    Off = command.add_flag(off, offText)->excludes(On);
}

void TSwitchOption::ApplyTo(bool& setting) const {
    if (On != nullptr && On->count() > 0) setting = true;
    if (Off != nullptr && Off->count() > 0) setting = false;
}

}  // namespace corvane
