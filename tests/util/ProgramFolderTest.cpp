// The program folder choice, with the file system questions answered by the
// test: as root every folder passes access(2), so a read-only executable
// folder is simulated through the injected CanWrite.
#include "util/ProgramFolder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

namespace corvane::test {
namespace {

struct TCase {
    const char* name;
    std::string data;
    std::string exeFolder;
    std::set<std::string> writable;
    std::set<std::string> files;
    std::string xdg;
    std::string expectedPath;
    TProgramFolderSource expectedSource;
};

TProgramFolderInputs InputsOf(const TCase& c) {
    TProgramFolderInputs inputs;
    inputs.DataVariable = c.data;
    inputs.ExecutableFolder = c.exeFolder;
    inputs.XdgDataHome = c.xdg;
    inputs.Home = "/home/ann";
    inputs.CanWrite = [&c](const std::string& folder) { return c.writable.count(folder) > 0; };
    inputs.Exists = [&c](const std::string& file) { return c.files.count(file) > 0; };
    return inputs;
}

TEST(ProgramFolderTest, ChoosesTheFirstFolderThatApplies) {
    const std::string entry = "/usr/share/applications/io.github.corvane.Corvane.desktop";
    const std::string userEntry =
        "/home/ann/.local/share/applications/io.github.corvane.Corvane.desktop";
    const std::vector<TCase> cases = {
        {"variable wins over a writable executable folder",
         "/srv/c",
         "/opt/c",
         {"/opt/c"},
         {},
         "",
         "/srv/c/",
         TProgramFolderSource::DataVariable},
        {"writable executable folder: portable",
         "",
         "/opt/c",
         {"/opt/c"},
         {},
         "",
         "/opt/c/",
         TProgramFolderSource::ExecutableFolder},
        {"read-only executable folder: user data folder",
         "",
         "/opt/c",
         {},
         {},
         "",
         "/home/ann/.local/share/corvane/",
         TProgramFolderSource::UserDataFolder},
        {"XDG_DATA_HOME is used when absolute",
         "",
         "/opt/c",
         {},
         {},
         "/data/ann",
         "/data/ann/corvane/",
         TProgramFolderSource::UserDataFolder},
        {"a relative XDG_DATA_HOME is ignored",
         "",
         "/opt/c",
         {},
         {},
         "rel/data",
         "/home/ann/.local/share/corvane/",
         TProgramFolderSource::UserDataFolder},
        {"installed copy in a writable /usr/bin (root)",
         "",
         "/usr/bin",
         {"/usr/bin"},
         {entry},
         "",
         "/home/ann/.local/share/corvane/",
         TProgramFolderSource::UserDataFolder},
        {"installed copy in a prefix in the home folder",
         "",
         "/home/ann/.local/bin",
         {"/home/ann/.local/bin"},
         {userEntry},
         "",
         "/home/ann/.local/share/corvane/",
         TProgramFolderSource::UserDataFolder},
        {"a writable bin folder without a desktop entry stays portable",
         "",
         "/opt/c/bin",
         {"/opt/c/bin"},
         {},
         "",
         "/opt/c/bin/",
         TProgramFolderSource::ExecutableFolder},
    };
    for (const TCase& c : cases) {
        const TProgramFolder folder = ChooseProgramFolder(InputsOf(c));
        EXPECT_EQ(folder.Path, c.expectedPath) << c.name;
        EXPECT_EQ(folder.Source, c.expectedSource) << c.name;
    }
}

TEST(ProgramFolderTest, DescriptionSaysWhereTheFolderCameFrom) {
    EXPECT_EQ(DescribeProgramFolder({"/d/", TProgramFolderSource::DataVariable}),
              "/d/ (CORVANE_DATA)");
    EXPECT_EQ(
        DescribeProgramFolder({"/h/.local/share/corvane/", TProgramFolderSource::UserDataFolder}),
        "/h/.local/share/corvane/ (user data folder)");
}

// An installed program's tables live in the user data folder, where no
// pictures are: a first compute run looks in the user's pictures folder.
TEST(ProgramFolderTest, DefaultSearchFolderIsThePicturesFolderOfAnInstalledCopy) {
    namespace fs = std::filesystem;
    const fs::path home =
        fs::temp_directory_path() / ("corvane-home-" + std::to_string(::getpid()));
    fs::remove_all(home);
    fs::create_directories(home / ".config");
    TProgramFolderInputs inputs;
    inputs.Home = home.string();
    const TProgramFolder user{home.string() + "/.local/share/corvane/",
                              TProgramFolderSource::UserDataFolder};

    EXPECT_EQ(DefaultSearchFolder(user, inputs), home.string() + "/");
    fs::create_directory(home / "Pictures");
    EXPECT_EQ(DefaultSearchFolder(user, inputs), home.string() + "/Pictures/");
    // A named pictures folder wins, written below $HOME or in full.
    fs::create_directory(home / "Bilder");
    std::ofstream(home / ".config/user-dirs.dirs")
        << "# written by xdg-user-dirs-update\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n";
    EXPECT_EQ(DefaultSearchFolder(user, inputs), home.string() + "/Bilder/");
    std::ofstream(home / ".config/user-dirs.dirs")
        << "XDG_PICTURES_DIR=\"" << (home / "Pictures").string() << "\"\n";
    EXPECT_EQ(DefaultSearchFolder(user, inputs), home.string() + "/Pictures/");
    // The portable program keeps looking in its own folder.
    EXPECT_EQ(DefaultSearchFolder({"/opt/c/", TProgramFolderSource::ExecutableFolder}, inputs),
              "/opt/c/");
    fs::remove_all(home);
}

}  // namespace
}  // namespace corvane::test
