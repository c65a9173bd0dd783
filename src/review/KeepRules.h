// Keep-best selection: which member of a group to keep, by ordered rules as
// in a sort (the first rule decides, the next one breaks its ties, ...), and
// the selection of the other members, which the user can change by hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "review/Groups.h"

namespace corvane {

enum class TKeepRule {
    MostPixels,       // "pixels": the largest width x height
    LargestFile,      // "largest": the most bytes
    OldestDate,       // "oldest": the earliest modification time
    NewestDate,       // "newest": the latest modification time
    PreferredFolder,  // "folder": in the earliest-listed preferred folder
    ShortestPath,     // "shortest": fewest folder levels, then the shortest full name
    NotFromBitmap,    // "notbmp": not converted from a bitmap (no "FROM-BMP" in the name)
};

// Rule names separated by commas, e.g. "largest,oldest"; an empty text is no
// rule. Throws Exception "Unknown keep rule '%s'" naming the known ones.
std::vector<TKeepRule> ParseKeepRules(std::string_view text);
std::string KeepRuleName(TKeepRule rule);

// What the rules look at of one member; unknown values (a missing file, a
// picture whose size cannot be read) rank below every known one.
struct TMemberFacts {
    std::string FullName;
    std::optional<int64_t> Pixels;
    std::optional<int64_t> FileSize;
    std::optional<int64_t> ModifiedSeconds;  // since the epoch
};

// The facts of a picture file on disk; Pixels only when withPixels (it reads
// the picture's header).
TMemberFacts ReadMemberFacts(const std::string& fullName, bool withPixels);

// The converted-from-bitmap hint's test: the upper-cased name contains
// "FROM-BMP".
bool IsFromBitmap(std::string_view fullName);

class TKeepChooser {
  public:
    // Preferred folders in order of preference, like the ignore list's lines
    // (ending in "/"); a file lies in one when its folder is the listed folder
    // or below it, letters "a" to "z" compared without case.
    TKeepChooser(std::vector<TKeepRule> rules, std::vector<std::string> preferredFolders = {});

    const std::vector<TKeepRule>& Rules() const { return rules_; }
    bool NeedsPixels() const;
    // Negative when A is the better one to keep, positive when B, 0 on a tie
    // under every rule.
    int Compare(const TMemberFacts& a, const TMemberFacts& b) const;
    // The member to keep: the best by Compare, the earliest of equals (the
    // reference comes first in a group). Members must not be empty.
    size_t ChooseKeep(std::span<const TMemberFacts> members) const;
    // Position of the first preferred folder holding the file; the list's
    // size when none does.
    size_t FolderRank(std::string_view fullName) const;

  private:
    std::vector<TKeepRule> rules_;
    std::vector<std::string> upperFolders_;
};

// Which members of every group are selected (to be sent to the trash or
// moved). A group never has all its members selected.
class TGroupSelection {
  public:
    // Nothing selected.
    void Reset(const TGroups& groups);
    // Selects every member of the group but Keep.
    void KeepOnly(size_t group, size_t keep);
    bool Selected(size_t group, size_t member) const { return selected_[starts_[group] + member]; }
    // By hand. Selecting the group's last unselected member is refused
    // (false, nothing changes); clearing is always allowed.
    bool SetSelected(size_t group, size_t member, bool value);
    size_t SelectedCount(size_t group) const;

  private:
    std::vector<uint32_t> starts_;
    std::vector<bool> selected_;
};

// Applies the chooser to every group: facts(picture) gives a member's facts.
template <class TFacts>
void SelectByRules(const TGroups& groups, const TKeepChooser& chooser, TFacts&& facts,
                   TGroupSelection& selection) {
    selection.Reset(groups);
    std::vector<TMemberFacts> members;
    for (size_t g = 0; g < groups.Count(); ++g) {
        members.clear();
        for (const TGroupMember& member : groups.Group(g)) members.push_back(facts(member.Picture));
        selection.KeepOnly(g, chooser.ChooseKeep(members));
    }
}

}  // namespace corvane
