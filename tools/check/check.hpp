// Checking a dumped roster against its task file, and measuring it.
#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "crew/dump.hpp"
#include "columns/column_generation.hpp"

namespace escala::tools {

// One thing wrong with a roster. `crew` is -1 and `line` a task-file record
// for a task that no schedule holds; otherwise `line` is a line of the dump.
struct Violation {
    int crew = -1;
    int line = 0;
    std::string message;
    std::vector<Task> tasks;  // the tasks it is about, first the one at fault
};

// The measures of one crew member, on its schedule sorted as the cost sorts it.
struct CrewMeasures {
    std::uint32_t cost = 0;
    std::int32_t work_time = 0;
    std::int32_t idle_time = 0;
    std::int32_t overtime = 0;
    bool split_shift = false;
};

// The roster totals, as the detailed report gives them, plus task counts.
struct RosterTotals {
    std::int32_t crew = 0;
    std::int32_t real_tasks = 0;
    std::int32_t virtual_tasks = 0;
    std::int32_t without_tasks = 0;
    std::int32_t split_shifts = 0;
    std::int32_t overlap = 0;
    std::int32_t overtime = 0;
    std::int32_t excess = 0;
    std::int32_t vehicle_changes = 0;
    std::int32_t permitted_point_changes = 0;
    std::int32_t forbidden_point_changes = 0;
};

struct CheckReport {
    std::vector<CrewMeasures> crew;
    std::uint32_t objective = 0;
    RosterTotals totals;
    std::int32_t lower_bound = 0;
    std::int64_t objective_lower_bound = 0;  // no roster of this size and task file does better
    bool tight_requested = false;
    columns::TightBound tight;               // the column-generation bound, when requested
    columns::TightBound exact;               // the one at the crew cost after it, when requested
    std::vector<Violation> violations;  // dump order; tasks held by no schedule last
    bool valid() const { return violations.empty(); }
};

// Measures of every member and of the roster (objective, totals), computed by
// the same code as escala's.
std::vector<CrewMeasures> measure_crew(const v_crew& roster, const Rules& rules);
RosterTotals roster_totals(const v_crew& roster, const Rules& rules);

// The largest number of real tasks that are under way at one moment: a task
// covers [start_time, end_time), so tasks that only touch do not overlap.
std::int32_t max_simultaneous(const l_tarefas& tasks);

// Checks that every task of `tasks` sits in exactly one schedule of the dump,
// that each schedule is in start order without overlaps, and that each ends
// with the closing virtual task that assigning its real tasks gives; measures
// everything.
CheckReport check_roster(const l_tarefas& tasks, const Dump& dump, const Rules& rules);

// The schedules of a dump as positions in the task list, for the column
// generation's first days; a schedule with a task the list lacks is left out.
std::vector<columns::Day> dump_days(const l_tarefas& tasks, const Dump& dump);

// The bound the report's gap is taken against: the largest of them.
std::int64_t best_bound(const CheckReport& report);

// The report in escala-check's line format (see print_format).
// `names`, when given, tells what a task stands for; each violation then ends
// with that of its tasks in parentheses.
void print_report(std::ostream& out, const CheckReport& report, const std::string& task_file,
                  const std::string& dump_file, const std::function<std::string(const Task&)>& names = {});

// The description of that line format, for --help.
std::string print_format();

}  // namespace escala::tools
