// Renders the main window to PNG files so its look can be checked by eye:
// a sample picture folder is written, computed and matched in a fresh
// program folder, then each tab (and the chooser dialog) is grabbed.
#pragma once

#include <string>
#include <vector>

namespace corvane {

// Writes the sample pictures (JPEG files) under Folder; returns their names.
std::vector<std::string> WriteSamplePictures(const std::string& folder);

// Renders into OutDir (created when missing); returns the PNG files written.
// Needs a QApplication.
std::vector<std::string> RenderWindowToPng(const std::string& outDir);

}  // namespace corvane
