// The caches behind the tabu search's move scan, kept in one place.
//
// For every member: its schedule cache, its share of the objective, its
// share after giving up each of its tasks, and its row: its share with each
// task of the roster inserted (the tasks only move between members, so the
// list of all tasks is fixed). For every ordered pair (giver,
// receiver): the range of the sum of both shares over the giver's moves to
// that receiver, valid until either changes, with which a scan passes over a
// pair whose moves cannot be taken. A move changes two members, so nearly
// all of the work of one iteration is reused by the next ones.
#pragma once

#include <cstdint>
#include <vector>

#include "crew/crew.hpp"
#include "search/insertion_rows.hpp"
#include "search/move_eval.hpp"

namespace escala {

class RosterEvaluator {
public:
    // Caches every member of `members` (a roster or a sample), forgetting
    // whatever was cached before,
    // valued under `rules`, which must outlive the evaluator's use.
    void attach(const v_crew& members, const Rules& rules);
    // The same for members given by address (read during the call only).
    void attach(const std::vector<const Crew*>& members, const Rules& rules);
    // A task of member `from` has moved to member `to` (already carried out
    // on `members`): updates both members' entries. Tasks may only move
    // between members; a task that was in no member at attach is an error.
    void moved(const v_crew& members, std::size_t from, std::size_t to);

    // Member m's row, computed when m changed since it was last computed:
    // entry positions(g)[k] is m's share with real task k of member g inserted.
    const std::uint32_t* row(std::size_t m) {
        if (!row_ready_[m]) fill(m);
        return rows_.data() + m * stride_;
    }
    // Where member m's real tasks stand in a row.
    const std::uint32_t* positions(std::size_t m) const { return members_[m].positions.data(); }

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
        const std::size_t pair = giver * size_ + receiver;
        const Block& block = blocks_[pair];
        range.low = block.low;
        range.high = block.high == kUnbounded ? INT64_MAX / 2 : block.high;
        return current_bit(pair);
    }
    // True when neither member changed since the pair's range was stored.
    bool range_current(std::size_t giver, std::size_t receiver) const { return current_bit(giver * size_ + receiver); }
    void store_range(std::size_t giver, std::size_t receiver, const Range& range) {
        const std::size_t pair = giver * size_ + receiver;
        blocks_[pair] = {narrow(range.low), narrow(range.high)};
        current_[pair / 64] |= std::uint64_t{1} << (pair % 64);
    }

private:
    struct Member {
        MemberCache cache;
        std::vector<std::uint32_t> removal_share;  // share after giving up task k
        std::vector<std::uint32_t> removal_delta;  // that share minus the share now
        std::vector<std::uint32_t> positions;      // where each real task stands in a row
    };
    // A range kept in 32 bits: the low end rounded down and the high end
    // rounded up to kUnbounded, so that a range read back never claims more
    // than was stored.
    static constexpr std::uint32_t kUnbounded = UINT32_MAX;
    static std::uint32_t narrow(std::int64_t value) {
        return value < 0 ? 0u : value >= kUnbounded ? kUnbounded : static_cast<std::uint32_t>(value);
    }
    struct Block {
        std::uint32_t low = 0, high = kUnbounded;
    };

    // Recomputes member m's entries; `placed` when attach has placed its tasks.
    void rebuild(const Crew& crew, std::size_t m, bool placed);
    void forget(std::size_t m);
    void fill(std::size_t m);
    std::uint32_t position_of(const Task& task) const;
    bool current_bit(std::size_t pair) const { return (current_[pair / 64] >> (pair % 64)) & 1u; }

    const Rules* rules_ = &default_rules();
    std::size_t size_ = 0;                // members
    std::vector<Member> members_;
    std::vector<std::uint32_t> share_;    // per member: its share now
    std::vector<Block> blocks_;           // blocks_[giver * size + receiver]
    std::vector<std::uint64_t> current_;  // one bit per pair, as blocks_: its range is current
    TaskColumns tasks_;                   // every real task at attach, sorted by start
    std::size_t task_count_ = 0;
    std::size_t stride_ = 0;              // entries per row
    std::vector<std::uint32_t> rows_;     // member m's row at m * stride_
    std::vector<std::uint8_t> row_ready_;  // per member: its row is current
    struct Placed {
        const Task* task;
        std::uint32_t* position;  // where attach records the task's place in a row
    };
    std::vector<Placed> placed_;          // scratch of attach: every real task
    std::vector<std::uint64_t> order_;    // scratch of attach: start and index, sorted
};

}  // namespace escala
