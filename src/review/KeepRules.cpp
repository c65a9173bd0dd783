#include "review/KeepRules.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <stdexcept>
#include <utility>

#include "matching/IgnoreList.h"
#include "review/PictureSize.h"
#include "util/Exception.h"

namespace corvane {

namespace {

constexpr std::array<std::pair<TKeepRule, const char*>, 7> kRuleNames = {{
    {TKeepRule::MostPixels, "pixels"},
    {TKeepRule::LargestFile, "largest"},
    {TKeepRule::OldestDate, "oldest"},
    {TKeepRule::NewestDate, "newest"},
    {TKeepRule::PreferredFolder, "folder"},
    {TKeepRule::ShortestPath, "shortest"},
    {TKeepRule::NotFromBitmap, "notbmp"},
}};

// Negative when a is better: the larger known value (unknown is worst).
int MoreIsBetter(const std::optional<int64_t>& a, const std::optional<int64_t>& b) {
    if (a.has_value() != b.has_value()) return a ? -1 : 1;
    if (!a || *a == *b) return 0;
    return *a > *b ? -1 : 1;
}

int LessIsBetter(const std::optional<int64_t>& a, const std::optional<int64_t>& b) {
    if (a.has_value() != b.has_value()) return a ? -1 : 1;
    if (!a || *a == *b) return 0;
    return *a < *b ? -1 : 1;
}

int LessIsBetter(size_t a, size_t b) {
    return a == b ? 0 : (a < b ? -1 : 1);
}

size_t FolderLevels(std::string_view fullName) {
    return static_cast<size_t>(std::count(fullName.begin(), fullName.end(), '/'));
}

}  // namespace

std::vector<TKeepRule> ParseKeepRules(std::string_view text) {
    std::vector<TKeepRule> rules;
    if (text.empty()) return rules;
    size_t start = 0;
    while (true) {
        const size_t comma = text.find(',', start);
        const std::string_view name = text.substr(start, comma - start);
        const auto found = std::find_if(kRuleNames.begin(), kRuleNames.end(),
                                        [&](const auto& entry) { return name == entry.second; });
        if (found == kRuleNames.end()) {
            throw Exception(
                Format("Unknown keep rule '%.*s' (known: pixels, largest, oldest, "
                       "newest, folder, shortest, notbmp)",
                       static_cast<int>(name.size()), name.data()));
        }
        rules.push_back(found->first);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return rules;
}

std::string KeepRuleName(TKeepRule rule) {
    for (const auto& [value, name] : kRuleNames)
        if (value == rule) return name;
    return {};
}

TMemberFacts ReadMemberFacts(const std::string& fullName, bool withPixels) {
    TMemberFacts facts;
    facts.FullName = fullName;
    struct stat status {};
    if (::stat(fullName.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return facts;
    facts.FileSize = status.st_size;
    facts.ModifiedSeconds = status.st_mtim.tv_sec;
    if (withPixels) facts.Pixels = PictureFilePixels(fullName);
    return facts;
}

bool IsFromBitmap(std::string_view fullName) {
    return UpperCaseAscii(fullName).find("FROM-BMP") != std::string::npos;
}

TKeepChooser::TKeepChooser(std::vector<TKeepRule> rules, std::vector<std::string> preferredFolders)
    : rules_(std::move(rules)) {
    for (const std::string& folder : preferredFolders) {
        if (folder.empty()) continue;
        std::string upper = UpperCaseAscii(folder);
        if (upper.back() != '/') upper += '/';
        upperFolders_.push_back(std::move(upper));
    }
}

bool TKeepChooser::NeedsPixels() const {
    return std::find(rules_.begin(), rules_.end(), TKeepRule::MostPixels) != rules_.end();
}

size_t TKeepChooser::FolderRank(std::string_view fullName) const {
    const std::string upper = UpperCaseAscii(fullName.substr(0, fullName.rfind('/') + 1));
    for (size_t i = 0; i < upperFolders_.size(); ++i)
        if (upper.compare(0, upperFolders_[i].size(), upperFolders_[i]) == 0) return i;
    return upperFolders_.size();
}

int TKeepChooser::Compare(const TMemberFacts& a, const TMemberFacts& b) const {
    for (TKeepRule rule : rules_) {
        int order = 0;
        switch (rule) {
            case TKeepRule::MostPixels:
                order = MoreIsBetter(a.Pixels, b.Pixels);
                break;
            case TKeepRule::LargestFile:
                order = MoreIsBetter(a.FileSize, b.FileSize);
                break;
            case TKeepRule::OldestDate:
                order = LessIsBetter(a.ModifiedSeconds, b.ModifiedSeconds);
                break;
            case TKeepRule::NewestDate:
                order = MoreIsBetter(a.ModifiedSeconds, b.ModifiedSeconds);
                break;
            case TKeepRule::PreferredFolder:
                order = LessIsBetter(FolderRank(a.FullName), FolderRank(b.FullName));
                break;
            case TKeepRule::ShortestPath:
                order = LessIsBetter(FolderLevels(a.FullName), FolderLevels(b.FullName));
                if (order == 0) order = LessIsBetter(a.FullName.size(), b.FullName.size());
                break;
            case TKeepRule::NotFromBitmap:
                order = LessIsBetter(size_t{IsFromBitmap(a.FullName)},
                                     size_t{IsFromBitmap(b.FullName)});
                break;
        }
        if (order != 0) return order;
    }
    return 0;
}

size_t TKeepChooser::ChooseKeep(std::span<const TMemberFacts> members) const {
    size_t best = 0;
    for (size_t i = 1; i < members.size(); ++i)
        if (Compare(members[i], members[best]) < 0) best = i;
    return best;
}

// ---- TGroupSelection

void TGroupSelection::Reset(const TGroups& groups) {
    starts_.clear();
    for (size_t g = 0; g <= groups.Count(); ++g)
        starts_.push_back(
            static_cast<uint32_t>(g < groups.Count() ? groups.Start(g) : groups.MemberCount()));
    selected_.assign(groups.MemberCount(), false);
}

void TGroupSelection::KeepOnly(size_t group, size_t keep) {
    if (keep >= starts_[group + 1] - starts_[group])
        throw std::out_of_range("kept member beyond the group");
    for (size_t i = starts_[group]; i < starts_[group + 1]; ++i)
        selected_[i] = i - starts_[group] != keep;
}

bool TGroupSelection::SetSelected(size_t group, size_t member, bool value) {
    const size_t size = starts_[group + 1] - starts_[group];
    if (value && !Selected(group, member) && SelectedCount(group) + 1 >= size) return false;
    selected_[starts_[group] + member] = value;
    return true;
}

size_t TGroupSelection::SelectedCount(size_t group) const {
    size_t count = 0;
    for (size_t i = starts_[group]; i < starts_[group + 1]; ++i) count += selected_[i] ? 1 : 0;
    return count;
}

}  // namespace corvane
