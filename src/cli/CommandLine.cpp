#include "cli/CommandLine.h"

#include <iostream>

namespace corvane {

namespace {

constexpr const char* kFooter =
    "Run 'corvane-cli help COMMAND' for the options of a command.\n"
    "\n"
    "The program folder holds the tables, Corvane.INI and the text files: --data DIR,\n"
    "else $CORVANE_DATA, else the program's own folder when it can be written, else\n"
    "$XDG_DATA_HOME/corvane (~/.local/share/corvane). 'corvane-cli where' names it.\n"
    "\n"
    "Exit status: 0 done; 1 an error (its message on standard error); 2 a usage error.";

std::string UsageLine(const CLI::App* app, const CLI::Error& error) {
    std::string message = error.what();
    std::string hint = "corvane-cli --help";
    for (const CLI::App* command : app->get_subcommands())
        hint = "corvane-cli " + command->get_name() + " --help";
    if (app->get_subcommands().empty() && error.get_name() == "RequiredError") {
        const std::vector<std::string> rest = app->remaining();
        message = rest.empty() ? "no command given" : "unknown command " + rest.front();
    }
    return std::string(kProgramName) + ": " + message + " (see '" + hint + "')\n";
}

}  // namespace

void ReportError(const std::string& message) {
    std::cout.flush();
    std::cerr << kProgramName << ": " << message << std::endl;
}

TCommandLine::TCommandLine()
    : app_("Find duplicate and near-duplicate pictures, headless.", kProgramName) {
    app_.set_version_flag("--version", std::string(kProgramName) + " " + CORVANE_VERSION);
    app_.add_option("--data", globals_.DataFolder, "Program folder to use for this run")
        ->type_name("DIR");
    app_.add_flag("-q,--quiet", globals_.Quiet, "No progress bar on standard error");
    app_.require_subcommand(1);
    app_.fallthrough();
    app_.footer(kFooter);
    app_.failure_message(UsageLine);

    auto command = std::make_shared<std::string>();
    CLI::App* help = AddCommand("help", "Show the help of a command, or of the program",
                                [this, command] { return ShowHelp(*command); });
    help->add_option("COMMAND", *command, "Command to explain");
}

CLI::App* TCommandLine::AddCommand(const std::string& name, const std::string& description,
                                   std::function<int()> run) {
    runs_[name] = std::move(run);
    CLI::App* command = app_.add_subcommand(name, description);
    command->footer("Exit status: 0 done; 1 an error; 2 a usage error.");
    return command;
}

int TCommandLine::ShowHelp(const std::string& command) {
    if (command.empty()) {
        // app_.help() would show the help of the chosen command, "help".
        std::cout << app_.get_formatter()->make_help(&app_, kProgramName,
                                                     CLI::AppFormatMode::Normal);
        return kExitDone;
    }
    for (const CLI::App* sub : app_.get_subcommands({})) {
        if (sub->get_name() == command) {
            std::cout << sub->help(kProgramName);
            return kExitDone;
        }
    }
    throw EUsage("unknown command " + command);
}

TProgramFolder TCommandLine::ProgramFolder() const {
    if (globals_.DataFolder) {
        std::string path = *globals_.DataFolder;
        if (path.empty() || path.back() != '/') path += '/';
        return {path, TProgramFolderSource::DataOption};
    }
    return ResolveProgramFolder();
}

void TCommandLine::RefuseDataOption(const std::string& command) const {
    if (globals_.DataFolder) throw EUsage("--data has no meaning for " + command);
}

int TCommandLine::Execute(int argc, char** argv) {
    try {
        app_.parse(argc, argv);
    } catch (const CLI::Success& done) {
        return app_.exit(done);
    } catch (const CLI::ParseError& error) {
        app_.exit(error);
        return kExitUsage;
    }
    const CLI::App* chosen = app_.get_subcommands().front();
    return runs_.at(chosen->get_name())();
}

int TCommandLine::Run(int argc, char** argv) {
    try {
        return Execute(argc, argv);
    } catch (const EUsage& error) {
        std::cout.flush();
        std::cerr << kProgramName << ": " << error.what() << " (see 'corvane-cli --help')"
                  << std::endl;
        return kExitUsage;
    } catch (const std::exception& error) {
        ReportError(error.what());
        return kExitError;
    }
}

}  // namespace corvane
