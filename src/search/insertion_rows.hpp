// A receiver's share of the objective with each task of a list inserted.
//
// With the tasks sorted by start, the tasks that fall into one slot of a
// receiver form a contiguous run of the list, so a receiver's whole row is
// filled run by run: the slot's fields are the same for the whole run and
// the tasks' fields are read in sequence, several tasks at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "search/move_eval.hpp"

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

// out[u] for every task u of `tasks` (count tasks, sorted by start): the
// share of the schedule in `into` with task u inserted. Writes up to
// kRunPadding - 1 entries past count.
void fill_row(const MemberCache& into, const TaskColumns& tasks, std::size_t count, std::uint32_t* out);

}  // namespace escala
