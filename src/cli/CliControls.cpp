#include "cli/CliControls.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <iostream>

#include "util/Exception.h"

namespace corvane {

TCliControls::TCliControls(bool showProgress)
    : terminal_(showProgress && ::isatty(STDERR_FILENO) == 1) {}

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
        started_ = std::chrono::steady_clock::now();
        DrawProgress(true);
    } else {
        ClearProgress();
    }
}

void TCliControls::SetProgressMax(int32_t value) {
    TPlainFormControls::SetProgressMax(value);
    started_ = std::chrono::steady_clock::now();
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
    const double seconds = std::chrono::duration<double>(now - started_).count();
    const std::string line = ProgressLine(ProgressPositionValue, ProgressMaxValue, seconds);
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void TCliControls::ClearProgress() {
    if (!drawn_) return;
    drawn_ = false;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
}

std::string ProgressLine(int32_t position, int32_t maximum, double seconds) {
    constexpr int kWidth = 30;
    const double share =
        maximum > 0 ? std::clamp(static_cast<double>(position) / maximum, 0.0, 1.0) : 0.0;
    const int filled = static_cast<int>(share * kWidth);
    std::string line = "[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] ";
    line += Format("%d of %d", position, maximum);
    if (seconds < 0.5 || position <= 0) return line;
    const double rate = position / seconds;
    line += Format("  %.0f/s", rate);
    const long left = std::lround(std::max(0, maximum - position) / rate);
    line += Format("  %ld:%02ld left", left / 60, left % 60);
    return line;
}

}  // namespace corvane
