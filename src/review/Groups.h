// Groups of near copies, formed from matches between pictures.
//
// Every member of a group matches the group's reference picture (there are
// no chains: A~B and B~C put A and C together only when both match the
// reference), and a picture belongs to at most one group.
//
// The reference is chosen greedily so that the groups cover many matches:
// the picture with the most matches among the pictures not yet grouped
// becomes a reference and takes all of those pictures as members; this
// repeats until no two ungrouped pictures match. Equal counts go to the
// smaller picture id (callers number pictures in the order they first appear
// among the matches, closest first). Members are listed closest first (by
// MaxDiff to the reference, then id). A pair that must stay apart (a "not a
// duplicate" mark) never shares a group: a picture that is separated from
// the reference or an earlier member of the group stays ungrouped for now
// and may join a later group.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace corvane {

using TPictureId = uint32_t;

// A match between two pictures, with the largest signature difference found
// between them in the margin and mode that formed it.
struct TMatchEdge {
    TPictureId A = 0;
    TPictureId B = 0;
    int32_t MaxDiff = 0;
};

struct TGroupMember {
    TPictureId Picture = 0;
    int32_t MaxDiff = 0;  // to the reference; 0 for the reference itself
    bool operator==(const TGroupMember&) const = default;
};

// The groups in one flat array: group g's members are Members[Starts[g]] up
// to Members[Starts[g + 1]], the reference first. Every group has at least
// two members.
class TGroups {
  public:
    size_t Count() const { return starts_.empty() ? 0 : starts_.size() - 1; }
    std::span<const TGroupMember> Group(size_t group) const {
        return std::span<const TGroupMember>(members_).subspan(starts_[group],
                                                               starts_[group + 1] - starts_[group]);
    }
    // Position of the group's reference in the flat order of all members.
    size_t Start(size_t group) const { return starts_[group]; }
    size_t MemberCount() const { return members_.size(); }
    // Bytes held, for the benchmarks.
    size_t MemoryUsed() const {
        return members_.capacity() * sizeof(TGroupMember) + starts_.capacity() * sizeof(uint32_t);
    }

    // Room for this many members (and half as many groups).
    void Reserve(size_t members) {
        members_.reserve(members);
        starts_.reserve(members / 2 + 1);
    }
    // Adds one group (reference first); used by the grouping and by tests.
    void Add(std::span<const TGroupMember> members);

  private:
    std::vector<TGroupMember> members_;
    std::vector<uint32_t> starts_;
};

// True when the two pictures must not share a group.
using TSeparatedPair = std::function<bool(TPictureId, TPictureId)>;

// Groups over pictures 0 .. pictureCount - 1 by the rule above. The edges are
// taken over and freed once read (move them in to save their memory). Edges
// that join a picture with itself are ignored; of repeated edges between the same
// two pictures the smallest MaxDiff counts; edges between separated pictures
// are dropped. Separated may be empty (nothing separated); it is asked only
// about pictures of which at least one is flagged in hasSeparation (empty:
// ask about every pair). Throws std::out_of_range for an id not below
// pictureCount.
TGroups FormGroups(size_t pictureCount, std::vector<TMatchEdge> edges,
                   const TSeparatedPair& separated = {},
                   const std::vector<bool>& hasSeparation = {});

}  // namespace corvane
