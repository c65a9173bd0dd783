// corvane-render OUTDIR: renders every tab of the window, with a sample
// folder computed and matched, to PNG files in OUTDIR.
#include <QApplication>
#include <cstdio>
#include <exception>

#include "app/RenderWindow.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: corvane-render OUTDIR\n");
        return 2;
    }
    QApplication application(argc, argv);
    try {
        for (const std::string& file : corvane::RenderWindowToPng(argv[1]))
            std::printf("%s\n", file.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
