#include "platform/DesktopTrash.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QString>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

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
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
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

bool NameSurvivesQt(const std::string& fileName) {
    return QString::fromStdString(fileName).toStdString() == fileName;
}

// A name in the same folder that Qt can hold, for a file whose name is not
// UTF-8.
std::string ValidSiblingName(const std::string& fileName) {
    static std::atomic<unsigned> counter{0};
    return ParentOf(fileName) + "/.corvane-trash-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter++);
}

// The .trashinfo names the original place, URL-escaped as the desktop trash
// expects it; never throws.
void RewriteTrashInfoPath(const std::string& pathInTrash, const std::string& original) {
    const std::string info = TrashInfoPathOf(pathInTrash);
    std::ifstream in(info, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    in.close();
    std::string rewritten, line;
    while (std::getline(text, line)) {
        if (line.rfind("Path=", 0) == 0)
            line =
                "Path=" + QByteArray::fromStdString(original).toPercentEncoding("/").toStdString();
        rewritten += line + "\n";
    }
    // Where it cannot be rewritten, the file is still in the trash (under
    // the stand-in name) and undo still finds it.
    try {
        WriteNewFile(info + ".new", [&rewritten](int fd) {
            return WriteAllBytes(fd, rewritten.data(), rewritten.size());
        });
    } catch (const EFileAction&) {
        return;
    }
    if (::rename((info + ".new").c_str(), info.c_str()) != 0) ::unlink((info + ".new").c_str());
}

std::string TrashWithQt(const std::string& fileName, const std::string& failed) {
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

}  // namespace

std::string TDesktopTrash::MoveToTrash(const std::string& fileName) {
    const std::string failed = "Unable to move " + fileName + " to the trash: ";
    if (!EntryExists(fileName)) throw EFileAction(failed + SystemReason(ENOENT));
    // Qt puts a file into the current folder when the home trash cannot be
    // made, so it is made here first.
    const std::string home = HomeTrash();
    MakeFolders(home + "/files");
    MakeFolders(home + "/info");
    if (NameSurvivesQt(fileName) && NameSurvivesQt(home)) return TrashWithQt(fileName, failed);
    // Qt holds names as UTF-8 text: the file goes under a name it can hold,
    // and its .trashinfo gets the true original name.
    const std::string sibling = ValidSiblingName(fileName);
    if (!NameSurvivesQt(sibling)) throw EFileAction(failed + "its folder's name is not UTF-8");
    MoveFileNoReplace(fileName, sibling);
    try {
        const std::string pathInTrash = TrashWithQt(sibling, failed);
        RewriteTrashInfoPath(pathInTrash, fileName);
        return pathInTrash;
    } catch (...) {
        MoveFileNoReplace(sibling, fileName);
        throw;
    }
}

}  // namespace corvane
