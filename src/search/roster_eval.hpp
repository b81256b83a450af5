// The caches behind the tabu search's move scan, kept in one place.
//
// For every member: its schedule cache, its share of the objective and its
// share after giving up each of its tasks. For every ordered pair (giver,
// receiver): the range of the sum of both shares over the giver's moves to
// that receiver, valid until either changes, with which a scan passes over a
// pair whose moves cannot be taken. A move changes two members, so nearly
// all of the work of one iteration is reused by the next ones.
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
    // A task of member `from` has moved to member `to` (already carried out
    // on `members`): updates both members' entries.
    void moved(const v_crew& members, std::size_t from, std::size_t to);

    std::size_t size() const { return size_; }
    const MemberCache& member(std::size_t m) const { return members_[m].cache; }
    // The member's share of the objective (cost plus weighted split flag).
    std::uint32_t share(std::size_t m) const { return share_[m]; }

    // What the scan reads of a giver, per position k of its real tasks.
    struct Giver {
        std::size_t count;                     // real tasks
        const Task* tasks;                     // the tasks, in schedule order
        const std::uint32_t* removal_share;    // its share after giving up task k
        const std::uint32_t* removal_delta;    // that share minus its share now
    };
    Giver giver(std::size_t m) const {
        const Member& g = members_[m];
        return {g.cache.real_count(), g.cache.real_tasks(), g.removal_share.data(), g.removal_delta.data()};
    }

    // Range over the giver's positions k of (giver share without task k) +
    // (receiver share with task k), as exact integers.
    struct Range {
        std::int64_t low, high;
    };
    // False when either member changed since the range was stored. A range
    // comes back at least as wide as the one stored.
    bool known_range(std::size_t giver, std::size_t receiver, Range& range) const {
        const Block& block = blocks_[giver * size_ + receiver];
        range.low = block.low;
        range.high = block.high == kUnbounded ? INT64_MAX / 2 : block.high;
        return block.giver_version == version_[giver] && block.receiver_version == version_[receiver];
    }
    // True when neither member changed since the pair's range was stored.
    bool range_current(std::size_t giver, std::size_t receiver) const {
        const Block& block = blocks_[giver * size_ + receiver];
        return block.giver_version == version_[giver] && block.receiver_version == version_[receiver];
    }
    void store_range(std::size_t giver, std::size_t receiver, const Range& range) {
        blocks_[giver * size_ + receiver] = {version_[giver], version_[receiver], narrow(range.low), narrow(range.high)};
    }

private:
    struct Member {
        MemberCache cache;
        std::vector<std::uint32_t> removal_share;  // share after giving up task k
        std::vector<std::uint32_t> removal_delta;  // that share minus the share now
    };
    // A range kept in 32 bits: the low end rounded down and the high end
    // rounded up to kUnbounded, so that a range read back never claims more
    // than was stored.
    static constexpr std::uint32_t kUnbounded = UINT32_MAX;
    static std::uint32_t narrow(std::int64_t value) {
        return value < 0 ? 0u : value >= kUnbounded ? kUnbounded : static_cast<std::uint32_t>(value);
    }
    struct Block {
        std::uint32_t giver_version = 0, receiver_version = 0;  // what the range was computed for
        std::uint32_t low = 0, high = kUnbounded;
    };

    void rebuild(const Crew& crew, std::size_t m);
    std::uint32_t new_version();
    void forget_computed();

    std::size_t size_ = 0;                // members
    std::vector<Member> members_;
    std::vector<std::uint32_t> share_;    // per member: its share now
    std::vector<std::uint32_t> version_;  // per member: changes whenever the member does
    std::vector<Block> blocks_;          // blocks_[giver * size + receiver]
    std::uint32_t next_version_ = 1;
};

}  // namespace escala
