// corvane-render OUTDIR [WIDTHxHEIGHT]: renders the window in the states
// worth looking at (first start, computing, a pair, the signature and help
// tabs, the chooser) to PNG files in OUTDIR, at the given size (1280x800).
#include <QApplication>
#include <cstdio>
#include <exception>

#include "app/RenderWindow.h"

int main(int argc, char** argv) {
    int width = 1280, height = 800;
    if (argc < 2 || argc > 3 ||
        (argc == 3 &&
         (std::sscanf(argv[2], "%dx%d", &width, &height) != 2 || width < 200 || height < 200))) {
        std::fprintf(stderr, "usage: corvane-render OUTDIR [WIDTHxHEIGHT]\n");
        return 2;
    }
    QApplication application(argc, argv);
    try {
        for (const std::string& file : corvane::RenderWindowToPng(argv[1], width, height))
            std::printf("%s\n", file.c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
