// The group review over the program's tables: the groups of the current
// margin and mode without the pairs marked "not a duplicate", the keep-best
// selection, and the marks. The command-line program and the window's
// "Review Groups" tab share it; it holds nothing of the window.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "review/Groups.h"
#include "review/KeepRules.h"
#include "review/MatchGraph.h"
#include "review/NotDuplicateMarks.h"

namespace corvane {

class TGroupReview {
  public:
    // Reads every match row, the signatures of the pictures they name and
    // the marks of the program folder; no groups yet. Errors of the table
    // store and of reading the marks file propagate.
    void Load(TMatchTableObjects& matches, TSignaturesTableObjects& signatures,
              const std::string& programFolder);
    // The same with a graph built elsewhere.
    void Load(TMatchGraph graph, const std::string& programFolder);

    // Forms the groups of this margin and mode; nothing is selected.
    void Regroup(int32_t margin, bool perChannel);
    // Selects every member but the one the rules keep, in every group
    // (reading the members' files for their facts).
    void SelectByRules(const TKeepChooser& chooser);

    const TGroups& Groups() const { return groups_; }
    // Group numbers for a list: Largest puts the most members first, Closest
    // the smallest largest MaxDiff first (each breaking ties by the other,
    // then by number). A non-empty folder keeps only the groups with a member
    // in it or below it (names compared as they are).
    enum class TOrder { Largest, Closest };
    std::vector<size_t> ListedGroups(TOrder order, std::string_view folder = {}) const;
    TGroupSelection& Selection() { return selection_; }
    const TGroupSelection& Selection() const { return selection_; }
    const TMatchGraph& Graph() const { return graph_; }
    std::string_view Name(TPictureId picture) const { return graph_.Names().Name(picture); }

    // The selected pictures' names, group by group; and selecting those of
    // them that are members again (after a regroup or a new load), member by
    // member in group order, so the never-all rule holds.
    std::vector<std::string> SelectedFiles() const;
    void Reselect(const std::vector<std::string>& files);

    // Marks the pair "not a duplicate" with the pictures' current signatures,
    // saves the marks and regroups in the last margin and mode (the pictures
    // selected stay selected where they still are members). A picture
    // without a signature record cannot be marked: Exception.
    void MarkNotDuplicate(TPictureId a, TPictureId b);
    // The same for every pair of members of the group.
    void MarkGroupNotDuplicate(size_t group);

  private:
    TSignature SignatureFor(TPictureId picture) const;  // or Exception
    void AddMark(TPictureId a, TPictureId b);
    void SaveMarksAndRegroup();

    std::string programFolder_;
    TMatchGraph graph_;
    TNotDuplicateMarks marks_;
    TGroups groups_;
    TGroupSelection selection_;
    int32_t margin_ = 0;
    bool perChannel_ = true;
};

}  // namespace corvane
