// Renders the main window to PNG files so its look can be checked by eye:
// in a fresh program folder with a sample picture folder, the window at its
// first start, during its compute run, with a pair shown, the signature tab
// and the help tab (and the chooser dialog).
#pragma once

#include <string>
#include <vector>

namespace corvane {

// Writes the sample pictures (JPEG files) under Folder; returns their names.
std::vector<std::string> WriteSamplePictures(const std::string& folder);

// Renders the window at Width x Height into OutDir (created when missing);
// returns the PNG files written. Needs a QApplication.
std::vector<std::string> RenderWindowToPng(const std::string& outDir, int width = 1280,
                                           int height = 800);

}  // namespace corvane
