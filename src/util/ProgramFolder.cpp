#include "util/ProgramFolder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

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
