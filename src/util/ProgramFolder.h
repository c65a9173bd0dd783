// The program folder: where the tables, Corvane.INI and the text files live.
//
// The choice, first that applies:
//   1. $CORVANE_DATA when it is set and not empty;
//   2. the executable's folder when it can be written and the program is not
//      an installed copy (the portable way: unpack anywhere and run);
//   3. $XDG_DATA_HOME/corvane, or ~/.local/share/corvane when XDG_DATA_HOME
//      is unset, empty or relative (relative values are ignored, as the XDG
//      base directory rules say).
// An installed copy is an executable in a folder "bin" beside
// "share/applications/io.github.corvane.Corvane.desktop": its folder holds
// programs, not a user's tables, even where the user may write it (a prefix
// in the home folder, or root).
#pragma once

#include <functional>
#include <string>

namespace corvane {

enum class TProgramFolderSource {
    DataOption,        // corvane-cli --data DIR
    DataVariable,      // $CORVANE_DATA
    ExecutableFolder,  // the portable folder
    UserDataFolder,    // $XDG_DATA_HOME/corvane
};

struct TProgramFolder {
    std::string Path;  // always ends in "/"
    TProgramFolderSource Source = TProgramFolderSource::ExecutableFolder;
};

// What the choice depends on, gathered from the process.
struct TProgramFolderInputs {
    std::string DataVariable;      // $CORVANE_DATA ("" when unset)
    std::string ExecutableFolder;  // folder of the running executable
    std::string XdgDataHome;       // $XDG_DATA_HOME ("" when unset)
    std::string XdgConfigHome;     // $XDG_CONFIG_HOME ("" when unset)
    std::string Home;              // $HOME, else the password entry's folder
    // Can the process create files in the folder? By default access(2) with
    // W_OK: the permission bits for the real user, so root passes everywhere
    // except on a read-only file system.
    std::function<bool(const std::string& folder)> CanWrite;
    // Does the file exist? By default stat(2).
    std::function<bool(const std::string& file)> Exists;
};

// The inputs of the running process with the default checks.
TProgramFolderInputs CurrentProgramFolderInputs();

// Picks the folder; creates nothing.
TProgramFolder ChooseProgramFolder(const TProgramFolderInputs& inputs);

// The choice for this process; the user data folder is created (with its
// parents) when it is the one chosen. Throws Exception naming the folder
// when it cannot be created.
TProgramFolder ResolveProgramFolder();

// Where a compute run looks when the settings name no folder: the program
// folder, as the portable program always did; for the user data folder,
// which holds no pictures, the user's pictures folder (XDG_PICTURES_DIR of
// user-dirs.dirs, else ~/Pictures) when it is a folder, else the home folder.
std::string DefaultSearchFolder(const TProgramFolder& folder, const TProgramFolderInputs& inputs);

// The folder with a short reason: "/home/a/.local/share/corvane/ (user data folder)".
std::string DescribeProgramFolder(const TProgramFolder& folder);

}  // namespace corvane
