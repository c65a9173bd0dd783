// Program entry: the main window and the message loop. --help, -h and
// --version print and end; any other command-line parameter starts the batch
// run after start-up.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/CorvaneUnit.h"

#ifndef CORVANE_VERSION
#define CORVANE_VERSION "unknown"
#endif

namespace {

constexpr const char* kHelp =
    "usage: corvane [PARAMETER]\n"
    "Finds duplicate and near-duplicate pictures.\n"
    "\n"
    "Without a parameter the window opens. With any parameter other than those\n"
    "below, the window opens and runs the batch: bitmaps under the search folder\n"
    "are converted to JPEG (each bitmap goes to the trash), then the signatures\n"
    "are computed and all matches identified.\n"
    "\n"
    "  -h, --help   show this text and exit\n"
    "  --version    show the version and exit\n";

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("corvane %s\n", CORVANE_VERSION);
            return 0;
        }
    }
    const bool batchRequested = argc > 1;
    QApplication application(argc, argv);
    corvane::TCorvaneForm form("", batchRequested);
    form.show();
    return application.exec();
}
