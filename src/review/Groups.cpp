#include "review/Groups.h"

#include <algorithm>
#include <queue>
#include <stdexcept>

namespace corvane {

void TGroups::Add(std::span<const TGroupMember> members) {
    if (starts_.empty()) starts_.push_back(0);
    members_.insert(members_.end(), members.begin(), members.end());
    starts_.push_back(static_cast<uint32_t>(members_.size()));
}

namespace {

// The matches of every picture in compressed rows: picture v's neighbours
// are Neighbours[Offsets[v]] up to Neighbours[Offsets[v + 1]], by id, each
// neighbour once with the smallest MaxDiff of its edges.
class TAdjacency {
  public:
    TAdjacency(size_t pictureCount, std::span<const TMatchEdge> edges,
               const std::function<bool(const TMatchEdge&)>& keep)
        : offsets_(pictureCount + 1, 0) {
        for (const TMatchEdge& edge : edges) {
            if (edge.A >= pictureCount || edge.B >= pictureCount)
                throw std::out_of_range("picture id beyond the picture count");
        }
        auto kept = [&](const TMatchEdge& edge) { return edge.A != edge.B && keep(edge); };
        // Counts, then their running sums (each picture's end), then filled
        // from the end down, which leaves every offset at its picture's start.
        for (const TMatchEdge& edge : edges) {
            if (!kept(edge)) continue;
            ++offsets_[edge.A];
            ++offsets_[edge.B];
        }
        for (size_t v = 1; v < pictureCount; ++v) offsets_[v] += offsets_[v - 1];
        if (pictureCount > 0) offsets_[pictureCount] = offsets_[pictureCount - 1];
        neighbours_.resize(offsets_[pictureCount]);
        for (const TMatchEdge& edge : edges) {
            if (!kept(edge)) continue;
            neighbours_[--offsets_[edge.A]] = {edge.B, edge.MaxDiff};
            neighbours_[--offsets_[edge.B]] = {edge.A, edge.MaxDiff};
        }
        RemoveRepeats();
    }

    std::span<const TGroupMember> Of(TPictureId v) const {
        return std::span<const TGroupMember>(neighbours_)
            .subspan(offsets_[v], offsets_[v + 1] - offsets_[v]);
    }

  private:
    // Sorts every row by id and keeps the closest of repeated neighbours,
    // closing the gaps.
    void RemoveRepeats() {
        uint32_t write = 0;
        for (size_t v = 0; v + 1 < offsets_.size(); ++v) {
            const auto begin = neighbours_.begin() + offsets_[v];
            const auto end = neighbours_.begin() + offsets_[v + 1];
            std::sort(begin, end, [](const TGroupMember& x, const TGroupMember& y) {
                return x.Picture != y.Picture ? x.Picture < y.Picture : x.MaxDiff < y.MaxDiff;
            });
            offsets_[v] = write;
            for (auto it = begin; it != end; ++it) {
                if (it != begin && it->Picture == (it - 1)->Picture) continue;
                neighbours_[write++] = *it;
            }
        }
        offsets_.back() = write;
        // Repeats are rare: the few slots they leave are not worth a copy.
        neighbours_.resize(write);
    }

    std::vector<uint32_t> offsets_;
    std::vector<TGroupMember> neighbours_;  // Picture = the neighbour
};

// The next reference: most ungrouped neighbours, then the smaller id.
struct TCandidate {
    uint32_t Degree;
    TPictureId Picture;
};
struct TFewerMatches {
    bool operator()(const TCandidate& x, const TCandidate& y) const {
        return x.Degree != y.Degree ? x.Degree < y.Degree : x.Picture > y.Picture;
    }
};

class TGreedyGrouping {
  public:
    TGreedyGrouping(const TAdjacency& adjacency, size_t pictureCount,
                    const std::function<bool(TPictureId, TPictureId)>& separated)
        : adjacency_(adjacency),
          separated_(separated),
          degree_(pictureCount),
          grouped_(pictureCount, false) {
        std::vector<TCandidate> start;
        for (TPictureId v = 0; v < pictureCount; ++v) {
            degree_[v] = static_cast<uint32_t>(adjacency_.Of(v).size());
            if (degree_[v] > 0) start.push_back({degree_[v], v});
        }
        queue_ = std::priority_queue<TCandidate, std::vector<TCandidate>, TFewerMatches>(
            TFewerMatches(), std::move(start));
    }

    TGroups Run() {
        TGroups groups;
        // Every grouped picture has a match: sized once, never copied.
        groups.Reserve(queue_.size());
        while (!queue_.empty()) {
            const TCandidate top = queue_.top();
            queue_.pop();
            const TPictureId v = top.Picture;
            if (grouped_[v] || degree_[v] == 0) continue;
            // Counts only fall, so an entry above the current count is stale.
            if (degree_[v] < top.Degree) {
                queue_.push({degree_[v], v});
                continue;
            }
            FormGroupAround(v);
            groups.Add(members_);
        }
        return groups;
    }

  private:
    void FormGroupAround(TPictureId reference) {
        candidates_.clear();
        for (const TGroupMember& n : adjacency_.Of(reference))
            if (!grouped_[n.Picture]) candidates_.push_back(n);
        std::sort(candidates_.begin(), candidates_.end(),
                  [](const TGroupMember& x, const TGroupMember& y) {
                      return x.MaxDiff != y.MaxDiff ? x.MaxDiff < y.MaxDiff : x.Picture < y.Picture;
                  });
        members_.assign(1, TGroupMember{reference, 0});
        for (const TGroupMember& candidate : candidates_)
            if (!SeparatedFromMembers(candidate.Picture)) members_.push_back(candidate);
        for (const TGroupMember& member : members_) grouped_[member.Picture] = true;
        for (const TGroupMember& member : members_)
            for (const TGroupMember& n : adjacency_.Of(member.Picture))
                if (!grouped_[n.Picture]) --degree_[n.Picture];
    }

    bool SeparatedFromMembers(TPictureId picture) const {
        if (!separated_) return false;
        for (const TGroupMember& member : members_)
            if (separated_(member.Picture, picture)) return true;
        return false;
    }

    const TAdjacency& adjacency_;
    const std::function<bool(TPictureId, TPictureId)>& separated_;
    std::vector<uint32_t> degree_;  // ungrouped neighbours
    std::vector<bool> grouped_;
    std::priority_queue<TCandidate, std::vector<TCandidate>, TFewerMatches> queue_;
    std::vector<TGroupMember> candidates_;
    std::vector<TGroupMember> members_;
};

}  // namespace

TGroups FormGroups(size_t pictureCount, std::vector<TMatchEdge> edges,
                   const TSeparatedPair& separated, const std::vector<bool>& hasSeparation) {
    std::function<bool(TPictureId, TPictureId)> apart;
    if (separated) {
        apart = [&](TPictureId a, TPictureId b) {
            const bool flagged = hasSeparation.empty() ||
                                 (a < hasSeparation.size() && hasSeparation[a]) ||
                                 (b < hasSeparation.size() && hasSeparation[b]);
            return flagged && separated(a, b);
        };
    }
    const TAdjacency adjacency(pictureCount, edges, [&](const TMatchEdge& edge) {
        return !apart || !apart(edge.A, edge.B);
    });
    std::vector<TMatchEdge>().swap(edges);
    return TGreedyGrouping(adjacency, pictureCount, apart).Run();
}

}  // namespace corvane
