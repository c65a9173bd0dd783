// The UI-neutral parts of the grid commands: which letter does what, which
// order "Sort By" selects, and the guard that keeps a second long command
// from starting while one runs.
#pragma once

#include <optional>
#include <string>

namespace corvane {

enum class TGridKeyCommand { None, DeleteAsk, DropRow, ViewLeft, ViewRight };

// D, K, L, R in either case; anything else is None (the grid handles it).
TGridKeyCommand GridKeyCommandOf(char key);

// "Sort By" item: 0 (or -1, no item) the primary order (""), 1 "ByFileDate";
// any other index changes nothing (no value).
std::optional<std::string> SortIndexNameOf(int itemIndex);

// The chooser's question and answers for the delete key.
inline constexpr const char* kDeleteQuestion = "Delete left image file or right image file?";
inline constexpr const char* kDeleteLeftCaption = "&Left";
inline constexpr const char* kDeleteRightCaption = "&Right";

// Keeps long commands (compute, identify, match single, batch, conversion)
// and the destructive commands from starting while one of them runs: they
// process window messages, so a second start would interleave with the
// first on the same tables.
class TCommandGuard {
  public:
    bool Busy() const { return !running_.empty(); }
    const std::string& Running() const { return running_; }
    // True and marks Name as running when idle; false when busy.
    bool TryBegin(const std::string& name);
    void End() { running_.clear(); }
    // The message shown when a start is refused.
    std::string RefusalMessage(const std::string& wanted) const;

  private:
    std::string running_;
};

// Begins on construction when idle, ends on destruction; Started() tells.
class TCommandScope {
  public:
    TCommandScope(TCommandGuard& guard, const std::string& name)
        : guard_(guard), started_(guard.TryBegin(name)) {}
    ~TCommandScope() {
        if (started_) guard_.End();
    }
    TCommandScope(const TCommandScope&) = delete;
    TCommandScope& operator=(const TCommandScope&) = delete;
    bool Started() const { return started_; }

  private:
    TCommandGuard& guard_;
    bool started_;
};

}  // namespace corvane
