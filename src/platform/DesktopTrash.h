// The freedesktop trash through Qt: the home trash, or the volume's
// .Trash/$uid or .Trash-$uid for files on another volume, each file with
// its .trashinfo.
#pragma once

#include "util/SafeFiles.h"

namespace corvane {

class TDesktopTrash : public TTrashCan {
  public:
    std::string MoveToTrash(const std::string& fileName) override;
};

}  // namespace corvane
