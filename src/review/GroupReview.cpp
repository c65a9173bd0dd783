#include "review/GroupReview.h"

#include "util/Exception.h"

namespace corvane {

void TGroupReview::Load(TMatchTableObjects& matches, TSignaturesTableObjects& signatures,
                        const std::string& programFolder) {
    programFolder_ = programFolder;
    graph_.Load(matches, signatures);
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
    Regroup(margin_, perChannel_);
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
