// The window's controls for the command-line program: plain fields set from
// Corvane.INI and the options, summaries on standard output, "Unable to
// process" lines and progress on standard error.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>

#include "matching/FormControls.h"

namespace corvane {

class TCliControls : public TPlainFormControls {
  public:
    TCliControls();
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
};

}  // namespace corvane
