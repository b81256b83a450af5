// The receiver side of a whole move scan, a receiver at a time.
//
// A scan needs, for every sampled receiver and every task of every sampled
// giver, the receiver's share of the objective with that task inserted. With
// all the sampled tasks in one list sorted by start, the tasks that fall
// into one slot of a receiver form a contiguous run of that list, so a
// receiver's whole row is filled run by run: the slot's fields are the same
// for the whole run and the tasks' fields are read in sequence, several
// tasks at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "search/move_eval.hpp"
#include "search/roster_eval.hpp"

namespace escala {

// Tasks stored one array per field, each followed by kRunPadding spare
// entries, so that a run may be read in whole groups of tasks.
struct TaskColumns {
    std::vector<std::int32_t> start, end, start_point, end_point, vehicle, slack;
    void resize(std::size_t count);
    void set(std::size_t u, const Task& task) {
        start[u] = task.start_time;
        end[u] = task.end_time;
        start_point[u] = task.start_point;
        end_point[u] = task.end_point;
        vehicle[u] = task.vehicle;
        slack[u] = task.slack;
    }
};

// Spare entries after a run that fill_insertion_run may read or write.
constexpr std::size_t kRunPadding = 16;

// out[u] for u in [begin, end): the objective share of the schedule in
// `into` with task u of `tasks` inserted at slot `slot` (one task at a
// time). Equal to into.with_task_at(slot, task u).objective_share(). Reads
// and writes up to kRunPadding - 1 entries past `end`.
void fill_insertion_run(const MemberCache& into, std::size_t slot, const TaskColumns& tasks, std::size_t begin,
                        std::size_t end, std::uint32_t* out);

namespace detail {
// The same for processors of any kind, and for those with AVX2 (to be called
// only when has_avx2()); fill_insertion_run takes the best of the two.
void fill_insertion_run_generic(const MemberCache& into, std::size_t slot, const TaskColumns& tasks,
                                std::size_t begin, std::size_t end, std::uint32_t* out);
void fill_insertion_run_avx2(const MemberCache& into, std::size_t slot, const TaskColumns& tasks, std::size_t begin,
                             std::size_t end, std::uint32_t* out);
bool has_avx2();
}  // namespace detail

class InsertionRows {
public:
    // Takes the real tasks of `members` (evaluator indices; repeats allowed)
    // for a new scan and forgets the rows of the previous one.
    void start(const RosterEvaluator& evaluator, const std::vector<std::size_t>& members);

    // The distinct members given to start, in order of first appearance.
    const std::vector<std::size_t>& members() const { return taken_; }
    // Member m's row, computed on first use: entry positions(g)[k] is m's
    // share with real task k of member g inserted.
    const std::uint32_t* row(std::size_t m);
    // Where member m's real tasks stand in a row.
    const std::uint32_t* positions(std::size_t m) const {
        return positions_.data() + first_position_[static_cast<std::size_t>(local_[m])];
    }

private:
    const RosterEvaluator* evaluator_ = nullptr;
    std::vector<std::int32_t> local_;           // per evaluator member: its place among the scan's members, or -1
    std::vector<std::size_t> taken_;            // the scan's distinct members, by place
    std::vector<std::size_t> first_position_;   // per place: where its entries of positions_ begin
    std::vector<std::uint32_t> positions_;      // per task of the scan's members: its index in the sorted list
    std::vector<std::uint64_t> keys_;           // scratch: start and index, for the sort
    std::vector<const Task*> gathered_;         // scratch: the tasks before the sort
    TaskColumns tasks_;                         // the scan's tasks sorted by start
    std::size_t count_ = 0;                     // tasks
    std::size_t stride_ = 0;                    // entries per row
    std::vector<std::uint32_t> rows_;           // row of place l at l * stride_
    std::vector<std::uint8_t> ready_;           // per place: row computed
};

}  // namespace escala
