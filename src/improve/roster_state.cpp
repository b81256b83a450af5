#include "improve/roster_state.hpp"

#include <algorithm>
#include <array>
#include <map>

#include "crew/crew_util.hpp"

namespace escala::improve {

ScheduleValue schedule_value_of(std::span<const Task> tasks, const Rules& rules) {
    if (tasks.empty()) return schedule_value(0, {}, 0, 0, 0, rules);
    PairAggregate pairs;
    std::uint32_t slack = static_cast<std::uint32_t>(tasks[0].slack);
    for (std::size_t q = 1; q < tasks.size(); ++q) {
        pairs.add_pair(tasks[q - 1], tasks[q]);
        slack += static_cast<std::uint32_t>(tasks[q].slack);
    }
    return schedule_value(tasks.size(), pairs, tasks.front().start_time, tasks.back().end_time, slack, rules);
}

std::uint32_t split_term(std::int32_t split_members, const Rules& rules) {
    // As split_shift_excess: the members beyond the allowance, none without any.
    const std::int32_t excess = split_members == 0 ? 0 : wrap_sub(split_members, 20);
    return static_cast<std::uint32_t>(excess) * rules.weights.p_duplas;
}

std::size_t place_of(std::span<const Task> tasks, const Task& task) {
    return static_cast<std::size_t>(
        std::upper_bound(tasks.begin(), tasks.end(), task,
                         [](const Task& a, const Task& b) { return a.start_time < b.start_time; }) -
        tasks.begin());
}

std::size_t cut_of(std::span<const Task> tasks, std::int32_t time) {
    return static_cast<std::size_t>(
        std::lower_bound(tasks.begin(), tasks.end(), time,
                         [](const Task& t, std::int32_t v) { return t.start_time < v; }) -
        tasks.begin());
}

RosterState::RosterState(const l_tarefas& all, std::size_t members, const Rules& rules)
    : rules_(&rules), all_(all), member_of_(all.size(), 0), ids_(members), tasks_(members), caches_(members) {
    for (Task& t : all_) t.is_virtual = 0;
    for (std::size_t m = 0; m < members; ++m) refresh(m);
}

RosterState::RosterState(const l_tarefas& all, const v_crew& roster, const Rules& rules)
    : RosterState(all, roster.size(), rules) {
    using Key = std::array<std::int32_t, 8>;
    auto key = [](const Task& t) {
        return Key{t.vehicle, t.start_time, t.end_time, t.start_point, t.end_point, t.slack, t.start_line, t.end_line};
    };
    std::map<Key, std::vector<TaskId>> unused;
    for (TaskId id = static_cast<TaskId>(all_.size()); id-- > 0;) unused[key(all_[id])].push_back(id);
    for (std::size_t m = 0; m < roster.size(); ++m) {
        std::vector<Task> real;
        for (const Task& t : roster[m].tasks)
            if (t.is_virtual == 0) real.push_back(t);
        std::stable_sort(real.begin(), real.end());
        std::vector<TaskId> ids;
        for (const Task& t : real) {
            auto found = unused.find(key(t));
            if (found == unused.end() || found->second.empty())
                throw RosterMismatch("member " + std::to_string(m) + " holds a task that the task file " +
                                     "does not have (or holds it more often): starting at " +
                                     std::to_string(t.start_time) + " on vehicle " + std::to_string(t.vehicle));
            ids.push_back(found->second.back());
            found->second.pop_back();
        }
        set_ids(m, ids);
    }
    std::size_t missing = 0;
    for (const auto& entry : unused) missing += entry.second.size();
    if (missing > 0)
        throw RosterMismatch(std::to_string(missing) + (missing == 1 ? " task" : " tasks") +
                             " of the task file in no schedule");
}

std::size_t RosterState::position_of(TaskId id) const {
    const auto& list = ids_[member_of_[id]];
    return static_cast<std::size_t>(std::find(list.begin(), list.end(), id) - list.begin());
}

void RosterState::account(const ScheduleValue& before, const ScheduleValue& after) {
    cost_sum_ = cost_sum_ - before.cost + after.cost;
    split_members_ += (after.split_shift ? 1 : 0) - (before.split_shift ? 1 : 0);
}

void RosterState::refresh(std::size_t m) {
    const ScheduleValue before = caches_[m].current();
    auto& tasks = tasks_[m];
    tasks.clear();
    for (TaskId id : ids_[m]) {
        tasks.push_back(all_[id]);
        member_of_[id] = static_cast<std::uint32_t>(m);
    }
    scratch_.tasks = tasks;
    caches_[m].refresh(scratch_, *rules_);
    account(before, caches_[m].current());
}

std::uint32_t RosterState::objective_with(std::span<const std::uint32_t> changed,
                                          std::span<const ScheduleValue> values) const {
    std::uint32_t sum = cost_sum_;
    std::int32_t splits = split_members_;
    for (std::size_t i = 0; i < changed.size(); ++i) {
        const ScheduleValue old = caches_[changed[i]].current();
        sum = sum - old.cost + values[i].cost;
        splits += (values[i].split_shift ? 1 : 0) - (old.split_shift ? 1 : 0);
    }
    return sum + split_term(splits, *rules_);
}

void RosterState::set_ids(std::size_t m, std::span<const TaskId> ids) {
    ids_[m].assign(ids.begin(), ids.end());
    refresh(m);
}

void RosterState::insert(std::size_t m, TaskId id) {
    auto& list = ids_[m];
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(place_of(tasks_[m], all_[id])), id);
    refresh(m);
}

TaskId RosterState::erase(std::size_t m, std::size_t k) {
    auto& list = ids_[m];
    const TaskId id = list[k];
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(k));
    refresh(m);
    return id;
}

v_crew RosterState::to_roster() const {
    v_crew roster(ids_.size());
    for (std::size_t m = 0; m < ids_.size(); ++m) {
        roster[m].id = static_cast<std::int32_t>(m);
        // Assigned in task order, each goes behind the equal starts before it.
        for (const Task& t : tasks_[m]) roster[m].assign_task(t, *rules_);
    }
    return roster;
}

std::uint32_t RosterState::fresh_objective() const {
    v_crew roster = to_roster();
    return global_objective(roster, *rules_);
}

}  // namespace escala::improve
