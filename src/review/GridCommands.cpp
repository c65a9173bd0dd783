#include "review/GridCommands.h"

#include "util/Exception.h"

namespace corvane {

TGridKeyCommand GridKeyCommandOf(char key) {
    switch (key) {
        case 'd':
        case 'D':
            return TGridKeyCommand::DeleteAsk;
        case 'k':
        case 'K':
            return TGridKeyCommand::DropRow;
        case 'l':
        case 'L':
            return TGridKeyCommand::ViewLeft;
        case 'r':
        case 'R':
            return TGridKeyCommand::ViewRight;
        default:
            return TGridKeyCommand::None;
    }
}

std::optional<std::string> SortIndexNameOf(int itemIndex) {
    if (itemIndex == 0 || itemIndex == -1) return std::string();
    if (itemIndex == 1) return std::string("ByFileDate");
    return std::nullopt;
}

bool TCommandGuard::TryBegin(const std::string& name) {
    if (Busy()) return false;
    running_ = name;
    return true;
}

std::string TCommandGuard::RefusalMessage(const std::string& wanted) const {
    return Format("%s cannot start while %s is running. Please wait until it has finished.",
                  wanted.c_str(), running_.c_str());
}

}  // namespace corvane
