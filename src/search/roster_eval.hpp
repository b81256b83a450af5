// The caches behind the tabu search's move scan, kept in one place.
//
// For every member: its schedule cache, its share of the objective and the
// change of that share when it gives up each of its tasks. For every
// ordered pair (giver, receiver) that a scan has met: the receiver's share
// with each of the giver's tasks inserted. A member's entries stay valid
// until the member changes; a move changes two members, so nearly all of
// the work of one iteration is reused by the next ones.
#pragma once

#include <cstdint>
#include <vector>

#include "crew/crew.hpp"
#include "search/move_eval.hpp"

namespace escala {

class RosterEvaluator {
public:
    // Caches every member of `members` (a roster or a sample); forgets
    // whatever was cached before.
    void attach(const v_crew& members);
    // Member m has changed: rebuilds its entries.
    void refresh(const v_crew& members, std::size_t m);

    const MemberCache& member(std::size_t m) const { return members_[m].cache; }
    // The member's share of the objective (cost plus weighted split flag).
    std::uint32_t share(std::size_t m) const { return members_[m].share; }
    // Per position k: the member's share after giving up task k, minus its share now.
    const std::uint32_t* removal_deltas(std::size_t m) const { return members_[m].removal_delta.data(); }
    // Per position k of giver a: receiver b's share with that task inserted.
    const std::uint32_t* insertion_shares(std::size_t a, std::size_t b);

private:
    struct Member {
        MemberCache cache;
        std::uint32_t share = 0;
        std::vector<std::uint32_t> removal_delta;
        std::uint64_t version = 0;  // changes whenever the member does
    };
    struct Block {
        std::uint64_t giver_version = 0, receiver_version = 0;  // what the shares were computed for
        std::vector<std::uint32_t> shares;
    };

    void rebuild(const Crew& crew, Member& member);

    std::vector<Member> members_;
    std::vector<Block> blocks_;  // blocks_[a * size + b]
    std::uint64_t next_version_ = 1;
};

}  // namespace escala
