// Judging and writing out a whole roster: objective, totals, reports, dump.
#pragma once

#include <cstdint>
#include <string>

#include "crew/crew.hpp"

namespace escala {

// Sorts every member's schedule by the task order.
void sort_schedules(v_crew& roster);

// Sum of the crew costs plus p_duplas times split_shift_excess, modulo 2^32.
// Leaves every schedule sorted.
std::uint32_t global_objective(v_crew& roster, const Rules& rules);

// Split-shift members minus the allowance of 20; 0 when there are none.
std::int32_t split_shift_excess(const v_crew& roster, const Rules& rules);

std::int32_t count_split_shifts(const v_crew& roster, const Rules& rules);
std::int32_t count_crew_without_tasks(const v_crew& roster);
std::int32_t total_overtime(const v_crew& roster, const Rules& rules);
std::int32_t total_excess_time(const v_crew& roster, const Rules& rules);
std::int32_t total_overlap_time(const v_crew& roster);
std::int32_t total_vehicle_changes(const v_crew& roster);
std::int32_t total_permitted_point_changes(const v_crew& roster);
std::int32_t total_forbidden_point_changes(const v_crew& roster);

// Virtual tasks anywhere in the roster's schedules.
std::int32_t count_virtual_tasks(const v_crew& roster);

// The solution report (labelled task form) and the detailed report (one row
// a task, footer of measures). Neither reorders a schedule.
void write_report(const v_crew& roster, const std::string& file_name, const Rules& rules);
void write_detailed_report(const v_crew& roster, const std::string& file_name, const Rules& rules);

// The compact dump: roster size, "##i" per member, one CSV line a task.
void write_dump(const v_crew& roster, const std::string& file_name);

}  // namespace escala
