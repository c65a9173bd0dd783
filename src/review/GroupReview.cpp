#include "review/GroupReview.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "util/Exception.h"

namespace corvane {

void TGroupReview::Load(TMatchTableObjects& matches, TSignaturesTableObjects& signatures,
                        const std::string& programFolder) {
    TMatchGraph graph;
    graph.Load(matches, signatures);
    Load(std::move(graph), programFolder);
}

void TGroupReview::Load(TMatchGraph graph, const std::string& programFolder) {
    programFolder_ = programFolder;
    graph_ = std::move(graph);
    marks_.Load(programFolder);
    groups_ = TGroups();
    selection_.Reset(groups_);
}

void TGroupReview::Regroup(int32_t margin, bool perChannel) {
    margin_ = margin;
    perChannel_ = perChannel;
    std::vector<TMatchEdge> edges = graph_.Edges(margin, perChannel);
    const TSeparation separation(graph_, marks_);
    if (separation.Empty()) {
        groups_ = FormGroups(graph_.Names().Size(), std::move(edges));
    } else {
        groups_ =
            FormGroups(graph_.Names().Size(), edges, std::cref(separation), separation.Flags());
    }
    selection_.Reset(groups_);
}

std::vector<size_t> TGroupReview::ListedGroups(TOrder order, std::string_view folder) const {
    std::vector<size_t> listed;
    for (size_t g = 0; g < groups_.Count(); ++g) {
        const std::span<const TGroupMember> members = groups_.Group(g);
        if (folder.empty() || std::any_of(members.begin(), members.end(), [&](const auto& m) {
                return Name(m.Picture).substr(0, folder.size()) == folder;
            }))
            listed.push_back(g);
    }
    auto farthest = [&](size_t g) {
        int32_t diff = 0;
        for (const TGroupMember& member : groups_.Group(g)) diff = std::max(diff, member.MaxDiff);
        return diff;
    };
    auto size = [&](size_t g) { return -static_cast<int64_t>(groups_.Group(g).size()); };
    std::stable_sort(listed.begin(), listed.end(), [&](size_t x, size_t y) {
        if (order == TOrder::Largest)
            return std::pair(size(x), farthest(x)) < std::pair(size(y), farthest(y));
        return std::pair(farthest(x), size(x)) < std::pair(farthest(y), size(y));
    });
    return listed;
}

void TGroupReview::SelectByRules(const TKeepChooser& chooser) {
    const bool withPixels = chooser.NeedsPixels();
    corvane::SelectByRules(
        groups_, chooser,
        [&](TPictureId picture) {
            return ReadMemberFacts(std::string(graph_.Names().Name(picture)), withPixels);
        },
        selection_);
}

TSignature TGroupReview::SignatureFor(TPictureId picture) const {
    const std::optional<TSignature> signature = graph_.SignatureOf(picture);
    if (!signature) {
        const std::string name(Name(picture));
        throw Exception(Format("No signature record for %s", name.c_str()));
    }
    return *signature;
}

void TGroupReview::AddMark(TPictureId a, TPictureId b) {
    marks_.Mark(Name(a), SignatureToString(SignatureFor(a)), Name(b),
                SignatureToString(SignatureFor(b)));
}

void TGroupReview::SaveMarksAndRegroup() {
    marks_.DropChanged(graph_);
    marks_.Save(programFolder_);
    const std::vector<std::string> selected = SelectedFiles();
    Regroup(margin_, perChannel_);
    Reselect(selected);
}

std::vector<std::string> TGroupReview::SelectedFiles() const {
    std::vector<std::string> files;
    for (size_t g = 0; g < groups_.Count(); ++g) {
        const std::span<const TGroupMember> members = groups_.Group(g);
        for (size_t m = 0; m < members.size(); ++m)
            if (selection_.Selected(g, m)) files.emplace_back(Name(members[m].Picture));
    }
    return files;
}

void TGroupReview::Reselect(const std::vector<std::string>& files) {
    // Group and member of every picture, found once.
    std::vector<std::pair<uint32_t, uint32_t>> place(graph_.Names().Size(), {UINT32_MAX, 0});
    for (size_t g = 0; g < groups_.Count(); ++g) {
        const std::span<const TGroupMember> members = groups_.Group(g);
        for (size_t m = 0; m < members.size(); ++m)
            place[members[m].Picture] = {static_cast<uint32_t>(g), static_cast<uint32_t>(m)};
    }
    for (const std::string& file : files) {
        const std::optional<TPictureId> picture = graph_.Names().Find(file);
        if (!picture || place[*picture].first == UINT32_MAX) continue;
        selection_.SetSelected(place[*picture].first, place[*picture].second, true);
    }
}

void TGroupReview::MarkNotDuplicate(TPictureId a, TPictureId b) {
    AddMark(a, b);
    SaveMarksAndRegroup();
}

void TGroupReview::MarkGroupNotDuplicate(size_t group) {
    const std::span<const TGroupMember> members = groups_.Group(group);
    // Every member is checked first, so a refused group leaves no mark.
    for (const TGroupMember& member : members) SignatureFor(member.Picture);
    for (size_t i = 0; i < members.size(); ++i)
        for (size_t j = i + 1; j < members.size(); ++j)
            AddMark(members[i].Picture, members[j].Picture);
    SaveMarksAndRegroup();
}

}  // namespace corvane
