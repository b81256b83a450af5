// Counting the tasks one crew member would have to drive at the same time.
#pragma once

#include <cstdint>
#include <string>

#include "crew/crew.hpp"

namespace escala {

// Pairs of real tasks of one schedule that are under way at the same moment
// (a task covers [start_time, end_time); tasks that only touch do not
// overlap). Virtual tasks are left out.
std::int64_t overlapping_pairs(const Crew& crew);
std::int64_t overlapping_pairs(const v_crew& roster);

// "3 overlapping task pairs" ("1 overlapping task pair").
std::string overlaps_text(std::int64_t pairs);

// What a companion says of a roster it writes with overlaps, without the
// line end: "the <which> roster has 3 overlapping task pairs: it is not
// drivable as it stands; escala-check --tasks <tasks> --dump <dump> lists them".
std::string overlaps_warning(const std::string& which, std::int64_t pairs, const std::string& task_file,
                             const std::string& dump_file);

}  // namespace escala
