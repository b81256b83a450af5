// One crew member: its schedule, closed by a virtual task, and its measures.
#pragma once

#include <cstdint>
#include <vector>

#include "core/task.hpp"
#include "crew/rules.hpp"

namespace escala {

class Crew {
public:
    std::int32_t id = 0;  // roster position, set by the tabu search on its working copies
    l_tarefas tasks;      // the schedule, in task order, closing virtual task last

    // Schedule operations; each leaves the schedule sorted and re-closed by
    // the virtual task that the rules give it.
    void assign_task(const Task& task, const Rules& rules);
    void sort_tasks();
    void remove_task(const Task& task, const Rules& rules);
    Task remove_task_at(std::int32_t position, const Rules& rules);
    bool has_virtual_task() const;

    // Schedule measures (the virtual task counts like any other).
    std::int32_t longest_gap() const;
    bool is_split_shift(const Rules& rules) const;
    bool has_break(const Rules& rules) const;
    std::int32_t gap_time() const;
    std::int32_t slack_time() const;
    std::int32_t virtual_length(const Rules& rules) const;

    // Cost measures.
    std::int32_t work_time(const Rules& rules) const;
    std::int32_t rest_time(const Rules& rules) const;
    std::int32_t idle_time(const Rules& rules) const;
    std::int32_t overtime(const Rules& rules) const;
    std::int32_t excess_time(const Rules& rules) const;
    std::int32_t rest_shortfall(const Rules& rules) const;
    std::int32_t overlap_time() const;
    std::int32_t vehicle_changes() const;
    std::int32_t forbidden_point_changes() const;
    std::int32_t permitted_point_changes() const;

    // The weighted crew cost; sorts the schedule first.
    std::uint32_t cost(const Rules& rules);

private:
    void add_virtual_task(const Rules& rules);
};

using v_crew = std::vector<Crew>;

// Schedules are equal when their ids and task lists are.
inline bool operator==(const Crew& a, const Crew& b) { return a.id == b.id && a.tasks == b.tasks; }

}  // namespace escala
