#include "review/GroupView.h"

#include <sys/stat.h>

#include <algorithm>
#include <ctime>

#include "review/PairView.h"
#include "review/WindowTexts.h"

namespace corvane {

std::string GroupListText(const TGroupReview& review, size_t group) {
    const std::span<const TGroupMember> members = review.Groups().Group(group);
    int32_t farthest = 0;
    for (const TGroupMember& member : members) farthest = std::max(farthest, member.MaxDiff);
    const std::string reference(review.Name(members.front().Picture));
    return std::to_string(members.size()) + " pictures \u00B7 MaxDiff \u2264 " +
           std::to_string(farthest) + " \u00B7 " + NamePart(reference) + " \u00B7 " +
           FolderPart(reference);
}

namespace {

bool Shows(const THintLabel& hint) {
    return hint.Visible && !hint.Caption.empty();
}

}  // namespace

TMemberCaption MemberCaption(const std::string& reference, const std::string& member,
                             const std::string& firstOther, bool isReference, int32_t maxDiff,
                             bool showExtraHints, const TFileSizeOf& sizeOf) {
    TMemberCaption caption;
    caption.Name = NamePart(member);
    caption.Folder = FolderPart(member);
    caption.Diff = isReference ? "reference" : "MaxDiff " + std::to_string(maxDiff);
    // The pair view's rules with this member on the right: against the
    // reference (the reference against the first other member) ...
    const std::string& other = isReference ? firstOther : reference;
    if (!other.empty() && other != member) {
        const TPairLabels pair = ComputePairLabels(other, member, showExtraHints, sizeOf);
        if (pair.SameName) caption.Hints.push_back("Same Name!");
        if (pair.SamePath) caption.Hints.push_back("Same Path!");
        if (pair.Bigger == "Bigger ==>") caption.Hints.push_back("Bigger");
        if (pair.Bigger == "<== Bigger") caption.Hints.push_back("Smaller");
        caption.NameRed = pair.RightNameRed;
    }
    // ... and against itself for what the names alone say.
    const TPairLabels own =
        ComputePairLabels(member, member, showExtraHints, [](const std::string&) { return 0; });
    if (Shows(own.IsBMP)) caption.Hints.push_back("FROM BMP");
    if (Shows(own.Fave)) caption.Hints.push_back("FAVE");
    if (Shows(own.LShortPath)) caption.Hints.push_back("SHORT");
    if (Shows(own.Animation)) caption.Hints.push_back("Animation!");
    return caption;
}

std::string MemberFactsText(int32_t width, int32_t height, const std::string& fileName) {
    std::string text;
    const auto add = [&text](const std::string& part) {
        if (!text.empty()) text += " \u00B7 ";
        text += part;
    };
    if (width > 0 && height > 0)
        add(std::to_string(width) + " \u00D7 " + std::to_string(height) + " px");
    struct stat info {};
    if (fileName.empty() || ::stat(fileName.c_str(), &info) != 0) return text;
    add(FileSizeText(static_cast<int64_t>(info.st_size)));
    struct tm local {};
    char date[32];
    if (::localtime_r(&info.st_mtime, &local) != nullptr &&
        std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", &local) > 0)
        add(date);
    return text;
}

std::vector<TKeepRule> AllKeepRules() {
    return {TKeepRule::MostPixels,   TKeepRule::LargestFile,     TKeepRule::OldestDate,
            TKeepRule::NewestDate,   TKeepRule::PreferredFolder, TKeepRule::ShortestPath,
            TKeepRule::NotFromBitmap};
}

std::string KeepRuleCaption(TKeepRule rule) {
    switch (rule) {
        case TKeepRule::MostPixels:
            return "Most pixels";
        case TKeepRule::LargestFile:
            return "Largest file";
        case TKeepRule::OldestDate:
            return "Oldest date";
        case TKeepRule::NewestDate:
            return "Newest date";
        case TKeepRule::PreferredFolder:
            return "In a preferred folder";
        case TKeepRule::ShortestPath:
            return "Shortest path";
        case TKeepRule::NotFromBitmap:
            return "Not converted from a bitmap";
    }
    return {};
}

std::string KeepRulesText(const std::vector<TKeepRule>& rules) {
    std::string text;
    for (TKeepRule rule : rules) text += (text.empty() ? "" : ",") + KeepRuleName(rule);
    return text;
}

std::vector<TKeepRule> KeepRulesOf(const std::string& text) {
    std::vector<TKeepRule> rules;
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string name = text.substr(start, comma - start);
        for (TKeepRule rule : AllKeepRules())
            if (KeepRuleName(rule) == name &&
                std::find(rules.begin(), rules.end(), rule) == rules.end())
                rules.push_back(rule);
        start = comma + 1;
    }
    return rules;
}

std::string MoveBaseFolder(const std::vector<std::string>& files, const std::string& base) {
    const auto below = [&files](const std::string& folder) {
        return std::all_of(files.begin(), files.end(), [&](const std::string& file) {
            return file.size() > folder.size() && file.compare(0, folder.size(), folder) == 0;
        });
    };
    std::string folder = base;
    if (!folder.empty() && folder.back() != '/') folder += '/';
    if (!folder.empty() && below(folder)) return folder;
    if (files.empty()) return "/";
    folder = FolderPart(files.front());
    while (folder.size() > 1 && !below(folder)) {
        folder.pop_back();  // the "/" that ends it
        folder = FolderPart(folder);
    }
    return folder.empty() ? "/" : folder;
}

std::string MoveTarget(const std::string& file, const std::string& baseFolder,
                       const std::string& destination) {
    std::string target = destination;
    if (target.empty() || target.back() != '/') target += '/';
    const bool below = file.compare(0, baseFolder.size(), baseFolder) == 0;
    return target + (below ? file.substr(baseFolder.size()) : NamePart(file));
}

}  // namespace corvane
