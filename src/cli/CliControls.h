// The window's controls for the command-line program: plain fields set from
// Corvane.INI and the options, summaries on standard output, "Unable to
// process" lines and the progress bar on standard error. The bar is drawn
// only when standard error is a terminal and progress was asked for.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "matching/FormControls.h"

namespace corvane {

class TCliControls : public TPlainFormControls {
  public:
    explicit TCliControls(bool showProgress);
    ~TCliControls() override;

    void ShowMessage(const std::string& text) override;
    void AddMemo2Line(const std::string& line) override;
    void SetProgressVisible(bool value) override;
    void SetProgressMax(int32_t value) override;
    void SetProgressPosition(int32_t value) override;

  private:
    void DrawProgress(bool force);
    void ClearProgress();

    bool terminal_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
    std::chrono::steady_clock::time_point started_{};
};

// The bar's text: "[#####.....] 1234 of 5000  210/s  0:17 left" for a
// position, a maximum and the seconds since the bar appeared.
std::string ProgressLine(int32_t position, int32_t maximum, double seconds);

}  // namespace corvane
