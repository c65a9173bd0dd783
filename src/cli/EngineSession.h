// The engine on the program folder's files, with the terminal for a window.
#pragma once

#include <string>

#include "cli/CliControls.h"
#include "cli/CommandLine.h"
#include "platform/DesktopTrash.h"
#include "scan/Engine.h"

namespace corvane {

class TEngineSession {
  public:
    explicit TEngineSession(const TCommandLine& commandLine);
    // Opens the tables and reads the settings of the program folder.
    void Start();

    TCliControls Controls;
    TDesktopTrash Trash;  // where deletes and converted bitmaps go
    TCorvaneEngine Engine;

  private:
    const TCommandLine& commandLine_;
};

// A flag and its negation (--subdirs/--no-subdirs), which exclude each
// other; neither (or a switch never added) leaves the setting alone.
struct TSwitchOption {
    CLI::Option* On = nullptr;
    CLI::Option* Off = nullptr;

    void Add(CLI::App& command, const std::string& on, const std::string& onText,
             const std::string& off, const std::string& offText);
    void ApplyTo(bool& setting) const;
};

}  // namespace corvane
