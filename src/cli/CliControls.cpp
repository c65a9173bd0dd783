#include "cli/CliControls.h"

#include <unistd.h>

#include <iostream>

namespace corvane {

TCliControls::TCliControls() : terminal_(::isatty(STDERR_FILENO) == 1) {}

TCliControls::~TCliControls() {
    ClearProgress();
}

void TCliControls::ShowMessage(const std::string& text) {
    ClearProgress();
    TPlainFormControls::ShowMessage(text);
    std::cout << text << std::endl;
}

void TCliControls::AddMemo2Line(const std::string& line) {
    ClearProgress();
    TPlainFormControls::AddMemo2Line(line);
    std::cerr << line << std::endl;
}

void TCliControls::SetProgressVisible(bool value) {
    TPlainFormControls::SetProgressVisible(value);
    if (value) {
        DrawProgress(true);
    } else {
        ClearProgress();
    }
}

void TCliControls::SetProgressMax(int32_t value) {
    TPlainFormControls::SetProgressMax(value);
    DrawProgress(false);
}

void TCliControls::SetProgressPosition(int32_t value) {
    TPlainFormControls::SetProgressPosition(value);
    DrawProgress(false);
}

void TCliControls::DrawProgress(bool force) {
    if (!terminal_ || !ProgressVisibleValue) return;
    const auto now = std::chrono::steady_clock::now();
    if (!force && now - lastDraw_ < std::chrono::milliseconds(200)) return;
    lastDraw_ = now;
    std::fprintf(stderr, "\r%d / %d ", ProgressPositionValue, ProgressMaxValue);
    std::fflush(stderr);
    drawn_ = true;
}

void TCliControls::ClearProgress() {
    if (!drawn_) return;
    drawn_ = false;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
}

}  // namespace corvane
