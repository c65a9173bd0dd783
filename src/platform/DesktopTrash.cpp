#include "platform/DesktopTrash.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QString>
#include <cerrno>
#include <cstdlib>

namespace corvane {

namespace {

// $XDG_DATA_HOME/Trash, else ~/.local/share/Trash.
std::string HomeTrash() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/')
        return std::string(data) + "/Trash";
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : "") + "/.local/share/Trash";
}

void MakeFolders(const std::string& path) {
    for (size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0700);
        if (slash == std::string::npos) return;
    }
}

std::string ParentOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos || slash == 0 ? "" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// A trash of the freedesktop layout: TRASH/files/NAME with its
// TRASH/info/NAME.trashinfo, TRASH being the home trash, a volume's
// .Trash-$uid or .Trash/$uid.
bool InATrash(const std::string& pathInTrash) {
    if (pathInTrash.empty() || pathInTrash[0] != '/') return false;
    const std::string files = ParentOf(pathInTrash);
    const std::string trash = ParentOf(files);
    if (NameOf(files) != "files" || trash.empty()) return false;
    const std::string uid = std::to_string(::getuid());
    const bool known = trash == HomeTrash() || NameOf(trash) == ".Trash-" + uid ||
                       (NameOf(trash) == uid && NameOf(ParentOf(trash)) == ".Trash");
    return known && EntryExists(TrashInfoPathOf(pathInTrash));
}

}  // namespace

std::string TDesktopTrash::MoveToTrash(const std::string& fileName) {
    const std::string failed = "Unable to move " + fileName + " to the trash: ";
    if (!EntryExists(fileName)) throw EFileAction(failed + SystemReason(ENOENT));
    // Qt puts a file into the current folder when the home trash cannot be
    // made, so it is made here first.
    const std::string home = HomeTrash();
    MakeFolders(home + "/files");
    MakeFolders(home + "/info");
    QFile file(QString::fromStdString(fileName));
    if (!file.moveToTrash()) {
        const QString reason = file.errorString();
        throw EFileAction(failed + (reason.isEmpty() ? std::string("no trash can take it")
                                                     : reason.toStdString()));
    }
    const std::string pathInTrash = file.fileName().toStdString();  // its place now
    if (!InATrash(pathInTrash)) {
        // Not where a desktop finds it: back to its place.
        MoveFileNoReplace(pathInTrash, fileName);
        ::unlink(TrashInfoPathOf(pathInTrash).c_str());
        throw EFileAction(failed + "no trash can take it");
    }
    return pathInTrash;
}

}  // namespace corvane
