// What the window's "Review Groups" tab shows and decides, kept free of Qt so
// it is tested headless: the line of a group in the list, the captions of a
// member (its facts, its MaxDiff and the pair view's hints against the
// reference), the keep rules' captions, and where a move of selected files
// puts each of them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "review/GroupReview.h"
#include "review/KeepRules.h"

namespace corvane {

// "9 pictures · MaxDiff ≤ 12 · IMG_0001.jpg · /photos/2019/": the size,
// the largest MaxDiff to the reference and the reference.
std::string GroupListText(const TGroupReview& review, size_t group);

// What is written under one member's thumbnail.
struct TMemberCaption {
    std::string Name;    // the name part
    std::string Folder;  // the folder part, ending in "/"
    std::string Diff;    // "reference" or "MaxDiff 7"
    // The pair view's hints that describe this member: against the reference
    // for the other members ("Same Name!", "Same Path!", "Bigger", "Smaller"),
    // and its own ("FROM BMP", "FAVE", "SHORT", "Animation!") where the pair
    // view shows them.
    std::vector<std::string> Hints;
    bool NameRed = false;  // its name is the other's plus one character
};

using TFileSizeOf = std::function<int64_t(const std::string&)>;

// Captions of member Member of a group whose reference is Reference (member
// 0 is the reference; its comparisons are made against member 1 when there is
// one). SizeOf: FileSizeOf unless a test passes its own.
TMemberCaption MemberCaption(const std::string& reference, const std::string& member,
                             const std::string& firstOther, bool isReference, int32_t maxDiff,
                             bool showExtraHints, const TFileSizeOf& sizeOf = nullptr);

// "1600 × 1200 px · 1.2 MB · 2026-12-10 14:33" from a known pixel size (0 x 0:
// not known yet, left out) and the file on disk ("" when it is gone and no
// size is known).
std::string MemberFactsText(int32_t width, int32_t height, const std::string& fileName);

// Every rule in the order the tab lists them at first, and a caption for it.
std::vector<TKeepRule> AllKeepRules();
std::string KeepRuleCaption(TKeepRule rule);

// Rules as the setting keeps them: the chosen ones in order, by the names of
// ParseKeepRules; unknown names are left out when read back.
std::string KeepRulesText(const std::vector<TKeepRule>& rules);
std::vector<TKeepRule> KeepRulesOf(const std::string& text);

// The folder under which a move of Files keeps their relative folders: Base
// when every file lies below it, else the longest folder all of them share
// ("/" at least). Names compared as they are.
std::string MoveBaseFolder(const std::vector<std::string>& files, const std::string& base);
// Where File goes when moved from below BaseFolder into Destination, keeping
// its folders below BaseFolder (Destination gains a "/" when missing).
std::string MoveTarget(const std::string& file, const std::string& baseFolder,
                       const std::string& destination);

}  // namespace corvane
