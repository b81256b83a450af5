// A roster under improvement: every member's real tasks, its cached value
// and the running objective.
//
// Every task of the task file has an id (its position in the list given at
// construction) and sits in exactly one member. Members hold their real
// tasks only, in task order (a task that starts at the same minute as
// others goes after them, as assigning it would place it); the closing
// virtual task follows from them and is added back when the roster is
// turned into escala's form. Each member keeps a MemberCache, so that its
// cost with one task more or one task fewer takes a constant number of
// steps, and only the members a move touches are recomputed.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "crew/crew.hpp"
#include "search/move_eval.hpp"

namespace escala::improve {

using TaskId = std::uint32_t;

// The value of a schedule of real tasks in task order (the library's fast
// evaluation over its consecutive pairs).
ScheduleValue schedule_value_of(std::span<const Task> tasks, const Rules& rules);

// The split-shift term of the objective for `split_members` split shifts.
std::uint32_t split_term(std::int32_t split_members, const Rules& rules);

// A roster whose tasks are not those of the task file.
struct RosterMismatch : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class RosterState {
public:
    RosterState() = default;
    // `members` members without tasks.
    RosterState(const l_tarefas& all, std::size_t members, const Rules& rules);
    // From a roster in escala's form (virtual tasks are dropped). Throws
    // RosterMismatch unless its real tasks are exactly those of `all`.
    RosterState(const l_tarefas& all, const v_crew& roster, const Rules& rules);

    std::size_t size() const { return ids_.size(); }
    std::size_t task_count() const { return all_.size(); }
    const Task& task(TaskId id) const { return all_[id]; }
    std::uint32_t member_of(TaskId id) const { return member_of_[id]; }
    const std::vector<TaskId>& ids(std::size_t m) const { return ids_[m]; }
    const std::vector<Task>& tasks(std::size_t m) const { return tasks_[m]; }
    const MemberCache& cache(std::size_t m) const { return caches_[m]; }
    ScheduleValue value(std::size_t m) const { return caches_[m].current(); }
    std::uint32_t objective() const { return cost_sum_ + split_term(split_members_, *rules_); }
    const Rules& rules() const { return *rules_; }
    // Position of task `id` in its member's schedule.
    std::size_t position_of(TaskId id) const;

    // The objective with the values of the members in `changed` replaced by `values`.
    std::uint32_t objective_with(std::span<const std::uint32_t> changed, std::span<const ScheduleValue> values) const;

    // Replaces member m's schedule by `ids` (in task order).
    void set_ids(std::size_t m, std::span<const TaskId> ids);
    // Inserts task `id` at its place in member m; takes out position k of m.
    void insert(std::size_t m, TaskId id);
    TaskId erase(std::size_t m, std::size_t k);

    // The roster in escala's form: schedules closed by their virtual tasks.
    v_crew to_roster() const;
    // The objective computed from scratch by global_objective (for checks).
    std::uint32_t fresh_objective() const;

private:
    void refresh(std::size_t m);  // after ids_[m] changed
    void account(const ScheduleValue& before, const ScheduleValue& after);

    const Rules* rules_ = &default_rules();  // the caller's; outlives the state and its copies
    l_tarefas all_;
    std::vector<std::uint32_t> member_of_;
    std::vector<std::vector<TaskId>> ids_;
    std::vector<std::vector<Task>> tasks_;
    std::vector<MemberCache> caches_;
    std::uint32_t cost_sum_ = 0;  // modulo 2^32, as the objective adds
    std::int32_t split_members_ = 0;
    Crew scratch_;                // refresh's argument
};

// Position in `tasks` (task order) where `task` would be placed: after every
// task that starts no later.
std::size_t place_of(std::span<const Task> tasks, const Task& task);

// First position in `tasks` (task order) of a task that starts at `time` or later.
std::size_t cut_of(std::span<const Task> tasks, std::int32_t time);

}  // namespace escala::improve
