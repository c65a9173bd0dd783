#include "util/ProgramFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "util/Exception.h"

namespace corvane {

namespace {

constexpr const char* kDesktopEntry = "share/applications/io.github.corvane.Corvane.desktop";

std::string WithSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string HomeFolder() {
    std::string home = Environment("HOME");
    if (home.empty()) {
        if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir)
            home = entry->pw_dir;
    }
    return home;
}

std::string ExecutableFolder() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return std::filesystem::current_path(error).string();
    return exe.parent_path().string();
}

bool IsInstalledCopy(const TProgramFolderInputs& inputs) {
    const std::filesystem::path folder = std::filesystem::path(inputs.ExecutableFolder);
    const std::filesystem::path bin = folder.filename().empty() ? folder.parent_path() : folder;
    if (bin.filename() != "bin") return false;
    return inputs.Exists((bin.parent_path() / kDesktopEntry).string());
}

std::string UserDataFolder(const TProgramFolderInputs& inputs) {
    const std::string& xdg = inputs.XdgDataHome;
    if (!xdg.empty() && xdg.front() == '/') return WithSlash(xdg) + "corvane/";
    return WithSlash(inputs.Home) + ".local/share/corvane/";
}

}  // namespace

TProgramFolderInputs CurrentProgramFolderInputs() {
    TProgramFolderInputs inputs;
    inputs.DataVariable = Environment("CORVANE_DATA");
    inputs.ExecutableFolder = ExecutableFolder();
    inputs.XdgDataHome = Environment("XDG_DATA_HOME");
    inputs.XdgConfigHome = Environment("XDG_CONFIG_HOME");
    inputs.Home = HomeFolder();
    inputs.CanWrite = [](const std::string& folder) { return ::access(folder.c_str(), W_OK) == 0; };
    inputs.Exists = [](const std::string& file) {
        struct stat info;
        return ::stat(file.c_str(), &info) == 0;
    };
    return inputs;
}

TProgramFolder ChooseProgramFolder(const TProgramFolderInputs& inputs) {
    if (!inputs.DataVariable.empty())
        return {WithSlash(inputs.DataVariable), TProgramFolderSource::DataVariable};
    if (inputs.CanWrite(inputs.ExecutableFolder) && !IsInstalledCopy(inputs))
        return {WithSlash(inputs.ExecutableFolder), TProgramFolderSource::ExecutableFolder};
    return {UserDataFolder(inputs), TProgramFolderSource::UserDataFolder};
}

TProgramFolder ResolveProgramFolder() {
    const TProgramFolder folder = ChooseProgramFolder(CurrentProgramFolderInputs());
    if (folder.Source == TProgramFolderSource::UserDataFolder) {
        std::error_code error;
        std::filesystem::create_directories(folder.Path, error);
        if (error) {
            throw Exception(Format("Cannot create the program folder %s: %s", folder.Path.c_str(),
                                   error.message().c_str()));
        }
    }
    return folder;
}

namespace {

// XDG_PICTURES_DIR from user-dirs.dirs: a line XDG_PICTURES_DIR="$HOME/Pictures"
// (a path either absolute or below $HOME). Empty when there is none.
std::string PicturesFolderSetting(const TProgramFolderInputs& inputs) {
    const std::string& config = inputs.XdgConfigHome;
    const std::string folder = !config.empty() && config.front() == '/'
                                   ? WithSlash(config)
                                   : WithSlash(inputs.Home) + ".config/";
    std::ifstream file(folder + "user-dirs.dirs");
    const std::string prefix = "XDG_PICTURES_DIR=\"";
    for (std::string line; std::getline(file, line);) {
        if (line.rfind(prefix, 0) != 0 || line.back() != '"') continue;
        std::string value = line.substr(prefix.size(), line.size() - prefix.size() - 1);
        if (value.rfind("$HOME/", 0) == 0) return WithSlash(inputs.Home) + value.substr(6);
        if (!value.empty() && value.front() == '/') return value;
    }
    return {};
}

bool IsFolder(const std::string& path) {
    std::error_code error;
    return !path.empty() && std::filesystem::is_directory(path, error);
}

}  // namespace

std::string DefaultSearchFolder(const TProgramFolder& folder, const TProgramFolderInputs& inputs) {
    if (folder.Source != TProgramFolderSource::UserDataFolder) return folder.Path;
    for (const std::string& candidate :
         {PicturesFolderSetting(inputs), WithSlash(inputs.Home) + "Pictures"}) {
        if (IsFolder(candidate)) return WithSlash(candidate);
    }
    return WithSlash(inputs.Home);
}

std::string DescribeProgramFolder(const TProgramFolder& folder) {
    switch (folder.Source) {
        case TProgramFolderSource::DataOption:
            return folder.Path + " (--data)";
        case TProgramFolderSource::DataVariable:
            return folder.Path + " (CORVANE_DATA)";
        case TProgramFolderSource::ExecutableFolder:
            return folder.Path + " (program's own folder)";
        case TProgramFolderSource::UserDataFolder:
            return folder.Path + " (user data folder)";
    }
    return folder.Path;
}

}  // namespace corvane
