// File operations that never lose or silently replace a picture: moving a
// file (one rename on the same file system, else a copy put in place without
// replacing anything, then the source removed), writing a new file that
// appears complete or not at all, and the desktop trash the program removes
// files into. Failures throw EFileAction with the system's reason; the files
// are then as they were.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "util/Exception.h"

namespace corvane {

class EFileAction : public Exception {
  public:
    using Exception::Exception;
};

// The system's text for an errno value.
std::string SystemReason(int error);

// What tells a file apart from a changed or different one: device, inode,
// size and modification time (nanoseconds). A rename keeps all four.
struct TFileIdentity {
    uint64_t Device = 0;
    uint64_t Inode = 0;
    int64_t Size = 0;
    int64_t ModifiedNs = 0;
    bool operator==(const TFileIdentity&) const = default;

    // Of the entry itself (a symbolic link is not followed); none when absent.
    static std::optional<TFileIdentity> Of(const std::string& fileName);
    std::string ToText() const;
    static std::optional<TFileIdentity> FromText(const std::string& text);
};

// True when an entry of that name exists (a dangling link counts).
bool EntryExists(const std::string& fileName);
// True when both names lead to the same file (or are the same name).
bool SameFile(const std::string& a, const std::string& b);

enum class TMoveMethod { Renamed, Copied };

// Moves Source to Destination; an entry at Destination is never replaced
// (EFileAction). Same file system: one rename, which keeps the file whole
// with its dates. Across file systems: a copy with modification time and
// permissions kept, written beside Destination, flushed to disk, put in
// place without replacing, then the source removed (when that fails, the
// copy is removed again and the source stays).
TMoveMethod MoveFileNoReplace(const std::string& source, const std::string& destination);

// Creates FileName with the bytes Write puts into the open descriptor; the
// file appears complete (flushed to disk) or not at all, and an existing
// entry of that name is never replaced (EFileAction). Write returns false
// on a failed write, with errno set. ModifiedNs, when given, becomes the
// file's modification time and Mode its permissions.
void WriteNewFile(const std::string& fileName, const std::function<bool(int fd)>& write,
                  std::optional<int64_t> modifiedNs = std::nullopt, unsigned mode = 0644);

// Writes Count bytes to the descriptor; false on failure (errno set).
bool WriteAllBytes(int fd, const void* bytes, size_t count);

// Temporary files of WriteNewFile that a killed process left in Folder (only
// used where unnamed temporary files are not supported) are removed.
void RemoveStaleTemporaryFiles(const std::string& folder);

// The desktop trash. Implementations put the file under the trash's files/
// folder with a matching info/NAME.trashinfo.
class TTrashCan {
  public:
    virtual ~TTrashCan() = default;
    // Moves FileName into a trash that can take it and returns its path in
    // the trash; EFileAction with the reason when none can (the file stays).
    virtual std::string MoveToTrash(const std::string& fileName) = 0;
    // Puts a trashed file back under Original, never replacing an entry
    // there, and removes its .trashinfo. Refused (EFileAction) when the file
    // or its .trashinfo is gone from the trash.
    virtual void Restore(const std::string& pathInTrash, const std::string& original);
};

// TRASH/files/NAME -> TRASH/info/NAME.trashinfo
std::string TrashInfoPathOf(const std::string& pathInTrash);

}  // namespace corvane
