// State of the main form that the commands of several libraries share, and
// the small helpers behind their summary texts.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace corvane {

struct TFormState {
    // The program folder, ending in "/": every file the program keeps lies there.
    std::string ProgramFolder;
    // The marker file "tivrel.txt" exists in the program folder.
    bool ShowExtraHints = false;
    // True while the start-up batch run executes: no summary message boxes.
    bool BatchMode = false;
    // Margin and mode of the match search; every caller sets both before it searches.
    int32_t MatchMargin = 0;
    bool FullScanMatch = false;
};

// A steady clock for the elapsed times of the summaries: a change of the
// wall clock during a run cannot make them wrong.
using TRunClock = std::chrono::steady_clock;

// The time-of-day part of a duration as "hh:mm:ss" (rounded to the
// millisecond, milliseconds not shown; whole days are lost).
std::string FormatElapsed(TRunClock::duration elapsed);

}  // namespace corvane
