// corvane-cli's command line: the global options, the commands and the
// exit statuses. Each command is added by a small registration function
// (Register...Commands) that declares its options on a CLI11 subcommand and
// hands over what runs when it is chosen.
//
// Exit status: 0 done, 1 an error (the message on standard error after
// "corvane-cli: "), 2 a usage error (one line on standard error, pointing to
// --help).
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "util/Exception.h"
#include "util/ProgramFolder.h"

namespace corvane {

inline constexpr const char* kProgramName = "corvane-cli";

enum TExitStatus : int { kExitDone = 0, kExitError = 1, kExitUsage = 2 };

// A command line that parses but makes no sense (exit status 2).
class EUsage : public Exception {
  public:
    using Exception::Exception;
};

// Options that hold for every command.
struct TGlobalOptions {
    std::optional<std::string> DataFolder;  // --data DIR
    bool Quiet = false;                     // -q: no progress bar
};

class TCommandLine {
  public:
    TCommandLine();

    // A new command; `run` is called when it is the one chosen and returns
    // the exit status.
    CLI::App* AddCommand(const std::string& name, const std::string& description,
                         std::function<int()> run);

    // Parses and runs; returns the exit status. Messages of errors go to
    // standard error with the program's name in front.
    int Run(int argc, char** argv);

    const TGlobalOptions& Globals() const { return globals_; }
    // --data, else the folder the program chooses (created when it is the
    // user data folder).
    TProgramFolder ProgramFolder() const;
    // Refuses --data for a command that does not use the program folder.
    void RefuseDataOption(const std::string& command) const;

  private:
    int Execute(int argc, char** argv);
    int ShowHelp(const std::string& command);

    CLI::App app_;
    TGlobalOptions globals_;
    std::map<std::string, std::function<int()>> runs_;
};

// Prints an error line "corvane-cli: MESSAGE" on standard error.
void ReportError(const std::string& message);

// The registration functions, one group of commands each.
void RegisterTableCommands(
    TCommandLine& commandLine);  // compute identify match-single convert batch
void RegisterListingCommands(TCommandLine& commandLine);  // signatures matches
void RegisterPictureCommands(TCommandLine& commandLine);  // decode signature
void RegisterFolderCommands(TCommandLine& commandLine);   // where

}  // namespace corvane
